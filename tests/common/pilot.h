// A pilot for the game, for tests and the replay corpus: keeps clear of the
// planets ahead while free, latches on from a safe distance with the planet
// beside it, swings for a while and lets go. It reads the game's state (on
// the game's thread) and says what to press; the caller presses it, in the
// input words or as key events.
#pragma once

#include <cstdint>

struct Pilot {
    uint32_t rng;
    bool careful = false;  // wider berths, shorter swings, lets go when aimed at a planet
    int hold = 0, cooldown = 0, steer = 0, steerFor = 0;
    uint32_t Next(uint32_t n) {
        rng = rng * 1664525u + 1013904223u;
        return (rng >> 8) % n;
    }
};

struct PilotMove {
    bool act;   // the action input (latch, hold the swing)
    int steer;  // -1 left, 0 straight, +1 right
};

// The next frame's move.
PilotMove PilotDecide(Pilot &p);
