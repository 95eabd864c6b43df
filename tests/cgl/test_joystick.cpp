// Joystick readings to axes and key bits: the conversion on its own, and the
// whole SDL path with SDL's virtual joysticks.
#include "cgl/input.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

s_joystickreading Centred(int numbuttons) {
    s_joystickreading r{};
    r.numbuttons = numbuttons;
    for (int &a : r.axis) a = 32767;
    r.pov = 65535;
    return r;
}

int Bits(const s_joystickreading &r) {
    int x, y, z, rr, bits = -1;
    cgl_convertjoystick(r, &x, &y, &z, &rr, &bits);
    return bits;
}

int PovBits(unsigned pov) {
    s_joystickreading r = Centred(0);
    r.pov = pov;
    return Bits(r);
}

constexpr int U = CGL_KEY_UP, D = CGL_KEY_DOWN, L = CGL_KEY_LEFT, R = CGL_KEY_RIGHT;

}  // namespace

TEST(JoystickConversion, AxesShiftArithmeticallyFromTheCentre) {
    const struct {
        int position;
        int value;
    } cases[] = {
        {0, -128},  {254, -128}, {255, -127},  {32766, -1},  {32767, 0},  {32768, 0},
        {33022, 0}, {33023, 1},  {65535, 128}, {16384, -64}, {49151, 64},
    };
    for (const auto &c : cases) {
        s_joystickreading r = Centred(0);
        r.axis[0] = r.axis[1] = r.axis[2] = r.axis[3] = c.position;
        int x, y, z, rr, bits;
        cgl_convertjoystick(r, &x, &y, &z, &rr, &bits);
        EXPECT_EQ(x, c.value) << c.position;
        EXPECT_EQ(y, c.value) << c.position;
        EXPECT_EQ(z, c.value) << c.position;
        EXPECT_EQ(rr, c.value) << c.position;
        EXPECT_EQ(bits, 0);
    }
    // Each axis goes to its own output.
    s_joystickreading r = Centred(0);
    r.axis[0] = 0;
    r.axis[1] = 65535;
    r.axis[2] = 32767 + 512;
    r.axis[3] = 32767 - 512;
    int x, y, z, rr, bits;
    cgl_convertjoystick(r, &x, &y, &z, &rr, &bits);
    EXPECT_EQ(x, -128);
    EXPECT_EQ(y, 128);
    EXPECT_EQ(z, 2);
    EXPECT_EQ(rr, -2);
}

TEST(JoystickConversion, HatSectorsAndDiagonals) {
    EXPECT_EQ(PovBits(0), U);
    EXPECT_EQ(PovBits(4400), U);
    EXPECT_EQ(PovBits(4500), U | R);
    EXPECT_EQ(PovBits(4599), U | R);  // whole degrees: still 45
    EXPECT_EQ(PovBits(4600), R);
    EXPECT_EQ(PovBits(9000), R);
    EXPECT_EQ(PovBits(13400), R);
    EXPECT_EQ(PovBits(13500), R | D);
    EXPECT_EQ(PovBits(13600), D);
    EXPECT_EQ(PovBits(18000), D);
    EXPECT_EQ(PovBits(22400), D);
    EXPECT_EQ(PovBits(22500), D | L);
    EXPECT_EQ(PovBits(22600), L);
    EXPECT_EQ(PovBits(27000), L);
    EXPECT_EQ(PovBits(31400), L);
    EXPECT_EQ(PovBits(31500), L | U);
    EXPECT_EQ(PovBits(31600), U);
    EXPECT_EQ(PovBits(36000), U);
    EXPECT_EQ(PovBits(36099), U);
    EXPECT_EQ(PovBits(36100), 0);
    EXPECT_EQ(PovBits(65535), 0);

    // SDL hat positions in hundredths of degrees.
    EXPECT_EQ(sdl_hattopov(SDL_HAT_CENTERED), 65535u);
    EXPECT_EQ(sdl_hattopov(SDL_HAT_UP), 0u);
    EXPECT_EQ(sdl_hattopov(SDL_HAT_RIGHTUP), 4500u);
    EXPECT_EQ(sdl_hattopov(SDL_HAT_RIGHT), 9000u);
    EXPECT_EQ(sdl_hattopov(SDL_HAT_RIGHTDOWN), 13500u);
    EXPECT_EQ(sdl_hattopov(SDL_HAT_DOWN), 18000u);
    EXPECT_EQ(sdl_hattopov(SDL_HAT_LEFTDOWN), 22500u);
    EXPECT_EQ(sdl_hattopov(SDL_HAT_LEFT), 27000u);
    EXPECT_EQ(sdl_hattopov(SDL_HAT_LEFTUP), 31500u);
    EXPECT_EQ(sdl_hattopov(SDL_HAT_UP | SDL_HAT_DOWN), 65535u);
}

