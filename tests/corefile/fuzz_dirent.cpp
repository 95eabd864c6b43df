// libFuzzer target for browsing a mounted image: arbitrary bytes mounted as
// an image in memory, then its name tree walked with corefile_chdir and
// listed with corefile_readdir at every level, each listing checked
// against the listing rules written out plainly here. Changing into each
// of the image's own names (absolute, overlong, with '\\' or "..") must
// keep the current directory framed by '/' and within its buffer.
//
// Seeds: run with QO_FUZZ_WRITE_SEEDS=<dir> to write a few images with
// trees into <dir> and exit.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "corefile/corefile.h"
#include "tests/corefile/core_image.h"

namespace {

void silent(int, const char *) {}

void WriteSeeds(const std::string &dir) {
    mkdir(dir.c_str(), 0755);
    const std::vector<std::vector<coreimage::File>> images = {
        {{"gfx/a.tga", "AAAA"}, {"gfx/b.tga", "BB"}, {"c.tga", "C"}, {"snd/x.wav", "W"}},
        {{"a/b/c/d.tga", "D"}, {"a/b/e.TGA", "E"}, {"a/f.wav", "F"}, {"a\\g/h.tga", "H"}},
        {{"/abs.tga", "1"}, {"x//y.tga", "2"}, {"../up.tga", "3"}, {"noext", "4"}, {"z/", "5"}},
    };
    int n = 0;
    for (const auto &files : images) {
        coreimage::Bytes bytes = coreimage::build(files);
        std::string path = dir + "/tree" + std::to_string(n++);
        if (std::FILE *f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
}

struct Record {
    std::string label, name;
    bool isdir;
};

// The listing of the current directory as the rules give it: "..", the
// sub-directories by first appearance, then the matching files, in image
// order.
std::vector<Record> Expected(const std::vector<std::string> &names, const std::string &path,
                             const char *pattern) {
    const char *dot = std::strrchr(pattern, '.');
    std::string ext = dot ? dot : "";
    bool all = ext == ".*";
    bool root = path.empty() || path == "/";
    std::string prefix = root ? "" : path.substr(1);
    std::vector<std::string> dirs;
    if (!root) dirs.push_back("..");
    for (const std::string &name : names) {
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        std::string rest = name.substr(prefix.size());
        if (rest.find('/') == std::string::npos) continue;
        std::string first = rest.substr(0, rest.find_first_of("/\\"));
        bool seen = false;
        for (const std::string &d : dirs) seen = seen || d == first;
        if (!seen && dirs.size() < COREFILE_MAXDIRS) dirs.push_back(first);
    }
    std::vector<Record> out;
    for (const std::string &d : dirs) out.push_back({"[" + d + "]", d, true});
    for (const std::string &name : names) {
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        std::string rest = name.substr(prefix.size());
        if (rest.find('/') != std::string::npos) continue;
        if (!all && (rest.size() < ext.size() ||
                     rest.compare(rest.size() - ext.size(), ext.size(), ext) != 0))
            continue;
        out.push_back({rest, name, false});
    }
    return out;
}

// The current directory is framed by '/'; an absolute name given with
// '\' keeps that as its first character, which listing skips like '/'.
void CheckPath() {
    const char *path = corefile_getpath();
    size_t len = path ? std::strlen(path) : 0;
    if (!path || len == 0 || len >= COREFILE_PATHLEN || (path[0] != '/' && path[0] != '\\') ||
        path[len - 1] != '/') {
        std::fprintf(stderr, "current directory \"%s\"\n", path ? path : "(null)");
        __builtin_trap();
    }
}

void CheckListing(const std::vector<std::string> &names, const char *pattern, size_t imagesize) {
    corefile_readdir(pattern);
    std::vector<Record> want = Expected(names, corefile_getpath(), pattern);
    if ((size_t)corefile_numfiles != want.size()) {
        std::fprintf(stderr, "%s in %s: %d records, the rules give %zu\n", pattern,
                     corefile_getpath(), corefile_numfiles, want.size());
        __builtin_trap();
    }
    for (size_t i = 0; i < want.size(); i++) {
        const COREFILE_ENTRY &e = corefile_filelist[i];
        if (!e.label || !e.name || want[i].label != e.label || want[i].name != e.name ||
            e.isdir != (int)want[i].isdir || (e.isdir && e.size != 0) || e.size < 0 ||
            (size_t)e.size > imagesize) {
            std::fprintf(stderr, "%s in %s: record %zu is %s / %s, the rules give %s / %s\n",
                         pattern, corefile_getpath(), i, e.label ? e.label : "(null)",
                         e.name ? e.name : "(null)", want[i].label.c_str(), want[i].name.c_str());
            __builtin_trap();
        }
    }
}

// Lists the current directory, then goes into each sub-directory and back.
void Walk(const std::vector<std::string> &names, size_t imagesize, int depth, int &budget) {
    CheckPath();
    CheckListing(names, "*.*", imagesize);
    std::vector<std::string> dirs;
    for (int32_t i = 0; i < corefile_numfiles; i++)
        if (corefile_filelist[i].isdir && std::strcmp(corefile_filelist[i].name, ".."))
            dirs.push_back(corefile_filelist[i].name);
    // One file's extension as the pattern, and one in capitals.
    for (int32_t i = 0; i < corefile_numfiles; i++)
        if (!corefile_filelist[i].isdir) {
            const char *dot = std::strrchr(corefile_filelist[i].label, '.');
            std::string pattern = std::string("*") + (dot ? dot : ".tga");
            CheckListing(names, pattern.c_str(), imagesize);
            break;
        }
    CheckListing(names, "*.TGA", imagesize);
    if (depth >= 8) return;
    std::string here = corefile_getpath();
    for (const std::string &d : dirs) {
        if (--budget < 0) return;
        corefile_chdir(d.c_str());
        Walk(names, imagesize, depth + 1, budget);
        corefile_chdir("..");
        // A name with '\' in it is cut there on the way up; go back by path.
        if (here != corefile_getpath()) corefile_chdir(here.c_str());
        if (here != corefile_getpath()) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (const char *dir = std::getenv("QO_FUZZ_WRITE_SEEDS")) {
        WriteSeeds(dir);
        std::exit(0);
    }
    corefile_setmessagehook(silent);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!corefile_mountmemory(data, size)) {
        corefile_closeimage();
        return 0;
    }
    std::vector<std::string> names;
    for (uint32_t i = 0; i < corefile_image.numfiles; i++)
        names.push_back(corefile_image.names[i] ? corefile_image.names[i] : "");
    int budget = 64;
    Walk(names, size, 0, budget);

    // Any of the image's names as a directory to change into, and back up.
    for (size_t i = 0; i < names.size() && i < 32; i++) {
        corefile_chdir(names[i].c_str());
        CheckPath();
        corefile_chdir("..");
        CheckPath();
        corefile_chdir("/");
        if (std::strcmp(corefile_getpath(), "/") != 0) __builtin_trap();
    }
    corefile_closeimage();
    return 0;
}
