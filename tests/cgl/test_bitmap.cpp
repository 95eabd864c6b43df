// Bitmaps with OpenGL: loading through the archive into the texture, the
// registry's bound, zoomed drawing.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "cgl/cgl.h"
#include "common/gl_fixture.h"
#include "corefile/corefile.h"
#include "tests/cgl/tga_writer.h"

using tgatest::make;

// ---------------------------------------------------------------------------
// With OpenGL

class BitmapGL : public GLTest {};

TEST_F(BitmapGL, LoadsThroughTheArchiveIntoTheTexture) {
    std::vector<uint8_t> pic = tgatest::encode(make(2, 32, 2, 1, 0x20, {0x80FF0000, 0xFF00FF00}));
    std::vector<uint8_t> image = tgatest::core_image({{"pic.tga", pic}, {"short.tga", {1, 2, 3}}});
    ASSERT_TRUE(corefile_mountmemory(image.data(), image.size()));

    static s_bitmap b;
    int before = cgl_numbitmaps;
    testing::internal::CaptureStdout();
    CGL_LoadBitmap("PIC.TGA", &b);
    fflush(stdout);
    // The archive reports its own finding between the two lines.
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Loading TGA image.", 0), 0u) << out;
    EXPECT_NE(out.find("width: 2, height: 1, bpp: 32\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
    ASSERT_NE(b.pixels, nullptr);
    EXPECT_EQ(cgl_numbitmaps, before + 1);
    EXPECT_EQ(cgl_bitmaplist[before], &b);

    uint8_t tex[8] = {0};
    glBindTexture(GL_TEXTURE_2D, (GLuint)b.texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, tex);
    CGL_lasttextureid = -1;
    const uint8_t expect[8] = {0xFF, 0x00, 0x00, 0x80, 0x00, 0xFF, 0x00, 0xFF};
    EXPECT_EQ(memcmp(tex, expect, 8), 0) << "red first in the texture";

    // An edit shows in the texture after CGL_UpdateBitmap only.
    CGL_DrawPixel(0, 0, 0xFF0000FFu, b);
    CGL_UpdateBitmap(b);
    glBindTexture(GL_TEXTURE_2D, (GLuint)b.texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, tex);
    EXPECT_EQ(tex[0], 0x00);
    EXPECT_EQ(tex[2], 0xFF);

    // A file shorter than its header is refused with the error line.
    static s_bitmap s;
    testing::internal::CaptureStdout();
    CGL_LoadBitmap("short.tga", &s);
    fflush(stdout);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Loading TGA image.", 0), 0u) << out;
    EXPECT_NE(out.find("- ERROR: Image short.tga not loaded.\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("width:"), std::string::npos) << out;
    EXPECT_EQ(s.pixels, nullptr);
    EXPECT_EQ(cgl_numbitmaps, before + 1);

    // A static bitmap keeps its texture without pixels; deleting it gives
    // the texture back too.
    static s_bitmap st;
    testing::internal::CaptureStdout();
    CGL_LoadStaticBitmap("pic.tga", &st);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(st.pixels, nullptr);
    EXPECT_EQ(st.width, 2);
    GLuint texture = (GLuint)st.texture;
    EXPECT_TRUE(glIsTexture(texture));
    testing::internal::CaptureStdout();
    CGL_DeleteBitmap(&st);
    CGL_DeleteBitmap(&st);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "deleting bitmap\n");
    EXPECT_FALSE(glIsTexture(texture));

    testing::internal::CaptureStdout();
    CGL_DeleteBitmap(&b);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "deleting bitmap\n");
    EXPECT_EQ(b.pixels, nullptr);
    cgl_numbitmaps = before;
    corefile_closeimage();
}

TEST_F(BitmapGL, RegistryRefusesThe1025thBitmap) {
    int before = cgl_numbitmaps;
    cgl_numbitmaps = CGL_MAXBITMAPS;
    static s_bitmap b;
    testing::internal::CaptureStdout();
    EXPECT_EQ(CGL_CreateBitmap(4, 4, &b), 0);
    fflush(stdout);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Bitmap table full"), std::string::npos);
    EXPECT_EQ(b.pixels, nullptr);
    cgl_numbitmaps = before;

    testing::internal::CaptureStdout();
    EXPECT_EQ(CGL_CreateBitmap(0, 4, &b), 0);
    EXPECT_EQ(CGL_CreateBitmap(-3, 4, &b), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(cgl_numbitmaps, before);

    ASSERT_EQ(CGL_CreateBitmap(10, 3, &b), 1);
    EXPECT_EQ(cgl_numbitmaps, before + 1);
    EXPECT_NE(b.texture, 0);
    for (int i = 0; i < b.numpixels; i++) EXPECT_EQ(b.pixels[i], 0u);
    testing::internal::CaptureStdout();
    CGL_DeleteBitmap(&b);
    testing::internal::GetCapturedStdout();
    cgl_numbitmaps = before;
}

TEST_F(BitmapGL, ZoomedBitmapDrawsTruncatedSize) {
    int before = cgl_numbitmaps;
    static s_bitmap b;
    ASSERT_TRUE(CGL_CreateBitmap(10, 3, &b));
    CGL_ClearColorBitmap(b, (int)0xFF0000FF);  // memory order: opaque red
    EXPECT_EQ(CGL_GetPixel(9, 2, b), 0xFFFF0000u);

    int fb = CGL_InitFramebuffer(64, 32);
    ASSERT_GE(fb, 0);
    CGL_SetFramebuffer(fb);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 1, 1, 1);
    CGL_DrawZoomedBitmap(2, 3, 150, b);  // 15 x 4
    glFinish();
    // Framebuffer rows run bottom-up: picture row y is read at 31 - y.
    std::vector<uint32_t> px = gl_read_pixels(0, 0, 64, 32);
    auto at = [&](int x, int y) { return px[(size_t)y * 64 + x] & 0xFFFFFF; };
    EXPECT_EQ(at(2, 3), 0xFF0000u);
    EXPECT_EQ(at(16, 6), 0xFF0000u);
    EXPECT_EQ(at(17, 6), 0u) << "width 10 * 150 / 100 = 15";
    EXPECT_EQ(at(16, 7), 0u) << "height 3 * 150 / 100 = 4";
    EXPECT_EQ(at(1, 3), 0u);

    testing::internal::CaptureStdout();
    CGL_DeleteBitmap(&b);
    testing::internal::GetCapturedStdout();
    cgl_numbitmaps = before;
    CGL_SetFramebuffer(0);
}
