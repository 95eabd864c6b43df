#include "common/gl_context.h"

#include <SDL.h>

#include <cstdlib>

#include "cgl/cgl.h"

static int g_state = 0;  // 0 not tried, 1 up, -1 failed

bool gl_context_up() {
    if (g_state != 0) return g_state > 0;
    g_state = -1;
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!sdl_startup()) {
        SDL_Quit();
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        if (!sdl_startup()) return false;
    }
    CGL_InitVideo(1280, 720, 0);
    g_state = 1;
    return true;
}
