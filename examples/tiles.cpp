// A directory in place of the resource image: while developing, pictures
// are read straight from the folder they are made in, so a changed file
// shows at the next start without packing. A release reads the packed
// image instead. Escape quits.
#include "cgl/cgl.h"
#include "corefile/corefile.h"

namespace {

const int kWidth = 320, kHeight = 180, kCell = 16;

s_bitmap sheet;  // one picture, cut into two cells
s_sprite floor_tile, gem;

}  // namespace

void coremain() {
    // Mode 2 mounts a directory: file names are paths below it. Mode 0
    // mounts a packed image file.
    if (!corefile_mountimage("assets/tiles", 2) && !corefile_mountimage("tiles.dat", 0)) return;

    CGL_InitVideo(640, 360, 0);
    CGL_SetTitle("Tiles");
    int picture = CGL_InitFramebuffer(kWidth, kHeight);
    if (picture >= 0) CGL_SetFramebuffer(picture);

    if (!CGL_LoadBitmap("tiles.tga", &sheet)) {
        CGL_CloseVideo();
        return;
    }
    CGL_GetSprite(0, 0, kCell, kCell, &sheet, &floor_tile);
    CGL_GetSprite(kCell, 0, kCell, kCell, &sheet, &gem);

    for (int frame = 0;; frame++) {
        CGL_WaitRefresh();
        int held = 0, pressed = 0;
        CGL_GetKeys(&held, &pressed);
        if (pressed & CGL_KEY_ESCAPE) break;

        // The floor covers the whole picture, so nothing of the last frame
        // is left to clear.
        for (int y = 0; y < kHeight; y += kCell)
            for (int x = 0; x < kWidth; x += kCell) CGL_DrawSprite(x, y, floor_tile);
        CGL_DrawRotatedSprite(kWidth / 2 - kCell / 2, kHeight / 2 - kCell / 2, gem,
                              frame * 3 % 360);
        CGL_SwapBuffers();
    }
    CGL_CloseVideo();
}
