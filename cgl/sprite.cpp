// Sprites: making, drawing and collision tests.
//
// Offers: the operations of sprite.h.
// Depends on: bitmaps, render core.
#include "cgl/sprite.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cgl/render.h"
#include "cgl/video.h"

s_sprite *cgl_spritelist[CGL_MAXSPRITES];
int cgl_numsprites = 0;
s_bitmap cgl_spritebmp[CGL_MAXSPRITES];

// ---------------------------------------------------------------------------
// Making

static bool registry_full() {
    if (cgl_numsprites < CGL_MAXSPRITES) return false;
    printf("- ERROR: Sprite table full (%d sprites).\n", CGL_MAXSPRITES);
    return true;
}

// A fraction of the texture size; a bitmap that holds nothing has size 0.
static float fraction(int v, int size) {
    return size ? (float)v / (float)size : 0.0f;
}

int CGL_GetSprite(int x, int y, int width, int height, s_bitmap *bitmap, s_sprite *sprite) {
    if (!bitmap || !sprite || registry_full()) return 0;
    sprite->width = width;
    sprite->height = height;
    sprite->xorigin = 0;
    sprite->yorigin = 0;
    sprite->box_x1 = 0;
    sprite->box_y1 = 0;
    sprite->box_x2 = width;
    sprite->box_y2 = height;
    sprite->pixels = nullptr;
    sprite->texture = bitmap->texture;
    sprite->s0 = fraction(x, bitmap->texwidth);
    sprite->t0 = fraction(y, bitmap->texheight);
    sprite->s1 = fraction(x + width, bitmap->texwidth);
    sprite->t1 = fraction(y + height, bitmap->texheight);
    sprite->bitmap = bitmap;
    cgl_spritelist[cgl_numsprites++] = sprite;
    return 1;
}

int CGL_LoadSprite(const char *filename, s_sprite *sprite) {
    if (!sprite || registry_full()) return 0;
    s_bitmap *slot = &cgl_spritebmp[cgl_numsprites];
    int loaded = CGL_LoadBitmap(filename, slot);
    // The sprite is registered either way, so later entries keep their places.
    return CGL_GetSprite(0, 0, slot->width, slot->height, slot, sprite) && loaded;
}

int CGL_CreateSprite(int width, int height, s_sprite *sprite) {
    if (!sprite || registry_full()) return 0;
    int w = PowerOfTwo(width);
    int h = PowerOfTwo(height);
    if (w <= 0 || h <= 0 || w > CGL_MAXBITMAPSIDE || h > CGL_MAXBITMAPSIDE) {
        printf("- ERROR: Sprite of %d x %d pixels not created.\n", width, height);
        return 0;
    }
    auto *pixels = static_cast<uint32_t *>(calloc((size_t)w * (size_t)h, 4));
    if (!pixels) {
        printf("- ERROR: Sprite of %d x %d pixels not created.\n", width, height);
        return 0;
    }
    sprite->width = w;
    sprite->height = h;
    sprite->xorigin = 0;
    sprite->yorigin = 0;
    sprite->box_x1 = 0;
    sprite->box_y1 = 0;
    sprite->box_x2 = width;
    sprite->box_y2 = height;
    sprite->pixels = pixels;
    sprite->s0 = 0.0f;
    sprite->t0 = 0.0f;
    // As for bitmaps: just short of the far edge, 0.99999 across, 0.9999
    // down, the product rounded to float before the division.
    sprite->s1 = (float)(width * 0.99999) / (float)w;
    sprite->t1 = (float)(height * 0.9999) / (float)h;
    sprite->texture = 0;
    sprite->bitmap = nullptr;
    cgl_spritelist[cgl_numsprites++] = sprite;
    return 1;
}

void CGL_DeleteSprite(s_sprite *sprite) {
    if (!sprite || !sprite->pixels) return;
    free(sprite->pixels);
    sprite->pixels = nullptr;
}

void CGL_ClearSprite(s_sprite sprite) {
    if (!sprite.pixels || sprite.width <= 0 || sprite.height <= 0) return;
    memset(sprite.pixels, 0, (size_t)sprite.width * (size_t)sprite.height * 4);
}

