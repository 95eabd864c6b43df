// Where a program finds its resource image and keeps its saves on the
// desktop: the working directory, beside the executable, share/games/; the
// saves beside a portable image or in the user's data folder. See paths.h.
#include "cgl/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "corefile/corefile.h"

namespace {

bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The directory with every "." and ".." resolved, ending in '/'; the path
// as given when it does not exist.
std::string resolved_dir(const std::string &dir) {
    char real[PATH_MAX];
    if (!realpath(dir.c_str(), real)) return dir;
    std::string out = real;
    if (out.empty() || out.back() != '/') out += '/';
    return out;
}

// mkdir -p; folders it makes are the user's own (0700).
bool make_dirs(const std::string &dir) {
    for (size_t at = 1; at <= dir.size(); at++) {
        if (at < dir.size() && dir[at] != '/') continue;
        std::string part = dir.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool copy_to(char *out, size_t size, const std::string &text) {
    if (text.size() >= size) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

// "qostarfold" for "qostarfold.dat", "tiles" for "assets/tiles".
std::string stem(const std::string &name) {
    std::string base = name;
    while (!base.empty() && base.back() == '/') base.pop_back();
    size_t slash = base.find_last_of('/');
    if (slash != std::string::npos) base = base.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
    return base;
}

// The executable's folder (ending in '/') and name; empty when unknown.
std::string g_exedir, g_exename;
// The save folder's program name, and whether the image came from the
// working directory; set by each image search. A program with a main of its
// own (no image search) keeps the working directory.
std::string g_savename;
bool g_portable = true;
bool g_savefolder_known = false;
char g_savefolder[1024];

void find_executable() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;
    exe[n] = 0;
    const char *slash = std::strrchr(exe, '/');
    if (!slash || !slash[1]) return;
    g_exename = slash + 1;
    g_exedir.assign(exe, static_cast<size_t>(slash + 1 - exe));
}

int locate(const char *name, char *path, size_t size) {
    int found = sdl_findimage(name, g_exedir.c_str(), path, size);
    g_savename = stem(name);
    g_portable = found == 2;
    g_savefolder_known = false;
    return found != 0;
}

}  // namespace

int sdl_findimage(const char *name, const char *exedir, char *path, size_t size) {
    if (name[0] == '/') return copy_to(path, size, name) ? 1 : 0;
    if (exists(name)) return copy_to(path, size, name) ? 2 : 0;
    const std::string beside = resolved_dir(exedir);
    const std::string data =
        resolved_dir(std::string(exedir) + "..") + "share/games/" + stem(name) + "/";
    for (const std::string &dir : {beside, data}) {
        if (exedir[0] && exists(dir + name)) return copy_to(path, size, dir + name) ? 1 : 0;
    }
    char cwd[PATH_MAX];
    std::printf("%s not found in the working directory (%s), beside the executable (%s) or in %s\n",
                name, getcwd(cwd, sizeof cwd) ? cwd : "?", beside.c_str(), data.c_str());
    return 0;
}

// $XDG_DATA_HOME/name/, or ~/.local/share/name/; a relative XDG_DATA_HOME
// is not meant to be used, like an empty one.
int sdl_userdatafolder(const char *name, char *folder, size_t size) {
    std::string dir;
    const char *xdg = getenv("XDG_DATA_HOME");
    const char *home = getenv("HOME");
    if (xdg && xdg[0] == '/')
        dir = std::string(xdg) + "/" + name + "/";
    else if (home && home[0] == '/')
        dir = std::string(home) + "/.local/share/" + name + "/";
    if (dir.empty()) {
        std::printf("neither XDG_DATA_HOME nor HOME is set: saves stay in the working directory\n");
        return 0;
    }
    if (!make_dirs(dir)) {
        std::printf("cannot create %s (%s): saves stay in the working directory\n", dir.c_str(),
                    std::strerror(errno));
        return 0;
    }
    if (!copy_to(folder, size, dir)) {
        std::printf("%s: path too long, saves stay in the working directory\n", dir.c_str());
        return 0;
    }
    return 1;
}

const char *CGL_GetSaveFolder() {
    if (g_savefolder_known) return g_savefolder;
    g_savefolder_known = true;
    g_savefolder[0] = 0;
    if (g_portable) return g_savefolder;
    if (g_exedir.empty()) find_executable();
    const std::string name = g_savename.empty() ? g_exename : g_savename;
    if (!name.empty() && sdl_userdatafolder(name.c_str(), g_savefolder, sizeof g_savefolder))
        std::printf("- Saves in %s\n", g_savefolder);
    return g_savefolder;
}

void sdl_usegamepaths() {
    find_executable();
    g_portable = false;
    corefile_setlocator(locate);
}
