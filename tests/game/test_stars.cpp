// Stars: placement clear of the planets, the strict pick-up box, combo
// scoring and pick-up pitch, the combo window, the burst; background stars'
// parallax.
#include "game/header.h"
#include "game/random.h"
#include "game/assets.h"
#include "common/gl_fixture.h"
#include "cgl/cgl.h"
#include "sound/sound.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class StarTest : public ::testing::Test {
protected:
    void SetUp() override {
        RandomSeed(77);
        for (auto &k : sdl_asynckeys) k.store(0);
        cgl_mouse_buttons.store(0);
        CGL_GetKeys(nullptr, nullptr);
        player.Init();
        player.speed = 2.5f;
        numPlanets = 0;
        // With the rate at 256 and a mono sound the step is the pitch itself.
        savedRate = soundsystem.rate;
        soundsystem.rate = 256;
        snd_pickup.channels = 1;
        Soundsystem_StopSound(&snd_pickup);
    }
    void TearDown() override {
        Soundsystem_StopSound(&snd_pickup);
        soundsystem.rate = savedRate;
    }
    uint32_t savedRate = 0;
};

}  // namespace

TEST_F(StarTest, PickUp_OnlyOnStrictOverlapOfTheBoxes) {
    star[0].Init(100, 100);
    struct Case {
        float x, y;
        bool picked;
    } cases[] = {
        {108, 100, false}, {107.9f, 100, true}, {68.9f, 100, false}, {69, 100, true},
        {100, 108, false}, {100, 107, true},    {100, 68, false},    {100, 69, true},
    };
    for (const Case &c : cases) {
        star[0].Init(100, 100);
        player.x = c.x;
        player.y = c.y;
        star[0].Handle(player);
        EXPECT_EQ(star[0].state == 2, c.picked) << c.x << "," << c.y;
    }
}

TEST_F(StarTest, Combo_ScoresOneTwoThreeAndPitchFollowsComboAndSpeed) {
    player.x = 100;
    player.y = 100;
    int expectedPitch[] = {22050, 22490, 22930};
    for (int i = 0; i < 3; i++) {
        star[i].Init(110, 110);
        star[i].Handle(player);
        EXPECT_EQ(player.combo, i + 1);
        EXPECT_EQ(player.comboTimer, 0);
        EXPECT_EQ(snd_pickup.step, (uint32_t)expectedPitch[i]);
        EXPECT_EQ(snd_pickup.playing, 1);
    }
    EXPECT_EQ(player.score, 1 + 2 + 3);

    // Top speed: 4.5 x 440 per combo step.
    player.combo = 0;
    player.speed = 6;
    for (int i = 0; i < 3; i++) {
        star[i].Init(110, 110);
        star[i].Handle(player);
        EXPECT_EQ(snd_pickup.step, (uint32_t)(22050 + 1980 * i));
    }
    // An odd speed: rounded to float, then truncated.
    player.combo = 1;
    player.speed = 2.6f;
    star[0].Init(110, 110);
    star[0].Handle(player);
    EXPECT_EQ(snd_pickup.step, (uint32_t)(int)(float)(1 * ((2.6f - 2.5f) + 1) * 440.0 + 22050));
    // A wreck slowed to 0.04 with a combo of 35 takes the formula below zero.
    player.combo = 35;
    player.speed = 0.04f;
    star[0].Init(110, 110);
    star[0].Handle(player);
    EXPECT_EQ(snd_pickup.step, 2205u);
}

TEST_F(StarTest, Combo_NextStarWithin63FramesKeepsItLaterStartsAgain) {
    for (int gap : {63, 64}) {
        player.Init();
        player.x = 1000;
        player.y = 1000;
        player.speed = 0;
        player.angle = 0;
        xClosestPlanet = 0;
        yClosestPlanet = 0;
        star[0].Init(1010, 1010);
        star[1].Init(1010, 1010);
        star[0].Handle(player);  // the pick-up frame: stars, then the ship
        player.HandleInput();
        for (int f = 1; f < gap; f++) {
            star[1].state = 0;  // not yet
            player.HandleInput();
        }
        star[1].state = 1;
        star[1].Handle(player);
        EXPECT_EQ(player.combo, gap == 63 ? 2 : 1) << gap;
        EXPECT_EQ(player.score, gap == 63 ? 3 : 2) << gap;
    }
}