s_bitmap CGL_GetBitmapFromSprite(s_bitmap *bitmap, s_sprite sprite) {
    s_bitmap result = bitmap ? *bitmap : s_bitmap{};
    result.width = sprite.width;
    result.height = sprite.height;
    result.numpixels = sprite.width * sprite.height;
    result.size = sprite.width * sprite.height * 4;
    result.pixels = sprite.pixels;
    result.tx1 = sprite.s0;
    result.ty1 = sprite.t0;
    result.tx2 = sprite.s1;
    result.ty2 = sprite.t1;
    result.texture = sprite.texture;
    result.reserved = 0;
    if (bitmap) *bitmap = result;
    return result;
}

void CGL_SetSpriteOrigin(s_sprite *sprite, int x, int y) {
    if (!sprite) return;
    sprite->xorigin = x;
    sprite->yorigin = y;
}

int CGL_SetSpriteCollisionBox(s_sprite *sprite, int x1, int y1, int x2, int y2) {
    if (!sprite) return 0;
    sprite->box_x1 = x1;
    sprite->box_y1 = y1;
    sprite->box_x2 = x2;
    sprite->box_y2 = y2;
    return 1;
}

// ---------------------------------------------------------------------------
// Drawing. Sprites switch the alpha test on, so texels of alpha 0 (the
// colour key) are not drawn.

void CGL_DrawSprite(int x, int y, s_sprite sprite) {
    CGL_EnableRenderState(CGL_RENDERSTATE_ALPHATEST);
    CGL_BindTexture(sprite.texture);
    CGL_DrawQuad((float)x, (float)y, (float)sprite.width, (float)sprite.height, sprite.s0,
                 sprite.t0, sprite.s1, sprite.t1);
}

void CGL_DrawMirroredSprite(int x, int y, s_sprite sprite) {
    CGL_EnableRenderState(CGL_RENDERSTATE_ALPHATEST);
    CGL_BindTexture(sprite.texture);
    CGL_DrawQuad((float)x, (float)y, (float)sprite.width, (float)sprite.height, sprite.s1,
                 sprite.t0, sprite.s0, sprite.t1);
}

void CGL_DrawBlendSprite(int x, int y, s_sprite sprite, int mode) {
    CGL_EnableRenderState(CGL_RENDERSTATE_ALPHATEST);
    CGL_BindTexture(sprite.texture);
    CGL_SetBlendMode(mode);
    CGL_EnableRenderState(CGL_RENDERSTATE_BLEND);
    CGL_DrawQuad((float)x, (float)y, (float)sprite.width, (float)sprite.height, sprite.s0,
                 sprite.t0, sprite.s1, sprite.t1);
    CGL_DisableRenderState(CGL_RENDERSTATE_BLEND);
}

void CGL_DrawScaledSprite(int x, int y, int width, int height, s_sprite sprite) {
    CGL_EnableRenderState(CGL_RENDERSTATE_ALPHATEST);
    CGL_BindTexture(sprite.texture);
    CGL_DrawQuad((float)x, (float)y, (float)width, (float)height, sprite.s0, sprite.t0, sprite.s1,
                 sprite.t1);
}

void CGL_DrawRotatedSprite(int x, int y, s_sprite sprite, int angle) {
    CGL_BindTexture(sprite.texture);
    CGL_EnableRenderState(CGL_RENDERSTATE_ALPHATEST);
    CGL_DrawRotatedQuad((float)x, (float)y, (float)sprite.width, (float)sprite.height, sprite.s0,
                        sprite.t0, sprite.s1, sprite.t1, (float)angle);
}

// ---------------------------------------------------------------------------
// Tests

// Strict on every side: boxes that only touch along an edge do not collide.
int CGL_CheckBoxCollision(int x1, int y1, int w1, int h1, int x2, int y2, int w2, int h2) {
    return (x2 - w1 < x1 && y2 - h1 < y1 && x2 + w2 > x1 && y2 + h2 > y1) ? 1 : 0;
}

int CGL_CheckSpriteCollision(int x1, int y1, s_sprite sprite1, int x2, int y2, s_sprite sprite2) {
    return CGL_CheckBoxCollision(x1 + sprite1.box_x1, y1 + sprite1.box_y1,
                                 sprite1.box_x2 - sprite1.box_x1, sprite1.box_y2 - sprite1.box_y1,
                                 x2 + sprite2.box_x1, y2 + sprite2.box_y1,
                                 sprite2.box_x2 - sprite2.box_x1, sprite2.box_y2 - sprite2.box_y1);
}

int CGL_CheckSpriteTransparency(unsigned pixel) {
    unsigned red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
    return (red > 240 && green <= 15 && blue > 240) ? 1 : 0;
}
