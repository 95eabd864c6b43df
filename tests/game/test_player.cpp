// The ship's flight model, driven through the real input words and the
// real c_player: latch range, snap, wrap, turning, speed, the slingshot
// sound and Escape.
#include "game/header.h"
#include "game/random.h"
#include "game/assets.h"
#include "cgl/cgl.h"
#include "sound/sound.h"
#include "common/gl_fixture.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

constexpr int kVkShift = 16;
constexpr int kVkEscape = 27;
constexpr int kVkSpace = 32;
constexpr int kVkLeft = 37;
constexpr int kVkRight = 39;

void ReleaseAll() {
    for (auto &k : sdl_asynckeys) k.store(0, std::memory_order_relaxed);
    cgl_mouse_buttons.store(0, std::memory_order_relaxed);
    CGL_GetKeys(nullptr, nullptr);  // forget the previous set
}

void Key(int vk, bool down) {
    sdl_asynckeys[vk].store(down ? 1 : 0, std::memory_order_relaxed);
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        RandomSeed(1234);
        ReleaseAll();
        gameState = GAMESTATE_PLAY;
        player.Init();
        player.mouseButtons = 0;
        // A planet centre and a ship placed by each test.
        xClosestPlanet = 1000;
        yClosestPlanet = 1000;
        Soundsystem_StopSound(&snd_slingshot);
    }
    void TearDown() override {
        ReleaseAll();
        Soundsystem_StopSound(&snd_slingshot);
    }
    // One frame of input; true when it started the slingshot sound.
    bool Frame() {
        Soundsystem_StopSound(&snd_slingshot);
        player.HandleInput();
        return snd_slingshot.playing != 0;
    }
    // Free ship at an exact distance from the planet centre, standing still
    // and heading up.
    void PlaceAt(float x, float y) {
        player.x = x;
        player.y = y;
        player.angle = 0;
        player.speed = 0;
        player.flightMode = 0;
    }
};

}  // namespace

TEST_F(PlayerTest, Init_PutsShipAtCentreFreeAndAliveKeepingBestAndName) {
    player.bestScore[1] = 77;
    snprintf(player.name, sizeof player.name, "ACE");
    player.score = 9;
    player.combo = 3;
    player.flightMode = 1;
    player.alive = false;
    for (int i = 0; i < 200; i++) {
        player.Init();
        EXPECT_GE(player.angle, -15);
        EXPECT_LE(player.angle, 14);
    }
    EXPECT_EQ(player.x, 1280);
    EXPECT_EQ(player.y, 960);
    EXPECT_EQ(player.speed, 3);
    EXPECT_EQ(player.minTurnSpeed, 0.5f);
    EXPECT_EQ(player.flightMode, 0);
    EXPECT_EQ(player.score, 0);
    EXPECT_EQ(player.combo, 0);
    EXPECT_TRUE(player.alive);
    EXPECT_EQ(player.bestScore[1], 77);
    EXPECT_STREQ(player.name, "ACE");
}

TEST_F(PlayerTest, Latch_OnlyWhenHeldStrictlyWithin180) {
    // Exactly 180 from the ship's top-left corner: neither latch nor sound.
    PlaceAt(1180, 1000);
    Key(kVkSpace, true);
    EXPECT_FALSE(Frame());
    EXPECT_EQ(player.flightMode, 0);
    EXPECT_FLOAT_EQ(distClosestPlanet, 180);

    // Just inside: latches, turning towards the planet (heading up, ship
    // right of it: towards smaller angles).
    ReleaseAll();
    PlaceAt(1179.5f, 1000);
    Key(kVkSpace, true);
    EXPECT_TRUE(Frame());
    EXPECT_EQ(player.flightMode, -1);

    // Not held: no latch even in range.
    ReleaseAll();
    PlaceAt(1100, 1000);
    EXPECT_FALSE(Frame());
    EXPECT_EQ(player.flightMode, 0);
}

