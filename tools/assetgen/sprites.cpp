// Asset generator: the ship, planets, stars, sparkles, chain and explosion.
//
// Stars and sparkles are drawn with blend mode 1 (source squared plus
// destination squared): colours are chosen bright so that they survive the
// squaring, and every pixel that should leave the backdrop alone is clear.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tools/assetgen/assetgen.h"

namespace assetgen {

const Rgba kStarColours[8] = {
    Opaque(255, 208, 48),   // 0 gold
    Opaque(176, 204, 255),  // 1 ice blue: also the background stars
    Opaque(255, 76, 76),    // 2 red
    Opaque(84, 255, 112),   // 3 green
    Opaque(64, 224, 255),   // 4 cyan
    Opaque(255, 96, 214),   // 5 pink (green well above the colour key's 16)
    Opaque(255, 144, 40),   // 6 orange
    Opaque(176, 116, 255),  // 7 violet
};

namespace {

Rgba Mix(Rgba a, Rgba b, double t) {
    return OpaqueF(a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t);
}
Rgba Scale(Rgba a, double k) {
    return OpaqueF(a.r * k, a.g * k, a.b * k);
}

// Intensity levels of a star or sparkle cell: 1 dim edge .. 4 white-hot core.
Rgba Level(Rgba colour, char level) {
    switch (level) {
        case '4':
            return Mix(colour, Opaque(255, 255, 255), 0.75);
        case '3':
            return Mix(colour, Opaque(255, 255, 255), 0.3);
        case '2':
            return colour;
        case '1':
            return Scale(colour, 0.62);
        default:
            return kClear;
    }
}

void DrawLevels(Image &img, int x0, int y0, const char *const rows[8], Rgba colour) {
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            Rgba c = Level(colour, rows[y][x]);
            if (c.a) img.At(x0 + x, y0 + y) = c;
        }
}

}  // namespace

// ---- ship ---------------------------------------------------------------

// The left half; the right half is its mirror. Nose up, centred on (16, 16).
static const char *const kShipHalf[32] = {
    "................",  //  0
    "................",  //  1
    "...............k",  //  2
    "..............kw",  //  3
    "..............kl",  //  4
    ".............kml",  //  5
    ".............kml",  //  6
    ".............kml",  //  7
    "............kdmc",  //  8
    "............kdCc",  //  9
    "............kdCw",  // 10
    "...........kddCc",  // 11
    "...........kdmCc",  // 12
    "...........kdmCC",  // 13
    "..........kddmkC",  // 14
    "..........kdmmlk",  // 15
    "..........kdmlml",  // 16
    ".........kddmlml",  // 17
    "........kdmdrlml",  // 18
    ".......kdmmdrlml",  // 19
    "......kdmmmdrlml",  // 20
    ".....kdmmlmdrlml",  // 21
    "....kdmmllmdrlml",  // 22
    "...kdmmlllmdrlml",  // 23
    "..kdmmllllmdrlml",  // 24
    ".kdrrmmmmmmdRdml",  // 25
    ".kRRkkkkkkkdDDdk",  // 26
    "..kk.......kooDk",  // 27
    "............yo..",  // 28
    "............y...",  // 29
    "................",  // 30
    "................",  // 31
};

Image MakeShip() {
    std::vector<std::string> rows;
    for (const char *half : kShipHalf) {
        std::string left(half);
        if (left.size() != 16) {
            std::printf("assetgen: ship row of width %zu\n", left.size());
            std::abort();
        }
        rows.push_back(left + std::string(left.rbegin(), left.rend()));
    }
    Image img(32, 32);
    DrawGrid(img, 0, 0, rows,
             {{'k', Opaque(16, 18, 38)},
              {'D', Opaque(48, 56, 90)},
              {'d', Opaque(78, 90, 132)},
              {'m', Opaque(132, 148, 190)},
              {'l', Opaque(188, 202, 232)},
              {'w', Opaque(242, 248, 255)},
              {'c', Opaque(130, 232, 255)},
              {'C', Opaque(32, 112, 196)},
              {'r', Opaque(232, 62, 72)},
              {'R', Opaque(150, 32, 52)},
              {'o', Opaque(255, 150, 40)},
              {'y', Opaque(255, 240, 140)}});
    return img;
}

// ---- planets ------------------------------------------------------------

