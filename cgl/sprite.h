// Sprites: cells of bitmaps drawn as single textured quads, the engine's
// rectangle-overlap tests and its colour-key test.
//
// Offers: cutting, loading and creating sprites; drawing them plainly,
// mirrored, blended, scaled or rotated; box and sprite collision; the
// registry of every sprite made, which the graphics flush releases.
// Depends on: bitmaps (the pictures), render core (binds, states, quads).
#pragma once

#include <cstdint>

#include "cgl/bitmap.h"

struct s_sprite {
    int width;
    int height;
    int xorigin;
    int yorigin;
    int box_x1;
    int box_y1;
    int box_x2;
    int box_y2;
    uint32_t *pixels;  // own buffer of a created sprite; null for cut cells
    float s0;
    float t0;
    float s1;
    float t1;
    int texture;
    s_bitmap *bitmap;  // the bitmap the cell was cut from
};

enum { CGL_MAXSPRITES = 1024 };

extern s_sprite *cgl_spritelist[CGL_MAXSPRITES];
extern int cgl_numsprites;
extern s_bitmap cgl_spritebmp[CGL_MAXSPRITES];

// The making operations return 1, or 0 with a message when the registry is
// full (the record is then left as it was). The registry keeps the record's
// address, so sprites live in globals or statics.
// GetSprite cuts the cell at (x, y) of width x height pixels.
int CGL_GetSprite(int x, int y, int width, int height, s_bitmap *bitmap, s_sprite *sprite);
// The whole picture of a TGA file as one sprite (the picture is kept in a
// slot of cgl_spritebmp). Returns 0 also when the picture did not load
// (CGL_LoadBitmap); the sprite is then registered all the same, with no
// size, and draws nothing.
int CGL_LoadSprite(const char *filename, s_sprite *sprite);
int CGL_CreateSprite(int width, int height, s_sprite *sprite);
void CGL_DeleteSprite(s_sprite *sprite);
void CGL_ClearSprite(s_sprite sprite);
s_bitmap CGL_GetBitmapFromSprite(s_bitmap *bitmap, s_sprite sprite);
void CGL_SetSpriteOrigin(s_sprite *sprite, int x, int y);
int CGL_SetSpriteCollisionBox(s_sprite *sprite, int x1, int y1, int x2, int y2);

// Drawn with the sprite's top-left corner at (x, y) of the current drawing
// target; colour-keyed pixels are left out. The origin and the collision
// box are not applied.
void CGL_DrawSprite(int x, int y, s_sprite sprite);
void CGL_DrawMirroredSprite(int x, int y, s_sprite sprite);
void CGL_DrawBlendSprite(int x, int y, s_sprite sprite, int mode);
void CGL_DrawScaledSprite(int x, int y, int width, int height, s_sprite sprite);
void CGL_DrawRotatedSprite(int x, int y, s_sprite sprite, int angle);

int CGL_CheckBoxCollision(int x1, int y1, int w1, int h1, int x2, int y2, int w2, int h2);
int CGL_CheckSpriteCollision(int x1, int y1, s_sprite sprite1, int x2, int y2, s_sprite sprite2);
int CGL_CheckSpriteTransparency(unsigned pixel);
