// The program's command line, as the process entry received it, and the
// status the process ends with.
//
// Offers: CGL_GetArgs and CGL_SetExitStatus for the program, sdl_setargs
// and sdl_exitstatus for the entry and the shell.
// Depends on: nothing; the same on every platform.
#include "cgl/platform.h"

#include <atomic>

namespace {
int g_argc = 0;
const char *const *g_argv = nullptr;
std::atomic<int> g_status{0};
}  // namespace

void CGL_SetExitStatus(int status) {
    g_status.store(status, std::memory_order_release);
}

int sdl_exitstatus() {
    return g_status.load(std::memory_order_acquire);
}

void sdl_setargs(int argc, char **argv) {
    g_argc = argv ? argc : 0;
    g_argv = argv;
}

int CGL_GetArgs(const char *const **argv) {
    static const char *const kNone[] = {nullptr};
    if (argv) *argv = g_argv ? g_argv : kNone;
    return g_argc;
}
