// Replays: recording, the state hash and the .qoreplay file.
//
// The file is encoded into one buffer and decoded from one, every field by
// its offset (docs/replay-format.md), never through the layout of a struct.
// Decoding reads untrusted bytes: the counts are checked against their
// limits and against the file's real size before anything is read.
#include "game/replay.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "corefile/corefile.h"
#include "game/header.h"

namespace {

// ---------------------------------------------------------------------------
// Layout

constexpr char kMagic[8] = {'Q', 'O', 'R', 'E', 'P', 'L', 'A', 'Y'};
constexpr size_t kOffFormat = 8;
constexpr size_t kOffRules = 10;
constexpr size_t kOffTuning = 12;
constexpr size_t kOffRandom = 16;
constexpr size_t kOffDifficulty = 140;
constexpr size_t kOffEndState = 141;
constexpr size_t kOffEnding = 142;
constexpr size_t kOffStartFade = 144;
constexpr size_t kOffName = 148;
constexpr size_t kOffScore = 212;
constexpr size_t kOffFrames = 216;
constexpr size_t kOffRuns = 220;
constexpr size_t kOffHashes = 224;
constexpr size_t kHeaderSize = 228;
constexpr size_t kRunSize = 6;
constexpr size_t kChecksumSize = 4;

size_t HashCount(uint32_t frames) {
    return frames / kReplayHashInterval + 1;
}

size_t FileSize(size_t runs, size_t hashes) {
    return kHeaderSize + runs * kRunSize + hashes * 4 + kChecksumSize;
}

void Put16(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Get16(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

uint32_t Get32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t FloatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

float BitsFloat(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// ---------------------------------------------------------------------------
// Hashing: FNV-1a's 64-bit step taken a 32-bit word at a time (a quarter
// of the work of going byte by byte, which a whole game's tables make
// worth it), folded to 32 bits.

struct Hasher {
    uint64_t h = 0xcbf29ce484222325ull;
    void Word(uint32_t v) {
        h ^= v;
        h *= 0x100000001b3ull;
    }
    void Int(int v) { Word(static_cast<uint32_t>(v)); }
    void Float(float f) { Word(FloatBits(f)); }
    void Double(double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        Word(static_cast<uint32_t>(bits));
        Word(static_cast<uint32_t>(bits >> 32));
    }
    uint32_t Result() const { return static_cast<uint32_t>(h ^ (h >> 32)); }
};

void HashSparkle(Hasher &h, const c_sparkle &s) {
    h.Float(s.x);
    h.Float(s.y);
    h.Float(s.dx);
    h.Float(s.dy);
    h.Int(s.variant);
    h.Int(s.type);
    h.Int(s.active);
}

bool SameInput(const s_inputrun &a, const s_inputrun &b) {
    return a.held == b.held && a.pressed == b.pressed && a.mouseButtons == b.mouseButtons;
}

// Adds frames of one input as the recorder does, frame by frame: the last
// run grows up to 255 frames, then a new one begins.
void AppendInput(std::vector<s_inputrun> *runs, s_inputrun input, uint32_t frames) {
    while (frames > 0) {
        uint32_t take;
        if (!runs->empty() && SameInput(runs->back(), input) && runs->back().frames < 255) {
            take = std::min<uint32_t>(frames, 255u - runs->back().frames);
            runs->back().frames = static_cast<uint8_t>(runs->back().frames + take);
        } else {
            take = std::min<uint32_t>(frames, 255u);
            input.frames = static_cast<uint8_t>(take);
            runs->push_back(input);
        }
        frames -= take;
    }
}

bool InPlay(int state) {
    return state == GAMESTATE_PLAY || state == GAMESTATE_FADEIN || state == GAMESTATE_FADEOUT;
}

bool GameOver(int state) {
    return state == GAMESTATE_LEFT || state == GAMESTATE_CRASHED || state == GAMESTATE_SLOWFADEDONE;
}

// Whether the recorder of the format could have written these runs (one
// frame of input per call of CGL_GetKeys, each call's newly pressed bits
// being its held bits less the call's before), or else why not. Format 1
// kept every key bit; format 2 keeps only what play reads, where Escape
// has no held bit to be measured against.
const char *InputFault(const std::vector<s_inputrun> &runs, uint32_t format) {
    const uint32_t heldBits = format == 1 ? 0xFFFFu : uint32_t(kPlayHeldKeys);
    const uint32_t pressedBits = format == 1 ? 0xFFFFu : uint32_t(kPlayPressedKeys);
    const uint32_t measured = format == 1 ? 0xFFFFu : uint32_t(kPlayActionKeys);
    for (size_t i = 0; i < runs.size(); i++) {
        const s_inputrun &run = runs[i];
        if (run.frames == 0) return "an input run of no frames";
        if ((run.held & ~heldBits) || (run.pressed & ~pressedBits) ||
            (run.mouseButtons & ~kPlayMouseButtons))
            return "input bits its recorder does not keep";
        uint32_t pressed = run.pressed & measured, held = run.held & measured;
        if (pressed & ~held) return "a key newly pressed that is not held";
        if (i > 0) {
            const s_inputrun &before = runs[i - 1];
            if (SameInput(before, run) && before.frames < 255)
                return "an input run split where its recorder makes one";
            if (pressed != (held & ~(before.held & measured)))
                return "newly pressed keys that do not follow from the held ones";
            if ((run.pressed & before.pressed & CGL_KEY_ESCAPE) != 0)
                return "Escape newly pressed in two frames in a row";
        }
        // A run's later frames measure against its own held keys.
        if (run.frames > 1 && run.pressed != 0) return "a key newly pressed in frames in a row";
    }
    return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Rules and state

uint32_t RulesTuningHash() {
    Hasher h;
    h.Int(kPlayfieldWidth);
    h.Int(kPlayfieldHeight);
    h.Int(kMaxPlanets);
    h.Int(kNumStars);
    h.Int(kNumSparkles);
    h.Float(kLatchRange);
    h.Float(kSnapDistance);
    h.Float(kCruiseSpeed);
    h.Float(kTopSpeed);
    h.Double(kSpeedDecay);
    h.Double(kSpeedGain);
    h.Double(kSwingRate);
    h.Float(kMinTurnSpeed);
    h.Int(kComboWindow);
    h.Int(kCrashDelay);
    h.Double(kWreckDrag);
    h.Int(kBasePlanets);
    h.Int(kPlanetsPerDifficulty);
    h.Int(kReplayHashInterval);
    return h.Result();
}

uint32_t StateHash() {
    Hasher h;
    h.Int(gameState);
    h.Float(fade);
    h.Int(numPlanets);
    h.Int(xClosestPlanet);
    h.Int(yClosestPlanet);
    h.Float(distClosestPlanet);

    const c_player &p = player;
    h.Float(p.x);
    h.Float(p.y);
    h.Float(p.dx);
    h.Float(p.dy);
    h.Float(p.angle);
    h.Float(p.speed);
    h.Float(p.minTurnSpeed);
    h.Int(p.combo);
    h.Int(p.comboTimer);
    h.Int(p.flightMode);
    h.Int(p.mouseButtons);
    h.Int(p.score);
    h.Int(p.alive ? 1 : 0);
    h.Int(p.sparkleCount);
    // Only the trail this game emitted: older slots are left from the game
    // before, which a replay does not know.
    for (int k = 0; k < kNumSparkles && k < p.sparkleCount; k++) HashSparkle(h, p.sparkle[k]);

    int planets = numPlanets < 0 ? 0 : (numPlanets > kMaxPlanets ? kMaxPlanets : numPlanets);
    for (int i = 0; i < planets; i++) {
        const c_planet &q = planet[i];
        h.Int(q.x);
        h.Int(q.y);
        h.Float(q.dist);
        h.Int(q.type);
        h.Int(q.size);
        h.Int(q.explodeTimer);
    }
    for (const c_star &s : star) {
        h.Int(s.x);
        h.Int(s.y);
        h.Int(s.colour);
        h.Int(s.state);
        h.Int(s.sparkleCount);
        for (const c_sparkle &k : s.sparkle) HashSparkle(h, k);
    }

    s_randomstate random = RandomGetState();
    for (uint32_t w : random.word) h.Word(w);
    return h.Result();
}

uint32_t ReplayCrc32(const uint8_t *data, size_t size) {
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = true;
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; i++) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// ---------------------------------------------------------------------------
// Encoding and decoding

std::vector<uint8_t> ReplayEncode(const s_replay &r) {
    std::vector<uint8_t> file(FileSize(r.runs.size(), r.hashes.size()), 0);
    uint8_t *p = file.data();
    std::memcpy(p, kMagic, sizeof kMagic);
    Put16(p + kOffFormat, kReplayFormatVersion);
    Put16(p + kOffRules, kRulesVersion);
    Put32(p + kOffTuning, RulesTuningHash());
    for (int i = 0; i < kRandomWords; i++) Put32(p + kOffRandom + 4 * i, r.random.word[i]);
    p[kOffDifficulty] = static_cast<uint8_t>(r.difficulty);
    p[kOffEndState] = static_cast<uint8_t>(r.endState);
    p[kOffEnding] = static_cast<uint8_t>(r.ending);
    Put32(p + kOffStartFade, FloatBits(r.startFade));
    std::memcpy(p + kOffName, r.name, kReplayNameSize);
    Put32(p + kOffScore, static_cast<uint32_t>(r.score));
    Put32(p + kOffFrames, r.frames);
    Put32(p + kOffRuns, static_cast<uint32_t>(r.runs.size()));
    Put32(p + kOffHashes, static_cast<uint32_t>(r.hashes.size()));
    uint8_t *q = p + kHeaderSize;
    for (const s_inputrun &run : r.runs) {
        Put16(q, run.held);
        Put16(q + 2, run.pressed);
        q[4] = run.mouseButtons;
        q[5] = run.frames;
        q += kRunSize;
    }
    for (uint32_t hash : r.hashes) {
        Put32(q, hash);
        q += 4;
    }
    Put32(q, ReplayCrc32(p, file.size() - kChecksumSize));
    return file;
}

int ReplayDecode(const uint8_t *data, size_t size, s_replay *out, std::string *error) {
    char line[200];
    auto fail = [&](int code) {
        if (error) *error = line;
        return code;
    };
    if (size < kHeaderSize + kChecksumSize) {
        std::snprintf(line, sizeof line, "cut short: %zu bytes, a replay has at least %zu", size,
                      kHeaderSize + kChecksumSize);
        return fail(0);
    }
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0) {
        std::snprintf(line, sizeof line, "not a replay (no QOREPLAY mark at its start)");
        return fail(0);
    }
    uint32_t format = Get16(data + kOffFormat);
    if (format < 1 || format > kReplayFormatVersion) {
        std::snprintf(line, sizeof line, "replay format %u, this game reads formats 1 to %d",
                      format, kReplayFormatVersion);
        return fail(0);
    }
    uint32_t frames = Get32(data + kOffFrames);
    uint32_t runs = Get32(data + kOffRuns);
    uint32_t hashes = Get32(data + kOffHashes);
    if (frames == 0 || frames > kReplayMaxFrames || runs == 0 || runs > frames ||
        hashes != HashCount(frames)) {
        std::snprintf(line, sizeof line, "damaged: %u frames, %u runs, %u hashes do not fit",
                      frames, runs, hashes);
        return fail(0);
    }
    size_t expected = FileSize(runs, hashes);
    if (size != expected) {
        std::snprintf(line, sizeof line, "%s: %zu bytes where the replay has %zu",
                      size < expected ? "cut short" : "damaged", size, expected);
        return fail(0);
    }
    uint32_t crc = Get32(data + size - kChecksumSize);
    if (crc != ReplayCrc32(data, size - kChecksumSize)) {
        std::snprintf(line, sizeof line, "damaged: its checksum does not match its bytes");
        return fail(0);
    }
    uint32_t rules = Get16(data + kOffRules), tuning = Get32(data + kOffTuning);
    if (rules != (uint32_t)kRulesVersion || tuning != RulesTuningHash()) {
        std::snprintf(line, sizeof line,
                      "made by rules version %u (tuning %08x); this game plays rules version %d "
                      "(tuning %08x)",
                      rules, tuning, kRulesVersion, RulesTuningHash());
        return fail(-1);
    }

    s_replay r;
    for (int i = 0; i < kRandomWords; i++) r.random.word[i] = Get32(data + kOffRandom + 4 * i);
    r.random.next = 0;
    r.difficulty = data[kOffDifficulty];
    r.endState = data[kOffEndState];
    r.ending = data[kOffEnding];
    r.startFade = BitsFloat(Get32(data + kOffStartFade));
    std::memcpy(r.name, data + kOffName, kReplayNameSize);
    r.score = static_cast<int>(Get32(data + kOffScore));
    r.frames = frames;
    // Format 1 knew only finished games. A game cut off ends in play; one
    // cut off by the recorder's limit has all the frames it takes.
    bool endFits = r.ending == kReplayFinished ? GameOver(r.endState)
                   : r.ending == kReplayClosed ? InPlay(r.endState) && frames < kReplayMaxFrames
                   : r.ending == kReplayFull   ? InPlay(r.endState) && frames == kReplayMaxFrames
                                               : false;
    if (r.difficulty > 2 || data[kOffEnding + 1] != 0 || (format == 1 && r.ending != 0) ||
        !endFits || !std::isfinite(r.startFade) || std::fabs(r.startFade) > 2.0f) {
        std::snprintf(line, sizeof line,
                      "damaged: difficulty %d, end state %d, ending %d or its start out of range",
                      r.difficulty, r.endState, r.ending);
        return fail(0);
    }
    // The recorder's name field is the name and zeros after it.
    const char *zero = static_cast<const char *>(std::memchr(r.name, 0, kReplayNameSize));
    if (!zero || std::any_of(zero, static_cast<const char *>(r.name) + kReplayNameSize,
                             [](char c) { return c != 0; })) {
        std::snprintf(line, sizeof line, "damaged: its name field is not a name and zeros");
        return fail(0);
    }
    std::vector<s_inputrun> stored(runs);
    uint64_t total = 0;
    const uint8_t *q = data + kHeaderSize;
    for (s_inputrun &run : stored) {
        run.held = static_cast<uint16_t>(Get16(q));
        run.pressed = static_cast<uint16_t>(Get16(q + 2));
        run.mouseButtons = q[4];
        run.frames = q[5];
        total += run.frames;
        q += kRunSize;
    }
    if (const char *fault = InputFault(stored, format)) {
        std::snprintf(line, sizeof line, "damaged: %s", fault);
        return fail(0);
    }
    if (total != frames) {
        std::snprintf(line, sizeof line, "damaged: its runs hold %llu frames, its header %u",
                      (unsigned long long)total, frames);
        return fail(0);
    }
    // As the recorder keeps it today: only what play reads, in runs as long
    // as they can be (a format 2 file's runs are that already).
    r.runs.reserve(runs);
    for (const s_inputrun &run : stored) {
        s_inputrun kept{static_cast<uint16_t>(run.held & kPlayHeldKeys),
                        static_cast<uint16_t>(run.pressed & kPlayPressedKeys), run.mouseButtons, 0};
        AppendInput(&r.runs, kept, run.frames);
    }
    r.hashes.resize(hashes);
    for (uint32_t &hash : r.hashes) {
        hash = Get32(q);
        q += 4;
    }
    *out = std::move(r);
    return 1;
}

std::string ReplayShownText(const char *text) {
    std::string shown;
    for (const char *c = text; c && *c; c++) {
        unsigned char b = static_cast<unsigned char>(*c);
        if (b == '\\') {
            shown += "\\\\";
        } else if (b >= ' ' && b <= '|') {
            shown += static_cast<char>(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", b);
            shown += hex;
        }
    }
    return shown;
}

const char *ReplayEndingText(const s_replay &replay) {
    switch (replay.ending) {
        case kReplayClosed:
            return "unfinished (closed during play)";
        case kReplayFull:
            return "unfinished (four hours recorded, the game went on)";
        default:
            return "";
    }
}

// ---------------------------------------------------------------------------
// Files

int ReplayLoad(const char *path, s_replay *replay, std::string *error) {
    std::FILE *f = corefile_fopen(path, "rb");
    if (!f) {
        if (error) *error = std::string("cannot open (") + std::strerror(errno) + ")";
        return 0;
    }
    // One byte more than the largest replay tells an overlong file apart.
    const size_t limit = FileSize(kReplayMaxFrames, HashCount(kReplayMaxFrames)) + 1;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while (bytes.size() < limit && (got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        if (error) *error = "read error";
        return 0;
    }
    if (bytes.size() > limit) bytes.resize(limit);
    return ReplayDecode(bytes.data(), bytes.size(), replay, error);
}

int ReplaySave(const char *path, const s_replay &replay) {
    std::vector<uint8_t> file = ReplayEncode(replay);
    return corefile_savefile(path, file.data(), file.size());
}

// ---------------------------------------------------------------------------
// Recording

void ReplayRecordBegin(s_replay *replay, int difficulty, float startFade) {
    replay->random = RandomGetState();
    replay->difficulty = difficulty;
    replay->startFade = startFade;
    replay->endState = 0;
    replay->ending = kReplayFinished;
    std::memset(replay->name, 0, sizeof replay->name);
    replay->score = 0;
    replay->frames = 0;
    replay->runs.clear();
    replay->hashes.clear();
    // Room for an hour of busy play, so that recording allocates nothing
    // in the frames of most games.
    replay->runs.reserve(1 << 16);
    replay->hashes.reserve(4096);
}

void ReplayRecordInput(s_replay *replay, const s_frameinput &input) {
    if (replay->frames >= kReplayMaxFrames) return;  // full: the game goes on unrecorded
    s_inputrun run{static_cast<uint16_t>(input.held & kPlayHeldKeys),
                   static_cast<uint16_t>(input.pressed & kPlayPressedKeys),
                   static_cast<uint8_t>(input.mouseButtons & kPlayMouseButtons), 0};
    AppendInput(&replay->runs, run, 1);
}

void ReplayRecordFrameDone(s_replay *replay) {
    if (replay->frames >= kReplayMaxFrames) return;
    replay->frames++;
    if (replay->frames % kReplayHashInterval == 0) replay->hashes.push_back(StateHash());
    // The last frame a file can hold: a game still in play ends its
    // recording here, as the reader would refuse one frame more.
    if (replay->frames == kReplayMaxFrames && gameState <= 89) {
        replay->endState = gameState;
        replay->ending = kReplayFull;
        replay->score = player.score;
        replay->hashes.push_back(StateHash());
    }
}

void ReplayRecordEnd(s_replay *replay, int endState, int score, int ending) {
    if (replay->ending == kReplayFull) return;
    replay->endState = endState;
    replay->ending = ending;
    replay->score = score;
    replay->hashes.push_back(StateHash());
}

void ReplaySetName(s_replay *replay, const char *name) {
    std::memset(replay->name, 0, sizeof replay->name);
    if (name) std::snprintf(replay->name, sizeof replay->name, "%.63s", name);
}
