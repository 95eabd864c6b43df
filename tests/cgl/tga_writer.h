// Makes TGA files and CORE images in memory for the graphics tests, the TGA
// fuzz target's seeds and the graphics benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tgatest {

struct Tga {
    int type = 2;    // 1, 2, 3 uncompressed; 9, 10, 11 run-length coded
    int depth = 32;  // 8, 15, 16, 24, 32
    int width = 1;
    int height = 1;
    int descriptor = 0x20;  // origin bits 4-5 (0x20 top-left), interleave bits 6-7
    std::vector<uint8_t> id;
    int cmaptype = 0;
    int cmapfirst = 0;
    int cmapentrysize = 24;
    std::vector<uint32_t> cmap;  // 0xAARRGGBB entries
    // Pixel values in file order: palette or grey index for depth 8, the
    // 16-bit word for 15/16, 0xAARRGGBB for 24/32.
    std::vector<uint32_t> pixels;
};

inline Tga make(int type, int depth, int w, int h, int descriptor, std::vector<uint32_t> pixels) {
    Tga t;
    t.type = type;
    t.depth = depth;
    t.width = w;
    t.height = h;
    t.descriptor = descriptor;
    t.pixels = std::move(pixels);
    return t;
}

inline void put16(std::vector<uint8_t> &out, int v) {
    out.push_back((uint8_t)(v & 0xFF));
    out.push_back((uint8_t)((v >> 8) & 0xFF));
}

inline void put_pixel(std::vector<uint8_t> &out, int depth, uint32_t v) {
    switch (depth) {
        case 8:
            out.push_back((uint8_t)v);
            break;
        case 15:
        case 16:
            put16(out, (int)(v & 0xFFFF));
            break;
        case 24:
            out.push_back((uint8_t)v);
            out.push_back((uint8_t)(v >> 8));
            out.push_back((uint8_t)(v >> 16));
            break;
        case 32:
            out.push_back((uint8_t)v);
            out.push_back((uint8_t)(v >> 8));
            out.push_back((uint8_t)(v >> 16));
            out.push_back((uint8_t)(v >> 24));
            break;
        default:
            break;
    }
}

// The 15/16-bit word of a colour (five bits a channel).
inline uint32_t word16(int r, int g, int b) {
    return (uint32_t)(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

// Runs of equal pixels become run packets, everything else raw packets of
// up to 128; packets run on across line ends.
inline void put_rle(std::vector<uint8_t> &out, int depth, const std::vector<uint32_t> &pixels) {
    size_t i = 0, n = pixels.size();
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && pixels[i + run] == pixels[i]) run++;
        if (run >= 2) {
            out.push_back((uint8_t)(0x80 | (run - 1)));
            put_pixel(out, depth, pixels[i]);
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < n && raw < 128 &&
               !(i + raw + 1 < n && pixels[i + raw] == pixels[i + raw + 1]))
            raw++;
        out.push_back((uint8_t)(raw - 1));
        for (size_t k = 0; k < raw; k++) put_pixel(out, depth, pixels[i + k]);
        i += raw;
    }
}

inline std::vector<uint8_t> encode(const Tga &t) {
    std::vector<uint8_t> out;
    out.push_back((uint8_t)t.id.size());
    out.push_back((uint8_t)t.cmaptype);
    out.push_back((uint8_t)t.type);
    put16(out, t.cmapfirst);
    put16(out, (int)t.cmap.size());
    out.push_back((uint8_t)(t.cmaptype ? t.cmapentrysize : 0));
    put16(out, 0);
    put16(out, 0);
    put16(out, t.width);
    put16(out, t.height);
    out.push_back((uint8_t)t.depth);
    out.push_back((uint8_t)t.descriptor);
    out.insert(out.end(), t.id.begin(), t.id.end());
    if (t.cmaptype) {
        for (uint32_t c : t.cmap) {
            if (t.cmapentrysize == 24) {
                put_pixel(out, 24, c);
            } else {
                put16(out, (int)word16((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
            }
        }
    }
    if (t.type > 7) {
        put_rle(out, t.depth, t.pixels);
    } else {
        for (uint32_t v : t.pixels) put_pixel(out, t.depth, v);
    }
    return out;
}

// A CORE image holding the given files, as the resource archive reads it.
inline std::vector<uint8_t> core_image(
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> &files) {
    auto put32 = [](std::vector<uint8_t> &out, uint32_t v) {
        for (int i = 0; i < 4; i++) out.push_back((uint8_t)(v >> (8 * i)));
    };
    size_t dirsize = 0;
    for (auto &f : files) dirsize += 12 + f.first.size();
    uint32_t offset = (uint32_t)(12 + dirsize);
    std::vector<uint8_t> out;
    out.insert(out.end(), {'C', 'O', 'R', 'E'});
    put32(out, (uint32_t)files.size());
    uint32_t romsize = offset;
    for (auto &f : files) romsize += (uint32_t)f.second.size();
    put32(out, romsize);
    for (auto &f : files) {
        put32(out, (uint32_t)f.first.size());
        int32_t hash = 0;
        for (char c : f.first) hash += (int32_t)(signed char)c;
        put32(out, (uint32_t)hash);
        out.insert(out.end(), f.first.begin(), f.first.end());
        put32(out, offset);
        offset += (uint32_t)f.second.size();
    }
    for (auto &f : files) out.insert(out.end(), f.second.begin(), f.second.end());
    return out;
}

}  // namespace tgatest
