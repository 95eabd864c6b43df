// Asset generator: the two proportional fonts and the title logo.
//
// Font pictures carry a marker row on top: a marker at column x says that a
// letter begins there. Column 0 is the engine's unused letter 0, the space
// follows from column 1 up to the first marker, and the remaining 92
// characters start at markers.
#include <algorithm>

#include "tools/assetgen/assetgen.h"
#include "tools/assetgen/glyphs.h"

namespace assetgen {

namespace {

struct FontStyle {
    Rgba rows[kGlyphRows];  // ink colour by glyph row: a vertical gradient
    Rgba shadow;
};

// font_game: the bright headline face, white hot at the top, burning to orange.
const FontStyle kHeadline = {{Opaque(255, 255, 255), Opaque(255, 250, 205), Opaque(255, 238, 150),
                              Opaque(255, 216, 96), Opaque(255, 190, 64), Opaque(252, 156, 48),
                              Opaque(238, 122, 42), Opaque(222, 96, 40), Opaque(204, 76, 40)},
                             Opaque(42, 16, 64)};

// font_game2: the quieter face, a cool silver blue.
const FontStyle kQuiet = {{Opaque(214, 228, 255), Opaque(200, 218, 252), Opaque(188, 208, 248),
                           Opaque(176, 198, 244), Opaque(166, 188, 238), Opaque(156, 178, 232),
                           Opaque(146, 166, 226), Opaque(136, 156, 218), Opaque(128, 146, 210)},
                          Opaque(14, 18, 46)};

}  // namespace

Image MakeFont(int face) {
    const FontStyle &style = face == 0 ? kHeadline : kQuiet;
    int width = 1;
    for (int i = 0; i < kGlyphCount; i++) width += GlyphAdvance(i);

    Image img(width, kFontHeight);
    int x = 1;
    for (int i = 0; i < kGlyphCount; i++) {
        if (i > 0) img.At(x, 0) = Opaque(255, 255, 255);  // marker: a letter begins here
        const std::vector<std::string> rows = GlyphRows(i);
        // Shadow first, then ink over it.
        for (int gy = 0; gy < kGlyphRows; gy++)
            for (int gx = 0; gx < int(rows[gy].size()); gx++)
                if (rows[gy][gx] == '#')
                    img.At(x + gx + kFontShadow, 1 + gy + kFontShadow) = style.shadow;
        for (int gy = 0; gy < kGlyphRows; gy++)
            for (int gx = 0; gx < int(rows[gy].size()); gx++)
                if (rows[gy][gx] == '#') img.At(x + gx, 1 + gy) = style.rows[gy];
        x += GlyphAdvance(i);
    }
    return img;
}

// ---- title logo ---------------------------------------------------------

namespace {

constexpr int kLogoW = 328, kLogoH = 64;
constexpr int kScale = 5;  // glyph pixel -> logo pixels

int GlyphIndex(char c) {
    return int(c) - 32;
}

Rgba Lerp(Rgba a, Rgba b, double t) {
    return OpaqueF(a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t);
}

// Chrome: a bright sky above a sharp horizon, a sunset glow below it.
Rgba ChromeAt(double t) {
    if (t < 0.52) {
        double u = t / 0.52;
        return Lerp(Opaque(255, 255, 255), Opaque(96, 176, 255), u * u);
    }
    double u = (t - 0.52) / 0.48;
    if (u < 0.25) return Lerp(Opaque(40, 24, 96), Opaque(150, 50, 140), u / 0.25);
    return Lerp(Opaque(150, 50, 140), Opaque(255, 214, 120), (u - 0.25) / 0.75);
}

}  // namespace

Image MakeLogo() {
    const char *text = "QO STARFOLD";
    const int letter_w = 5 * kScale, letter_h = 7 * kScale, gap = kScale, space_w = 12;
    const double slant = 0.2;  // italic shear, pixels per row
    int text_w = 0;
    for (const char *p = text; *p; p++) text_w += (*p == ' ' ? space_w : letter_w + gap);
    text_w -= gap;
    const int slant_w = int(letter_h * slant + 0.5);

    // Coverage of the upscaled letters, then rounded by blurring and thresholding.
    const int mw = kLogoW, mh = kLogoH;
    std::vector<float> cover(size_t(mw) * mh, 0.f);
    const int left = (kLogoW - (text_w + slant_w + 5)) / 2 + 2, top = 5;
    int pen = left;
    for (const char *p = text; *p; p++) {
        if (*p == ' ') {
            pen += space_w;
            continue;
        }
        const std::vector<std::string> rows = GlyphRows(GlyphIndex(*p));
        auto stamp = [&](double cx, double cy, double r) {  // a disc, in letter pixels
            for (int y = int(cy - r) - 1; y <= int(cy + r) + 1; y++)
                for (int x = int(cx - r) - 1; x <= int(cx + r) + 1; x++) {
                    if (y < 0 || y >= letter_h || (x - cx) * (x - cx) + (y - cy) * (y - cy) > r * r)
                        continue;
                    int sx = pen + x + int((letter_h - 1 - y) * slant + 0.5), sy = top + y;
                    if (sx >= 0 && sx < mw) cover[size_t(sy) * mw + sx] = 1.f;
                }
        };
        auto at = [&](int gx, int gy) {
            return gx >= 0 && gy >= 0 && gx < 5 && gy < 7 && rows[gy][gx] == '#';
        };
        for (int gy = 0; gy < 7; gy++)
            for (int gx = 0; gx < 5; gx++) {
                if (!at(gx, gy)) continue;
                for (int y = 0; y < kScale; y++)
                    for (int x = 0; x < kScale; x++) stamp(gx * kScale + x, gy * kScale + y, 0.4);
                // Pixels that only touch at a corner become a solid diagonal stroke.
                for (int dir = -1; dir <= 1; dir += 2) {
                    if (!at(gx + dir, gy + 1) || at(gx + dir, gy) || at(gx, gy + 1)) continue;
                    double x0 = gx * kScale + 2, y0 = gy * kScale + 2;
                    for (int k = 0; k <= 10; k++)
                        stamp(x0 + dir * kScale * k / 10.0, y0 + kScale * k / 10.0, kScale * 0.55);
                }
            }
        pen += letter_w + gap;
    }
    for (int pass = 0; pass < 2; pass++) {
        std::vector<float> blurred(cover.size(), 0.f);
        for (int y = 1; y < mh - 1; y++)
            for (int x = 1; x < mw - 1; x++) {
                float s = 0;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++) s += cover[size_t(y + dy) * mw + x + dx];
                blurred[size_t(y) * mw + x] = s / 9.f;
            }
        cover.swap(blurred);
    }
    auto ink = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < mw && y < mh && cover[size_t(y) * mw + x] >= 0.5f;
    };

    Image img(kLogoW, kLogoH);
    const Rgba outline = Opaque(14, 8, 44), shadow = Opaque(6, 4, 20);
    // Drop shadow, then a two-pixel outline, then the chrome fill.
    for (int y = 0; y < mh; y++)
        for (int x = 0; x < mw; x++)
            if (ink(x - 3, y - 3)) img.At(x, y) = shadow;
    for (int y = 0; y < mh; y++)
        for (int x = 0; x < mw; x++) {
            bool near = false;
            for (int dy = -2; dy <= 2 && !near; dy++)
                for (int dx = -2; dx <= 2 && !near; dx++)
                    if (dx * dx + dy * dy <= 5 && ink(x + dx, y + dy)) near = true;
            if (near) img.At(x, y) = outline;
        }
    for (int y = 0; y < mh; y++)
        for (int x = 0; x < mw; x++) {
            if (!ink(x, y)) continue;
            double t = double(y - top) / (letter_h - 1);
            Rgba c = ChromeAt(std::clamp(t, 0.0, 1.0));
            if (!ink(x, y - 1) || !ink(x - 1, y - 1))
                c = Opaque(255, 255, 255);  // lit top edges
            else if (!ink(x + 1, y + 1) && t > 0.55)
                c = Lerp(c, Opaque(120, 30, 60), 0.5);
            img.At(x, y) = c;
        }

    // A crawling chain of dots under the name, as in the game, fading at both ends.
    const int chain_y = top + letter_h + 10;
    const int x0 = left + 6, x1 = left + text_w + slant_w - 6;
    for (int x = x0; x <= x1; x += 6) {
        double t = double(x - x0) / (x1 - x0);
        double fade = std::min(1.0, std::min(t, 1.0 - t) * 6.0);
        Rgba c = Lerp(Opaque(90, 220, 255), Opaque(255, 120, 220), t);
        Rgba dim = OpaqueF(c.r * (0.35 + 0.35 * fade), c.g * (0.35 + 0.35 * fade),
                           c.b * (0.35 + 0.35 * fade));
        Rgba hot = OpaqueF(c.r * (0.55 + 0.45 * fade), c.g * (0.55 + 0.45 * fade),
                           c.b * (0.55 + 0.45 * fade));
        img.Set(x, chain_y - 1, dim);
        img.Set(x - 1, chain_y, dim);
        img.Set(x + 1, chain_y, dim);
        img.Set(x, chain_y + 1, dim);
        img.Set(x, chain_y, hot);
    }
    // Two glints on the chrome.
    auto glint = [&](int gx, int gy) {
        for (int d = -3; d <= 3; d++) {
            Rgba arm = std::abs(d) <= 1 ? Opaque(255, 255, 255) : Opaque(190, 230, 255);
            img.Set(gx + d, gy, arm);
            img.Set(gx, gy + d, arm);
        }
    };
    glint(left + 8, top + 3);
    glint(left + text_w - 20, top + 2);
    return img;
}

}  // namespace assetgen
