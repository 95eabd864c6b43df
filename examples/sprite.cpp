// A sprite moved with the arrow keys; Escape quits.
//
// The engine calls coremain on its game thread once the window system is up
// (link cgl::main for that). Everything the program loads comes from the
// resource image sprite.dat, which the build packs beside the executable.
#include "cgl/cgl.h"
#include "corefile/corefile.h"

namespace {

const int kWidth = 320, kHeight = 180;  // the game's picture, in pixels

// Sprites are registered by address: keep them in storage that outlives
// the drawing (globals or statics).
s_sprite ship;

}  // namespace

void coremain() {
    if (!corefile_mountimage("sprite.dat", 0)) return;  // 0: a stand-alone image file

    // A 640 x 360 window (flags 1 would ask for full screen). Loading comes
    // after CGL_InitVideo, which starts the picture registries afresh.
    CGL_InitVideo(640, 360, 0);
    CGL_SetTitle("Sprite");

    // Draw into a small picture of our own; CGL_SwapBuffers stretches it
    // over the window. Coordinates: top-left origin, y grows downwards.
    int picture = CGL_InitFramebuffer(kWidth, kHeight);
    if (picture >= 0) CGL_SetFramebuffer(picture);

    // Magenta pixels of a TGA become transparent.
    if (!CGL_LoadSprite("ship.tga", &ship)) {
        CGL_CloseVideo();
        return;
    }

    int x = (kWidth - ship.width) / 2, y = (kHeight - ship.height) / 2;
    for (;;) {
        CGL_WaitRefresh();  // 60 frames a second; move per frame, not per second
        int held = 0, pressed = 0;
        CGL_GetKeys(&held, &pressed);
        if (pressed & CGL_KEY_ESCAPE) break;
        if (held & CGL_KEY_LEFT) x -= 2;
        if (held & CGL_KEY_RIGHT) x += 2;
        if (held & CGL_KEY_UP) y -= 2;
        if (held & CGL_KEY_DOWN) y += 2;
        if (x < 0) x = 0;
        if (y < 0) y = 0;
        if (x > kWidth - ship.width) x = kWidth - ship.width;
        if (y > kHeight - ship.height) y = kHeight - ship.height;

        // The picture keeps last frame's drawing: paint over it first. A
        // box's colour then tints every quad after it, so set it back to
        // white (a box of no size draws nothing).
        CGL_DrawBox(0, 0, kWidth, kHeight, 0xFF101830);
        CGL_DrawBox(0, 0, 0, 0, 0xFFFFFFFF);
        CGL_DrawSprite(x, y, ship);

        CGL_SwapBuffers();
    }
    CGL_CloseVideo();
}
