// Keyboard bits, key codes, mouse and the controller table, driven through
// the real event handler: SDL events go in, the engine's queries come out.
#include "cgl/input.h"
#include "cgl/platform.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <thread>

namespace {

void SendKey(SDL_Keycode sym, bool down, bool repeat = false, Uint16 mod = KMOD_NONE) {
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    e.key.keysym.mod = mod;
    sdl_handleevent(e);
}
void Press(SDL_Keycode sym) {
    SendKey(sym, true);
}
void Release(SDL_Keycode sym) {
    SendKey(sym, false);
}

void SendButton(Uint8 button, bool down) {
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    sdl_handleevent(e);
}

void SendWheel(int y) {
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = y;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    sdl_handleevent(e);
}

int Buttons() {
    int x, y, b = -1;
    CGL_GetMouse(&x, &y, &b);
    return b;
}

// Every test starts with no key or button down and fresh query memories.
class Input : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 256; i++) {
            sdl_asynckeys[i] = 0;
            sdl_keytaps[i] = 0;
            CGL_keys[i] = 0;
        }
        cgl_keycode = 0;
        cgl_input_prevkeycode = 0;
        cgl_keyqueue_head = cgl_keyqueue_tail.load();
        cgl_input_prevkey = 0;
        cgl_mouse_buttons = 0;
        cgl_mouse_z = 0;
        cgl_mouse_zdir = 0;
        cgl_input_prevcontrollerkey = 0;
    }
};

// The controller tests need the table without joysticks in front.
class Controllers : public Input {
protected:
    void SetUp() override {
        Input::SetUp();
        if (sdl_getnumjoysticks() != 0) GTEST_SKIP() << "a joystick is attached";
        CGL_InitControllers();
    }
};

}  // namespace

TEST_F(Input, GetKeys_ReportsNewlyPressedOnceUntilReleased) {
    int held = -1, pressed = -1;
    Press(SDLK_SPACE);
    EXPECT_EQ(CGL_GetKeys(&held, &pressed), CGL_KEY_BUTTON1);
    EXPECT_EQ(held, CGL_KEY_BUTTON1);
    EXPECT_EQ(pressed, CGL_KEY_BUTTON1);

    SendKey(SDLK_SPACE, true, true);  // auto-repeat
    CGL_GetKeys(&held, &pressed);
    EXPECT_EQ(held, CGL_KEY_BUTTON1);
    EXPECT_EQ(pressed, 0);

    Release(SDLK_SPACE);
    EXPECT_EQ(CGL_GetKeys(&held, &pressed), 0);
    EXPECT_EQ(pressed, 0);

    Press(SDLK_SPACE);
    CGL_GetKeys(&held, &pressed);
    EXPECT_EQ(pressed, CGL_KEY_BUTTON1);
    Release(SDLK_SPACE);
}

TEST_F(Input, GetKeys_ATapBetweenTwoReadsCountsOnce) {
    int held = -1, pressed = -1;
    Press(SDLK_LEFT);
    Release(SDLK_LEFT);
    EXPECT_EQ(CGL_GetKeys(&held, &pressed), CGL_KEY_LEFT);
    EXPECT_EQ(pressed, CGL_KEY_LEFT);
    EXPECT_EQ(CGL_GetKeys(&held, &pressed), 0);
    EXPECT_EQ(pressed, 0);

    // A key-code read has seen the tap: it is not a new press afterwards.
    Press(SDLK_RETURN);
    int code = 0, changed = 0;
    do {
        CGL_GetKeycode(&code, &changed);  // Left, typed before, comes first
    } while (changed && code != CGL_KEYCODE_ENTER);
    EXPECT_EQ(code, CGL_KEYCODE_ENTER);
    Release(SDLK_RETURN);
    EXPECT_EQ(CGL_GetKeys(&held, &pressed), 0);
}

