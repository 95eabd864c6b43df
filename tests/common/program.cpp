#include "common/program.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

static long now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

bool program_start(Program &program, const std::string &path, const std::string &dir,
                   bool unset_display, char *const *envp) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        if (chdir(dir.c_str()) != 0) _exit(126);
        if (unset_display) {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("SDL_VIDEODRIVER");
        }
        char *const argv[] = {const_cast<char *>(path.c_str()), nullptr};
        if (envp)
            execve(path.c_str(), argv, envp);
        else
            execv(path.c_str(), argv);
        _exit(127);
    }
    close(fds[1]);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    program.pid = pid;
    program.out = fds[0];
    return true;
}

static void read_available(Program &program, int wait_ms) {
    pollfd p{program.out, POLLIN, 0};
    if (poll(&p, 1, wait_ms) <= 0) return;
    char buffer[4096];
    ssize_t n;
    while ((n = read(program.out, buffer, sizeof buffer)) > 0) program.output.append(buffer, n);
}

bool program_wait_for(Program &program, const std::string &text, int timeout_ms) {
    long end = now_ms() + timeout_ms;
    while (program.output.find(text) == std::string::npos) {
        if (now_ms() > end) return false;
        read_available(program, 50);
    }
    return true;
}

bool program_close_window(Program &program) {
    Display *display = XOpenDisplay(nullptr);
    if (!display) return false;
    Atom pid_atom = XInternAtom(display, "_NET_WM_PID", True);
    Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Window root = DefaultRootWindow(display), parent, *children = nullptr;
    unsigned count = 0;
    int sent = 0;
    if (pid_atom != None && XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; i++) {
            Atom type;
            int format;
            unsigned long items, after;
            unsigned char *data = nullptr;
            if (XGetWindowProperty(display, children[i], pid_atom, 0, 1, False, XA_CARDINAL, &type,
                                   &format, &items, &after, &data) == Success &&
                data && items == 1) {
                long pid = *(long *)data;
                if (pid == program.pid) {
                    XEvent event;
                    memset(&event, 0, sizeof event);
                    event.xclient.type = ClientMessage;
                    event.xclient.window = children[i];
                    event.xclient.message_type = protocols;
                    event.xclient.format = 32;
                    event.xclient.data.l[0] = (long)delete_window;
                    event.xclient.data.l[1] = CurrentTime;
                    XSendEvent(display, children[i], False, NoEventMask, &event);
                    sent++;
                }
            }
            if (data) XFree(data);
        }
        if (children) XFree(children);
    }
    XFlush(display);
    XCloseDisplay(display);
    return sent > 0;
}

int program_wait_exit(Program &program, int timeout_ms) {
    long end = now_ms() + timeout_ms;
    int status = 0;
    for (;;) {
        read_available(program, 20);
        pid_t done = waitpid(program.pid, &status, WNOHANG);
        if (done == program.pid) break;
        if (now_ms() > end) {
            kill(program.pid, SIGKILL);
            waitpid(program.pid, &status, 0);
            return -1;
        }
    }
    read_available(program, 0);
    close(program.out);
    program.out = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
