// Keyboard bits, key codes and the controller table.
//
// Offers CGL_GetKeys and CGL_GetKeycode for the game, and the engine's table
// of up to 8 controllers (joysticks, key-mapped layouts, the mouse, the
// key-code reader) with its poll and merge. Everything here is platform-free:
// keys are Windows virtual-key codes, which the event handler and
// sdl_checkkeys keep in CGL_keys; joysticks and the mouse come from
// input_sdl.cpp. All of it runs on the game thread.
#include "cgl/input.h"
#include "cgl/gamepad.h"

#include <cstdio>

// ---------------------------------------------------------------------------
// Globals

int CGL_joykey;
int cgl_input_prevkey;
int cgl_input_prevcontrollerkey;

s_controller CGL_controller[CGL_MAXCONTROLLERS];
int CGL_numcontrollers;
int CGL_controllerkeys[CGL_MAXCONTROLLERS][CGL_CONTROLLERSLOTS];

namespace {

// The virtual-key codes this file names.
enum : int {
    kVkBack = 8,
    kVkTab = 9,
    kVkReturn = 13,
    kVkShift = 16,
    kVkControl = 17,
    kVkMenu = 18,  // Alt
    kVkCapital = 20,
    kVkEscape = 27,
    kVkSpace = 32,
    kVkPrior = 33,
    kVkNext = 34,
    kVkEnd = 35,
    kVkHome = 36,
    kVkLeft = 37,
    kVkUp = 38,
    kVkRight = 39,
    kVkDown = 40,
    kVkInsert = 45,
    kVkDelete = 46,
    kVkF1 = 112,
    kVkF12 = 123,
};

// CGL_GetKeys' keyboard column. Enter and 1, Backspace and 2 share a bit.
struct KeyBit {
    int vk;
    int bit;
};
const KeyBit kKeyboardBits[] = {
    {kVkUp, CGL_KEY_UP},         {kVkDown, CGL_KEY_DOWN},     {kVkLeft, CGL_KEY_LEFT},
    {kVkRight, CGL_KEY_RIGHT},   {kVkSpace, CGL_KEY_BUTTON1}, {kVkControl, CGL_KEY_BUTTON2},
    {kVkShift, CGL_KEY_BUTTON3}, {'Z', CGL_KEY_BUTTON4},      {kVkReturn, CGL_KEY_START},
    {kVkBack, CGL_KEY_BUTTON9},  {'X', CGL_KEY_BUTTON5},      {'C', CGL_KEY_BUTTON7},
    {'1', CGL_KEY_START},        {'2', CGL_KEY_BUTTON9},      {kVkEscape, CGL_KEY_ESCAPE},
};

// Slot to bit for key-mapped controllers. Slots 9 and 10 are crossed so that
// C (slot 9 of layout A) gives the same bit as in CGL_GetKeys; slot 14 has no
// bit and is skipped, so 0x4000 never comes from a keyboard layout.
const int kSlotBits[CGL_CONTROLLERSLOTS] = {
    0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040, 0x0080,
    0x0100, 0x0400, 0x0200, 0x0800, 0x1000, 0x2000, 0,      0x8000,
};
const int kUnreadSlot = 14;

// Special key codes by virtual key; every other key is its own code.
struct KeyCode {
    int vk;
    int code;
};
const KeyCode kKeyCodes[] = {
    {kVkEscape, CGL_KEYCODE_ESCAPE},  {kVkUp, CGL_KEYCODE_UP},
    {kVkDown, CGL_KEYCODE_DOWN},      {kVkLeft, CGL_KEYCODE_LEFT},
    {kVkRight, CGL_KEYCODE_RIGHT},    {kVkReturn, CGL_KEYCODE_ENTER},
    {kVkShift, CGL_KEYCODE_SHIFT},    {kVkSpace, CGL_KEYCODE_SPACE},
    {kVkControl, CGL_KEYCODE_CTRL},   {kVkMenu, CGL_KEYCODE_ALT},
    {kVkBack, CGL_KEYCODE_BACKSPACE}, {kVkInsert, CGL_KEYCODE_INSERT},
    {kVkDelete, CGL_KEYCODE_DELETE},  {kVkPrior, CGL_KEYCODE_PAGEUP},
    {kVkNext, CGL_KEYCODE_PAGEDOWN},  {kVkHome, CGL_KEYCODE_HOME},
    {kVkEnd, CGL_KEYCODE_END},        {kVkCapital, CGL_KEYCODE_CAPSLOCK},
    {kVkTab, CGL_KEYCODE_TAB},
};

// Joystick buttons 1..14 to key bits, by the pad's button count.
const int kButtonMapA[14] = {0x0010, 0x0020, 0x0040, 0x0080, 0x0100, 0x0400, 0x2000,
                             0x1000, 0x4000, 0x4000, 0,      0,      0,      0};
const int kButtonMapB[14] = {0x0040, 0x0010, 0x0020, 0x0080, 0x0100, 0x0400, 0x0200,
                             0x0800, 0x1000, 0x2000, 0x4000, 0x4000, 0x8000, 0x1000};
const int kButtonMapC[14] = {0x0080, 0x0020, 0x0010, 0x0040, 0x0200, 0x0800, 0x0100,
                             0x0400, 0x1000, 0x2000, 0x4000, 0x4000, 0,      0};

// A code out of the 0..255 key table is never down.
bool KeyDown(int vk) {
    return vk >= 0 && vk < 256 && CGL_keys[vk].load(std::memory_order_relaxed) != 0;
}

bool ValidController(int n) {
    return n >= 0 && n < CGL_numcontrollers && n < CGL_MAXCONTROLLERS;
}

void ClearController(s_controller *c, int type, int id) {
    *c = s_controller{};
    c->type = type;
    c->id = id;
    c->active = 1;
}

void CopyLayout(int row, const int *codes) {
    for (int slot = 0; slot < CGL_CONTROLLERSLOTS; slot++)
        CGL_controllerkeys[row][slot] = codes[slot];
}

}  // namespace