TEST_F(Input, GetKeycode_KeysTypedBetweenTwoReadsArriveInOrder) {
    // Tapped, overlapped and tapped again, all before one read.
    Press(SDLK_q);
    Release(SDLK_q);
    Press(SDLK_o);
    Press(SDLK_SPACE);
    SendKey(SDLK_SPACE, true, true);  // auto-repeat types nothing
    Release(SDLK_o);
    Release(SDLK_SPACE);
    Press(SDLK_q);
    Release(SDLK_q);
    const int typed[] = {'Q', 'O', CGL_KEYCODE_SPACE, 'Q'};
    for (int want : typed) {
        int code = 0, changed = 0;
        CGL_GetKeycode(&code, &changed);
        EXPECT_EQ(code, want);
        EXPECT_EQ(changed, 1);
    }
    int code = -1, changed = -1;
    CGL_GetKeycode(&code, &changed);  // all released: nothing new
    EXPECT_EQ(code, 0);
    EXPECT_EQ(changed, 0);

    // A full queue keeps the oldest keys and drops the newest.
    for (unsigned i = 0; i < CGL_KEYQUEUE_SIZE + 5; i++) {
        Press(i < CGL_KEYQUEUE_SIZE ? SDLK_a : SDLK_b);
        Release(i < CGL_KEYQUEUE_SIZE ? SDLK_a : SDLK_b);
    }
    unsigned as = 0;
    for (CGL_GetKeycode(&code, &changed); changed; CGL_GetKeycode(&code, &changed))
        as += code == 'A';
    EXPECT_EQ(as, CGL_KEYQUEUE_SIZE);
}

TEST_F(Input, GetKeys_EachKeyGivesItsBit) {
    const struct {
        SDL_Keycode sym;
        int bit;
    } cases[] = {
        {SDLK_UP, 0x0001},     {SDLK_DOWN, 0x0002},   {SDLK_LEFT, 0x0004},
        {SDLK_RIGHT, 0x0008},  {SDLK_SPACE, 0x0010},  {SDLK_LCTRL, 0x0020},
        {SDLK_RCTRL, 0x0020},  {SDLK_LSHIFT, 0x0040}, {SDLK_RSHIFT, 0x0040},
        {SDLK_z, 0x0080},      {SDLK_x, 0x0100},      {SDLK_c, 0x0400},
        {SDLK_RETURN, 0x1000}, {SDLK_1, 0x1000},      {SDLK_BACKSPACE, 0x2000},
        {SDLK_2, 0x2000},      {SDLK_ESCAPE, 0x8000}, {SDLK_v, 0},
        {SDLK_b, 0},           {SDLK_a, 0},           {SDLK_3, 0},
        {SDLK_TAB, 0},         {SDLK_F1, 0},          {SDLK_KP_ENTER, 0x1000},
    };
    for (const auto &c : cases) {
        Press(c.sym);
        EXPECT_EQ(CGL_GetKeys(nullptr, nullptr), c.bit) << SDL_GetKeyName(c.sym);
        Release(c.sym);
        EXPECT_EQ(CGL_GetKeys(nullptr, nullptr), 0) << SDL_GetKeyName(c.sym);
    }
}

TEST_F(Input, GetKeys_SharedBitsAreNotNewWhileTheOtherKeyHolds) {
    int held, pressed;
    Press(SDLK_RETURN);
    CGL_GetKeys(&held, &pressed);
    EXPECT_EQ(pressed, CGL_KEY_START);
    Press(SDLK_1);
    CGL_GetKeys(&held, &pressed);
    EXPECT_EQ(held, CGL_KEY_START);
    EXPECT_EQ(pressed, 0);
    Release(SDLK_RETURN);
    CGL_GetKeys(&held, &pressed);
    EXPECT_EQ(held, CGL_KEY_START);  // 1 still holds it

    Press(SDLK_BACKSPACE);
    Press(SDLK_2);
    Press(SDLK_UP);
    CGL_GetKeys(&held, &pressed);
    EXPECT_EQ(held, CGL_KEY_START | CGL_KEY_BUTTON9 | CGL_KEY_UP);
    EXPECT_EQ(pressed, CGL_KEY_BUTTON9 | CGL_KEY_UP);
}

