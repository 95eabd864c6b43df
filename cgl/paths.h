// Where a program finds its resource image and keeps its saves.
//
// The image is found by the name the program mounts (corefile_mountimage):
// a relative name in the working directory, else beside the executable, else
// in the data folder of the games layout (an executable in <prefix>/games/
// finds "N.dat" in <prefix>/share/games/N/). An absolute name is used as it
// is. The working directory is never changed.
//
// Saves go to the folder CGL_GetSaveFolder gives. An image found in the
// working directory makes that the save folder too: the portable layout,
// image and saves side by side. Otherwise they go to $XDG_DATA_HOME/N/
// (default ~/.local/share/N/), so that a player who starts the program from
// any folder keeps one set of them. N is the name of the image last mounted
// without its folder and extension (a renamed executable keeps its saves),
// or the executable's name while none is. A program with a main of its own
// instead of cgl::main's opens names as they are and saves where it runs.
#pragma once

#include <cstddef>

// The folder for the program's saves: "" (the working directory) or a path
// ending in '/', which the first call makes and reports ("- Saves in ...").
// Call it after mounting the image. A folder that cannot be made is reported
// and the working directory is given instead.
const char *CGL_GetSaveFolder();

// The search behind the mount, for an executable lying in exedir (ending in
// '/'): writes the path to open into path and returns 1 (2 when it is the
// working directory's), or returns 0 and prints the places looked in.
int sdl_findimage(const char *name, const char *exedir, char *path, size_t size);

// The user's data folder for the program `name`, made if missing: writes it
// (ending in '/') and returns 1, or returns 0 with the reason printed.
int sdl_userdatafolder(const char *name, char *folder, size_t size);

// The process entry's call: hands the image search to the resource archive
// (and in the browser mounts the save folder from the browser's storage).
void sdl_usegamepaths();
