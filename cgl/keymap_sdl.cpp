// SDL keys to virtual-key codes.
//
// The engine keeps the Windows virtual-key code space: its key table, key
// codes and controller layouts are defined in it. This is the one place
// where SDL's key codes are translated into it.
#include "cgl/platform.h"

#include <SDL.h>

namespace {

struct KeyPair {
    SDL_Keycode sdl;
    int vk;
};

const KeyPair kKeyTable[] = {
    {SDLK_BACKSPACE, 8},
    {SDLK_TAB, 9},
    {SDLK_CLEAR, 12},
    {SDLK_RETURN, 13},
    {SDLK_KP_ENTER, 13},
    {SDLK_LSHIFT, 16},
    {SDLK_RSHIFT, 16},
    {SDLK_LCTRL, 17},
    {SDLK_RCTRL, 17},
    {SDLK_LALT, 18},
    {SDLK_RALT, 18},
    {SDLK_PAUSE, 19},
    {SDLK_CAPSLOCK, 20},
    {SDLK_ESCAPE, 27},
    {SDLK_SPACE, 32},
    {SDLK_PAGEUP, 33},
    {SDLK_PAGEDOWN, 34},
    {SDLK_END, 35},
    {SDLK_HOME, 36},
    {SDLK_LEFT, 37},
    {SDLK_UP, 38},
    {SDLK_RIGHT, 39},
    {SDLK_DOWN, 40},
    {SDLK_SELECT, 41},
    {SDLK_EXECUTE, 43},
    {SDLK_PRINTSCREEN, 44},
    {SDLK_INSERT, 45},
    {SDLK_DELETE, 46},
    {SDLK_HELP, 47},
    {SDLK_LGUI, 91},
    {SDLK_RGUI, 92},
    {SDLK_APPLICATION, 93},
    {SDLK_SLEEP, 95},
    {SDLK_KP_0, 96},
    {SDLK_KP_1, 97},
    {SDLK_KP_2, 98},
    {SDLK_KP_3, 99},
    {SDLK_KP_4, 100},
    {SDLK_KP_5, 101},
    {SDLK_KP_6, 102},
    {SDLK_KP_7, 103},
    {SDLK_KP_8, 104},
    {SDLK_KP_9, 105},
    {SDLK_KP_MULTIPLY, 106},
    {SDLK_KP_PLUS, 107},
    {SDLK_KP_COMMA, 108},
    {SDLK_KP_MINUS, 109},
    {SDLK_KP_PERIOD, 110},
    {SDLK_KP_DIVIDE, 111},
    {SDLK_NUMLOCKCLEAR, 144},
    {SDLK_SCROLLLOCK, 145},
    {SDLK_AC_BACK, 166},
    {SDLK_AC_FORWARD, 167},
    {SDLK_AC_REFRESH, 168},
    {SDLK_AC_STOP, 169},
    {SDLK_AC_SEARCH, 170},
    {SDLK_AC_BOOKMARKS, 171},
    {SDLK_AC_HOME, 172},
    {SDLK_MUTE, 173},
    {SDLK_VOLUMEDOWN, 174},
    {SDLK_VOLUMEUP, 175},
    {SDLK_AUDIONEXT, 176},
    {SDLK_AUDIOPREV, 177},
    {SDLK_AUDIOSTOP, 178},
    {SDLK_AUDIOPLAY, 179},
    {SDLK_MAIL, 180},
    {SDLK_MEDIASELECT, 181},
    {SDLK_SEMICOLON, 186},
    {SDLK_EQUALS, 187},
    {SDLK_PLUS, 187},
    {SDLK_COMMA, 188},
    {SDLK_MINUS, 189},
    {SDLK_PERIOD, 190},
    {SDLK_SLASH, 191},
    {SDLK_BACKQUOTE, 192},
    {SDLK_LEFTBRACKET, 219},
    {SDLK_BACKSLASH, 220},
    {SDLK_RIGHTBRACKET, 221},
    {SDLK_QUOTE, 222},
    {SDLK_CRSEL, 247},
    {SDLK_EXSEL, 248},
};

}  // namespace

int sdl_translatekey(int sdl_keycode) {
    if (sdl_keycode >= SDLK_a && sdl_keycode <= SDLK_z) return 'A' + (sdl_keycode - SDLK_a);
    if (sdl_keycode >= SDLK_0 && sdl_keycode <= SDLK_9) return '0' + (sdl_keycode - SDLK_0);
    if (sdl_keycode >= SDLK_F1 && sdl_keycode <= SDLK_F12) return 112 + (sdl_keycode - SDLK_F1);
    if (sdl_keycode >= SDLK_F13 && sdl_keycode <= SDLK_F24) return 124 + (sdl_keycode - SDLK_F13);
    for (const KeyPair &pair : kKeyTable)
        if (pair.sdl == sdl_keycode) return pair.vk;
    return 0;
}
