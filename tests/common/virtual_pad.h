// A virtual gamepad for tests: SDL's virtual joystick, 2 axes, 12 buttons.
#pragma once

#include <SDL.h>

// The raw buttons its mapping names, out of the usual order so that only a
// pad read through the mapping gets them right; the left stick is axis 0.
constexpr int kPadStart = 0, kPadB = 1, kPadA = 3, kPadBack = 4, kPadDpadLeft = 5, kPadDpadUp = 6;

// Attaches and opens a pad at rest; with mapped, SDL takes it for a game
// controller. Null on failure.
SDL_Joystick *virtualpad_attach(Uint16 product, bool mapped);
void virtualpad_detach(SDL_Joystick *pad);
