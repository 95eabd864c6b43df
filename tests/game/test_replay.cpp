// Replays end to end: games flown by a scripted pilot through the real
// input words are recorded, written, and checked by the real program's
// --verify in a fresh process; edited, cut and foreign files are refused
// as they should be; the files beside the highscores follow the tables.
//
// QO_WRITE_REPLAY_CORPUS=<dir> writes the committed corpus (tests/replays)
// instead of testing: four games per difficulty and a long one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cgl/cgl.h"
#include "common/pilot.h"
#include "game/header.h"
#include "game/highscore.h"
#include "game/play.h"
#include "game/random.h"
#include "game/replay.h"

namespace {

// ---------------------------------------------------------------------------
// The pilot (common/pilot.h) through the input words; some games use the
// mouse, some Shift or Z.

void Set(int vk, bool down) {
    sdl_asynckeys[vk].store(down ? 1 : 0, std::memory_order_relaxed);
}

void ReleaseAll() {
    for (auto &k : sdl_asynckeys) k.store(0, std::memory_order_relaxed);
    cgl_mouse_buttons.store(0, std::memory_order_relaxed);
}

void Decide(Pilot &p, int seed, int frame, int lastFrame) {
    const int action[] = {32, 16, 'Z', 0};  // Space, Shift, Z, the mouse
    int kind = seed % 4;
    PilotMove move = PilotDecide(p);
    ReleaseAll();
    if (move.act && kind == 3)
        cgl_mouse_buttons.store((seed & 4) ? 2 : 1, std::memory_order_relaxed);
    if (move.act && kind != 3) Set(action[kind], true);
    Set(37, move.steer < 0);
    Set(39, move.steer > 0);
    Set(27, frame >= lastFrame);
}

// One headless game of the difficulty from the seed, recorded. With noise,
// keys play does not read (Up, Down, X, Enter) come and go beside the pilot's.
s_replay FlyGame(int seed, int d, int maxFrames, bool careful = false, bool noise = false) {
    RandomSeed(static_cast<uint32_t>(seed) * 7919u + 1u);
    for (int i = 0; i < seed % 5; i++) Random();
    fade = -0.0199999f * (seed % 3);  // where a title's fade-out may stop
    ReleaseAll();
    CGL_GetKeys(nullptr, nullptr);
    s_replay rec;
    ReplayRecordBegin(&rec, d, fade);
    BeginPlay(d);
    SetPlayRecording(&rec);
    Pilot pilot{static_cast<uint32_t>(seed) * 2654435761u, careful};
    for (int frame = 0; gameState <= 89; frame++) {
        Decide(pilot, seed, frame, maxFrames);
        if (noise) {
            for (int vk : {38, 40, int('X'), 13}) Set(vk, (frame / (vk % 7 + 3)) % 2);
        }
        AdvancePlanets();
        HandlePlayFrame();
        ReplayRecordFrameDone(&rec);
        static bool wasAlive = true;
        if (getenv("QO_DBG") && wasAlive && !player.alive)
            printf("crash frame %d mode %d dist %.1f speed %.2f act %d\n", frame, player.flightMode,
                   distClosestPlanet, player.speed, pilot.hold);
        wasAlive = player.alive;
    }
    SetPlayRecording(nullptr);
    ReleaseAll();
    ReplayRecordEnd(&rec, gameState, player.score);
    ReplaySetName(&rec, ("PILOT " + std::to_string(seed)).c_str());
    return rec;
}

std::string TempDir() {
    char pattern[] = "/tmp/qo_replay_XXXXXX";
    const char *dir = mkdtemp(pattern);
    return dir ? dir : "/tmp";
}

// Runs the real program's --verify on the files; its exit code and output.
int Verify(const std::vector<std::string> &files, std::string *output) {
    std::string command = std::string(QO_BINARY_DIR) + "/qostarfold --verify";
    for (const std::string &f : files) command += " '" + f + "'";
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char buf[4096];
    output->clear();
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) output->append(buf, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> Bytes(const std::string &path) {
    std::vector<uint8_t> out;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        uint8_t buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
        fclose(f);
    }
    return out;
}

void Write(const std::string &path, const std::vector<uint8_t> &bytes, bool fixChecksum) {
    std::vector<uint8_t> b = bytes;
    if (fixChecksum && b.size() >= 4) {
        uint32_t crc = ReplayCrc32(b.data(), b.size() - 4);
        for (int i = 0; i < 4; i++) b[b.size() - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(b.data(), 1, b.size(), f);
    fclose(f);
}

int Lines(const std::string &text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace

TEST(Replay, WritesTheCorpusWhenAsked) {
    const char *dir = std::getenv("QO_WRITE_REPLAY_CORPUS");
    if (!dir) GTEST_SKIP() << "QO_WRITE_REPLAY_CORPUS not set";
    for (int d = 0; d < 3; d++) {
        for (int k = 0; k < 4; k++) {
            std::string path = std::string(dir) + "/" + difficultyText[d] + "-" +
                               std::to_string(k + 1) + ".qoreplay";
            ASSERT_EQ(ReplaySave(path.c_str(), FlyGame(100 * d + k, d, 3000)), 1);
        }
    }
    // A crash met by the fade-out after Escape in the very frame that
    // reaches black: the game ends in state 255.
    for (int seed = 0; seed < 50; seed++) {
        s_replay crash = FlyGame(seed, 2, 1 << 30);
        int hit = (int)crash.frames - 64;
        for (int k = 0; k < 40 && crash.endState == GAMESTATE_CRASHED; k++) {
            s_replay late = FlyGame(seed, 2, hit + k);
            if (late.endState != GAMESTATE_SLOWFADEDONE) continue;
            std::string path = std::string(dir) + "/HARD-slowfade.qoreplay";
            ASSERT_EQ(ReplaySave(path.c_str(), late), 1);
            seed = 50;
            break;
        }
    }
    // A long one: a careful pilot, until it crashes or leaves after ten minutes.
    s_replay longer = FlyGame(3, 1, 36000, true);
    std::string path = std::string(dir) + "/MEDIUM-long.qoreplay";
    ASSERT_EQ(ReplaySave(path.c_str(), longer), 1);
    printf("long game: %u frames, %zu runs, %zu bytes\n", longer.frames, longer.runs.size(),
           ReplayEncode(longer).size());
}

TEST(Replay, ScriptedGamesVerifyBitExactInAFreshProcess) {
    // Fewer under the sanitizers, where every frame costs ten times as much.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    constexpr int kSeeds = 30;
#else
    constexpr int kSeeds = 200;
#endif
    std::string dir = TempDir();
    std::vector<std::string> files;
    long frames = 0, bytes = 0, crashes = 0;
    for (int d = 0; d < 3; d++) {
        for (int seed = 0; seed < kSeeds; seed++) {
            s_replay rec = FlyGame(seed + 1000 * d, d, 600 + 4 * (seed % 100));
            files.push_back(dir + "/" + std::to_string(d) + "-" + std::to_string(seed) +
                            ".qoreplay");
            ASSERT_EQ(ReplaySave(files.back().c_str(), rec), 1);
            frames += rec.frames;
            bytes += (long)ReplayEncode(rec).size();
            crashes += rec.endState == GAMESTATE_CRASHED;
        }
    }
    printf("%zu games, %ld frames, %ld crashed, %.0f bytes per minute of play\n", files.size(),
           frames, crashes, bytes * 3600.0 / frames);
    std::string out;
    EXPECT_EQ(Verify(files, &out), 0) << out.substr(0, 2000);
    EXPECT_EQ(Lines(out), (int)files.size());
    size_t ok = 0;
    for (size_t at = 0; (at = out.find(": ok\n", at)) != std::string::npos; at++) ok++;
    EXPECT_EQ(ok, files.size());
    EXPECT_GT(crashes, 0);
}

TEST(Replay, EditedCutAndForeignFilesAreTold) {
    std::string dir = TempDir(), good = dir + "/good.qoreplay", edit = dir + "/edit.qoreplay";
    s_replay rec;
    for (int seed = 3; rec.frames < 400; seed++) rec = FlyGame(seed, 2, 2000);
    ASSERT_EQ(ReplaySave(good.c_str(), rec), 1);
    std::vector<uint8_t> bytes = Bytes(good);
    std::string out;
    ASSERT_EQ(Verify({good}, &out), 0) << out;

    // Escape pressed in the run holding frame 200: the game differs from
    // then on, which the verifier tells by the first hash after it at the
    // latest (or by the game's end, when that comes first).
    uint32_t first = 0;
    size_t run = 0;
    while (first + rec.runs[run].frames <= 200) first += rec.runs[run++].frames;
    // A frame of its own, as the recorder would have kept it.
    s_replay edited = rec;
    s_inputrun escape = rec.runs[run], rest = rec.runs[run];
    escape.frames = 1;
    escape.pressed |= CGL_KEY_ESCAPE;
    rest.frames--;
    rest.pressed = 0;
    edited.runs[run] = escape;
    if (rest.frames) edited.runs.insert(edited.runs.begin() + run + 1, rest);
    bytes = ReplayEncode(edited);
    Write(edit, bytes, true);
    EXPECT_EQ(Verify({edit}, &out), 1) << out;
    unsigned named = 0;
    size_t at = out.find("differs at frame ");
    ASSERT_NE(at, std::string::npos) << out;
    std::sscanf(out.c_str() + at, "differs at frame %u", &named);
    EXPECT_GT(named, first) << out;
    EXPECT_LE(named, (first / 60 + 1) * 60) << out;
    EXPECT_EQ(Lines(out), 1);

    // A byte changed without its checksum; a file cut short; other rules.
    std::vector<uint8_t> changed = Bytes(good);
    changed[228 + 3] ^= 0x80;
    Write(edit, changed, false);
    EXPECT_EQ(Verify({edit}, &out), 2);
    EXPECT_NE(out.find("checksum"), std::string::npos) << out;
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 9);
    Write(edit, cut, false);
    EXPECT_EQ(Verify({edit}, &out), 2);
    EXPECT_NE(out.find("cut short"), std::string::npos) << out;
    EXPECT_EQ(Lines(out), 1);
    std::vector<uint8_t> foreign = Bytes(good);
    foreign[10] = kRulesVersion + 1;
    Write(edit, foreign, true);
    EXPECT_EQ(Verify({edit, good}, &out), 2);
    EXPECT_NE(out.find("made by rules version " + std::to_string(kRulesVersion + 1)),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(": ok\n"), std::string::npos) << out;  // the good one still checked
}

TEST(Replay, TheTablesAndTheirReplaysChangeTogether) {
    std::string dir = TempDir();
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir(dir.c_str()), 0);
    InitHighscores();
    s_replay rec = FlyGame(5, 0, 300);
    auto keep = [&](const char *name, int score) {
        rec.score = score;
        ReplaySetName(&rec, name);
        s_highscore left = highscores[0][9];
        int place = ReplayPlaceOf(score, 0);
        InsertHighscore(name, score, 0);
        return KeepGame(rec, 0, place, left);
    };
    EXPECT_EQ(keep("ONE", 1500), 1);
    EXPECT_EQ(keep("TWO", 3000), 1);
    s_replay got;
    EXPECT_TRUE(LoadEntryReplay(0, 0, &got));
    EXPECT_STREQ(got.name, "TWO");
    EXPECT_TRUE(LoadEntryReplay(0, 4, &got));  // ONE moved down with its entry
    EXPECT_STREQ(got.name, "ONE");
    EXPECT_FALSE(LoadEntryReplay(0, 3, &got));  // a default entry: none
    EXPECT_EQ(Bytes("replays/last.qoreplay"), Bytes(EntryReplayPath(0, 0)));

    // Five more move ONE to the bottom, the next pushes it out, and its
    // file goes once the table without it is saved.
    for (int i = 0; i < 5; i++) keep("MORE", 2500);
    std::string one = EntryReplayPath(0, 9);
    EXPECT_TRUE(LoadEntryReplay(0, 9, &got));
    keep("LAST", 2500);
    EXPECT_TRUE(Bytes(one).empty());

    // A table that cannot be saved (its sibling's name taken by a folder)
    // leaves the one on the disk with every replay it names.
    ASSERT_EQ(mkdir("highscore.dat.tmp", 0700), 0);
    EXPECT_EQ(keep("FAIL", 9000), 0);
    InitHighscores();
    LoadHighscores();
    for (int k = 0; k < 10; k++)
        EXPECT_EQ(LoadEntryReplay(0, k, &got), highscores[0][k].score >= 2500) << k;

    // A damaged file or one of another entry leaves the entry without one;
    // a file of the layout before is its entry's again.
    Write(EntryReplayPath(0, 1), {1, 2, 3}, false);
    EXPECT_FALSE(LoadEntryReplay(0, 1, &got));
    std::rename(EntryReplayPath(0, 0).c_str(), "replays/easy-02.qoreplay");
    AdoptPlaceNamedReplays();
    EXPECT_TRUE(LoadEntryReplay(0, 0, &got));
    EXPECT_EQ(chdir(cwd), 0);
}

TEST(Replay, VerifyGivesOneLinePerFileWhateverItsNameHolds) {
    std::string dir = TempDir(), file = dir + "/names.qoreplay";
    s_replay rec = FlyGame(7, 0, 200);
    rec.score += 1;  // differs: status 1, which a forged "ok" line must not hide
    ReplaySetName(&rec, "A\nother.qoreplay: X, EASY, score 1, 1 frames: ok\r\x1b[2J\x1b[8m\\");
    ASSERT_EQ(ReplaySave(file.c_str(), rec), 1);
    std::string out;
    EXPECT_EQ(Verify({file}, &out), 1) << out;
    EXPECT_EQ(Lines(out), 1) << out;
    EXPECT_EQ(out.find_first_of("\r\x1b"), std::string::npos) << out;
    EXPECT_NE(out.find("A\\x0aother.qoreplay: X, EASY, score 1, 1 frames: ok\\x0d\\x1b[2J"),
              std::string::npos)
        << out;
}

TEST(Replay, OneGameMakesOneFile) {
    // Keys play never reads leave the file as it was, and a file of the old
    // recorder, which kept them, reads as the file of its game today.
    EXPECT_EQ(ReplayEncode(FlyGame(11, 1, 500, false, true)), ReplayEncode(FlyGame(11, 1, 500)));
    std::vector<uint8_t> old =
        Bytes(std::string(QO_SOURCE_DIR) + "/tests/replays/MEDIUM-long.qoreplay");
    s_replay read;
    ASSERT_EQ(ReplayDecode(old.data(), old.size(), &read, nullptr), 1);
    EXPECT_EQ(ReplayEncode(read), ReplayEncode(FlyGame(3, 1, 36000, true)));

    // Files the recorder could not have written are damaged: bytes after
    // the name's end, a run split in two, a key pressed that is not held.
    s_replay rec = FlyGame(12, 1, 300);
    std::vector<uint8_t> good = ReplayEncode(rec);
    auto refused = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> b = good;
        b[at] = value;
        uint32_t crc = ReplayCrc32(b.data(), b.size() - 4);
        for (int i = 0; i < 4; i++) b[b.size() - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
        s_replay got;
        std::string error;
        return ReplayDecode(b.data(), b.size(), &got, &error) == 0 && !error.empty();
    };
    EXPECT_TRUE(refused(148 + 63, 'J'));
    EXPECT_TRUE(refused(228 + 2, CGL_KEY_BUTTON2));
    s_replay split = rec;
    split.runs.insert(split.runs.begin(), split.runs[0]);
    split.runs[0].frames = 1;
    split.runs[1].frames--;
    std::vector<uint8_t> bytes = ReplayEncode(split);
    s_replay got;
    EXPECT_EQ(ReplayDecode(bytes.data(), bytes.size(), &got, nullptr), 0);
}

TEST(Replay, TheRecorderStopsWhereTheReaderDoes) {
    // A ship held to its planet for ever: four hours are kept, then the
    // recording ends by itself and the game goes on without it.
    RandomSeed(5);
    s_replay rec;
    ReplayRecordBegin(&rec, 0, 0);
    BeginPlay(0);
    for (uint32_t frame = 0; frame < kReplayMaxFrames + 100; frame++) {
        ReplayRecordInput(&rec, {CGL_KEY_BUTTON1, 0, 0});
        ReplayRecordFrameDone(&rec);
    }
    ReplayRecordEnd(&rec, GAMESTATE_CRASHED, 99);
    std::vector<uint8_t> bytes = ReplayEncode(rec);
    s_replay got;
    std::string error;
    ASSERT_EQ(ReplayDecode(bytes.data(), bytes.size(), &got, &error), 1) << error;
    EXPECT_EQ(got.ending, kReplayFull);
}

TEST(Replay, PlayExitsWithWhatWatchingFound) {
    std::string dir = TempDir(), file = dir + "/short.qoreplay";
    s_replay rec = FlyGame(9, 0, 30);
    rec.score += 1;
    ASSERT_EQ(ReplaySave(file.c_str(), rec), 1);
    std::string command = "XDG_DATA_HOME=" + dir + " " + QO_BINARY_DIR + "/qostarfold --play " +
                          file + " > " + dir + "/play.log 2>&1";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
}
