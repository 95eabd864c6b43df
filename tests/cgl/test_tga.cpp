// The TGA reader without OpenGL: decoding of every type, depth and origin,
// interleave, run packets, the colour key, damaged files; pixel order
// between the engine's colours and the texture; file-name checks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cgl/cgl.h"
#include "corefile/corefile.h"
#include "tests/cgl/tga_writer.h"

using tgatest::make;
using tgatest::Tga;

namespace {

// Decodes without OpenGL; the picture is released by the destructor.
struct Decoded {
    s_bitmap bitmap{};
    int ok = 0;
    explicit Decoded(const std::vector<uint8_t> &bytes) {
        ok = cgl_decodetga(bytes.data(), bytes.size(), &bitmap);
    }
    ~Decoded() { free(bitmap.pixels); }
    unsigned at(int x, int y) const { return CGL_GetPixel(x, y, bitmap); }
};

}  // namespace

TEST(TgaDecode, OriginsPlaceFilePixels) {
    // Bottom-left: the first file pixel lands at (0, 1), the second at
    // (1, 1), the third at (0, 0).
    Decoded bl(tgatest::encode(make(2, 24, 2, 2, 0x00, {0x111111, 0x222222, 0x333333, 0x444444})));
    ASSERT_TRUE(bl.ok);
    EXPECT_EQ(bl.at(0, 1), 0xFF111111u);
    EXPECT_EQ(bl.at(1, 1), 0xFF222222u);
    EXPECT_EQ(bl.at(0, 0), 0xFF333333u);
    EXPECT_EQ(bl.at(1, 0), 0xFF444444u);

    Decoded br(tgatest::encode(make(2, 24, 2, 2, 0x10, {0x111111, 0x222222, 0x333333, 0x444444})));
    EXPECT_EQ(br.at(1, 1), 0xFF111111u);
    EXPECT_EQ(br.at(0, 1), 0xFF222222u);
    EXPECT_EQ(br.at(1, 0), 0xFF333333u);

    Decoded tl(tgatest::encode(make(2, 24, 2, 2, 0x20, {0x111111, 0x222222, 0x333333, 0x444444})));
    EXPECT_EQ(tl.at(0, 0), 0xFF111111u);
    EXPECT_EQ(tl.at(1, 0), 0xFF222222u);
    EXPECT_EQ(tl.at(0, 1), 0xFF333333u);

    Decoded tr(tgatest::encode(make(2, 24, 2, 2, 0x30, {0x111111, 0x222222, 0x333333, 0x444444})));
    EXPECT_EQ(tr.at(1, 0), 0xFF111111u);
    EXPECT_EQ(tr.at(0, 0), 0xFF222222u);
    EXPECT_EQ(tr.at(1, 1), 0xFF333333u);
    EXPECT_EQ(tr.at(0, 1), 0xFF444444u);
}

TEST(TgaDecode, EveryDepthGivesItsColour) {
    // 32 bits: alpha from the file.
    Decoded d32(tgatest::encode(make(2, 32, 1, 1, 0x20, {0x80123456})));
    EXPECT_EQ(d32.at(0, 0), 0x80123456u);
    // 24 bits: opaque.
    Decoded d24(tgatest::encode(make(2, 24, 1, 1, 0x20, {0x00ABCDEF})));
    EXPECT_EQ(d24.at(0, 0), 0xFFABCDEFu);
    // 15 and 16 bits: five bits a channel shifted up, the top bit ignored.
    uint32_t w = tgatest::word16(0xF8, 0x88, 0x18) | 0x8000;
    Decoded d16(tgatest::encode(make(2, 16, 1, 1, 0x20, {w})));
    EXPECT_EQ(d16.at(0, 0), 0xFFF88818u);
    Decoded d15(tgatest::encode(make(2, 15, 1, 1, 0x20, {tgatest::word16(0x0F, 0xFF, 0x80)})));
    EXPECT_EQ(d15.at(0, 0), 0xFF08F880u);
    // 8 bits greyscale, uncompressed and run-length coded.
    Decoded grey(tgatest::encode(make(3, 8, 2, 1, 0x20, {0x00, 0x7F})));
    EXPECT_EQ(grey.at(0, 0), 0xFF000000u);
    EXPECT_EQ(grey.at(1, 0), 0xFF7F7F7Fu);
    Decoded greyrle(tgatest::encode(make(11, 8, 3, 1, 0x20, {0x40, 0x40, 0x41})));
    EXPECT_EQ(greyrle.at(1, 0), 0xFF404040u);
    EXPECT_EQ(greyrle.at(2, 0), 0xFF414141u);
    // 16 bits greyscale: a grey byte and an alpha byte (the word alpha << 8 | grey).
    Decoded ga(tgatest::encode(make(3, 16, 2, 1, 0x20, {0xFC00, 0x807F})));
    EXPECT_EQ(ga.at(0, 0), 0xFC000000u);
    EXPECT_EQ(ga.at(1, 0), 0x807F7F7Fu);
    Decoded garle(tgatest::encode(make(11, 16, 3, 1, 0x20, {0xFC00, 0xFC00, 0x807F})));
    EXPECT_EQ(garle.at(1, 0), 0xFC000000u);
    EXPECT_EQ(garle.at(2, 0), 0x807F7F7Fu);
}

