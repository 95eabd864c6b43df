// Input on SDL: the asynchronous key state, joysticks and the mouse cursor.
//
// Offers sdl_checkkeys (the event handler's table of keys that are down,
// copied into CGL_keys), the joystick reads the controller table polls, and
// the cursor half of CGL_GetMouse/CGL_SetMouse plus CGL_GetMouseWheel. The
// key, button and wheel words themselves are written by the event handler in
// events_sdl.cpp; the conversion of joystick readings into key bits is in
// input.cpp. Runs on the game thread; cursor calls go through the main thread.
#include "cgl/input.h"
#include "cgl/platform.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

namespace {

// Joystick n is the device SDL listed at index n when it was opened. It is
// kept by instance id, which SDL never reuses, so it stays ours when SDL
// renumbers its devices and is simply gone when the subsystem is shut down.
SDL_JoystickID g_joysticks[CGL_MAXJOYSTICKS] = {-1, -1, -1, -1};

bool JoystickSubsystemReady() {
    // Sticks are read whether or not the window has the focus, as the
    // keyboard is; without this SDL holds a stick's values while no window
    // of ours has the focus. Checked here, as whoever started the joystick
    // subsystem may not have asked for it, and SDL_Quit forgets it.
    if (!SDL_GetHintBoolean(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, SDL_FALSE))
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_WasInit(SDL_INIT_JOYSTICK)) return true;
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        printf("- Joysticks unavailable: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

void CloseJoystick(int n) {
    if (g_joysticks[n] < 0) return;
    SDL_Joystick *joy = SDL_JoystickFromInstanceID(g_joysticks[n]);
    if (joy) SDL_JoystickClose(joy);
    g_joysticks[n] = -1;
}

// The open, attached joystick n; null if there is none (a stale one is closed).
SDL_Joystick *OpenedJoystick(int n) {
    SDL_Joystick *joy = g_joysticks[n] < 0 ? nullptr : SDL_JoystickFromInstanceID(g_joysticks[n]);
    if (joy && SDL_JoystickGetAttached(joy)) return joy;
    CloseJoystick(n);
    return nullptr;
}

// Joystick n, opening device n if it is not open yet.
SDL_Joystick *Joystick(int n) {
    if (n < 0 || n >= CGL_MAXJOYSTICKS || !JoystickSubsystemReady()) return nullptr;
    SDL_Joystick *joy = OpenedJoystick(n);
    if (!joy && n < SDL_NumJoysticks()) {
        joy = SDL_JoystickOpen(n);
        if (joy) g_joysticks[n] = SDL_JoystickInstanceID(joy);
    }
    return joy;
}

}  // namespace

// ---------------------------------------------------------------------------
// Keyboard

void sdl_checkkeys() {
    for (int vk = 0; vk < 256; vk++) {
        bool tapped = sdl_keytaps[vk].exchange(0, std::memory_order_relaxed) != 0;
        bool held = sdl_asynckeys[vk].load(std::memory_order_relaxed) != 0;
        int down = held || tapped ? 0x8000 : 0;
        CGL_keys[vk].store(down, std::memory_order_relaxed);
    }
}

void sdl_forgettaps() {
    for (auto &tap : sdl_keytaps) tap.store(0, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Joysticks

int sdl_getnumjoysticks() {
    if (!JoystickSubsystemReady()) return 0;
    int n = SDL_NumJoysticks();
    return n > 0 ? n : 0;
}

int sdl_joystickconnected(int n) {
    return Joystick(n) ? 1 : 0;
}

unsigned sdl_hattopov(int hat) {
    switch (hat) {
        case SDL_HAT_UP:
            return 0;
        case SDL_HAT_RIGHTUP:
            return 4500;
        case SDL_HAT_RIGHT:
            return 9000;
        case SDL_HAT_RIGHTDOWN:
            return 13500;
        case SDL_HAT_DOWN:
            return 18000;
        case SDL_HAT_LEFTDOWN:
            return 22500;
        case SDL_HAT_LEFT:
            return 27000;
        case SDL_HAT_LEFTUP:
            return 31500;
        default:
            return 65535;  // centred, or a combination no hat can show
    }
}

int sdl_polljoystick(int n, int *x, int *y, int *z, int *r, int *bits) {
    int *outs[5] = {x, y, z, r, bits};
    for (int *out : outs)
        if (out) *out = 0;

    if (n < 0 || n >= CGL_MAXJOYSTICKS || !JoystickSubsystemReady()) return 0;
    // Bring SDL's view of the device up to date, as a direct device read would
    // be; a joystick pulled out shows up here as detached.
    SDL_JoystickUpdate();
    // A joystick that was open and has gone is not replaced by whatever SDL
    // now lists at its number.
    SDL_Joystick *joy = g_joysticks[n] < 0 ? Joystick(n) : OpenedJoystick(n);
    if (!joy) return 0;

    // The button count is asked every time, so an exchanged pad gets its own map.
    s_joystickreading reading{};
    reading.numbuttons = SDL_JoystickNumButtons(joy);
    int numaxes = SDL_JoystickNumAxes(joy);
    for (int i = 0; i < 4; i++)
        // SDL's -32768..32767 brought to 0..65535; a missing axis is centred.
        reading.axis[i] = i < numaxes ? SDL_JoystickGetAxis(joy, i) + 32768 : 32767;
    reading.pov = SDL_JoystickNumHats(joy) > 0 ? sdl_hattopov(SDL_JoystickGetHat(joy, 0)) : 65535;
    for (int b = 0; b < reading.numbuttons && b < 14; b++)
        if (SDL_JoystickGetButton(joy, b)) reading.buttons |= 1u << b;

    cgl_convertjoystick(reading, x, y, z, r, bits);
    return 1;
}

// ---------------------------------------------------------------------------
// Mouse

void CGL_GetMouse(int *x, int *y, int *buttons) {
    // Without a video system there is no cursor: the last position stands.
    int mx = cgl_mouse_x.load(std::memory_order_relaxed);
    int my = cgl_mouse_y.load(std::memory_order_relaxed);
    // The cursor belongs to the window system's connection, which the main
    // thread drives.
    sdl_runonmainthread([&] {
        if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
        // Over the window SDL knows the position in client pixels on every
        // video driver. Elsewhere only X11 can tell where the cursor is, in
        // desktop pixels; the other drivers keep the last position seen.
        const char *driver = SDL_GetCurrentVideoDriver();
        if (winhandle && SDL_GetMouseFocus() != winhandle && driver && !strcmp(driver, "x11")) {
            int wx = 0, wy = 0;
            SDL_GetGlobalMouseState(&mx, &my);
            SDL_GetWindowPosition(winhandle, &wx, &wy);
            mx -= wx;
            my -= wy;
        } else {
            SDL_GetMouseState(&mx, &my);
        }
    });
    cgl_mouse_x.store(mx, std::memory_order_relaxed);
    cgl_mouse_y.store(my, std::memory_order_relaxed);
    if (x) *x = mx;
    if (y) *y = my;
    if (buttons) *buttons = cgl_mouse_buttons.load(std::memory_order_relaxed);
}

void CGL_SetMouse(int x, int y) {
    sdl_runonmainthread([&] {
        if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
        if (winhandle)
            SDL_WarpMouseInWindow(winhandle, x, y);
        else
            SDL_WarpMouseGlobal(x, y);
    });
}

void CGL_GetMouseWheel(int *counter, int *direction) {
    if (counter) *counter = cgl_mouse_z.load(std::memory_order_relaxed);
    // Read and clear in one step, so a wheel event landing in between keeps
    // its direction for the next call.
    int dir = cgl_mouse_zdir.exchange(0, std::memory_order_relaxed);
    if (direction) *direction = dir;
}
