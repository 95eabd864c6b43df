// Asset generator: the deep-space backdrop.
//
// 1460 x 1080 is the least that covers the 360 x 240 screen everywhere at
// half-speed parallax over the 2560 x 1920 playfield. The title screen scrolls
// it vertically with a second copy above, so every layer here is periodic in y
// (noise lattices wrap, stars wrap): the bottom row joins the top row.
#include <algorithm>

#include "tools/assetgen/assetgen.h"

namespace assetgen {

namespace {

constexpr int kW = 1460, kH = 1080;

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B1u ^ x * 0x85EBCA77u ^ y * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

double Lattice(int ix, int iy, uint32_t seed) {
    return Hash(uint32_t(ix), uint32_t(iy), seed) * (1.0 / 4294967296.0);
}

double Fade(double t) {
    return t * t * t * (t * (t * 6 - 15) + 10);
}

}  // namespace

double PeriodicNoise(double u, double v, int px, int py, uint32_t seed) {
    double x = u * px, y = v * py;
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    double fx = Fade(x - ix), fy = Fade(y - iy);
    ix = ((ix % px) + px) % px;
    iy = ((iy % py) + py) % py;
    const int jx = ix + 1 == px ? 0 : ix + 1, jy = iy + 1 == py ? 0 : iy + 1;
    double a = Lattice(ix, iy, seed), b = Lattice(jx, iy, seed);
    double c = Lattice(ix, jy, seed), d = Lattice(jx, jy, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

double PeriodicFbm(double u, double v, int px, int py, int octaves, uint32_t seed) {
    double sum = 0, amp = 0.5, norm = 0;
    for (int o = 0; o < octaves; o++) {
        sum += amp * PeriodicNoise(u, v, px << o, py << o, seed + 101u * o);
        norm += amp;
        amp *= 0.5;
    }
    return sum / norm;
}

namespace {

double Fbm(double u, double v, int px, int py, int octaves, uint32_t seed) {
    return PeriodicFbm(u, v, px, py, octaves, seed);
}

double Smooth(double e0, double e1, double x) {
    double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

}  // namespace

Image MakeBackdrop() {
    // The nebula is soft: work at half resolution and enlarge.
    const int hw = kW / 2, hh = kH / 2;
    std::vector<float> field(size_t(hw) * hh * 3);
    for (int y = 0; y < hh; y++) {
        const double v = double(y) / hh;
        for (int x = 0; x < hw; x++) {
            // Shifted so that the brightest clouds pass behind the title screen.
            const double u = double(x) / hw + 0.6;
            // Domain warp turns round blobs into wisps.
            double wu = Fbm(u, v, 4, 3, 2, 11) - 0.5, wv = Fbm(u, v, 4, 3, 2, 23) - 0.5;
            double su = u + 0.18 * wu, sv = v + 0.18 * wv;
            su -= std::floor(su);
            sv -= std::floor(sv);
            double cloud = Fbm(su, sv, 4, 3, 5, 37);
            double density = std::pow(Smooth(0.42, 0.82, cloud), 1.6);
            double tint = Smooth(0.3, 0.7, Fbm(u, v, 2, 2, 3, 53));
            double dust = Smooth(0.5, 0.8, Fbm(su, sv, 8, 6, 3, 71));
            double glow = std::pow(Smooth(0.55, 0.9, Fbm(u, v, 3, 2, 3, 89)), 2.0);
            density *= 1.0 - 0.6 * dust;
            // Purple to teal nebula, a faint rose glow, on a deep navy base.
            double r = 5 + density * (58 * (1 - tint) + 14 * tint) + glow * 26;
            double g = 6 + density * (20 * (1 - tint) + 52 * tint) + glow * 8;
            double b = 16 + density * (92 * (1 - tint) + 78 * tint) + glow * 18;
            float *f = &field[(size_t(y) * hw + x) * 3];
            f[0] = float(r);
            f[1] = float(g);
            f[2] = float(b);
        }
    }

    Rng rng(0x5FACEB6Du);
    std::vector<float> rgb(size_t(kW) * kH * 3);
    for (int y = 0; y < kH; y++) {
        // Bilinear enlargement, wrapping at the bottom so the seam stays smooth.
        double fy = (y + 0.5) / 2.0 - 0.5;
        int y0 = int(std::floor(fy));
        double ty = fy - y0;
        int ya = (y0 + hh) % hh, yb = (y0 + 1 + hh) % hh;
        for (int x = 0; x < kW; x++) {
            double fx = (x + 0.5) / 2.0 - 0.5;
            int x0 = int(std::floor(fx));
            double tx = fx - x0;
            int xa = (x0 + hw) % hw, xb = (x0 + 1 + hw) % hw;
            for (int c = 0; c < 3; c++) {
                double p = field[(size_t(ya) * hw + xa) * 3 + c];
                double q = field[(size_t(ya) * hw + xb) * 3 + c];
                double r = field[(size_t(yb) * hw + xa) * 3 + c];
                double s = field[(size_t(yb) * hw + xb) * 3 + c];
                rgb[(size_t(y) * kW + x) * 3 + c] =
                    float((p + (q - p) * tx) * (1 - ty) + (r + (s - r) * tx) * ty);
            }
        }
    }

    // Stars: many faint dots, some medium, a few bright with short rays. They
    // stay dimmer than the game's own stars so that those stand out.
    auto add = [&](int x, int y, double r, double g, double b) {
        if (x < 0 || x >= kW) return;
        y = ((y % kH) + kH) % kH;
        float *f = &rgb[(size_t(y) * kW + x) * 3];
        f[0] += float(r);
        f[1] += float(g);
        f[2] += float(b);
    };
    auto star = [&](int count, double lo, double hi, int rays) {
        for (int i = 0; i < count; i++) {
            int x = rng.Below(kW), y = rng.Below(kH);
            double bright = rng.Range(lo, hi);
            double warm = rng.Uniform();  // 0 bluish, 1 yellowish
            double r = bright * (0.78 + 0.22 * warm), g = bright * (0.86 + 0.08 * warm),
                   b = bright * (1.0 - 0.2 * warm);
            add(x, y, r, g, b);
            for (int d = 1; d <= rays; d++) {
                double k = (d == 1 ? 0.45 : 0.18);
                add(x - d, y, r * k, g * k, b * k);
                add(x + d, y, r * k, g * k, b * k);
                add(x, y - d, r * k, g * k, b * k);
                add(x, y + d, r * k, g * k, b * k);
            }
        }
    };
    star(3200, 22, 70, 0);
    star(420, 70, 125, 0);
    star(110, 90, 140, 1);
    star(18, 140, 185, 2);

    Image img(kW, kH);
    for (size_t i = 0; i < img.pixels.size(); i++) {
        // A little noise before rounding keeps the dark gradients from banding.
        double d = rng.Uniform() - 0.5;
        img.pixels[i] = OpaqueF(rgb[i * 3] + d, rgb[i * 3 + 1] + d, rgb[i * 3 + 2] + d);
    }
    return img;
}

}  // namespace assetgen
