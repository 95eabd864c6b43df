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
// Beside it, the machine's floor: a bare SDL program started the same way
// that opens a 1280x720 OpenGL window and presents one cleared frame.
#include <SDL.h>
#include <SDL_opengl.h>
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
#include "cgl/desktop.h"
#include "game/header.h"

namespace {

constexpr int kRuns = 7;

thread_local bool t_gameThread = false;
int g_reportFd = -1;

// Times the child reports, in microseconds of the monotonic clock: its
// main entered, SDL and the window up, coremain entered, first frame shown.
struct Marks {
    long long main, shell, game, frame;
};
Marks g_marks;

long long NowMicros() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

// SDL's own counter, with one look at the frame counter on the game thread.
uint32_t WatchClock() {
    if (t_gameThread && currentFrame >= 1) {
        g_marks.frame = NowMicros();
        if (write(g_reportFd, &g_marks, sizeof(g_marks)) != sizeof(g_marks)) _exit(2);
        _exit(0);
    }
    return SDL_GetTicks();
}

void GameBody() {
    g_marks.game = NowMicros();
    t_gameThread = true;
    coremain();
    sdl_requestclose();
}

// The floor: SDL, a window with a context, one cleared frame shown.
int BareChild(int fd) {
    g_marks.main = NowMicros();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window *window = SDL_CreateWindow("floor", 0, 0, 1280, 720, SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) return 1;
    g_marks.shell = g_marks.game = NowMicros();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    glFinish();
    g_marks.frame = NowMicros();
    return write(fd, &g_marks, sizeof(g_marks)) == sizeof(g_marks) ? 0 : 2;
}

int Child(int fd) {
    g_marks.main = NowMicros();
    g_reportFd = fd;
    sdl_clock = WatchClock;
    // The game's progress lines are not part of the figure's output.
    if (!freopen("/dev/null", "w", stdout)) return 1;
    if (!sdl_startup()) return 1;
    g_marks.shell = NowMicros();
    return sdl_run(GameBody) == 0 ? 3 : 4;  // reaching this means no frame came
}

// Milliseconds from the parent's fork to each of the child's marks.
struct Run {
    double main, shell, game, frame;
};

// One run; a negative frame time when it failed.
Run RunOnce(const char *self, const char *mode) {
    Run failed = {-1, -1, -1, -1};
    int fds[2];
    if (pipe(fds) != 0) return failed;
    long long start = NowMicros();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execl(self, self, mode, fd.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return failed;
    }
    Marks marks;
    ssize_t got = read(fds[0], &marks, sizeof(marks));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != sizeof(marks)) {
        std::fprintf(stderr, "startup: the child ended without a frame (status %d)\n", status);
        return failed;
    }
    return {(marks.main - start) / 1000.0, (marks.shell - start) / 1000.0,
            (marks.game - start) / 1000.0, (marks.frame - start) / 1000.0};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return Child(std::atoi(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "--bare") == 0) return BareChild(std::atoi(argv[2]));

    if (access("qostarfold.dat", R_OK) != 0) {
        std::printf("startup: no qostarfold.dat in the working directory, skipped\n");
        return 0;
    }
    std::vector<double> mains, shells, games, frames;
    for (int i = 0; i < kRuns; i++) {
        Run run = RunOnce("/proc/self/exe", "--child");
        if (run.frame < 0) return 1;
        mains.push_back(run.main);
        shells.push_back(run.shell);
        games.push_back(run.game);
        frames.push_back(run.frame);
    }
    std::sort(frames.begin(), frames.end());
    std::printf("startup to first frame: median %.1f ms (min %.1f ms, max %.1f ms, %d runs)\n",
                Median(frames), frames.front(), frames.back(), kRuns);
    std::printf(
        "startup medians: main() at %.1f ms, SDL and window up at %.1f ms, "
        "coremain at %.1f ms\n",
        Median(mains), Median(shells), Median(games));
    std::vector<double> bare;
    for (int i = 0; i < kRuns; i++) {
        Run run = RunOnce("/proc/self/exe", "--bare");
        if (run.frame >= 0) bare.push_back(run.frame);
    }
    if (!bare.empty())
        std::printf(
            "startup floor (a bare SDL program: 1280x720 OpenGL window, one cleared frame): "
            "median %.1f ms\n",
            Median(bare));
    return 0;
}
