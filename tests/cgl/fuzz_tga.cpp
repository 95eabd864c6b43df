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
#include <cstring>
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
    } kinds[] = {{1, 8, 24}, {1, 8, 16}, {9, 8, 24},  {9, 8, 15},  {2, 15, 0},  {2, 16, 0},
                 {2, 24, 0}, {2, 32, 0}, {10, 15, 0}, {10, 16, 0}, {10, 24, 0}, {10, 32, 0},
                 {3, 8, 0},  {11, 8, 0}, {3, 16, 0},  {11, 16, 0}};
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

// The checking code below runs once per pixel. It carries no coverage
// instrumentation: its comparisons would cost a callback per pixel and
// only fill the fuzzer's feature table with the harness's own branches.
// AddressSanitizer still checks it.
#define QO_NO_COVERAGE __attribute__((no_sanitize("coverage")))

// The reader's rules written the plain way, pixel by pixel, to check the
// reader's faster loops against: the same picture must come out.
class Reference {
public:
    QO_NO_COVERAGE Reference(const uint8_t *d, size_t size) : d_(d), size_(size) {}

    QO_NO_COVERAGE bool decode(int &w, int &h, std::vector<uint32_t> &out) {
        if (size_ < 18) return false;
        w_ = w = d_[12] | d_[13] << 8;
        h_ = h = d_[14] | d_[15] << 8;
        type_ = d_[2];
        depth_ = d_[16];
        int desc = d_[17];
        if (w == 0 || h == 0 || w > CGL_MAXBITMAPSIDE || h > CGL_MAXBITMAPSIDE) return false;
        // The buffer only grows, and is cleared with memset: a vector's own
        // fill is instrumented library code that would cost per pixel.
        size_t n = (size_t)w * h;
        if (out.size() < n) out.resize(n);
        memset(out.data(), 0, n * 4);
        out_ = out.data();
        pos_ = 18 + d_[0];
        if (pos_ > size_) pos_ = size_;
        if (d_[1]) palette();
        bytes_ = depth_ == 8                      ? 1
                 : (depth_ == 15 || depth_ == 16) ? 2
                 : depth_ == 24                   ? 3
                 : depth_ == 32                   ? 4
                                                  : 0;
        if (!bytes_) return true;
        flipx_ = desc & 0x10;
        flipy_ = !(desc & 0x20);
        if (type_ <= 7) {
            raw((desc & 0x80) ? 4 : (desc & 0x40) ? 2 : 1);
        } else {
            rle();
        }
        return true;
    }

    // A colour (0xAARRGGBB) as the picture keeps it: the colour key, then
    // the buffer's memory order, as CGL_DrawPixel stores it (checked against
    // it once at start-up).
    static QO_NO_COVERAGE uint32_t stored(uint32_t c) {
        uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
        if (r > 240 && g < 16 && b > 240) return 0;
        return (c & 0xFF00FF00u) | r | b << 16;
    }

private:
    static QO_NO_COVERAGE uint32_t word16(int v) {
        return 0xFF000000u | (uint32_t)((v >> 10) & 31) << 19 | (uint32_t)((v >> 5) & 31) << 11 |
               (uint32_t)(v & 31) << 3;
    }

    QO_NO_COVERAGE void palette() {
        int first = d_[3] | d_[4] << 8, length = d_[5] | d_[6] << 8, entry = d_[7];
        size_t eb = entry == 24 ? 3 : (entry == 15 || entry == 16) ? 2 : 0;
        for (int i = 0; eb && i < length; i++, pos_ += eb) {
            // A map cut inside an entry ends the data: no pixel follows.
            if (size_ - pos_ < eb) {
                pos_ = size_;
                break;
            }
            const uint8_t *p = d_ + pos_;
            uint32_t c = eb == 3 ? 0xFF000000u | (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0]
                                 : word16(p[0] | p[1] << 8);
            if (first + i < 256) palette_[first + i] = c;
        }
    }