TEST_F(Input, GetKeys_NullOutputsStillAdvanceTheMemory) {
    Press(SDLK_x);
    EXPECT_EQ(CGL_GetKeys(nullptr, nullptr), CGL_KEY_BUTTON5);
    int pressed = -1;
    CGL_GetKeys(nullptr, &pressed);
    EXPECT_EQ(pressed, 0);
    Release(SDLK_x);
}

TEST_F(Input, CheckKeys_CopiesTheAsynchronousStateIncludingSystemKeys) {
    Press(SDLK_a);
    EXPECT_EQ(CGL_keys['A'].load(), 1);  // the message path's mark
    sdl_checkkeys();
    EXPECT_EQ(CGL_keys['A'].load(), 0x8000);
    for (int vk = 0; vk < 256; vk++) {
        if (vk != 'A') {
            EXPECT_EQ(CGL_keys[vk].load(), 0) << vk;
        }
    }

    // A stale message-path entry is overwritten too.
    CGL_keys['Q'] = 1;
    Release(SDLK_a);
    sdl_checkkeys();
    EXPECT_EQ(CGL_keys['A'].load(), 0);
    EXPECT_EQ(CGL_keys['Q'].load(), 0);

    // Alt and F10 never reach the key table as messages, but the poll sees them.
    Press(SDLK_LALT);
    Press(SDLK_F10);
    EXPECT_EQ(CGL_keys[18].load(), 0);
    EXPECT_EQ(CGL_keys[121].load(), 0);
    EXPECT_EQ(cgl_keycode.load(), 0);
    sdl_checkkeys();
    EXPECT_EQ(CGL_keys[18].load(), 0x8000);
    EXPECT_EQ(CGL_keys[121].load(), 0x8000);
    Release(SDLK_LALT);
    Release(SDLK_F10);
}

TEST_F(Input, GetKeycode_FollowsTheLastKeyDown) {
    int code = -1, changed = -1;
    Press(SDLK_a);
    CGL_GetKeycode(&code, &changed);
    EXPECT_EQ(code, 'A');
    EXPECT_EQ(changed, 1);
    SendKey(SDLK_a, true, true);  // auto-repeat changes nothing
    CGL_GetKeycode(&code, &changed);
    EXPECT_EQ(code, 'A');
    EXPECT_EQ(changed, 0);

    // Hold A, press B, release A: B once with a change, then B without.
    Press(SDLK_b);
    Release(SDLK_a);
    CGL_GetKeycode(&code, &changed);
    EXPECT_EQ(code, 'B');
    EXPECT_EQ(changed, 1);
    CGL_GetKeycode(&code, &changed);
    EXPECT_EQ(code, 'B');
    EXPECT_EQ(changed, 0);

    // Releasing the current key: 0 without a change; pressing it again: a change.
    Release(SDLK_b);
    CGL_GetKeycode(&code, &changed);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(changed, 0);
    Press(SDLK_b);
    CGL_GetKeycode(&code, &changed);
    EXPECT_EQ(code, 'B');
    EXPECT_EQ(changed, 1);

    // Released and pressed again with no query in between still reports a change.
    Release(SDLK_b);
    Press(SDLK_b);
    CGL_GetKeycode(nullptr, &changed);
    EXPECT_EQ(changed, 1);
    Release(SDLK_b);
}

