// Where a program finds its resource image and keeps its saves: the
// portable layout (everything in the working directory) or the installed
// one (image beside the executable or in share/games/, saves in the user's
// data folder). See paths.h.
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

bool is_file(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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

bool copy_to(char (&field)[1024], const std::string &text) {
    if (text.size() >= sizeof field) return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

// $XDG_DATA_HOME/name/, or ~/.local/share/name/; a relative XDG_DATA_HOME
// is not meant to be used, like an empty one.
std::string save_folder(const char *name) {
    const char *xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/" + name + "/";
    const char *home = getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/share/" + name + "/";
    return "";
}

}  // namespace

int sdl_findgamepaths(const char *name, const char *exedir, s_gamepaths *paths) {
    paths->imagedir[0] = 0;
    paths->savedir[0] = 0;
    paths->found = 0;
    const std::string image = std::string(name) + ".dat";
    if (is_file(image)) {
        paths->found = 1;
        return 1;
    }

    const std::string beside = resolved_dir(exedir);
    const std::string data = resolved_dir(std::string(exedir) + "..") + "share/games/" + name + "/";
    for (const std::string &dir : {beside, data}) {
        if (is_file(dir + image) && copy_to(paths->imagedir, dir)) {
            paths->found = 1;
            break;
        }
    }
    if (!paths->found) {
        char cwd[PATH_MAX];
        std::printf(
            "%s not found in the working directory (%s), beside the executable (%s) or in "
            "%s; starting without it\n",
            image.c_str(), getcwd(cwd, sizeof cwd) ? cwd : "?", beside.c_str(), data.c_str());
    }

    const std::string saves = save_folder(name);
    if (saves.empty()) {
        std::printf("neither XDG_DATA_HOME nor HOME is set: saves stay in the working directory\n");
    } else if (!make_dirs(saves)) {
        std::printf("cannot create %s (%s): saves stay in the working directory\n", saves.c_str(),
                    std::strerror(errno));
    } else if (!copy_to(paths->savedir, saves)) {
        std::printf("%s: path too long, saves stay in the working directory\n", saves.c_str());
    }
    return paths->found;
}

void sdl_usegamepaths() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;  // no way to tell: the working directory as ever
    exe[n] = 0;
    const char *slash = std::strrchr(exe, '/');
    if (!slash || !slash[1]) return;
    const std::string name = slash + 1;
    const std::string dir(exe, static_cast<size_t>(slash + 1 - exe));

    s_gamepaths paths;
    sdl_findgamepaths(name.c_str(), dir.c_str(), &paths);
    if (paths.imagedir[0]) {
        std::snprintf(corefile_pathname, sizeof corefile_pathname, "%s", paths.imagedir);
    }
    if (paths.savedir[0]) {
        if (chdir(paths.savedir) == 0) {
            std::printf("- Saves in %s\n", paths.savedir);
        } else {
            std::printf("cannot enter %s (%s): saves stay in the working directory\n",
                        paths.savedir, std::strerror(errno));
        }
    }
}