TEST_F(PlayerTest, Latch_WheneverHeldInRangeNotOnlyOnPress) {
    PlaceAt(1000, 1200);  // 200 below the planet, heading up
    Key(kVkSpace, true);
    EXPECT_FALSE(Frame());
    EXPECT_EQ(player.flightMode, 0);
    // Still held, no new press, now in range: latches at once, silently.
    PlaceAt(1000, 1150);
    EXPECT_FALSE(Frame());
    EXPECT_NE(player.flightMode, 0);
    EXPECT_FLOAT_EQ(distClosestPlanet, 150);
}

TEST_F(PlayerTest, Chain_HoldsAt270AndSnapsBeyond) {
    // Latched at 100; the frozen distance keeps the latch chosen, the
    // current one breaks it.
    PlaceAt(1270, 1000);
    player.flightMode = 1;
    distClosestPlanet = 100;
    Key(kVkSpace, true);
    CGL_GetKeys(nullptr, nullptr);  // held, not newly pressed
    Frame();
    EXPECT_NE(player.flightMode, 0);
    EXPECT_FLOAT_EQ(distClosestPlanet, 100);

    PlaceAt(1270.5f, 1000);
    player.flightMode = 1;
    Frame();
    EXPECT_EQ(player.flightMode, 0);
}

TEST_F(PlayerTest, Wrap_ReleasesLatchAndUses1919ForY) {
    // Free ship standing still: y 1919.5 ends at -0.5; x 2559.5 stays.
    PlaceAt(2559.5f, 1919.5f);
    xClosestPlanet = 0;
    yClosestPlanet = 0;
    Frame();
    EXPECT_EQ(player.x, 2559.5f);
    EXPECT_EQ(player.y, -0.5f);

    PlaceAt(100, 1918.5f);
    Frame();
    EXPECT_EQ(player.y, 1918.5f);

    PlaceAt(-0.25f, 500);
    Frame();
    EXPECT_EQ(player.x, 2559.75f);

    // Latched and held across the bottom edge: released.
    xClosestPlanet = 1000;
    yClosestPlanet = 1850;
    PlaceAt(1000, 1919.5f);
    player.angle = 90;
    Key(kVkSpace, true);
    Frame();
    EXPECT_EQ(player.flightMode, 0);
    EXPECT_LT(player.y, 0);
}

TEST_F(PlayerTest, Turning_LatchedRateNear100UnitsAndSteeringIgnored) {
    // Heading right, ship below the planet: towards smaller angles.
    PlaceAt(1000, 1100);
    player.angle = 90;
    Key(kVkSpace, true);
    Frame();
    ASSERT_EQ(player.flightMode, -1);
    float expected = (float)(90 - std::sqrt((double)(float)(180.0 / 100.00001)) * 1.5);
    EXPECT_FLOAT_EQ(player.angle, expected);
    EXPECT_NEAR(90 - player.angle, 2.01f, 0.01f);

    // Left and right change nothing while latched.
    float before = player.angle;
    PlaceAt(1000, 1100);
    player.angle = before;
    Key(kVkLeft, true);
    Frame();
    EXPECT_FLOAT_EQ(before - player.angle, 90 - expected);
}

TEST_F(PlayerTest, Turning_FreeRateFromDistanceAndSpeedWithFloor) {
    // 180 away at cruising speed: the rate would be 0, the floor is 0.5.
    PlaceAt(1180, 1000);
    player.angle = 10;
    player.speed = 2.5f;
    Key(kVkLeft, true);
    Frame();
    EXPECT_FLOAT_EQ(player.angle, 9.5f);

    // At the planet's centre and top speed: 1 + 1.75.
    ReleaseAll();
    PlaceAt(1000, 1000);
    player.angle = 10;
    player.speed = 6;
    Key(kVkRight, true);
    Frame();
    EXPECT_FLOAT_EQ(player.angle, 12.75f);

    // A negative heading comes back into 0..360; both held cancel out.
    ReleaseAll();
    PlaceAt(1000, 1000);
    player.angle = 0.5f;
    player.speed = 6;
    Key(kVkLeft, true);
    Frame();
    EXPECT_FLOAT_EQ(player.angle, 360 - 2.25f);
    Key(kVkRight, true);
    PlaceAt(1000, 1000);
    player.angle = 10;
    player.speed = 6;
    Frame();
    EXPECT_FLOAT_EQ(player.angle, 10);
}