Image MakePlanet(int kind) {
    const int size = kind < 2 ? 50 : 32;
    const double radius = kind < 2 ? 25.0 : 16.0, centre = size / 2.0;
    Image img(size, size);
    Rng rng(0xB1A7E7u + kind);
    // A few craters for the rocky world.
    struct Crater {
        double u, v, r;
    };
    std::vector<Crater> craters;
    for (int i = 0; i < 7; i++)
        craters.push_back({rng.Uniform(), rng.Range(0.25, 0.75), rng.Range(0.03, 0.07)});

    const double lx = -0.55, ly = -0.62, lz = 0.56;
    const double ll = std::sqrt(lx * lx + ly * ly + lz * lz);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const double px = x + 0.5 - centre, py = y + 0.5 - centre;
            // The crash test measures exactly this radius from the centre.
            if (px * px + py * py > radius * radius) continue;
            const double nx = px / radius, ny = py / radius;
            const double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
            const double lambert = std::max(0.0, (nx * lx + ny * ly + nz * lz) / ll);
            const double shade = 0.14 + 0.86 * std::pow(lambert, 0.85);
            const double rim = std::pow(1 - nz, 3.0);
            const double u = std::atan2(nx, nz) / (2 * M_PI) + 0.5 + 0.13 * kind;
            const double v = std::asin(std::clamp(ny, -1.0, 1.0)) / M_PI + 0.5;
            const double uu = u - std::floor(u);
            double r = 0, g = 0, b = 0, glow_r = 0, glow_g = 0, glow_b = 0;
            if (kind == 0) {  // rust desert with craters and a polar cap
                double n = PeriodicFbm(uu, v, 6, 3, 5, 301);
                r = 150 + 100 * n, g = 70 + 70 * n, b = 42 + 40 * n;
                for (const Crater &c : craters) {
                    double du = std::fabs(uu - c.u);
                    du = std::min(du, 1 - du) * 2;
                    double d = std::sqrt(du * du + (v - c.v) * (v - c.v)) / c.r;
                    if (d < 0.8)
                        r *= 0.78, g *= 0.78, b *= 0.8;
                    else if (d < 1.0)
                        r *= 1.15, g *= 1.12, b *= 1.1;
                }
                if (v < 0.13 + 0.04 * n) r = 236, g = 236, b = 246;
                glow_r = 255, glow_g = 170, glow_b = 120;
            } else if (kind == 1) {  // teal gas giant, banded, with a storm
                double turb = PeriodicFbm(uu, v, 4, 4, 4, 401);
                double band = 0.5 + 0.5 * std::sin(v * 26 + turb * 5);
                double fine = PeriodicFbm(uu, v, 8, 16, 3, 409);
                r = 40 + 90 * band + 40 * fine, g = 110 + 90 * band + 40 * fine,
                b = 150 + 80 * band + 30 * fine;
                double su = (uu - 0.62) * 9.0, sv = (v - 0.64) * 16.0;
                double storm = su * su + sv * sv;
                if (storm < 1.0) r = 236 - 60 * storm, g = 246 - 40 * storm, b = 250 - 20 * storm;
                glow_r = 160, glow_g = 240, glow_b = 255;
            } else if (kind == 2) {  // ocean world with land and clouds
                double land = PeriodicFbm(uu, v, 5, 3, 4, 503);
                double cloud = PeriodicFbm(uu, v, 8, 4, 3, 509);
                if (land > 0.52) {
                    double k = std::min(1.0, (land - 0.52) * 6);
                    r = 60 + 130 * k, g = 150 + 10 * k, b = 50 + 40 * k;
                } else {
                    r = 20, g = 60 + 40 * land, b = 160 + 50 * land;
                }
                if (cloud > 0.6) {
                    double k = std::min(1.0, (cloud - 0.6) * 8);
                    r += (245 - r) * k, g += (250 - g) * k, b += (255 - b) * k;
                }
                glow_r = 140, glow_g = 200, glow_b = 255;
            } else {  // violet lava world: dark crust, glowing rifts
                double n = PeriodicFbm(uu, v, 5, 3, 5, 601);
                double rift = std::fabs(PeriodicFbm(uu, v, 4, 2, 4, 607) - 0.5);
                r = 78 + 50 * n, g = 42 + 30 * n, b = 104 + 60 * n;
                if (rift < 0.035) {
                    // Lava glows by itself: not darkened by the shade, no limb.
                    double k = 1 - rift / 0.035;
                    img.At(x, y) =
                        OpaqueF(r * shade + 255 * k, g * shade + 130 * k, b * shade + 60 * k);
                    continue;
                }
                glow_r = 230, glow_g = 140, glow_b = 255;
            }
            // Atmosphere on the lit limb.
            const double limb = rim * (0.35 + 0.65 * lambert) * 0.8;
            img.At(x, y) = OpaqueF(r * shade + glow_r * limb, g * shade + glow_g * limb,
                                   b * shade + glow_b * limb);
        }
    return img;
}

// ---- stars and sparkles -------------------------------------------------

static const char *const kStarCell[8] = {
    "...11...", "...22...", "..1331..", "12344321", "12344321", "..1331..", "...22...", "...11...",
};

Image MakeStars() {
    Image img(64, 8);
    for (int i = 0; i < 8; i++) DrawLevels(img, i * 8, 0, kStarCell, kStarColours[i]);
    return img;
}

