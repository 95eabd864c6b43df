// Highscore tables, highscore.dat and the name entry's key rules.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cgl/cgl.h"
#include "game/header.h"
#include "game/highscore.h"

namespace {

std::string TempDir() {
    char pattern[] = "/tmp/qo_highscore_XXXXXX";
    const char *dir = mkdtemp(pattern);
    return dir ? dir : "/tmp";
}

std::vector<unsigned char> ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string &path, const std::vector<unsigned char> &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

bool Exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

int32_t LittleEndianAt(const std::vector<unsigned char> &b, size_t at) {
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
                   uint32_t(b[at + 3]) << 24);
}

// Fills the tables, the name and the bests with values that differ in
// every field, including bytes after the names' zeros. The last byte of a
// name field is zero in memory whatever was typed or loaded.
void FillDistinct() {
    std::memset(player.name, 0x5A, sizeof(player.name) - 1);
    player.name[63] = 0;
    std::strcpy(player.name, "PILOT");
    player.bestScore[0] = 123;
    player.bestScore[1] = -7;
    player.bestScore[2] = 0x01020304;
    for (int d = 0; d < kHighscoreTables; d++) {
        for (int k = 0; k < kHighscorePlaces; k++) {
            std::memset(highscores[d][k].name, 'a' + k, kHighscoreNameSize - 1);
            highscores[d][k].name[63] = 0;
            std::snprintf(highscores[d][k].name, 16, "P%d-%d", d, k);
            highscores[d][k].score = 100000 * (d + 1) - 977 * k;
        }
    }
}

struct Snapshot {
    char name[64];
    int best[3];
    s_highscore tables[kHighscoreTables][kHighscorePlaces];
};

Snapshot Take() {
    Snapshot s;
    std::memcpy(s.name, player.name, 64);
    std::memcpy(s.best, player.bestScore, sizeof(s.best));
    std::memcpy(s.tables, highscores, sizeof(highscores));
    return s;
}

bool Same(const Snapshot &a, const Snapshot &b) {
    if (std::memcmp(a.name, b.name, 64) || std::memcmp(a.best, b.best, sizeof(a.best)))
        return false;
    for (int d = 0; d < kHighscoreTables; d++) {
        for (int k = 0; k < kHighscorePlaces; k++) {
            if (std::memcmp(a.tables[d][k].name, b.tables[d][k].name, kHighscoreNameSize) ||
                a.tables[d][k].score != b.tables[d][k].score)
                return false;
        }
    }
    return true;
}

}  // namespace

TEST(Highscore, InitHighscores_FillsTheSameDefaultTablesAndEmptiesTheName) {
    std::strcpy(player.name, "SOMEONE");
    InitHighscores();
    EXPECT_STREQ(player.name, "");
    for (int d = 0; d < kHighscoreTables; d++) {
        for (int k = 0; k < kHighscorePlaces; k++) {
            EXPECT_EQ(highscores[d][k].score, 2000 - 200 * k);
            const char *name = highscores[d][k].name;
            size_t length = strnlen(name, kHighscoreNameSize);
            EXPECT_GT(length, 0u);
            EXPECT_LT(length, 64u);
            // Only letters the fonts carry, which run from space to '|'.
            for (size_t i = 0; i < length; i++) EXPECT_TRUE(name[i] >= 32 && name[i] <= 124);
            EXPECT_STREQ(name, highscores[0][k].name);
        }
    }
    EXPECT_EQ(kHighscoreFileSize, 2116);
}