TEST_F(PlayerTest, Speed_FallsToCruiseWhenFreeRisesToTopWhenLatched) {
    PlaceAt(2000, 1500);
    player.speed = 3;
    Frame();
    EXPECT_EQ(player.speed, (float)(3.0f - 0.005));
    player.speed = 2.5f;
    Frame();
    EXPECT_EQ(player.speed, 2.5f);
    player.speed = 2.4f;
    Frame();
    EXPECT_EQ(player.speed, 2.4f);
    // The start speed falls to cruising in 100 frames.
    player.speed = 3;
    int frames = 0;
    while (player.speed > 2.5f && frames < 1000) {
        player.x = 2000;
        player.y = 1500;
        Frame();
        frames++;
    }
    EXPECT_NEAR(frames, 100, 1);

    PlaceAt(1050, 1000);
    player.speed = 3;
    Key(kVkSpace, true);
    Frame();
    ASSERT_NE(player.flightMode, 0);
    EXPECT_EQ(player.speed, (float)(3.0f + 0.008));
    player.speed = 6;
    player.x = 1050;
    player.y = 1000;
    Frame();
    EXPECT_EQ(player.speed, 6);
}

TEST_F(PlayerTest, Slingshot_OncePerPressAndOnEveryMouseChangeInRange) {
    PlaceAt(1100, 1000);
    Key(kVkShift, true);
    EXPECT_TRUE(Frame());
    PlaceAt(1100, 1000);
    player.flightMode = 1;
    EXPECT_FALSE(Frame());  // still held: no repeat
    Key(kVkShift, false);
    EXPECT_FALSE(Frame());  // a key release is silent
    EXPECT_EQ(player.flightMode, 0);

    // Mouse: the press and the release both play while in range.
    PlaceAt(1100, 1000);
    cgl_mouse_buttons.store(1);
    EXPECT_TRUE(Frame());
    EXPECT_NE(player.flightMode, 0);
    EXPECT_FALSE(Frame());
    cgl_mouse_buttons.store(3);
    EXPECT_TRUE(Frame());
    cgl_mouse_buttons.store(0);
    EXPECT_TRUE(Frame());
    EXPECT_EQ(player.flightMode, 0);

    // Out of range: silent.
    PlaceAt(1300, 1000);
    cgl_mouse_buttons.store(1);
    EXPECT_FALSE(Frame());
    cgl_mouse_buttons.store(0);
    Key(kVkSpace, true);
    EXPECT_FALSE(Frame());
}

TEST_F(PlayerTest, DetermineFlightMode_SectorsInOrderWithGaps) {
    xClosestPlanet = 1000;
    yClosestPlanet = 1000;
    struct Case {
        float angle, x, y;
        int mode;
    } cases[] = {
        {270, 900, 1100, 1},     {270, 900, 900, -1}, {225, 900, 1100, 1}, {90, 900, 1100, -1},
        {90, 900, 900, 1},       {45, 900, 900, 1},   {10, 1100, 900, -1}, {10, 900, 900, 1},
        {315.5f, 1100, 900, -1}, {180, 1100, 900, 1}, {180, 900, 900, -1}, {135, 900, 900, -1},
    };
    for (const Case &c : cases) {
        player.angle = c.angle;
        player.x = c.x;
        player.y = c.y;
        player.flightMode = 7;
        player.DetermineFlightMode();
        EXPECT_EQ(player.flightMode, c.mode) << "angle " << c.angle;
    }
    // 315 and negative headings match no sector.
    for (float a : {315.0f, -3.0f}) {
        player.angle = a;
        player.flightMode = 7;
        player.DetermineFlightMode();
        EXPECT_EQ(player.flightMode, 7);
    }
}

