// The close and its holds, the same on every platform: a shell that is
// asked to close marks the close as requested (sdl_beginclose); the game
// thread stops at its next frame wait unless it holds the close, and a
// thread that stops there is parked for good, so that the shell can end
// the process without waiting for the middle of a frame.
#include "cgl/platform.h"
#include "cgl/desktop.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<bool> g_stopping{false};
std::atomic<bool> g_parked{false};
// Holds taken (CGL_HoldClose); -1 once the shell has stopped waiting for
// them, after which no hold can be taken.
std::atomic<int> g_holds{0};

[[noreturn]] void park() {
    g_parked.store(true, std::memory_order_release);
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

void sdl_beginclose() {
    g_stopping.store(true, std::memory_order_release);
}

bool sdl_closeparked() {
    return g_parked.load(std::memory_order_acquire);
}

bool sdl_closeunheld() {
    int none = 0;
    return g_holds.compare_exchange_strong(none, -1, std::memory_order_acq_rel);
}

void sdl_parkifstopping() {
    if (g_stopping.load(std::memory_order_acquire) && g_holds.load(std::memory_order_acquire) <= 0)
        park();
}

int CGL_CloseRequested() {
    return g_stopping.load(std::memory_order_acquire) ? 1 : 0;
}

void CGL_HoldClose() {
    int holds = g_holds.load(std::memory_order_acquire);
    do {
        if (holds < 0) park();  // too late: the process is ending
    } while (!g_holds.compare_exchange_weak(holds, holds + 1, std::memory_order_acq_rel));
}

void CGL_ReleaseClose() {
    if (g_holds.fetch_sub(1, std::memory_order_acq_rel) == 1) sdl_parkifstopping();
}
