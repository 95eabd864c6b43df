// The TGA reader: picture files from the resource archive into bitmaps.
//
// Offers: CGL_LoadBitmap, CGL_LoadStaticBitmap, LoadImageTGA, and the
// decoder itself (cgl_decodetga), which needs no OpenGL so that it can be
// exercised on its own.
// Depends on: corefile (reading the file), bitmaps (record, texture,
// registry).
//
// Reads image types 1, 2, 3 (uncompressed colour-mapped, true-colour,
// greyscale) and 9, 10, 11 (the same, run-length coded), pixel depths 8,
// 15, 16, 24 and 32, every origin, and the two- and four-way interleaved
// line orders. A 16-bit greyscale pixel is a grey byte and an alpha byte. The file's bytes are
// untrusted: every read is checked against the end of the buffer, and decoding stops where the data
// ends, leaving the pixels not reached as created (transparent black).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cgl/bitmap.h"
#include "cgl/render.h"
#include "corefile/corefile.h"

namespace {

const size_t kHeaderSize = 18;

struct TgaHeader {
    int idlength;
    int colourmaptype;
    int imagetype;
    int cmapfirst;
    int cmaplength;
    int cmapentrysize;
    int width;
    int height;
    int depth;
    int descriptor;
};

inline int u16(const unsigned char *p) {
    return p[0] | (p[1] << 8);
}

TgaHeader read_header(const unsigned char *p) {
    TgaHeader h;
    h.idlength = p[0];
    h.colourmaptype = p[1];
    h.imagetype = p[2];
    h.cmapfirst = u16(p + 3);
    h.cmaplength = u16(p + 5);
    h.cmapentrysize = p[7];
    h.width = u16(p + 12);
    h.height = u16(p + 14);
    h.depth = p[16];
    h.descriptor = p[17];
    return h;
}

// 15/16-bit words: five bits a channel, the top bit ignored, the low three
// bits of each channel left 0.
inline uint32_t colour16(int w) {
    return 0xFF000000u | ((uint32_t)((w >> 10) & 0x1F) << 19) |
           ((uint32_t)((w >> 5) & 0x1F) << 11) | ((uint32_t)(w & 0x1F) << 3);
}

// The colour key, then red and blue swapped into the memory order of the
// pixel buffer (what CGL_DrawPixel stores).
inline uint32_t keyed(uint32_t colour) {
    uint32_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    if (r > 240 && g < 16 && b > 240) return 0;
    return (colour & 0xFF00FF00u) | r | (b << 16);
}

enum PixelKind { kGrey8, kPalette8, kGreyAlpha16, kWord16, kBGR24, kBGRA32 };

// One line of 32-bit pixels left to right, the bulk of most pictures: the
// colour key as a mask instead of a branch, so that the compiler can work on
// several pixels at once. The file's bytes blue, green, red, alpha read as
// one little-endian word are 0xAARRGGBB.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("tree-vectorize")))
#endif
void line32(const unsigned char *__restrict src, uint32_t *__restrict dst, int count) {
    for (int x = 0; x < count; x++) {
        const unsigned char *p = src + (size_t)x * 4;
        uint32_t w =
            (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
        uint32_t r = (w >> 16) & 0xFF, g = (w >> 8) & 0xFF, b = w & 0xFF;
        uint32_t key = (uint32_t)((r > 240) & (g < 16) & (b > 240));
        dst[x] = ((w & 0xFF00FF00u) | r | (b << 16)) & (key - 1u);
    }
}

// One pixel format: its size in the file and its colour (0xAARRGGBB).
template <PixelKind K>
struct Pixel;
template <>
struct Pixel<kGrey8> {
    static const size_t bytes = 1;
    static uint32_t get(const unsigned char *p, const uint32_t *) {
        return 0xFF000000u | (uint32_t)p[0] * 0x010101u;
    }
};
template <>
struct Pixel<kPalette8> {
    static const size_t bytes = 1;
    static uint32_t get(const unsigned char *p, const uint32_t *palette) { return palette[p[0]]; }
};
template <>
struct Pixel<kGreyAlpha16> {
    static const size_t bytes = 2;
    static uint32_t get(const unsigned char *p, const uint32_t *) {
        return (uint32_t)p[1] << 24 | (uint32_t)p[0] * 0x010101u;
    }
};
template <>
struct Pixel<kWord16> {
    static const size_t bytes = 2;
    static uint32_t get(const unsigned char *p, const uint32_t *) { return colour16(u16(p)); }
};
template <>
struct Pixel<kBGR24> {
    static const size_t bytes = 3;
    static uint32_t get(const unsigned char *p, const uint32_t *) {
        return 0xFF000000u | ((uint32_t)p[2] << 16) | ((uint32_t)p[1] << 8) | p[0];
    }
};
template <>
struct Pixel<kBGRA32> {
    static const size_t bytes = 4;
    static uint32_t get(const unsigned char *p, const uint32_t *) {
        return ((uint32_t)p[3] << 24) | ((uint32_t)p[2] << 16) | ((uint32_t)p[1] << 8) | p[0];
    }
};

struct Decoder {
    const unsigned char *data;
    size_t size;
    size_t pos;
    const uint32_t *palette;
    uint32_t *pixels;
    int width, height;
    bool flipx, flipy;  // right-to-left columns, bottom-to-top rows
    int passes;

    // Uncompressed: line after line; with interleave, pass p fills the
    // lines p, p + passes, p + 2 * passes, ... counted from the origin side.
    template <PixelKind K>
    void raw() {
        typedef Pixel<K> P;
        for (int p = 0; p < passes; p++) {
            for (int r = p; r < height; r += passes) {
                int row = flipy ? height - 1 - r : r;
                size_t available = (size - pos) / P::bytes;
                int count = available < (size_t)width ? (int)available : width;
                uint32_t *line = pixels + (size_t)row * (size_t)width;
                const unsigned char *src = data + pos;
                if (flipx) {
                    for (int x = 0; x < count; x++, src += P::bytes)
                        line[width - 1 - x] = keyed(P::get(src, palette));
                } else if (K == kBGRA32) {
                    line32(src, line, count);
                } else {
                    for (int x = 0; x < count; x++, src += P::bytes)
                        line[x] = keyed(P::get(src, palette));
                }
                pos += (size_t)count * P::bytes;
                if (count < width) return;  // the data ends inside this line
            }
        }
    }

    // Run-length coded: packets run on across line ends; a run that goes
    // past the last line is dropped there.
    template <PixelKind K>
    void rle() {
        typedef Pixel<K> P;
        const size_t total = (size_t)width * (size_t)height;
        size_t n = 0;
        int cx = 0, cy = 0;
        uint32_t *line = pixels + (size_t)(flipy ? height - 1 : 0) * (size_t)width;
        // Moves k pixels on along the current line (k never passes its end).
        auto advance = [&](int k) {
            n += (size_t)k;
            cx += k;
            if (cx == width) {
                cx = 0;
                cy++;
                if (cy < height) line = pixels + (size_t)(flipy ? height - 1 - cy : cy) * width;
            }
        };
        // Where the k pixels from the current column start in memory, and in
        // which direction they go.
        auto target = [&](int k) { return flipx ? line + (width - cx - k) : line + cx; };
        while (n < total) {
            if (pos >= size) break;
            int header = data[pos++];
            int count = (header & 0x7F) + 1;
            if (header & 0x80) {
                if (size - pos < P::bytes) break;
                uint32_t word = keyed(P::get(data + pos, palette));
                pos += P::bytes;
                while (count > 0 && cy < height) {
                    int k = count < width - cx ? count : width - cx;
                    uint32_t *dst = target(k);
                    for (int i = 0; i < k; i++) dst[i] = word;
                    advance(k);
                    count -= k;
                }
                n += (size_t)count;  // past the last line: dropped
            } else {
                size_t available = (size - pos) / P::bytes;
                bool cut = available < (size_t)count;
                if (cut) count = (int)available;
                while (count > 0 && cy < height) {
                    int k = count < width - cx ? count : width - cx;
                    uint32_t *dst = target(k);
                    const unsigned char *src = data + pos;
                    if (flipx) {
                        for (int i = 0; i < k; i++, src += P::bytes)
                            dst[k - 1 - i] = keyed(P::get(src, palette));
                    } else {
                        for (int i = 0; i < k; i++, src += P::bytes)
                            dst[i] = keyed(P::get(src, palette));
                    }
                    pos += (size_t)k * P::bytes;
                    advance(k);
                    count -= k;
                }
                pos += (size_t)count * P::bytes;  // pixels past the last line
                n += (size_t)count;
                if (cut) break;
            }
        }
        if (n >= total) return;
        // The data ended early: what was not reached becomes transparent
        // black, the rest of the current line and every line after it.
        if (cy < height) {
            if (flipx) {
                memset(line, 0, (size_t)(width - cx) * 4);
            } else {
                memset(line + cx, 0, (size_t)(width - cx) * 4);
            }
        }
        for (int y = cy + 1; y < height; y++)
            memset(pixels + (size_t)(flipy ? height - 1 - y : y) * width, 0, (size_t)width * 4);
    }

    template <PixelKind K>
    void run(bool packed) {
        if (packed) {
            rle<K>();
        } else {
            raw<K>();
        }
    }
};

// The registry's bound on a file's bytes: the largest picture we accept,
// stored as raw packets of 32-bit pixels, plus header, ID and colour map.
const size_t kMaxFileSize =
    (size_t)CGL_MAXBITMAPSIDE * CGL_MAXBITMAPSIDE * 4 / 128 * 129 + kHeaderSize + 255 + 65536 * 4;

}  // namespace

// ---------------------------------------------------------------------------
// Decoding

// Bytes a pixel of this depth takes in the file; 0 for depths not read.
static size_t depth_bytes(int depth) {
    switch (depth) {
        case 8:
            return 1;
        case 15:
        case 16:
            return 2;
        case 24:
            return 3;
        case 32:
            return 4;
        default:
            return 0;
    }
}

int cgl_decodetga(const unsigned char *data, size_t size, s_bitmap *bitmap) {
    if (!data || !bitmap || size < kHeaderSize) return 0;
    TgaHeader h = read_header(data);
    printf("width: %d, height: %d, bpp: %d\n", h.width, h.height, h.depth);
    if (h.width <= 0 || h.height <= 0 || h.width > CGL_MAXBITMAPSIDE ||
        h.height > CGL_MAXBITMAPSIDE)
        return 0;

    Decoder d;
    d.data = data;
    d.size = size;
    d.pos = kHeaderSize + (size_t)h.idlength;
    if (d.pos > size) d.pos = size;
    d.width = h.width;
    d.height = h.height;
    d.flipx = (h.descriptor & 0x10) != 0;
    d.flipy = (h.descriptor & 0x20) == 0;
    d.passes = (h.descriptor & 0x80) ? 4 : (h.descriptor & 0x40) ? 2 : 1;

    // Entries the colour map does not set stay transparent black; entries
    // outside the 256 we keep are read past.
    uint32_t palette[256];
    memset(palette, 0, sizeof(palette));
    d.palette = palette;
    if (h.colourmaptype != 0) {
        size_t entrybytes = h.cmapentrysize == 24                              ? 3
                            : (h.cmapentrysize == 15 || h.cmapentrysize == 16) ? 2
                                                                               : 0;
        // Other entry sizes are neither read nor skipped. A map cut inside an
        // entry ends the data there: its leftover bytes are no pixels.
        for (int i = 0; entrybytes && i < h.cmaplength; i++) {
            if (size - d.pos < entrybytes) {
                d.pos = size;
                break;
            }
            const unsigned char *p = data + d.pos;
            uint32_t colour = entrybytes == 3 ? Pixel<kBGR24>::get(p, nullptr) : colour16(u16(p));
            d.pos += entrybytes;
            int index = h.cmapfirst + i;
            if (index < 256) palette[index] = colour;
        }
    }

    // The picture is cleared first only where the data may not cover it:
    // uncompressed data cut short, or a depth that is not read. Run-length
    // data clears what it did not reach afterwards.
    bool packed = h.imagetype > 7;
    size_t bytes = depth_bytes(h.depth);
    size_t numpixels = (size_t)h.width * (size_t)h.height;
    bool clear = bytes == 0 || (!packed && (size - d.pos) / bytes < numpixels);
    s_bitmap picture;
    memset(&picture, 0, sizeof(picture));
    if (!cgl_allocbitmap(h.width, h.height, &picture, clear)) return 0;
    d.pixels = picture.pixels;

    if (packed) printf("TGA is RLE packed.");

    switch (h.depth) {
        case 8:
            if (h.imagetype == 3 || h.imagetype == 11) {
                d.run<kGrey8>(packed);
            } else {
                d.run<kPalette8>(packed);
            }
            break;
        case 15:
            d.run<kWord16>(packed);
            break;
        case 16:
            if (h.imagetype == 3 || h.imagetype == 11) {
                d.run<kGreyAlpha16>(packed);
            } else {
                d.run<kWord16>(packed);
            }
            break;
        case 24:
            d.run<kBGR24>(packed);
            break;
        case 32:
            d.run<kBGRA32>(packed);
            break;
        default:
            // Such a depth reads no pixel bytes and repeats the colour before
            // it, which starts as transparent black: the cleared picture
            // already is the result.
            break;
    }
    *bitmap = picture;
    return 1;
}

// ---------------------------------------------------------------------------
// Loading

int cgl_readtga(const char *name, s_bitmap *bitmap) {
    if (!name || !bitmap) return 0;
    COREFILE f;
    if (!corefile_open(name, &f, 0)) return 0;
    size_t size = f.size > 0 ? (size_t)f.size : 0;
    if (size > kMaxFileSize) size = kMaxFileSize;
    // An image in memory holds the bytes already (the archive cuts the size
    // to what is there): they are decoded in place. A copy of a large
    // picture costs more than its decoding, most of it in fresh pages.
    if (corefile_mounttype == COREFILE_MOUNT_MEMORY && f.handle) {
        const auto *bytes = static_cast<const unsigned char *>(f.handle);
        corefile_close(&f);
        return cgl_decodetga(bytes, size, bitmap);
    }
    // Cleared, so that a read that delivers less than the directory promised
    // leaves zeros rather than old heap bytes.
    auto *buffer = static_cast<unsigned char *>(calloc(size ? size : 1, 1));
    if (!buffer) {
        corefile_close(&f);
        return 0;
    }
    if (size) corefile_read(buffer, 1, (int)size, &f);
    corefile_close(&f);
    int ok = cgl_decodetga(buffer, size, bitmap);
    free(buffer);
    return ok;
}

int LoadImageTGA(const char *name, s_bitmap *bitmap) {
    if (!name || !bitmap) return 0;
    if (cgl_numbitmaps >= CGL_MAXBITMAPS) {
        printf("- ERROR: Bitmap table full (%d bitmaps).\n", CGL_MAXBITMAPS);
        return 0;
    }
    if (!cgl_readtga(name, bitmap)) return 0;
    // The texture is made from the decoded pixels, so the picture crosses to
    // OpenGL once. (Making empty storage first and uploading into it costs
    // more than the upload itself on a software renderer.)
    bitmap->texture = CGL_CreateTexture(*bitmap);
    cgl_bitmaplist[cgl_numbitmaps++] = bitmap;
    return 1;
}

char *upcase(char *text) {
    if (!text) return text;
    for (char *c = text; *c; c++) {
        if (*c >= 'a' && *c <= 'z') *c = (char)(*c - 'a' + 'A');
    }
    return text;
}

// The extension is what follows the last dot, unless that dot starts the
// name; it must fit 16 bytes with its terminator.
static bool is_tga_name(const char *name) {
    if (!name) return false;
    const char *dot = strrchr(name, '.');
    if (!dot || dot == name) return false;
    char extension[16];
    size_t length = strlen(dot);
    if (length >= sizeof(extension)) return false;
    memcpy(extension, dot, length + 1);
    return strcmp(upcase(extension), ".TGA") == 0;
}

static int load_bitmap(const char *name, s_bitmap *bitmap) {
    if (!bitmap) return 0;
    if (!is_tga_name(name)) {
        printf("File format not supported.\n");
        return 0;
    }
    printf("Loading TGA image.");
    int ok = LoadImageTGA(name, bitmap);
    if (!ok || !bitmap->pixels) {
        printf("- ERROR: Image %s not loaded.\n", name);
        return 0;
    }
    return 1;
}

int CGL_LoadBitmap(const char *name, s_bitmap *bitmap) {
    return load_bitmap(name, bitmap);
}

void CGL_LoadStaticBitmap(const char *name, s_bitmap *bitmap) {
    if (!load_bitmap(name, bitmap)) return;
    free(bitmap->pixels);
    bitmap->pixels = nullptr;
    bitmap->flags |= CGL_BITMAP_STATIC;
}

int ConvertTransp(int colour) {
    int red = (colour >> 16) & 0xFF, green = (colour >> 8) & 0xFF, blue = colour & 0xFF;
    if (red > 240 && green < 16 && blue > 240) return 0;
    return colour;
}
