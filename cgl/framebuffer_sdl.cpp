// The platform half of presenting: swapping the window's buffers.
#include <SDL.h>

#include "cgl/framebuffer.h"
#include "cgl/platform.h"

void sdl_swapwindow() {
    if (!winhandle) return;
    SDL_GL_SwapWindow(winhandle);
    sdl_vsync_swapped();
}