TEST(JoystickConversion, ButtonMapChosenByButtonCount) {
    const int mapA[14] = {0x0010, 0x0020, 0x0040, 0x0080, 0x0100, 0x0400, 0x2000,
                          0x1000, 0x4000, 0x4000, 0,      0,      0,      0};
    const int mapB[14] = {0x0040, 0x0010, 0x0020, 0x0080, 0x0100, 0x0400, 0x0200,
                          0x0800, 0x1000, 0x2000, 0x4000, 0x4000, 0x8000, 0x1000};
    const int mapC[14] = {0x0080, 0x0020, 0x0010, 0x0040, 0x0200, 0x0800, 0x0100,
                          0x0400, 0x1000, 0x2000, 0x4000, 0x4000, 0,      0};
    const struct {
        int numbuttons;
        const int *map;
    } pads[] = {{10, mapA}, {14, mapB}, {12, mapC}, {0, mapC}, {4, mapC},
                {11, mapC}, {13, mapC}, {15, mapC}, {32, mapC}};
    for (const auto &pad : pads) {
        for (int b = 0; b < 14; b++) {
            s_joystickreading r = Centred(pad.numbuttons);
            r.buttons = 1u << b;
            EXPECT_EQ(Bits(r), pad.map[b]) << pad.numbuttons << " buttons, button " << b + 1;
        }
        // Buttons beyond the fourteenth carry nothing.
        s_joystickreading r = Centred(pad.numbuttons);
        r.buttons = ~0u << 14;
        EXPECT_EQ(Bits(r), 0) << pad.numbuttons;
    }
    // Buttons and hat combine.
    s_joystickreading r = Centred(10);
    r.buttons = 0x3;
    r.pov = 27000;
    EXPECT_EQ(Bits(r), 0x0010 | 0x0020 | L);
}

// ---------------------------------------------------------------------------
// The SDL path, end to end, with virtual joysticks

namespace {

class VirtualJoystick : public ::testing::Test {
protected:
    void SetUp() override {
        // The keyboard layouts are merged too: start with no key down.
        for (int i = 0; i < 256; i++) {
            sdl_asynckeys[i] = 0;
            CGL_keys[i] = 0;
        }
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        base_ = sdl_getnumjoysticks();
        if (base_ != 0) GTEST_SKIP() << "a joystick is attached";
    }
    void TearDown() override {
        for (int i = SDL_NumJoysticks() - 1; i >= 0; i--)
            if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
        for (SDL_Joystick *j : handles_) SDL_JoystickClose(j);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    // Attaches a pad with four axes, one hat and numbuttons buttons, all at rest.
    SDL_Joystick *Attach(int numbuttons) {
        int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 4, numbuttons, 1);
        EXPECT_GE(index, 0) << SDL_GetError();
        SDL_Joystick *j = SDL_JoystickOpen(index);
        EXPECT_NE(j, nullptr) << SDL_GetError();
        handles_.push_back(j);
        return j;
    }
    int base_ = 0;
    std::vector<SDL_Joystick *> handles_;
};

}  // namespace

