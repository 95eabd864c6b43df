// The shell's event handler, key translation and the main-thread requests.
#include <gtest/gtest.h>

#include "cgl/cgl.h"

#include <SDL.h>

#include <thread>

namespace {

SDL_Event key_event(bool down, SDL_Keycode sym, Uint16 mod = 0) {
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    return e;
}

SDL_Event button_event(bool down, Uint8 button) {
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = button;
    return e;
}

SDL_Event wheel_event(int y) {
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = y;
    return e;
}

class ShellEvents : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto &k : CGL_keys) k = 0;
        for (auto &k : sdl_asynckeys) k = 0;
        cgl_keycode = 0;
        cgl_input_prevkeycode = 0;
        cgl_mouse_buttons = 0;
        cgl_mouse_z = 0;
        cgl_mouse_zdir = 0;
    }
};

TEST_F(ShellEvents, TranslateKey_MapsIntoVirtualKeyCodes) {
    EXPECT_EQ(sdl_translatekey(SDLK_a), 'A');
    EXPECT_EQ(sdl_translatekey(SDLK_z), 'Z');
    EXPECT_EQ(sdl_translatekey(SDLK_0), '0');
    EXPECT_EQ(sdl_translatekey(SDLK_9), '9');
    EXPECT_EQ(sdl_translatekey(SDLK_LEFT), 37);
    EXPECT_EQ(sdl_translatekey(SDLK_UP), 38);
    EXPECT_EQ(sdl_translatekey(SDLK_RIGHT), 39);
    EXPECT_EQ(sdl_translatekey(SDLK_DOWN), 40);
    EXPECT_EQ(sdl_translatekey(SDLK_RETURN), 13);
    EXPECT_EQ(sdl_translatekey(SDLK_ESCAPE), 27);
    EXPECT_EQ(sdl_translatekey(SDLK_SPACE), 32);
    EXPECT_EQ(sdl_translatekey(SDLK_BACKSPACE), 8);
    EXPECT_EQ(sdl_translatekey(SDLK_TAB), 9);
    EXPECT_EQ(sdl_translatekey(SDLK_LSHIFT), 16);
    EXPECT_EQ(sdl_translatekey(SDLK_RSHIFT), 16);
    EXPECT_EQ(sdl_translatekey(SDLK_RCTRL), 17);
    EXPECT_EQ(sdl_translatekey(SDLK_LALT), 18);
    EXPECT_EQ(sdl_translatekey(SDLK_F1), 112);
    EXPECT_EQ(sdl_translatekey(SDLK_F10), 121);
    EXPECT_EQ(sdl_translatekey(SDLK_F12), 123);
    EXPECT_EQ(sdl_translatekey(SDLK_KP_5), 101);
    EXPECT_EQ(sdl_translatekey(SDLK_DELETE), 46);
    EXPECT_EQ(sdl_translatekey(SDLK_UNKNOWN), 0);
}

TEST_F(ShellEvents, KeyCode_FollowsTheLastPressedKeyAndClearsOnItsRelease) {
    sdl_handleevent(key_event(true, SDLK_a));
    EXPECT_EQ(CGL_keys['A'], 1);
    EXPECT_EQ(cgl_keycode, 'A');
    sdl_handleevent(key_event(true, SDLK_a));  // auto-repeat
    EXPECT_EQ(cgl_keycode, 'A');
    sdl_handleevent(key_event(true, SDLK_b));
    EXPECT_EQ(cgl_keycode, 'B');
    cgl_input_prevkeycode = 'B';
    sdl_handleevent(key_event(false, SDLK_a));  // not the current key
    EXPECT_EQ(CGL_keys['A'], 0);
    EXPECT_EQ(cgl_keycode, 'B');
    EXPECT_EQ(cgl_input_prevkeycode, 'B');
    sdl_handleevent(key_event(false, SDLK_b));
    EXPECT_EQ(cgl_keycode, 0);
    EXPECT_EQ(cgl_input_prevkeycode, 0);
    EXPECT_EQ(sdl_asynckeys['A'], 0);
}

TEST_F(ShellEvents, SystemKeys_ReachOnlyTheAsynchronousState) {
    sdl_handleevent(key_event(true, SDLK_LALT, KMOD_LALT));
    EXPECT_EQ(CGL_keys[18], 0);
    EXPECT_EQ(sdl_asynckeys[18], 1);
    sdl_handleevent(key_event(true, SDLK_x, KMOD_LALT));  // Alt+X
    EXPECT_EQ(CGL_keys['X'], 0);
    EXPECT_EQ(sdl_asynckeys['X'], 1);
    sdl_handleevent(key_event(true, SDLK_F10));
    EXPECT_EQ(CGL_keys[121], 0);
    EXPECT_EQ(sdl_asynckeys[121], 1);
    EXPECT_EQ(cgl_keycode, 0);
    sdl_handleevent(key_event(false, SDLK_LALT));
    EXPECT_EQ(sdl_asynckeys[18], 0);
}

TEST_F(ShellEvents, MouseButtonsAndWheel) {
    sdl_handleevent(button_event(true, SDL_BUTTON_LEFT));
    EXPECT_EQ(cgl_mouse_buttons, 1);
    sdl_handleevent(button_event(true, SDL_BUTTON_RIGHT));
    sdl_handleevent(button_event(true, SDL_BUTTON_MIDDLE));
    EXPECT_EQ(cgl_mouse_buttons, 7);
    sdl_handleevent(button_event(false, SDL_BUTTON_LEFT));
    EXPECT_EQ(cgl_mouse_buttons, 6);
    sdl_handleevent(button_event(false, SDL_BUTTON_X1));  // other buttons mean nothing
    EXPECT_EQ(cgl_mouse_buttons, 6);

    sdl_handleevent(wheel_event(2));  // one event is one step, whatever its size
    EXPECT_EQ(cgl_mouse_z, 1);
    EXPECT_EQ(cgl_mouse_zdir, 1);
    sdl_handleevent(wheel_event(-1));
    sdl_handleevent(wheel_event(-5));
    EXPECT_EQ(cgl_mouse_z, -1);
    EXPECT_EQ(cgl_mouse_zdir, -1);
}

TEST(ShellRequests, RunOnMainThread_RunsDirectlyWithoutAPump) {
    int ran = 0;
    sdl_runonmainthread([&] { ran++; });
    std::thread other([&] { sdl_runonmainthread([&] { ran++; }); });
    other.join();
    EXPECT_EQ(ran, 2);
}

}  // namespace
