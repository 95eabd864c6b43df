// Where a program finds its image and keeps its saves in the browser.
//
// The resource image comes with the page, preloaded into the root folder.
// The saves live in the browser's IndexedDB: a folder
// /home/web_user/.local/share/<program>/ is mounted from it and filled
// before the program reads anything, is the program's save folder, and is
// written back to the storage whenever a file in it is written and closed,
// renamed or removed. A browser that offers no storage leaves the folder in
// memory for this visit, with a line saying so.
#include "cgl/paths.h"
#include "corefile/corefile.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

// In cmake/cgl-web-library.js.
extern "C" int cgl_web_mountsaves(const char *dir);
extern "C" void cgl_web_programname(char *out, int size);

static char g_savefolder[1024];

const char *CGL_GetSaveFolder() {
    return g_savefolder;
}

std::vector<std::string> sdl_datafolders() {
    return {};
}

// The page preloads the image into the root folder.
static int web_locate(const char *name, char *path, size_t size) {
    int n = std::snprintf(path, size, "%s%s", name[0] == '/' ? "" : "/", name);
    return n > 0 && (size_t)n < size;
}

void sdl_usegamepaths() {
    char name[256];
    cgl_web_programname(name, sizeof name);
    corefile_setlocator(web_locate);
    int n =
        std::snprintf(g_savefolder, sizeof g_savefolder, "/home/web_user/.local/share/%s/", name);
    if (n <= 0 || (size_t)n >= sizeof g_savefolder) {
        g_savefolder[0] = 0;
        return;
    }
    std::string dir = g_savefolder;
    dir.pop_back();  // mounted without its final '/'
    cgl_web_mountsaves(dir.c_str());
    std::printf("- Saves in %s\n", g_savefolder);
}
