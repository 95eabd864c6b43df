// Replays beside the highscores. See replay.h.
//
// An entry's replay is found by its table and place; the file's own
// difficulty, name and score must be the entry's too, so a replay left
// from another game (the tables saved without their replays, or the other
// way round) is never shown for the wrong entry. A missing or damaged file
// only means the entry has no replay.
#include <cstdio>
#include <cstring>

#include "cgl/paths.h"
#include "corefile/corefile.h"
#include "game/highscore.h"
#include "game/replay.h"

namespace {

const char *const kTableNames[kHighscoreTables] = {"easy", "medium", "hard"};

// "replays" in the save folder, beside highscore.dat.
std::string Folder() {
    return std::string(CGL_GetSaveFolder()) + "replays";
}

bool MakeFolder() {
    if (corefile_makefolder(Folder().c_str())) return true;
    std::printf("replays not kept\n");
    return false;
}

}  // namespace

std::string EntryReplayPath(int d, int place) {
    char name[32];
    std::snprintf(name, sizeof name, "/%s-%02d.qoreplay", kTableNames[d < 0 ? 0 : (d > 2 ? 2 : d)],
                  place + 1);
    return Folder() + name;
}

int ReplayPlaceOf(int score, int d) {
    int place = kHighscorePlaces - 1;
    for (int k = kHighscorePlaces - 1; k >= 0; k--)
        if (score >= highscores[d][k].score) place = k;
    return place;
}

void KeepReplay(const s_replay &replay, int d, int place) {
    if (!MakeFolder()) return;
    ReplaySave((Folder() + "/last.qoreplay").c_str(), replay);
    if (d < 0 || d >= kHighscoreTables || place < 0 || place >= kHighscorePlaces) return;

    // From the bottom up: the last entry's replay leaves with it, the others
    // move down one; a place without a file leaves none behind below it.
    corefile_removefile(EntryReplayPath(d, kHighscorePlaces - 1).c_str());
    for (int k = kHighscorePlaces - 2; k >= place; k--) {
        std::string from = EntryReplayPath(d, k), to = EntryReplayPath(d, k + 1);
        if (corefile_pathtype(from.c_str()) != 1 || !corefile_replacefile(from.c_str(), to.c_str()))
            corefile_removefile(to.c_str());
    }
    ReplaySave(EntryReplayPath(d, place).c_str(), replay);
}

bool LoadEntryReplay(int d, int place, s_replay *replay) {
    if (d < 0 || d >= kHighscoreTables || place < 0 || place >= kHighscorePlaces) return false;
    std::string path = EntryReplayPath(d, place), error;
    if (!corefile_pathtype(path.c_str())) return false;  // no replay: nothing to say
    if (ReplayLoad(path.c_str(), replay, &error) != 1) {
        std::printf("%s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    const s_highscore &entry = highscores[d][place];
    return replay->difficulty == d && replay->score == entry.score &&
           std::strncmp(replay->name, entry.name, kHighscoreNameSize) == 0;
}
