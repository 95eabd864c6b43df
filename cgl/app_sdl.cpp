// Platform shell on SDL2: the window, the game thread, the event pump and
// the millisecond clock.
//
// The main thread initialises SDL, creates the hidden placeholder window,
// starts the game thread and then only pumps events. Window changes that
// the game thread asks for are queued here and carried out by the pump, the
// caller waiting until they are done. Closing the window ends the process
// from the main thread: there is no safe way to stop a thread that is in
// the middle of a frame, and the game has nothing to lose by it.
#include "cgl/platform.h"
#include "cgl/input.h"
#include "cgl/gamepad.h"

#include <SDL.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

SDL_Window *winhandle = nullptr;
int CGL_DesktopWidth = 0;
int CGL_DesktopHeight = 0;

std::atomic<int> CGL_keys[256];
std::atomic<int> cgl_keycode{0};
std::atomic<int> cgl_input_prevkeycode{0};
std::atomic<int> cgl_mouse_x{0};
std::atomic<int> cgl_mouse_y{0};
std::atomic<int> cgl_mouse_z{0};
std::atomic<int> cgl_mouse_zdir{0};
std::atomic<int> cgl_mouse_buttons{0};
std::atomic<uint8_t> sdl_asynckeys[256];

static uint32_t sdl_ticks() {
    return SDL_GetTicks();
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
// Events

static bool twin_held(SDL_Scancode released) {
    static const SDL_Scancode pairs[][2] = {{SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT},
                                            {SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL},
                                            {SDL_SCANCODE_LALT, SDL_SCANCODE_RALT},
                                            {SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER}};
    const Uint8 *state = SDL_GetKeyboardState(nullptr);
    if (!state) return false;
    for (const auto &pair : pairs) {
        if (released == pair[0]) return state[pair[1]] != 0;
        if (released == pair[1]) return state[pair[0]] != 0;
    }
    return false;
}

void sdl_handleevent(const SDL_Event &event) {
    sdl_gamepadevent(event);  // pads plugged, unplugged, pressed: cgl/gamepad_sdl.cpp
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            int k = sdl_translatekey(event.key.keysym.sym) & 0xFF;
            if (k == 0) break;
            bool down = event.type == SDL_KEYDOWN;
            // Shift, Ctrl, Alt and Enter have two keys each behind one code:
            // the code stays down while the other key of the pair is held.
            bool held = down || twin_held(event.key.keysym.scancode);
            sdl_asynckeys[k].store(held ? 1 : 0, std::memory_order_relaxed);
            // Alt, anything typed with Alt held, and F10 are system keys:
            // they never reach the key table through the message path.
            bool system_key = k == 18 || k == 121 || (event.key.keysym.mod & KMOD_ALT);
            if (system_key) break;
            if (down) {
                CGL_keys[k].store(1, std::memory_order_relaxed);
                cgl_keycode.store(k, std::memory_order_relaxed);
            } else {
                CGL_keys[k].store(0, std::memory_order_relaxed);
                if (cgl_keycode.load(std::memory_order_relaxed) == k) {
                    cgl_input_prevkeycode.store(0, std::memory_order_relaxed);
                    cgl_keycode.store(0, std::memory_order_relaxed);
                }
            }
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            int bit = 0;
            if (event.button.button == SDL_BUTTON_LEFT) bit = 1;
            if (event.button.button == SDL_BUTTON_RIGHT) bit = 2;
            if (event.button.button == SDL_BUTTON_MIDDLE) bit = 4;
            if (event.type == SDL_MOUSEBUTTONDOWN)
                cgl_mouse_buttons.fetch_or(bit, std::memory_order_relaxed);
            else
                cgl_mouse_buttons.fetch_and(~bit, std::memory_order_relaxed);
            break;
        }
        case SDL_MOUSEWHEEL: {
            // Only the vertical wheel counts; one event is one step,
            // whatever its size.
            int d = event.wheel.y;
            if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) d = -d;
            if (d == 0) break;
            cgl_mouse_zdir.store(d < 0 ? -1 : 1, std::memory_order_relaxed);
            cgl_mouse_z.fetch_add(d < 0 ? -1 : 1, std::memory_order_relaxed);
            break;
        }
        default:
            break;
    }
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
        body();
        g_game_finished.store(true, std::memory_order_release);
    });

    bool quit = false;
    while (!quit) {
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
    // it a moment to finish so that the normal end joins it.
    for (int waited = 0; waited < 200 && !g_game_finished.load(std::memory_order_acquire);
         waited++) {
        serve_requests();
        SDL_Delay(1);
    }
    fflush(stdout);
    if (!g_game_finished.load(std::memory_order_acquire)) {
        // The window was closed while the game runs: end the process here,
        // without waiting for a thread that may be inside a frame.
        _exit(0);
    }
    game.join();
    g_pumping.store(false, std::memory_order_release);
    SDL_Quit();
    return 0;
}
