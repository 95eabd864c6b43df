// The display and frame pacing in the browser.
//
// The window is the page's canvas, always 1280 x 720 pixels inside: the
// page scales it to fit. There is no display mode to change and no swap
// interval: the browser shows a frame when control goes back to it. So the
// frame wait hands control back until an animation frame comes at or after
// the next tick of the game's own clock, 60 a second whatever the display's
// refresh (every second frame at 120 Hz, two in five at 144 Hz, and no faster
// where the browser does not cap its frames). A hidden tab gets no animation
// frames and so takes no steps; on its return the clock starts afresh
// instead of catching up.
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
// milliseconds) and returns its time (cmake/cgl-web-library.js).
extern "C" double cgl_web_animationframe(double due);

float CGL_WaitRefresh() {
    // A frame may come this much before its tick and still take it: the
    // display's own period jitters around 16.7 ms.
    const double kEarly = 4.0;
    static double next_tick = 0;
    CGL_video_numframes++;
    sdl_pumpevents();
    const double period = cgl_video_period;
    double now = cgl_web_animationframe(next_tick - kEarly);
    // Behind by more than a few ticks (a hidden tab, a stall): start afresh.
    if (now - next_tick > 3 * period) next_tick = now;
    next_tick += period;
    sdl_pumpevents();
    CGL_video_time = CGL_GetMillis();
    return 1.0f;
}

// ---------------------------------------------------------------------------
// Presenting
//
// The page lays the canvas out at 16:9 in CSS pixels; its backing store
// follows that box times the device pixel ratio, so the picture is drawn at
// the size it is shown and its scanlines stay sharp. The browser shows the
// frame when the frame wait hands control back to it: the swap has nothing
// to do.

void sdl_swapwindow() {}

void sdl_drawablesize(int *width, int *height) {
    double css_w = 0, css_h = 0;
    if (emscripten_get_element_css_size("#canvas", &css_w, &css_h) != EMSCRIPTEN_RESULT_SUCCESS)
        return;
    const double ratio = emscripten_get_device_pixel_ratio();
    int want_w = (int)(css_w * ratio + 0.5), want_h = (int)(css_h * ratio + 0.5);
    if (want_w <= 0 || want_h <= 0) return;
    int w = 0, h = 0;
    emscripten_get_canvas_element_size("#canvas", &w, &h);
    if (w != want_w || h != want_h) emscripten_set_canvas_element_size("#canvas", want_w, want_h);
    *width = want_w;
    *height = want_h;
}
