// The game's random numbers: one generator whose whole state can be saved.
//
// It is the additive lagged-Fibonacci generator the C library on the
// desktop has always given the game through srand and rand (the "TYPE_3"
// generator: each number is the sum of the ones 31 and 3 places back,
// halved), written out here so that every build, the browser's included,
// draws the same fields from the same seed. The numbers are those rand()
// gave on the desktop, so the game's randomness is what it always was.
//
// Depends on: nothing.
#pragma once

#include <cstdint>

constexpr int kRandomWords = 31;

// The last 31 sums, oldest first after a RandomGetState.
struct s_randomstate {
    uint32_t word[kRandomWords];
    int next;  // index of the oldest word, the one the next number replaces
};

// Seeds the generator as srand(seed) does; 0 seeds as 1.
void RandomSeed(uint32_t seed);
// The next number, 0 .. 2^31 - 1, as rand() gives it.
int Random();
// The state in its canonical order (oldest word first, next 0), and back.
// A state set from a file is taken as it is: any 31 words are a state.
s_randomstate RandomGetState();
void RandomSetState(const s_randomstate &state);
