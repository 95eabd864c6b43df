// The platform half of presenting: the size of the window's drawable and
// swapping its buffers.
#include <SDL.h>

#include "cgl/framebuffer.h"
#include "cgl/platform.h"

void sdl_swapwindow() {
    if (!winhandle) return;
    SDL_GL_SwapWindow(winhandle);
    sdl_vsync_swapped();
}

void sdl_drawablesize(int *width, int *height) {
    if (winhandle) SDL_GL_GetDrawableSize(winhandle, width, height);
}