TEST(Highscore, InsertHighscore_RanksEqualScoresAboveAndDropsTheLast) {
    InitHighscores();
    std::string oldThird = highscores[1][2].name;
    EXPECT_EQ(InsertHighscore("NEW", 1600, 1), 1600);
    EXPECT_STREQ(highscores[1][2].name, "NEW");
    EXPECT_EQ(highscores[1][2].score, 1600);
    EXPECT_EQ(highscores[1][3].name, oldThird);  // the old 1600 moved down to place 4
    EXPECT_EQ(highscores[1][3].score, 1600);
    EXPECT_EQ(highscores[1][4].score, 1400);
    EXPECT_EQ(highscores[1][9].score, 400);   // the old 200 is gone
    EXPECT_EQ(highscores[0][2].score, 1600);  // other tables untouched
    EXPECT_STRNE(highscores[0][2].name, "NEW");
    EXPECT_STRNE(highscores[2][2].name, "NEW");

    InitHighscores();
    InsertHighscore("LAST", 200, 2);
    EXPECT_STREQ(highscores[2][9].name, "LAST");
    EXPECT_EQ(highscores[2][9].score, 200);
    EXPECT_EQ(highscores[2][8].score, 400);

    InitHighscores();
    std::string oldFirst = highscores[0][0].name;
    InsertHighscore("TOP", 5000, 0);
    EXPECT_STREQ(highscores[0][0].name, "TOP");
    EXPECT_EQ(highscores[0][0].score, 5000);
    EXPECT_EQ(highscores[0][1].name, oldFirst);
    for (int k = 1; k < kHighscorePlaces; k++) EXPECT_EQ(highscores[0][k].score, 2200 - 200 * k);

    // A name longer than the field is cut, and no table is touched for a
    // difficulty that has none.
    InitHighscores();
    std::string longName(100, 'X');
    InsertHighscore(longName.c_str(), 3000, 1);
    EXPECT_EQ(std::strlen(highscores[1][0].name), 63u);
    Snapshot before = Take();
    InsertHighscore("BAD", 9999, 3);
    InsertHighscore("BAD", 9999, -1);
    EXPECT_TRUE(Same(before, Take()));
}

TEST(Highscore, SaveAndLoad_RoundTripByteForByteAtTheFixedOffsets) {
    std::string dir = TempDir();
    std::string path = dir + "/highscore.dat";
    FillDistinct();
    Snapshot saved = Take();
    ASSERT_EQ(SaveHighscoresTo(path.c_str()), 1);
    EXPECT_FALSE(Exists(path + ".tmp"));

    std::vector<unsigned char> file = ReadFile(path);
    ASSERT_EQ(file.size(), 2116u);
    EXPECT_EQ(std::memcmp(file.data(), saved.name, 64), 0);  // the whole field, tail included
    EXPECT_EQ(LittleEndianAt(file, 64), 123);
    EXPECT_EQ(LittleEndianAt(file, 68), -7);
    EXPECT_EQ(file[72], 0x04);
    EXPECT_EQ(file[75], 0x01);
    for (int d = 0; d < kHighscoreTables; d++) {
        for (int k = 0; k < kHighscorePlaces; k++) {
            size_t at = 76 + 680 * d + 68 * k;
            EXPECT_EQ(std::memcmp(file.data() + at, highscores[d][k].name, 64), 0);
            EXPECT_EQ(LittleEndianAt(file, at + 64), highscores[d][k].score);
        }
    }

    InitHighscores();
    player.bestScore[0] = player.bestScore[1] = player.bestScore[2] = 0;
    LoadHighscoresFrom(path.c_str());
    EXPECT_TRUE(Same(saved, Take()));

    // A second save replaces the first one whole.
    InsertHighscore("AGAIN", 999999, 2);
    ASSERT_EQ(SaveHighscoresTo(path.c_str()), 1);
    file = ReadFile(path);
    ASSERT_EQ(file.size(), 2116u);
    EXPECT_EQ(LittleEndianAt(file, 76 + 680 * 2 + 64), 999999);
}

