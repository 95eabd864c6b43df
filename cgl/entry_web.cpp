// Process entry of a program in the browser: a command the program handles
// before any window (the page may pass arguments), then its saves fetched
// from the browser's storage, the shell, and coremain on the page's own
// thread, started again whenever it returns.
#include "cgl/paths.h"
#include "cgl/platform.h"

#include <emscripten.h>

#include <cstdio>

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    sdl_setargs(argc, argv);
    int status = coremain_command();
    if (status >= 0) return status;
    sdl_usegamepaths();
    // The page shows why the program stopped (onExit).
    if (!sdl_startup()) emscripten_force_exit(1);
    return sdl_run([] { coremain(); });
}
