// Bitmaps: creation, pixel access, upload, drawing and the registry.
//
// Offers: CGL_CreateBitmap and friends (see bitmap.h). The TGA reader lives
// in tga.cpp.
// Depends on: the render core for textures and quads.
#include "cgl/bitmap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cgl/render.h"
#include "cgl/video.h"

s_bitmap *cgl_bitmaplist[CGL_MAXBITMAPS];
int cgl_numbitmaps = 0;

// ---------------------------------------------------------------------------
// Creation and release

int cgl_allocbitmap(int width, int height, s_bitmap *bitmap, int clear) {
    if (width <= 0 || height <= 0 || width > CGL_MAXBITMAPSIDE || height > CGL_MAXBITMAPSIDE) {
        return 0;
    }
    int texwidth = PowerOfTwo(width);
    int texheight = PowerOfTwo(height);
    size_t numpixels = (size_t)texwidth * (size_t)texheight;
    // Cleared rather than left as the heap hands it out, so that a picture
    // whose file ends early shows black, not old memory.
    auto *pixels = static_cast<uint32_t *>(clear ? calloc(numpixels, 4) : malloc(numpixels * 4));
    if (!pixels) return 0;

    bitmap->width = width;
    bitmap->height = height;
    bitmap->flags = 0;
    bitmap->texwidth = texwidth;
    bitmap->texheight = texheight;
    bitmap->size = (int)(numpixels * 4);
    bitmap->numpixels = (int)numpixels;
    bitmap->pixels = pixels;
    bitmap->tx1 = 0.0f;
    bitmap->ty1 = 0.0f;
    // Just short of the last texel's far edge: 0.99999 across, 0.9999 down.
    // The product is rounded to float first, the quotient is taken wider.
    float wx = (float)(width * 0.99999);
    float hy = (float)(height * 0.9999);
    bitmap->tx2 = (float)((long double)wx / (long double)texwidth);
    bitmap->ty2 = (float)((long double)hy / (long double)texheight);
    bitmap->texture = 0;
    bitmap->reserved = 0;
    return 1;
}

int CGL_CreateBitmap(int width, int height, s_bitmap *bitmap) {
    if (!bitmap) return 0;
    if (cgl_numbitmaps >= CGL_MAXBITMAPS) {
        printf("- ERROR: Bitmap table full (%d bitmaps).\n", CGL_MAXBITMAPS);
        bitmap->pixels = nullptr;
        return 0;
    }
    if (!cgl_allocbitmap(width, height, bitmap)) {
        printf("- ERROR: Bitmap of %d x %d pixels not created.\n", width, height);
        bitmap->pixels = nullptr;
        return 0;
    }
    bitmap->texture = CGL_CreateTexture(*bitmap);
    cgl_bitmaplist[cgl_numbitmaps++] = bitmap;
    return 1;
}

void CGL_DeleteBitmap(s_bitmap *bitmap) {
    if (!bitmap) return;
    if (bitmap->pixels) {
        printf("deleting bitmap\n");
        CGL_DeleteTexture(*bitmap);
        free(bitmap->pixels);
        bitmap->pixels = nullptr;
        bitmap->texture = 0;
    } else if (bitmap->flags & CGL_BITMAP_STATIC) {
        // A static bitmap has only its texture left to give back.
        printf("deleting bitmap\n");
        CGL_DeleteTexture(*bitmap);
        bitmap->flags &= ~CGL_BITMAP_STATIC;
        bitmap->texture = 0;
    }
}

// ---------------------------------------------------------------------------
// Pixels

void CGL_UpdateBitmap(s_bitmap bitmap) {
    if (bitmap.pixels) CGL_UpdateTexture(bitmap);
}

void CGL_ClearBitmap(s_bitmap bitmap) {
    if (!bitmap.pixels) return;
    memset(bitmap.pixels, 0, (size_t)bitmap.size);
    CGL_UpdateTexture(bitmap);
}

// The colour goes in as it is, in memory order (its low byte is red).
void CGL_ClearColorBitmap(s_bitmap bitmap, int colour) {
    if (!bitmap.pixels) return;
    for (int i = 0; i < bitmap.numpixels; i++) bitmap.pixels[i] = (uint32_t)colour;
    CGL_UpdateTexture(bitmap);
}

void CGL_DrawPixel(int x, int y, unsigned colour, s_bitmap bitmap) {
    if (!bitmap.pixels || x < 0 || y < 0 || x >= bitmap.width || y >= bitmap.height) return;
    bitmap.pixels[x + y * bitmap.width] =
        (colour & 0xFF00FF00u) | ((colour >> 16) & 0xFFu) | ((colour & 0xFFu) << 16);
}

unsigned CGL_GetPixel(int x, int y, s_bitmap bitmap) {
    if (!bitmap.pixels || x < 0 || y < 0 || x >= bitmap.width || y >= bitmap.height) return 0;
    uint32_t word = bitmap.pixels[x + y * bitmap.width];
    return (word & 0xFF00FF00u) | ((word >> 16) & 0xFFu) | ((word & 0xFFu) << 16);
}

// ---------------------------------------------------------------------------
// Drawing. Bitmaps are opaque: the alpha test goes off first.

void CGL_DrawBitmap(int x, int y, s_bitmap bitmap) {
    CGL_DisableRenderState(CGL_RENDERSTATE_ALPHATEST);
    CGL_BindTexture(bitmap.texture);
    CGL_DrawQuad((float)x, (float)y, (float)bitmap.width, (float)bitmap.height, bitmap.tx1,
                 bitmap.ty1, bitmap.tx2, bitmap.ty2);
}

void CGL_DrawScaledBitmap(int x, int y, int w, int h, s_bitmap bitmap) {
    CGL_DisableRenderState(CGL_RENDERSTATE_ALPHATEST);
    CGL_BindTexture(bitmap.texture);
    CGL_DrawQuad((float)x, (float)y, (float)w, (float)h, bitmap.tx1, bitmap.ty1, bitmap.tx2,
                 bitmap.ty2);
}

void CGL_DrawZoomedBitmap(int x, int y, int zoom, s_bitmap bitmap) {
    CGL_DrawScaledBitmap(x, y, bitmap.width * zoom / 100, bitmap.height * zoom / 100, bitmap);
}

void CGL_DrawBlendBitmap(int x, int y, s_bitmap bitmap, int mode) {
    CGL_SetBlendMode(mode);
    CGL_DisableRenderState(CGL_RENDERSTATE_ALPHATEST);
    CGL_EnableRenderState(CGL_RENDERSTATE_BLEND);
    CGL_DrawBitmap(x, y, bitmap);
    CGL_DisableRenderState(CGL_RENDERSTATE_BLEND);
}

void CGL_DrawRotatedBitmap(int x, int y, s_bitmap bitmap, int angle) {
    CGL_DisableRenderState(CGL_RENDERSTATE_ALPHATEST);
    CGL_BindTexture(bitmap.texture);
    CGL_DrawRotatedQuad((float)x, (float)y, (float)bitmap.width, (float)bitmap.height, bitmap.tx1,
                        bitmap.ty1, bitmap.tx2, bitmap.ty2, (float)angle);
}
