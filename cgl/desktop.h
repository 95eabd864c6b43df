// The desktop platform, Linux and Windows: a game thread beside the event
// pump, the endings that must give the desktop its display mode back, full
// screen in a real display mode, the vsync probe, and where the resource
// image and the saves are on disk.
//
// The SDL side lives in cgl/desktop/*_sdl.cpp and the search for the image
// in cgl/desktop/paths.cpp; what each system does its own way (the clock,
// signals or console events, crash handling, the executable's and the
// user's folders) behind the sys_ calls below, in
// cgl/desktop/system_posix.cpp and cgl/desktop/system_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---------------------------------------------------------------------------
// The shell

// The game thread's body: coremain, then a close request to the window.
int sdl_main();
void sdl_requestclose();
// Called once the display mode has been changed for full screen: from then
// on every ending, a crash included, gives the desktop its mode back.
void sdl_modechanged();
// The close (cgl/close.cpp). The shell marks it requested; the game thread
// calls sdl_parkifstopping between frames and stops there for good once
// the close is requested and not held. sdl_closeparked tells the shell the
// game thread has stopped; sdl_closeunheld, true when no hold is taken,
// also refuses every later hold.
void sdl_beginclose();
void sdl_parkifstopping();
bool sdl_closeparked();
bool sdl_closeunheld();

// ---------------------------------------------------------------------------
// Video

// Called after every swap: times the first swaps once vsync is on, and
// turns it off when they are not held to the display's refresh.
void sdl_vsync_swapped();
// Starts timing the swaps that follow (done when vsync is turned on).
void sdl_vsync_probe();

// ---------------------------------------------------------------------------
// The image and the saves on disk (see cgl/paths.h)

// The search behind the mount, for an executable lying in exedir (ending in
// a separator): writes the path to open into path and returns 1 (2 when it
// is the working directory's), or returns 0 and prints the places looked in.
int sdl_findimage(const char *name, const char *exedir, char *path, size_t size);
// The user's data folder for the program `name`, made if missing: writes it
// (ending in a separator) and returns 1, or returns 0 with the reason printed.
int sdl_userdatafolder(const char *name, char *folder, size_t size);

// ---------------------------------------------------------------------------
// What each system does its own way

// Milliseconds since the system started, wrapping after 49.7 days.
uint32_t sys_ticks();
// The process's output, first thing in main: standard output a line at a
// time (on Windows: to the console the program was started from, if any,
// and to the log file once the save folder is known).
void sys_startoutput();
// The program's arguments in UTF-8 (on Windows read again from the wide
// command line, whatever the system's code page).
void sys_arguments(int *argc, char ***argv);
// Process start, on the main thread before SDL: the stop requests that come
// from outside the window (signals, a console's Ctrl+C or close) are caught
// for sys_stoprequested. A session that ends under the program calls
// endsession on the main thread, which ends the process before it returns.
void sys_startprocess(void (*endsession)());
// Ends the process at once, without destructors or exit handlers, once the
// output written so far has gone out.
[[noreturn]] void sys_exitnow(int code);
// Each thread that may crash, as it starts (a signal handler needs a stack
// of its own to run after a stack overflow).
void sys_startthread();
// True once a stop has been asked for from outside the window.
bool sys_stoprequested();
// From now on a crash, or an exception nobody handles, calls restore
// before the process ends as it would have.
void sys_oncrash(void (*restore)());
// The full path of the running executable, UTF-8; empty when unknown.
std::string sys_executable();
// The folder, resolved and ending in a separator; as given when unknown.
std::string sys_fullfolder(const std::string &folder);
// The working directory, for messages.
std::string sys_workingdir();
// The system's folder for a user's program data ($XDG_DATA_HOME or
// ~/.local/share, %APPDATA%), ending in a separator; empty with the reason
// printed when there is none.
std::string sys_userdatabase();
// True where an image found in the working directory keeps the saves
// beside it, the portable layout (Linux). Windows keeps them in %APPDATA%
// whatever folder the game starts in, so that a new download or a
// reinstall keeps them.
bool sys_portable();
// Called with the save folder and the program's name once they are known
// (on Windows the log, name.log, goes there).
void sys_savefolderknown(const char *folder, const char *name);