TEST_F(Input, GetKeycode_LettersUpperCaseDigitsAndSpecialCodes) {
    const struct {
        SDL_Keycode sym;
        Uint16 mod;
        int code;
    } cases[] = {
        {SDLK_a, KMOD_NONE, 'A'},
        {SDLK_z, KMOD_NONE, 'Z'},
        {SDLK_q, KMOD_LSHIFT, 'Q'},
        {SDLK_m, KMOD_CAPS, 'M'},
        {SDLK_0, KMOD_NONE, '0'},
        {SDLK_9, KMOD_NONE, '9'},
        {SDLK_ESCAPE, KMOD_NONE, CGL_KEYCODE_ESCAPE},
        {SDLK_UP, KMOD_NONE, 0xF001},
        {SDLK_DOWN, KMOD_NONE, 0xF002},
        {SDLK_LEFT, KMOD_NONE, 0xF003},
        {SDLK_RIGHT, KMOD_NONE, 0xF004},
        {SDLK_RETURN, KMOD_NONE, 0xF010},
        {SDLK_LSHIFT, KMOD_NONE, 0xF011},
        {SDLK_SPACE, KMOD_NONE, 0xF012},
        {SDLK_RCTRL, KMOD_NONE, 0xF013},
        {SDLK_BACKSPACE, KMOD_NONE, 0xF020},
        {SDLK_INSERT, KMOD_NONE, 0xF021},
        {SDLK_DELETE, KMOD_NONE, 0xF022},
        {SDLK_PAGEUP, KMOD_NONE, 0xF023},
        {SDLK_PAGEDOWN, KMOD_NONE, 0xF024},
        {SDLK_HOME, KMOD_NONE, 0xF025},
        {SDLK_END, KMOD_NONE, 0xF026},
        {SDLK_CAPSLOCK, KMOD_NONE, 0xF027},
        {SDLK_TAB, KMOD_NONE, 0xF028},
        {SDLK_F1, KMOD_NONE, 0xF030},
        {SDLK_F5, KMOD_NONE, 0xF034},
        {SDLK_F9, KMOD_NONE, 0xF038},
        {SDLK_F11, KMOD_NONE, 0xF03A},
        {SDLK_F12, KMOD_NONE, 0xF03B},
        {SDLK_PERIOD, KMOD_NONE, 190},
    };
    for (const auto &c : cases) {
        int code = -1, changed = -1;
        SendKey(c.sym, true, false, c.mod);
        CGL_GetKeycode(&code, &changed);
        EXPECT_EQ(code, c.code) << SDL_GetKeyName(c.sym);
        EXPECT_EQ(changed, 1) << SDL_GetKeyName(c.sym);
        SendKey(c.sym, false, false, c.mod);
    }
    // Alt and F10 have codes although no message ever carries them here.
    cgl_keycode = 18;
    EXPECT_EQ(sdl_getkeycode(), CGL_KEYCODE_ALT);
    cgl_keycode = 121;
    EXPECT_EQ(sdl_getkeycode(), CGL_KEYCODE_F10);
    cgl_keycode = 0;
    EXPECT_EQ(sdl_getkeycode(), 0);
}

TEST_F(Input, MouseWheel_CountsStepsAndReportsTheLatestDirectionOnce) {
    int counter = -99, dir = -99;
    CGL_GetMouseWheel(&counter, &dir);
    EXPECT_EQ(counter, 0);
    EXPECT_EQ(dir, 0);

    SendWheel(1);
    SendWheel(3);  // a big delta is still one step
    CGL_GetMouseWheel(&counter, &dir);
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(dir, 1);
    CGL_GetMouseWheel(&counter, &dir);
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(dir, 0);

    SendWheel(1);
    SendWheel(-2);
    CGL_GetMouseWheel(&counter, &dir);
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(dir, -1);
    SendWheel(-1);
    CGL_GetMouseWheel(&counter, &dir);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(dir, -1);
}

