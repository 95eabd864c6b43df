// Process entry of a program in the browser: its saves are fetched from the
// browser's storage, the shell starts, and coremain runs on the page's own
// thread, starting again whenever it returns.
#include "cgl/paths.h"
#include "cgl/platform.h"

#include <emscripten.h>

#include <cstdio>

int main() {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    sdl_usegamepaths();
    // The page shows why the program stopped (onExit).
    if (!sdl_startup()) emscripten_force_exit(1);
    return sdl_run([] { coremain(); });
}
