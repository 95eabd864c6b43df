// The verifier's speed: the committed replays played without a window,
// each frame handled as in a game and its state hashed every 60 frames.
// Figures in frames simulated per second and in minutes of play checked
// per second of work.
#include <time.h>

#include <cstdio>
#include <string>
#include <vector>

#include "game/play.h"

int main() {
    const char *names[] = {"MEDIUM-long", "EASY-3", "HARD-3", "MEDIUM-4"};
    std::vector<std::string> paths;
    for (const char *name : names)
        paths.push_back(std::string(QO_SOURCE_DIR) + "/tests/replays/" + name + ".qoreplay");
    std::vector<const char *> argv;
    for (const std::string &p : paths) argv.push_back(p.c_str());

    std::FILE *sink = std::fopen("/dev/null", "w");
    if (!sink) return 1;
    long frames = 0;
    timespec start, end;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    int rounds = 0, status = 0;
    do {
        status |= VerifyReplayFiles((int)argv.size(), argv.data(), sink);
        for (const std::string &p : paths) {
            s_replay r;
            if (ReplayLoad(p.c_str(), &r, nullptr) == 1) frames += r.frames;
        }
        rounds++;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    } while (end.tv_sec - start.tv_sec < 3);
    std::fclose(sink);
    double seconds = (end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) * 1e-9;
    std::printf("replay verify: %.0f frames/s (%.1f minutes of play per second), %d rounds%s\n",
                frames / seconds, frames / seconds / 3600.0, rounds,
                status ? ", SOME DID NOT VERIFY" : "");
    return status;
}
