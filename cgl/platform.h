// Platform shell: the window, the game thread and the millisecond clock.
//
// The main thread owns the window and only pumps events; the game thread
// runs coremain and owns the OpenGL context. Window changes asked for on the
// game thread are carried to the main thread and complete when its pump has
// handled them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

struct SDL_Window;
union SDL_Event;

extern SDL_Window *winhandle;
extern int CGL_DesktopWidth;
extern int CGL_DesktopHeight;

// The game, provided by the program that links the engine. The entry
// (cgl/entry_sdl.cpp, cgl::main) runs it on the game thread once the window
// system is up; every engine call belongs on that thread. Returning from it
// closes the window and ends the process; closing the window ends the
// process while coremain still runs.
void coremain();

// Provided by the program too, optionally: answers a command line that needs
// no window (a tool run of the program) before the window system starts.
// Returns the exit status, or -1 to go on and start coremain.
int coremain_command() __attribute__((weak));

// The command line the process entry received, argv[0] first; none (0)
// where the platform passes none (the browser). Set by the entry once,
// before anything else runs.
int CGL_GetArgs(const char *const **argv);
void sdl_setargs(int argc, char **argv);

int CGL_SetTitle(const char *title);
uint32_t CGL_GetMillis();

// Closing the window (or SIGTERM, SIGINT, SIGHUP) stops the game thread at
// its next frame wait and ends the process. Work that must not be cut off
// (a save, a score being entered) holds the close: until every hold is
// released the game thread runs on, however long that takes, and
// CGL_CloseRequested tells it that a close is waiting. The release that
// lets a waiting close go ahead does not return. Holds nest.
void CGL_HoldClose();
void CGL_ReleaseClose();
int CGL_CloseRequested();

// Runs fn on the main thread and waits until it has run. When no pump is
// running (tests without a shell), runs it directly.
void sdl_runonmainthread(const std::function<void()> &fn);

// Process entry pieces, used by the executable's main and by tests.
// sdl_startup: SDL, the hidden placeholder window and the desktop size.
// Returns 0 and prints the reason when there is no display.
int sdl_startup();
// Starts the game thread on body, then pumps events until the window is
// closed or the game asks to close it. Returns the exit code.
int sdl_run(void (*body)());
// The game thread's body: coremain, then a close request to the window.
int sdl_main();
void sdl_requestclose();

// Makes the window the display of width x height pixels (flags 1: full
// screen at that size) with a current OpenGL context; returns the flags that
// took effect (1 dropped where full screen was refused).
int sdl_openwindow(int width, int height, int flags);
// glewInit, true when GLEW's entry points are usable.
bool sdl_initglew();

// Called once the display mode has been changed for full screen: from then
// on every ending, a crash included, gives the desktop its mode back.
void sdl_modechanged();
// Called by the game thread between frames: once the process is ending,
// the game stops here and never returns.
void sdl_parkifstopping();
// Called after every swap: times the first swaps once vsync is on, and
// turns it off when they are not held to the display's refresh.
void sdl_vsync_swapped();
// Starts timing the swaps that follow (done when vsync is turned on).
void sdl_vsync_probe();
// True while the window is minimised: the frame clock then waits.
extern std::atomic<bool> sdl_minimised;

// Takes every event waiting and hands it to the handler (a platform whose
// frame wait takes the events itself).
void sdl_pumpevents();

// The event handler: writes the key, mouse-button and wheel state.
void sdl_handleevent(const SDL_Event &event);

// SDL key to virtual-key code (0 where there is none).
int sdl_translatekey(int sdl_keycode);

// Replaceable millisecond clock, for tests that drive the frame clock.
extern uint32_t (*sdl_clock)();
// True while sdl_clock is SDL's own counter (the frame wait may sleep).
bool sdl_clock_is_real();