    QO_NO_COVERAGE uint32_t get(size_t p) const {
        const uint8_t *b = d_ + p;
        switch (depth_) {
            case 8:
                return (type_ == 3 || type_ == 11) ? 0xFF000000u | b[0] * 0x010101u
                                                   : palette_[b[0]];
            case 15:
                return word16(b[0] | b[1] << 8);
            case 16:
                // Greyscale: a grey byte, then an alpha byte.
                return (type_ == 3 || type_ == 11) ? (uint32_t)b[1] << 24 | b[0] * 0x010101u
                                                   : word16(b[0] | b[1] << 8);
            case 24:
                return 0xFF000000u | (uint32_t)b[2] << 16 | (uint32_t)b[1] << 8 | b[0];
            default:
                return (uint32_t)b[3] << 24 | (uint32_t)b[2] << 16 | (uint32_t)b[1] << 8 | b[0];
        }
    }

    QO_NO_COVERAGE void store(int x, int y, uint32_t c) {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
        out_[(size_t)y * w_ + x] = stored(c);
    }

    QO_NO_COVERAGE void raw(int passes) {
        for (int p = 0; p < passes; p++)
            for (int r = p; r < h_; r += passes)
                for (int i = 0; i < w_; i++, pos_ += bytes_) {
                    if (size_ - pos_ < bytes_) return;
                    store(flipx_ ? w_ - 1 - i : i, flipy_ ? h_ - 1 - r : r, get(pos_));
                }
    }

    QO_NO_COVERAGE void put(uint32_t c) {
        store(flipx_ ? w_ - 1 - cx_ : cx_, flipy_ ? h_ - 1 - cy_ : cy_, c);
        n_++;
        if (++cx_ == w_) cx_ = 0, cy_++;
    }

    QO_NO_COVERAGE void rle() {
        size_t total = (size_t)w_ * h_;
        while (n_ < total && pos_ < size_) {
            int hdr = d_[pos_++], count = (hdr & 0x7F) + 1;
            if (hdr & 0x80) {
                if (size_ - pos_ < bytes_) break;
                uint32_t c = get(pos_);
                pos_ += bytes_;
                for (int i = 0; i < count; i++) put(c);
            } else {
                for (int i = 0; i < count; i++, pos_ += bytes_) {
                    if (size_ - pos_ < bytes_) return;
                    put(get(pos_));
                }
            }
        }
    }

    const uint8_t *d_;
    size_t size_, pos_ = 0, bytes_ = 0, n_ = 0;
    int w_ = 0, h_ = 0, type_ = 0, depth_ = 0, cx_ = 0, cy_ = 0;
    bool flipx_ = false, flipy_ = false;
    uint32_t palette_[256] = {0};
    uint32_t *out_ = nullptr;
};

// The first differing pixel of two pictures of w by h; only called when
// they differ.
QO_NO_COVERAGE void report_difference(const uint32_t *got, const uint32_t *want, int w, int h) {
    for (size_t i = 0; i < (size_t)w * h; i++)
        if (got[i] != want[i]) {
            fprintf(stderr, "pixel %d,%d: reader %08x, plain rules %08x\n", (int)(i % w),
                    (int)(i / w), got[i], want[i]);
            return;
        }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (const char *dir = getenv("QO_FUZZ_WRITE_SEEDS")) {
        write_seeds(dir);
        exit(0);
    }
    // The plain rules store colours the way the engine's own pixel writer
    // and colour key do.
    for (uint32_t c : {0x11223344u, 0xFFF10AF5u, 0x80F10FF5u, 0x00FF00FFu, 0xFFFFFFFFu}) {
        uint32_t px = 0xDEADBEEF;
        s_bitmap view{};
        view.width = view.height = 1;
        view.pixels = &px;
        CGL_DrawPixel(0, 0, (uint32_t)ConvertTransp((int)c), view);
        if (px != Reference::stored(c)) {
            fprintf(stderr, "colour %08x: engine stores %08x, plain rules %08x\n", c, px,
                    Reference::stored(c));
            __builtin_trap();
        }
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
    static std::vector<uint32_t> want;
    bool expected = Reference(data, size).decode(w, h, want);
    if (ok != (int)expected) {
        fprintf(stderr, "reader %s, plain rules %s\n", ok ? "accepts" : "refuses",
                expected ? "accept" : "refuse");
        __builtin_trap();
    }
    if (ok) {
        if (bitmap.width != w || bitmap.height != h) __builtin_trap();
        // Both in the buffer's memory order.
        if (memcmp(bitmap.pixels, want.data(), (size_t)w * h * 4) != 0) {
            report_difference(bitmap.pixels, want.data(), w, h);
            __builtin_trap();
        }
        free(bitmap.pixels);
    }
    return 0;
}