TEST(TgaDecode, ColourMapEntriesAndFirstIndex) {
    Tga t = make(1, 8, 3, 1, 0x20, {5, 6, 0});
    t.cmaptype = 1;
    t.cmapfirst = 5;
    t.cmapentrysize = 24;
    t.cmap = {0xFF102030, 0xFF405060};
    Decoded d24(tgatest::encode(t));
    EXPECT_EQ(d24.at(0, 0), 0xFF102030u);
    EXPECT_EQ(d24.at(1, 0), 0xFF405060u);
    EXPECT_EQ(d24.at(2, 0), 0u) << "entries the map does not set are transparent black";

    t.cmapentrysize = 16;
    t.cmap = {0xFFF80008, 0xFF08F800};
    Decoded d16(tgatest::encode(t));
    EXPECT_EQ(d16.at(0, 0), 0xFFF80008u);
    EXPECT_EQ(d16.at(1, 0), 0xFF08F800u);

    // Run-length coded colour-mapped (type 9).
    t.type = 9;
    t.pixels = {6, 6, 6};
    Decoded rle(tgatest::encode(t));
    EXPECT_EQ(rle.at(2, 0), 0xFF08F800u);

    // An ID field sits between header and colour map and is skipped.
    t.type = 1;
    t.pixels = {5, 6, 0};
    t.id = {'h', 'e', 'l', 'l', 'o'};
    Decoded withid(tgatest::encode(t));
    EXPECT_EQ(withid.at(0, 0), 0xFFF80008u);

    // Entries beyond index 255 are read past without being kept.
    Tga high = make(1, 8, 1, 1, 0x20, {255});
    high.cmaptype = 1;
    high.cmapfirst = 255;
    high.cmap = {0xFF00FF00, 0xFF0000FF, 0xFF00FFFF};
    Decoded past(tgatest::encode(high));
    EXPECT_EQ(past.at(0, 0), 0xFF00FF00u);
}

TEST(TgaDecode, ColourKeyThresholds) {
    auto one = [](uint32_t argb) {
        Decoded d(tgatest::encode(make(2, 32, 1, 1, 0x20, {argb})));
        return d.at(0, 0);
    };
    EXPECT_EQ(one(0x80FF00FF), 0u) << "magenta with any alpha is keyed";
    EXPECT_EQ(one(0x00FF00FF), 0u);
    EXPECT_EQ(one(0xFFF10FF1), 0u) << "241, 15, 241 is inside the tolerance";
    EXPECT_EQ(one(0xFFFF10FF), 0xFFFF10FFu) << "green 16 is not below 16";
    EXPECT_EQ(one(0xFFF000FF), 0xFFF000FFu) << "red 240 is not above 240";
    EXPECT_EQ(one(0xFFFF00F0), 0xFFFF00F0u) << "blue 240 is not above 240";

    EXPECT_EQ(ConvertTransp((int)0x12FF00FF), 0);
    EXPECT_EQ(ConvertTransp((int)0xFFF10FF1), 0);
    EXPECT_EQ(ConvertTransp((int)0xFFF000FF), (int)0xFFF000FF);
    EXPECT_EQ(ConvertTransp((int)0xFFFF10FF), (int)0xFFFF10FF);
}

