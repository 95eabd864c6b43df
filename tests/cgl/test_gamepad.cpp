// Gamepads through SDL's virtual joysticks: a mapped pad plays as keys, an
// unmapped one stays a plain joystick, and both stay joysticks for the
// controller table.
#include "cgl/cgl.h"
#include "common/virtual_pad.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

class Gamepad : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        if (SDL_NumJoysticks() != 0) GTEST_SKIP() << "a joystick is attached";
        sdl_gamepadinit();
        for (auto &k : sdl_asynckeys) k = 0;
        CGL_GetKeys(nullptr, nullptr);
    }
    void TearDown() override {
        for (int i = SDL_NumJoysticks() - 1; i >= 0; i--) SDL_JoystickDetachVirtual(i);
        Pump();
        if (pad_) SDL_JoystickClose(pad_);
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_JOYSTICK);
    }
    // The events of a pump go through the shell's event handler.
    static void Pump() {
        SDL_Event e;
        SDL_PumpEvents();
        while (SDL_PollEvent(&e)) sdl_handleevent(e);
    }
    void Attach(Uint16 product, bool mapped) {
        pad_ = virtualpad_attach(product, mapped);
        ASSERT_NE(pad_, nullptr) << SDL_GetError();
        Pump();
    }
    void Button(int b, bool down) {
        SDL_JoystickSetVirtualButton(pad_, b, down ? SDL_PRESSED : SDL_RELEASED);
        Pump();
    }
    void Stick(int x) {
        SDL_JoystickSetVirtualAxis(pad_, 0, x);
        Pump();
    }
    static int Held() { return CGL_GetKeys(nullptr, nullptr); }
    SDL_Joystick *pad_ = nullptr;
};

}  // namespace

TEST_F(Gamepad, MappedPadHoldsKeysPerSourceAndLetsGoWhenUnplugged) {
    Attach(1, true);
    ASSERT_EQ(sdl_numgamepads(), 1);

    // A: Space to play, Enter as the key code.
    Button(kPadA, true);
    int held = 0, pressed = 0, code = 0, changed = 0;
    CGL_GetKeys(&held, &pressed);
    EXPECT_EQ(held, CGL_KEY_BUTTON1);
    EXPECT_EQ(pressed, CGL_KEY_BUTTON1);
    CGL_GetKeycode(&code, &changed);
    EXPECT_EQ(code, CGL_KEYCODE_ENTER);
    EXPECT_EQ(changed, 1);
    // The keyboard's Space going up does not let go of the pad's.
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_SPACE;
    sdl_handleevent(key);
    key.type = SDL_KEYUP;
    sdl_handleevent(key);
    EXPECT_EQ(Held(), CGL_KEY_BUTTON1);

    // Still a joystick for the controller table, read by its raw buttons
    // (map C: button 4 is 0x0040), with no Space from the keyboard layouts.
    testing::internal::CaptureStdout();
    CGL_InitControllers();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "joystick 0 found\n");
    CGL_GetAllControllers(&held, nullptr);
    EXPECT_EQ(held, 0x0040);
    Button(kPadA, false);
    EXPECT_EQ(Held(), 0);

    // The stick's dead zone, with a margin back; the D-pad holds Left on
    // its own when the stick lets go.
    Stick(-12000);
    EXPECT_EQ(Held(), 0);
    Stick(-20000);
    EXPECT_EQ(Held(), CGL_KEY_LEFT);
    Stick(-12000);
    EXPECT_EQ(Held(), CGL_KEY_LEFT);
    Button(kPadDpadLeft, true);
    Stick(0);
    EXPECT_EQ(Held(), CGL_KEY_LEFT);
    Button(kPadDpadUp, true);
    Button(kPadStart, true);
    Button(kPadB, true);
    Button(kPadBack, true);
    EXPECT_EQ(Held(), CGL_KEY_LEFT | CGL_KEY_UP | CGL_KEY_START | CGL_KEY_ESCAPE);
    Button(kPadStart, false);
    Button(kPadB, false);  // Back still holds Escape
    Button(kPadDpadUp, false);
    EXPECT_EQ(Held(), CGL_KEY_LEFT | CGL_KEY_ESCAPE);
    Button(kPadBack, false);

    // Unplugged with Left and A held: nothing stays down.
    Button(kPadA, true);
    SDL_JoystickDetachVirtual(0);
    Pump();
    EXPECT_EQ(sdl_numgamepads(), 0);
    EXPECT_EQ(Held(), 0);
    CGL_GetKeycode(&code, nullptr);
    EXPECT_EQ(code, 0);
}

TEST_F(Gamepad, UnmappedPadStaysAJoystick) {
    Attach(2, false);
    EXPECT_EQ(sdl_numgamepads(), 0);
    Button(0, true);
    EXPECT_EQ(Held(), 0);
    testing::internal::CaptureStdout();
    CGL_InitControllers();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "joystick 0 found\n");
    int held = 0;
    CGL_GetAllControllers(&held, nullptr);
    EXPECT_EQ(held, 0x0080);  // map C, button 1
}
