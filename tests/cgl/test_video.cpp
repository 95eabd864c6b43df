// Video start-up, the frame clock and the projections.
#include "common/gl_fixture.h"

#include "cgl/cgl.h"
#include "cgl/desktop.h"

#include <GL/glew.h>

#include <SDL.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>

namespace {

// A millisecond clock under the test's control: every read returns `now`
// and then moves it on by `step`.
uint32_t g_now = 0;
uint32_t g_step = 0;
int g_reads = 0;
uint32_t fake_clock() {
    g_reads++;
    uint32_t t = g_now;
    g_now += g_step;
    return t;
}

class FrameClock : public ::testing::Test {
protected:
    void SetUp() override {
        saved = sdl_clock;
        sdl_clock = fake_clock;
        g_now = 1000;
        g_step = 0;
        g_reads = 0;
        CGL_vsync_enabled = 0;
    }
    void TearDown() override {
        sdl_clock = saved;
        CGL_vsync_enabled = 0;
    }
    uint32_t (*saved)();
};

TEST_F(FrameClock, SetRefreshRate_PeriodFromRateOrMilliseconds) {
    CGL_SetRefreshRate(60);
    EXPECT_EQ(CGL_video_updatespeed, 15u);  // 1000 / 66.0
    CGL_SetRefreshRate(50);
    EXPECT_EQ(CGL_video_updatespeed, 18u);  // 1000 / 55.0 = 18.18
    CGL_SetRefreshRate(-20);
    EXPECT_EQ(CGL_video_updatespeed, 20u);
    CGL_SetRefreshRate(1000);
    EXPECT_EQ(CGL_video_updatespeed, 1u);  // 0.9 rounds down to 0, then 1
    CGL_SetRefreshRate(0);
    EXPECT_EQ(CGL_video_updatespeed, 1u);
    g_now = 4321;
    CGL_video_currentframe = 9;
    CGL_SetRefreshRate(60);
    EXPECT_EQ(CGL_video_time, 4321u);
    EXPECT_EQ(CGL_video_starttime, 4321u);
    EXPECT_EQ(CGL_video_currentframe, 0);
}

TEST_F(FrameClock, WaitRefresh_WaitsForTickAndKeepsTheWaitingRead) {
    CGL_SetRefreshRate(60);  // time 1000, period 15
    g_step = 1;
    int frames = CGL_video_numframes;
    float ratio = CGL_WaitRefresh();
    // The wait reads 1000..1015, stops at 1015; the next read is 1016.
    EXPECT_EQ(CGL_video_time, 1015u);
    EXPECT_FLOAT_EQ(ratio, 16.0f / 15.0f);
    EXPECT_EQ(CGL_video_numframes, frames + 1);

    // A frame that took three periods returns at once with about 3.
    g_step = 0;
    g_now = 1060;
    ratio = CGL_WaitRefresh();
    EXPECT_FLOAT_EQ(ratio, 3.0f);
    EXPECT_EQ(CGL_video_time, 1060u);
}

TEST_F(FrameClock, WaitRefresh_WithVsyncReturnsAtOnce) {
    CGL_SetRefreshRate(60);
    CGL_vsync_enabled = 1;
    g_step = 1;
    g_reads = 0;
    EXPECT_FLOAT_EQ(CGL_WaitRefresh(), 1.0f);  // elapsed 1 ms, within the period
    EXPECT_EQ(g_reads, 2);
    g_step = 0;
    g_now = CGL_video_time + 45;
    EXPECT_FLOAT_EQ(CGL_WaitRefresh(), 45.0f / 15.0f);  // longer than a period
}

TEST_F(FrameClock, GetFPS_UpdatesOnlyAfterMoreThan999Milliseconds) {
    CGL_video_oldtime = 0;
    CGL_video_numframes = 7;
    g_now = 5000;
    EXPECT_EQ(CGL_GetFPS(), 7);
    EXPECT_EQ(CGL_video_numframes, 0);
    CGL_video_numframes = 3;
    g_now = 5999;
    EXPECT_EQ(CGL_GetFPS(), 7);
    g_now = 6000;
    EXPECT_EQ(CGL_GetFPS(), 3);
    EXPECT_EQ(CGL_video_oldtime, 6000u);
}

class VideoTest : public GLTest {};

TEST_F(VideoTest, InitVideo_LeavesModeFlagsAndEmptyRegistries) {
    EXPECT_EQ(CGL_video.width, 1280);
    EXPECT_EQ(CGL_video.height, 720);
    EXPECT_EQ(CGL_video.pitch, 1280);
    EXPECT_EQ(CGL_video.bitsperpixel, 32);
    EXPECT_EQ(CGL_video.redmask, 0x00FF0000);
    EXPECT_EQ(CGL_video.redshift, 16);
    EXPECT_EQ(CGL_video.last, 0);
    EXPECT_EQ(CGL_displayflags, 0);
    EXPECT_EQ(CGL_vsync_enabled, 0);
    EXPECT_EQ(CGL_video_updatespeed, 15u);
    EXPECT_EQ(cgl_numbitmaps, 0);  // the scanline bitmap is not in the registry
    int w = 0, h = 0;
    SDL_GetWindowSize(winhandle, &w, &h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 720);
    EXPECT_TRUE(SDL_GetWindowFlags(winhandle) & SDL_WINDOW_SHOWN);

    // The scanline overlay: odd rows opaque black, even rows transparent.
    ASSERT_NE(CGL_scanlinebitmap.pixels, nullptr);
    EXPECT_EQ(CGL_scanlinebitmap.width, 1280);
    EXPECT_EQ(CGL_scanlinebitmap.pixels[0] >> 24, 0u);
    EXPECT_EQ(CGL_scanlinebitmap.pixels[1280 + 5] >> 24, 0xFFu);
    EXPECT_EQ(CGL_scanlinebitmap.pixels[1280 + 5] & 0xFFFFFF, 0u);
    EXPECT_EQ(CGL_scanlinebitmap.pixels[719 * 1280] >> 24, 0xFFu);
    EXPECT_EQ(CGL_scanlinebitmap.pixels[718 * 1280] >> 24, 0u);
}

TEST_F(VideoTest, Enable2D_PixelProjectionOfTheViewport) {
    glViewport(0, 0, 360, 240);
    CGL_projectionmode = 1;
    CGL_Enable2D();
    EXPECT_EQ(CGL_projectionmode, 0);
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 2.0f / 360);
    EXPECT_FLOAT_EQ(m[5], -2.0f / 240);  // y grows downwards
    EXPECT_FLOAT_EQ(m[12], -1.0f);
    EXPECT_FLOAT_EQ(m[13], 1.0f);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));

    // While the projection is in force, a viewport change alone does not
    // rebuild it; the mode flag does.
    glViewport(0, 0, 100, 100);
    CGL_Enable2D();
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 2.0f / 360);

    CGL_Disable2D();
    EXPECT_EQ(CGL_projectionmode, 1);
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_FLOAT_EQ(m[11], -1.0f);  // a perspective frustum
    CGL_Disable2D();
    EXPECT_EQ(CGL_projectionmode, 1);
}

