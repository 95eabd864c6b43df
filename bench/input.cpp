// What the game thread's input queries cost per frame: CGL_GetKeys (all 256
// keys refreshed), CGL_GetKeycode, a full controller poll and merge, and
// CGL_GetMouse, whose cursor read is carried to the main thread's pump and
// so waits for it. Figures in microseconds per call, and the mouse wait as
// a share of a 16.7 ms frame.
#include <chrono>
#include <cstdio>

#include "cgl/input.h"
#include "cgl/platform.h"
#include "cgl/desktop.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double MicrosPerCall(int calls, F f) {
    auto start = Clock::now();
    for (int i = 0; i < calls; i++) f();
    std::chrono::duration<double, std::micro> spent = Clock::now() - start;
    return spent.count() / calls;
}

void GameThread() {
    int held, pressed, code, changed, x, y, b;
    printf("CGL_GetKeys: %.3f us/call\n",
           MicrosPerCall(200000, [&] { CGL_GetKeys(&held, &pressed); }));
    printf("CGL_GetKeycode: %.3f us/call\n",
           MicrosPerCall(200000, [&] { CGL_GetKeycode(&code, &changed); }));
    CGL_InitControllers();
    double all = MicrosPerCall(500, [&] { CGL_GetAllControllers(&held, &pressed); });
    printf("CGL_GetAllControllers (%d controllers, through the pump): %.1f us/call\n",
           CGL_numcontrollers, all);
    double mouse = MicrosPerCall(500, [&] { CGL_GetMouse(&x, &y, &b); });
    printf("CGL_GetMouse (through the pump): %.1f us/call, %.2f %% of a 60 Hz frame\n", mouse,
           mouse / 16666.7 * 100.0);
    sdl_requestclose();
}

}  // namespace

int main() {
    if (!sdl_startup()) {
        printf("no display: input benchmark not run\n");
        return 0;
    }
    return sdl_run(GameThread);
}