TEST_F(PlayerTest, Escape_StartsFadeOutAndComboTimerLapsesAfter63) {
    PlaceAt(2000, 1500);
    Key(kVkEscape, true);
    Frame();
    EXPECT_EQ(gameState, GAMESTATE_FADEOUT);
    gameState = GAMESTATE_PLAY;
    Frame();  // held, not newly pressed
    EXPECT_EQ(gameState, GAMESTATE_PLAY);

    player.combo = 2;
    player.comboTimer = 0;
    for (int i = 0; i < 63; i++) Frame();
    EXPECT_EQ(player.combo, 2);
    EXPECT_EQ(player.comboTimer, 63);
    Frame();
    EXPECT_EQ(player.combo, 0);
    EXPECT_EQ(player.comboTimer, 0);
}

TEST_F(PlayerTest, Trail_OneSparklePerFrameBehindTheShipThenAllAround) {
    PlaceAt(500.7f, 600.2f);
    player.sparkleCount = 0;
    player.speed = 0;
    Frame();
    EXPECT_EQ(player.sparkleCount, 1);
    const c_sparkle &s = player.sparkle[0];
    EXPECT_EQ(s.type, 1);
    EXPECT_EQ(s.active, 1);
    // Emitted at the truncated centre less 4, then moved once, backwards
    // (heading up: downwards within 30 degrees).
    EXPECT_NEAR(s.x, 512 + s.dx, 1e-4);
    EXPECT_NEAR(s.y, 612 + s.dy, 1e-4);
    EXPECT_GT(s.dy, std::cos(30.5 * M_PI / 180) - 1e-6);
    for (int i = 0; i < 40; i++) Frame();
    EXPECT_EQ(player.sparkleCount, 41);
    // The last frame reused slot 40 % 32 and moved it once.
    EXPECT_NEAR(player.sparkle[8].x, 512 + player.sparkle[8].dx, 1e-4);
    EXPECT_NEAR(player.sparkle[8].y, 612 + player.sparkle[8].dy, 1e-4);

    // After a crash the direction is any of 360 degrees.
    player.alive = false;
    bool upwards = false;
    for (int i = 0; i < 64; i++) {
        Frame();
        if (player.sparkle[(player.sparkleCount - 1) % 32].dy < -0.5f) upwards = true;
    }
    EXPECT_TRUE(upwards);
}

namespace {

// Drawing with stand-in pictures. The chain link is an 8 by 8 cell whose
// top two rows are white and the rest clear, so a drawn link shows where it
// is and which way its top points. The ship's three cells, 32 by 32 each,
// are clear but for a 4 by 4 white square at (8k, 0) in cell k.
class PlayerDrawTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure()) return;
        if (fb_ < 0) fb_ = CGL_InitFramebuffer(360, 240);
        CGL_SetFramebuffer(fb_);
        if (sheet_.pixels == nullptr) {
            ASSERT_EQ(CGL_CreateBitmap(104, 32, &sheet_), 1);
            for (int i = 0; i < sheet_.numpixels; i++) {
                int x = i % 104, y = i / 104;
                bool link = x < 8 && y < 2;
                bool ship = x >= 8 && y < 4 && (x - 8) % 32 >= ((x - 8) / 32) * 8 &&
                            (x - 8) % 32 < ((x - 8) / 32) * 8 + 4;
                sheet_.pixels[i] = (link || ship) ? 0xFFFFFFFF : 0;
            }
            CGL_UpdateBitmap(sheet_);
        }
        saved_ = spr_chain[0];
        CGL_GetSprite(0, 0, 8, 8, &sheet_, &spr_chain[0]);
        for (int k = 0; k < 3; k++) {
            savedShip_[k] = spr_player[k];
            CGL_GetSprite(8 + 32 * k, 0, 32, 32, &sheet_, &spr_player[k]);
        }
        scrollx = scrolly = 0;
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        spr_chain[0] = saved_;
        for (int k = 0; k < 3; k++) spr_player[k] = savedShip_[k];
    }
    static bool Lit(int x, int y) { return (gl_read_pixels(x, 239 - y, 1, 1)[0] & 0xFFFFFF) != 0; }
    static int fb_;
    static s_bitmap sheet_;
    s_sprite saved_{};
    s_sprite savedShip_[3]{};
};
int PlayerDrawTest::fb_ = -1;
s_bitmap PlayerDrawTest::sheet_{};

}  // namespace

