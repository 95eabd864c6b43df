// The title screen's pages, timers, attract cycle and keys, frame by frame,
// and what its pages and the name entry draw.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cgl/cgl.h"
#include "common/game_fonts.h"
#include "common/gl_fixture.h"
#include "corefile/corefile.h"
#include "game/assets.h"
#include "game/header.h"
#include "game/highscore.h"
#include "game/title.h"
#include "sound/sound.h"

namespace {

// Runs frames without input until the title's own fade is over.
int RunUntilFadedIn(s_titlestate *title) {
    int frames = 0;
    while (title->fadeState != GAMESTATE_PLAY && frames < 1000) {
        TitleStep(title, 0, 0);
        frames++;
    }
    return frames;
}

bool Playing(const s_sound &sound) {
    return sound.playing != 0;
}

void Silence() {
    Soundsystem_StopSound(&snd_select);
    Soundsystem_StopSound(&snd_pressstart);
    snd_select.playing = 0;
    snd_pressstart.playing = 0;
}

}  // namespace

TEST(Title, Intro_ShowsItsTextsAndLogoOnSchedule) {
    s_titlestate title;
    gameState = 77;
    fade = 0.5f;
    TitleBegin(&title, 0);
    EXPECT_EQ(gameState, 0);
    EXPECT_EQ(fade, 0.0f);
    EXPECT_EQ(title.page, TITLE_INTRO);
    EXPECT_EQ(title.fadeState, GAMESTATE_SLOWFADEIN);

    std::vector<int> lastLogoY;
    for (int frame = 0; frame < kIntroLength; frame++) {
        ASSERT_EQ(title.page, TITLE_INTRO) << frame;
        ASSERT_EQ(title.introTimer, frame);
        s_introview view = TitleIntroView(title.introTimer);
        if (frame < 256 || (frame >= 384 && frame < 512) || (frame >= 640 && frame < 768)) {
            EXPECT_EQ(view.text, nullptr) << frame;
            EXPECT_FALSE(view.hasLogo) << frame;
        } else if (frame < 384) {
            EXPECT_STREQ(view.text, introtext[1]) << frame;
        } else if (frame < 640) {
            EXPECT_STREQ(view.text, introtext[2]) << frame;
        } else {
            EXPECT_EQ(view.text, nullptr);
            ASSERT_TRUE(view.hasLogo) << frame;
            if (!lastLogoY.empty()) {
                EXPECT_LE(view.logoY, lastLogoY.back()) << frame;
            }
            lastLogoY.push_back(view.logoY);
        }
        TitleStep(&title, 0, 0);
        EXPECT_TRUE(TitleRunning(&title));
    }
    ASSERT_EQ(lastLogoY.size(), 64u);
    EXPECT_EQ(lastLogoY.front(), 232);  // the logo rises from the bottom ...
    EXPECT_EQ(lastLogoY.back(), 8);     // ... to its place on the main page
    EXPECT_STRNE(introtext[1], "");
    EXPECT_STRNE(introtext[2], "");

    // The frame after 831 is the main page, without a fade of its own.
    EXPECT_EQ(title.page, TITLE_MAIN);
    EXPECT_EQ(title.fadeState, GAMESTATE_PLAY);
    EXPECT_EQ(title.attractTimer, 1);
    EXPECT_GT(fade, 0.99f);  // the slow fade-in has long reached full brightness
}

TEST(Title, Intro_IgnoresKeysBeforeFrame63ThenJumpsToTheMainPage) {
    s_titlestate title;
    TitleBegin(&title, 0);
    for (int frame = 0; frame < kIntroKeyDelay; frame++) {
        // Alternating so that each one is a fresh press of key or button.
        TitleStep(&title, frame % 2 ? 0 : CGL_KEY_START, frame % 2 ? 1 : 0);
    }
    EXPECT_EQ(title.page, TITLE_INTRO);
    EXPECT_EQ(title.introTimer, 63);

    float before = fade;
    TitleStep(&title, CGL_KEY_BUTTON4, 0);  // any key bit, in frame 63
    EXPECT_EQ(title.page, TITLE_MAIN);
    EXPECT_EQ(title.attractTimer, 1);
    EXPECT_EQ(title.fadeState, GAMESTATE_FADEIN);  // the fast fade-in
    EXPECT_NEAR(fade - before, 0.02f, 1e-6);

    // A mouse click takes the main page just as well.
    TitleBegin(&title, 0);
    for (int frame = 0; frame < 100; frame++) TitleStep(&title, 0, 0);
    TitleStep(&title, 0, 2);
    EXPECT_EQ(title.page, TITLE_MAIN);
    EXPECT_EQ(gameState, 0);  // a click on the intro is no quit
}

