/* A preloaded library that watches the game from outside: the frames it
 * presents and the input events it takes from SDL.
 * Each is one line with a CLOCK_MONOTONIC time in nanoseconds, appended to
 * the file named by QO_SPY_LOG; every call goes on to the real function.
 *
 *   swap NS
 *   key NS down|up KEYSYM REPEAT
 *   button NS down|up BUTTON
 *   motion NS X Y
 *   window NS EVENT
 *
 * With QO_SPY_SWAP_HZ set, the spy stands in for a display whose swap is
 * held to that rate: the swap interval is accepted, and while it is not 0
 * (from the start, as Mesa's hardware drivers default to) each swap returns
 * at the next tick of a clock at that rate, as a blocking vsync does. No
 * driver here has such a swap.
 *
 * With QO_SPY_FSYNC_MS set, every fsync takes that much longer, as on a slow
 * disk. SIGUSR1 makes the next swap recurse until its stack overflows.
 */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static int log_fd = -2;

static long long now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

/* One write per line, so lines from several threads never mix. */
static void note(const char *format, ...) {
    if (log_fd == -2) {
        const char *path = getenv("QO_SPY_LOG");
        log_fd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }
    if (log_fd < 0) return;
    char line[160];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0 && n < (int)sizeof line) (void)!write(log_fd, line, (size_t)n);
}

static void *real(const char *name) {
    void *fn = dlsym(RTLD_NEXT, name);
    if (!fn) {
        fprintf(stderr, "spy: no %s\n", name);
        abort();
    }
    return fn;
}

static void note_event(const SDL_Event *event) {
    long long t = now_ns();
    switch (event->type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            note("key %lld %s %d %d\n", t, event->type == SDL_KEYDOWN ? "down" : "up",
                 (int)event->key.keysym.sym, (int)event->key.repeat);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            note("button %lld %s %d\n", t, event->type == SDL_MOUSEBUTTONDOWN ? "down" : "up",
                 (int)event->button.button);
            break;
        case SDL_MOUSEMOTION:
            note("motion %lld %d %d\n", t, event->motion.x, event->motion.y);
            break;
        case SDL_WINDOWEVENT:
            note("window %lld %d\n", t, (int)event->window.event);
            break;
        default:
            break;
    }
}

static long long held_period_ns(void) {
    static long long period = -1;
    if (period < 0) {
        const char *hz = getenv("QO_SPY_SWAP_HZ");
        period = hz && atof(hz) > 0 ? (long long)(1e9 / atof(hz)) : 0;
    }
    return period;
}

static int held_interval = 1;

int SDL_GL_SetSwapInterval(int interval) {
    static int (*fn)(int);
    if (!fn) fn = (int (*)(int))real("SDL_GL_SetSwapInterval");
    int result = fn(interval);
    if (!held_period_ns()) return result;
    held_interval = interval;
    return 0;
}

static volatile sig_atomic_t overflow_asked = 0;

static void on_usr1(int sig) {
    (void)sig;
    overflow_asked = 1;
}

__attribute__((constructor)) static void spy_init(void) {
    signal(SIGUSR1, on_usr1);
}

/* Each level fills a small frame of its own, so the recursion cannot be
 * turned into a loop and walks into the stack's guard page instead of
 * stepping over it. */
static int overflow(int depth) {
    if (depth < 0) return 0; /* never: keeps the compiler from calling it endless */
    volatile char frame[256];
    for (size_t i = 0; i < sizeof frame; i++) frame[i] = (char)depth;
    return overflow(depth + 1) + frame[depth % sizeof frame];
}

void SDL_GL_SwapWindow(SDL_Window *window) {
    static void (*fn)(SDL_Window *);
    if (!fn) fn = (void (*)(SDL_Window *))real("SDL_GL_SwapWindow");
    if (overflow_asked) overflow(0);
    fn(window);
    long long period = held_period_ns();
    if (period && held_interval) {
        long long next = (now_ns() / period + 1) * period;
        struct timespec ts = {(time_t)(next / 1000000000LL), (long)(next % 1000000000LL)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, NULL) != 0) {
        }
    }
    note("swap %lld\n", now_ns());
}

int SDL_PollEvent(SDL_Event *event) {
    static int (*fn)(SDL_Event *);
    if (!fn) fn = (int (*)(SDL_Event *))real("SDL_PollEvent");
    int got = fn(event);
    if (got && event) note_event(event);
    return got;
}

int SDL_WaitEvent(SDL_Event *event) {
    static int (*fn)(SDL_Event *);
    if (!fn) fn = (int (*)(SDL_Event *))real("SDL_WaitEvent");
    int got = fn(event);
    if (got && event) note_event(event);
    return got;
}

int SDL_WaitEventTimeout(SDL_Event *event, int timeout) {
    static int (*fn)(SDL_Event *, int);
    if (!fn) fn = (int (*)(SDL_Event *, int))real("SDL_WaitEventTimeout");
    int got = fn(event, timeout);
    if (got && event) note_event(event);
    return got;
}

int fsync(int fd) {
    static int (*fn)(int);
    if (!fn) fn = (int (*)(int))real("fsync");
    const char *ms = getenv("QO_SPY_FSYNC_MS");
    if (ms && atoi(ms) > 0) {
        struct timespec ts = {atoi(ms) / 1000, (atoi(ms) % 1000) * 1000000L};
        while (nanosleep(&ts, &ts) != 0) {
        }
    }
    return fn(fd);
}
