// Offscreen framebuffers and presenting: both capability paths (GLSL or
// blending, framebuffer objects or read-back) checked on the presented
// window pixels.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cgl/cgl.h"
#include "common/gl_fixture.h"

namespace {

const int W = 1280, H = 720;

int g_fb = -1;         // the game-sized picture, 360 x 240
int g_post = -1;       // the built-in post-processing shader
s_bitmap g_solid;      // 1 x 1, recoloured per test
s_bitmap g_quadrants;  // 2 x 2: red, green / blue, white

struct Rgb {
    int r, g, b;
};
Rgb rgb(uint32_t argb) {
    return {(int)((argb >> 16) & 0xFF), (int)((argb >> 8) & 0xFF), (int)(argb & 0xFF)};
}
bool near(Rgb a, Rgb b, int tolerance = 2) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}
std::string str(Rgb c) {
    char text[32];
    snprintf(text, sizeof(text), "(%d, %d, %d)", c.r, c.g, c.b);
    return text;
}

// The presented window, top row first, as it stood in the back buffer
// right before the swap.
std::vector<uint32_t> g_presented;
void capture_presented() {
    g_presented = gl_read_pixels(0, 0, W, H);
}

std::vector<uint32_t> read_front() {
    std::vector<uint32_t> px;
    px.swap(g_presented);
    return px;
}

class FramebufferGL : public GLTest {
protected:
    static void SetUpTestSuite() {
        GLTest::SetUpTestSuite();
        if (!gl_context_up() || g_fb >= 0) return;
        suite_bitmaps = cgl_numbitmaps;
        suite_sprites = cgl_numsprites;
        suite_fonts = cgl_numfonts;
        g_fb = CGL_InitFramebuffer(360, 240);
        testing::internal::CaptureStdout();
        g_post = CGL_InitShader(vv_starfold, ff_starfold);
        CGL_CreateBitmap(1, 1, &g_solid);
        CGL_CreateBitmap(2, 2, &g_quadrants);
        CGL_DrawPixel(0, 0, 0xFFFF0000u, g_quadrants);
        CGL_DrawPixel(1, 0, 0xFF00FF00u, g_quadrants);
        CGL_DrawPixel(0, 1, 0xFF0000FFu, g_quadrants);
        CGL_DrawPixel(1, 1, 0xFFFFFFFFu, g_quadrants);
        CGL_UpdateBitmap(g_quadrants);
        testing::internal::GetCapturedStdout();
    }

    // Leaves the registries as the suite found them.
    static void TearDownTestSuite() {
        testing::internal::CaptureStdout();
        for (int i = suite_bitmaps; i < cgl_numbitmaps; i++) CGL_DeleteBitmap(cgl_bitmaplist[i]);
        testing::internal::GetCapturedStdout();
        cgl_numbitmaps = suite_bitmaps;
        cgl_numsprites = suite_sprites;
        cgl_numfonts = suite_fonts;
        g_fb = -1;
    }
    static int suite_bitmaps, suite_sprites, suite_fonts;

    void SetUp() override {
        GLTest::SetUp();
        ASSERT_GE(g_fb, 0);
        saved_shaders = CGL_shaders_enabled;
        saved_fbo = CGL_framebuffers_enabled;
        cgl_beforeswap = capture_presented;
        CGL_SetFramebuffer(g_fb);
        CGL_SetPostShader(g_post);
        glColor4f(1, 1, 1, 1);
        CGL_DisableRenderState(CGL_RENDERSTATE_BLEND | CGL_RENDERSTATE_ALPHATEST);
    }
    void TearDown() override {
        cgl_beforeswap = nullptr;
        CGL_shaders_enabled = saved_shaders;
        CGL_framebuffers_enabled = saved_fbo;
        CGL_SetFadeValue(1.0f);
        CGL_SetScanlineValue(0.0f);
        CGL_SetFramebuffer(g_fb);
    }

    void draw_solid(uint32_t argb) {
        CGL_DrawPixel(0, 0, argb, g_solid);
        CGL_UpdateBitmap(g_solid);
        CGL_DrawScaledBitmap(0, 0, 360, 240, g_solid);
    }

    int saved_shaders = 0, saved_fbo = 0;
};

int FramebufferGL::suite_bitmaps = 0;
int FramebufferGL::suite_sprites = 0;
int FramebufferGL::suite_fonts = 0;

// Which of the shader's 540 bands a window row (top row 0) falls in.
int band_of_row(int row) {
    int glrow = H - 1 - row;
    return (int)std::floor((glrow + 0.5) / H * 540.0);
}

}  // namespace

