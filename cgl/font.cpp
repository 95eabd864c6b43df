// Bitmap fonts and text.
//
// Offers: CGL_InitFont, the text drawing functions and their measuring.
// Depends on: bitmaps (loading the picture, reading the marker row),
// sprites (cutting and drawing letters), the current framebuffer.
#include "cgl/font.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "cgl/framebuffer.h"

s_bitmap cgl_fontbmp[CGL_MAXFONTS];
int cgl_numfonts = 0;

// Texts are formatted into this many bytes; longer output is cut.
static const int kTextBuffer = 256;
static const int kLastLetter = 93;  // '|'

// ---------------------------------------------------------------------------
// Building

int CGL_InitFont(const char *name, s_font *font) {
    if (!font) return 0;
    if (cgl_numfonts < 0 || cgl_numfonts >= CGL_MAXFONTS) {
        printf("- ERROR: Font table full (%d fonts).\n", CGL_MAXFONTS);
        return 0;
    }
    s_bitmap *picture = &cgl_fontbmp[cgl_numfonts];
    int loaded = CGL_LoadBitmap(name, picture);
    font->bitmap = picture;

    // Column 0 is letter 0; letter 1 (the space) runs from column 1 to the
    // first marker; every marker in the top row starts the next letter.
    font->widths[0] = 1;
    int n = 1;
    int last = 1;
    for (int x = 0; x < picture->width; x++) {
        if (CGL_GetPixel(x, 0, *picture) >> 24) {
            font->widths[n] = (uint8_t)(x - last);
            if (n <= CGL_FONTLETTERS - 2) n++;
            last = x;
        }
    }
    font->widths[n] = (uint8_t)(picture->width - last);
    n++;

    font->height = picture->height - 1;
    font->numletters = n;
    font->spacing = 0;
    printf("numletters: %d\n", n);

    int left = 0;
    for (int j = 0; j < n; j++) {
        CGL_GetSprite(left, 1, font->widths[j], picture->height - 1, picture, &font->letters[j]);
        left += font->widths[j];
    }

    cgl_numfonts++;
    printf("add fontbmp, num.fonts: %d\n", cgl_numfonts);
    return loaded;
}

int CGL_InitDarkFont(const char *name, s_font *font) {
    return CGL_InitFont(name, font);
}

void CGL_DeleteFont() {}

void CGL_SetFontSpacing(int spacing, s_font *font) {
    if (font) font->spacing = spacing;
}

// ---------------------------------------------------------------------------
// Text

// The letter is the character code - 31 in signed 8-bit arithmetic, so
// '}', '~' and the codes 127 to 158 land above '|' and are skipped; codes
// below the space, and 159 to 255, land at 0 or below and are skipped too.
int cgl_fontletter(char c) {
    int index = (int8_t)(uint8_t)((uint8_t)c - 31);
    return (index >= 1 && index <= kLastLetter) ? index : 0;
}

// Every letter drawn counts with the spacing, the space and the last letter
// included.
int cgl_textwidth(const s_font &font, const char *text) {
    int width = 0;
    for (const char *c = text; *c; c++) {
        int index = cgl_fontletter(*c);
        if (index) width += font.widths[index] + font.spacing;
    }
    return width;
}

// Halving rounds towards minus infinity, as an arithmetic shift does.
static int half(int v) {
    return v >= 0 ? v / 2 : -((1 - v) / 2);
}

// spacedspace: whether the space advances by its width plus the spacing
// (the centred-in-a-span text) or by its width alone.
static void draw_letters(int x, int y, const s_font &font, const char *text, bool spacedspace) {
    for (const char *c = text; *c; c++) {
        int index = cgl_fontletter(*c);
        if (!index) continue;
        CGL_DrawSprite(x, y, font.letters[index]);
        if (index == 1 && !spacedspace) {
            x += font.widths[1];
        } else {
            x += font.widths[index] + font.spacing;
        }
    }
}

void CGL_DrawText(int x, int y, const s_font &font, const char *format, ...) {
    if (!format) return;
    char text[kTextBuffer];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    draw_letters(x, y, font, text, false);
}

void CGL_DrawCenteredText(int y, const s_font &font, const char *format, ...) {
    if (!format) return;
    char text[kTextBuffer];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    int target = CGL_FrameBuffer ? CGL_FrameBuffer->width : 0;
    draw_letters(half(target) - half(cgl_textwidth(font, text)), y, font, text, false);
}

void CGL_DrawCenteredTextXW(int x, int y, int w, const s_font &font, const char *format, ...) {
    if (!format) return;
    char text[kTextBuffer];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    draw_letters(x + half(w) - half(cgl_textwidth(font, text)), y, font, text, true);
}