TEST_F(VirtualJoystick, PollReadsAxesHatAndButtonsThroughSdl) {
    SDL_Joystick *pad = Attach(10);
    ASSERT_NE(pad, nullptr);
    SDL_JoystickSetVirtualAxis(pad, 0, -32768);
    SDL_JoystickSetVirtualAxis(pad, 1, 32767);
    SDL_JoystickSetVirtualAxis(pad, 2, 0);
    SDL_JoystickSetVirtualAxis(pad, 3, 256);
    SDL_JoystickSetVirtualButton(pad, 0, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(pad, 7, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_RIGHTUP);

    EXPECT_EQ(sdl_getnumjoysticks(), 1);
    EXPECT_EQ(sdl_joystickconnected(0), 1);
    EXPECT_EQ(sdl_joystickconnected(1), 0);
    int x, y, z, r, bits;
    ASSERT_EQ(sdl_polljoystick(0, &x, &y, &z, &r, &bits), 1);
    EXPECT_EQ(x, -128);
    EXPECT_EQ(y, 128);
    EXPECT_EQ(z, 0);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(bits, 0x0010 | 0x1000 | U | R);  // map A: buttons 1 and 8

    // No such joystick: zeros and failure.
    x = y = z = r = bits = -1;
    EXPECT_EQ(sdl_polljoystick(1, &x, &y, &z, &r, &bits), 0);
    EXPECT_EQ(x | y | z | r | bits, 0);
    EXPECT_EQ(sdl_polljoystick(-1, &x, &y, &z, &r, &bits), 0);
    EXPECT_EQ(sdl_polljoystick(CGL_MAXJOYSTICKS, &x, &y, &z, &r, &bits), 0);
}

TEST_F(VirtualJoystick, ControllerTableListsPollsMergesAndDropsJoysticks) {
    SDL_Joystick *a = Attach(14);
    SDL_Joystick *b = Attach(12);
    ASSERT_TRUE(a && b);

    testing::internal::CaptureStdout();
    CGL_InitControllers();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "joystick 0 found\njoystick 1 found\n");
    ASSERT_EQ(CGL_numcontrollers, 6);
    EXPECT_EQ(CGL_controller[0].type, CGL_CONTROLLER_JOYSTICK);
    EXPECT_EQ(CGL_controller[0].id, 0);
    EXPECT_EQ(CGL_controller[1].type, CGL_CONTROLLER_JOYSTICK);
    EXPECT_EQ(CGL_controller[1].id, 1);
    EXPECT_EQ(CGL_controller[2].type, CGL_CONTROLLER_KEYS);
    EXPECT_EQ(CGL_controller[3].type, CGL_CONTROLLER_KEYS);
    EXPECT_EQ(CGL_controller[4].type, CGL_CONTROLLER_MOUSE);
    EXPECT_EQ(CGL_controller[5].type, CGL_CONTROLLER_KEYCODE);
    EXPECT_EQ(CGL_controllerkeys[2][0], CGL_controllerlayoutA[0]);

    // Half deflection exactly is not yet a direction.
    SDL_JoystickSetVirtualAxis(a, 0, -16384);  // 16384 -> -64
    int held = -1, pressed = -1;
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(CGL_controller[0].x, -64);
    EXPECT_EQ(held, 0);

    // Pad a (map B): button 13 is Escape; stick pushed past half left.
    SDL_JoystickSetVirtualButton(a, 12, SDL_PRESSED);
    SDL_JoystickSetVirtualAxis(a, 0, -16640);  // 16128 -> -65
    // Pad b (map C): button 1 gives 0x0080; stick just short of half down.
    SDL_JoystickSetVirtualButton(b, 0, SDL_PRESSED);
    SDL_JoystickSetVirtualAxis(b, 1, 16383);  // 49151 -> 64: not enough
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(CGL_controller[0].x, -65);
    EXPECT_EQ(CGL_controller[0].keys, 0x8000);
    EXPECT_EQ(CGL_controller[1].y, 64);
    EXPECT_EQ(CGL_controller[1].keys, 0x0080);
    EXPECT_EQ(held, 0x8000 | 0x0080 | L);
    EXPECT_EQ(pressed, held);

    SDL_JoystickSetVirtualAxis(b, 1, 16640);  // 49408 -> 65: down
    SDL_JoystickSetVirtualButton(a, 12, SDL_RELEASED);
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(held, 0x0080 | L | D);
    EXPECT_EQ(pressed, D);
    EXPECT_EQ(CGL_controller[0].oldkeys, 0x8000);

    // Pad a goes away: its poll fails, it is dropped for good, pad b goes on.
    SDL_JoystickDetachVirtual(0);
    CGL_PollControllers();
    EXPECT_EQ(CGL_controller[0].active, 0);
    EXPECT_EQ(CGL_controller[1].active, 1);
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(held, 0x0080 | D);
}
