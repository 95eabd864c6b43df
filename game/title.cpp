// Title screen: intro, main page, credits, highscores, the demo and the
// attract cycle.
//
// A frame draws the page as the previous frame left it and then handles
// that page's input, like a frame of play. The top and notice lines follow
// the handling, so they appear already in the frame in which the intro
// ends.
#include "game/title.h"

#include <cstring>

#include "cgl/cgl.h"
#include "game/assets.h"
#include "game/gamemath.h"
#include "game/header.h"
#include "game/highscore.h"
#include "game/play.h"
#include "game/replay.h"
#include "sound/sound.h"

// ---------------------------------------------------------------------------
// Texts and the attract cycle
// ---------------------------------------------------------------------------

// introtext, attract_screens and difficultyText live with the other game
// globals in main.cpp.

const char *const titleVersion = "V 0.91B";
// The intro presents the studio and its team; the notice and the credits
// name them the same way.
const char *const titleNotice = "(C) 2026 QUILLMOTH STUDIO";
const char *const creditsText[3] = {
    "GAME CODE & DESIGN: QUILLMOTH PLAY TEAM",
    "CODE & GRAPHICS: QUILLMOTH ENGINE TEAM",
    "SOUNDTRACK: QUILLMOTH SOUND TEAM",
};

namespace {

// The difficulty on the main page; the outer two are padded to the width
// of the middle one.
const char *const kDifficultyLabel[3] = {" EASY", "MEDIUM", " HARD"};

constexpr double kPi = 3.14159265358979323846;

int ClampedDifficulty() {
    if (difficulty < 0) return 0;
    if (difficulty > 2) return 2;
    return difficulty;
}

void StartAttractCycle(s_titlestate *title) {
    title->page = TITLE_MAIN;
    title->attractTimer = 0;
    title->fadeState = GAMESTATE_FADEIN;
}

void HandleIntro(s_titlestate *title, int pressed, int mousePress) {
    title->introTimer++;
    if (title->introTimer > kIntroLength - 1) {
        title->page = TITLE_MAIN;
        title->fadeState = GAMESTATE_PLAY;
    }
    if (title->introTimer > kIntroKeyDelay && (pressed || mousePress)) StartAttractCycle(title);
}

void HandleMain(s_titlestate *title, int pressed, int mousePress) {
    if (title->fadeState != GAMESTATE_PLAY) return;
    // Four tests, each by itself: Escape and Enter in one frame both act,
    // and the quit wins because it ends the loop in this very frame.
    if ((pressed & CGL_KEY_LEFT) && difficulty > 0) {
        Soundsystem_PlaySound(&snd_select, 0);
        difficulty--;
    }
    if ((pressed & CGL_KEY_RIGHT) && difficulty < 2) {
        Soundsystem_PlaySound(&snd_select, 0);
        difficulty++;
    }
    if ((pressed & CGL_KEY_ESCAPE) || mousePress == 2) gameState = GAMESTATE_QUIT;
    if ((pressed & (CGL_KEY_START | CGL_KEY_BUTTON1)) || mousePress == 1) {
        Soundsystem_PlaySound(&snd_pressstart, 0);
        title->fadeState = GAMESTATE_FADEOUT;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// State
// ---------------------------------------------------------------------------

void TitleBegin(s_titlestate *title, int mode) {
    gameState = GAMESTATE_PLAY;
    fade = 0;
    title->page = (mode >= TITLE_INTRO && mode <= TITLE_HIGHSCORES) ? mode : TITLE_MAIN;
    title->introTimer = 0;
    title->attractTimer = 0;
    title->fadeState = (title->page == TITLE_INTRO) ? GAMESTATE_SLOWFADEIN : GAMESTATE_FADEIN;
    title->prevMouse = 0;
    title->demoReady = 0;
    title->demoOver = 0;
    // After a name entry the fresh table stays up for one whole period: the
    // cycle picks up in its highscore slot, one frame in, because the first
    // frame shows the page given by the mode.
    if (title->page == TITLE_HIGHSCORES) title->attractTimer = kAttractPeriod + 1;
}

void TitleStep(s_titlestate *title, int pressed, int mouseButtons) {
    int mousePress = (mouseButtons != 0 && title->prevMouse == 0) ? mouseButtons : 0;
    title->prevMouse = mouseButtons;

    switch (title->page) {
        case TITLE_INTRO:
            HandleIntro(title, pressed, mousePress);
            break;
        case TITLE_MAIN:
            HandleMain(title, pressed, mousePress);
            break;
        case TITLE_DEMO:
            if (pressed || mousePress || title->demoOver) StartAttractCycle(title);
            break;
        default:  // credits and highscores: any input brings the main page back
            if (pressed || mousePress) StartAttractCycle(title);
            break;
    }

    if (title->page != TITLE_INTRO && title->page != TITLE_DEMO) {
        title->page = attract_screens[(title->attractTimer / kAttractPeriod) % 4];
        // Kept within one cycle, so a title screen left running for ever
        // never overflows its timer into a negative page index.
        title->attractTimer = (title->attractTimer + 1) % (4 * kAttractPeriod);
        if (title->attractTimer == 0 && title->demoReady) {
            title->page = TITLE_DEMO;
            title->demoOver = 0;
        }
    }
    HandleFade(&title->fadeState);
}

bool TitleRunning(const s_titlestate *title) {
    return title->fadeState <= 89 && gameState <= 99;
}

s_introview TitleIntroView(int t) {
    s_introview view = {nullptr, false, 0};
    if (t / 256 <= 2) {
        const char *text = introtext[t / 256];
        if (t % 256 <= 127 && text && text[0]) view.text = text;
    } else {
        view.hasLogo = true;
        view.logoY = static_cast<int>(232.0 - 224.0 * GameSin(t * kPi / 128.0));
    }
    return view;
}

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------

void DrawTitleBackdrop() {
    scrollx = 640;
    scrolly = -(currentFrame % 1920);
    int height = bmp_background.height;
    int o = height > 0 ? (currentFrame / 4) % height : 0;
    CGL_DrawBitmap(-640, o, bmp_background);
    CGL_DrawBitmap(-640, o - height, bmp_background);
    DrawBGStars();
}

void DrawTitlePage(const s_titlestate *title) {
    int d = ClampedDifficulty();
    switch (title->page) {
        case TITLE_INTRO: {
            s_introview view = TitleIntroView(title->introTimer);
            if (view.text) CGL_DrawCenteredText(120, font_game, "%s", view.text);
            if (view.hasLogo) CGL_DrawSprite(16, view.logoY, spr_title);
            break;
        }
        case TITLE_MAIN: {
            CGL_DrawSprite(16, 8, spr_title);
            if (currentFrame % 64 <= 31)
                CGL_DrawCenteredText(192, font_game, "PRESS ENTER TO START");
            CGL_DrawText(160, 0, font_game2, "%s", kDifficultyLabel[d]);
            int w = static_cast<int>(3.0 * GameSin(currentFrame * kPi / 16.0));
            if (d > 0) CGL_DrawText(152 - w, 0, font_game, "<");
            if (d < 2) CGL_DrawText(206 + w, 0, font_game, ">");
            break;
        }
        case TITLE_CREDITS:
            CGL_DrawCenteredText(48, font_game, "-= THE CREDITS =-");
            CGL_DrawCenteredText(104, font_game, "%s", creditsText[0]);
            CGL_DrawCenteredText(128, font_game, "%s", creditsText[1]);
            CGL_DrawCenteredText(156, font_game, "%s", creditsText[2]);
            break;
        case TITLE_HIGHSCORES:
            CGL_DrawCenteredText(16, font_game, "-= HIGHSCORES - %s =-", difficultyText[d]);
            for (int k = 0; k < kHighscorePlaces; k++) {
                const s_highscore &entry = highscores[d][k];
                const s_font &font = std::strncmp(entry.name, player.name, kHighscoreNameSize) == 0
                                         ? font_game
                                         : font_game2;
                int y = 52 + 16 * k;
                CGL_DrawText(64, y, font, "%02d. %.63s", k + 1, entry.name);
                CGL_DrawText(256, y, font, "%05d", entry.score);
            }
            break;
        default:
            break;
    }
}

void DrawTitleTopLine() {
    CGL_DrawText(4, 0, font_game2, "HS: %05d", player.bestScore[ClampedDifficulty()]);
    CGL_DrawText(312, 0, font_game2, "%s", titleVersion);
    CGL_DrawCenteredText(228, font_game2, "%s", titleNotice);
}

// ---------------------------------------------------------------------------
// The loop
// ---------------------------------------------------------------------------

s_titlestate titlestate = {};

namespace {

// The best replay of each table that can be shown, found when the title
// screen comes up (a game that just made the table is among them).
struct s_demo {
    bool ready = false;
    s_replay replay;
};
s_demo demos[kHighscoreTables];
s_playback demo;

void FindDemos() {
    for (int d = 0; d < kHighscoreTables; d++) {
        demos[d].ready = false;
        for (int k = 0; k < kHighscorePlaces && !demos[d].ready; k++)
            demos[d].ready = LoadEntryReplay(d, k, &demos[d].replay);
    }
}

}  // namespace

void TitleScreen(int mode) {
    s_titlestate &title = titlestate;
    TitleBegin(&title, mode);
    FindDemos();
    bool demoRunning = false;
    do {
        CGL_WaitRefresh();
        int d = ClampedDifficulty();
        title.demoReady = demos[d].ready ? 1 : 0;
        bool showDemo = title.page == TITLE_DEMO;
        if (showDemo && !demoRunning) {
            demo.replay = demos[d].replay;
            PlaybackBegin(&demo);
            demoRunning = true;
        }
        if (showDemo) {
            PlaybackFrame(&demo, true);
            title.demoOver = demo.over ? 1 : 0;
        } else {
            DrawTitleBackdrop();
        }
        int mx = 0, my = 0, buttons = 0;
        CGL_GetMouse(&mx, &my, &buttons);
        int pressed = 0;
        CGL_GetKeys(nullptr, &pressed);
        if (showDemo)
            DrawReplayLabel(demo.replay, "DEMO");
        else
            DrawTitlePage(&title);
        TitleStep(&title, pressed, buttons);
        if (title.page != TITLE_DEMO) demoRunning = false;
        if (title.page != TITLE_INTRO && !showDemo) DrawTitleTopLine();
        CGL_SetFadeValue(fade);
        CGL_SwapBuffers();
        currentFrame++;
    } while (TitleRunning(&title));
}