TEST_F(Input, MouseButtons_LeftRightMiddleBitsAndTheirSums) {
    EXPECT_EQ(Buttons(), 0);
    SendButton(SDL_BUTTON_LEFT, true);
    EXPECT_EQ(Buttons(), 1);
    SendButton(SDL_BUTTON_RIGHT, true);
    EXPECT_EQ(Buttons(), 3);
    SendButton(SDL_BUTTON_RIGHT, false);
    EXPECT_EQ(Buttons(), 1);
    SendButton(SDL_BUTTON_MIDDLE, true);
    EXPECT_EQ(Buttons(), 5);
    SendButton(SDL_BUTTON_RIGHT, true);
    EXPECT_EQ(Buttons(), 7);
    SendButton(SDL_BUTTON_LEFT, false);
    EXPECT_EQ(Buttons(), 6);
    SendButton(SDL_BUTTON_X1, true);  // no bit of its own
    EXPECT_EQ(Buttons(), 6);
    SendButton(SDL_BUTTON_MIDDLE, false);
    SendButton(SDL_BUTTON_RIGHT, false);
    EXPECT_EQ(Buttons(), 0);

    // Held while the focus goes to another window, let go there: up.
    SendButton(SDL_BUTTON_LEFT, true);
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    sdl_handleevent(e);
    EXPECT_EQ(Buttons(), 0);
}

