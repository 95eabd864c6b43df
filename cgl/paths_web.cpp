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

#include <emscripten.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

// Mounts `dir` from IndexedDB and resolves once its files are read; returns
// 0, or 1 with the reason printed when the storage could not be read.
EM_ASYNC_JS(int, web_mountsaves, (const char *dir_utf8), {
    var dir = UTF8ToString(dir_utf8);
    FS.mkdirTree(dir);
    try {
        FS.mount(IDBFS, {}, dir);
    } catch (e) {
        out('the browser storage cannot be mounted (' + e + '): saves last for this visit only');
        return 1;
    }
    var failed = await new Promise(function(resolve) {
        FS.syncfs(
            true, function(err) {
                if (err)
                    out('the browser storage cannot be read (' + err +
                        '): saves last for this visit only');
                resolve(err ? 1 : 0);
            });
    });
    // Written back after every change: a page may be closed at any time,
    // and nothing runs reliably when it is.
    var dirty = false, pending = false;
    function persist() {
        if (pending) return;
        pending = true;
        setTimeout(
            function() {
                pending = false;
                FS.syncfs(
                    false, function(err) {
                        if (err) out('saving to the browser storage failed: ' + err);
                    });
            },
            0);
    }
    function inside(path) {
        return typeof path == 'string' && path.indexOf(dir + '/') == 0;
    }
    var write = FS.write, close = FS.close, rename = FS.rename, unlink = FS.unlink;
    FS.write = function(stream) {
        if (inside(stream.path)) dirty = true;
        return write.apply(FS, arguments);
    };
    FS.close = function(stream) {
        var result = close.apply(FS, arguments);
        if (dirty && inside(stream.path)) {
            dirty = false;
            persist();
        }
        return result;
    };
    FS.rename = function(from, to) {
        var result = rename.apply(FS, arguments);
        if (inside(from) || inside(to)) persist();
        return result;
    };
    FS.unlink = function(path) {
        var result = unlink.apply(FS, arguments);
        if (inside(path)) persist();
        return result;
    };
    return failed;
});

// The program's name: the page sets it (Module.thisProgram).
EM_JS(int, web_programname, (char *out, int size), {
    var name = String(typeof thisProgram == 'string' ? thisProgram : '').split('/').pop();
    if (!name || name == 'this.program') name = 'program';
    stringToUTF8(name, out, size);
    return 0;
});

int sdl_findimage(const char *name, const char *, char *path, size_t size) {
    int n = std::snprintf(path, size, "%s%s", name[0] == '/' ? "" : "/", name);
    return n > 0 && (size_t)n < size;
}

int sdl_userdatafolder(const char *name, char *folder, size_t size) {
    int n = std::snprintf(folder, size, "/home/web_user/.local/share/%s/", name);
    return n > 0 && (size_t)n < size;
}

static char g_savefolder[1024];

const char *CGL_GetSaveFolder() {
    return g_savefolder;
}

static int web_locate(const char *name, char *path, size_t size) {
    return sdl_findimage(name, "/", path, size);
}

void sdl_usegamepaths() {
    char name[256];
    web_programname(name, sizeof name);
    corefile_setlocator(web_locate);
    if (!sdl_userdatafolder(name, g_savefolder, sizeof g_savefolder)) return;
    std::string dir = g_savefolder;
    dir.pop_back();  // mounted without its final '/'
    web_mountsaves(dir.c_str());
    std::printf("- Saves in %s\n", g_savefolder);
}
