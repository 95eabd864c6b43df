// The desktop shell on SDL2 (Linux, Windows): the main thread, the game
// thread, the event pump and the endings.
//
// The main thread starts SDL, makes the hidden placeholder window, starts
// the game thread and then only pumps events. Window changes that the game
// thread asks for are queued here and carried out by the pump, the caller
// waiting until they are done. A close (the window's, a signal, a console's
// Ctrl+C, the session ending) ends the process from the main thread once
// the game thread has stopped at its next frame: there is no safe way to
// stop a thread in the middle of a frame, and between frames the game has
// nothing to lose. A program that has something to finish first (a save, a
// score being entered) holds the close meanwhile, and the process waits.
// Whatever way the process ends, a changed display mode is given back to
// the desktop first, a crash included.
#include "cgl/platform.h"
#include "cgl/desktop.h"
#include "cgl/input.h"
#include "cgl/gamepad.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

// Counting from the system's start rather than from SDL_Init keeps the
// random seed taken from the clock different from one launch to the next.
uint32_t (*sdl_clock)() = sys_ticks;

uint32_t CGL_GetMillis() {
    return sdl_clock();
}
bool sdl_clock_is_real() {
    return sdl_clock == sys_ticks;
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

// ---------------------------------------------------------------------------
// The display mode, given back on every ending

namespace {

std::atomic<bool> g_mode_changed{false};

// Leaves full screen, which puts the desktop's own mode back.
void restore_desktop() {
    if (!winhandle || !g_mode_changed.load(std::memory_order_acquire)) return;
    if (SDL_GetWindowFlags(winhandle) & SDL_WINDOW_FULLSCREEN)
        SDL_SetWindowFullscreen(winhandle, 0);
    g_mode_changed.store(false, std::memory_order_release);
}

}  // namespace

void sdl_modechanged() {
    if (g_mode_changed.exchange(true, std::memory_order_acq_rel)) return;
    sys_oncrash(restore_desktop);
}

// ---------------------------------------------------------------------------
// Start-up, pump and end

void sdl_requestclose() {
    SDL_Event quit;
    SDL_zero(quit);
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

namespace {

std::atomic<bool> g_game_finished{false};

// Asks the game thread to stop at its next frame and waits until it has,
// or has finished. A game that asked for the close itself is returning
// right now; it gets a moment to finish so that the normal end joins it.
// Otherwise it stops within half a second unless it holds the close: then
// it is waited for as long as it holds it. True when it finished.
bool stop_game() {
    sdl_beginclose();
    for (int waited = 0; !g_game_finished.load(std::memory_order_acquire) && !sdl_closeparked();
         waited++) {
        if (waited >= 500 && sdl_closeunheld()) break;
        serve_requests();
        SDL_Delay(1);
    }
    return g_game_finished.load(std::memory_order_acquire);
}

// The session ends under the program: the close is carried out at once.
void end_session() {
    stop_game();
    restore_desktop();
    sys_exitnow(sdl_exitstatus());
}

}  // namespace

int sdl_startup() {
    g_main_thread = std::this_thread::get_id();
    sys_startprocess(end_session);
    sys_startthread();
    // The pump ends the process on signals, the same way as a window close.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (!sdl_initvideo(SDL_INIT_JOYSTICK)) return 0;
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

    // 32 bits of depth, or 24 where the driver has no 32-bit format.
    const int depths[] = {32, 24, 16};
    if (!sdl_createwindow(10, 10, SDL_WINDOW_HIDDEN, depths, 3)) {
        SDL_Quit();
        return 0;
    }
    SDL_DisplayMode desktop;
    SDL_zero(desktop);
    SDL_GetDesktopDisplayMode(0, &desktop);
    sdl_setdesktopsize(desktop.w, desktop.h);
    sdl_gamepadinit();

    SDL_ShowCursor(SDL_DISABLE);
    cgl_mouse_x = 0;
    cgl_mouse_y = 0;
    cgl_mouse_z = 0;
    cgl_mouse_zdir = 0;
    cgl_mouse_buttons = 0;
    return 1;
}

int sdl_run(void (*body)()) {
    g_pumping.store(true, std::memory_order_release);
    std::thread game([body] {
        sys_startthread();
        body();
        g_game_finished.store(true, std::memory_order_release);
    });

    bool quit = false;
    while (!quit) {
        if (sys_stoprequested()) break;
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

    if (!stop_game()) {
        // The window was closed while the game runs: end the process here,
        // without waiting for a thread that is parked or inside a frame.
        restore_desktop();
        sys_exitnow(sdl_exitstatus());
    }
    game.join();
    g_pumping.store(false, std::memory_order_release);
    SDL_Quit();
    return sdl_exitstatus();
}
