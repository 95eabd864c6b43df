// c_sparkle: a drifting 8 by 8 particle of the ship's trail or a star's burst.
//
// A trail sparkle plays the explosion cells once, two draw calls per cell,
// and then keeps the last; it advances when drawn, not when moved. A star
// sparkle shows one of the four pictures of its owner's colour.
// Depends on: game/header.h (scrollx, scrolly), game/assets.h (sprites), cgl.
#include "game/c_sparkle.h"

#include "game/random.h"

#include "game/assets.h"
#include "game/header.h"

void c_sparkle::Init(int x, int y, float dx, float dy, int type) {
    this->x = float(x);
    this->y = float(y);
    this->dx = dx;
    this->dy = dy;
    this->type = type;
    variant = Random() % 4;
    age = 0;
    active = 1;
}

void c_sparkle::Handle() {
    if (!active) return;
    x += dx;
    y += dy;
}

void c_sparkle::Draw(int colour) {
    if (!active) return;
    const int sx = int(x) - scrollx, sy = int(y) - scrolly;
    if (type == 1) {
        CGL_DrawBlendSprite(sx, sy, spr_explode[age / 2], 1);
        if (age <= 14) age++;
    } else {
        // A negative colour would index before the table: keep it in 0..7.
        const int c = ((colour % 8) + 8) % 8;
        CGL_DrawBlendSprite(sx, sy, spr_sparkle[c * 4 + (variant & 3)], 1);
    }
}
