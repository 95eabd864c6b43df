// Platform: what every platform answers, the desktop (Linux, Windows) and
// the browser alike: the window, the program's entry, its command line,
// the millisecond clock, the close and the event handler.
//
// SDL is the layer on every platform (the *_sdl.cpp files); what a system
// does its own way lives in *_posix.cpp, *_win32.cpp and *_web.cpp, chosen
// by the build. The desktop's own pieces (the game thread, signals and
// console events, display modes, the vsync probe) are in cgl/desktop.h.
#pragma once

#include <cstdint>
#include <functional>

struct SDL_Window;
union SDL_Event;

extern SDL_Window *winhandle;
extern int CGL_DesktopWidth;
extern int CGL_DesktopHeight;

// The game, provided by the program that links the engine. The entry
// (cgl::main) runs it once the window system is up, on the desktop on a
// game thread of its own; every engine call belongs on the thread that runs
// it. Returning from it closes the window and ends the process (in the
// browser, the page starts it again).
void coremain();

// Provided by the program too, optionally: answers a command line that needs
// no window (a tool run of the program) before the window system starts.
// Returns the exit status, or -1 to go on and start coremain. The engine's
// own (cgl/command.cpp), linked only where the program has none, starts
// coremain whatever the command line.
int coremain_command();

// The command line the process entry received, argv[0] first; none (0)
// where the platform passes none. Set by the entry once, before anything
// else runs.
int CGL_GetArgs(const char *const **argv);
void sdl_setargs(int argc, char **argv);
// The status the process ends with once coremain has returned and the
// window is closed: 0 unless the program gives another (a run that gives a
// verdict, such as watching a recording).
void CGL_SetExitStatus(int status);
int sdl_exitstatus();

int CGL_SetTitle(const char *title);
uint32_t CGL_GetMillis();

// Replaceable millisecond clock, for tests that drive the frame clock.
extern uint32_t (*sdl_clock)();
// True while sdl_clock is the system's own (the frame wait may sleep).
bool sdl_clock_is_real();

// A close (the window's, a signal, a console's, the session ending) stops
// the game thread at its next frame wait and ends the process. Work that
// must not be cut off (a save, a score being entered) holds the close:
// until every hold is released the game thread runs on, however long that
// takes, and CGL_CloseRequested tells it that a close is waiting. The
// release that lets a waiting close go ahead does not return. Holds nest.
// A page is closed by its browser without asking: there no close is ever
// requested, and the holds only count.
void CGL_HoldClose();
void CGL_ReleaseClose();
int CGL_CloseRequested();

// Runs fn where the window lives and waits until it has run: on the
// desktop's main thread, or at once where there is one thread (and in tests
// without a pump).
void sdl_runonmainthread(const std::function<void()> &fn);

// Process entry pieces, used by the entry and by tests. sdl_startup: SDL,
// the window (hidden until CGL_InitVideo shows it) and the desktop size;
// returns 0 with the reason printed when there is no display. sdl_run runs
// body (coremain) until the program ends; returns the exit code.
int sdl_startup();
int sdl_run(void (*body)());

// The steps every shell takes, in its own order (cgl/window_sdl.cpp):
// SDL's video and events with the subsystems asked for; the window of
// width x height with the first depth buffer of `depths` the driver has;
// the desktop size, printed. Each returns 0 with the reason printed.
int sdl_initvideo(uint32_t subsystems);
int sdl_createwindow(int width, int height, uint32_t flags, const int *depths, int numdepths);
void sdl_setdesktopsize(int width, int height);

// Makes the window the display of width x height pixels (flags 1: full
// screen at that size) with a current OpenGL context; returns the flags that
// took effect (1 dropped where full screen was refused or is the page's).
int sdl_openwindow(int width, int height, int flags);
// The window's OpenGL context, made current on the calling thread: every
// platform makes it the same way once the window is placed.
void sdl_createcontext();
// glewInit, true when GLEW's entry points are usable.
bool sdl_initglew();

// Takes every event waiting and hands it to the handler.
void sdl_pumpevents();
// The event handler: writes the key, mouse-button and wheel state.
void sdl_handleevent(const SDL_Event &event);
// SDL key to virtual-key code (0 where there is none).
int sdl_translatekey(int sdl_keycode);
// True while the window is minimised (nothing of it shows).
bool sdl_isminimised();
