// libFuzzer target for the TGA reader: arbitrary bytes as a file of a
// resource image mounted from memory, read and decoded without OpenGL.
//
// Seeds: run with QO_FUZZ_WRITE_SEEDS=<dir> to write real TGAs of every
// image type (1, 2, 3, 9, 10, 11), depth (8, 15, 16, 24, 32), origin and
// interleave into <dir> and exit.
// QO_FUZZ_VERBOSE=1 keeps the reader's progress lines on standard output.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cgl/bitmap.h"
#include "corefile/corefile.h"
#include "tests/cgl/tga_writer.h"

namespace {

void quiet_messages(int, const char *) {}

// A small picture with gradients, a flat run and a keyed corner, so that run
// packets and raw packets both appear when it is coded.
std::vector<uint32_t> scene(int w, int h, int depth, bool indexed) {
    std::vector<uint32_t> px;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            int r = x * 255 / (w - 1), g = y * 255 / (h - 1), b = (x < w / 2) ? 0x40 : 0xC0;
            if (y == h / 2) r = g = b = 0x80;           // one flat line
            if (x == 0 && y == 0) r = b = 0xFF, g = 0;  // the colour key
            uint32_t v;
            if (indexed) {
                v = (uint32_t)((x + y * 3) & 15);
                if (y == h / 2) v = 7;
            } else if (depth == 8) {
                v = (uint32_t)((r + g + b) / 3);
            } else if (depth == 15 || depth == 16) {
                v = tgatest::word16(r, g, b);
            } else {
                v = 0xFF000000u | (uint32_t)(r << 16 | g << 8 | b);
                if (depth == 32) v = (v & 0x00FFFFFF) | (uint32_t)((x * 16) & 0xFF) << 24;
            }
            px.push_back(v);
        }
    }
    return px;
}

void write_seeds(const char *dir) {
    mkdir(dir, 0755);  // may exist already
    struct Kind {
        int type, depth, cmapentry;
    } kinds[] = {{1, 8, 24},  {1, 8, 16},  {9, 8, 24}, {9, 8, 15},  {2, 15, 0},
                 {2, 16, 0},  {2, 24, 0},  {2, 32, 0}, {10, 15, 0}, {10, 16, 0},
                 {10, 24, 0}, {10, 32, 0}, {3, 8, 0},  {11, 8, 0}};
    const int descriptors[] = {0x00, 0x10, 0x20, 0x30, 0x40, 0x88};
    int n = 0;
    for (const Kind &k : kinds) {
        for (int d : descriptors) {
            tgatest::Tga t;
            t.type = k.type;
            t.depth = k.depth;
            t.width = 13;
            t.height = 9;
            t.descriptor = d | (k.depth == 32 ? 8 : 0);
            if (n % 5 == 0) t.id = {'s', 'e', 'e', 'd'};
            bool indexed = k.type == 1 || k.type == 9;
            if (indexed) {
                t.cmaptype = 1;
                t.cmapentrysize = k.cmapentry;
                t.cmapfirst = (n % 3 == 0) ? 2 : 0;
                for (int i = 0; i < 16; i++)
                    t.cmap.push_back(0xFF000000u | (uint32_t)(i * 0x0F1F2F));
            }
            t.pixels = scene(t.width, t.height, k.depth, indexed);
            std::vector<uint8_t> bytes = tgatest::encode(t);
            char name[64];
            snprintf(name, sizeof(name), "/seed_t%d_d%d_c%d_o%02x.tga", k.type, k.depth,
                     k.cmapentry, d);
            std::string path = std::string(dir) + name;
            FILE *fp = fopen(path.c_str(), "wb");
            if (!fp) {
                fprintf(stderr, "cannot write %s\n", path.c_str());
                exit(1);
            }
            fwrite(bytes.data(), 1, bytes.size(), fp);
            fclose(fp);
            n++;
        }
    }
    fprintf(stderr, "%d seeds written to %s\n", n, dir);
}

