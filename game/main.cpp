// coremain: the game as the engine sees it, and the game's globals.
//
// Brings the engine up in a fixed order, loads highscores, pictures and
// sounds, then alternates between the title screen and games until the
// player quits from the title screen. In every frame of play all drawing
// comes before all handling, so a frame shows the state the previous
// frame's handlers left. Every game is recorded and its replay kept beside
// the highscores; the command line can ask to watch a replay in the window
// (--play) or to check replays without one (--verify).
//
// Depends on: everything in game/, cgl, sound, corefile.
#include "game/header.h"
#include "game/assets.h"
#include "game/highscore.h"
#include "game/play.h"
#include "game/random.h"
#include "game/replay.h"
#include "game/title.h"
#include "corefile/corefile.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// ---------------------------------------------------------------------------
// Globals

c_player player;
c_planet planet[kMaxPlanets];
c_star star[kNumStars];
c_bgstar bgstar[kNumBGStars];

int scrollx = 0, scrolly = 0;
int currentFrame = 0;
float fade = 0;
int numPlanets = 0;
int gameState = 0;
int difficulty = 1;
int xClosestPlanet = 0, yClosestPlanet = 0;
float distClosestPlanet = 0;

const char *difficultyText[3] = {"EASY", "MEDIUM", "HARD"};
const char *introtext[4] = {"", "QUILLMOTH STUDIO PRESENTS", "A GAME BY THE QUILLMOTH TEAM", ""};
int attract_screens[4] = {1, 3, 1, 2};

// ---------------------------------------------------------------------------
// One frame of play

namespace {

void PlayFrame() {
    CGL_WaitRefresh();
    DrawPlayFrame();
    HandlePlayFrame();
    CGL_SetFadeValue(fade);
    CGL_SwapBuffers();
    currentFrame += 1;
}

// Every game is recorded; the recording lives as long as the program.
s_replay recording;

// One game from its start to its end, recorded. The caller holds the
// close: a close during the game (the window's, a signal) ends it at the
// next frame, with the game so far recorded, and then this returns false.
bool PlayGame() {
    ReplayRecordBegin(&recording, difficulty, fade);
    BeginPlay(difficulty);
    SetPlayRecording(&recording);
    bool closed = false;
    do {
        closed = CGL_CloseRequested() != 0;
        if (closed) break;
        PlayFrame();
        ReplayRecordFrameDone(&recording);
    } while (gameState <= 89);
    SetPlayRecording(nullptr);
    ReplayRecordEnd(&recording, gameState, player.score, closed ? kReplayClosed : kReplayFinished);
    return !closed;
}

// The replay to watch (--play), as given: the working directory stays the
// caller's.
std::string playPath;

void Usage() {
    std::printf(
        "usage: qostarfold                   play\n"
        "       qostarfold --play FILE       watch a replay (Space pauses, Right is fast, Escape "
        "leaves)\n"
        "       qostarfold --verify FILE...  play replays without a window and check them\n");
}

void StartEngine() {
    corefile_mountimage("qostarfold.dat", 0);
    CGL_InitVideo(1280, 720, 1);
    CGL_SetFramebuffer(CGL_InitFramebuffer(kScreenWidth, kScreenHeight));
    CGL_SetTitle("QO STARFOLD");
    CGL_InitShader(vv_starfold, ff_starfold);
    CGL_SetScanlineValue(0.2f);
    Soundsystem_Init(44100, 16, 2);
    // The seed is printed so that a session can be told apart from another.
    uint32_t seed = CGL_GetMillis();
    std::printf("- Random seed %u\n", seed);
    RandomSeed(seed);
    Random();
    for (int &best : player.bestScore) best = 0;
    InitHighscores();
    LoadHighscores();
    AdoptPlaceNamedReplays();
    LoadGraphics();
    LoadSounds();
    InitBGStars();
}

}  // namespace

// ---------------------------------------------------------------------------
// Main loop

int coremain_command() {
    const char *const *argv = nullptr;
    int argc = CGL_GetArgs(&argv);
    if (argc <= 1) return -1;
    std::string option = argv[1];
    if (option == "--verify" && argc > 2) return VerifyReplayFiles(argc - 2, argv + 2, stdout);
    if (option == "--play" && argc == 3) {
        s_replay replay;
        std::string error;
        int loaded = ReplayLoad(argv[2], &replay, &error);
        if (loaded <= 0) {
            std::printf("%s: %s%s\n", ReplayShownText(argv[2]).c_str(),
                        loaded == 0 ? "cannot read: " : "refused: ", error.c_str());
            return 2;
        }
        playPath = argv[2];
        return -1;
    }
    Usage();
    return 2;
}

void coremain() {
    StartEngine();
    if (!playPath.empty()) {
        // What watching it found is the process's status.
        CGL_SetExitStatus(WatchReplayFile(playPath.c_str()));
        CGL_CloseVideo();
        return;
    }

    int mode = 0;  // the title screen's first page: 0 intro, 1 main, 3 highscores
    for (;;) {
        TitleScreen(mode);
        mode = 1;
        numPlanets = difficulty * kPlanetsPerDifficulty + kBasePlanets;
        if (gameState > 99) break;

        // A close from here on waits until the game so far is kept or,
        // once it has ended, until its score is in the table (under the
        // name as typed so far) and saved with its replay.
        CGL_HoldClose();
        if (!PlayGame()) {
            // Cut off in play: watchable as the last game, and no score
            // for the table, as the game did not end.
            ReplaySetName(&recording, player.name);
            KeepLastReplay(recording);
            CGL_ReleaseClose();  // the waiting close ends the program here
            break;
        }
        int d = difficulty < 0 ? 0 : (difficulty > 2 ? 2 : difficulty);
        int place = -1;
        s_highscore left = highscores[d][kHighscorePlaces - 1];
        if (player.score >= left.score) {
            place = ReplayPlaceOf(player.score, d);
            EnterHighscoreScreen();
            InsertHighscore(player.name, player.score, d);
            mode = 3;
        }
        ReplaySetName(&recording, player.name);
        // The tables are saved after every game, so a run that is killed
        // later keeps them.
        KeepGame(recording, d, place, left);
        CGL_ReleaseClose();
        if (gameState > 99) break;
    }

    CGL_HoldClose();
    SaveHighscores();
    CGL_ReleaseClose();
    CGL_CloseVideo();
}
