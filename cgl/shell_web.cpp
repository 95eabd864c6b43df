// The shell in the browser, through SDL2 built for the web.
//
// There is one thread: coremain runs on the browser's main thread, and the
// frame wait (display_web.cpp) hands control back to the browser, which
// then delivers events and runs the audio callback. The window is the
// page's canvas, shown from the start; no display mode is ever changed.
#include "cgl/platform.h"
#include "cgl/gamepad.h"
#include "cgl/video.h"

#include <SDL.h>
#include <emscripten.h>

#include <cstdio>

// In cmake/cgl-web-library.js.
extern "C" double cgl_web_datenow();
extern "C" void cgl_web_keep();
extern "C" void cgl_web_restart();

// Milliseconds of the wall clock when the page started, advanced by the
// page's monotonic clock: steady for the frame clock, and different from one
// visit to the next for the random seed taken from it.
static uint32_t web_ticks() {
    static const double start = cgl_web_datenow() - emscripten_get_now();
    return (uint32_t)(uint64_t)(start + emscripten_get_now());
}
uint32_t (*sdl_clock)() = web_ticks;

uint32_t CGL_GetMillis() {
    return sdl_clock();
}
bool sdl_clock_is_real() {
    return sdl_clock == web_ticks;
}

void sdl_runonmainthread(const std::function<void()> &fn) {
    fn();
}

int sdl_startup() {
    cgl_web_keep();  // what SDL's audio needs from the runtime
    if (!sdl_initvideo(SDL_INIT_GAMECONTROLLER)) return 0;
    const int depths[] = {24};
    if (!sdl_createwindow(1280, 720, 0, depths, 1)) return 0;
    sdl_setdesktopsize(1280, 720);
    sdl_gamepadinit();
    return 1;
}

// The game runs until it returns (its player left the title screen), and
// then starts again: a page has no window to close. The page is loaded
// anew rather than coremain called again, since a program keeps what it
// loads until its process ends.
// A program that ends before its first frame could not start: the page
// then says so instead of loading it again and again.
int sdl_run(void (*body)()) {
    body();
    if (CGL_video_numframes == 0) {
        printf("The program ended before its first frame\n");
        emscripten_force_exit(1);
    }
    printf("- Starting again\n");
    cgl_web_restart();
    return 0;
}
