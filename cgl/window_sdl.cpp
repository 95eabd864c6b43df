// The window and its OpenGL context through SDL, on every platform.
//
// Offers: the window's globals, CGL_SetTitle, the steps every shell takes
// to start SDL's video and make the window, the context's creation,
// glewInit and CGL_CloseVideo. Each platform's shell (cgl/desktop/
// shell_sdl.cpp, cgl/shell_web.cpp) puts the steps in its own order.
#include "cgl/platform.h"
#include "cgl/video.h"

#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

SDL_Window *winhandle = nullptr;
int CGL_DesktopWidth = 0;
int CGL_DesktopHeight = 0;

static SDL_GLContext hrc = nullptr;

int CGL_SetTitle(const char *title) {
    if (!winhandle || !title) return 0;
    sdl_runonmainthread([&] { SDL_SetWindowTitle(winhandle, title); });
    return 1;
}

int sdl_initvideo(uint32_t subsystems) {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | subsystems) == 0) return 1;
    printf("Could not start SDL video: %s\n", SDL_GetError());
    return 0;
}

// The pixel format of an OpenGL window is fixed when it is created, so the
// depth buffer is asked for here: the first of `depths` the driver has.
int sdl_createwindow(int width, int height, uint32_t flags, const int *depths, int numdepths) {
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    for (int i = 0; i < numdepths && !winhandle; i++) {
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depths[i]);
        winhandle =
            SDL_CreateWindow("CGL Application", 0, 0, width, height, SDL_WINDOW_OPENGL | flags);
    }
    if (winhandle) return 1;
    printf("Window creation failed: %s\n", SDL_GetError());
    return 0;
}

void sdl_setdesktopsize(int width, int height) {
    CGL_DesktopWidth = width;
    CGL_DesktopHeight = height;
    printf("- Desktop size: %d,%d\n", CGL_DesktopWidth, CGL_DesktopHeight);
}

void sdl_createcontext() {
    printf("- Set OpenGL hdc\n");
    hrc = SDL_GL_CreateContext(winhandle);
    if (!hrc) {
        printf("Could not create an OpenGL context: %s\n", SDL_GetError());
        fflush(stdout);
        _Exit(1);
    }
    SDL_GL_MakeCurrent(winhandle, hrc);
}

bool sdl_initglew() {
    GLenum result = glewInit();
#ifdef GLEW_ERROR_NO_GLX_DISPLAY
    // Contexts made through EGL (SDL's offscreen and Wayland drivers) have
    // no GLX display, which GLEW reports although every entry point was
    // loaded.
    if (result == GLEW_ERROR_NO_GLX_DISPLAY) return true;
#endif
    return result == GLEW_OK;
}

void CGL_CloseVideo() {
    if (!hrc) return;
    SDL_GL_MakeCurrent(winhandle, nullptr);
    SDL_GL_DeleteContext(hrc);
    hrc = nullptr;
}
