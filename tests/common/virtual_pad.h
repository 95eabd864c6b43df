// A virtual gamepad for tests: SDL's virtual joystick, optionally given a
// game-controller mapping.
#pragma once

#include <SDL.h>

// The raw buttons the mapping names. They are out of the usual order, so
// only a pad read through its mapping gets them right; the left stick is
// axis 0.
constexpr int kPadStart = 0, kPadB = 1, kPadA = 3, kPadBack = 4, kPadDpadLeft = 5, kPadDpadUp = 6;

// Attaches a pad with 2 axes and 12 buttons, all at rest, and opens it.
// With mapped, SDL knows it as a game controller. Null on failure.
SDL_Joystick *virtualpad_attach(Uint16 product, bool mapped);
// Detaches and closes a pad from virtualpad_attach.
void virtualpad_detach(SDL_Joystick *pad);
