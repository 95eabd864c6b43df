// Where a program finds its resource image and keeps its saves.
//
// On the desktop (cgl/desktop/paths.cpp) the image is found by the name the
// program mounts (corefile_mountimage): a relative name in the working
// directory, else beside the executable, else in the data folder of the
// games layout (an executable in <prefix>/games/ finds "N.dat" in
// <prefix>/share/games/N/). An absolute name is used as it is. The working
// directory is never changed. In the browser the image comes with the page.
//
// Saves go to the folder CGL_GetSaveFolder gives: on Linux, beside an image
// found in the working directory (the portable layout, image and saves side
// by side), otherwise $XDG_DATA_HOME/N/ (default ~/.local/share/N/); on
// Windows always %APPDATA%\N\; in the browser a folder kept in the
// browser's storage. N is the name of the image last mounted without its
// folder and extension (a renamed executable keeps its saves), or the
// executable's name while none is. A program with a main of its own instead
// of cgl::main's opens names as they are and saves where it runs.
#pragma once

#include <string>
#include <vector>

// The folder for the program's saves: "" (the working directory) or a path
// ending in a separator, which the first call makes and reports ("- Saves in
// ..."). Call it after mounting the image. A folder that cannot be made is
// reported and the working directory is given instead.
const char *CGL_GetSaveFolder();

// The folders where the program's other data files may lie (a pad mappings
// file), the one that wins last: the installed data folder, then beside the
// executable. None in the browser.
std::vector<std::string> sdl_datafolders();

// The process entry's call: hands the image search to the resource archive
// (and in the browser mounts the save folder from the browser's storage).
void sdl_usegamepaths();
