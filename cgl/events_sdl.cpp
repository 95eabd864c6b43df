// Events on SDL, on every platform: the key, mouse-button and wheel state
// the event handler writes and the input layer reads, and the handler
// itself. The shell of each platform hands it every event it takes.
#include "cgl/platform.h"
#include "cgl/input.h"
#include "cgl/gamepad.h"

#include <SDL.h>

std::atomic<int> CGL_keys[256];
std::atomic<int> cgl_keycode{0};
std::atomic<int> cgl_input_prevkeycode{0};
std::atomic<int> cgl_mouse_x{0};
std::atomic<int> cgl_mouse_y{0};
std::atomic<int> cgl_mouse_z{0};
std::atomic<int> cgl_mouse_zdir{0};
std::atomic<int> cgl_mouse_buttons{0};
std::atomic<uint8_t> sdl_asynckeys[256];
std::atomic<uint8_t> sdl_keytaps[256];
static std::atomic<bool> g_minimised{false};
std::atomic<int> cgl_keyqueue[CGL_KEYQUEUE_SIZE];
std::atomic<unsigned> cgl_keyqueue_head{0};
std::atomic<unsigned> cgl_keyqueue_tail{0};

// The slot is written before the tail moves past it (release), so the
// reader, which takes the tail with acquire, never sees an unwritten slot.
static void queue_keydown(int k) {
    unsigned tail = cgl_keyqueue_tail.load(std::memory_order_relaxed);
    unsigned head = cgl_keyqueue_head.load(std::memory_order_acquire);
    if (tail - head >= CGL_KEYQUEUE_SIZE) return;
    cgl_keyqueue[tail % CGL_KEYQUEUE_SIZE].store(k, std::memory_order_relaxed);
    cgl_keyqueue_tail.store(tail + 1, std::memory_order_release);
}

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

bool sdl_isminimised() {
    return g_minimised.load(std::memory_order_relaxed);
}

void sdl_pumpevents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) sdl_handleevent(event);
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
            if (down) sdl_keytaps[k].store(1, std::memory_order_relaxed);
            // Alt, anything typed with Alt held, and F10 are system keys:
            // they never reach the key table through the message path.
            bool system_key = k == 18 || k == 121 || (event.key.keysym.mod & KMOD_ALT);
            if (system_key) break;
            if (down) {
                CGL_keys[k].store(1, std::memory_order_relaxed);
                cgl_keycode.store(k, std::memory_order_relaxed);
                // Auto-repeat types nothing new.
                if (!event.key.repeat) queue_keydown(k);
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
        case SDL_WINDOWEVENT:
            // A minimised window shows nothing, so the game waits (SDL also
            // minimises a full-screen window when it loses the focus).
            if (event.window.event == SDL_WINDOWEVENT_MINIMIZED)
                g_minimised.store(true, std::memory_order_relaxed);
            else if (event.window.event == SDL_WINDOWEVENT_RESTORED ||
                     event.window.event == SDL_WINDOWEVENT_MAXIMIZED ||
                     event.window.event == SDL_WINDOWEVENT_SHOWN)
                g_minimised.store(false, std::memory_order_relaxed);
            break;
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
