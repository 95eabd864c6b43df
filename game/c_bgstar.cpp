// c_bgstar: a decorative background star in one of four depth layers.
//
// Placed once at start-up; drawn with parallax, the camera divided by the
// layer + 3 (a third down to a sixth of its speed). They do not wrap.
//
// Depends on: game/header.h, game/assets.h (spr_bgstar), cgl.
#include "game/header.h"
#include "game/assets.h"

#include "game/random.h"

void c_bgstar::Init() {
    x = Random() % kPlayfieldWidth;
    y = Random() % kPlayfieldHeight;
    layer = Random() % 4;
}

// The division truncates toward zero, which matters for the title screen's
// negative camera.
void c_bgstar::Draw() {
    int d = layer + 3;
    CGL_DrawSprite(x - scrollx / d, y - scrolly / d, spr_bgstar[layer]);
}