TEST(TgaDecode, RunPacketsCrossLineEndsAndEndOnRawPixel) {
    // 3 x 2, top-left: a run of 4 crosses into the second line, then two
    // raw pixels, the last packet being a single raw pixel.
    std::vector<uint8_t> bytes = tgatest::encode(make(10, 24, 3, 2, 0x20, {}));
    const uint8_t data[] = {0x83, 0x11, 0x11, 0x11,   // run of 4
                            0x00, 0x22, 0x22, 0x22,   // raw 1
                            0x00, 0x33, 0x33, 0x33};  // raw 1 (last pixel)
    bytes.insert(bytes.end(), data, data + sizeof(data));
    Decoded d(bytes);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.at(2, 0), 0xFF111111u);
    EXPECT_EQ(d.at(0, 1), 0xFF111111u) << "the run goes on at column 0 of the next line";
    EXPECT_EQ(d.at(1, 1), 0xFF222222u);
    EXPECT_EQ(d.at(2, 1), 0xFF333333u);

    // Bottom-right origin with a run: mirrored both ways.
    std::vector<uint8_t> br = tgatest::encode(make(10, 32, 2, 2, 0x10, {}));
    const uint8_t brdata[] = {0x81, 1, 2, 3, 0xFF, 0x01, 4, 5, 6, 0xFF, 7, 8, 9, 0xFF};
    br.insert(br.end(), brdata, brdata + sizeof(brdata));
    Decoded m(br);
    EXPECT_EQ(m.at(1, 1), 0xFF030201u);
    EXPECT_EQ(m.at(0, 1), 0xFF030201u);
    EXPECT_EQ(m.at(1, 0), 0xFF060504u);
    EXPECT_EQ(m.at(0, 0), 0xFF090807u);

    // A run longer than the picture stops at its last pixel.
    std::vector<uint8_t> over = tgatest::encode(make(10, 24, 2, 1, 0x20, {}));
    const uint8_t overdata[] = {0xFF, 0x44, 0x44, 0x44};
    over.insert(over.end(), overdata, overdata + sizeof(overdata));
    Decoded o(over);
    EXPECT_EQ(o.at(1, 0), 0xFF444444u);
}

TEST(TgaDecode, RunLengthMatchesUncompressedForAllTypes) {
    std::vector<uint32_t> argb, grey, pal, words;
    for (int i = 0; i < 40 * 7; i++) {
        int v = (i / 3) % 5;
        argb.push_back(0xFF000000u | (uint32_t)(v * 0x203040));
        grey.push_back((uint32_t)(v * 40));
        pal.push_back((uint32_t)v);
        words.push_back(tgatest::word16(v * 40, v * 16, 255 - v * 40));
    }
    struct Case {
        int type, depth;
        std::vector<uint32_t> *pixels;
    } cases[] = {{2, 32, &argb},  {2, 24, &argb}, {2, 16, &words},
                 {2, 15, &words}, {3, 8, &grey},  {1, 8, &pal}};
    for (const Case &c : cases) {
        Tga raw = make(c.type, c.depth, 40, 7, 0x00, *c.pixels);
        if (c.type == 1) {
            raw.cmaptype = 1;
            raw.cmap = {0xFF000000, 0xFF112233, 0xFF445566, 0xFF778899, 0xFFAABBCC};
        }
        Tga rle = raw;
        rle.type = c.type + 8;
        Decoded a(tgatest::encode(raw)), b(tgatest::encode(rle));
        ASSERT_TRUE(a.ok && b.ok);
        EXPECT_EQ(memcmp(a.bitmap.pixels, b.bitmap.pixels, 40 * 7 * 4), 0)
            << "type " << c.type << " depth " << c.depth;
        EXPECT_NE(a.at(5, 6), 0u);
    }
}

