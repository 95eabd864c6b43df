// Graphics resource registry: report and flush.
//
// Depends on: the bitmap and sprite registries, the font and framebuffer
// counts.
#include "cgl/registry.h"

#include <cstdio>

#include "cgl/bitmap.h"
#include "cgl/font.h"
#include "cgl/framebuffer.h"
#include "cgl/sprite.h"

void CGL_ShowGraphicsMemory() {
    printf("[=== GRAPHICS MEMORY INFO ===]\n");
    printf("Num.Bitmaps: %d / %d\n", cgl_numbitmaps, CGL_MAXBITMAPS);
    printf("Num.Sprites: %d / %d\n", cgl_numsprites, CGL_MAXSPRITES);
    printf("Num.Fonts: %d / 16\n", cgl_numfonts);
    printf("Num.Framebuffers: %d / %d\n", CGL_numframebuffers, CGL_MAXFRAMEBUFFERS);
    printf("[============================]\n");
}

// The counts printed are the registry sizes, not the records that still
// held something. Framebuffers, shaders and unregistered bitmaps stay.
void CGL_FlushGraphics() {
    for (int i = 0; i < cgl_numsprites; i++) CGL_DeleteSprite(cgl_spritelist[i]);
    printf("[%d sprites deleted]\n", cgl_numsprites);
    for (int i = 0; i < cgl_numbitmaps; i++) CGL_DeleteBitmap(cgl_bitmaplist[i]);
    printf("[%d bitmaps deleted]\n", cgl_numbitmaps);
    cgl_numbitmaps = 0;
    cgl_numfonts = 0;
    cgl_numsprites = 0;
}

void CGL_PushGraphics() {}

void CGL_PopGraphics() {}
