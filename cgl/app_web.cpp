// Platform shell in the browser, through SDL2 built for the web.
//
// There is one thread: coremain runs on the browser's main thread, and the
// frame wait (video_web.cpp) hands control back to the browser, which then
// delivers events and runs the audio callback. Events are taken from SDL's
// queue by sdl_pumpevents, called from that wait. Nothing here changes a
// display mode or needs a signal, and no request has to cross threads.
#include "cgl/platform.h"
#include "cgl/input.h"
#include "cgl/gamepad.h"
#include "cgl/video.h"

#include <SDL.h>
#include <emscripten.h>

#include <cstdio>

SDL_Window *winhandle = nullptr;
int CGL_DesktopWidth = 0;
int CGL_DesktopHeight = 0;

// Milliseconds of the wall clock when the page started, advanced by the
// page's monotonic clock: steady for the frame clock, and different from one
// visit to the next for the random seed taken from it.
// In cmake/cgl-web-library.js.
extern "C" double cgl_web_datenow();
extern "C" void cgl_web_keep();
extern "C" void cgl_web_restart();

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

int CGL_SetTitle(const char *title) {
    if (!winhandle || !title) return 0;
    SDL_SetWindowTitle(winhandle, title);
    return 1;
}

void sdl_pumpevents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) sdl_handleevent(event);
}

// Nothing to give back and nowhere to park: a page is closed by the browser.
void sdl_modechanged() {}
void sdl_parkifstopping() {}
void sdl_requestclose() {}

int sdl_startup() {
    cgl_web_keep();  // what SDL's audio needs from the runtime
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_GAMECONTROLLER) != 0) {
        printf("Could not start SDL video: %s\n", SDL_GetError());
        return 0;
    }
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    winhandle = SDL_CreateWindow("CGL Application", 0, 0, 1280, 720, SDL_WINDOW_OPENGL);
    if (!winhandle) {
        printf("Window creation failed: %s\n", SDL_GetError());
        return 0;
    }
    CGL_DesktopWidth = 1280;
    CGL_DesktopHeight = 720;
    printf("- Desktop size: %d,%d\n", CGL_DesktopWidth, CGL_DesktopHeight);
    sdl_gamepadinit();
    return 1;
}

// A page is never closed under the game's hands in a way it could wait for,
// and every save is written back to the storage as it is made.
void CGL_HoldClose() {}
void CGL_ReleaseClose() {}
int CGL_CloseRequested() {
    return 0;
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