const int CGL_controllerlayoutA[CGL_CONTROLLERSLOTS] = {
    kVkUp, kVkDown, kVkLeft, kVkRight, kVkSpace,  kVkControl, kVkShift,  'Z',
    'X',   'C',     'V',     'B',      kVkReturn, kVkBack,    kVkEscape, kVkEscape,
};
const int CGL_controllerlayoutB[CGL_CONTROLLERSLOTS] = {
    'W', 'S', 'A', 'D', 'U',       'I',     'O',       'P',
    'K', 'L', 'H', 'J', kVkReturn, kVkBack, kVkEscape, kVkEscape,
};

// ---------------------------------------------------------------------------
// Keyboard

int CGL_GetKeys(int *held, int *pressed) {
    sdl_checkkeys();
    CGL_joykey = 0;
    for (const KeyBit &kb : kKeyboardBits) {
        // The pads' keys join the keyboard's here, and only here: the
        // controller table reads pads as joysticks.
        if (KeyDown(kb.vk) || sdl_padkeydown(kb.vk)) CGL_joykey |= kb.bit;
    }
    int bits = CGL_joykey;
    if (held) *held = bits;
    if (pressed) *pressed = bits & ~cgl_input_prevkey;
    cgl_input_prevkey = bits;
    return bits;
}

static int keycode_of(int vk) {
    if (vk >= kVkF1 && vk <= kVkF12) return CGL_KEYCODE_F1 + (vk - kVkF1);
    for (const KeyCode &kc : kKeyCodes)
        if (kc.vk == vk) return kc.code;
    return vk;
}

int sdl_getkeycode() {
    return keycode_of(cgl_keycode.load(std::memory_order_relaxed));
}

// The oldest key-down the reader has not had yet.
static bool next_typed_key(int *vk) {
    unsigned head = cgl_keyqueue_head.load(std::memory_order_relaxed);
    if (head == cgl_keyqueue_tail.load(std::memory_order_acquire)) return false;
    *vk = cgl_keyqueue[head % CGL_KEYQUEUE_SIZE].load(std::memory_order_relaxed);
    cgl_keyqueue_head.store(head + 1, std::memory_order_release);
    return true;
}