// Four variants from bright and large to a single faint dot: the second row
// doubles as the background stars, whose layer 0 is the nearest and brightest.
static const char *const kSparkle[4][8] = {
    {"........", "...11...", "...22...", ".123321.", ".123321.", "...22...", "...11...",
     "........"},
    {"........", "........", "...11...", "..1231..", "..1321..", "...11...", "........",
     "........"},
    {"........", "........", "........", "...21...", "...12...", "........", "........",
     "........"},
    {"........", "........", "........", "...1....", "........", "........", "........",
     "........"},
};

Image MakeStarDots() {
    Image img(32, 64);
    for (int row = 0; row < 8; row++)
        for (int v = 0; v < 4; v++) DrawLevels(img, v * 8, row * 8, kSparkle[v], kStarColours[row]);
    return img;
}

// ---- chain links --------------------------------------------------------

// Cell 0 is an oval link seen face on, its long side along the chain (up);
// the other cells turn it about that axis.
Image MakeChain() {
    Image img(64, 8);
    const Rgba hi = Opaque(226, 244, 255), mid = Opaque(128, 176, 226), lo = Opaque(58, 84, 140);
    for (int k = 0; k < 8; k++) {
        const double half_w = std::max(0.7, 3.0 * std::fabs(std::cos(k * M_PI / 8)));
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++) {
                double dx = (x + 0.5 - 4) / half_w, dy = (y + 0.5 - 4) / 3.9;
                double d = std::sqrt(dx * dx + dy * dy);
                bool ring = half_w > 1.5 ? (d <= 1.0 && d > 0.52) : d <= 1.0;
                if (!ring) continue;
                double light = -(x + 0.5 - 4) - (y + 0.5 - 4);  // lit from the top left
                Rgba c = light > 1.5 ? hi : light > -2.5 ? mid : lo;
                img.At(k * 8 + x, y) = c;
            }
    }
    return img;
}

// ---- explosion ----------------------------------------------------------

// Eight frames that play once: a white flash that swells into an orange puff,
// then cools and breaks up into a few dark embers. Behind a flying ship the
// frames string together into a flame that tapers off.
Image MakeExplosion() {
    Image img(64, 8);
    Rng rng(0xE7B105u);
    const double radius[8] = {1.7, 2.3, 2.9, 3.1, 2.9, 2.5, 2.1, 1.6};
    const double peak[8] = {1.0, 0.95, 0.82, 0.68, 0.54, 0.42, 0.33, 0.25};
    const double keep[8] = {1.0, 1.0, 1.0, 0.92, 0.75, 0.55, 0.38, 0.3};
    for (int f = 0; f < 8; f++) {
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++) {
                double dx = x + 0.5 - 4, dy = y + 0.5 - 4, d = std::sqrt(dx * dx + dy * dy);
                double flicker = rng.Range(0.85, 1.1), chance = rng.Uniform();
                if (d > radius[f] || chance > keep[f]) continue;
                double heat = peak[f] * std::pow(1 - d / (radius[f] + 0.4), 0.6) * flicker;
                Rgba c = heat > 0.8    ? Opaque(255, 250, 214)
                         : heat > 0.6  ? Opaque(255, 222, 92)
                         : heat > 0.42 ? Opaque(255, 150, 42)
                         : heat > 0.26 ? Opaque(222, 72, 30)
                         : heat > 0.1  ? Opaque(136, 32, 22)
                                       : kClear;
                if (c.a) img.At(f * 8 + x, y) = c;
            }
    }
    return img;
}

// ---- loaded but never drawn ---------------------------------------------

Image MakeMiniPlanets() {
    Image img(40, 8);
    for (int i = 0; i < 5; i++)
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++) {
                double dx = x + 0.5 - 4, dy = y + 0.5 - 4;
                if (dx * dx + dy * dy > 12.5) continue;
                double lit = 0.55 + 0.45 * std::clamp(-(dx + dy) / 5.0, -1.0, 1.0);
                img.At(i * 8 + x, y) = Scale(kStarColours[(i * 3 + 2) % 8], lit);
            }
    return img;
}

Image MakeMiniMap() {
    Image img(48, 36);
    const Rgba frame = Opaque(90, 120, 180), corner = Opaque(200, 220, 255);
    for (int x = 0; x < 48; x++) img.At(x, 0) = img.At(x, 35) = frame;
    for (int y = 0; y < 36; y++) img.At(0, y) = img.At(47, y) = frame;
    for (int i = 0; i < 3; i++) {
        img.At(i, 0) = img.At(47 - i, 0) = img.At(i, 35) = img.At(47 - i, 35) = corner;
        img.At(0, i) = img.At(47, i) = img.At(0, 35 - i) = img.At(47, 35 - i) = corner;
    }
    return img;
}

}  // namespace assetgen
