// Camera and backdrop, the HUD's score line and blinking notice, and the
// fade with its overshoot and frame counts.
#include "game/header.h"
#include "game/assets.h"
#include "common/game_fonts.h"
#include "common/gl_fixture.h"
#include "cgl/cgl.h"
#include "corefile/corefile.h"
#include "game/play.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class HudTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure()) return;
        if (fb < 0) fb = CGL_InitFramebuffer(360, 240);
        CGL_SetFramebuffer(fb);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    static std::vector<uint32_t> Picture() {
        std::vector<uint32_t> p = gl_read_pixels(0, 0, 360, 240);
        for (auto &v : p) v &= 0xFFFFFF;
        return p;
    }
    static bool Lit(int x, int y) { return (gl_read_pixels(x, 239 - y, 1, 1)[0] & 0xFFFFFF) != 0; }
    static bool Fonts() { return game_fonts_loaded(); }
    static int fb;
};
int HudTest::fb = -1;

}  // namespace

TEST_F(HudTest, Camera_CentresShipClampsAtEdgesAndBackdropMovesAtHalfSpeed) {
    // A backdrop black but for one marker pixel at (415, 195).
    s_bitmap saved = bmp_background;
    s_bitmap backdrop{};
    ASSERT_EQ(CGL_CreateBitmap(1460, 1080, &backdrop), 1);
    for (int i = 0; i < backdrop.numpixels; i++) backdrop.pixels[i] = 0xFF000000;
    backdrop.pixels[195 * 1460 + 415] = 0xFFFFFFFF;
    CGL_UpdateBitmap(backdrop);
    bmp_background = backdrop;

    struct Case {
        float x, y;
        int sx, sy;
    } cases[] = {
        {100, 50, 0, 0},
        {2500, 1900, 2200, 1680},
        {1001, 501, 821, 381},
        {1001.9f, 501.9f, 821, 381},
    };
    for (const Case &c : cases) {
        player.x = c.x;
        player.y = c.y;
        DrawBackground();
        EXPECT_EQ(scrollx, c.sx);
        EXPECT_EQ(scrolly, c.sy);
    }
    // At (1001, 501) the backdrop's corner is at (-410, -190): the marker
    // shows at (5, 5).
    glClear(GL_COLOR_BUFFER_BIT);
    player.x = 1001;
    player.y = 501;
    DrawBackground();
    EXPECT_TRUE(Lit(5, 5));
    EXPECT_FALSE(Lit(4, 5));
    EXPECT_FALSE(Lit(5, 6));
    // At (100, 50) the corner is at (0, 0).
    glClear(GL_COLOR_BUFFER_BIT);
    player.x = 100;
    player.y = 50;
    DrawBackground();
    EXPECT_FALSE(Lit(5, 5));
    bmp_background = saved;
    CGL_DeleteBitmap(&backdrop);
    scrollx = scrolly = 0;
}

TEST_F(HudTest, ScoreLine_PrintsFiveDigitsCentredAtY4) {
    ASSERT_TRUE(Fonts()) << "qostarfold.dat with the game's fonts is needed";
    struct Case {
        int score;
        const char *text;
    } cases[] = {{123, "SCORE : 00123"}, {0, "SCORE : 00000"}, {123456, "SCORE : 123456"}};
    for (const Case &c : cases) {
        player.score = c.score;
        player.bestScore[difficulty] = c.score + 1;  // no notice
        glClear(GL_COLOR_BUFFER_BIT);
        DrawHUD();
        std::vector<uint32_t> hud = Picture();
        glClear(GL_COLOR_BUFFER_BIT);
        CGL_DrawCenteredText(4, font_game2, "%s", c.text);
        EXPECT_EQ(hud, Picture()) << c.text;
        bool any = false;
        for (uint32_t v : hud) any |= v != 0;
        EXPECT_TRUE(any);
    }
}