TEST_F(FramebufferGL, ShaderPath_FadeAndScanlinesByBand) {
    if (!CGL_shaders_enabled) GTEST_SKIP() << "no GLSL on this driver";
    CGL_SetFadeValue(0.5f);
    CGL_SetScanlineValue(0.2f);
    draw_solid(0xFFC86432);  // 200, 100, 50
    CGL_SwapBuffers();
    std::vector<uint32_t> px = read_front();

    const Rgb half = {100, 50, 25}, dark = {80, 40, 20};
    int checked_even = 0, checked_odd = 0;
    for (int row = 0; row < H; row++) {
        for (int x : {0, 640, 1279}) {
            Rgb got = rgb(px[(size_t)row * W + x]);
            bool even = band_of_row(row) % 2 == 0;
            Rgb want = even ? half : dark;
            ASSERT_TRUE(near(got, want))
                << "row " << row << " x " << x << " got " << str(got) << " want " << str(want);
            (even ? checked_even : checked_odd)++;
        }
    }
    EXPECT_EQ(checked_even, checked_odd);

    CGL_SetFadeValue(0.0f);
    draw_solid(0xFFFFFFFF);
    CGL_SwapBuffers();
    px = read_front();
    for (int i = 0; i < W * H; i += 997) ASSERT_EQ(px[i] & 0xFFFFFF, 0u) << "fade 0 is black";
}

TEST_F(FramebufferGL, FixedFunctionPath_FadeAndOverlayRows) {
    CGL_shaders_enabled = 0;
    CGL_SetFadeValue(1.0f);
    CGL_SetScanlineValue(0.2f);
    draw_solid(0xFFC86432);
    CGL_SwapBuffers();
    std::vector<uint32_t> px = read_front();
    // Every other window row is darkened by the overlay's black rows, the
    // odd rows counted from the bottom.
    for (int row = 0; row < H; row++) {
        bool dark = ((H - 1 - row) & 1) != 0;
        Rgb want = dark ? Rgb{160, 80, 40} : Rgb{200, 100, 50};
        for (int x : {0, 333, 1279}) {
            Rgb got = rgb(px[(size_t)row * W + x]);
            ASSERT_TRUE(near(got, want)) << "row " << row << " got " << str(got);
        }
    }

    CGL_SetFadeValue(0.5f);
    CGL_SetScanlineValue(0.0f);
    draw_solid(0xFFC86432);
    CGL_SwapBuffers();
    px = read_front();
    EXPECT_TRUE(near(rgb(px[(size_t)100 * W + 100]), Rgb{100, 50, 25}));
    EXPECT_TRUE(near(rgb(px[(size_t)101 * W + 100]), Rgb{100, 50, 25}));

    CGL_SetFadeValue(0.0f);
    draw_solid(0xFFFFFFFF);
    CGL_SwapBuffers();
    px = read_front();
    for (int i = 0; i < W * H; i += 997) ASSERT_EQ(px[i] & 0xFFFFFF, 0u) << "fade 0 is black";

    int tris = -1, binds = -1, switches = -1;
    CGL_GetRenderStatus(&tris, &binds, &switches);
    EXPECT_EQ(tris, 0);
    EXPECT_EQ(binds, 0);
    EXPECT_EQ(switches, 0);
    EXPECT_EQ(CGL_lasttextureid, -1);
}

// The quadrants land in the window's quadrants: the picture is stretched
// over the whole window, 3.56 across and 3.0 down.
static void expect_quadrants(const std::vector<uint32_t> &px, const char *path) {
    struct Probe {
        int x, y;
        Rgb want;
    } probes[] = {{0, 0, {255, 0, 0}},          {630, 350, {255, 0, 0}},    {1279, 0, {0, 255, 0}},
                  {650, 350, {0, 255, 0}},      {0, 719, {0, 0, 255}},      {630, 370, {0, 0, 255}},
                  {1279, 719, {255, 255, 255}}, {650, 370, {255, 255, 255}}};
    for (const Probe &p : probes) {
        Rgb got = rgb(px[(size_t)p.y * W + p.x]);
        EXPECT_TRUE(near(got, p.want))
            << path << " at " << p.x << "," << p.y << " got " << str(got);
    }
}

TEST_F(FramebufferGL, PictureFillsTheWholeWindowOnBothPaths) {
    for (int shaders : {1, 0}) {
        if (shaders && !saved_shaders) continue;
        CGL_shaders_enabled = shaders;
        CGL_DrawScaledBitmap(0, 0, 360, 240, g_quadrants);
        CGL_SwapBuffers();
        expect_quadrants(read_front(), shaders ? "shader" : "fixed function");
        CGL_SetFramebuffer(g_fb);
    }
}

