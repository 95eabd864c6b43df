// The game's own generator against the C library's rand() on this desktop:
// the same numbers from the same seeds (large, zero and sign-bit seeds
// included), and a saved state that carries on where it was taken.
#include <gtest/gtest.h>

#include <cstdlib>

#include "game/random.h"

TEST(Random, GivesTheDesktopLibrarysNumbersAndResumesFromASavedState) {
    const unsigned seeds[] = {0u, 1u, 2u, 17u, 5000u, 2147483647u, 2147483648u, 4294967295u};
    for (unsigned seed : seeds) {
        srand(seed);
        RandomSeed(seed);
        for (int i = 0; i < 20000; i++) ASSERT_EQ(Random(), rand()) << "seed " << seed << " #" << i;
    }

    RandomSeed(99);
    for (int i = 0; i < 45; i++) Random();
    s_randomstate saved = RandomGetState();
    int expected[100];
    for (int &n : expected) n = Random();
    RandomSeed(3);
    RandomSetState(saved);
    for (int n : expected) ASSERT_EQ(Random(), n);
}