TEST(Title, MainPage_DifficultyKeysStopAtTheirLimitsAndWaitForTheFade) {
    Silence();
    difficulty = 1;
    s_titlestate title;
    TitleBegin(&title, 1);
    EXPECT_EQ(title.fadeState, GAMESTATE_FADEIN);
    TitleStep(&title, CGL_KEY_LEFT, 0);  // still fading in: ignored
    EXPECT_EQ(difficulty, 1);
    EXPECT_FALSE(Playing(snd_select));
    EXPECT_EQ(RunUntilFadedIn(&title), 51);

    TitleStep(&title, CGL_KEY_LEFT, 0);
    EXPECT_EQ(difficulty, 0);
    EXPECT_TRUE(Playing(snd_select));
    Silence();
    TitleStep(&title, CGL_KEY_LEFT, 0);  // at the lower limit: nothing, no sound
    EXPECT_EQ(difficulty, 0);
    EXPECT_FALSE(Playing(snd_select));

    TitleStep(&title, CGL_KEY_RIGHT, 0);
    TitleStep(&title, CGL_KEY_RIGHT, 0);
    EXPECT_EQ(difficulty, 2);
    Silence();
    TitleStep(&title, CGL_KEY_RIGHT, 0);
    EXPECT_EQ(difficulty, 2);
    EXPECT_FALSE(Playing(snd_select));

    // Both in one frame: left first, then right, back where it was.
    difficulty = 1;
    TitleStep(&title, CGL_KEY_LEFT | CGL_KEY_RIGHT, 0);
    EXPECT_EQ(difficulty, 1);
    EXPECT_EQ(title.page, TITLE_MAIN);
    EXPECT_TRUE(TitleRunning(&title));
}

TEST(Title, MainPage_StartQuitAndTheMouse) {
    // Both buttons at once neither starts nor quits; a held button is no press.
    Silence();
    s_titlestate title;
    TitleBegin(&title, 1);
    RunUntilFadedIn(&title);
    TitleStep(&title, 0, 3);
    TitleStep(&title, 0, 1);
    EXPECT_EQ(gameState, 0);
    EXPECT_EQ(title.fadeState, GAMESTATE_PLAY);
    EXPECT_FALSE(Playing(snd_pressstart));

    // The right button alone quits at once.
    TitleStep(&title, 0, 0);
    TitleStep(&title, 0, 2);
    EXPECT_EQ(gameState, GAMESTATE_QUIT);
    EXPECT_FALSE(TitleRunning(&title));

    // Escape and Enter in the same frame: quit, and the start sound plays.
    TitleBegin(&title, 1);
    RunUntilFadedIn(&title);
    TitleStep(&title, CGL_KEY_ESCAPE | CGL_KEY_START, 0);
    EXPECT_EQ(gameState, GAMESTATE_QUIT);
    EXPECT_TRUE(Playing(snd_pressstart));
    EXPECT_FALSE(TitleRunning(&title));

    // Start: the fade-out runs to black, then the loop ends with gameState 0.
    Silence();
    TitleBegin(&title, 1);
    RunUntilFadedIn(&title);
    TitleStep(&title, 0, 0);
    TitleStep(&title, 0, 1);
    EXPECT_TRUE(Playing(snd_pressstart));
    EXPECT_EQ(title.fadeState, GAMESTATE_FADEOUT);
    TitleStep(&title, CGL_KEY_ESCAPE, 0);  // ignored while fading out
    int frames = 1;
    while (TitleRunning(&title) && frames < 1000) {
        TitleStep(&title, 0, 0);
        frames++;
    }
    EXPECT_EQ(gameState, 0);
    EXPECT_EQ(title.fadeState, GAMESTATE_LEFT);
    EXPECT_EQ(frames, 52);  // 51 steps of 0.02 down from full, then the state
    EXPECT_LE(fade, 0.0f);

    // Space starts as well.
    TitleBegin(&title, 1);
    RunUntilFadedIn(&title);
    TitleStep(&title, CGL_KEY_BUTTON1, 0);
    EXPECT_EQ(title.fadeState, GAMESTATE_FADEOUT);
}