TEST(Highscore, LoadHighscores_ShortMissingAndUnterminatedFiles) {
    std::string dir = TempDir();
    std::string path = dir + "/highscore.dat";

    // Missing: nothing changes.
    InitHighscores();
    player.bestScore[0] = 5;
    Snapshot defaults = Take();
    LoadHighscoresFrom((dir + "/none.dat").c_str());
    EXPECT_TRUE(Same(defaults, Take()));

    // Short: a file that ends two bytes into the score of EASY place 2
    // sets that table's place 1 whole, the name of place 2 and nothing after.
    FillDistinct();
    ASSERT_EQ(SaveHighscoresTo(path.c_str()), 1);
    std::vector<unsigned char> file = ReadFile(path);
    Snapshot full = Take();
    size_t cut = 76 + 68 + 64 + 2;
    WriteFile(path, std::vector<unsigned char>(file.begin(), file.begin() + cut));
    InitHighscores();
    player.bestScore[0] = player.bestScore[1] = player.bestScore[2] = 0;
    LoadHighscoresFrom(path.c_str());
    EXPECT_STREQ(player.name, "PILOT");
    EXPECT_EQ(player.bestScore[2], full.best[2]);
    EXPECT_STREQ(highscores[0][0].name, full.tables[0][0].name);
    EXPECT_EQ(highscores[0][0].score, full.tables[0][0].score);
    EXPECT_STREQ(highscores[0][1].name, full.tables[0][1].name);
    EXPECT_EQ(highscores[0][1].score, 1800);  // cut in the middle: kept
    EXPECT_EQ(highscores[0][2].score, 1600);
    EXPECT_EQ(highscores[2][9].score, 200);

    // A file shorter than the name keeps even the name.
    InitHighscores();
    WriteFile(path, std::vector<unsigned char>(10, 'Q'));
    LoadHighscoresFrom(path.c_str());
    EXPECT_STREQ(player.name, "");

    // Name fields without a zero byte are cut at their last byte; a longer
    // file's tail is ignored.
    std::vector<unsigned char> noZero(2116 + 50, 'W');
    for (int i = 64; i < 76; i++) noZero[i] = 0;
    InitHighscores();
    WriteFile(path, noZero);
    LoadHighscoresFrom(path.c_str());
    EXPECT_EQ(std::strlen(player.name), 63u);
    EXPECT_EQ(player.bestScore[1], 0);
    for (int d = 0; d < kHighscoreTables; d++) {
        for (int k = 0; k < kHighscorePlaces; k++) {
            EXPECT_EQ(highscores[d][k].name[63], 0);
            EXPECT_EQ(std::strlen(highscores[d][k].name), 63u);
            EXPECT_EQ(highscores[d][k].score, 0x57575757);
        }
    }
}

