// c_star: a collectable star and its burst of 32 sparkles.
//
// Flying the ship's 32 by 32 box over a star's 8 by 8 box picks it up: the
// running combo grows by one and is added to the score, and the pick-up
// sound plays higher the longer the combo and the faster the ship. The ship
// breaks the combo (its timer), not the star.
//
// Depends on: game/header.h, game/assets.h (spr_star, snd_pickup), cgl, sound.
#include "game/header.h"
#include "game/assets.h"
#include "game/gamemath.h"
#include "game/random.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
// The lowest pick-up pitch, a tenth of the sound's own rate. A wreck that has
// slowed almost to a stop makes the combo term negative; below this floor the
// pick-up would drone on for seconds, and below 0 it would wrap into a click.
constexpr int kMinPickupPitch = 2205;
}  // namespace

// The burst slots are cleared too, so that a burst of this game never shows
// a sparkle left from an earlier one.
void c_star::Init(int px, int py) {
    x = px;
    y = py;
    colour = Random() % 8;
    for (c_sparkle &s : sparkle) s = c_sparkle();
    sparkleCount = 0;
    state = 1;
}

void c_star::Draw() {
    if (state == 1) {
        CGL_DrawBlendSprite(x - scrollx, y - scrolly, spr_star[colour], 1);
    } else if (state == 2) {
        for (c_sparkle &s : sparkle) s.Draw(colour);
    }
}

// The pick-up does not look at whether the ship is alive: the wreck still
// collects stars until the game ends.
void c_star::Handle(c_player &ship) {
    if (state == 1 && CGL_CheckBoxCollision(x, y, 8, 8, (int)ship.x, (int)ship.y, 32, 32)) {
        float factor = (ship.speed - 2.5f) + 1;
        // combo is still the count before this star: a new combo starts at 22050.
        int pitch = (int)(float)((double)ship.combo * factor * 440.0 + 22050.0);
        if (pitch < kMinPickupPitch) pitch = kMinPickupPitch;
        Soundsystem_SetFrequency(&snd_pickup, pitch);
        Soundsystem_PlaySound(&snd_pickup, 0);
        ship.comboTimer = 0;
        ship.combo += 1;
        ship.score += ship.combo;
        state = 2;
    }
    if (state == 2) {
        int a = Random() % 360;
        double r = a * kPi / 180.0;
        sparkle[sparkleCount % kNumSparkles].Init(x + 4, y + 4, (float)-GameSin(r),
                                                  (float)GameCos(r), 0);
        sparkleCount += 1;
        if (sparkleCount > 31) state = 0;
        for (c_sparkle &s : sparkle) s.Handle();
    }
}
