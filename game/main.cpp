// coremain: the game as the engine sees it, and the game's globals.
//
// Brings the engine up in a fixed order, loads highscores, pictures and
// sounds, then alternates between the title screen and games until the
// player quits from the title screen. In every frame of play all drawing
// comes before all handling, so a frame shows the state the previous
// frame's handlers left.
//
// Depends on: everything in game/, cgl, sound, corefile.
#include "game/header.h"
#include "game/assets.h"
#include "game/highscore.h"
#include "game/title.h"
#include "corefile/corefile.h"

#include <cstdlib>

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

    DrawBackground();
    DrawBGStars();
    if (player.alive && player.flightMode != 0)
        player.DrawChain((int)(player.x + 16), (int)(player.y + 16), xClosestPlanet,
                         yClosestPlanet);
    DrawPlanets();
    DrawStars();
    player.Draw();
    DrawHUD();

    HandlePlanets();
    HandleStars();
    player.HandleInput();
    HandleFade(&gameState);

    CGL_SetFadeValue(fade);
    CGL_SwapBuffers();
    currentFrame += 1;
}

void StartEngine() {
    corefile_mountimage("qostarfold.dat", 0);
    CGL_InitVideo(1280, 720, 1);
    CGL_SetFramebuffer(CGL_InitFramebuffer(kScreenWidth, kScreenHeight));
    CGL_SetTitle("QO STARFOLD");
    CGL_InitShader(vv_starfold, ff_starfold);
    CGL_SetScanlineValue(0.2f);
    Soundsystem_Init(44100, 16, 2);
    srand(CGL_GetMillis());
    rand();
    for (int &best : player.bestScore) best = 0;
    InitHighscores();
    LoadHighscores();
    LoadGraphics();
    LoadSounds();
    InitBGStars();
}

}  // namespace

// ---------------------------------------------------------------------------
// Main loop

void coremain() {
    StartEngine();

    int mode = 0;  // the title screen's first page: 0 intro, 1 main, 3 highscores
    for (;;) {
        TitleScreen(mode);
        mode = 1;
        numPlanets = difficulty * 20 + 50;
        if (gameState > 99) break;

        InitPlanets();
        InitStars();
        player.Init();
        gameState = GAMESTATE_FADEIN;
        do {
            PlayFrame();
        } while (gameState <= 89);

        // A close of the window from here on waits until the score is in
        // the table, under the name as typed so far, and saved.
        CGL_HoldClose();
        int d = difficulty < 0 ? 0 : (difficulty > 2 ? 2 : difficulty);
        if (player.score >= highscores[d][kHighscorePlaces - 1].score) {
            EnterHighscoreScreen();
            InsertHighscore(player.name, player.score, d);
            mode = 3;
        }
        // Saved after every game too, so a run that is killed later keeps it.
        SaveHighscores();
        CGL_ReleaseClose();
        if (gameState > 99) break;
    }

    CGL_HoldClose();
    SaveHighscores();
    CGL_ReleaseClose();
    CGL_CloseVideo();
}
