// Process entry of the game: the shell starts, the game thread runs
// coremain, and the main thread pumps events until the window closes.
#include "cgl/paths.h"
#include "cgl/platform.h"

#include <cstdio>

int sdl_main() {
    coremain();
    sdl_requestclose();
    return 1;
}

int main(int argc, char **argv) {
    // Progress lines are read by people and by tests through a pipe: give
    // them out line by line.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    sdl_setargs(argc, argv);
    // Before the paths: file names on the command line are the caller's.
    if (coremain_command) {
        int status = coremain_command();
        if (status >= 0) return status;
    }
    sdl_usegamepaths();
    if (!sdl_startup()) return 1;
    return sdl_run([] { sdl_main(); });
}