TEST(Title, AttractCycle_ChangesPageEvery384FramesAndRestartsOnAKey) {
    s_titlestate title;
    TitleBegin(&title, 1);
    // The page each frame draws is the one the previous frame left.
    std::vector<int> shown;
    for (int frame = 0; frame < 4 * 384 + 10; frame++) {
        shown.push_back(title.page);
        TitleStep(&title, 0, 0);
    }
    for (int frame = 0; frame < static_cast<int>(shown.size()); frame++) {
        int expected = frame <= 384       ? TITLE_MAIN
                       : frame <= 2 * 384 ? TITLE_HIGHSCORES
                       : frame <= 3 * 384 ? TITLE_MAIN
                       : frame <= 4 * 384 ? TITLE_CREDITS
                                          : TITLE_MAIN;
        ASSERT_EQ(shown[frame], expected) << frame;
    }

    // A key on the highscore page brings the main page back and restarts
    // the cycle; the difficulty keys on the main page do not restart it.
    TitleBegin(&title, 1);
    for (int frame = 0; frame < 400; frame++) TitleStep(&title, 0, 0);
    ASSERT_EQ(title.page, TITLE_HIGHSCORES);
    TitleStep(&title, CGL_KEY_BUTTON7, 0);
    EXPECT_EQ(title.page, TITLE_MAIN);
    EXPECT_EQ(title.attractTimer, 1);
    RunUntilFadedIn(&title);
    int timer = title.attractTimer;
    TitleStep(&title, CGL_KEY_RIGHT, 0);
    EXPECT_EQ(title.attractTimer, timer + 1);

    // A click on the credits page does the same.
    TitleBegin(&title, 1);
    for (int frame = 0; frame < 3 * 384 + 10; frame++) TitleStep(&title, 0, 0);
    ASSERT_EQ(title.page, TITLE_CREDITS);
    TitleStep(&title, 0, 1);
    EXPECT_EQ(title.page, TITLE_MAIN);
    EXPECT_EQ(gameState, 0);
}

TEST(Title, AfterANameEntry_TheHighscorePageStaysOnePeriod) {
    s_titlestate title;
    TitleBegin(&title, 3);
    EXPECT_EQ(title.fadeState, GAMESTATE_FADEIN);
    std::vector<int> shown;
    for (int frame = 0; frame < 3 * 384; frame++) {
        shown.push_back(title.page);
        TitleStep(&title, 0, 0);
    }
    for (int frame = 0; frame < 384; frame++) ASSERT_EQ(shown[frame], TITLE_HIGHSCORES) << frame;
    for (int frame = 384; frame < 768; frame++) ASSERT_EQ(shown[frame], TITLE_MAIN) << frame;
    EXPECT_EQ(shown[768], TITLE_CREDITS);
}

// ---------------------------------------------------------------------------
// Drawing, read back from a real framebuffer
// ---------------------------------------------------------------------------

namespace {

class TitleDrawTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure()) return;
        if (fb < 0) fb = CGL_InitFramebuffer(360, 240);
        CGL_SetFramebuffer(fb);
        Clear();
    }
    static void Clear() {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // Rows y0..y1 (top-down, inclusive) of the picture, colour only.
    static std::vector<uint32_t> Rows(int y0, int y1) {
        std::vector<uint32_t> p = gl_read_pixels(0, 239 - y1, 360, y1 - y0 + 1);
        for (auto &v : p) v &= 0xFFFFFF;
        return p;
    }
    static bool AnyLit(const std::vector<uint32_t> &p) {
        for (uint32_t v : p)
            if (v) return true;
        return false;
    }
    static bool Fonts() { return game_fonts_loaded(); }
    static int fb;
};
int TitleDrawTest::fb = -1;

}  // namespace