TEST_F(VideoTest, PerspectiveAndLookAt_BuildTheExpectedMatrices) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    CGL_Perspective(45, 16.0f / 9.0f, 0.01f, 1000);
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    double f = 1.0 / tan(45 * 3.141592653589793 / 360);
    EXPECT_NEAR(m[5], f, 1e-4);
    EXPECT_NEAR(m[0], f / (16.0 / 9.0), 1e-4);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    CGL_LookAt(0, 0, 5, 0, 0, 0);  // looking down -z from z = 5
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_NEAR(m[0], 1, 1e-5);
    EXPECT_NEAR(m[10], 1, 1e-5);
    EXPECT_NEAR(m[14], -5, 1e-5);

    glLoadIdentity();
    CGL_LookAt(0, 5, 0, 0, 0, 0);  // straight down: +90 about x
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_NEAR(m[6], 1, 1e-5);
    EXPECT_NEAR(m[9], -1, 1e-5);

    glLoadIdentity();
    CGL_LookAt(1, 1, 1, 1, 1, 1);  // no direction: nothing
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 1);
    EXPECT_FLOAT_EQ(m[14], 0);
}

}  // namespace

// The vsync probe against two kinds of swap on the real clock: one held to
// a 60 Hz display (it returns on the next period's boundary, as a blocking
// swap does) after frames that take half a period to draw, and one that
// returns at once from frames that take 16.7 ms to draw, which the probe's
// pause then makes longer.
TEST(VsyncProbe, KeepsAHeldSwapAndTurnsOffOneThatIsNot) {
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::microseconds(16667);
    ::testing::internal::CaptureStdout();
    CGL_vsync_enabled = 1;
    sdl_vsync_probe();
    for (int i = 0; i < 40 && CGL_vsync_enabled; i++) {
        std::this_thread::sleep_for(period / 2);
        auto since = clock::now().time_since_epoch();
        std::this_thread::sleep_until(clock::time_point((since / period + 1) * period));
        sdl_vsync_swapped();
    }
    EXPECT_EQ(CGL_vsync_enabled, 1);

    sdl_vsync_probe();
    for (int i = 0; i < 40 && CGL_vsync_enabled; i++) {
        std::this_thread::sleep_for(period);
        sdl_vsync_swapped();
    }
    EXPECT_EQ(CGL_vsync_enabled, 0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Vsync paces the frames"), std::string::npos) << out;
    EXPECT_NE(out.find("Vsync does not pace the frames"), std::string::npos) << out;
}