TEST_F(FramebufferGL, ReadBackPath_PresentsThePictureDrawnAtTheLowerLeft) {
    CGL_framebuffers_enabled = 0;
    CGL_SetFramebuffer(g_fb);
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    EXPECT_EQ(bound, 0) << "drawing goes to the window's back buffer";

    glClearColor(0.2f, 0.2f, 0.2f, 1);
    glViewport(0, 0, W, H);
    glClear(GL_COLOR_BUFFER_BIT);
    CGL_SetFramebuffer(g_fb);
    CGL_DrawScaledBitmap(0, 0, 360, 240, g_quadrants);
    glFinish();
    // In the back buffer: the picture's top-left is at window row 479 from
    // the top, its bottom-right at (359, 719); beyond it the clear colour.
    EXPECT_TRUE(near(rgb(gl_window_pixel(0, H - 240)), Rgb{255, 0, 0}));
    EXPECT_TRUE(near(rgb(gl_window_pixel(359, H - 1)), Rgb{255, 255, 255}));
    EXPECT_TRUE(near(rgb(gl_window_pixel(400, H - 1)), Rgb{51, 51, 51}));
    EXPECT_TRUE(near(rgb(gl_window_pixel(10, H - 260)), Rgb{51, 51, 51}));

    for (int shaders : {1, 0}) {
        if (shaders && !saved_shaders) continue;
        CGL_shaders_enabled = shaders;
        CGL_SetFramebuffer(g_fb);
        CGL_DrawScaledBitmap(0, 0, 360, 240, g_quadrants);
        CGL_SwapBuffers();
        expect_quadrants(read_front(), shaders ? "read-back, shader" : "read-back, fixed");
    }
}

TEST_F(FramebufferGL, IndicesFollowAndThe17thIsRefused) {
    CGL_BindTexture(g_solid.texture);
    int first = CGL_InitFramebuffer(8, 8);
    // Making the framebuffer's textures bound them past the cache; binding
    // the bitmap again must really bind it.
    CGL_BindTexture(g_solid.texture);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, g_solid.texture);
    int second = CGL_InitFramebuffer(8, 8);
    ASSERT_GE(first, 0);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(CGL_framebuffers[second].index, second);
    EXPECT_EQ(CGL_framebuffers[second].width, 8);
    EXPECT_EQ(CGL_framebuffers_enabled, 1);

    int made = 2;
    while (CGL_numframebuffers < CGL_MAXFRAMEBUFFERS) {
        ASSERT_GE(CGL_InitFramebuffer(4, 4), 0);
        made++;
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(CGL_InitFramebuffer(4, 4), -1);
    EXPECT_EQ(CGL_InitFramebuffer(0, 4), -1);
    fflush(stdout);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Framebuffer table full"),
              std::string::npos);
    EXPECT_EQ(CGL_numframebuffers, CGL_MAXFRAMEBUFFERS);

    // Give the test's framebuffers back so later tests find room.
    for (int i = first; i < first + made; i++) {
        s_framebufferdata &data = CGL_framebufferdata[i];
        free(data.buffer);
        glDeleteTextures(1, &data.colourtexture);
        glDeleteTextures(1, &data.depthtexture);
        if (data.framebuffer) glDeleteFramebuffersEXT(1, &data.framebuffer);
        data = s_framebufferdata{};
    }
    CGL_numframebuffers = first;
}

TEST_F(FramebufferGL, SceneScreenshot) {
    // A small scene through the game's own path, saved for a look.
    static s_bitmap gradient, ball;
    testing::internal::CaptureStdout();
    int before = cgl_numbitmaps;
    CGL_CreateBitmap(64, 64, &gradient);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            CGL_DrawPixel(x, y,
                          0xFF000000u | (uint32_t)(x * 4) << 16 | (uint32_t)(y * 2) << 8 | 0x60,
                          gradient);
    CGL_UpdateBitmap(gradient);
    CGL_CreateBitmap(16, 16, &ball);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            int dx = x - 8, dy = y - 8;
            CGL_DrawPixel(x, y, dx * dx + dy * dy < 50 ? 0xFFFFE080u : 0u, ball);
        }
    CGL_UpdateBitmap(ball);
    testing::internal::GetCapturedStdout();
    s_sprite cell{};
    int spritesbefore = cgl_numsprites;
    CGL_GetSprite(0, 0, 16, 16, &ball, &cell);

    CGL_SetScanlineValue(0.2f);
    CGL_DrawScaledBitmap(0, 0, 360, 240, gradient);
    CGL_DrawRotatedBitmap(140, 80, gradient, 30);
    for (int i = 0; i < 12; i++) CGL_DrawSprite(20 + i * 26, 200, cell);
    for (int i = 0; i < 12; i++) CGL_DrawBlendSprite(20 + i * 26, 20 + (i % 3) * 6, cell, 1);
    static bool saved;
    saved = false;
    cgl_beforeswap = [] {
        saved = gl_save_png(std::string(QO_BINARY_DIR) + "/framebuffer_scene.png");
    };
    CGL_SwapBuffers();
    EXPECT_TRUE(saved);

    testing::internal::CaptureStdout();
    CGL_DeleteBitmap(&gradient);
    CGL_DeleteBitmap(&ball);
    testing::internal::GetCapturedStdout();
    cgl_numbitmaps = before;
    cgl_numsprites = spritesbefore;
}
