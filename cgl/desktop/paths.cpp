// Where a program finds its resource image and keeps its saves on the
// desktop: the working directory, beside the executable, share/games/; the
// saves beside a portable image or in the user's data folder. See paths.h.
// The system's own folders come from the sys_ calls (cgl/desktop.h).
#include "cgl/paths.h"
#include "cgl/desktop.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "corefile/corefile.h"

namespace {

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

// "/..." and "\\server\..." everywhere, "C:..." on Windows.
bool is_absolute(const char *name) {
    return is_separator(name[0]) || (name[0] && name[1] == ':');
}

bool copy_to(char *out, size_t size, const std::string &text) {
    if (text.size() >= size) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

// "qostarfold" for "qostarfold.dat", "tiles" for "assets/tiles".
std::string stem(const std::string &name) {
    std::string base = name;
    while (!base.empty() && is_separator(base.back())) base.pop_back();
    size_t slash = base.find_last_of("/\\");
    if (slash != std::string::npos) base = base.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
    return base;
}

// The executable's folder (ending in a separator) and name; empty when
// unknown.
std::string g_exedir, g_exename;
// The save folder's program name, and whether the image came from the
// working directory; set by each image search. A program with a main of its
// own (no image search) keeps the working directory.
std::string g_savename;
bool g_portable = true;
bool g_savefolder_known = false;
char g_savefolder[1024];

void find_executable() {
    std::string exe = sys_executable();
    size_t slash = exe.find_last_of("/\\");
    if (slash == std::string::npos || slash + 1 == exe.size()) return;
    g_exename = stem(exe.substr(slash + 1));
    g_exedir = exe.substr(0, slash + 1);
}

int locate(const char *name, char *path, size_t size) {
    int found = sdl_findimage(name, g_exedir.c_str(), path, size);
    g_savename = stem(name);
    g_portable = found == 2 && sys_portable();
    g_savefolder_known = false;
    return found != 0;
}

}  // namespace

int sdl_findimage(const char *name, const char *exedir, char *path, size_t size) {
    if (is_absolute(name)) return copy_to(path, size, name) ? 1 : 0;
    if (corefile_pathtype(name) == 1) return copy_to(path, size, name) ? 2 : 0;
    const std::string beside = sys_fullfolder(exedir);
    const std::string data =
        sys_fullfolder(std::string(exedir) + "..") + "share/games/" + stem(name) + "/";
    for (const std::string &dir : {beside, data}) {
        if (exedir[0] && corefile_pathtype((dir + name).c_str()) == 1)
            return copy_to(path, size, dir + name) ? 1 : 0;
    }
    std::printf("%s not found in the working directory (%s), beside the executable (%s) or in %s\n",
                name, sys_workingdir().c_str(), beside.c_str(), data.c_str());
    return 0;
}

int sdl_userdatafolder(const char *name, char *folder, size_t size) {
    std::string base = sys_userdatabase();
    if (base.empty()) return 0;
    std::string dir = base + name + base.back();
    if (!corefile_makefolder(dir.c_str())) {
        std::printf("saves stay in the working directory\n");
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
    if (!g_portable) {
        if (g_exedir.empty()) find_executable();
        const std::string name = g_savename.empty() ? g_exename : g_savename;
        if (!name.empty() && sdl_userdatafolder(name.c_str(), g_savefolder, sizeof g_savefolder))
            std::printf("- Saves in %s\n", g_savefolder);
    }
    if (g_exedir.empty()) find_executable();
    sys_savefolderknown(g_savefolder, (g_savename.empty() ? g_exename : g_savename).c_str());
    return g_savefolder;
}

std::vector<std::string> sdl_datafolders() {
    if (g_exedir.empty()) find_executable();
    if (g_exedir.empty()) return {};
    const std::string name = g_savename.empty() ? g_exename : g_savename;
    return {g_exedir + "../share/games/" + name + "/", g_exedir};
}

void sdl_usegamepaths() {
    find_executable();
    g_portable = false;
    corefile_setlocator(locate);
}
