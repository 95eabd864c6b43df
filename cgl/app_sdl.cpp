// Platform shell on SDL2: the window, the game thread, the event pump and
// the millisecond clock.
//
// The main thread initialises SDL, creates the hidden placeholder window,
// starts the game thread and then only pumps events. Window changes that
// the game thread asks for are queued here and carried out by the pump, the
// caller waiting until they are done. Closing the window, or SIGTERM,
// SIGINT or SIGHUP, ends the process from the main thread once the game
// thread has stopped at its next frame: there is no safe way to stop a
// thread in the middle of a frame, and between frames the game has nothing
// to lose. A program that has something to finish first (a save, a score
// being entered) holds the close meanwhile, and the process waits for it.
// Whatever way the process ends, a changed display mode is given back to the
// desktop first, a crash and a stack overflow included.
#include "cgl/platform.h"
#include "cgl/input.h"
#include "cgl/gamepad.h"

#include <SDL.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

SDL_Window *winhandle = nullptr;
int CGL_DesktopWidth = 0;
int CGL_DesktopHeight = 0;

// Milliseconds since the system started, wrapping after 49.7 days. Counting
// from boot rather than from SDL_Init keeps the random seed taken from it
// different from one launch to the next.
static uint32_t sdl_ticks() {
    timespec now;
    if (clock_gettime(CLOCK_BOOTTIME, &now) != 0) clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint32_t)((uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u);
}
uint32_t (*sdl_clock)() = sdl_ticks;

uint32_t CGL_GetMillis() {
    return sdl_clock();
}
bool sdl_clock_is_real() {
    return sdl_clock == sdl_ticks;
}

// ---------------------------------------------------------------------------
// Requests carried to the main thread

namespace {

struct Request {
    const std::function<void()> *fn;
    bool done;
};

std::mutex g_request_lock;
std::condition_variable g_request_done;
std::condition_variable g_request_arrived;
std::vector<Request *> g_requests;
std::atomic<bool> g_pumping{false};
std::thread::id g_main_thread;

void serve_requests() {
    std::vector<Request *> pending;
    {
        std::lock_guard<std::mutex> lock(g_request_lock);
        pending.swap(g_requests);
    }
    if (pending.empty()) return;
    for (Request *request : pending) (*request->fn)();
    std::lock_guard<std::mutex> lock(g_request_lock);
    for (Request *request : pending) request->done = true;
    g_request_done.notify_all();
}

}  // namespace

void sdl_runonmainthread(const std::function<void()> &fn) {
    if (!g_pumping.load(std::memory_order_acquire) || std::this_thread::get_id() == g_main_thread) {
        fn();
        return;
    }
    Request request{&fn, false};
    std::unique_lock<std::mutex> lock(g_request_lock);
    g_requests.push_back(&request);
    g_request_arrived.notify_one();
    g_request_done.wait(lock, [&] { return request.done; });
}

int CGL_SetTitle(const char *title) {
    if (!winhandle || !title) return 0;
    sdl_runonmainthread([&] { SDL_SetWindowTitle(winhandle, title); });
    return 1;
}

// ---------------------------------------------------------------------------
// Endings

namespace {

volatile sig_atomic_t g_stop_signal = 0;
std::atomic<bool> g_stopping{false};
std::atomic<bool> g_game_parked{false};
std::atomic<bool> g_mode_changed{false};
// Holds of the close the game thread has taken (CGL_HoldClose); -1 once the
// pump has given up waiting, after which no hold can be taken.
std::atomic<int> g_close_holds{0};

struct sigaction g_crash_previous[32];
const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void on_stop_signal(int sig) {
    g_stop_signal = sig;
}

// Leaves full screen, which puts the desktop's own mode back.
void restore_desktop() {
    if (!winhandle || !g_mode_changed.load(std::memory_order_acquire)) return;
    if (SDL_GetWindowFlags(winhandle) & SDL_WINDOW_FULLSCREEN)
        SDL_SetWindowFullscreen(winhandle, 0);
    g_mode_changed.store(false, std::memory_order_release);
}

// A crash leaves the desktop in the game's mode unless someone puts it
// back; this tries, with an alarm in case the window system's lock is held
// by the crashed code, then lets the signal take its earlier course.
void on_crash_signal(int sig) {
    if (sig > 0 && sig < 32) sigaction(sig, &g_crash_previous[sig], nullptr);
    alarm(1);
    restore_desktop();
    raise(sig);
}

// A signal handler needs a stack of its own to run after a stack overflow.
// Each thread that may crash gets one; it is never freed, as the thread
// lives as long as the process.
void use_signal_stack() {
    stack_t stack;
    std::memset(&stack, 0, sizeof stack);
    // A stack someone else set up stays theirs: a sanitizer gives each of
    // its threads one and unmaps it again when the thread ends.
    if (sigaltstack(nullptr, &stack) == 0 && !(stack.ss_flags & SS_DISABLE)) return;
    std::memset(&stack, 0, sizeof stack);
    stack.ss_size = 256 * 1024;  // restoring the mode goes through SDL and Xlib
    stack.ss_sp = std::malloc(stack.ss_size);
    if (stack.ss_sp && sigaltstack(&stack, nullptr) != 0) std::free(stack.ss_sp);
}

void park() {
    g_game_parked.store(true, std::memory_order_release);
    for (;;) pause();
}

}  // namespace

