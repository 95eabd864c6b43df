// libFuzzer target for the TGA reader: arbitrary bytes as a file of a
// resource image mounted from memory, read and decoded without OpenGL.
//
// Seeds: run with QO_FUZZ_WRITE_SEEDS=<dir> to write real TGAs of every
// image type (1, 2, 3, 9, 10, 11), depth (8, 15, 16, 24, 32), origin and
// interleave into <dir> and exit.
// QO_FUZZ_VERBOSE=1 keeps the reader's progress lines on standard output.
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
    // Pictures of more than 4 million pixels cost a large allocation per run
    // and decode like smaller ones; they are left out to keep the runs fast.
    // Sides beyond the reader's bound still go in: it refuses them early.
    if (size >= 18) {
        int w = data[12] | data[13] << 8, h = data[14] | data[15] << 8;
        if ((long)w * h > (1L << 22) && w <= CGL_MAXBITMAPSIDE && h <= CGL_MAXBITMAPSIDE) return 0;
    }
    std::vector<uint8_t> file(data, data + size);
    std::vector<uint8_t> image = tgatest::core_image({{"fuzz.tga", file}});
    if (!corefile_mountmemory(image.data(), image.size())) return 0;
    s_bitmap bitmap{};
    if (cgl_readtga("fuzz.tga", &bitmap)) {
        // Touch the corners the decoder claims to have filled.
        volatile uint32_t sink =
            CGL_GetPixel(0, 0, bitmap) ^ CGL_GetPixel(bitmap.width - 1, bitmap.height - 1, bitmap);
        (void)sink;
        free(bitmap.pixels);
    }
    corefile_closeimage();
    return 0;
}
