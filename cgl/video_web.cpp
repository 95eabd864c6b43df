// Video context and frame pacing in the browser.
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

#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

static SDL_GLContext hrc = nullptr;

int sdl_openwindow(int width, int height, int flags) {
    printf("- Set window position\n");
    SDL_SetWindowSize(winhandle, width, height);
    printf("- Init Screenmode\n");
    printf("- Set focus\n");
    printf("- Set OpenGL hdc\n");
    hrc = SDL_GL_CreateContext(winhandle);
    if (!hrc) {
        printf("Could not create an OpenGL context: %s\n", SDL_GetError());
        fflush(stdout);
        _Exit(1);
    }
    SDL_GL_MakeCurrent(winhandle, hrc);
    return flags & ~1;  // full screen is the page's, through its button
}

bool sdl_initglew() {
    return glewInit() == GLEW_OK;
}

void CGL_CloseVideo() {
    if (!hrc) return;
    SDL_GL_MakeCurrent(winhandle, nullptr);
    SDL_GL_DeleteContext(hrc);
    hrc = nullptr;
}

void setVSync(int) {
    CGL_vsync_enabled = 0;
}
void VSyncOn(char) {}
void sdl_vsync_probe() {}
void sdl_vsync_swapped() {}

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
