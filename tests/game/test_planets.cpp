// Planets: the placement rules and a seeded layout, the crash test, the
// closest-planet search, and the crash timer that ends the game.
#include "game/header.h"
#include "game/random.h"
#include "game/assets.h"
#include "common/gl_fixture.h"
#include "cgl/cgl.h"
#include "sound/sound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

void PlacePlanet(int slot, int x, int y, int type) {
    planet[slot].x = x;
    planet[slot].y = y;
    planet[slot].type = type;
    planet[slot].size = type >= 2 ? 16 : 25;
    planet[slot].explodeTimer = 0;
    planet[slot].dist = 0;
}

// Ship whose centre is at (cx, cy).
void ShipCentreAt(float cx, float cy) {
    player.Init();
    player.x = cx - 16;
    player.y = cy - 16;
}

}  // namespace

TEST(PlanetPlacement, AcceptsInsideBoundsAndOutsideTheStartHalfDisc) {
    numPlanets = 0;
    EXPECT_TRUE(AcceptPlanetPosition(180, 500, 0));
    EXPECT_FALSE(AcceptPlanetPosition(179, 500, 0));
    EXPECT_TRUE(AcceptPlanetPosition(2380, 500, 0));
    EXPECT_FALSE(AcceptPlanetPosition(2381, 500, 0));
    EXPECT_TRUE(AcceptPlanetPosition(500, 180, 0));
    EXPECT_FALSE(AcceptPlanetPosition(500, 179, 0));
    EXPECT_TRUE(AcceptPlanetPosition(500, 1740, 0));
    EXPECT_FALSE(AcceptPlanetPosition(500, 1741, 0));

    // The half-disc of radius 300 ahead of (1280, 960), down to y 1023.
    EXPECT_TRUE(AcceptPlanetPosition(1280, 1259, 0));
    EXPECT_FALSE(AcceptPlanetPosition(1280, 661, 0));
    EXPECT_FALSE(AcceptPlanetPosition(1280, 1023, 0));
    EXPECT_TRUE(AcceptPlanetPosition(1280, 1024, 0));
    EXPECT_FALSE(AcceptPlanetPosition(1579, 960, 0));
    EXPECT_TRUE(AcceptPlanetPosition(1580, 960, 0));
}

TEST(PlanetPlacement, KeepsPlacedPlanets150ApartWithTruncatedDistance) {
    PlacePlanet(0, 1000, 500, 0);
    PlacePlanet(1, 1100, 500, 0);  // not placed yet in this game: ignored
    EXPECT_TRUE(AcceptPlanetPosition(1150, 500, 1));
    EXPECT_TRUE(AcceptPlanetPosition(1090, 620, 1));   // 90, 120: exactly 150
    EXPECT_FALSE(AcceptPlanetPosition(1149, 517, 1));  // 149.97 truncates to 149
    EXPECT_FALSE(AcceptPlanetPosition(1150, 500, 2));  // now planet 1 counts
}

TEST(PlanetPlacement, SeededLayoutsFollowEveryRuleAndRepeat) {
    for (int d = 0; d < 3; d++) {
        numPlanets = d * 20 + 50;
        RandomSeed(100 + d);
        InitPlanets();
        int firstX = planet[0].x, lastY = planet[numPlanets - 1].y;
        int types[4] = {};
        for (int i = 0; i < numPlanets; i++) {
            const c_planet &p = planet[i];
            EXPECT_GE(p.x, 180);
            EXPECT_LE(p.x, 2380);
            EXPECT_GE(p.y, 180);
            EXPECT_LE(p.y, 1740);
            double start = std::hypot(p.x - 1280.0, p.y - 960.0);
            EXPECT_FALSE(start < 300 && p.y <= 1023) << p.x << "," << p.y;
            for (int j = 0; j < i; j++) {
                int ddx = p.x - planet[j].x, ddy = p.y - planet[j].y;
                EXPECT_GE((int)std::sqrt((double)(ddx * ddx + ddy * ddy)), 150);
            }
            ASSERT_GE(p.type, 0);
            ASSERT_LE(p.type, 3);
            types[p.type]++;
            EXPECT_EQ(p.size, p.type >= 2 ? 16 : 25);
            EXPECT_EQ(p.explodeTimer, 0);
        }
        for (int t : types) EXPECT_GT(t, 0);
        RandomSeed(100 + d);
        InitPlanets();
        EXPECT_EQ(planet[0].x, firstX);
        EXPECT_EQ(planet[numPlanets - 1].y, lastY);
    }
}