TEST_F(StarTest, Burst_EmitsOneSparklePerFrameAndEndsAfter32) {
    player.x = 100;
    player.y = 100;
    star[0].Init(110, 110);
    int frames = 0;
    do {
        star[0].Handle(player);
        frames++;
        if (frames == 1) {
            const c_sparkle &s = star[0].sparkle[0];
            EXPECT_EQ(s.type, 0);
            EXPECT_NEAR(s.x, 114 + s.dx, 1e-4);
            EXPECT_NEAR(s.y, 114 + s.dy, 1e-4);
            EXPECT_EQ(star[0].sparkle[1].active, 0);
        }
    } while (star[0].state == 2 && frames < 100);
    EXPECT_EQ(frames, 32);
    EXPECT_EQ(star[0].state, 0);
    EXPECT_EQ(star[0].sparkleCount, 32);
    for (const c_sparkle &s : star[0].sparkle) EXPECT_EQ(s.active, 1);
    // A gone star stays gone and scores nothing more.
    int score = player.score;
    star[0].Handle(player);
    EXPECT_EQ(player.score, score);
    // A new game's star starts with an empty burst.
    star[0].Init(50, 50);
    for (const c_sparkle &s : star[0].sparkle) EXPECT_EQ(s.active, 0);
    EXPECT_EQ(star[0].state, 1);
}

TEST_F(StarTest, Placement_Keeps60FromEachPlanetCornerWithTruncation) {
    numPlanets = 1;
    planet[0].x = 1000;
    planet[0].y = 1000;
    EXPECT_TRUE(AcceptStarPosition(1036, 1048));  // exactly 60
    EXPECT_TRUE(AcceptStarPosition(1060, 1000));
    EXPECT_FALSE(AcceptStarPosition(1015, 1058));  // 59.91 truncates to 59
    EXPECT_FALSE(AcceptStarPosition(1059, 1000));
    EXPECT_FALSE(AcceptStarPosition(1000, 1000));
    numPlanets = 0;
    EXPECT_TRUE(AcceptStarPosition(1000, 1000));

    numPlanets = 90;
    RandomSeed(5);
    InitPlanets();
    InitStars();
    int colours[8] = {};
    for (const c_star &s : star) {
        EXPECT_EQ(s.state, 1);
        EXPECT_GE(s.x, 0);
        EXPECT_LT(s.x, 2560);
        EXPECT_GE(s.y, 0);
        EXPECT_LT(s.y, 1920);
        ASSERT_TRUE(s.colour >= 0 && s.colour < 8);
        colours[s.colour]++;
        for (int j = 0; j < numPlanets; j++) {
            int ddx = s.x - planet[j].x, ddy = s.y - planet[j].y;
            ASSERT_GE(ddx * ddx + ddy * ddy, 3600);
        }
    }
    for (int c : colours) EXPECT_GT(c, 0);
}

namespace {

class BGStarTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure()) return;
        if (fb < 0) fb = CGL_InitFramebuffer(360, 240);
        CGL_SetFramebuffer(fb);
        if (!white.pixels) {
            CGL_CreateBitmap(8, 8, &white);
            for (int i = 0; i < 64; i++) white.pixels[i] = 0xFFFFFFFF;
            CGL_UpdateBitmap(white);
            CGL_GetSprite(0, 0, 8, 8, &white, &dot);
        }
        for (int i = 0; i < 4; i++) saved[i] = spr_bgstar[i];
        for (auto &s : spr_bgstar) s = dot;
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        for (int i = 0; i < 4; i++) spr_bgstar[i] = saved[i];
    }
    static bool Lit(int x, int y) {
        if (x < 0 || y < 0 || x >= 360 || y >= 240) return false;
        return (gl_read_pixels(x, 239 - y, 1, 1)[0] & 0xFFFFFF) != 0;
    }
    static int fb;
    static s_bitmap white;
    static s_sprite dot;
    s_sprite saved[4];
};
int BGStarTest::fb = -1;
s_bitmap BGStarTest::white{};
s_sprite BGStarTest::dot{};

}  // namespace

TEST_F(BGStarTest, Parallax_DividesCameraByLayerPlus3TruncatingTowardZero) {
    c_bgstar s;
    s.x = 500;
    s.y = 100;
    s.layer = 2;
    scrollx = 2200;  // 440 left of its world x
    scrolly = 0;
    s.Draw();
    EXPECT_TRUE(Lit(60, 100));
    EXPECT_TRUE(Lit(67, 107));
    EXPECT_FALSE(Lit(59, 100));
    EXPECT_FALSE(Lit(68, 100));

    // The title screen's negative camera: -7 / 3 is -2, not -3.
    glClear(GL_COLOR_BUFFER_BIT);
    s.x = 200;
    s.layer = 0;
    scrollx = 0;
    scrolly = -7;
    s.Draw();
    EXPECT_FALSE(Lit(200, 101));
    EXPECT_TRUE(Lit(200, 102));
    EXPECT_TRUE(Lit(200, 109));
    EXPECT_FALSE(Lit(200, 110));
    scrollx = scrolly = 0;
}

TEST(BGStarInit, PlacesEveryStarInTheFieldInFourLayers) {
    RandomSeed(9);
    InitBGStars();
    int layers[4] = {};
    for (const c_bgstar &s : bgstar) {
        EXPECT_TRUE(s.x >= 0 && s.x < 2560 && s.y >= 0 && s.y < 1920);
        ASSERT_TRUE(s.layer >= 0 && s.layer < 4);
        layers[s.layer]++;
    }
    for (int n : layers) EXPECT_GT(n, 50);
}