// The reader's rules written the plain way, pixel by pixel, to check the
// reader's faster loops against: the same picture must come out.
bool reference(const uint8_t *d, size_t size, int &w, int &h, std::vector<uint32_t> &out) {
    if (size < 18) return false;
    w = d[12] | d[13] << 8;
    h = d[14] | d[15] << 8;
    int type = d[2], depth = d[16], desc = d[17];
    if (w == 0 || h == 0 || w > CGL_MAXBITMAPSIDE || h > CGL_MAXBITMAPSIDE) return false;
    out.assign((size_t)w * h, 0);
    size_t pos = 18 + d[0];
    if (pos > size) pos = size;
    uint32_t palette[256] = {0};
    auto word16 = [](int v) -> uint32_t {
        return 0xFF000000u | (uint32_t)((v >> 10) & 31) << 19 | (uint32_t)((v >> 5) & 31) << 11 |
               (uint32_t)(v & 31) << 3;
    };
    if (d[1]) {
        int first = d[3] | d[4] << 8, length = d[5] | d[6] << 8, entry = d[7];
        size_t eb = entry == 24 ? 3 : (entry == 15 || entry == 16) ? 2 : 0;
        for (int i = 0; eb && i < length && size - pos >= eb; i++, pos += eb) {
            uint32_t c = eb == 3 ? 0xFF000000u | (uint32_t)d[pos + 2] << 16 |
                                       (uint32_t)d[pos + 1] << 8 | d[pos]
                                 : word16(d[pos] | d[pos + 1] << 8);
            if (first + i < 256) palette[first + i] = c;
        }
    }
    size_t bytes = depth == 8                     ? 1
                   : (depth == 15 || depth == 16) ? 2
                   : depth == 24                  ? 3
                   : depth == 32                  ? 4
                                                  : 0;
    if (!bytes) return true;
    auto get = [&](size_t p) -> uint32_t {
        switch (depth) {
            case 8:
                return (type == 3 || type == 11) ? 0xFF000000u | d[p] * 0x010101u : palette[d[p]];
            case 15:
            case 16:
                return word16(d[p] | d[p + 1] << 8);
            case 24:
                return 0xFF000000u | (uint32_t)d[p + 2] << 16 | (uint32_t)d[p + 1] << 8 | d[p];
            default:
                return (uint32_t)d[p + 3] << 24 | (uint32_t)d[p + 2] << 16 |
                       (uint32_t)d[p + 1] << 8 | d[p];
        }
    };
    bool flipx = desc & 0x10, flipy = !(desc & 0x20);
    auto store = [&](int x, int y, uint32_t c) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        s_bitmap view{};
        view.width = w;
        view.height = h;
        view.pixels = out.data();
        CGL_DrawPixel(x, y, (uint32_t)ConvertTransp((int)c), view);
    };
    if (type <= 7) {
        int passes = (desc & 0x80) ? 4 : (desc & 0x40) ? 2 : 1;
        for (int p = 0; p < passes; p++)
            for (int r = p; r < h; r += passes)
                for (int i = 0; i < w; i++, pos += bytes) {
                    if (size - pos < bytes) return true;
                    store(flipx ? w - 1 - i : i, flipy ? h - 1 - r : r, get(pos));
                }
        return true;
    }
    size_t n = 0, total = (size_t)w * h;
    int cx = 0, cy = 0;
    auto put = [&](uint32_t c) {
        store(flipx ? w - 1 - cx : cx, flipy ? h - 1 - cy : cy, c);
        n++;
        if (++cx == w) cx = 0, cy++;
    };
    while (n < total && pos < size) {
        int hdr = d[pos++], count = (hdr & 0x7F) + 1;
        if (hdr & 0x80) {
            if (size - pos < bytes) break;
            uint32_t c = get(pos);
            pos += bytes;
            for (int i = 0; i < count; i++) put(c);
        } else {
            for (int i = 0; i < count; i++, pos += bytes) {
                if (size - pos < bytes) return true;
                put(get(pos));
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (const char *dir = getenv("QO_FUZZ_WRITE_SEEDS")) {
        write_seeds(dir);
        exit(0);
    }
    corefile_setmessagehook(quiet_messages);
    if (!getenv("QO_FUZZ_VERBOSE")) {
        if (!freopen("/dev/null", "w", stdout)) return 0;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Pictures of more than 262144 pixels cost a large allocation per run
    // and decode like smaller ones; they are left out to keep the runs fast.
    // Sides beyond the reader's bound still go in: it refuses them early.
    if (size >= 18) {
        int w = data[12] | data[13] << 8, h = data[14] | data[15] << 8;
        if ((long)w * h > (1L << 18) && w <= CGL_MAXBITMAPSIDE && h <= CGL_MAXBITMAPSIDE) return 0;
    }
    std::vector<uint8_t> file(data, data + size);
    std::vector<uint8_t> image = tgatest::core_image({{"fuzz.tga", file}});
    if (!corefile_mountmemory(image.data(), image.size())) return 0;
    s_bitmap bitmap{};
    int ok = cgl_readtga("fuzz.tga", &bitmap);
    corefile_closeimage();
    int w = 0, h = 0;
    std::vector<uint32_t> want;
    bool expected = reference(data, size, w, h, want);
    if (ok != (int)expected) {
        fprintf(stderr, "reader %s, plain rules %s\n", ok ? "accepts" : "refuses",
                expected ? "accept" : "refuse");
        __builtin_trap();
    }
    if (ok) {
        if (bitmap.width != w || bitmap.height != h) __builtin_trap();
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                // Both in the buffer's memory order.
                uint32_t got = bitmap.pixels[(size_t)y * w + x], expect = want[(size_t)y * w + x];
                if (got != expect) {
                    fprintf(stderr, "pixel %d,%d: reader %08x, plain rules %08x\n", x, y, got,
                            expect);
                    __builtin_trap();
                }
            }
        free(bitmap.pixels);
    }
    return 0;
}