// On the display's own driver, and on one with no global mouse state (as on
// Wayland), where the window's position must not be taken off.
static void CheckClientAreaMouse(const char *driver) {
    SCOPED_TRACE(driver ? driver : "default driver");
    const char *was = getenv("SDL_VIDEODRIVER");
    std::string saved_driver = was ? was : "";
    if (driver) setenv("SDL_VIDEODRIVER", driver, 1);
    int started = SDL_InitSubSystem(SDL_INIT_VIDEO);
    if (driver && was) setenv("SDL_VIDEODRIVER", saved_driver.c_str(), 1);
    if (driver && !was) unsetenv("SDL_VIDEODRIVER");
    if (started != 0) {
        printf("no video on %s: %s\n", driver ? driver : "the display", SDL_GetError());
        return;
    }
    SDL_Window *window = SDL_CreateWindow("input test", 130, 90, 200, 150, SDL_WINDOW_SHOWN);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    SDL_Window *saved = winhandle;
    winhandle = window;
    // Let the window system map and place the window.
    for (int i = 0; i < 20; i++) {
        SDL_PumpEvents();
        SDL_Delay(5);
    }
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(window, &wx, &wy);

    int x = -1, y = -1, b = -1;
    CGL_SetMouse(0, 0);
    CGL_GetMouse(&x, &y, &b);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(cgl_mouse_x.load(), 0);
    EXPECT_EQ(cgl_mouse_y.load(), 0);

    CGL_SetMouse(17, 23);
    CGL_GetMouse(&x, &y, &b);
    EXPECT_EQ(x, 17);
    EXPECT_EQ(y, 23);

    // Outside the client area the position goes negative, unscaled.
    if (!driver && wx >= 10 && wy >= 10) {
        SDL_WarpMouseGlobal(wx - 5, wy - 7);
        CGL_GetMouse(&x, &y, &b);
        EXPECT_EQ(x, -5);
        EXPECT_EQ(y, -7);
    }

    winhandle = saved;
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

TEST(InputMouse, SetMouseAndGetMouse_AreInClientAreaPixels) {
    CheckClientAreaMouse(nullptr);
    CheckClientAreaMouse("offscreen");
}

// The event handler runs on the main thread while the game thread polls;
// under ThreadSanitizer this shows the shared words are race-free.
TEST_F(Input, EventsOnOneThreadQueriesOnAnother) {
    std::atomic<bool> stop{false};
    std::thread pump([&] {
        for (int i = 0; i < 2000; i++) {
            SendKey(i & 1 ? SDLK_SPACE : SDLK_a, (i & 2) != 0);
            SendButton(SDL_BUTTON_LEFT, (i & 4) != 0);
            SendWheel(i & 8 ? 1 : -1);
        }
        stop = true;
    });
    int held, pressed, code, changed, counter, dir;
    while (!stop) {
        CGL_GetKeys(&held, &pressed);
        CGL_GetKeycode(&code, &changed);
        CGL_GetMouseWheel(&counter, &dir);
        EXPECT_EQ(held & ~CGL_KEY_BUTTON1, 0);
    }
    pump.join();
    Release(SDLK_SPACE);
    Release(SDLK_a);
    SendButton(SDL_BUTTON_LEFT, false);
}

// ---------------------------------------------------------------------------
// Controller table

TEST_F(Controllers, Init_WithoutJoysticksGivesTwoLayoutsMouseAndKeycode) {
    ASSERT_EQ(CGL_numcontrollers, 4);
    const int types[4] = {CGL_CONTROLLER_KEYS, CGL_CONTROLLER_KEYS, CGL_CONTROLLER_MOUSE,
                          CGL_CONTROLLER_KEYCODE};
    for (int n = 0; n < 4; n++) {
        const s_controller &c = CGL_controller[n];
        EXPECT_EQ(c.type, types[n]) << n;
        EXPECT_EQ(c.active, 1) << n;
        EXPECT_EQ(c.id | c.x | c.y | c.z | c.r | c.keys | c.oldkeys, 0) << n;
    }
    for (int slot = 0; slot < 16; slot++) {
        EXPECT_EQ(CGL_controllerkeys[0][slot], CGL_controllerlayoutA[slot]);
        EXPECT_EQ(CGL_controllerkeys[1][slot], CGL_controllerlayoutB[slot]);
    }
}

TEST_F(Controllers, DefaultLayouts_MapEachKeyToItsSlotBit) {
    const struct {
        int controller;
        SDL_Keycode sym;
        int bit;
    } cases[] = {
        {0, SDLK_UP, 0x0001},     {0, SDLK_DOWN, 0x0002},
        {0, SDLK_LEFT, 0x0004},   {0, SDLK_RIGHT, 0x0008},
        {0, SDLK_SPACE, 0x0010},  {0, SDLK_LCTRL, 0x0020},
        {0, SDLK_LSHIFT, 0x0040}, {0, SDLK_z, 0x0080},
        {0, SDLK_x, 0x0100},      {0, SDLK_c, 0x0400},
        {0, SDLK_v, 0x0200},      {0, SDLK_b, 0x0800},
        {0, SDLK_RETURN, 0x1000}, {0, SDLK_BACKSPACE, 0x2000},
        {0, SDLK_ESCAPE, 0x8000}, {0, SDLK_w, 0},
        {1, SDLK_w, 0x0001},      {1, SDLK_s, 0x0002},
        {1, SDLK_a, 0x0004},      {1, SDLK_d, 0x0008},
        {1, SDLK_u, 0x0010},      {1, SDLK_i, 0x0020},
        {1, SDLK_o, 0x0040},      {1, SDLK_p, 0x0080},
        {1, SDLK_k, 0x0100},      {1, SDLK_l, 0x0400},
        {1, SDLK_h, 0x0200},      {1, SDLK_j, 0x0800},
        {1, SDLK_RETURN, 0x1000}, {1, SDLK_BACKSPACE, 0x2000},
        {1, SDLK_ESCAPE, 0x8000}, {1, SDLK_UP, 0},
    };
    for (const auto &c : cases) {
        int held = -1;
        Press(c.sym);
        CGL_GetControllerKeys(c.controller, &held, nullptr);
        EXPECT_EQ(held, c.bit) << c.controller << " " << SDL_GetKeyName(c.sym);
        Release(c.sym);
    }
}

TEST_F(Controllers, GetControllerKeys_AxesPressedAndOtherTypes) {
    int held = -1, pressed = -1;
    Press(SDLK_UP);
    CGL_GetControllerKeys(0, &held, &pressed);
    EXPECT_EQ(CGL_controller[0].y, -127);
    EXPECT_EQ(CGL_controller[0].x, 0);
    EXPECT_EQ(pressed, CGL_KEY_UP);

    // Up and Down together: the later slot wins.
    Press(SDLK_DOWN);
    Press(SDLK_LEFT);
    CGL_GetControllerKeys(0, &held, &pressed);
    EXPECT_EQ(held, CGL_KEY_UP | CGL_KEY_DOWN | CGL_KEY_LEFT);
    EXPECT_EQ(pressed, CGL_KEY_DOWN | CGL_KEY_LEFT);
    EXPECT_EQ(CGL_controller[0].y, 127);
    EXPECT_EQ(CGL_controller[0].x, -127);
    EXPECT_EQ(CGL_controller[0].keys, held);
    EXPECT_EQ(CGL_controller[0].oldkeys, held);
    Press(SDLK_RIGHT);
    CGL_GetControllerKeys(0, nullptr, nullptr);
    EXPECT_EQ(CGL_controller[0].x, 127);

    // Not a key-mapped controller: nothing is written, not even the outputs.
    held = pressed = -7;
    CGL_GetControllerKeys(2, &held, &pressed);
    CGL_GetControllerKeys(3, &held, &pressed);
    CGL_GetControllerKeys(4, &held, &pressed);  // beyond the table
    CGL_GetControllerKeys(-1, &held, &pressed);
    EXPECT_EQ(held, -7);
    EXPECT_EQ(pressed, -7);
    for (SDL_Keycode k : {SDLK_UP, SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT}) Release(k);
}

TEST_F(Controllers, SlotFourteenIsStoredButNeverRead) {
    int codes[16];
    for (int slot = 0; slot < 16; slot++) codes[slot] = 'A' + slot;  // A..P
    CGL_SetKeyController(0, codes);
    for (int slot = 0; slot < 16; slot++) {
        const int bits[16] = {0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040, 0x0080,
                              0x0100, 0x0400, 0x0200, 0x0800, 0x1000, 0x2000, 0,      0x8000};
        SDL_Keycode sym = SDLK_a + slot;
        int held = -1;
        Press(sym);
        CGL_GetControllerKeys(0, &held, nullptr);
        EXPECT_EQ(held, bits[slot]) << "slot " << slot;
        Release(sym);
    }
    EXPECT_EQ(CGL_controllerkeys[0][14], 'O');

    // Codes outside the key table are never down.
    codes[0] = 300;
    codes[1] = -5;
    CGL_SetKeyController(0, codes);
    int held = -1;
    CGL_GetControllerKeys(0, &held, nullptr);
    EXPECT_EQ(held, 0);
}

TEST_F(Controllers, Poll_StoresEachTypesOwnValues) {
    Press(SDLK_UP);
    Press(SDLK_SPACE);
    SendButton(SDL_BUTTON_RIGHT, true);
    CGL_PollControllers();

    const s_controller &a = CGL_controller[0];
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, -127);
    EXPECT_EQ(a.keys, CGL_KEY_BUTTON1);  // buttons only
    EXPECT_EQ(a.oldkeys, CGL_KEY_UP);    // the direction bits of the read
    EXPECT_EQ(CGL_controller[1].keys, 0);

    const s_controller &mouse = CGL_controller[2];
    EXPECT_EQ(mouse.keys, 2);
    EXPECT_EQ(mouse.x, cgl_mouse_x.load());
    EXPECT_EQ(mouse.y, cgl_mouse_y.load());
    const s_controller &keycode = CGL_controller[3];
    EXPECT_EQ(keycode.keys, CGL_KEYCODE_SPACE);  // the last key down

    SendButton(SDL_BUTTON_LEFT, true);
    SendButton(SDL_BUTTON_RIGHT, false);
    Press(SDLK_LEFT);
    Press(SDLK_RIGHT);
    Release(SDLK_UP);
    CGL_PollControllers();
    EXPECT_EQ(mouse.keys, 1);
    EXPECT_EQ(mouse.oldkeys, 2);  // went up since the last poll
    EXPECT_EQ(keycode.keys, CGL_KEYCODE_RIGHT);
    EXPECT_EQ(keycode.oldkeys, CGL_KEYCODE_SPACE & ~CGL_KEYCODE_RIGHT);
    EXPECT_EQ(a.x, 127);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.oldkeys, CGL_KEY_LEFT | CGL_KEY_RIGHT);
    // The poll consumed the key-code change.
    int changed = -1;
    CGL_GetKeycode(nullptr, &changed);
    EXPECT_EQ(changed, 0);

    // An inactive controller is skipped.
    CGL_controller[2].active = 0;
    SendButton(SDL_BUTTON_LEFT, false);
    CGL_PollControllers();
    EXPECT_EQ(mouse.keys, 1);
    for (SDL_Keycode k : {SDLK_SPACE, SDLK_LEFT, SDLK_RIGHT}) Release(k);
}

