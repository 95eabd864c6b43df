// Sprites: cell texture coordinates, created sprites, the strict box
// collision, the colour key, the registry bound, and drawing with the
// alpha test.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "cgl/cgl.h"
#include "common/gl_fixture.h"
#include "corefile/corefile.h"
#include "tests/cgl/tga_writer.h"

namespace {

// Keeps the registry as other tests left it.
struct RegistryScope {
    int sprites = cgl_numsprites;
    int bitmaps = cgl_numbitmaps;
    ~RegistryScope() {
        cgl_numsprites = sprites;
        cgl_numbitmaps = bitmaps;
    }
};

}  // namespace

TEST(Sprite, CellCoordinatesAreFractionsOfTheTexture) {
    RegistryScope scope;
    s_bitmap sheet{};
    sheet.width = sheet.texwidth = 64;
    sheet.height = sheet.texheight = 8;
    sheet.texture = 7;
    static s_sprite cell;
    ASSERT_EQ(CGL_GetSprite(8, 0, 8, 8, &sheet, &cell), 1);
    EXPECT_EQ(cell.s0, 0.125f);
    EXPECT_EQ(cell.t0, 0.0f);
    EXPECT_EQ(cell.s1, 0.25f);
    EXPECT_EQ(cell.t1, 1.0f);
    EXPECT_EQ(cell.width, 8);
    EXPECT_EQ(cell.height, 8);
    EXPECT_EQ(cell.texture, 7);
    EXPECT_EQ(cell.pixels, nullptr);
    EXPECT_EQ(cell.bitmap, &sheet);
    EXPECT_EQ(cell.box_x1, 0);
    EXPECT_EQ(cell.box_y1, 0);
    EXPECT_EQ(cell.box_x2, 8);
    EXPECT_EQ(cell.box_y2, 8);
    EXPECT_EQ(cgl_numsprites, scope.sprites + 1);
    EXPECT_EQ(cgl_spritelist[scope.sprites], &cell);

    // Deleting a cut cell changes nothing.
    s_sprite copy = cell;
    CGL_DeleteSprite(&cell);
    EXPECT_EQ(memcmp(&copy, &cell, sizeof(cell)), 0);

    // A bitmap that holds nothing gives zero coordinates, not a division by 0.
    s_bitmap empty{};
    s_sprite nothing{};
    CGL_GetSprite(0, 0, 0, 0, &empty, &nothing);
    EXPECT_EQ(nothing.s1, 0.0f);
}

TEST(Sprite, CreatedSpriteOwnsAClearedBufferFreedOnce) {
    RegistryScope scope;
    static s_sprite s;
    ASSERT_EQ(CGL_CreateSprite(10, 5, &s), 1);
    EXPECT_EQ(s.width, 10);
    EXPECT_EQ(s.height, 5);
    EXPECT_EQ(s.box_x2, 10);
    EXPECT_EQ(s.box_y2, 5);
    EXPECT_EQ(s.texture, 0);
    EXPECT_EQ(s.s0, 0.0f);
    EXPECT_EQ(s.s1, (float)(10 * 0.99999) / 10.0f);
    EXPECT_EQ(s.t1, (float)(5 * 0.9999) / 5.0f);
    EXPECT_LT(s.t1, s.s1);
    ASSERT_NE(s.pixels, nullptr);
    for (int i = 0; i < 50; i++) EXPECT_EQ(s.pixels[i], 0u);
    s.pixels[3] = 0x12345678;
    CGL_ClearSprite(s);
    EXPECT_EQ(s.pixels[3], 0u);

    s_bitmap view{};
    view.flags = 5;
    view.texwidth = 99;
    s_bitmap got = CGL_GetBitmapFromSprite(&view, s);
    EXPECT_EQ(got.pixels, s.pixels);
    EXPECT_EQ(got.width, 10);
    EXPECT_EQ(got.numpixels, 50);
    EXPECT_EQ(got.size, 200);
    EXPECT_EQ(got.tx2, s.s1);
    EXPECT_EQ(got.flags, 5) << "flags and texture size are left as they were";
    EXPECT_EQ(got.texwidth, 99);
    EXPECT_EQ(view.width, 10);

    CGL_DeleteSprite(&s);
    EXPECT_EQ(s.pixels, nullptr);
    CGL_DeleteSprite(&s);  // nothing left to free
    CGL_ClearSprite(s);
}

