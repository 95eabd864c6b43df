// Start-up time: from process start to the first presented frame.
//
// Each run starts this program again as a child that runs the game as the
// executable does (sdl_startup, sdl_run, coremain with the real resource
// image qostarfold.dat from the working directory). The clock the frame loop
// reads is wrapped: the first time the game thread reads it after frame 0
// has been presented, the child sends the time to the parent and ends. The
// parent takes its own time before the fork, so the figure includes fork,
// exec, dynamic loading, SDL, the window, the context, the shaders, the
// sound start, the resource image and every picture and sound.
//
// Prints the median of several runs in milliseconds. Target: under 300 ms.
#include <SDL.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "cgl/cgl.h"
#include "game/header.h"

namespace {

constexpr int kRuns = 7;

thread_local bool t_gameThread = false;
int g_reportFd = -1;

long long NowMicros() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

// SDL's own counter, with one look at the frame counter on the game thread.
uint32_t WatchClock() {
    if (t_gameThread && currentFrame >= 1) {
        long long now = NowMicros();
        if (write(g_reportFd, &now, sizeof(now)) != sizeof(now)) _exit(2);
        _exit(0);
    }
    return SDL_GetTicks();
}

void GameBody() {
    t_gameThread = true;
    coremain();
    sdl_requestclose();
}

int Child(int fd) {
    g_reportFd = fd;
    sdl_clock = WatchClock;
    // The game's progress lines are not part of the figure's output.
    if (!freopen("/dev/null", "w", stdout)) return 1;
    if (!sdl_startup()) return 1;
    return sdl_run(GameBody) == 0 ? 3 : 4;  // reaching this means no frame came
}

// One run: milliseconds to the first frame, or a negative number.
double RunOnce(const char *self) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    long long start = NowMicros();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execl(self, self, "--child", fd.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return -1;
    }
    long long end = 0;
    ssize_t got = read(fds[0], &end, sizeof(end));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != sizeof(end)) {
        std::fprintf(stderr, "startup: the child ended without a frame (status %d)\n", status);
        return -1;
    }
    return (end - start) / 1000.0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return Child(std::atoi(argv[2]));

    if (access("qostarfold.dat", R_OK) != 0) {
        std::printf("startup: no qostarfold.dat in the working directory, skipped\n");
        return 0;
    }
    std::vector<double> times;
    for (int i = 0; i < kRuns; i++) {
        double ms = RunOnce("/proc/self/exe");
        if (ms < 0) return 1;
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("startup to first frame: median %.1f ms (min %.1f ms, max %.1f ms, %d runs)\n",
                times[kRuns / 2], times.front(), times.back(), kRuns);
    return 0;
}
