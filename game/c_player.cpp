// c_player: the ship's flight model, its trail, its chain and its combo.
//
// The ship always flies forward. Free, it steers left and right and slows
// to a cruising speed of 2.5; latched to the closest planet (action input
// held within 180 units), it swings around it and speeds up to 6, and a
// release flings it off along its heading. A wrap or a chain stretched past
// 270 units breaks the latch.
//
// Depends on: game/header.h (globals), game/assets.h (sprites, sounds),
// cgl (input, sprites), sound.
#include "game/header.h"
#include "game/assets.h"
#include "game/gamemath.h"
#include "game/play.h"
#include "game/random.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kActionKeys = CGL_KEY_BUTTON1 | CGL_KEY_BUTTON2 | CGL_KEY_BUTTON3 | CGL_KEY_BUTTON4;

double Radians(double degrees) {
    return degrees * kPi / 180.0;
}

}  // namespace

void c_player::Init() {
    x = 1280;
    y = 960;
    dx = 0;
    dy = 0;
    flightMode = 0;
    angle = (float)(Random() % 30 - 15);
    speed = 3;
    minTurnSpeed = kMinTurnSpeed;
    comboTimer = 0;
    combo = 0;
    sparkleCount = 0;
    score = 0;
    mouseButtons = 0;
    newHighscoreTimer = 0;
    alive = true;
    // bestScore, name and the trail slots carry over: the old trail is
    // overwritten within the first 32 frames of the new game.
}

void c_player::HandleInput() {
    int previousButtons = mouseButtons;
    s_frameinput input = ReadPlayInput();
    int held = input.held, pressed = input.pressed;
    mouseButtons = input.mouseButtons;

    // Measured from the ship's top-left corner, not its centre; the latch
    // keeps the distance it began with.
    float ddx = x - (float)xClosestPlanet;
    float ddy = y - (float)yClosestPlanet;
    float distance = (float)std::sqrt((double)(ddx * ddx + ddy * ddy));
    if (flightMode == 0) distClosestPlanet = distance;

    // A mouse button counts as a trigger on release too.
    bool trigger = (pressed & kActionKeys) != 0 || mouseButtons != previousButtons;
    bool hold = (held & kActionKeys) != 0 || mouseButtons > 0;

    if (trigger && distClosestPlanet < kLatchRange) Soundsystem_PlaySound(&snd_slingshot, 0);
    if (!hold) flightMode = 0;
    // Chosen again every frame the input is held in range, not only on a press.
    if (hold && distClosestPlanet < kLatchRange) DetermineFlightMode();
    if (distance > kSnapDistance) flightMode = 0;

    // The quotient goes through a float before the root.
    float quotient = (float)(180.0 / ((double)distClosestPlanet + 0.00001));
    angle = (float)(angle + std::sqrt((double)quotient) * kSwingRate * flightMode);

    if (flightMode == 0) {
        float rate = (float)((180.0f - distClosestPlanet) / 180.0f + (speed - 2.5f) * 0.5f);
        if (minTurnSpeed > rate) rate = minTurnSpeed;
        if (held & CGL_KEY_LEFT) angle -= rate;
        if (held & CGL_KEY_RIGHT) angle += rate;
        if (speed > kCruiseSpeed) speed = (float)(speed - kSpeedDecay);
    } else {
        if (speed < kTopSpeed) speed = (float)(speed + kSpeedGain);
    }

    if (angle < 0) angle += 360;
    if (angle >= 360) angle -= 360;

    double a = Radians(angle);
    dx = (float)(GameSin(a) * speed);
    dy = (float)(-GameCos(a) * speed);
    x += dx;
    y += dy;

    // Each test in turn; the bottom edge is 1919, so a ship between 1919
    // and 1920 comes out just above the top edge.
    if (x < 0) {
        x += kPlayfieldWidth;
        flightMode = 0;
    }
    if (x >= kPlayfieldWidth) {
        x -= kPlayfieldWidth;
        flightMode = 0;
    }
    if (y < 0) {
        y += kPlayfieldHeight;
        flightMode = 0;
    }
    if (y >= kPlayfieldHeight - 1) {
        y -= kPlayfieldHeight;
        flightMode = 0;
    }

    HandleSparkles();

    // The pick-up test runs before this in the frame, so a star taken within
    // 63 frames of the previous one keeps the combo.
    if (combo != 0) {
        comboTimer += 1;
        if (comboTimer > kComboWindow) {
            combo = 0;
            comboTimer = 0;
        }
    }

    if (pressed & CGL_KEY_ESCAPE) gameState = GAMESTATE_FADEOUT;
}

// Turn towards the planet: the heading's sector and the ship's side of the
// planet pick the direction. Exactly 315, or a negative heading (first frame
// only), matches no sector and keeps the current mode.
void c_player::DetermineFlightMode() {
    if (angle >= 225 && angle < 315) {
        flightMode = y > (float)yClosestPlanet ? 1 : -1;
    } else if (angle >= 45 && angle < 135) {
        flightMode = y > (float)yClosestPlanet ? -1 : 1;
    } else if ((angle >= 0 && angle < 45) || angle > 315) {
        flightMode = x > (float)xClosestPlanet ? -1 : 1;
    } else if (angle >= 135 && angle < 225) {
        flightMode = x > (float)xClosestPlanet ? 1 : -1;
    }
}

void c_player::HandleSparkles() {
    float a;
    if (alive)
        a = angle + (float)(Random() % 60) - 30;  // spray behind the ship
    else
        a = (float)(Random() % 360);  // the explosion, all around
    double r = Radians(a);
    sparkle[sparkleCount % kNumSparkles].Init((int)(x + 12), (int)(y + 12), (float)-GameSin(r),
                                              (float)GameCos(r), 1);
    sparkleCount += 1;
    for (c_sparkle &s : sparkle) s.Handle();
}

void c_player::Draw() {
    for (c_sparkle &s : sparkle) s.Draw(0);
    if (alive)
        CGL_DrawRotatedSprite((int)x - scrollx, (int)y - scrolly, spr_player[flightMode + 1],
                              (int)angle);
}

// The link count follows the distance the latch began at; the spacing
// follows the current ends. The phase crawls the links towards the planet,
// an eighth of a spacing per frame.
void c_player::DrawChain(int x1, int y1, int x2, int y2) {
    int links = (int)distClosestPlanet / 12 + 2;
    // Never more than a snapped chain could have: guards a caller that draws
    // without a latch.
    if (links < 2) links = 2;
    if (links > (int)kSnapDistance / 12 + 2) links = (int)kSnapDistance / 12 + 2;
    float sx = (float)(x2 - x1) / (float)links;
    float sy = (float)(y2 - y1) / (float)links;
    int phase = currentFrame % 8;
    float px = x1 + phase * sx / 8;
    float py = y1 + phase * sy / 8;
    int linkAngle = (int)(180.0 - GameAtan2((double)sx, (double)sy) * 180.0 / kPi);
    for (int i = 0; i < links; i++) {
        CGL_DrawRotatedSprite((int)px - scrollx - 4, (int)py - scrolly - 4, spr_chain[0],
                              linkAngle);
        px += sx;
        py += sy;
    }
}
