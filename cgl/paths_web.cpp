// Where a program keeps its saves in the browser.
//
// The resource image comes with the page (preloaded into the root folder,
// the working directory). The saves live in the browser's IndexedDB: a
// folder /home/web_user/.local/share/<program>/ is mounted from it and
// filled before the program reads anything, becomes the working directory,
// and is written back to the storage whenever a file in it is written and
// closed, renamed or removed. A browser that offers no storage leaves the
// folder in memory for this visit, with a line saying so.
#include "cgl/paths.h"
#include "corefile/corefile.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

// In cmake/cgl-web-library.js.
extern "C" int cgl_web_mountsaves(const char *dir);
extern "C" void cgl_web_programname(char *out, int size);

int sdl_findgamepaths(const char *name, const char *, s_gamepaths *paths) {
    std::snprintf(paths->imagedir, sizeof paths->imagedir, "/");
    paths->found = 1;
    std::snprintf(paths->savedir, sizeof paths->savedir, "/home/web_user/.local/share/%s", name);
    return 1;
}

void sdl_usegamepaths() {
    char name[256];
    cgl_web_programname(name, sizeof name);
    s_gamepaths paths;
    sdl_findgamepaths(name, "/", &paths);
    std::snprintf(corefile_pathname, sizeof corefile_pathname, "%s", paths.imagedir);
    cgl_web_mountsaves(paths.savedir);
    if (chdir(paths.savedir) == 0) std::printf("- Saves in %s\n", paths.savedir);
}