TEST_F(TitleDrawTest, HighscorePage_DrawsThePlayersEntriesInTheFirstFont) {
    ASSERT_TRUE(Fonts());
    InitHighscores();
    std::strcpy(player.name, "ACE");
    InsertHighscore("ACE", 1700, 2);
    InsertHighscore("ACES", 1500, 2);   // not the same name
    InsertHighscore("%s%n%s", 300, 2);  // a name from a file is text, never a format
    difficulty = 2;
    s_titlestate title;
    TitleBegin(&title, 3);
    DrawTitlePage(&title);

    const int height = font_game.height > font_game2.height ? font_game.height : font_game2.height;
    for (int k = 0; k < kHighscorePlaces; k++) {
        int y = 52 + 16 * k;
        std::vector<uint32_t> page = Rows(y, y + height - 1);
        ASSERT_TRUE(AnyLit(page)) << k;
        // The same row drawn by itself in either font.
        std::vector<uint32_t> rows[2];
        const s_font *fonts[2] = {&font_game, &font_game2};
        for (int f = 0; f < 2; f++) {
            Clear();
            CGL_DrawText(64, y, *fonts[f], "%02d. %s", k + 1, highscores[2][k].name);
            CGL_DrawText(256, y, *fonts[f], "%05d", highscores[2][k].score);
            rows[f] = Rows(y, y + height - 1);
        }
        ASSERT_NE(rows[0], rows[1]) << "the two fonts look alike";
        bool own = std::strcmp(highscores[2][k].name, "ACE") == 0;
        EXPECT_EQ(page, rows[own ? 0 : 1]) << "place " << k + 1;
        Clear();
        DrawTitlePage(&title);
    }
    player.name[0] = 0;
}

TEST_F(TitleDrawTest, Intro_DrawsNothingFirstThenTheLineAtY120) {
    ASSERT_TRUE(Fonts());
    s_titlestate title;
    TitleBegin(&title, 0);
    title.introTimer = 100;
    DrawTitlePage(&title);
    EXPECT_FALSE(AnyLit(Rows(0, 239)));

    title.introTimer = 300;
    DrawTitlePage(&title);
    EXPECT_FALSE(AnyLit(Rows(0, 119)));
    EXPECT_TRUE(AnyLit(Rows(120, 120 + font_game.height - 1)));
    EXPECT_FALSE(AnyLit(Rows(120 + font_game.height, 239)));
}

TEST_F(TitleDrawTest, NameEntry_DrawsTheNameAsTextWithItsCursorCentred) {
    ASSERT_TRUE(Fonts());
    std::strcpy(player.name, "%s%n%x");
    s_nameentry entry;
    NameEntryBegin(&entry);
    for (int frame : {0, 16}) {
        currentFrame = frame;
        Clear();
        NameEntryDraw(&entry);
        std::vector<uint32_t> drawn = Rows(184, 184 + font_game.height - 1);
        Clear();
        const char *cursor = frame % 32 <= 15 ? "_" : " ";
        CGL_DrawText(180 - 3 * 7, 184, font_game, "%s%s", player.name, cursor);
        EXPECT_EQ(drawn, Rows(184, 184 + font_game.height - 1)) << frame;
    }
    player.name[0] = 0;
}

TEST(Title, DemoPage_FollowsTheCreditsWhenAReplayIsReadyAndLeavesOnAKeyOrItsEnd) {
    s_titlestate title;
    TitleBegin(&title, 1);
    title.demoReady = 1;
    for (int frame = 0; frame < 4 * 384; frame++) TitleStep(&title, 0, 0);
    EXPECT_EQ(title.page, TITLE_DEMO);
    for (int frame = 0; frame < 5000; frame++) TitleStep(&title, 0, 0);
    EXPECT_EQ(title.page, TITLE_DEMO);  // as long as its game lasts
    TitleStep(&title, CGL_KEY_LEFT, 0);
    EXPECT_EQ(title.page, TITLE_MAIN);
    EXPECT_EQ(title.attractTimer, 1);

    for (int frame = 0; frame < 4 * 384; frame++) TitleStep(&title, 0, 0);
    ASSERT_EQ(title.page, TITLE_DEMO);
    title.demoOver = 1;
    TitleStep(&title, 0, 0);
    EXPECT_EQ(title.page, TITLE_MAIN);
}