void sdl_modechanged() {
    if (g_mode_changed.exchange(true, std::memory_order_acq_rel)) return;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_crash_signal;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int sig : kCrashSignals) sigaction(sig, &action, &g_crash_previous[sig]);
}

void sdl_parkifstopping() {
    if (g_stopping.load(std::memory_order_acquire) &&
        g_close_holds.load(std::memory_order_acquire) <= 0)
        park();
}

int CGL_CloseRequested() {
    return g_stopping.load(std::memory_order_acquire) ? 1 : 0;
}

void CGL_HoldClose() {
    int holds = g_close_holds.load(std::memory_order_acquire);
    do {
        if (holds < 0) park();  // too late: the process is ending
    } while (!g_close_holds.compare_exchange_weak(holds, holds + 1, std::memory_order_acq_rel));
}

void CGL_ReleaseClose() {
    if (g_close_holds.fetch_sub(1, std::memory_order_acq_rel) == 1) sdl_parkifstopping();
}

// ---------------------------------------------------------------------------
// Start-up, pump and end

void sdl_requestclose() {
    SDL_Event quit;
    SDL_zero(quit);
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

int sdl_startup() {
    g_main_thread = std::this_thread::get_id();
    use_signal_stack();
    // The pump ends the process on these, the same way as a window close.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_JOYSTICK) != 0) {
        printf("Could not start SDL video: %s\n", SDL_GetError());
        return 0;
    }
    // Without a display SDL falls back to drivers that draw nowhere; a
    // game nobody can see is not started unless such a driver was asked
    // for by name (as the tests do).
    const char *driver = SDL_GetCurrentVideoDriver();
    const char *asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && (!strcmp(driver, "offscreen") || !strcmp(driver, "dummy")) &&
        !(asked && strstr(asked, driver))) {
        printf("Could not start SDL video: no display available\n");
        SDL_Quit();
        return 0;
    }
    // A Wayland client is never told that its minimised window came back,
    // so a full-screen game minimised on focus loss would wait for ever.
    // There it stays full screen behind the other windows instead.
    if (driver && !strcmp(driver, "wayland"))
        SDL_SetHintWithPriority(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0", SDL_HINT_DEFAULT);

    // The pixel format of an OpenGL window is fixed when it is created, so
    // the depth buffer is asked for here: 32 bits, or 24 where the driver
    // has no 32-bit format.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    const int depths[] = {32, 24, 16};
    for (int depth : depths) {
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
        winhandle = SDL_CreateWindow("CGL Application", 0, 0, 10, 10,
                                     SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (winhandle) break;
    }
    if (!winhandle) {
        printf("Window creation failed: %s\n", SDL_GetError());
        SDL_Quit();
        return 0;
    }

    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
        CGL_DesktopWidth = desktop.w;
        CGL_DesktopHeight = desktop.h;
    }
    printf("- Desktop size: %d,%d\n", CGL_DesktopWidth, CGL_DesktopHeight);
    sdl_gamepadinit();

    SDL_ShowCursor(SDL_DISABLE);
    cgl_mouse_x = 0;
    cgl_mouse_y = 0;
    cgl_mouse_z = 0;
    cgl_mouse_zdir = 0;
    cgl_mouse_buttons = 0;
    return 1;
}

namespace {
std::atomic<bool> g_game_finished{false};
}

int sdl_run(void (*body)()) {
    g_pumping.store(true, std::memory_order_release);
    std::thread game([body] {
        use_signal_stack();
        body();
        g_game_finished.store(true, std::memory_order_release);
    });

    bool quit = false;
    while (!quit) {
        if (g_stop_signal) break;
        SDL_Event event;
        if (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT)
                quit = true;
            else if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)
                quit = true;
            else
                sdl_handleevent(event);
        } else {
            serve_requests();
            // Sleep 1 ms, or less when the game thread asks for something.
            std::unique_lock<std::mutex> lock(g_request_lock);
            g_request_arrived.wait_for(lock, std::chrono::milliseconds(1),
                                       [] { return !g_requests.empty(); });
        }
        serve_requests();
    }

    // A game that asked for the close itself is returning right now; give
    // it a moment to finish so that the normal end joins it. Otherwise the
    // game thread is asked to stop at its next frame, which it reaches
    // within half a second unless it holds the close: then it is waited
    // for as long as it holds it.
    g_stopping.store(true, std::memory_order_release);
    for (int waited = 0; !g_game_finished.load(std::memory_order_acquire) &&
                         !g_game_parked.load(std::memory_order_acquire);
         waited++) {
        if (waited >= 500) {
            int none = 0;
            if (g_close_holds.compare_exchange_strong(none, -1, std::memory_order_acq_rel)) break;
        }
        serve_requests();
        SDL_Delay(1);
    }
    fflush(stdout);
    if (!g_game_finished.load(std::memory_order_acquire)) {
        // The window was closed while the game runs: end the process here,
        // without waiting for a thread that is parked or inside a frame.
        restore_desktop();
        _exit(0);
    }
    game.join();
    g_pumping.store(false, std::memory_order_release);
    SDL_Quit();
    return 0;
}