TEST_F(PlayerDrawTest, DrawChain_LinksFromLatchDistanceCrawlingByPhaseTopsTowardThePlanet) {
    // Latched at 100: 100 / 12 + 2 = 10 links. The planet is 120 straight up,
    // so links are 12 apart; phase 4 starts them half a spacing up, at y 194,
    // each drawn 4 up and left of its point.
    distClosestPlanet = 100;
    currentFrame = 8 * 50 + 4;
    scrollx = 1000;
    scrolly = 2000;
    player.DrawChain(1100, 2200, 1100, 2080);
    for (int i = 0; i < 10; i++) {
        int top = 190 - 12 * i;
        EXPECT_TRUE(Lit(96, top) && Lit(103, top + 1)) << "link " << i;
        // Not turned: its top rows point up, towards the planet.
        EXPECT_FALSE(Lit(99, top + 2) || Lit(99, top + 7)) << "link " << i;
        EXPECT_FALSE(Lit(95, top) || Lit(104, top)) << "link " << i;
    }
    EXPECT_FALSE(Lit(99, 198));        // where phase 0 would start
    EXPECT_FALSE(Lit(99, 190 - 120));  // no eleventh link
    currentFrame = 8 * 50;
    glClear(GL_COLOR_BUFFER_BIT);
    player.DrawChain(1100, 2200, 1100, 2080);
    EXPECT_TRUE(Lit(99, 196));
    EXPECT_FALSE(Lit(99, 190));

    // The planet to the right: the link turns 90 degrees, its top to the
    // right-hand side.
    glClear(GL_COLOR_BUFFER_BIT);
    distClosestPlanet = 30;  // 4 links, 30 apart
    currentFrame = 0;
    player.DrawChain(1100, 2100, 1220, 2100);
    for (int i = 0; i < 4; i++) {
        int left = 96 + 30 * i;
        EXPECT_TRUE(Lit(left + 7, 96) && Lit(left + 6, 103)) << "link " << i;
        EXPECT_FALSE(Lit(left, 99) || Lit(left + 3, 99)) << "link " << i;
    }
    EXPECT_FALSE(Lit(96 + 30 * 4 + 7, 99));
    scrollx = scrolly = 0;
}

TEST_F(PlayerDrawTest, Draw_ShipCellByFlightModeAtTruncatedPositionOnlyWhileAlive) {
    for (c_sparkle &s : player.sparkle) s.active = 0;  // no trail in the picture
    scrollx = 1000;
    scrolly = 2000;
    player.x = 1100.9f;
    player.y = 2050.9f;
    player.angle = 0.9f;
    for (int mode = -1; mode <= 1; mode++) {
        glClear(GL_COLOR_BUFFER_BIT);
        player.alive = true;
        player.flightMode = mode;
        player.Draw();
        int k = mode + 1;
        for (int j = 0; j < 3; j++) {
            bool lit = Lit(100 + 8 * j, 50) && Lit(103 + 8 * j, 53);
            EXPECT_EQ(lit, j == k) << "mode " << mode << " cell " << j;
        }
        EXPECT_FALSE(Lit(100 + 8 * k, 54) || Lit(104 + 8 * k, 50));
    }
    glClear(GL_COLOR_BUFFER_BIT);
    player.alive = false;
    player.Draw();
    EXPECT_FALSE(Lit(100, 50) || Lit(108, 50) || Lit(116, 50));
    player.alive = true;
    player.flightMode = 0;
    scrollx = scrolly = 0;
}