TEST(Sprite, RegistryRefusesThe1025thSprite) {
    RegistryScope scope;
    cgl_numsprites = CGL_MAXSPRITES;
    s_bitmap sheet{};
    sheet.texwidth = sheet.texheight = 8;
    s_sprite s{};
    s.width = 3;
    testing::internal::CaptureStdout();
    EXPECT_EQ(CGL_GetSprite(0, 0, 8, 8, &sheet, &s), 0);
    EXPECT_EQ(CGL_CreateSprite(8, 8, &s), 0);
    EXPECT_EQ(CGL_LoadSprite("x.tga", &s), 0);
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Sprite table full"), std::string::npos);
    EXPECT_EQ(s.width, 3) << "the record is left as it was";
    EXPECT_EQ(s.pixels, nullptr);
    EXPECT_EQ(cgl_numsprites, CGL_MAXSPRITES);
}

TEST(Collision, BoxesOverlapStrictly) {
    EXPECT_EQ(CGL_CheckBoxCollision(0, 0, 8, 8, 8, 0, 8, 8), 0) << "touching edges";
    EXPECT_EQ(CGL_CheckBoxCollision(0, 0, 8, 8, 7, 0, 8, 8), 1);
    EXPECT_EQ(CGL_CheckBoxCollision(8, 0, 8, 8, 0, 0, 8, 8), 0);
    EXPECT_EQ(CGL_CheckBoxCollision(0, 0, 8, 8, 0, 8, 8, 8), 0);
    EXPECT_EQ(CGL_CheckBoxCollision(0, 0, 8, 8, 0, 7, 8, 8), 1);
    EXPECT_EQ(CGL_CheckBoxCollision(0, 0, 8, 8, -7, -7, 8, 8), 1);
    EXPECT_EQ(CGL_CheckBoxCollision(0, 0, 8, 8, -8, 0, 8, 8), 0);
    // A point box collides only when strictly inside the other box.
    EXPECT_EQ(CGL_CheckBoxCollision(4, 4, 0, 0, 0, 0, 8, 8), 1);
    EXPECT_EQ(CGL_CheckBoxCollision(0, 4, 0, 0, 0, 0, 8, 8), 0);
    EXPECT_EQ(CGL_CheckBoxCollision(8, 4, 0, 0, 0, 0, 8, 8), 0);
    EXPECT_EQ(CGL_CheckBoxCollision(4, 0, 0, 0, 0, 0, 8, 8), 0);
    EXPECT_EQ(CGL_CheckBoxCollision(4, 8, 0, 0, 0, 0, 8, 8), 0);
}

TEST(Collision, SpriteBoxesArePlacedAtTheirPositions) {
    s_sprite a{}, b{};
    CGL_SetSpriteCollisionBox(&a, 2, 2, 6, 6);  // 4 x 4 at +2
    EXPECT_EQ(CGL_SetSpriteCollisionBox(&b, 0, 0, 8, 8), 1);
    CGL_SetSpriteOrigin(&a, 100, 100);  // no operation applies the origin
    EXPECT_EQ(a.xorigin, 100);
    EXPECT_EQ(CGL_CheckSpriteCollision(0, 0, a, 6, 0, b), 0) << "a's box ends at 6";
    EXPECT_EQ(CGL_CheckSpriteCollision(0, 0, a, 5, 0, b), 1);
    EXPECT_EQ(CGL_CheckSpriteCollision(10, 10, a, 4, 4, b), 0) << "b ends at 12, a starts at 12";
    EXPECT_EQ(CGL_CheckSpriteCollision(10, 10, a, 5, 5, b), 1);
}

TEST(Collision, ColourKeyWithTolerance) {
    EXPECT_EQ(CGL_CheckSpriteTransparency(0xFFFF00FF), 1);
    EXPECT_EQ(CGL_CheckSpriteTransparency(0x00F10FF1), 1);
    EXPECT_EQ(CGL_CheckSpriteTransparency(0xFFF000FF), 0);
    EXPECT_EQ(CGL_CheckSpriteTransparency(0xFFFF10FF), 0);
    EXPECT_EQ(CGL_CheckSpriteTransparency(0xFFFF00F0), 0);
}

// ---------------------------------------------------------------------------
// With OpenGL

