// Directory listing inside the mounted image. The system's directory
// enumeration is in disk_posix.cpp and disk_win32.cpp.
//
// The image is a flat list of names that may contain '/'; the listing
// treats those as a tree: a current directory (corefile_localpath), and a
// listing of it that shows "..", the sub-directories in the order of their
// first file, then the files whose extension matches.
#include <cstring>

#include "corefile/corefile.h"
#include "corefile/corefile_internal.h"

char *corefile_localpath = nullptr;
COREFILE_ENTRY *corefile_filelist = nullptr;
int32_t corefile_numfiles = 0;
char *corefile_dirnames[COREFILE_MAXDIRS] = {};
int32_t corefile_numdirs = 0;
uint32_t corefile_listcapacity = 0;

namespace {

char *copy_n(const char *s, size_t n) {
    char *copy = (char *)CF_ALLOC(n + 1);
    if (copy) {
        memcpy(copy, s, n);
        copy[n] = 0;
    }
    return copy;
}

void free_dirnames() {
    for (int32_t i = 0; i < corefile_numdirs; i++)
        if (corefile_dirnames[i]) CF_FREE(corefile_dirnames[i]);
    memset(corefile_dirnames, 0, sizeof corefile_dirnames);
    corefile_numdirs = 0;
}

void add_dir(const char *name, size_t n) {
    for (int32_t i = 0; i < corefile_numdirs; i++)
        if (strlen(corefile_dirnames[i]) == n && memcmp(corefile_dirnames[i], name, n) == 0) return;
    if (corefile_numdirs >= COREFILE_MAXDIRS) return;
    char *copy = copy_n(name, n);
    if (!copy) return;
    corefile_dirnames[corefile_numdirs++] = copy;
}

// Takes ownership of label and name.
void append(char *label, char *name, int32_t size, int32_t isdir) {
    if (!label || !name || (uint32_t)corefile_numfiles >= corefile_listcapacity) {
        if (label) CF_FREE(label);
        if (name) CF_FREE(name);
        return;
    }
    COREFILE_ENTRY &e = corefile_filelist[corefile_numfiles++];
    e.label = label;
    e.name = name;
    e.size = size;
    e.isdir = isdir;
}

}  // namespace

void corefile_freelisting() {
    if (corefile_filelist) {
        for (int32_t i = 0; i < corefile_numfiles; i++) {
            COREFILE_ENTRY &e = corefile_filelist[i];
            if (e.label) CF_FREE(e.label);
            if (e.name) CF_FREE(e.name);
            e = COREFILE_ENTRY{};
        }
    }
    corefile_numfiles = 0;
    free_dirnames();
}

// ---------------------------------------------------------------------------
// Current directory

void corefile_chdir(const char *dir) {
    if (!corefile_localpath || !dir) return;
    if (!strcmp(dir, ".")) return;

    char path[COREFILE_PATHLEN * 2];
    strcpy(path, corefile_localpath);
    size_t len = strlen(path);
    if (!strcmp(dir, "..")) {
        // Cut at the last separator before the trailing one.
        int i = (int)len - 2;
        while (i >= 0 && path[i] != '/' && path[i] != '\\') i--;
        path[i < 0 || len <= 1 ? 0 : i] = 0;
    } else if (dir[0] == '/' || dir[0] == '\\') {
        if (strlen(dir) >= COREFILE_PATHLEN) {
            corefile_say(1, "path too long: %s\n", dir);
            return;
        }
        strcpy(path, dir);
    } else {
        if (len + strlen(dir) >= COREFILE_PATHLEN) {
            corefile_say(1, "path too long: %s%s\n", path, dir);
            return;
        }
        strcat(path, dir);
    }
    len = strlen(path);
    if (len == 0 || path[len - 1] != '/') {
        if (len + 1 >= COREFILE_PATHLEN) {
            corefile_say(1, "path too long: %s\n", path);
            return;
        }
        path[len] = '/';
        path[len + 1] = 0;
    }
    strcpy(corefile_localpath, path);
    corefile_say(0, "localpath = %s\n", corefile_localpath);
}

const char *corefile_getpath() {
    return corefile_localpath;
}

void corefile_adddir(const char *name) {
    if (name) add_dir(name, strlen(name));
}

// ---------------------------------------------------------------------------
// Listing

void corefile_readdir(const char *pattern) {
    if (!corefile_localpath || !corefile_filelist) return;
    if (!pattern) pattern = "";
    // A pattern without a '.' has an empty extension, which every name ends with.
    const char *dot = strrchr(pattern, '.');
    const char *ext = dot ? dot : "";
    size_t extlen = strlen(ext);
    corefile_say(0, "extension = %s, length: %d\n", ext, (int)extlen);
    bool all = !strcmp(ext, ".*");

    corefile_freelisting();

    size_t len = strlen(corefile_localpath);
    bool root = len == 0 || !strcmp(corefile_localpath, "/");
    if (root) corefile_say(0, "dir is root\n");
    const char *prefix = root ? "" : corefile_localpath + 1;
    size_t plen = strlen(prefix);

    if (!root) add_dir("..", 2);
    uint32_t count = corefile_image.names ? corefile_image.numfiles : 0;
    for (uint32_t i = 0; i < count; i++) {
        const char *name = corefile_image.names[i];
        if (!name || strncmp(name, prefix, plen) != 0) continue;
        const char *rest = name + plen;
        if (!strchr(rest, '/')) continue;
        add_dir(rest, strcspn(rest, "/\\"));
    }
    for (int32_t i = 0; i < corefile_numdirs; i++) {
        const char *d = corefile_dirnames[i];
        size_t n = strlen(d);
        char *label = (char *)CF_ALLOC(n + 3);
        if (label) snprintf(label, n + 3, "[%s]", d);
        append(label, copy_n(d, n), 0, 1);
    }
    free_dirnames();

    for (uint32_t i = 0; i < count; i++) {
        const char *name = corefile_image.names[i];
        if (!name || strncmp(name, prefix, plen) != 0) continue;
        const char *rest = name + plen;
        size_t rlen = strlen(rest);
        if (strchr(rest, '/')) continue;
        if (!all && (rlen < extlen || memcmp(rest + rlen - extlen, ext, extlen) != 0)) continue;
        append(copy_n(rest, rlen), copy_n(name, strlen(name)), corefile_entrysize(i), 0);
    }
    corefile_say(0, "- ReadDIR completed!\n");
}
