// Input: keyboard, key codes, controllers, joysticks and mouse.
//
// The main thread's event handler writes these words; the game thread
// reads them. Each is a std::atomic used with relaxed loads and stores,
// which is what a single aligned 32-bit store between threads means in C++.
// They are defined beside the event handler, in cgl/app_sdl.cpp.
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
