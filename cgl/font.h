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

// Returns 1, or 0 with a message when all 16 font slots are taken (the font
// is then left as it was).
int CGL_InitFont(const char *name, s_font *font);
int CGL_InitDarkFont(const char *name, s_font *font);
void CGL_DeleteFont();
void CGL_SetFontSpacing(int spacing, s_font *font);

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
