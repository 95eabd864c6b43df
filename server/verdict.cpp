// Verifying a submitted game, and the key that names a game whatever name
// it was sent under.
#include "server/verdict.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "game/play.h"
#include "game/replay.h"
#include "server/sha256.h"

namespace {

// The game as the one file its recorder writes for it, less what is not
// the game: the name (the player's word, typed after the game) and the
// action buttons newly pressed in the first frame (they depend on whether
// the key went down before the game began or with it, and only sound the
// slingshot). Two files of one game give one key; a format 1 file gives
// its format 2 file's.
std::array<uint8_t, 32> GameKey(const s_replay &replay) {
    s_replay game = replay;
    std::memset(game.name, 0, sizeof game.name);
    game.runs.clear();
    bool first = true;
    for (s_inputrun run : replay.runs) {
        if (first) {
            run.pressed &= ~kPlayActionKeys;
            first = false;
        }
        // Joined as the recorder joins them: runs of one input up to 255 frames.
        while (run.frames > 0) {
            s_inputrun *last = game.runs.empty() ? nullptr : &game.runs.back();
            if (!last || last->held != run.held || last->pressed != run.pressed ||
                last->mouseButtons != run.mouseButtons || last->frames == 255) {
                game.runs.push_back(run);
                break;
            }
            int take = std::min(255 - last->frames, int(run.frames));
            last->frames = uint8_t(last->frames + take);
            run.frames = uint8_t(run.frames - take);
        }
    }
    std::vector<uint8_t> bytes = ReplayEncode(game);
    return Sha256(bytes.data(), bytes.size());
}

void Put32(std::string *out, uint32_t v) {
    for (int i = 0; i < 4; i++) out->push_back(char(v >> (8 * i)));
}

bool Get32(const std::string &in, size_t *at, uint32_t *v) {
    if (in.size() - *at < 4 || *at > in.size()) return false;
    *v = 0;
    for (int i = 0; i < 4; i++) *v |= uint32_t(uint8_t(in[*at + i])) << (8 * i);
    *at += 4;
    return true;
}

bool GetText(const std::string &in, size_t *at, size_t limit, std::string *text) {
    uint32_t size;
    if (!Get32(in, at, &size) || size > limit || in.size() - *at < size) return false;
    text->assign(in, *at, size);
    *at += size;
    return true;
}

}  // namespace

s_verdict VerifyGame(const uint8_t *data, size_t size) {
    // A replay is large (the tables of a whole game): one, reused.
    static s_playback pb;
    s_verdict v;
    v.rules = kRulesVersion;
    int loaded = ReplayDecode(data, size, &pb.replay, &v.message);
    if (loaded <= 0) {
        v.status = loaded == 0 ? 400 : 422;
        if (loaded < 0) v.message = "refused: " + v.message;
        return v;
    }
    const s_replay &r = pb.replay;
    v.difficulty = r.difficulty;
    v.score = r.score;
    v.frames = r.frames;
    v.name = r.name;
    if (r.ending != kReplayFinished) {
        v.status = 422;
        v.message = std::string("refused: ") + ReplayEndingText(r) + ", so no final score";
        return v;
    }
    PlaybackBegin(&pb);
    if (pb.noField) {
        v.status = 400;
        v.message = "damaged: its generator state lays out no field";
        return v;
    }
    while (PlaybackFrame(&pb, false) && !pb.mismatch) {
    }
    if (!PlaybackAgreed(pb)) {
        v.status = 422;
        char line[160];
        if (pb.endedEarly)
            std::snprintf(line, sizeof line,
                          "does not verify: the game ended at frame %u, the replay at %u",
                          pb.mismatch, r.frames);
        else if (pb.mismatch >= r.frames)
            std::snprintf(line, sizeof line,
                          "does not verify: it ends in state %d with score %d, not %d", pb.state,
                          pb.ship.score, r.score);
        else
            std::snprintf(line, sizeof line,
                          "does not verify: the state differs from the recorded one at frame %u",
                          pb.mismatch);
        v.message = line;
        return v;
    }
    v.status = 200;
    v.message = "verified";
    v.key = GameKey(r);
    return v;
}

std::string EncodeVerdict(const s_verdict &v) {
    std::string out;
    Put32(&out, uint32_t(v.status));
    Put32(&out, uint32_t(v.rules));
    Put32(&out, uint32_t(v.difficulty));
    Put32(&out, uint32_t(v.score));
    Put32(&out, v.frames);
    out.append(reinterpret_cast<const char *>(v.key.data()), v.key.size());
    Put32(&out, uint32_t(v.name.size()));
    out += v.name;
    Put32(&out, uint32_t(v.message.size()));
    out += v.message;
    return out;
}

bool DecodeVerdict(const std::string &in, s_verdict *v) {
    size_t at = 0;
    uint32_t status, rules, difficulty, score, frames;
    if (!Get32(in, &at, &status) || !Get32(in, &at, &rules) || !Get32(in, &at, &difficulty) ||
        !Get32(in, &at, &score) || !Get32(in, &at, &frames) || in.size() - at < v->key.size())
        return false;
    std::memcpy(v->key.data(), in.data() + at, v->key.size());
    at += v->key.size();
    if (!GetText(in, &at, kReplayNameSize, &v->name) || !GetText(in, &at, 1024, &v->message) ||
        at != in.size() || difficulty > 2)
        return false;
    v->status = int(status);
    v->rules = int(rules);
    v->difficulty = int(difficulty);
    v->score = int(score);
    v->frames = frames;
    return true;
}