void CGL_GetKeycode(int *code, int *changed) {
    // A read of the key code is a read of the keyboard: the keys tapped
    // until now have been seen, and must not come back as new presses at
    // the next CGL_GetKeys (the Enter that ends a name entry, say).
    sdl_forgettaps();
    sdl_readingtext();
    int vk = 0, k = 0, isnew = 0;
    if (next_typed_key(&vk)) {
        k = keycode_of(vk);
        isnew = 1;
        // The next read compares with the key as it is now: still down, or
        // 0 once released, which is no change.
        cgl_input_prevkeycode.store(sdl_getkeycode(), std::memory_order_relaxed);
    } else {
        k = sdl_getkeycode();
        isnew = k != cgl_input_prevkeycode.load(std::memory_order_relaxed);
        cgl_input_prevkeycode.store(k, std::memory_order_relaxed);
    }
    if (code) *code = k;
    if (changed) *changed = isnew;
}

// ---------------------------------------------------------------------------
// Controller table

void CGL_InitControllers() {
    int n = 0;
    for (int joy = 0; joy < CGL_MAXJOYSTICKS; joy++) {
        if (!sdl_joystickconnected(joy)) continue;
        ClearController(&CGL_controller[n++], CGL_CONTROLLER_JOYSTICK, joy);
        printf("joystick %d found\n", joy);
    }
    ClearController(&CGL_controller[n], CGL_CONTROLLER_KEYS, 0);
    CopyLayout(n++, CGL_controllerlayoutA);
    ClearController(&CGL_controller[n], CGL_CONTROLLER_KEYS, 0);
    CopyLayout(n++, CGL_controllerlayoutB);
    ClearController(&CGL_controller[n++], CGL_CONTROLLER_MOUSE, 0);
    ClearController(&CGL_controller[n++], CGL_CONTROLLER_KEYCODE, 0);
    // The merge's previous result is kept: a button held across a rerun is
    // not reported as newly pressed again.
    CGL_numcontrollers = n;
}

void CGL_AddKeyController(const int *codes) {
    if (!codes) return;
    if (CGL_numcontrollers < 0 || CGL_numcontrollers >= CGL_MAXCONTROLLERS) {
        printf("CGL_AddKeyController: controller table full (%d)\n", CGL_MAXCONTROLLERS);
        return;
    }
    int n = CGL_numcontrollers;
    ClearController(&CGL_controller[n], CGL_CONTROLLER_KEYS, 0);
    CopyLayout(n, codes);
    CGL_numcontrollers = n + 1;
}

void CGL_SetKeyController(int n, const int *codes) {
    if (!codes) return;
    if (n < 0 || n >= CGL_MAXCONTROLLERS) {
        printf("CGL_SetKeyController: no controller %d\n", n);
        return;
    }
    CopyLayout(n, codes);
}

void CGL_GetControllerKeys(int n, int *held, int *pressed) {
    if (!ValidController(n)) return;
    s_controller &c = CGL_controller[n];
    if (c.type != CGL_CONTROLLER_KEYS) return;
    sdl_checkkeys();
    c.x = 0;
    c.y = 0;
    int bits = 0;
    for (int slot = 0; slot < CGL_CONTROLLERSLOTS; slot++) {
        if (slot == kUnreadSlot || !KeyDown(CGL_controllerkeys[n][slot])) continue;
        bits |= kSlotBits[slot];
        // Later slots win, so opposite directions held together give +127.
        if (slot == 0) c.y = -127;
        if (slot == 1) c.y = 127;
        if (slot == 2) c.x = -127;
        if (slot == 3) c.x = 127;
    }
    c.keys = bits;
    if (held) *held = bits;
    if (pressed) *pressed = bits & ~c.oldkeys;
    c.oldkeys = bits;
}