TEST(PlanetHandle, CrashesBelowRadiusPlus16OnlyOnce) {
    Soundsystem_StopSound(&snd_explode);
    PlacePlanet(0, 1000, 1000, 0);  // centre (1025, 1025), radius 25
    ShipCentreAt(1025 + 41, 1025);
    player.speed = 3;
    planet[0].Handle(player);
    EXPECT_FLOAT_EQ(planet[0].dist, 41);
    EXPECT_TRUE(player.alive);
    EXPECT_EQ(planet[0].explodeTimer, 0);
    EXPECT_EQ(player.speed, 3);

    ShipCentreAt(1025 + 40.9f, 1025);
    player.speed = 3;
    planet[0].Handle(player);
    EXPECT_FALSE(player.alive);
    EXPECT_EQ(planet[0].explodeTimer, 1);
    EXPECT_EQ(player.speed, (float)(3 * 0.95));
    EXPECT_EQ(snd_explode.playing, 1);

    // A second planet the wreck touches does not crash again.
    PlacePlanet(1, 1000, 1000, 2);
    planet[1].Handle(player);
    EXPECT_EQ(planet[1].explodeTimer, 0);

    // Small planets: radius 16, so 32 between centres.
    PlacePlanet(2, 1000, 1000, 3);
    ShipCentreAt(1016, 1016 + 31.9f);
    planet[2].Handle(player);
    EXPECT_FALSE(player.alive);
    ShipCentreAt(1016, 1016 + 32);
    planet[2].Handle(player);
    EXPECT_TRUE(player.alive);
    Soundsystem_StopSound(&snd_explode);
}

TEST(PlanetHandle, ClosestSearchKeepsLowerSlotOnSameIntegerAndFreezesWhileLatched) {
    numPlanets = 3;
    auto centre = [](int slot, int cx, int cy) { PlacePlanet(slot, cx - 25, cy - 25, 0); };
    ShipCentreAt(1000, 1000.25f);

    // 300.25, 250.0001, 199.75: the nearest wins.
    centre(0, 1000, 700);
    centre(1, 1250, 1000);
    centre(2, 1000, 1200);
    HandlePlanets();
    EXPECT_EQ(xClosestPlanet, 1000);
    EXPECT_EQ(yClosestPlanet, 1200);
    EXPECT_FLOAT_EQ(planet[1].dist, 250.0001f);

    // 199.75 in slot 0 and 199.25 in slot 2: best holds 199, so slot 2 does
    // not win although it is nearer.
    centre(0, 1000, 1200);
    centre(2, 1000, 801);
    HandlePlanets();
    EXPECT_EQ(yClosestPlanet, 1200);
    // 198.25 does.
    centre(2, 1000, 802);
    HandlePlanets();
    EXPECT_EQ(yClosestPlanet, 802);

    // Latched: the search does not run, whatever comes nearer.
    player.flightMode = 1;
    centre(1, 1100, 1000);
    HandlePlanets();
    EXPECT_EQ(xClosestPlanet, 1000);
    EXPECT_EQ(yClosestPlanet, 802);
    player.flightMode = 0;
    HandlePlanets();
    EXPECT_EQ(xClosestPlanet, 1100);
    EXPECT_EQ(yClosestPlanet, 1000);
    EXPECT_TRUE(player.alive);
}

class PlanetFrameTest : public GLTest {};

// Drawing comes first in a frame: the crash frame's handler sets the timer
// to 1 and the 63rd frame after it ends the game; the wreck slows by 0.95
// in every one of those frames.
TEST_F(PlanetFrameTest, Crash_EndsGameIn63rdFrameAfterWithWreckSlowing) {
    numPlanets = 1;
    PlacePlanet(0, 1000, 1000, 1);
    ShipCentreAt(1025, 1025 + 30);
    player.speed = 4;
    gameState = GAMESTATE_PLAY;
    float speed = 4;
    int frame = 0, endFrame = -1, crashFrame = -1;
    for (; frame < 200 && endFrame < 0; frame++) {
        DrawPlanets();
        if (gameState == GAMESTATE_CRASHED) endFrame = frame;
        HandlePlanets();
        if (!player.alive && crashFrame < 0) crashFrame = frame;
        if (crashFrame >= 0) speed = (float)(speed * 0.95);
        EXPECT_EQ(player.speed, speed);
    }
    Soundsystem_StopSound(&snd_explode);
    EXPECT_EQ(crashFrame, 0);
    EXPECT_EQ(endFrame, crashFrame + 63);
    EXPECT_EQ(planet[0].explodeTimer, 64);
    gameState = GAMESTATE_PLAY;
}
