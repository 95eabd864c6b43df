// Graphics registry: the report's counts and the flush's messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cgl/cgl.h"
#include "common/gl_fixture.h"

namespace {

// Runs with empty registries and puts the others' entries back afterwards.
class RegistryGL : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        bitmaps = cgl_numbitmaps;
        sprites = cgl_numsprites;
        fonts = cgl_numfonts;
        memcpy(savedbitmaps, cgl_bitmaplist, sizeof(savedbitmaps));
        memcpy(savedsprites, cgl_spritelist, sizeof(savedsprites));
        cgl_numbitmaps = cgl_numsprites = cgl_numfonts = 0;
    }
    void TearDown() override {
        memcpy(cgl_bitmaplist, savedbitmaps, sizeof(savedbitmaps));
        memcpy(cgl_spritelist, savedsprites, sizeof(savedsprites));
        cgl_numbitmaps = bitmaps;
        cgl_numsprites = sprites;
        cgl_numfonts = fonts;
    }
    static std::string output(void (*fn)()) {
        testing::internal::CaptureStdout();
        fn();
        fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
    int bitmaps = 0, sprites = 0, fonts = 0;
    s_bitmap *savedbitmaps[CGL_MAXBITMAPS];
    s_sprite *savedsprites[CGL_MAXSPRITES];
};

}  // namespace

TEST_F(RegistryGL, ReportAndFlushWithNothingLoaded) {
    std::string report = output(CGL_ShowGraphicsMemory);
    EXPECT_EQ(report,
              "[=== GRAPHICS MEMORY INFO ===]\n"
              "Num.Bitmaps: 0 / 1024\n"
              "Num.Sprites: 0 / 1024\n"
              "Num.Fonts: 0 / 16\n"
              "Num.Framebuffers: " +
                  std::to_string(CGL_numframebuffers) +
                  " / 16\n"
                  "[============================]\n");
    EXPECT_EQ(output(CGL_FlushGraphics), "[0 sprites deleted]\n[0 bitmaps deleted]\n");
    CGL_PushGraphics();
    CGL_PopGraphics();
}

TEST_F(RegistryGL, FlushReleasesEverythingOnceAndCountsTheRegistry) {
    static s_bitmap a, b;
    static s_sprite cell, blank;
    output([] {
        CGL_CreateBitmap(8, 8, &a);
        CGL_CreateBitmap(4, 4, &b);
        CGL_GetSprite(0, 0, 4, 4, &a, &cell);
        CGL_CreateSprite(4, 4, &blank);
    });
    cgl_numfonts = 2;
    std::string report = output(CGL_ShowGraphicsMemory);
    EXPECT_NE(report.find("Num.Bitmaps: 2 / 1024\nNum.Sprites: 2 / 1024\nNum.Fonts: 2 / 16\n"),
              std::string::npos)
        << report;

    // One bitmap was already deleted: the count printed is still the
    // registry's.
    output([] { CGL_DeleteBitmap(&b); });
    EXPECT_EQ(output(CGL_FlushGraphics),
              "[2 sprites deleted]\ndeleting bitmap\n[2 bitmaps deleted]\n");
    EXPECT_EQ(a.pixels, nullptr);
    EXPECT_EQ(a.width, 8) << "the record keeps its size";
    EXPECT_EQ(blank.pixels, nullptr);
    EXPECT_EQ(cgl_numbitmaps, 0);
    EXPECT_EQ(cgl_numsprites, 0);
    EXPECT_EQ(cgl_numfonts, 0);

    EXPECT_EQ(output(CGL_FlushGraphics), "[0 sprites deleted]\n[0 bitmaps deleted]\n");
}