TEST_F(Controllers, GetAll_MergesLayoutsButNotMouseOrKeycode) {
    int held = -1, pressed = -1;
    SendButton(SDL_BUTTON_LEFT, true);
    Press(SDLK_k);  // key code 'K' = 0x4B would carry 0x0001|0x0002|0x0008 if merged
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(held, CGL_KEY_BUTTON5);  // K is slot 8 of layout B
    EXPECT_EQ(pressed, CGL_KEY_BUTTON5);

    Press(SDLK_UP);     // layout A: through y = -127
    Press(SDLK_d);      // layout B: through x = +127
    Press(SDLK_SPACE);  // layout A button
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(held, CGL_KEY_BUTTON5 | CGL_KEY_UP | CGL_KEY_RIGHT | CGL_KEY_BUTTON1);
    EXPECT_EQ(pressed, CGL_KEY_UP | CGL_KEY_RIGHT | CGL_KEY_BUTTON1);
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(pressed, 0);
    EXPECT_EQ(cgl_input_prevcontrollerkey, held);

    // Up and Down together come back as Down only, through y = +127.
    Press(SDLK_DOWN);
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(held & (CGL_KEY_UP | CGL_KEY_DOWN), CGL_KEY_DOWN);

    // Escape is in both layouts; an inactive layout no longer counts.
    Press(SDLK_ESCAPE);
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(pressed, CGL_KEY_ESCAPE);
    CGL_controller[1].active = 0;
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(held, CGL_KEY_DOWN | CGL_KEY_BUTTON1 | CGL_KEY_ESCAPE);

    // A rerun of the init keeps the merge's memory: only what layout B adds
    // back is new.
    CGL_InitControllers();
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(held,
              CGL_KEY_BUTTON5 | CGL_KEY_RIGHT | CGL_KEY_DOWN | CGL_KEY_BUTTON1 | CGL_KEY_ESCAPE);
    EXPECT_EQ(pressed, CGL_KEY_BUTTON5 | CGL_KEY_RIGHT);

    SendButton(SDL_BUTTON_LEFT, false);
    for (SDL_Keycode k : {SDLK_k, SDLK_UP, SDLK_d, SDLK_SPACE, SDLK_DOWN, SDLK_ESCAPE}) Release(k);
}