TEST(TgaDecode, InterleavedLinesFillAlternateRows) {
    // Two-way: the file's lines 0..2 are rows 0, 2, 4, then 3..4 are 1, 3.
    std::vector<uint32_t> pixels;
    for (int line = 0; line < 5; line++) pixels.push_back(0xFF000000u | (uint32_t)(line + 1));
    Decoded two(tgatest::encode(make(2, 32, 1, 5, 0x20 | 0x40, pixels)));
    const unsigned expect2[5] = {1, 4, 2, 5, 3};
    for (int row = 0; row < 5; row++) EXPECT_EQ(two.at(0, row) & 0xFF, expect2[row]) << row;

    // Four-way (bit 7 wins over bit 6): rows 0, 4, then 1, then 2, then 3.
    Decoded four(tgatest::encode(make(2, 32, 1, 5, 0x20 | 0xC0, pixels)));
    const unsigned expect4[5] = {1, 3, 4, 5, 2};
    for (int row = 0; row < 5; row++) EXPECT_EQ(four.at(0, row) & 0xFF, expect4[row]) << row;

    // Bottom-left origin counts the passes from the bottom row.
    Decoded up(tgatest::encode(make(2, 32, 1, 4, 0x40, {1, 2, 3, 4})));
    EXPECT_EQ(up.at(0, 3) & 0xFF, 1u);
    EXPECT_EQ(up.at(0, 1) & 0xFF, 2u);
    EXPECT_EQ(up.at(0, 2) & 0xFF, 3u);
    EXPECT_EQ(up.at(0, 0) & 0xFF, 4u);
}

TEST(TgaDecode, DamagedFilesAreRefusedOrStopAtTheirEnd) {
    // Shorter than the header: refused, record untouched.
    std::vector<uint8_t> full =
        tgatest::encode(make(2, 24, 4, 2, 0x20, std::vector<uint32_t>(8, 0x123456)));
    s_bitmap untouched{};
    untouched.width = 77;
    for (size_t n = 0; n < 18; n++) {
        EXPECT_EQ(cgl_decodetga(full.data(), n, &untouched), 0) << n;
    }
    EXPECT_EQ(untouched.width, 77);
    EXPECT_EQ(untouched.pixels, nullptr);

    // Sides of 0, or beyond 16384, are refused.
    Decoded zerow(tgatest::encode(make(2, 24, 0, 5, 0x20, {})));
    EXPECT_FALSE(zerow.ok);
    Decoded zeroh(tgatest::encode(make(2, 24, 5, 0, 0x20, {})));
    EXPECT_FALSE(zeroh.ok);
    std::vector<uint8_t> huge = tgatest::encode(make(2, 24, 1, 1, 0x20, {0}));
    huge[12] = 0x01;  // width 16385
    huge[13] = 0x40;
    Decoded big(huge);
    EXPECT_FALSE(big.ok);

    // Cut inside the second line: the first line and the pixel before the cut
    // are there, the rest stays transparent black.
    std::vector<uint8_t> cut(full.begin(), full.begin() + 18 + 4 * 3 + 3 + 2);
    Decoded c(cut);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.at(3, 0), 0xFF123456u);
    EXPECT_EQ(c.at(0, 1), 0xFF123456u);
    EXPECT_EQ(c.at(1, 1), 0u);
    EXPECT_EQ(c.at(3, 1), 0u);

    // Run-length data cut inside a packet.
    std::vector<uint8_t> rle = tgatest::encode(make(10, 24, 4, 1, 0x20, {}));
    const uint8_t packets[] = {0x00, 1, 1, 1, 0x82, 2, 2};
    rle.insert(rle.end(), packets, packets + sizeof(packets));
    Decoded r(rle);
    EXPECT_EQ(r.at(0, 0), 0xFF010101u);
    EXPECT_EQ(r.at(1, 0), 0u);

    // Every origin: the pixels a cut run-length file did not reach are
    // transparent black, the ones it reached keep their colour.
    for (int descriptor : {0x00, 0x10, 0x20, 0x30}) {
        std::vector<uint8_t> cutrle =
            tgatest::encode(make(10, 24, 7, 5, descriptor, std::vector<uint32_t>(35, 0x00C0FFEE)));
        // A run of 18 pixels (two lines and 4), then a raw packet cut inside
        // its pixel.
        cutrle.resize(18 + 4 + 1 + 2);
        cutrle[18] = 0x80 | 17;
        cutrle[22] = 0x00;
        Decoded partial(cutrle);
        ASSERT_TRUE(partial.ok);
        int reached = 0;
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 7; x++) {
                unsigned p = partial.at(x, y);
                EXPECT_TRUE(p == 0 || p == 0xFFC0FFEEu) << x << "," << y;
                reached += p != 0;
            }
        EXPECT_EQ(reached, 18) << descriptor;
    }

    // A colour map cut inside an entry ends the data: the entry's leftover
    // byte (0x7F) is not decoded as a grey pixel.
    Tga m = make(3, 8, 1, 1, 0x20, {});
    m.cmaptype = 1;
    m.cmap = {0xFF0A0B0C, 0xFF7F7F7F};
    std::vector<uint8_t> map = tgatest::encode(m);
    map.resize(map.size() - 2);
    Decoded mm(map);
    EXPECT_TRUE(mm.ok);
    EXPECT_EQ(mm.at(0, 0), 0u);

    // An unknown depth reads nothing and leaves the picture black.
    std::vector<uint8_t> odd = tgatest::encode(make(2, 24, 2, 2, 0x20, {1, 2, 3, 4}));
    odd[16] = 12;
    Decoded o(odd);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.at(1, 1), 0u);
}

