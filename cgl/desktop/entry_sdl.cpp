// Process entry of a program on the desktop: a command the program handles
// before any window, then the shell, the game thread running coremain, and
// the main thread pumping events until the window closes. A plain main on
// every desktop system (a window program on Windows too), so that the
// linker takes it from the library like any other entry; the system hands
// over the arguments in UTF-8.
#include "cgl/paths.h"
#include "cgl/platform.h"
#include "cgl/desktop.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstdio>

int sdl_main() {
    coremain();
    sdl_requestclose();
    return 1;
}

int main(int argc, char **argv) {
    SDL_SetMainReady();
    sys_startoutput();
    sys_arguments(&argc, &argv);
    sdl_setargs(argc, argv);
    // Before the paths: file names on the command line are the caller's.
    int status = coremain_command();
    if (status >= 0) return status;
    sdl_usegamepaths();
    if (!sdl_startup()) return 1;
    return sdl_run([] { sdl_main(); });
}
