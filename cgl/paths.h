// Where a program finds its resource image and keeps its saves.
//
// A program named N that finds N.dat in its working directory runs in the
// portable layout: image and saves in the working directory, nothing is
// moved. Otherwise it runs as an installed program: the image is looked for
// beside the executable, then in the data directory of the games layout
// (an executable in <prefix>/games/ has its data in <prefix>/share/games/N/),
// and saves are kept in $XDG_DATA_HOME/N/ (default ~/.local/share/N/), so a
// player who starts it from any folder keeps one set of them.
//
// The program itself goes on opening plain names ("N.dat", its save files):
// the image's directory becomes corefile_pathname, and the save folder the
// working directory.
#pragma once

struct s_gamepaths {
    char imagedir[1024];  // put before the image's name: "" or a directory ending in '/'
    char savedir[1024];   // folder for the saves: "" keeps the working directory
    int found;            // 1 when the image was found
};

// Finds where the program `name` whose executable lies in exedir (ending in
// '/') has its image and saves. In the installed layout it creates the save
// folder, since the saves are written by plain name into the working
// directory. Returns `found`; prints one line when the image is nowhere.
int sdl_findgamepaths(const char *name, const char *exedir, s_gamepaths *paths);

// The process entry's call: finds this executable's paths and applies them.
void sdl_usegamepaths();
