// The program's command line, as the process entry received it.
//
// Offers: CGL_GetArgs for the program, sdl_setargs for the entry.
// Depends on: nothing; the same on every platform.
#include "cgl/platform.h"

namespace {
int g_argc = 0;
const char *const *g_argv = nullptr;
}  // namespace

void sdl_setargs(int argc, char **argv) {
    g_argc = argv ? argc : 0;
    g_argv = argv;
}

int CGL_GetArgs(const char *const **argv) {
    static const char *const kNone[] = {nullptr};
    if (argv) *argv = g_argv ? g_argv : kNone;
    return g_argc;
}
