// The game's globals and its object classes.
//
// Everything here lives on the game thread: the ship, the planet, star and
// background-star tables, the camera, the frame counter, the fade and the
// state of the main loop. Nothing is allocated during play; each game only
// overwrites slots of the fixed tables.
//
//   c_player   the one ship, its flight, trail, score and combo  (c_player.cpp)
//   c_planet   obstacles and latch anchors                      (c_planet.cpp)
//   c_star     collectable stars and their bursts               (c_star.cpp)
//   c_bgstar   decorative parallax stars                        (c_bgstar.cpp)
//   table walkers, camera/backdrop, HUD and fade              (game_functions.cpp)
//   coremain and the definitions of the globals below         (main.cpp)
#pragma once

#include <cfloat>

#include "game/c_sparkle.h"

// Every float and double operation of the game is rounded to its own type,
// as IEEE has it, so that every build computes the same bits (the replays
// prove it). Where expressions are evaluated in a wider type (the x87 unit
// of 32-bit x86), the build must ask for SSE2 arithmetic instead.
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "float expressions are evaluated in a wider type here: build with -msse2 -mfpmath=sse"
#endif

// Playfield and table sizes.
constexpr int kPlayfieldWidth = 2560;
constexpr int kPlayfieldHeight = 1920;
constexpr int kScreenWidth = 360;
constexpr int kScreenHeight = 240;
constexpr int kMaxPlanets = 256;
constexpr int kNumStars = 1200;
constexpr int kNumBGStars = 500;
constexpr int kNumSparkles = 32;

// The flight's tuning. Every replay carries a hash of these (replay.cpp
// lists them): changing one changes the game.
constexpr float kLatchRange = 180.0f;    // the action input latches within this distance
constexpr float kSnapDistance = 270.0f;  // a chain stretched beyond this snaps
constexpr float kCruiseSpeed = 2.5f;     // free flight slows down to this
constexpr float kTopSpeed = 6.0f;        // a swing speeds up to this
constexpr double kSpeedDecay = 0.005;    // per frame of free flight above the cruise
constexpr double kSpeedGain = 0.008;     // per frame of latched flight below the top
constexpr double kSwingRate = 1.5;       // latched turn: this times sqrt(180 / distance)
constexpr float kMinTurnSpeed = 0.5f;    // free steering never turns slower
constexpr int kComboWindow = 63;         // frames a combo waits for its next star
constexpr int kCrashDelay = 63;          // frames from a crash to the end of the game
constexpr double kWreckDrag = 0.95;      // a wreck's speed, frame by frame
constexpr int kBasePlanets = 50;         // planets at EASY; each difficulty adds
constexpr int kPlanetsPerDifficulty = 20;

// Values of gameState (the thresholds 89 and 99 end a game and the program).
constexpr int GAMESTATE_PLAY = 0;
constexpr int GAMESTATE_FADEIN = 1;
constexpr int GAMESTATE_SLOWFADEIN = 2;
constexpr int GAMESTATE_FADEOUT = 3;
constexpr int GAMESTATE_LEFT = 90;
constexpr int GAMESTATE_CRASHED = 98;
constexpr int GAMESTATE_QUIT = 100;
constexpr int GAMESTATE_SLOWFADEDONE = 255;

class c_player {
public:
    float x = 0, y = 0;    // top-left corner of the 32 by 32 ship picture
    float dx = 0, dy = 0;  // the last frame's movement
    float angle = 0;       // heading in degrees, 0 up, 90 right; kept in 0..360
    float speed = 0;       // units per frame
    float minTurnSpeed = 0;
    int combo = 0;       // stars picked up in the running combo
    int comboTimer = 0;  // frames since the last pick-up while a combo runs
    int flightMode = 0;  // 0 free, +1 / -1 latched and turning towards larger / smaller angles
    int newHighscoreTimer = 0;
    int mouseButtons = 0;  // mouse button bits read this frame
    int score = 0;
    int bestScore[3] = {0, 0, 0};  // per difficulty
    char name[64] = {};            // name typed for a highscore
    bool alive = false;
    int sparkleCount = 0;  // trail sparkles emitted so far
    c_sparkle sparkle[kNumSparkles];

    void Init();
    void HandleInput();
    void DetermineFlightMode();
    void HandleSparkles();
    void Draw();
    void DrawChain(int x1, int y1, int x2, int y2);
};

class c_planet {
public:
    int x = 0, y = 0;  // top-left corner of the picture
    float dist = 0;    // centre-to-centre distance to the ship, refreshed every frame
    int type = 0;      // spr_planet entry, 0..3
    int size = 0;      // radius: 25 for types 0 and 1, 16 for 2 and 3
    int explodeTimer = 0;

    void Init(int x, int y);
    void Draw();
    // The crash countdown Draw runs, for a frame that is not drawn.
    void AdvanceExplosion();
    void Handle(c_player &player);
};

class c_star {
public:
    int x = 0, y = 0;  // top-left corner of the 8 by 8 picture
    int colour = 0;    // spr_star entry and sparkle colour, 0..7
    c_sparkle sparkle[kNumSparkles];
    int sparkleCount = 0;
    int state = 0;  // 1 waiting, 2 bursting, 0 gone

    void Init(int x, int y);
    void Draw();
    void Handle(c_player &player);
};

class c_bgstar {
public:
    int x = 0, y = 0;
    int layer = 0;  // 0..3: depth, spr_bgstar entry and parallax divisor - 3

    void Init();
    void Draw();
};

// Object tables.
extern c_player player;
extern c_planet planet[kMaxPlanets];
extern c_star star[kNumStars];
extern c_bgstar bgstar[kNumBGStars];

// Camera: the world position shown at the picture's top-left pixel.
extern int scrollx, scrolly;
// Presented frames since start-up; never reset.
extern int currentFrame;
// Picture brightness, 0 black to 1 full (it overshoots a little at both ends).
extern float fade;
extern int numPlanets;
extern int gameState;
extern int difficulty;  // 0..2, initially 1
// Centre of the planet the ship is latched to or, while free, nearest to.
extern int xClosestPlanet, yClosestPlanet;
// Distance from the ship's top-left corner to that centre, taken while free.
extern float distClosestPlanet;

// Title-screen data, defined in main.cpp.
extern const char *difficultyText[3];
extern const char *introtext[4];
extern int attract_screens[4];

// Table walkers, index order. The placements give up (false) after
// kMaxPlacementTries candidates, which only a broken generator state needs:
// the worst of 3,000 seeds at HARD took 3,582 for its planets.
constexpr long kMaxPlacementTries = 1L << 18;
bool InitPlanets();
void DrawPlanets();
void AdvancePlanets();  // what DrawPlanets does to the game, without drawing
void HandlePlanets();
bool InitStars();
void DrawStars();
void HandleStars();
void InitBGStars();
void DrawBGStars();

// The placement rules, one candidate at a time: a planet candidate against
// the first `placed` planets, a star candidate against the game's planets.
bool AcceptPlanetPosition(int x, int y, int placed);
bool AcceptStarPosition(int x, int y);

// Camera and backdrop, HUD, fade.
void DrawBackground();
void DrawHUD();
void HandleFade(int *state);

void coremain();