void CGL_PollControllers() {
    for (int n = 0; n < CGL_numcontrollers && n < CGL_MAXCONTROLLERS; n++) {
        s_controller &c = CGL_controller[n];
        if (!c.active) continue;
        switch (c.type) {
            case CGL_CONTROLLER_KEYS: {
                int b = 0, p = 0;
                CGL_GetControllerKeys(n, &b, &p);
                c.x = 0;
                c.y = 0;
                if (b & CGL_KEY_LEFT) c.x = -127;
                if (b & CGL_KEY_RIGHT) c.x = 127;
                if (b & CGL_KEY_UP) c.y = -127;
                if (b & CGL_KEY_DOWN) c.y = 127;
                c.z = 0;
                c.r = 0;
                // keys still holds b here, so oldkeys keeps b's direction bits
                // and keys its buttons; directions travel through x and y.
                c.oldkeys = c.keys & ~(b & 0xFFF0);
                c.keys = b & 0xFFF0;
                break;
            }
            case CGL_CONTROLLER_JOYSTICK: {
                int x, y, z, r, bits;
                if (!sdl_polljoystick(c.id, &x, &y, &z, &r, &bits)) {
                    c.active = 0;
                    break;
                }
                c.x = x;
                c.y = y;
                c.z = z;
                c.r = r;
                c.oldkeys = c.keys & ~bits;
                c.keys = bits;
                break;
            }
            case CGL_CONTROLLER_KEYCODE: {
                // The controller holds a state, not the typed keys: they are
                // all read, and what is left is the last key down.
                int k = 0, changed = 0;
                unsigned reads = 0;
                do {
                    CGL_GetKeycode(&k, &changed);
                } while (changed && ++reads <= CGL_KEYQUEUE_SIZE);
                c.oldkeys = c.keys & ~k;
                c.keys = k;
                break;
            }
            case CGL_CONTROLLER_MOUSE: {
                int mx = 0, my = 0, mb = 0;
                CGL_GetMouse(&mx, &my, &mb);
                c.x = mx;
                c.y = my;
                c.oldkeys = c.keys & ~mb;
                c.keys = mb;
                break;
            }
            default:
                break;
        }
    }
}

void CGL_GetAllControllers(int *held, int *pressed) {
    CGL_PollControllers();
    int bits = 0;
    for (int n = 0; n < CGL_numcontrollers && n < CGL_MAXCONTROLLERS; n++) {
        const s_controller &c = CGL_controller[n];
        if (!c.active) continue;
        if (c.type != CGL_CONTROLLER_KEYS && c.type != CGL_CONTROLLER_JOYSTICK) continue;
        bits |= c.keys;
        // Sticks count from half deflection.
        if (c.x < -64)
            bits |= CGL_KEY_LEFT;
        else if (c.x > 64)
            bits |= CGL_KEY_RIGHT;
        if (c.y < -64)
            bits |= CGL_KEY_UP;
        else if (c.y > 64)
            bits |= CGL_KEY_DOWN;
    }
    if (held) *held = bits;
    if (pressed) *pressed = bits & ~cgl_input_prevcontrollerkey;
    cgl_input_prevcontrollerkey = bits;
}

// ---------------------------------------------------------------------------
// Joystick conversion

const int *cgl_joystickbuttonmap(int numbuttons) {
    if (numbuttons == 10) return kButtonMapA;
    if (numbuttons == 14) return kButtonMapB;
    return kButtonMapC;
}

void cgl_convertjoystick(const s_joystickreading &reading, int *x, int *y, int *z, int *r,
                         int *bits) {
    // Arithmetic shift of the 0..65535 position: 0 -> -128, 32767 -> 0, 65535 -> 128.
    int *axes[4] = {x, y, z, r};
    for (int i = 0; i < 4; i++) {
        int v = reading.axis[i];
        if (v < 0) v = 0;
        if (v > 65535) v = 65535;
        if (axes[i]) *axes[i] = (v - 32767) >> 8;
    }

    int keys = 0;
    // Whole degrees; the centred value 65535 gives 655 and no direction. The
    // ranges overlap at the diagonals so that 45, 135, 225 and 315 give both
    // neighbours.
    unsigned p = reading.pov / 100;
    if (p <= 360) {
        if (p <= 45 || p > 314) keys |= CGL_KEY_UP;
        if (p > 134 && p <= 225) keys |= CGL_KEY_DOWN;
        if (p > 44 && p <= 135) keys |= CGL_KEY_RIGHT;
        if (p > 224 && p <= 315) keys |= CGL_KEY_LEFT;
    }

    const int *map = cgl_joystickbuttonmap(reading.numbuttons);
    for (int b = 0; b < 14; b++)
        if (reading.buttons & (1u << b)) keys |= map[b];
    if (bits) *bits = keys;
}
