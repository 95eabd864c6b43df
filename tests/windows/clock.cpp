// The desktop's millisecond clock on Windows as the frame timer reads it:
// prints how often it moved in half a second, how often by a single
// millisecond, and its largest step. The game waits 15 ms a frame on it; a
// clock that moves in the system timer's 10 to 16 ms steps would stretch
// every wait to the next step.
#include <cstdio>

#include "cgl/desktop.h"

int main() {
    sys_startprocess(nullptr);
    uint32_t start = sys_ticks(), last = start, largest = 0;
    int steps = 0, single = 0;
    for (uint32_t t = start; t - start < 500; t = sys_ticks()) {
        if (t == last) continue;
        steps++;
        single += t - last == 1;
        if (t - last > largest) largest = t - last;
        last = t;
    }
    std::printf("%d steps in 500 ms, %d of 1 ms, the largest %u ms\n", steps, single,
                (unsigned)largest);
    return 0;
}
