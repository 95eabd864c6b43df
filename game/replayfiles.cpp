// Replays beside the highscores. See replay.h.
//
// An entry's replay is named after the entry itself (its table, score and
// name), not after its place, so that a new entry moves no file: the table
// and its replays change in steps that each leave the disk agreeing with
// itself. The new entry's replay is written before the table that names
// it, and the replay of the entry that left is removed only once the table
// on the disk no longer names it. A crash or a failure between the steps
// leaves at most a file that no entry names. The file's own difficulty,
// name and score must be the entry's too, so a replay of another game is
// never shown for an entry; a missing or damaged file only means the entry
// has no replay.
#include <cstdint>
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

bool ValidEntry(int d, int place) {
    return d >= 0 && d < kHighscoreTables && place >= 0 && place < kHighscorePlaces;
}

// replays/<table>-<score>-<name's FNV-1a hash>.qoreplay: the name is any
// bytes, the hash a safe part of a file name. Entries of one table with the
// same score and name share a file, which proves either.
std::string PathOf(int d, const s_highscore &entry) {
    uint32_t hash = 0x811c9dc5u;
    for (int i = 0; i < kHighscoreNameSize && entry.name[i]; i++) {
        hash ^= static_cast<uint8_t>(entry.name[i]);
        hash *= 0x01000193u;
    }
    char name[64];
    std::snprintf(name, sizeof name, "/%s-%d-%08x.qoreplay", kTableNames[d], entry.score, hash);
    return Folder() + name;
}

bool Proves(const s_replay &replay, int d, const s_highscore &entry) {
    return replay.ending == kReplayFinished && replay.difficulty == d &&
           replay.score == entry.score &&
           std::strncmp(replay.name, entry.name, kHighscoreNameSize) == 0;
}

// The file there is a replay of the entry (quietly false when there is none).
bool LoadsFor(const std::string &path, int d, const s_highscore &entry, s_replay *replay) {
    if (corefile_pathtype(path.c_str()) != 1) return false;
    std::string error;
    if (ReplayLoad(path.c_str(), replay, &error) != 1) {
        std::printf("%s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return Proves(*replay, d, entry);
}

bool NamedInTable(int d, const s_highscore &entry) {
    for (const s_highscore &e : highscores[d])
        if (e.score == entry.score && std::strncmp(e.name, entry.name, kHighscoreNameSize) == 0)
            return true;
    return false;
}

}  // namespace

std::string EntryReplayPath(int d, int place) {
    if (!ValidEntry(d, place)) return std::string();
    return PathOf(d, highscores[d][place]);
}

int ReplayPlaceOf(int score, int d) {
    int place = kHighscorePlaces - 1;
    for (int k = kHighscorePlaces - 1; k >= 0; k--)
        if (score >= highscores[d][k].score) place = k;
    return place;
}

void AdoptPlaceNamedReplays() {
    s_replay replay;
    for (int d = 0; d < kHighscoreTables; d++) {
        for (int k = 0; k < kHighscorePlaces; k++) {
            char name[32];
            std::snprintf(name, sizeof name, "/%s-%02d.qoreplay", kTableNames[d], k + 1);
            std::string old = Folder() + name;
            if (corefile_pathtype(old.c_str()) != 1) continue;
            for (const s_highscore &entry : highscores[d]) {
                std::string path = PathOf(d, entry);
                if (corefile_pathtype(path.c_str()) == 0 && LoadsFor(old, d, entry, &replay)) {
                    corefile_replacefile(old.c_str(), path.c_str());
                    break;
                }
            }
        }
    }
}

void KeepLastReplay(const s_replay &replay) {
    if (replay.frames > 0 && MakeFolder())
        ReplaySave((Folder() + "/last.qoreplay").c_str(), replay);
}

int KeepGame(const s_replay &replay, int d, int place, const s_highscore &left) {
    KeepLastReplay(replay);
    bool entry = ValidEntry(d, place);
    // A game that was not seen to its end proves no final score.
    if (entry && replay.ending == kReplayFinished && MakeFolder()) {
        s_replay there;
        std::string path = EntryReplayPath(d, place);
        if (!LoadsFor(path, d, highscores[d][place], &there)) ReplaySave(path.c_str(), replay);
    }
    if (!SaveHighscores()) return 0;
    if (entry && !NamedInTable(d, left)) corefile_removefile(PathOf(d, left).c_str());
    return 1;
}

bool LoadEntryReplay(int d, int place, s_replay *replay) {
    if (!ValidEntry(d, place)) return false;
    return LoadsFor(EntryReplayPath(d, place), d, highscores[d][place], replay);
}
