// Process entry of a program on the desktop: a command the program handles
// before any window, then the shell, the game thread running coremain, and
// the main thread pumping events until the window closes. SDL's header
// makes this the program's entry on every desktop system (on Windows,
// through SDL2main's WinMain, with the arguments in UTF-8).
#include "cgl/paths.h"
#include "cgl/platform.h"
#include "cgl/desktop.h"

#include <SDL.h>

#include <cstdio>

int sdl_main() {
    coremain();
    sdl_requestclose();
    return 1;
}

int main(int argc, char **argv) {
    sys_startoutput();
    sdl_setargs(argc, argv);
    // Before the paths: file names on the command line are the caller's.
    int status = coremain_command();
    if (status >= 0) return status;
    sdl_usegamepaths();
    if (!sdl_startup()) return 1;
    return sdl_run([] { sdl_main(); });
}
