// What the Linux desktop does its own way: the clock from boot, SIGTERM,
// SIGINT and SIGHUP as stop requests, crash signals on a stack of their
// own, the executable from /proc, and the XDG data folder.
#include "cgl/desktop.h"

#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

uint32_t sys_ticks() {
    timespec now;
    if (clock_gettime(CLOCK_BOOTTIME, &now) != 0) clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint32_t)((uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u);
}

// ---------------------------------------------------------------------------
// Signals

namespace {

volatile sig_atomic_t g_stop_signal = 0;
void (*g_restore)() = nullptr;
struct sigaction g_crash_previous[32];
const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void on_stop_signal(int sig) {
    g_stop_signal = sig;
}

// A crash leaves the desktop as the program changed it unless someone puts
// it back; this tries, with an alarm in case the window system's lock is
// held by the crashed code, then lets the signal take its earlier course.
void on_crash_signal(int sig) {
    if (sig > 0 && sig < 32) sigaction(sig, &g_crash_previous[sig], nullptr);
    alarm(1);
    if (g_restore) g_restore();
    raise(sig);
}

}  // namespace

// Progress lines are read by people and by tests through a pipe: they go
// out line by line.
void sys_startoutput() {
    setvbuf(stdout, nullptr, _IOLBF, 0);
}

// The system hands them over as they were given.
void sys_arguments(int *, char ***) {}

void sys_exitnow(int code) {
    fflush(stdout);
    _exit(code);
}

// The session's end comes as SIGHUP or SIGTERM.
void sys_startprocess(void (*)()) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

// Each thread's signal stack is never freed: the thread lives as long as
// the process.
void sys_startthread() {
    stack_t stack;
    std::memset(&stack, 0, sizeof stack);
    // A stack someone else set up stays theirs: a sanitizer gives each of
    // its threads one and unmaps it again when the thread ends.
    if (sigaltstack(nullptr, &stack) == 0 && !(stack.ss_flags & SS_DISABLE)) return;
    std::memset(&stack, 0, sizeof stack);
    stack.ss_size = 256 * 1024;  // restoring the mode goes through SDL and Xlib
    stack.ss_sp = std::malloc(stack.ss_size);
    if (stack.ss_sp && sigaltstack(&stack, nullptr) != 0) std::free(stack.ss_sp);
}

bool sys_stoprequested() {
    return g_stop_signal != 0;
}

void sys_oncrash(void (*restore)()) {
    g_restore = restore;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_crash_signal;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int sig : kCrashSignals) sigaction(sig, &action, &g_crash_previous[sig]);
}

// ---------------------------------------------------------------------------
// Folders

std::string sys_executable() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return std::string();
    exe[n] = 0;
    return exe;
}

std::string sys_fullfolder(const std::string &folder) {
    char real[PATH_MAX];
    if (!realpath(folder.c_str(), real)) return folder;
    std::string out = real;
    if (out.empty() || out.back() != '/') out += '/';
    return out;
}

std::string sys_workingdir() {
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? cwd : "?";
}

// $XDG_DATA_HOME, or ~/.local/share; a relative XDG_DATA_HOME is not meant
// to be used, like an empty one.
std::string sys_userdatabase() {
    const char *xdg = getenv("XDG_DATA_HOME");
    const char *home = getenv("HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/";
    if (home && home[0] == '/') return std::string(home) + "/.local/share/";
    std::printf("neither XDG_DATA_HOME nor HOME is set: saves stay in the working directory\n");
    return std::string();
}

bool sys_portable() {
    return true;
}

// Progress lines go to standard output, wherever the process was started.
void sys_savefolderknown(const char *, const char *) {}
