// Input: keyboard, key codes, controllers, joysticks and mouse.
//
// The main thread's event handler writes these words; the game thread
// reads them. Each is a std::atomic used with relaxed loads and stores,
// which is what a single aligned 32-bit store between threads means in C++.
// They are defined beside the event handler, in cgl/events_sdl.cpp.
#pragma once

#include <atomic>
#include <cstdint>

// Key state by virtual-key code, written by the event handler (1 while down)
// and rewritten by the keyboard poll.
extern std::atomic<int> CGL_keys[256];
extern std::atomic<int> cgl_keycode;
extern std::atomic<int> cgl_input_prevkeycode;

extern std::atomic<int> cgl_mouse_x;
extern std::atomic<int> cgl_mouse_y;
extern std::atomic<int> cgl_mouse_z;
extern std::atomic<int> cgl_mouse_zdir;
extern std::atomic<int> cgl_mouse_buttons;

// Which virtual-key codes are down right now, the asynchronous key state.
extern std::atomic<uint8_t> sdl_asynckeys[256];
// Which went down since the last sdl_checkkeys: a tap that is over before
// the next poll still reads as down once.
extern std::atomic<uint8_t> sdl_keytaps[256];

// The virtual-key codes of the key-down messages not yet read by
// CGL_GetKeycode, oldest first, so that keys typed faster than the reads
// all arrive in order. A ring with one writer (the event handler) and one
// reader (the game thread): entries from head up to tail are unread. A full
// ring drops the newest key.
constexpr unsigned CGL_KEYQUEUE_SIZE = 64;
extern std::atomic<int> cgl_keyqueue[CGL_KEYQUEUE_SIZE];
extern std::atomic<unsigned> cgl_keyqueue_head;
extern std::atomic<unsigned> cgl_keyqueue_tail;

// ---------------------------------------------------------------------------
// Controller key bits: four directions and twelve buttons in the low 16 bits.

constexpr int CGL_KEY_UP = 0x0001;
constexpr int CGL_KEY_DOWN = 0x0002;
constexpr int CGL_KEY_LEFT = 0x0004;
constexpr int CGL_KEY_RIGHT = 0x0008;
constexpr int CGL_KEY_BUTTON1 = 0x0010;  // Space
constexpr int CGL_KEY_BUTTON2 = 0x0020;  // Ctrl
constexpr int CGL_KEY_BUTTON3 = 0x0040;  // Shift
constexpr int CGL_KEY_BUTTON4 = 0x0080;  // Z
constexpr int CGL_KEY_BUTTON5 = 0x0100;  // X
constexpr int CGL_KEY_BUTTON6 = 0x0200;
constexpr int CGL_KEY_BUTTON7 = 0x0400;  // C
constexpr int CGL_KEY_BUTTON8 = 0x0800;
constexpr int CGL_KEY_START = 0x1000;    // Enter, 1
constexpr int CGL_KEY_BUTTON9 = 0x2000;  // Backspace, 2
constexpr int CGL_KEY_BUTTON10 = 0x4000;
constexpr int CGL_KEY_ESCAPE = 0x8000;

// Key codes of CGL_GetKeycode. Keys without a code of their own come back as
// their virtual-key code: letters 'A'..'Z' (always upper case), digits '0'..'9'.
constexpr int CGL_KEYCODE_ESCAPE = 0xF000;
constexpr int CGL_KEYCODE_UP = 0xF001;
constexpr int CGL_KEYCODE_DOWN = 0xF002;
constexpr int CGL_KEYCODE_LEFT = 0xF003;
constexpr int CGL_KEYCODE_RIGHT = 0xF004;
constexpr int CGL_KEYCODE_ENTER = 0xF010;
constexpr int CGL_KEYCODE_SHIFT = 0xF011;
constexpr int CGL_KEYCODE_SPACE = 0xF012;
constexpr int CGL_KEYCODE_CTRL = 0xF013;
constexpr int CGL_KEYCODE_ALT = 0xF014;
constexpr int CGL_KEYCODE_BACKSPACE = 0xF020;
constexpr int CGL_KEYCODE_INSERT = 0xF021;
constexpr int CGL_KEYCODE_DELETE = 0xF022;
constexpr int CGL_KEYCODE_PAGEUP = 0xF023;
constexpr int CGL_KEYCODE_PAGEDOWN = 0xF024;
constexpr int CGL_KEYCODE_HOME = 0xF025;
constexpr int CGL_KEYCODE_END = 0xF026;
constexpr int CGL_KEYCODE_CAPSLOCK = 0xF027;
constexpr int CGL_KEYCODE_TAB = 0xF028;
constexpr int CGL_KEYCODE_F1 = 0xF030;  // F1..F12 are 0xF030..0xF03B
constexpr int CGL_KEYCODE_F2 = 0xF031;
constexpr int CGL_KEYCODE_F3 = 0xF032;
constexpr int CGL_KEYCODE_F4 = 0xF033;
constexpr int CGL_KEYCODE_F5 = 0xF034;
constexpr int CGL_KEYCODE_F6 = 0xF035;
constexpr int CGL_KEYCODE_F7 = 0xF036;
constexpr int CGL_KEYCODE_F8 = 0xF037;
constexpr int CGL_KEYCODE_F9 = 0xF038;
constexpr int CGL_KEYCODE_F10 = 0xF039;
constexpr int CGL_KEYCODE_F11 = 0xF03A;
constexpr int CGL_KEYCODE_F12 = 0xF03B;

