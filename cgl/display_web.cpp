// The display and frame pacing in the browser.
//
// The window is the page's canvas, always 1280 x 720 pixels inside: the
// page scales it to fit. There is no display mode to change and no swap
// interval: the browser shows a frame when control goes back to it. So the
// frame wait hands control back until an animation frame comes at or after
// the next tick of the game's own clock, 60 a second whatever the display's
// refresh. Where frames come slower than the ticks (30 or 50 a second on a
// phone saving power or a 50 Hz display), the ticks that passed meanwhile
// are taken at once, one step each, without waiting in between: only the
// last step of a frame is seen, and the game keeps its speed. Where they come
// faster (120, 144 Hz, or uncapped) frames without a tick are skipped. A
// hidden tab gets no animation frames and so takes no steps; on its return
// the clock starts afresh instead of catching up.
#include "cgl/video.h"
#include "cgl/platform.h"
#include "cgl/framebuffer.h"

#include <SDL.h>
#include <emscripten/html5.h>

#include <cstdio>

int sdl_openwindow(int width, int height, int flags) {
    printf("- Set window position\n");
    SDL_SetWindowSize(winhandle, width, height);
    printf("- Init Screenmode\n");
    printf("- Set focus\n");
    sdl_createcontext();
    return flags & ~1;  // full screen is the page's, through its button
}

// The browser shows a frame when control goes back to it, at the display's
// pace; the game's own clock decides when a step is due.
void setVSync(int) {
    CGL_vsync_enabled = 0;
}
void VSyncOn(char) {}

// Waits for the first animation frame at or after `due` (performance.now()
// milliseconds) and returns its time; counts a step taken
// (cmake/cgl-web-library.js).
extern "C" double cgl_web_animationframe(double due);
extern "C" void cgl_web_step();

// Ticks already due when the last animation frame came, taken without
// waiting: the picture of every step but the last of them goes unseen.
static int g_owed = 0;

bool sdl_frameunseen() {
    return g_owed > 0;
}

float CGL_WaitRefresh() {
    // A frame may come this much before its tick and still take it: the
    // display's own period jitters around 16.7 ms.
    const double kEarly = 4.0;
    // Steps one animation frame may take: 15 frames a second still keep 60
    // steps. More ticks behind is a stall (a busy tab, a slow first frame),
    // and the clock starts afresh instead of racing to catch up.
    const int kMostStepsPerFrame = 4;
    static double next_tick = 0;

    // The page asked the program to stop (shell_web.cpp): it starts afresh
    // here unless work that must not be cut off holds the close.
    sdl_parkifstopping();
    CGL_video_numframes++;
    cgl_web_step();
    sdl_pumpevents();
    const double period = cgl_video_period;
    if (g_owed > 0) {
        g_owed--;
    } else {
        double now = cgl_web_animationframe(next_tick - kEarly);
        // Ticks due by this frame, counting the one it came for.
        int due = period > 0 ? 1 + (int)((now + kEarly - next_tick) / period) : 1;
        if (due > kMostStepsPerFrame) {
            next_tick = now;
            due = 1;
        }
        g_owed = due - 1;
        sdl_pumpevents();
    }
    next_tick += period;
    CGL_video_time = CGL_GetMillis();
    return 1.0f;
}

// ---------------------------------------------------------------------------
// Presenting
//
// The page lays the canvas out at 16:9 in CSS pixels; its backing store
// follows that box times the device pixel ratio, so the picture is drawn at
// the size it is shown and its scanlines stay sharp, up to 1920 x 1080: the
// 360 x 240 picture gains nothing past that, and a phone with a pixel ratio
// of 3 would otherwise draw six million pixels a frame. The browser shows
// the frame when the frame wait hands control back to it: the swap has
// nothing to do, and waiting for the drawing to finish would only stall the
// browser's own pipeline.

void sdl_swapwindow() {}

void sdl_drawablesize(int *width, int *height) {
    const double kMostWidth = 1920, kMostHeight = 1080;
    double css_w = 0, css_h = 0;
    if (emscripten_get_element_css_size("#canvas", &css_w, &css_h) != EMSCRIPTEN_RESULT_SUCCESS)
        return;
    double ratio = emscripten_get_device_pixel_ratio();
    if (css_w * ratio > kMostWidth) ratio = kMostWidth / css_w;
    if (css_h * ratio > kMostHeight) ratio = kMostHeight / css_h;
    int want_w = (int)(css_w * ratio + 0.5), want_h = (int)(css_h * ratio + 0.5);
    if (want_w <= 0 || want_h <= 0) return;
    int w = 0, h = 0;
    emscripten_get_canvas_element_size("#canvas", &w, &h);
    if (w != want_w || h != want_h) emscripten_set_canvas_element_size("#canvas", want_w, want_h);
    *width = want_w;
    *height = want_h;
}
