// The game's random generator. See random.h.
#include "game/random.h"

namespace {

s_randomstate g_random;

// 16807 x mod (2^31 - 1) without overflow (Schrage's method), with the
// seed taken as a signed 32-bit number the way the library takes it.
int32_t LehmerStep(int32_t x) {
    int32_t hi = x / 127773;
    int32_t lo = x % 127773;
    int32_t word = 16807 * lo - 2836 * hi;
    if (word < 0) word += 2147483647;
    return word;
}

uint32_t Step(s_randomstate &s) {
    // word[next] is 31 places back; 3 places back is 28 places ahead in the ring.
    uint32_t sum = s.word[s.next] + s.word[(s.next + 28) % kRandomWords];
    s.word[s.next] = sum;
    s.next = (s.next + 1) % kRandomWords;
    return sum;
}

}  // namespace

void RandomSeed(uint32_t seed) {
    if (seed == 0) seed = 1;
    // r[0..30] from the seed, r[31..33] copies of r[0..2], then sums; the
    // first number handed out is r[344] halved, so r[313..343] is the state.
    uint32_t r[344];
    int32_t x = static_cast<int32_t>(seed);
    r[0] = static_cast<uint32_t>(x);
    for (int i = 1; i < kRandomWords; i++) {
        x = LehmerStep(x);
        r[i] = static_cast<uint32_t>(x);
    }
    for (int i = kRandomWords; i < 34; i++) r[i] = r[i - kRandomWords];
    for (int i = 34; i < 344; i++) r[i] = r[i - 31] + r[i - 3];
    for (int i = 0; i < kRandomWords; i++) g_random.word[i] = r[344 - kRandomWords + i];
    g_random.next = 0;
}

int Random() {
    return static_cast<int>(Step(g_random) >> 1);
}

s_randomstate RandomGetState() {
    s_randomstate out;
    for (int i = 0; i < kRandomWords; i++)
        out.word[i] = g_random.word[(g_random.next + i) % kRandomWords];
    out.next = 0;
    return out;
}

void RandomSetState(const s_randomstate &state) {
    g_random = state;
    if (g_random.next < 0 || g_random.next >= kRandomWords) g_random.next = 0;
}
