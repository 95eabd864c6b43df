// Render core against a real context: the bind and render-state caches,
// the counters, culling, and where quads land in the 2D projection.
#include "common/gl_fixture.h"

#include "cgl/cgl.h"

#include <GL/glew.h>

namespace {

class RenderTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure()) return;
        if (fb < 0) fb = CGL_InitFramebuffer(360, 240);
        CGL_SetFramebuffer(fb);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        CGL_stats_numtriangles = CGL_stats_numtexturebinds = CGL_stats_numstateswitches = 0;
    }
    static int fb;

    // A w x h texture of one opaque colour (0xRRGGBB).
    static int solid_texture(int w, int h, uint32_t rgb) {
        static std::vector<uint32_t> pixels;
        pixels.assign((size_t)w * h, 0);
        uint32_t rgba = 0xFF000000u | ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
        for (auto &p : pixels) p = rgba;
        s_bitmap bitmap{};
        bitmap.width = w;
        bitmap.height = h;
        bitmap.pixels = pixels.data();
        return CGL_CreateTexture(bitmap);
    }

    static uint32_t fb_pixel(int x, int y) {
        return gl_read_pixels(x, 240 - 1 - y, 1, 1)[0] & 0xFFFFFF;
    }
};
int RenderTest::fb = -1;

TEST_F(RenderTest, BindTexture_SkipsRepeatedBindUntilFramePresented) {
    int a = solid_texture(2, 2, 0xFF0000);
    int b = solid_texture(2, 2, 0x00FF00);
    CGL_lasttextureid = -1;
    CGL_stats_numtexturebinds = 0;

    CGL_BindTexture(a);
    CGL_BindTexture(a);
    EXPECT_EQ(CGL_stats_numtexturebinds, 1);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, a);

    CGL_BindTexture(b);
    CGL_BindTexture(a);
    EXPECT_EQ(CGL_stats_numtexturebinds, 3);
    EXPECT_EQ(CGL_lasttextureid, a);

    // Presenting a frame forgets the cached id and resets the counters.
    CGL_SwapBuffers();
    EXPECT_EQ(CGL_lasttextureid, -1);
    EXPECT_EQ(CGL_stats_numtexturebinds, 0);
    CGL_SetFramebuffer(fb);
    CGL_BindTexture(a);
    EXPECT_EQ(CGL_stats_numtexturebinds, 1);
}

TEST_F(RenderTest, CreateAndUpdateTexture_DoNotLeaveTheCacheStale) {
    int a = solid_texture(2, 2, 0xFF0000);
    CGL_BindTexture(a);
    int b = solid_texture(2, 2, 0x00FF00);  // binds b directly
    CGL_BindTexture(a);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, a);

    uint32_t pixel = 0xFF0000FFu;
    s_bitmap bitmap{};
    bitmap.width = bitmap.height = 1;
    bitmap.pixels = &pixel;
    bitmap.texture = b;
    CGL_UpdateTexture(bitmap);
    CGL_BindTexture(a);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, a);
}

TEST_F(RenderTest, RenderState_RequestIsAllOrNothing) {
    CGL_DisableRenderState(0x0F);
    CGL_EnableRenderState(CGL_RENDERSTATE_ALPHATEST);
    EXPECT_EQ(CGL_renderstate, 0x02);
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    int switches = CGL_stats_numstateswitches;

    CGL_EnableRenderState(0x06);  // 0x02 is already on: nothing happens
    EXPECT_EQ(CGL_renderstate, 0x02);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    CGL_DisableRenderState(0x05);  // neither bit is on
    EXPECT_EQ(CGL_renderstate, 0x02);
    EXPECT_EQ(CGL_stats_numstateswitches, switches);

    CGL_EnableRenderState(CGL_RENDERSTATE_BLEND | CGL_RENDERSTATE_LIGHTING);
    EXPECT_EQ(CGL_renderstate, 0x0E);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_EQ(CGL_stats_numstateswitches, switches + 1);

    CGL_DisableRenderState(0x06);
    EXPECT_EQ(CGL_renderstate, 0x08);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(CGL_stats_numstateswitches, switches + 2);
    CGL_DisableRenderState(0x0F);
}

TEST_F(RenderTest, BlendModes_SetFunctionButLeaveOthersAlone) {
    GLint src = 0, dst = 0;
    CGL_SetBlendMode(1);
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_SRC_COLOR);
    EXPECT_EQ(dst, GL_DST_COLOR);

    CGL_SetBlendmode(2);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(dst, GL_ONE);

    CGL_SetBlendMode(0);
    CGL_SetBlendMode(7);
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_SRC_COLOR);
    EXPECT_EQ(dst, GL_ONE);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));  // choosing a mode never switches blending on
}

