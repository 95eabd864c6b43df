// The platform half of presenting: swapping the window's buffers.
#include <SDL.h>

#include "cgl/framebuffer.h"
#include "cgl/platform.h"

void sdl_swapwindow() {
    if (winhandle) SDL_GL_SwapWindow(winhandle);
}