TEST_F(Controllers, AddKeyController_AppendsUntilTheTableIsFull) {
    int codes[16] = {'Q', 0, 0, 0, 'E'};
    for (int i = 0; i < 4; i++) CGL_AddKeyController(codes);
    ASSERT_EQ(CGL_numcontrollers, 8);
    EXPECT_EQ(CGL_controller[7].type, CGL_CONTROLLER_KEYS);
    EXPECT_EQ(CGL_controller[7].active, 1);
    EXPECT_EQ(CGL_controllerkeys[7][4], 'E');

    testing::internal::CaptureStdout();
    CGL_AddKeyController(codes);
    CGL_SetKeyController(8, codes);
    CGL_SetKeyController(-1, codes);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(CGL_numcontrollers, 8);
    EXPECT_NE(out.find("full"), std::string::npos);

    Press(SDLK_e);
    int held = -1, pressed = -1;
    CGL_GetControllerKeys(7, &held, &pressed);
    EXPECT_EQ(held, CGL_KEY_BUTTON1);
    Press(SDLK_q);
    CGL_GetAllControllers(&held, &pressed);
    EXPECT_EQ(held, CGL_KEY_BUTTON1 | CGL_KEY_UP);
    Release(SDLK_e);
    Release(SDLK_q);

    // A fresh init starts from an empty table.
    CGL_InitControllers();
    EXPECT_EQ(CGL_numcontrollers, 4);
}
