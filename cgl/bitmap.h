// Bitmaps: 32-bit pictures in system memory mirrored in an OpenGL texture,
// and the TGA reader that fills them from the resource archive.
//
// Offers: creating, editing (pixel by pixel), uploading and drawing bitmaps;
// loading TGA pictures (types 1, 2, 3, 9, 10, 11); the registry of every
// bitmap created, which the graphics flush releases.
// Depends on: the render core (textures, quads), corefile (reading files).
//
// Colours at this interface are 0xAARRGGBB; the pixel buffer holds the bytes
// red, green, blue, alpha in memory order, as the textures want them.
#pragma once

#include <cstddef>
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

// flags bit: the record holds a texture but no pixel buffer
// (CGL_LoadStaticBitmap); deleting it releases the texture.
#define CGL_BITMAP_STATIC 0x01

enum {
    CGL_MAXBITMAPS = 1024,
    // Largest picture side a file may ask for; bounds the allocation.
    CGL_MAXBITMAPSIDE = 16384,
};

extern s_bitmap *cgl_bitmaplist[CGL_MAXBITMAPS];
extern int cgl_numbitmaps;

// Fills the record, allocates its (cleared) pixels, makes its texture and
// registers it. Returns 1, or 0 with a message when the size is not usable,
// the memory is short or the registry is full (the record is then left with
// no pixels).
int CGL_CreateBitmap(int width, int height, s_bitmap *bitmap);
void CGL_DeleteBitmap(s_bitmap *bitmap);
void CGL_UpdateBitmap(s_bitmap bitmap);
void CGL_ClearBitmap(s_bitmap bitmap);
void CGL_ClearColorBitmap(s_bitmap bitmap, int colour);
void CGL_DrawPixel(int x, int y, unsigned colour, s_bitmap bitmap);
unsigned CGL_GetPixel(int x, int y, s_bitmap bitmap);

void CGL_DrawBitmap(int x, int y, s_bitmap bitmap);
void CGL_DrawScaledBitmap(int x, int y, int w, int h, s_bitmap bitmap);
void CGL_DrawZoomedBitmap(int x, int y, int zoom, s_bitmap bitmap);
void CGL_DrawBlendBitmap(int x, int y, s_bitmap bitmap, int mode);
void CGL_DrawRotatedBitmap(int x, int y, s_bitmap bitmap, int angle);

int ConvertTransp(int colour);
char *upcase(char *text);

// Loads a TGA into a new bitmap (created and registered like
// CGL_CreateBitmap). Returns 1 when the record now holds the picture, 0 when
// the file could not be opened or was refused (the record is then as it was).
int LoadImageTGA(const char *name, s_bitmap *bitmap);
// Loads a TGA picture (a name ending in .tga, any case) from the mounted
// resource image into a new bitmap, registered and with its texture made.
// Pixels near magenta (red > 240, green < 16, blue > 240, whatever their
// alpha) become transparent black: that is the colour key for sprites and
// fonts. Returns 1, or 0 with a message when the name is not a .tga, the
// file is missing or cannot be decoded, or the registry is full; the record
// is then left as it was (empty for a fresh record).
int CGL_LoadBitmap(const char *name, s_bitmap *bitmap);
// CGL_LoadBitmap, then the system-memory pixels are dropped: drawable, but
// the pixel operations see nothing.
void CGL_LoadStaticBitmap(const char *name, s_bitmap *bitmap);

// The TGA decoder without any OpenGL: decodes `size` bytes at `data` into
// `bitmap`, filling the record like CGL_CreateBitmap but without texture or
// registration. Returns 1 with the pixels allocated, or 0 (record untouched)
// for a file too short for its header, a side of 0 or above
// CGL_MAXBITMAPSIDE, or a failed allocation. Never reads outside the data.
int cgl_decodetga(const unsigned char *data, size_t size, s_bitmap *bitmap);

// Reads a TGA by name through the resource archive and decodes it, without
// OpenGL: cgl_decodetga on the file's bytes.
int cgl_readtga(const char *name, s_bitmap *bitmap);

// Fills the record's fields and allocates its pixels (cleared unless clear
// is 0, for a caller that writes every one), without texture or
// registration. Returns 1, or 0 (pixels null) when the size is refused.
int cgl_allocbitmap(int width, int height, s_bitmap *bitmap, int clear = 1);