TEST(BitmapPixels, RedBlueSwapAndBounds) {
    s_bitmap b{};
    ASSERT_TRUE(cgl_allocbitmap(4, 3, &b));
    CGL_DrawPixel(1, 2, 0x80FF0000u, b);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&b.pixels[1 + 2 * 4]);
    EXPECT_EQ(bytes[0], 0xFF);  // red first in memory
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[3], 0x80);
    EXPECT_EQ(CGL_GetPixel(1, 2, b), 0x80FF0000u);

    CGL_DrawPixel(-1, 0, 0xFFFFFFFFu, b);
    CGL_DrawPixel(4, 0, 0xFFFFFFFFu, b);
    CGL_DrawPixel(0, 3, 0xFFFFFFFFu, b);
    for (int i = 0; i < 12; i++) {
        if (i != 9) {
            EXPECT_EQ(b.pixels[i], 0u);
        }
    }
    EXPECT_EQ(CGL_GetPixel(4, 0, b), 0u);
    EXPECT_EQ(CGL_GetPixel(0, -1, b), 0u);
    free(b.pixels);
    b.pixels = nullptr;
    CGL_DrawPixel(0, 0, 1, b);
    EXPECT_EQ(CGL_GetPixel(0, 0, b), 0u);
}

TEST(BitmapPixels, TextureCoordinatesStopShortOfTheEdge) {
    s_bitmap b{};
    ASSERT_TRUE(cgl_allocbitmap(100, 50, &b));
    EXPECT_EQ(b.tx1, 0.0f);
    EXPECT_EQ(b.ty1, 0.0f);
    EXPECT_EQ(b.tx2, (float)(99.999 / 100.0));
    EXPECT_EQ(b.ty2, (float)(49.995 / 50.0));
    EXPECT_NE(b.tx2, b.ty2) << "0.99999 across, 0.9999 down";
    EXPECT_EQ(b.texwidth, 100);
    EXPECT_EQ(b.size, 100 * 50 * 4);
    EXPECT_EQ(b.numpixels, 5000);
    free(b.pixels);

    s_bitmap one{};
    ASSERT_TRUE(cgl_allocbitmap(1, 3, &one));
    EXPECT_EQ(one.tx2, 0.99999f);
    EXPECT_EQ(one.ty2, (float)((float)(3 * 0.9999) / 3.0L));
    free(one.pixels);
}

TEST(BitmapLoad, ExtensionTestAndUpcase) {
    char text[] = "abc.Tga_z";
    EXPECT_STREQ(upcase(text), "ABC.TGA_Z");

    s_bitmap b{};
    b.width = 9;
    auto output = [&](const char *name) {
        testing::internal::CaptureStdout();
        CGL_LoadBitmap(name, &b);
        fflush(stdout);
        return testing::internal::GetCapturedStdout();
    };
    corefile_closeimage();
    EXPECT_EQ(output("pic.png"), "File format not supported.\n");
    EXPECT_EQ(output(".tga"), "File format not supported.\n")
        << "a first-character dot is no extension";
    EXPECT_EQ(output("noext"), "File format not supported.\n");
    EXPECT_EQ(output("a.verylongextension"), "File format not supported.\n");
    for (const char *name : {"x.tga", "x.Tga", "x.TGA", "dir.d/x.tga"}) {
        std::string out = output(name);
        EXPECT_EQ(out.rfind("Loading TGA image.", 0), 0u) << name;
        EXPECT_NE(out.find("- ERROR: Image " + std::string(name) + " not loaded.\n"),
                  std::string::npos);
    }
    EXPECT_EQ(b.width, 9) << "the record stays untouched";
    EXPECT_EQ(b.pixels, nullptr);
}