TEST_F(RenderTest, DrawQuad_CullsAgainstFramebufferStrictly) {
    CGL_BindTexture(solid_texture(1, 1, 0xFFFFFF));
    struct Case {
        float x, y;
        int triangles;
    } cases[] = {
        {-10.0f, 0, 0},                  // touches the left edge from outside
        {-9.5f, 0, 2},                   // half a pixel inside
        {360.0f, 0, 0},                  // starts at the right edge
        {359.5f, 0, 2}, {0, -10.0f, 0},  // touches the top edge from outside
        {0, 240.0f, 0},                  // starts at the bottom edge
        {0, 239.0f, 2},
    };
    for (const Case &c : cases) {
        CGL_stats_numtriangles = 0;
        CGL_DrawQuad(c.x, c.y, 10, 10, 0, 0, 1, 1);
        EXPECT_EQ(CGL_stats_numtriangles, c.triangles) << "quad at " << c.x << "," << c.y;
        CGL_stats_numtriangles = 0;
        CGL_DrawRotatedQuad(c.x, c.y, 10, 10, 0, 0, 1, 1, 45);
        EXPECT_EQ(CGL_stats_numtriangles, c.triangles) << "rotated quad at " << c.x << "," << c.y;
    }
}

TEST_F(RenderTest, DrawQuad_UsesTopLeftPixelCoordinatesOfTheFramebuffer) {
    glColor4f(1, 1, 1, 1);
    CGL_BindTexture(solid_texture(4, 4, 0xFF0000));
    CGL_DrawQuad(10, 20, 4, 6, 0, 0, 1, 1);
    EXPECT_EQ(fb_pixel(10, 20), 0xFF0000u);
    EXPECT_EQ(fb_pixel(13, 25), 0xFF0000u);
    EXPECT_EQ(fb_pixel(9, 20), 0u);
    EXPECT_EQ(fb_pixel(14, 20), 0u);
    EXPECT_EQ(fb_pixel(10, 19), 0u);
    EXPECT_EQ(fb_pixel(10, 26), 0u);
    EXPECT_EQ(CGL_projectionmode, 0);
}

TEST_F(RenderTest, DrawRotatedQuad_TurnsClockwiseAboutItsCentre) {
    glColor4f(1, 1, 1, 1);
    CGL_BindTexture(solid_texture(1, 1, 0x00FF00));
    // At angle 0 the same rectangle as the plain quad.
    CGL_DrawRotatedQuad(100, 100, 20, 4, 0, 0, 1, 1, 0);
    EXPECT_EQ(fb_pixel(100, 100), 0x00FF00u);
    EXPECT_EQ(fb_pixel(119, 103), 0x00FF00u);
    EXPECT_EQ(fb_pixel(100, 104), 0u);

    glClear(GL_COLOR_BUFFER_BIT);
    // A 20x4 bar turned by 90 degrees stands upright about (110, 102).
    CGL_DrawRotatedQuad(100, 100, 20, 4, 0, 0, 1, 1, 90);
    EXPECT_EQ(fb_pixel(110, 93), 0x00FF00u);
    EXPECT_EQ(fb_pixel(110, 111), 0x00FF00u);
    EXPECT_EQ(fb_pixel(101, 102), 0u);
    EXPECT_EQ(fb_pixel(118, 102), 0u);

    // Texture coordinates turn with it: left half red, right half blue.
    glClear(GL_COLOR_BUFFER_BIT);
    static uint32_t two[2] = {0xFF0000FFu, 0xFFFF0000u};  // red, blue (RGBA bytes)
    s_bitmap bitmap{};
    bitmap.width = 2;
    bitmap.height = 1;
    bitmap.pixels = two;
    CGL_BindTexture(CGL_CreateTexture(bitmap));
    CGL_DrawRotatedQuad(100, 100, 20, 4, 0, 0, 1, 1, 90);  // clockwise: left end goes up
    EXPECT_EQ(fb_pixel(110, 94), 0xFF0000u);
    EXPECT_EQ(fb_pixel(110, 110), 0x0000FFu);
}

TEST_F(RenderTest, DrawBox_FillsUntexturedAndLeavesColourCurrent) {
    CGL_BindTexture(solid_texture(1, 1, 0x0000FF));
    CGL_DrawBox(30, 40, 5, 5, 0x336699);
    uint32_t p = fb_pixel(32, 42);
    EXPECT_NEAR((int)(p >> 16), 0x33, 1);
    EXPECT_NEAR((int)((p >> 8) & 0xFF), 0x66, 1);
    EXPECT_NEAR((int)(p & 0xFF), 0x99, 1);
    EXPECT_EQ(fb_pixel(35, 42), 0u);
    EXPECT_EQ(CGL_stats_numtriangles, 0);  // boxes are not counted
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_NEAR(colour[0], 0x33 / 255.0, 1e-3);
    EXPECT_NEAR(colour[2], 0x99 / 255.0, 1e-3);
    glColor4f(1, 1, 1, 1);
}

TEST_F(RenderTest, GetRenderStatus_CopiesCounters) {
    CGL_stats_numtriangles = 4;
    CGL_stats_numtexturebinds = 2;
    CGL_stats_numstateswitches = 7;
    int t = 0, b = 0, s = 0;
    CGL_GetRenderStatus(&t, &b, &s);
    EXPECT_EQ(t, 4);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(s, 7);
    CGL_GetRenderStatus(nullptr, nullptr, nullptr);
}

}  // namespace