class SpriteGL : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (fb < 0) fb = CGL_InitFramebuffer(64, 32);
        ASSERT_GE(fb, 0);
        CGL_SetFramebuffer(fb);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor4f(1, 1, 1, 1);
    }
    void TearDown() override { CGL_SetFramebuffer(0); }
    static uint32_t at(int x, int y) {
        return gl_read_pixels(0, 0, 64, 32)[(size_t)y * 64 + x] & 0xFFFFFF;
    }
    static int fb;
};
int SpriteGL::fb = -1;

TEST_F(SpriteGL, LoadedSpriteDrawsWithoutItsKeyedPixels) {
    RegistryScope scope;
    // 3 x 1: red, magenta (the key), blue.
    tgatest::Tga t;
    t.type = 2;
    t.depth = 24;
    t.width = 3;
    t.height = 1;
    t.pixels = {0xFF0000, 0xFF00FF, 0x0000FF};
    std::vector<uint8_t> image = tgatest::core_image({{"three.tga", tgatest::encode(t)}});
    ASSERT_TRUE(corefile_mountmemory(image.data(), image.size()));
    static s_sprite s;
    int slot = cgl_numsprites;
    testing::internal::CaptureStdout();
    ASSERT_EQ(CGL_LoadSprite("three.tga", &s), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(s.bitmap, &cgl_spritebmp[slot]);
    EXPECT_EQ(s.width, 3);
    EXPECT_EQ(s.s1, 1.0f);
    EXPECT_EQ(s.t1, 1.0f);

    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    CGL_DrawScaledSprite(0, 0, 30, 10, s);
    CGL_DrawMirroredSprite(40, 20, s);
    glFinish();
    EXPECT_EQ(at(5, 5), 0xFF0000u);
    EXPECT_EQ(at(15, 5), 0x00FF00u) << "the keyed texel is dropped by the alpha test";
    EXPECT_EQ(at(25, 5), 0x0000FFu);
    EXPECT_EQ(at(40, 20), 0x0000FFu) << "mirrored: blue first";
    EXPECT_EQ(at(42, 20), 0xFF0000u);
    EXPECT_TRUE(CGL_renderstate & CGL_RENDERSTATE_ALPHATEST);

    // Blended drawing leaves blending off again.
    CGL_DrawBlendSprite(0, 0, s, 2);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(CGL_renderstate & CGL_RENDERSTATE_BLEND);

    testing::internal::CaptureStdout();
    CGL_DeleteBitmap(&cgl_spritebmp[slot]);
    testing::internal::GetCapturedStdout();
    corefile_closeimage();
}

TEST_F(SpriteGL, LoadsReportAMissingPictureAndStillRegister) {
    RegistryScope scope;
    int fonts = cgl_numfonts;
    tgatest::Tga t;
    t.type = 2;
    t.depth = 24;
    t.width = 2;
    t.height = 2;
    t.pixels = {0xFFFFFF, 0, 0, 0};
    std::vector<uint8_t> image = tgatest::core_image({{"one.tga", tgatest::encode(t)}});
    ASSERT_TRUE(corefile_mountmemory(image.data(), image.size()));
    static s_bitmap picture, none;
    static s_sprite sprite;
    static s_font font;
    testing::internal::CaptureStdout();
    EXPECT_EQ(CGL_LoadBitmap("one.tga", &picture), 1);
    EXPECT_EQ(CGL_LoadBitmap("gone.tga", &none), 0);
    EXPECT_EQ(CGL_LoadBitmap("one.bmp", &none), 0);
    EXPECT_EQ(none.pixels, nullptr);

    int sprites = cgl_numsprites;
    EXPECT_EQ(CGL_LoadSprite("gone.tga", &sprite), 0);
    EXPECT_EQ(cgl_numsprites, sprites + 1) << "a failed load keeps its registry place";
    EXPECT_EQ(CGL_InitFont("gone.tga", &font), 0);
    EXPECT_EQ(cgl_numfonts, fonts + 1);
    EXPECT_EQ(CGL_InitFont("one.tga", &font), 1);
    testing::internal::GetCapturedStdout();

    testing::internal::CaptureStdout();
    CGL_DeleteBitmap(&picture);
    CGL_DeleteBitmap(&cgl_fontbmp[fonts + 1]);
    testing::internal::GetCapturedStdout();
    cgl_numfonts = fonts;
    corefile_closeimage();
}
