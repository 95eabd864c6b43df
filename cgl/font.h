// Bitmap fonts: proportional letters cut from one picture whose top row
// marks where each letter begins, and printf-style text drawn with them.
//
// Letter j stands for the character j + 31 (1 is the space, 93 is '|');
// letters 0, 94 and 95 are never drawn.
// Depends on: bitmaps (the picture), sprites (the letters), the current
// framebuffer (centring).
#pragma once

#include <cstdint>

#include "cgl/bitmap.h"
#include "cgl/sprite.h"

enum { CGL_MAXFONTS = 16, CGL_FONTLETTERS = 96 };

struct s_font {
    s_sprite letters[CGL_FONTLETTERS];
    uint8_t widths[CGL_FONTLETTERS];
    int height;
    int numletters;
    int spacing;
    s_bitmap *bitmap;
};

extern s_bitmap cgl_fontbmp[CGL_MAXFONTS];
extern int cgl_numfonts;

// Builds a font from a TGA picture. The picture's top row is the marker
// row: an opaque pixel (alpha not 0) at column x starts a letter there. The
// rows below hold the letters, as tall as the picture less that row: column
// 0 is letter 0 (never drawn), letter 1, the space, runs from column 1 to
// the first marker, and each marker starts the next character in ASCII
// order from '!' to '|' (at most 95 markers; column 0 holds none). Letter
// pixels that are transparent, or keyed out as magenta, are not drawn.
// Returns 1; 0 when the picture did not load (the font still takes its
// slot, with no usable letters) or, with a message, when all 16 font slots
// are taken (the font is then left as it was). Fonts are kept by address.
int CGL_InitFont(const char *name, s_font *font);
int CGL_InitDarkFont(const char *name, s_font *font);
void CGL_DeleteFont();
void CGL_SetFontSpacing(int spacing, s_font *font);

// printf-style text, at most 255 characters, the first letter's top-left
// corner at (x, y); characters without a letter ('}', '~' and codes outside
// ' '..'|') are skipped.
void CGL_DrawText(int x, int y, const s_font &font, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
void CGL_DrawCenteredText(int y, const s_font &font, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void CGL_DrawCenteredTextXW(int x, int y, int w, const s_font &font, const char *format, ...)
    __attribute__((format(printf, 5, 6)));

// The pieces of the text functions, open for tests: the letter of a
// character (0 when it is not drawn) and the measured width of a text.
int cgl_fontletter(char c);
int cgl_textwidth(const s_font &font, const char *text);
