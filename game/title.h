// Title screen: intro, main page, credits, highscores, the demo of the best
// recorded game and the attract cycle.
//
// TitleScreen runs its own frame loop until the player starts a game
// (gameState 0, difficulty chosen) or quits (gameState 100). The state of
// one call lives in s_titlestate and moves on by TitleStep, one frame per
// call, so the rules can be driven frame by frame without a window.
//
// Depends on: game/header.h (globals, HandleFade, DrawBGStars),
// game/highscore.h (the tables), game/play.h (the demo), game/assets.h, cgl,
// sound.
#pragma once

// Pages.
constexpr int TITLE_INTRO = 0;
constexpr int TITLE_MAIN = 1;
constexpr int TITLE_CREDITS = 2;
constexpr int TITLE_HIGHSCORES = 3;
// The best recorded game of the chosen difficulty, played after the credits.
constexpr int TITLE_DEMO = 4;

// Frames each page of the attract cycle stays up.
constexpr int kAttractPeriod = 384;
// Frames of the intro; a key is taken only after the first 63 of them.
constexpr int kIntroLength = 832;
constexpr int kIntroKeyDelay = 63;

extern const char *const titleVersion;  // "V 0.91B"
extern const char *const titleNotice;
extern const char *const creditsText[3];

struct s_titlestate {
    int page;          // TITLE_...
    int introTimer;    // frames spent on the intro
    int attractTimer;  // frames since the cycle (re)started
    int fadeState;     // the title's own state for HandleFade
    int prevMouse;     // mouse buttons of the previous frame
    int demoReady;     // set by the loop: a replay can be shown for the difficulty
    int demoOver;      // set by the loop: the demo's game has ended
};

// The running (or last) title screen's state. Lives on the game thread like
// every game global; a tool or test that looks at it does so from there.
extern s_titlestate titlestate;

// What the intro shows in its frame t: a text (null when none) or the logo
// at logoY (with text null); hasLogo tells which.
struct s_introview {
    const char *text;
    bool hasLogo;
    int logoY;
};

// Mode 0 opens with the intro, 1 with the main page, 3 with the highscore
// page. Sets gameState and fade to 0.
void TitleBegin(s_titlestate *title, int mode);
// One frame's handling: the page's input (newly pressed key bits and the
// mouse buttons held now), the attract cycle and the fade. When the cycle
// comes round after the credits and demoReady is set, the demo page comes
// up and stays until its game is over or a key or click leaves it.
void TitleStep(s_titlestate *title, int pressed, int mouseButtons);
// The loop goes on while this holds.
bool TitleRunning(const s_titlestate *title);
s_introview TitleIntroView(int t);

// Drawing, split the same way: the backdrop and stars, the page as the
// state stands before the frame's handling, and the top and notice lines.
void DrawTitleBackdrop();
void DrawTitlePage(const s_titlestate *title);
void DrawTitleTopLine();

void TitleScreen(int mode);