// ---------------------------------------------------------------------------
// Keyboard. All run on the game thread.

// The word CGL_GetKeys builds, and its previous result ("newly pressed" is
// measured against it, whoever the previous caller was).
extern int CGL_joykey;
extern int cgl_input_prevkey;

// Refreshes CGL_keys and returns the held key bits. held and pressed may be
// null; the previous-result memory advances either way.
int CGL_GetKeys(int *held, int *pressed);
// The next key typed since the previous call, with changed 1; when every
// typed key has been read, the key code of the last key that went down (0
// when it is up again), with changed 1 only when it differs from the
// previous call's code. So a key pressed and released between two calls,
// or followed by another, is still reported, once and in order.
void CGL_GetKeycode(int *code, int *changed);
// cgl_keycode translated to a key code.
int sdl_getkeycode();
// Copies the asynchronous key state into all 256 CGL_keys entries
// (0x8000 down, 0 up); a key tapped since the last call counts as down.
void sdl_checkkeys();
// Forgets the keys tapped since the last sdl_checkkeys.
void sdl_forgettaps();
// Told at every CGL_GetKeycode: the program reads typed text now. Where the
// keyboard is one on the screen (a phone's, in the browser) the platform
// offers it while the reads go on; a desktop's keyboard is always at hand.
void sdl_readingtext();

// ---------------------------------------------------------------------------
// Controller table: joysticks, key-mapped keyboard layouts, the mouse and the
// key-code reader, polled together and merged into one set of key bits. All
// of it belongs to the game thread.

constexpr int CGL_CONTROLLER_KEYS = 1;
constexpr int CGL_CONTROLLER_JOYSTICK = 2;
constexpr int CGL_CONTROLLER_KEYCODE = 3;
constexpr int CGL_CONTROLLER_MOUSE = 4;

constexpr int CGL_MAXCONTROLLERS = 8;
constexpr int CGL_MAXJOYSTICKS = 4;
constexpr int CGL_CONTROLLERSLOTS = 16;

struct s_controller {
    int32_t type;
    int32_t id;       // joystick number for joysticks, else 0
    int32_t x, y;     // -127/0/+127 key-mapped, -128..128 joystick, position for the mouse
    int32_t z, r;     // joysticks only
    int32_t keys;     // bits of the latest poll
    int32_t oldkeys;  // see CGL_PollControllers
    int32_t active;
};

extern s_controller CGL_controller[CGL_MAXCONTROLLERS];
extern int CGL_numcontrollers;
// Row n: the 16 virtual-key codes of controller n, one per slot. Slot 14 is
// stored but never read.
extern int CGL_controllerkeys[CGL_MAXCONTROLLERS][CGL_CONTROLLERSLOTS];
extern int cgl_input_prevcontrollerkey;

// The two default layouts: arrows/Space/Ctrl/Shift/Z X C V B and W A S D/U I O P K L H J.
extern const int CGL_controllerlayoutA[CGL_CONTROLLERSLOTS];
extern const int CGL_controllerlayoutB[CGL_CONTROLLERSLOTS];

// Joysticks 0..3 that are connected, then layouts A and B, the mouse and the
// key-code reader. Reruns start from an empty table.
void CGL_InitControllers();
void CGL_PollControllers();
// Polls every controller and merges joysticks and key-mapped layouts.
void CGL_GetAllControllers(int *held, int *pressed);
// Reads a key-mapped controller directly; does nothing for other types.
void CGL_GetControllerKeys(int n, int *held, int *pressed);
// Appends a key-mapped controller; refused with a message when the table is full.
void CGL_AddKeyController(const int *codes);
void CGL_SetKeyController(int n, const int *codes);

// ---------------------------------------------------------------------------
// Joysticks, through SDL's joystick API. Joystick n is the device SDL lists
// at index n when it is first asked about.

int sdl_getnumjoysticks();
int sdl_joystickconnected(int n);
// 1 and the four axes (-128..128) and key bits; 0 and all zero when the
// joystick cannot be read (it is then closed).
int sdl_polljoystick(int n, int *x, int *y, int *z, int *r, int *bits);

// One reading of a joystick as the conversion wants it: axes in 0..65535
// (32767 centred), the hat as an angle in hundredths of degrees (65535
// centred), and button n down when bit n of buttons is set.
struct s_joystickreading {
    int numbuttons;
    int axis[4];  // X, Y, Z, R
    unsigned pov;
    uint32_t buttons;
};

// Turns a reading into axes and key bits. Shared by the SDL path and tests.
void cgl_convertjoystick(const s_joystickreading &reading, int *x, int *y, int *z, int *r,
                         int *bits);
// The button map for a pad with numbuttons buttons: 14 entries, button 1 first.
const int *cgl_joystickbuttonmap(int numbuttons);
// SDL hat position (SDL_HAT_*) to a point-of-view angle in hundredths of degrees.
unsigned sdl_hattopov(int hat);

// ---------------------------------------------------------------------------
// Mouse. The cursor position is in client-area pixels of winhandle, with no
// scaling to the game's picture; buttons are 1 left, 2 right, 4 middle.
//
// SDL offers no per-device raw mouse input, so there is no raw-input path
// here: no device list, no per-mouse motion or button tables.

void CGL_GetMouse(int *x, int *y, int *buttons);
void CGL_SetMouse(int x, int y);
// Hands out the wheel counter and the latest direction, then clears the direction.
void CGL_GetMouseWheel(int *counter, int *direction);
