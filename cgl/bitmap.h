// Bitmaps: 32-bit pictures in system memory mirrored in an OpenGL texture.
#pragma once

#include <cstdint>

struct s_bitmap {
    int width;
    int height;
    int flags;
    int texwidth;
    int texheight;
    int size;
    int numpixels;
    uint32_t *pixels;  // red, green, blue, alpha bytes in memory order
    float tx1;
    float ty1;
    float tx2;
    float ty2;
    int texture;
    int reserved;
};

extern s_bitmap *cgl_bitmaplist[1024];
extern int cgl_numbitmaps;

int CGL_CreateBitmap(int width, int height, s_bitmap *bitmap);
void CGL_DrawPixel(int x, int y, int colour);
void CGL_UpdateBitmap(s_bitmap *bitmap);