TEST_F(HudTest, Notice_BlinksFor256FramesAtOrAboveTheBest) {
    ASSERT_TRUE(Fonts()) << "qostarfold.dat with the game's fonts is needed";
    glClear(GL_COLOR_BUFFER_BIT);
    CGL_DrawCenteredText(232, font_game, "NEW PERSONAL SCORE!!");
    std::vector<uint32_t> notice = Picture();
    glClear(GL_COLOR_BUFFER_BIT);
    CGL_DrawCenteredText(4, font_game2, "SCORE : %05d", 10);
    std::vector<uint32_t> scoreOnly = Picture();

    difficulty = 2;
    player.Init();
    player.score = 10;
    player.bestScore[2] = 10;  // equal counts
    int shown = 0, firstOff = -1;
    for (int f = 0; f < 400; f++) {
        currentFrame = 1000 + f;  // 1000 % 64 = 40: starts in an off phase
        glClear(GL_COLOR_BUFFER_BIT);
        DrawHUD();
        std::vector<uint32_t> p = Picture();
        bool on = p != scoreOnly;
        if (on) {
            shown++;
            // The notice is the only thing added.
            int diff = 0;
            for (size_t i = 0; i < p.size(); i++) diff += p[i] != (scoreOnly[i] | notice[i]);
            EXPECT_EQ(diff, 0);
        }
        EXPECT_EQ(on, f < 256 && currentFrame % 64 <= 31) << f;
        if (!on && f >= 256 && firstOff < 0) firstOff = f;
    }
    EXPECT_EQ(shown, 128);
    EXPECT_EQ(player.newHighscoreTimer, 256);
    EXPECT_EQ(player.bestScore[2], 10);

    // Below the best: nothing, and the best stays.
    player.Init();
    player.score = 5;
    currentFrame = 0;
    glClear(GL_COLOR_BUFFER_BIT);
    DrawHUD();
    EXPECT_EQ(player.newHighscoreTimer, 0);
    EXPECT_EQ(player.bestScore[2], 10);
    // Above: the best follows the score.
    player.score = 11;
    DrawHUD();
    EXPECT_EQ(player.bestScore[2], 11);
    EXPECT_EQ(player.newHighscoreTimer, 1);
    difficulty = 1;
}

TEST(Fade, StepsInDoublesRoundedToFloatAndOvershoots) {
    auto run = [](int state, float start, int *frames) {
        fade = start;
        int s = state, n = 0;
        while (s == state && n < 10000) {
            HandleFade(&s);
            n++;
        }
        *frames = n - 1;  // the last call only changes the state
        return s;
    };
    int frames = 0;
    EXPECT_EQ(run(GAMESTATE_FADEIN, 0, &frames), GAMESTATE_PLAY);
    EXPECT_EQ(frames, 51);
    EXPECT_NEAR(fade, 1.02f, 0.001f);
    EXPECT_GE(fade, 1);

    EXPECT_EQ(run(GAMESTATE_FADEOUT, 1, &frames), GAMESTATE_LEFT);
    EXPECT_EQ(frames, 51);
    EXPECT_NEAR(fade, -0.02f, 0.001f);

    EXPECT_EQ(run(GAMESTATE_CRASHED, 1, &frames), GAMESTATE_SLOWFADEDONE);
    EXPECT_EQ(frames, 101);

    // The slow fade in never moves its state on.
    fade = 0;
    int s = GAMESTATE_SLOWFADEIN, steps = 0;
    for (int i = 0; i < 1000; i++) {
        float before = fade;
        HandleFade(&s);
        if (fade != before) steps++;
    }
    EXPECT_EQ(s, GAMESTATE_SLOWFADEIN);
    EXPECT_EQ(steps, 501);

    // Each step is the double sum rounded to float.
    fade = 0.3f;
    s = GAMESTATE_FADEIN;
    HandleFade(&s);
    EXPECT_EQ(fade, (float)(0.3f + 0.02));

    // Edges: fade-out at exactly 0, slow fade in at 1, an unknown state.
    fade = 0;
    s = GAMESTATE_FADEOUT;
    HandleFade(&s);
    EXPECT_EQ(s, GAMESTATE_LEFT);
    EXPECT_EQ(fade, 0);
    fade = 1;
    s = GAMESTATE_SLOWFADEIN;
    HandleFade(&s);
    EXPECT_EQ(fade, 1);
    s = 5;
    fade = 0.5f;
    HandleFade(&s);
    EXPECT_EQ(s, 5);
    EXPECT_EQ(fade, 0.5f);
    // A crash after the fade-out reached black ends the program.
    fade = 0;
    s = GAMESTATE_CRASHED;
    HandleFade(&s);
    EXPECT_EQ(s, GAMESTATE_SLOWFADEDONE);
}

TEST_F(HudTest, Notice_NeverShownInAWatchedGame) {
    // A watcher who has never scored would see the notice in a live game
    // from its first frame; the watched one is not theirs.
    s_playback pb;
    std::string error;
    ASSERT_EQ(ReplayLoad(QO_SOURCE_DIR "/tests/replays/EASY-1.qoreplay", &pb.replay, &error), 1)
        << error;
    for (int &best : player.bestScore) best = 0;
    PlaybackBegin(&pb);
    for (int f = 0; f < 64 && PlaybackFrame(&pb, true); f++) currentFrame = f;
    EXPECT_EQ(pb.ship.newHighscoreTimer, 0);
    EXPECT_EQ(player.bestScore[pb.replay.difficulty], 0);
}
