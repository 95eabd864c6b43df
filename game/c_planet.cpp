// c_planet: the fixed obstacles and latch anchors of the playfield.
//
// Every frame each planet measures the centre-to-centre distance to the
// ship; touching one wrecks the ship, and 63 frames later the planet's
// crash timer ends the game.
//
// Depends on: game/header.h, game/assets.h (spr_planet, snd_explode), cgl, sound.
#include "game/header.h"
#include "game/assets.h"

#include <cmath>
#include "game/random.h"

void c_planet::Init(int px, int py) {
    x = px;
    y = py;
    dist = 0;
    type = Random() % 4;
    size = (type == 2 || type == 3) ? 16 : 25;
    explodeTimer = 0;
}

// Drawing comes before handling in a frame, so the timer set to 1 by the
// crash reaches 64 in the 63rd frame after it.
void c_planet::Draw() {
    AdvanceExplosion();
    CGL_DrawSprite(x - scrollx, y - scrolly, spr_planet[type]);
}

void c_planet::AdvanceExplosion() {
    if (explodeTimer > 0) {
        explodeTimer += 1;
        if (explodeTimer > kCrashDelay) gameState = GAMESTATE_CRASHED;
    }
}

void c_planet::Handle(c_player &ship) {
    float ddx = (float)(x + size) - (ship.x + 16);
    float ddy = (float)(y + size) - (ship.y + 16);
    dist = (float)std::sqrt((double)(ddx * ddx + ddy * ddy));

    // The ship is a disc of radius 16; only the first crash counts.
    if (ship.alive && dist < (float)(size + 16)) {
        Soundsystem_PlaySound(&snd_explode, 0);
        explodeTimer = 1;
        ship.alive = false;
    }
    // The wreck coasts to a near stop, from the crash frame on.
    if (explodeTimer > 0) ship.speed = (float)(ship.speed * kWreckDrag);
}
