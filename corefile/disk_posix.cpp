// Files on disk through POSIX: Linux, and the browser's emscripten, whose
// C library offers the same calls over its own file system. See the "Files
// on disk" section of corefile.h.
#include "corefile/corefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "corefile/corefile_internal.h"

FILE *corefile_fopen(const char *path, const char *mode) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    return fopen(path, mode);
}

int corefile_pathtype(const char *path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return 0;
    if (S_ISDIR(st.st_mode)) return 2;
    return S_ISREG(st.st_mode) ? 1 : 0;
}

long long corefile_pathsize(const char *path) {
    struct stat st;
    if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return (long long)st.st_size;
}

long long corefile_streamsize(FILE *fp) {
    struct stat st;
    if (!fp || fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return (long long)st.st_size;
}

// mkdir -p; the folders it makes are the user's own (0700).
int corefile_makefolder(const char *path) {
    if (!path || !*path) return 0;
    std::string dir = path;
    for (size_t at = 1; at <= dir.size(); at++) {
        if (at < dir.size() && dir[at] != '/') continue;
        std::string part = dir.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            corefile_say(1, "%s: cannot create the folder (%s)\n", part.c_str(), strerror(errno));
            return 0;
        }
    }
    if (corefile_pathtype(path) == 2) return 1;
    corefile_say(1, "%s: cannot create the folder (%s)\n", path, strerror(ENOTDIR));
    return 0;
}

int corefile_removefile(const char *path) {
    if (!path) return 0;
    if (unlink(path) == 0 || errno == ENOENT) return 1;
    corefile_say(1, "%s: cannot remove (%s)\n", path, strerror(errno));
    return 0;
}

namespace {

// Makes a finished rename durable. A folder that cannot be opened or synced
// still holds the new name.
void sync_folder_of(const char *path) {
    std::string folder(path);
    size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Writes the bytes to an open stream, pushes them to the disk and closes
// it; errno tells the first failure. A full disk shows up at the close at
// the latest; a file system that cannot sync (EINVAL) keeps the data all
// the same.
bool write_and_sync(FILE *f, const void *data, size_t size) {
    int error = 0;
    auto failed = [&error]() {
        if (!error) error = errno ? errno : EIO;
    };
    errno = 0;
    if (size && fwrite(data, 1, size, f) != size) failed();
    if (fflush(f) != 0) failed();
    if (fsync(fileno(f)) != 0 && errno != EINVAL) failed();
    if (fclose(f) != 0) failed();
    errno = error;
    return error == 0;
}

// Where the sibling cannot be made: the file itself is truncated and
// written (through a symbolic link, to the file it names).
int save_in_place(const char *path, const void *data, size_t size) {
    FILE *f = fopen(path, "wb");
    if (!f) {
        corefile_say(1, "%s: cannot write (%s), not saved\n", path, strerror(errno));
        return 0;
    }
    if (!write_and_sync(f, data, size)) {
        corefile_say(1, "%s: write failed (%s), not saved\n", path, strerror(errno));
        return 0;
    }
    return 1;
}

}  // namespace

int corefile_replacefile(const char *from, const char *to) {
    if (!from || !to) return 0;
    if (rename(from, to) != 0) {
        corefile_say(1, "%s: cannot replace (%s)\n", to, strerror(errno));
        return 0;
    }
    sync_folder_of(to);
    return 1;
}

int corefile_savefile(const char *path, const void *data, size_t size) {
    if (!path || (!data && size)) return 0;
    // A rename would put a plain file in the link's place.
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        corefile_say(0, "%s: a symbolic link, writing in place through it\n", path);
        return save_in_place(path, data, size);
    }
    const bool existed = corefile_pathtype(path) != 0;
    const char *outcome = existed ? "kept as it was" : "not written";
    std::string temp = std::string(path) + ".tmp";
    FILE *f = fopen(temp.c_str(), "wb");
    if (!f) {
        // A full disk, a quota, an I/O error or a folder in the way would
        // hit an in-place save just the same, after it had truncated the
        // file the sibling is there to protect. Only a folder we may not
        // write into is written in place.
        int error = errno;
        if (error != EACCES && error != EPERM) {
            corefile_say(1, "%s: cannot create (%s), %s %s\n", temp.c_str(), strerror(error), path,
                         outcome);
            return 0;
        }
        corefile_say(0, "%s: cannot create (%s), writing %s in place\n", temp.c_str(),
                     strerror(error), path);
        return save_in_place(path, data, size);
    }
    // The data is on the disk before the name points to it, so that a crash
    // of the machine right after the rename cannot leave an empty file.
    if (!write_and_sync(f, data, size)) {
        corefile_say(1, "%s: write failed (%s), %s %s\n", temp.c_str(), strerror(errno), path,
                     outcome);
        unlink(temp.c_str());
        return 0;
    }
    if (rename(temp.c_str(), path) != 0) {
        corefile_say(1, "%s: cannot replace (%s), %s\n", path, strerror(errno), outcome);
        unlink(temp.c_str());
        return 0;
    }
    sync_folder_of(path);
    return 1;
}

// ---------------------------------------------------------------------------
// Directory enumeration

struct COREFILE_DIR {
    DIR *dir;
    COREFILE_DIRENTRY entry;
};

COREFILE_DIR *corefile_diropen(const char *path) {
    if (!path || !*path) {
        errno = EINVAL;
        return nullptr;
    }
    DIR *dir = opendir(path);
    if (!dir) return nullptr;
    COREFILE_DIR *d = (COREFILE_DIR *)CF_ALLOC(sizeof(COREFILE_DIR));
    if (!d) {
        closedir(dir);
        errno = ENOMEM;
        return nullptr;
    }
    d->dir = dir;
    d->entry.d_name = nullptr;
    return d;
}

COREFILE_DIRENTRY *corefile_dirnext(COREFILE_DIR *d) {
    if (!d) {
        errno = EBADF;
        return nullptr;
    }
    struct dirent *e = readdir(d->dir);
    if (!e) return nullptr;
    d->entry.d_name = e->d_name;
    return &d->entry;
}

int corefile_dirclose(COREFILE_DIR *d) {
    if (!d) {
        errno = EBADF;
        return -1;
    }
    int result = closedir(d->dir);
    CF_FREE(d);
    return result;
}

void corefile_dirrewind(COREFILE_DIR *d) {
    if (!d) return;
    rewinddir(d->dir);
    d->entry.d_name = nullptr;
}