TEST(Highscore, SaveHighscores_FailureLeavesTheOldFileWhole) {
    std::string dir = TempDir();
    std::string path = dir + "/highscore.dat";
    InitHighscores();
    ASSERT_EQ(SaveHighscoresTo(path.c_str()), 1);
    std::vector<unsigned char> good = ReadFile(path);
    InsertHighscore("CHANGED", 7777, 0);

    // A directory that does not exist (root writes anywhere else).
    EXPECT_EQ(SaveHighscoresTo((dir + "/missing/highscore.dat").c_str()), 0);
    EXPECT_FALSE(Exists(dir + "/missing"));

    // A full disk: the sibling file is the full device, the flush fails.
    if (Exists("/dev/full")) {
        ASSERT_EQ(symlink("/dev/full", (path + ".tmp").c_str()), 0);
        EXPECT_EQ(SaveHighscoresTo(path.c_str()), 0);
        EXPECT_EQ(ReadFile(path), good);
        EXPECT_FALSE(Exists(path + ".tmp"));
    }

    // The sibling cannot be created for a reason that is not the folder's
    // permissions (here a directory in its place, as a full disk or an I/O
    // error would): the old file stays whole, and one line says so.
    ASSERT_EQ(mkdir((path + ".tmp").c_str(), 0700), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(SaveHighscoresTo(path.c_str()), 0);
    std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadFile(path), good);
    EXPECT_EQ(said.find("in place"), std::string::npos) << said;
    EXPECT_NE(said.find("kept as it was\n"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    rmdir((path + ".tmp").c_str());

    // A directory standing where the file belongs cannot be replaced.
    std::string blocked = dir + "/blocked.dat";
    ASSERT_EQ(mkdir(blocked.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((blocked + "/x").c_str(), 0700), 0);
    EXPECT_EQ(SaveHighscoresTo(blocked.c_str()), 0);
    EXPECT_FALSE(Exists(blocked + ".tmp"));
}

TEST(Highscore, SaveHighscores_WritesThroughASymbolicLink) {
    std::string dir = TempDir();
    std::string target = dir + "/kept.dat", link = dir + "/highscore.dat";
    InitHighscores();
    ASSERT_EQ(SaveHighscoresTo(target.c_str()), 1);
    ASSERT_EQ(symlink("kept.dat", link.c_str()), 0);
    InsertHighscore("LINKED", 9999, 2);
    testing::internal::CaptureStdout();
    EXPECT_EQ(SaveHighscoresTo(link.c_str()), 1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("in place"), std::string::npos);
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    std::vector<unsigned char> file = ReadFile(target);
    ASSERT_EQ(file.size(), size_t(kHighscoreFileSize));
    EXPECT_EQ(LittleEndianAt(file, 76 + 2 * 680 + 64), 9999);
}

// A process saving in a loop, killed at random moments: the file is always
// one complete save, never torn, empty or older than the last one seen.
TEST(Highscore, SaveHighscores_SurvivesBeingKilledAtAnyMoment) {
    std::string dir = TempDir();
    std::string path = dir + "/highscore.dat";
    auto fill = [](int version) {
        InitHighscores();
        for (int i = 0; i < 3; i++) player.bestScore[i] = version;
        for (int d = 0; d < kHighscoreTables; d++)
            for (int k = 0; k < kHighscorePlaces; k++) highscores[d][k].score = version + k;
    };
    fill(0);
    ASSERT_EQ(SaveHighscoresTo(path.c_str()), 1);
    std::vector<unsigned char> file = ReadFile(path);
    int last = 0, mid_save = 0;
    srand(17);
    for (int kill_no = 0; kill_no < 300; kill_no++) {
        int pipefd[2];
        ASSERT_EQ(pipe(pipefd), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::freopen("/dev/null", "w", stdout);
            close(pipefd[0]);
            for (int version = last + 1; version < last + 100000; version++) {
                fill(version);
                if (version == last + 1 && write(pipefd[1], "g", 1) != 1) _exit(1);
                SaveHighscoresTo(path.c_str());
            }
            _exit(0);
        }
        close(pipefd[1]);
        char go;
        ASSERT_EQ(read(pipefd[0], &go, 1), 1);
        close(pipefd[0]);
        usleep(rand() % 3000);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));

        mid_save += Exists(path + ".tmp");
        std::vector<unsigned char> now = ReadFile(path);
        ASSERT_EQ(now.size(), size_t(kHighscoreFileSize)) << "after kill " << kill_no;
        int version = LittleEndianAt(now, 64);
        ASSERT_GE(version, last);
        fill(version);
        ASSERT_EQ(SaveHighscoresTo((path + ".want").c_str()), 1);
        ASSERT_EQ(now, ReadFile(path + ".want")) << "torn file after kill " << kill_no;
        last = version;
    }
    EXPECT_GT(last, 0);  // the saves got on
    std::printf("300 kills, %d during a save, %d saves in all\n", mid_save, last);
}

// ---------------------------------------------------------------------------
// Name entry
// ---------------------------------------------------------------------------

namespace {

void FadedIn(s_nameentry *entry) {
    NameEntryBegin(entry);
    int frames = 0;
    while (entry->fadeState != GAMESTATE_PLAY && frames < 1000) {
        HandleFade(&entry->fadeState);
        frames++;
    }
    ASSERT_EQ(entry->fadeState, GAMESTATE_PLAY);
    EXPECT_EQ(frames, 52);  // 51 steps of 0.02 from black, then the state changes
}

}  // namespace

TEST(NameEntry, EnterWithAnEmptyNameIsAcceptedAndInsertsIt) {
    InitHighscores();
    s_nameentry entry;
    FadedIn(&entry);
    EXPECT_EQ(entry.length, 0);
    NameEntryKey(&entry, CGL_KEYCODE_ENTER, 1);
    EXPECT_EQ(entry.fadeState, GAMESTATE_FADEOUT);
    InsertHighscore(player.name, 2000, 1);
    EXPECT_STREQ(highscores[1][0].name, "");
    EXPECT_EQ(highscores[1][0].score, 2000);
    // The fade-out runs to black and ends the screen; keys do nothing meanwhile.
    NameEntryKey(&entry, 'A', 1);
    EXPECT_STREQ(player.name, "");
    int frames = 0;
    while (entry.fadeState <= 89 && frames < 1000) {
        HandleFade(&entry.fadeState);
        frames++;
    }
    EXPECT_EQ(entry.fadeState, GAMESTATE_LEFT);
}

TEST(NameEntry, LettersSpaceBackspaceAndIgnoredKeys) {
    InitHighscores();
    s_nameentry entry;
    FadedIn(&entry);

    NameEntryKey(&entry, CGL_KEYCODE_BACKSPACE, 1);  // on empty: nothing
    EXPECT_EQ(entry.length, 0);
    EXPECT_STREQ(player.name, "");

    NameEntryKey(&entry, 'Q', 1);
    NameEntryKey(&entry, 'O', 1);
    NameEntryKey(&entry, CGL_KEYCODE_SPACE, 1);
    NameEntryKey(&entry, '1', 1);  // digits are ignored
    NameEntryKey(&entry, '9', 1);
    NameEntryKey(&entry, 97, 1);   // the keypad's 1, not an 'a'
    NameEntryKey(&entry, 105, 1);  // the keypad's 9
    NameEntryKey(&entry, 'Z', 0);  // an unchanged code is no new key
    NameEntryKey(&entry, CGL_KEYCODE_LEFT, 1);
    NameEntryKey(&entry, '@', 1);  // one below 'A'
    NameEntryKey(&entry, '[', 1);  // one above 'Z'
    NameEntryKey(&entry, 'Z', 1);
    EXPECT_STREQ(player.name, "QO Z");
    EXPECT_EQ(entry.length, 4);
    NameEntryKey(&entry, CGL_KEYCODE_BACKSPACE, 1);
    NameEntryKey(&entry, CGL_KEYCODE_BACKSPACE, 1);
    EXPECT_STREQ(player.name, "QO");

    // The previous name is offered again by the next entry.
    s_nameentry next;
    NameEntryBegin(&next);
    EXPECT_EQ(next.length, 2);
    EXPECT_EQ(next.fadeState, GAMESTATE_FADEIN);
    EXPECT_EQ(fade, 0.0f);
}

TEST(NameEntry, SeventyLettersLeaveSixtyTwoWithTheLatestLast) {
    InitHighscores();
    s_nameentry entry;
    FadedIn(&entry);
    std::string typed;
    for (int i = 0; i < 70; i++) {
        char c = static_cast<char>('A' + i % 26);
        typed += c;
        NameEntryKey(&entry, c, 1);
    }
    EXPECT_EQ(entry.length, 62);
    ASSERT_EQ(std::strlen(player.name), 62u);
    EXPECT_EQ(std::string(player.name, 61), typed.substr(0, 61));
    EXPECT_EQ(player.name[61], typed.back());

    // A 63-letter name from the file is cut to 62 by the next letter.
    std::memset(player.name, 'K', 63);
    player.name[63] = 0;
    FadedIn(&entry);
    EXPECT_EQ(entry.length, 63);
    NameEntryKey(&entry, 'B', 1);
    EXPECT_EQ(std::strlen(player.name), 62u);
    EXPECT_EQ(player.name[61], 'B');
}

TEST(NameEntry, KeysWhileFadingInAreIgnored) {
    InitHighscores();
    s_nameentry entry;
    NameEntryBegin(&entry);
    NameEntryKey(&entry, 'A', 1);
    NameEntryKey(&entry, CGL_KEYCODE_ENTER, 1);
    HandleFade(&entry.fadeState);
    NameEntryKey(&entry, 'B', 1);
    EXPECT_STREQ(player.name, "");
    EXPECT_EQ(entry.length, 0);
    EXPECT_EQ(entry.fadeState, GAMESTATE_FADEIN);
}

TEST(NameEntry, AKeyHeldThroughTheFadeInIsNotTypedAfterIt) {
    InitHighscores();
    cgl_keycode = 0;
    cgl_input_prevkeycode = 0;
    s_nameentry entry;
    NameEntryBegin(&entry);
    cgl_keycode = 'Q';  // goes down in the first frame and stays down
    while (entry.fadeState != GAMESTATE_PLAY) {
        NameEntryReadKey(&entry);
        HandleFade(&entry.fadeState);
    }
    NameEntryReadKey(&entry);
    NameEntryReadKey(&entry);
    EXPECT_STREQ(player.name, "");

    // Released (the key-up clears both words), then pressed again: typed once.
    cgl_keycode = 0;
    cgl_input_prevkeycode = 0;
    NameEntryReadKey(&entry);
    cgl_keycode = 'Q';
    NameEntryReadKey(&entry);
    NameEntryReadKey(&entry);
    EXPECT_STREQ(player.name, "Q");
    cgl_keycode = 13;  // the Enter key
    NameEntryReadKey(&entry);
    EXPECT_EQ(entry.fadeState, GAMESTATE_FADEOUT);
    cgl_keycode = 0;
    cgl_input_prevkeycode = 0;
}
