// Gamepads through SDL's virtual joysticks and the shell's event handler.
#include "cgl/cgl.h"
#include "common/virtual_pad.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

void Pump() {
    SDL_Event e;
    SDL_PumpEvents();
    while (SDL_PollEvent(&e)) sdl_handleevent(e);
}

SDL_Joystick *g_pad;
int Set(int button, bool down) {
    SDL_JoystickSetVirtualButton(g_pad, button, down ? SDL_PRESSED : SDL_RELEASED);
    Pump();
    return CGL_GetKeys(nullptr, nullptr);
}
int Stick(int x) {
    SDL_JoystickSetVirtualAxis(g_pad, 0, x);
    Pump();
    return CGL_GetKeys(nullptr, nullptr);
}

}  // namespace

TEST(Gamepad, MappedPadPlaysAsKeysPerSourceUnmappedStaysJoystickUnplugLetsGo) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    if (SDL_NumJoysticks() != 0) GTEST_SKIP() << "a joystick is attached";
    sdl_gamepadinit();
    for (auto &k : sdl_asynckeys) k = 0;
    SDL_Joystick *unmapped = virtualpad_attach(2, false);
    g_pad = virtualpad_attach(1, true);
    ASSERT_TRUE(unmapped && g_pad) << SDL_GetError();
    Pump();
    EXPECT_EQ(sdl_numgamepads(), 1);

    // A, read through the mapping, is Space; the keyboard's Space going up
    // does not let go of it.
    Set(kPadA, true);
    SDL_Event key{};
    key.type = SDL_KEYUP;
    key.key.keysym.sym = SDLK_SPACE;
    sdl_handleevent(key);

    // Both pads are joysticks for the controller table, read by raw buttons
    // (map C): A is button 4 there, 0x0040, and nothing comes as Space. The
    // unmapped pad's button 1 (0x0080) is no key.
    SDL_JoystickSetVirtualButton(unmapped, 0, SDL_PRESSED);
    Pump();
    EXPECT_EQ(CGL_GetKeys(nullptr, nullptr), CGL_KEY_BUTTON1);
    testing::internal::CaptureStdout();
    CGL_InitControllers();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "joystick 0 found\njoystick 1 found\n");
    int held = 0;
    CGL_GetAllControllers(&held, nullptr);
    EXPECT_EQ(held, 0x0040 | 0x0080);
    EXPECT_EQ(Set(kPadA, false), 0);

    // The stick's dead zone, with a margin back; two sources of one key, or
    // of Escape, hold it until both let go.
    EXPECT_EQ(Stick(-12000), 0);
    EXPECT_EQ(Stick(-20000), CGL_KEY_LEFT);
    EXPECT_EQ(Stick(-12000), CGL_KEY_LEFT);
    Set(kPadDpadLeft, true);
    EXPECT_EQ(Stick(0), CGL_KEY_LEFT);
    Set(kPadDpadUp, true);
    Set(kPadStart, true);
    Set(kPadB, true);
    EXPECT_EQ(Set(kPadBack, true), CGL_KEY_LEFT | CGL_KEY_UP | CGL_KEY_START | CGL_KEY_ESCAPE);
    EXPECT_EQ(Set(kPadB, false), CGL_KEY_LEFT | CGL_KEY_UP | CGL_KEY_START | CGL_KEY_ESCAPE);

    // Unplugged with keys held: nothing stays down.
    virtualpad_detach(g_pad);
    virtualpad_detach(unmapped);
    Pump();
    EXPECT_EQ(CGL_GetKeys(nullptr, nullptr), 0);
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_JOYSTICK);
}
