// Running the real qostarfold program from a test: start it with its
// standard output on a pipe, wait for lines, close its window the way a
// window manager does, and collect the exit status.
#pragma once

#include <string>
#include <sys/types.h>

struct Program {
    pid_t pid = -1;
    int out = -1;        // read end of the program's standard output
    std::string output;  // everything read so far
};

// Starts path in directory dir. unset_display removes DISPLAY,
// WAYLAND_DISPLAY and SDL_VIDEODRIVER from its environment; envp, when
// given, is its whole environment instead.
bool program_start(Program &program, const std::string &path, const std::string &dir,
                   bool unset_display = false, char *const *envp = nullptr);
// Reads output until text appears or timeout_ms passes.
bool program_wait_for(Program &program, const std::string &text, int timeout_ms);
// Sends WM_DELETE_WINDOW to every top-level X window of the program.
bool program_close_window(Program &program);
// Waits for the program to end; returns its exit code, or -1 on a signal or
// timeout (the program is then killed).
int program_wait_exit(Program &program, int timeout_ms);
