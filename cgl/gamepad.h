// Gamepads: SDL game controllers presented to the engine as keys.
//
// A pad that SDL can map (its built-in database, SDL_GAMECONTROLLERCONFIG,
// or a gamecontrollerdb.txt beside the executable or in the installed data
// folder) is opened when it is plugged in and closed when it goes. Its
// buttons and left stick hold virtual keys in a key table of the pads' own,
// which CGL_GetKeys reads beside the keyboard's: a key held on either counts,
// and neither releases the other. A press also sets the key code the way a
// key-down does. Pads SDL cannot map are left to the controller table as
// plain joysticks, and mapped pads are still joysticks there too.
//
// Layout:
//   D-pad or left stick    the arrow keys
//   A (south)              Space; key code Enter, so it confirms a name
//   B (east) or Back       Escape
//   Start                  Enter
#pragma once

union SDL_Event;

// Starts SDL's game-controller support and loads the mapping files, then
// opens the mapped pads already plugged in. Main thread, after SDL_Init.
void sdl_gamepadinit();
// The event handler's part for pads: plugging, unplugging, buttons and
// stick. Ignores every other event. Main thread.
void sdl_gamepadevent(const SDL_Event &event);
// True while a pad holds virtual key vk. Any thread.
bool sdl_padkeydown(int vk);
// The number of pads open now. Any thread.
int sdl_numgamepads();
