// Bitmap fonts: marker scanning and widths, the letter of a character,
// pen advance and centring, the 255-character cut, the font table bound.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "cgl/cgl.h"
#include "common/gl_fixture.h"
#include "corefile/corefile.h"
#include "tests/cgl/tga_writer.h"

namespace {

// A font picture: `widths` per letter from letter 1 on (letter 0 is column
// 0), markers on the top row, each letter's cells filled with its own
// colour (red = letter index, green = 0x80, blue = 0x40).
std::vector<uint8_t> font_picture(const std::vector<int> &widths, int height) {
    int width = 1;
    for (int w : widths) width += w;
    std::vector<uint32_t> pixels((size_t)width * height, 0x00000000);
    int left = 1;
    for (size_t j = 0; j < widths.size(); j++) {
        if (j > 0) pixels[left] = 0xFFFFFFFF;  // marker: a letter starts here
        for (int y = 1; y < height; y++)
            for (int x = left; x < left + widths[j]; x++)
                pixels[(size_t)y * width + x] = 0xFF008040u | (uint32_t)(j + 1) << 16;
        left += widths[j];
    }
    tgatest::Tga t;
    t.type = 2;
    t.depth = 32;
    t.width = width;
    t.height = height;
    t.descriptor = 0x20;
    t.pixels = pixels;
    return tgatest::encode(t);
}

std::string quiet(const std::function<void()> &fn) {
    testing::internal::CaptureStdout();
    fn();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(FontText, LetterOfACharacter) {
    EXPECT_EQ(cgl_fontletter(' '), 1);
    EXPECT_EQ(cgl_fontletter('!'), 2);
    EXPECT_EQ(cgl_fontletter('A'), 34);
    EXPECT_EQ(cgl_fontletter('|'), 93);
    EXPECT_EQ(cgl_fontletter('}'), 0);
    EXPECT_EQ(cgl_fontletter('~'), 0);
    EXPECT_EQ(cgl_fontletter('\x7f'), 0);
    EXPECT_EQ(cgl_fontletter((char)0x9E), 0);
    EXPECT_EQ(cgl_fontletter((char)0x9F), 0);
    EXPECT_EQ(cgl_fontletter((char)0xFF), 0);
    EXPECT_EQ(cgl_fontletter('\x1f'), 0);
    EXPECT_EQ(cgl_fontletter('\x01'), 0);
}

TEST(FontText, WidthCountsSpacingForEveryLetterDrawn) {
    s_font font{};
    for (int i = 0; i < CGL_FONTLETTERS; i++) font.widths[i] = 3;
    font.widths[1] = 4;
    font.widths[34] = 5;  // 'A'
    font.widths[35] = 6;  // 'B'
    font.spacing = 2;
    EXPECT_EQ(cgl_textwidth(font, "A B"), 5 + 4 + 6 + 6);
    EXPECT_EQ(cgl_textwidth(font, "A}~B"), 5 + 6 + 4);
    EXPECT_EQ(cgl_textwidth(font, ""), 0);
}

class FontGL : public GLTest {
protected:
    static void SetUpTestSuite() {
        GLTest::SetUpTestSuite();
        if (!gl_context_up() || fb >= 0) return;
        suite_bitmaps = cgl_numbitmaps;
        suite_sprites = cgl_numsprites;
        suite_fonts = cgl_numfonts;
        fb = CGL_InitFramebuffer(360, 240);
        // Letters 1..35: the space 4 wide, 'A' (34) 5, 'B' (35) 6, the rest 3.
        std::vector<int> widths(35, 3);
        widths[0] = 4;
        widths[33] = 5;
        widths[34] = 6;
        std::vector<uint8_t> abc = font_picture(widths, 9);
        std::vector<uint8_t> markers = font_picture({3, 5, 6, 25}, 5);
        image = tgatest::core_image({{"abc.tga", abc}, {"markers.tga", markers}});
        corefile_mountmemory(image.data(), image.size());
        quiet([] { CGL_InitFont("abc.tga", &abc_font); });
        corefile_closeimage();
    }
    // Leaves the registries as the suite found them.
    static void TearDownTestSuite() {
        testing::internal::CaptureStdout();
        for (int i = suite_bitmaps; i < cgl_numbitmaps; i++) CGL_DeleteBitmap(cgl_bitmaplist[i]);
        testing::internal::GetCapturedStdout();
        cgl_numbitmaps = suite_bitmaps;
        cgl_numsprites = suite_sprites;
        cgl_numfonts = suite_fonts;
    }
    static int suite_bitmaps, suite_sprites, suite_fonts;

    void SetUp() override {
        GLTest::SetUp();
        ASSERT_GE(fb, 0);
        corefile_mountmemory(image.data(), image.size());
        CGL_SetFramebuffer(fb);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor4f(1, 1, 1, 1);
        abc_font.spacing = 0;
    }
    void TearDown() override {
        corefile_closeimage();
        CGL_SetFramebuffer(0);
    }

    // Letter index drawn at (x, y) of the picture, 0 for none.
    static int letter_at(const std::vector<uint32_t> &px, int x, int y) {
        uint32_t c = px[(size_t)y * 360 + x];
        if ((c & 0xFFFF) != 0x8040) return 0;
        return (int)((c >> 16) & 0xFF);
    }
    static std::vector<uint32_t> picture() {
        glFinish();
        return gl_read_pixels(0, 0, 360, 240);
    }

    static int fb;
    static std::vector<uint8_t> image;
    static s_font abc_font;
};
int FontGL::fb = -1;
int FontGL::suite_bitmaps = 0;
int FontGL::suite_sprites = 0;
int FontGL::suite_fonts = 0;
std::vector<uint8_t> FontGL::image;
s_font FontGL::abc_font;

TEST_F(FontGL, MarkersGiveLettersAndWidths) {
    static s_font font;
    int slot = cgl_numfonts;
    std::string out = quiet([] { CGL_InitFont("markers.tga", &font); });
    // Markers at 4, 9 and 15 of a picture 40 wide.
    EXPECT_EQ(font.bitmap->width, 40);
    EXPECT_EQ(font.numletters, 5);
    const int widths[5] = {1, 3, 5, 6, 25};
    for (int j = 0; j < 5; j++) EXPECT_EQ(font.widths[j], widths[j]) << j;
    EXPECT_EQ(font.height, 4);
    EXPECT_EQ(font.spacing, 0);
    EXPECT_EQ(font.bitmap, &cgl_fontbmp[slot]);
    // Letter 2 ('!') is the cell from column 4, 5 wide, rows 1 to 4.
    EXPECT_EQ(font.letters[2].width, 5);
    EXPECT_EQ(font.letters[2].height, 4);
    EXPECT_EQ(font.letters[2].s0, 4.0f / 40.0f);
    EXPECT_EQ(font.letters[2].s1, 9.0f / 40.0f);
    EXPECT_EQ(font.letters[2].t0, 1.0f / 5.0f);
    EXPECT_EQ(font.letters[2].t1, 1.0f);
    EXPECT_NE(out.find("numletters: 5\n"), std::string::npos) << out;
    EXPECT_NE(out.find("add fontbmp, num.fonts: " + std::to_string(slot + 1) + "\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(cgl_numfonts, slot + 1);

    CGL_SetFontSpacing(3, &font);
    EXPECT_EQ(font.spacing, 3);

    // Nothing loaded: no marker, the space's width wraps to 255.
    static s_font none;
    quiet([] { CGL_InitFont("missing.tga", &none); });
    EXPECT_EQ(none.numletters, 2);
    EXPECT_EQ(none.widths[0], 1);
    EXPECT_EQ(none.widths[1], 255);
}

TEST_F(FontGL, The17thFontIsRefused) {
    int fonts = cgl_numfonts;
    cgl_numfonts = CGL_MAXFONTS;
    s_font font{};
    font.spacing = 7;
    int result = 1;
    std::string out = quiet([&] { result = CGL_InitFont("markers.tga", &font); });
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.find("Font table full"), std::string::npos);
    EXPECT_EQ(font.spacing, 7);
    EXPECT_EQ(cgl_numfonts, CGL_MAXFONTS);
    cgl_numfonts = fonts;
}

TEST_F(FontGL, DrawTextAdvancesTheSpaceWithoutSpacing) {
    abc_font.spacing = 2;
    CGL_DrawText(10, 20, abc_font, "A B");
    std::vector<uint32_t> px = picture();
    EXPECT_EQ(letter_at(px, 9, 20), 0);
    EXPECT_EQ(letter_at(px, 10, 20), 34);
    EXPECT_EQ(letter_at(px, 14, 27), 34) << "8 rows tall, 5 wide";
    EXPECT_EQ(letter_at(px, 15, 20), 0) << "the spacing gap";
    EXPECT_EQ(letter_at(px, 17, 20), 1) << "the space letter is drawn at 10 + 5 + 2";
    EXPECT_EQ(letter_at(px, 20, 20), 1);
    EXPECT_EQ(letter_at(px, 21, 20), 35) << "the space moved the pen by 4 alone";
    EXPECT_EQ(letter_at(px, 26, 20), 35);
    EXPECT_EQ(letter_at(px, 27, 20), 0);
    EXPECT_EQ(letter_at(px, 10, 28), 0);

    // '}' and '~' leave no gap.
    glClear(GL_COLOR_BUFFER_BIT);
    CGL_DrawText(10, 40, abc_font, "A}~%cB", 0x7f);
    px = picture();
    EXPECT_EQ(letter_at(px, 16, 40), 0);
    EXPECT_EQ(letter_at(px, 17, 40), 35);
}

TEST_F(FontGL, CentringHalvesTowardsMinusInfinity) {
    abc_font.spacing = 2;
    // Measured 5 + 4 + 6 + 3 * 2 = 21 wide: 180 - 10 = 170.
    CGL_DrawCenteredText(50, abc_font, "A B");
    std::vector<uint32_t> px = picture();
    EXPECT_EQ(letter_at(px, 169, 50), 0);
    EXPECT_EQ(letter_at(px, 170, 50), 34);
    EXPECT_EQ(letter_at(px, 181, 50), 35) << "170 + 7 + 4: the space without spacing";

    // Within a span: x + w / 2 - 21 / 2, with -3 / 2 = -2; here the space
    // advances with the spacing too.
    glClear(GL_COLOR_BUFFER_BIT);
    CGL_DrawCenteredTextXW(100, 60, -3, abc_font, "A B");
    px = picture();
    EXPECT_EQ(letter_at(px, 87, 60), 0);
    EXPECT_EQ(letter_at(px, 88, 60), 34);
    EXPECT_EQ(letter_at(px, 95, 60), 1);
    EXPECT_EQ(letter_at(px, 100, 60), 0);
    EXPECT_EQ(letter_at(px, 101, 60), 35);

    glClear(GL_COLOR_BUFFER_BIT);
    CGL_DrawCenteredTextXW(100, 60, 50, abc_font, "%s", "AAAB");  // 4 * 2 + 15 + 6 = 29
    px = picture();
    EXPECT_EQ(letter_at(px, 110, 60), 0);
    EXPECT_EQ(letter_at(px, 111, 60), 34) << "100 + 25 - 14";

    // A text wider than the target starts left of it: -21 / 2 = -11.
    glClear(GL_COLOR_BUFFER_BIT);
    CGL_DrawCenteredTextXW(0, 60, 0, abc_font, "A B");
    px = picture();
    // 'A' at -10 (off the picture), the space at -3 .. 0, 'B' from 3.
    EXPECT_EQ(letter_at(px, 0, 60), 1);
    EXPECT_EQ(letter_at(px, 1, 60), 0);
    EXPECT_EQ(letter_at(px, 3, 60), 35);
}

TEST_F(FontGL, TextIsCutAt255Characters) {
    abc_font.spacing = -5;  // every 'A' on the same spot, all of them drawn
    std::string text(300, 'A');
    int triangles = 0, binds = 0, switches = 0;
    CGL_GetRenderStatus(&triangles, &binds, &switches);
    int before = triangles;
    CGL_DrawText(10, 10, abc_font, "%s", text.c_str());
    CGL_GetRenderStatus(&triangles, &binds, &switches);
    EXPECT_EQ(triangles - before, 2 * 255);
}
