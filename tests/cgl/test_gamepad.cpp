// Gamepads through SDL's virtual joysticks: a mapped pad plays as keys, an
// unmapped one stays a plain joystick, and both stay joysticks for the
// controller table.
#include "cgl/cgl.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

// The mapping puts A, B and Start on unusual buttons, so only a pad read
// through its mapping gets them right.
const char *const kMapping = ",Test Pad,a:b3,b:b1,start:b0,back:b4,dpleft:b5,dpup:b6,leftx:a0,";

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
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.naxes = 2;
        desc.nbuttons = 12;
        desc.vendor_id = 0x7157;
        desc.product_id = product;
        desc.name = "Test Pad";
        int index = SDL_JoystickAttachVirtualEx(&desc);
        if (mapped) {  // the mapping names the pad's GUID, known once it is attached
            char guid[33];
            SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, sizeof(guid));
            SDL_JoystickDetachVirtual(index);
            ASSERT_EQ(SDL_GameControllerAddMapping((guid + std::string(kMapping)).c_str()), 1);
            index = SDL_JoystickAttachVirtualEx(&desc);
        }
        pad_ = SDL_JoystickOpen(index);
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
    Button(3, true);
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
    Button(3, false);
    EXPECT_EQ(Held(), 0);

    // The stick's dead zone, with a margin back; the D-pad holds Left on
    // its own when the stick lets go.
    Stick(-12000);
    EXPECT_EQ(Held(), 0);
    Stick(-20000);
    EXPECT_EQ(Held(), CGL_KEY_LEFT);
    Stick(-12000);
    EXPECT_EQ(Held(), CGL_KEY_LEFT);
    Button(5, true);
    Stick(0);
    EXPECT_EQ(Held(), CGL_KEY_LEFT);
    Button(6, true);
    Button(0, true);
    Button(1, true);
    EXPECT_EQ(Held(), CGL_KEY_LEFT | CGL_KEY_UP | CGL_KEY_START | CGL_KEY_ESCAPE);
    Button(0, false);
    Button(1, false);
    Button(6, false);

    // Back tapped between two reads counts once.
    Button(4, true);
    Button(4, false);
    EXPECT_EQ(Held(), CGL_KEY_LEFT | CGL_KEY_ESCAPE);
    EXPECT_EQ(Held(), CGL_KEY_LEFT);

    // Unplugged with Left and A held: nothing stays down.
    Button(3, true);
    SDL_JoystickDetachVirtual(0);
    Pump();
    EXPECT_EQ(sdl_numgamepads(), 0);
    CGL_GetKeys(nullptr, nullptr);  // the press of A, still owed to the game
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
