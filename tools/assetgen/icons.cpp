// Asset generator: the application icon, from the game's own art.
//
// A 64 by 64 master puts the ship over the rust planet. The larger sizes
// repeat its pixels (the art stays crisp pixel art), the smaller ones
// average the area each of their pixels covers, with alpha weighting so
// that clear pixels add no colour at the edges.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cmath>

#include <vector>

#include "tools/assetgen/assetgen.h"

namespace assetgen {

namespace {

constexpr int kMaster = 64;

Image MakeMaster() {
    Image master(kMaster, kMaster);
    master.Blit(MakePlanet(0), 12, 12);  // 50 x 50, lower right
    master.Blit(MakeShip(), 2, 2);       // 32 x 32, nose up, over the planet's rim
    return master;
}

Image Resample(const Image &src, int size) {
    Image out(size, size);
    const int n = src.width;
    if (size % n == 0) {
        const int k = size / n;
        for (int y = 0; y < size; y++)
            for (int x = 0; x < size; x++) out.At(x, y) = src.At(x / k, y / k);
        return out;
    }
    // Box filter: output pixel (x, y) covers source [x * n / size, (x + 1) * n / size).
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            double r = 0, g = 0, b = 0, a = 0, area = 0;
            const double x0 = double(x) * n / size, x1 = double(x + 1) * n / size;
            const double y0 = double(y) * n / size, y1 = double(y + 1) * n / size;
            for (int sy = int(y0); sy < n && sy < y1; sy++)
                for (int sx = int(x0); sx < n && sx < x1; sx++) {
                    const double wx = std::min(x1, sx + 1.0) - std::max(x0, double(sx));
                    const double wy = std::min(y1, sy + 1.0) - std::max(y0, double(sy));
                    const double w = wx * wy;
                    const Rgba p = src.At(sx, sy);
                    const double pa = p.a / 255.0 * w;
                    r += p.r * pa;
                    g += p.g * pa;
                    b += p.b * pa;
                    a += pa;
                    area += w;
                }
            if (a <= 0) {
                out.At(x, y) = kClear;
                continue;
            }
            Rgba c = OpaqueF(r / a, g / a, b / a);
            c.a = static_cast<uint8_t>(std::lround(255.0 * a / area));
            out.At(x, y) = c;
        }
    return out;
}

}  // namespace

Image MakeIcon(int size) {
    return Resample(MakeMaster(), size);
}

bool WritePng(const std::string &path, const Image &img) {
    std::vector<uint8_t> rgba;
    rgba.reserve(img.pixels.size() * 4);
    for (Rgba p : img.pixels) {
        // The colour key means nothing outside the engine: clear is black.
        if (p.a == 0) p = {0, 0, 0, 0};
        rgba.insert(rgba.end(), {p.r, p.g, p.b, p.a});
    }
    return stbi_write_png(path.c_str(), img.width, img.height, 4, rgba.data(), img.width * 4) != 0;
}

}  // namespace assetgen
