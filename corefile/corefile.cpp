// The resource archive: mounting a CORE image (from a file, from the tail
// of a host file, from memory) or a directory in its place, and reading
// files from it by name.
//
// The image is untrusted: every count, length and offset it states is
// checked against the bytes that are really there before anything is
// allocated or read. An image whose directory cannot be read is refused;
// one whose entries point past its bytes is mounted with a line per
// problem, and only the entries hit lose (some of) their bytes. Once
// mounted, reads never leave the image's real bytes.
#include "corefile/corefile.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "corefile/corefile_internal.h"

COREFILE_IMAGE corefile_image = {};
int32_t corefile_mounttype = 0;
FILE *g_fp = nullptr;
char corefile_pathname[1024] = "";

namespace {

constexpr uint32_t kHeaderSize = 12;
constexpr uint32_t kMinEntrySize = 12;         // namelen, hash, offset
constexpr uint32_t kMaxPosition = 0x7FFFFFFF;  // positions are kept in 32-bit signed words
constexpr int kMaxProblemLines = 16;
constexpr int kMaxScanDepth = 32;  // guards against symlink loops in directory mounts

corefile_messagefn s_hook = nullptr;
bool s_mounted = false;
uint32_t s_imagesize = 0;  // bytes really there: file length or memory size
char s_imagename[1024] = "";
uint32_t s_capacity = 0;  // room in corefile_image.names during a directory scan

bool is_image_mount() {
    return corefile_mounttype == COREFILE_MOUNT_FILE || corefile_mounttype == COREFILE_MOUNT_MEMORY;
}

// Offset of the entry a record belongs to; 0 for a record that names none.
uint32_t entry_offset(const COREFILE *f) {
    if (!corefile_image.offsets || f->index < 0 || (uint32_t)f->index >= corefile_image.numfiles)
        return 0;
    return corefile_image.offsets[f->index];
}

// Sequential reader over the image's bytes, bounded by its real size.
struct ImageReader {
    const unsigned char *mem;  // memory mount, else null
    FILE *fp;                  // file mount
    uint32_t pos;
    uint32_t end;

    uint32_t left() const { return pos < end ? end - pos : 0; }
    bool get(void *dst, uint32_t n) {
        if (n > left()) return false;
        if (mem) {
            memcpy(dst, mem + pos, n);
        } else if (n && fread(dst, 1, n, fp) != n) {
            return false;
        }
        pos += n;
        return true;
    }
};

char *copy_string(const char *s, size_t n) {
    char *copy = (char *)CF_ALLOC(n + 1);
    if (copy) {
        memcpy(copy, s, n);
        copy[n] = 0;
    }
    return copy;
}

// Reads the directory of an image mount. Structural damage (counts and
// lengths the bytes cannot hold) refuses the image at once; range damage
// (offsets, negative sizes, romsize) is reported entry by entry and the
// image is mounted all the same.
int read_image_directory() {
    ImageReader r = {};
    r.end = s_imagesize;
    if (corefile_mounttype == COREFILE_MOUNT_MEMORY) {
        r.mem = (const unsigned char *)corefile_image.base;
        r.pos = 0;
    } else {
        r.fp = g_fp;
        long at = ftell(g_fp);
        if (at < 0 || (unsigned long)at > s_imagesize) {
            corefile_say(1,
                         "corrupt image %s: header position %ld is outside the file (%u bytes)\n",
                         s_imagename, at, s_imagesize);
            return 0;
        }
        r.pos = (uint32_t)at;
    }

    unsigned char word[kHeaderSize];
    if (r.left() < 4) {
        corefile_say(1, "corrupt image %s: too short for a header (%u bytes)\n", s_imagename,
                     r.left());
        return 0;
    }
    if (!r.get(word, 4)) {
        corefile_say(1, "could not read image: %s\n", s_imagename);
        return 0;
    }
    if (memcmp(word, "CORE", 4) != 0) {
        corefile_say(1, "not a CORE image: %s\n", s_imagename);
        return 0;
    }
    if (!r.get(word, 8)) {
        corefile_say(1, "corrupt image %s: header truncated\n", s_imagename);
        return 0;
    }
    uint32_t numfiles = getint(word);
    uint32_t romsize = getint(word + 4);
    if (corefile_mounttype == COREFILE_MOUNT_FILE) {
        corefile_say(0, "numfiles: %d\n", (int)numfiles);
        corefile_say(0, "romsize: %d\n", (int)romsize);
    }
    if (numfiles > r.left() / kMinEntrySize) {
        corefile_say(1,
                     "corrupt image %s: %u entries cannot fit in the %u bytes after the header\n",
                     s_imagename, numfiles, r.left());
        return 0;
    }

    corefile_image.romsize = romsize;
    if (numfiles > 0) {
        corefile_image.offsets = (uint32_t *)CF_ALLOC(numfiles * sizeof(uint32_t));
        corefile_image.hashes = (int32_t *)CF_ALLOC(numfiles * sizeof(int32_t));
        corefile_image.names = (char **)CF_ALLOC(numfiles * sizeof(char *));
        if (!corefile_image.offsets || !corefile_image.hashes || !corefile_image.names) return 0;
        memset(corefile_image.names, 0, numfiles * sizeof(char *));
    }
    corefile_image.numfiles = numfiles;

    for (uint32_t i = 0; i < numfiles; i++) {
        if (!r.get(word, 8)) {
            corefile_say(1, "corrupt image %s: directory truncated at entry %u of %u\n",
                         s_imagename, i, numfiles);
            return 0;
        }
        uint32_t namelen = getint(word);
        corefile_image.hashes[i] = (int32_t)getint(word + 4);
        if (r.left() < 4 || namelen > r.left() - 4) {
            corefile_say(1, "corrupt image %s: entry %u has a name of %u bytes, past the end\n",
                         s_imagename, i, namelen);
            return 0;
        }
        char *name = (char *)CF_ALLOC((size_t)namelen + 1);
        if (!name) return 0;
        corefile_image.names[i] = name;
        if (!r.get(name, namelen) || !r.get(word, 4)) {
            corefile_say(1, "corrupt image %s: directory truncated at entry %u of %u\n",
                         s_imagename, i, numfiles);
            return 0;
        }
        name[namelen] = 0;
        corefile_image.offsets[i] = getint(word);
    }

    // Range damage costs only the entries it touches: a file whose bytes
    // run past the image's end reads what is there, one with a negative
    // size or an offset outside the image reads as empty (see
    // corefile_entrysize). Each such problem gets its line.
    int problems = 0;
    auto problem = [&](const char *format, auto... values) {
        if (++problems <= kMaxProblemLines) corefile_say(1, format, s_imagename, values...);
    };
    if (numfiles == 0 && romsize > s_imagesize)
        problem("corrupt image %s: romsize %u is past the end of the image (%u bytes)\n", romsize,
                s_imagesize);
    for (uint32_t i = 0; i < numfiles; i++) {
        uint32_t offset = corefile_image.offsets[i];
        uint32_t next = i + 1 < numfiles ? corefile_image.offsets[i + 1] : romsize;
        const char *name = corefile_image.names[i];
        if (offset > s_imagesize)
            problem("corrupt image %s: entry %u (%.64s) has offset %u, past the end (%u bytes)\n",
                    i, name, offset, s_imagesize);
        if (next < offset)
            problem("corrupt image %s: entry %u (%.64s) has a negative size (%lld)\n", i, name,
                    (long long)next - (long long)offset);
        else if (offset <= s_imagesize && next > s_imagesize)
            problem(
                "corrupt image %s: entry %u (%.64s) is cut short: %u of its %u bytes are there\n",
                i, name, s_imagesize - offset, next - offset);
    }
    if (problems > kMaxProblemLines)
        corefile_say(1, "corrupt image %s: %d more problems\n", s_imagename,
                     problems - kMaxProblemLines);
    return 1;
}

// One directory of a directory mount, already open as d; prefix holds the
// image-name prefix of this level ("" at the top, "sub/" below).
bool scan_directory(COREFILE_DIR *d, const char *root, char *prefix, size_t plen, int fill,
                    int depth) {
    char dirpath[4096];
    snprintf(dirpath, sizeof dirpath, "%s%s%s", root, plen ? "/" : "", prefix);
    while (COREFILE_DIRENTRY *e = corefile_dirnext(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        char full[4096 + 256];
        snprintf(full, sizeof full, "%s/%s", dirpath, e->d_name);
        int type = corefile_pathtype(full);
        if (!type) continue;
        size_t nlen = strlen(e->d_name);
        // Image names are limited like the listing's path buffer.
        if (plen + nlen + 1 >= COREFILE_PATHLEN) {
            corefile_say(1, "name too long, skipped: %s%s\n", prefix, e->d_name);
            continue;
        }
        if (type == 2) {
            if (depth >= kMaxScanDepth) {
                corefile_say(1, "directory too deep, skipped: %s%s\n", prefix, e->d_name);
                continue;
            }
            memcpy(prefix + plen, e->d_name, nlen);
            prefix[plen + nlen] = '/';
            prefix[plen + nlen + 1] = 0;
            char subpath[4096];
            COREFILE_DIR *sub = nullptr;
            if (snprintf(subpath, sizeof subpath, "%s/%s", root, prefix) >= (int)sizeof subpath)
                corefile_say(1, "path too long, skipped: %s/%s\n", root, prefix);
            else if (!(sub = corefile_diropen(subpath)))
                corefile_say(1, "error reading directory\n");
            if (sub) scan_directory(sub, root, prefix, plen + nlen + 1, fill, depth + 1);
            prefix[plen] = 0;
        } else {
            if (fill) {
                // The directory may have grown since the counting pass.
                if (corefile_image.numfiles >= s_capacity) continue;
                char name[COREFILE_PATHLEN];
                snprintf(name, sizeof name, "%s%s", prefix, e->d_name);
                char *copy = copy_string(name, strlen(name));
                if (!copy) continue;
                corefile_image.names[corefile_image.numfiles] = copy;
            }
            corefile_image.numfiles++;
        }
    }
    if (corefile_dirclose(d) != 0) {
        corefile_say(1, "Error closing directory");
        return false;
    }
    return true;
}

// The directory is opened before its levels are counted, so a path that
// cannot be read reports only that.
bool scan_root(const char *path, int fill) {
    COREFILE_DIR *d = corefile_diropen(path);
    if (!d) {
        corefile_say(1, "error reading directory\n");
        return false;
    }
    int levels = 1;
    size_t len = strlen(path);
    for (size_t i = 1; i + 1 < len; i++)
        if (path[i] == '/') levels++;
    if (levels > 1) corefile_say(0, "path has %d sublevels\n", levels);
    char prefix[COREFILE_PATHLEN] = "";
    return scan_directory(d, path, prefix, 0, fill, 0);
}

int read_directory_mount() {
    const char *path = (const char *)corefile_image.base;
    corefile_image.numfiles = 0;
    if (!scan_root(path, 0)) return 0;
    uint32_t count = corefile_image.numfiles;
    corefile_say(0, "Found %d files\n", (int)count);
    if (count > 0) {
        corefile_image.names = (char **)CF_ALLOC(count * sizeof(char *));
        if (!corefile_image.names) return 0;
        memset(corefile_image.names, 0, count * sizeof(char *));
    }
    s_capacity = count;
    corefile_image.numfiles = 0;
    scan_root(path, 1);
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Messages

void corefile_setmessagehook(corefile_messagefn fn) {
    s_hook = fn;
}

void corefile_say(int problem, const char *format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (s_hook)
        s_hook(problem, line);
    else
        _dbg_printf("%s", line);
}

// ---------------------------------------------------------------------------
// Small helpers

int corefile_gethash(const char *name) {
    uint32_t sum = 0;
    for (const char *p = name; p && *p; p++) sum += (uint32_t)(int32_t)(signed char)*p;
    return (int32_t)sum;
}

void file_downcase(char *dst, const char *src, int n) {
    for (int i = 0; i < n; i++) {
        char c = src[i];
        dst[i] = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
    }
}

uint32_t getint(const unsigned char *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

int32_t corefile_entrysize(uint32_t i) {
    if (i >= corefile_image.numfiles || !corefile_image.names) return 0;
    if (corefile_mounttype == COREFILE_MOUNT_DIRECTORY) {
        char path[4096];
        snprintf(path, sizeof path, "%s/%s", (const char *)corefile_image.base,
                 corefile_image.names[i]);
        long long size = corefile_pathsize(path);
        if (size < 0) return 0;
        return size > kMaxPosition ? (int32_t)kMaxPosition : (int32_t)size;
    }
    uint32_t offset = corefile_image.offsets[i];
    uint32_t next =
        i + 1 < corefile_image.numfiles ? corefile_image.offsets[i + 1] : corefile_image.romsize;
    if (offset > s_imagesize || next < offset) return 0;
    if (next > s_imagesize) next = s_imagesize;
    return (int32_t)(next - offset);
}

// ---------------------------------------------------------------------------
// Mounting

int readheader() {
    int ok = 0;
    switch (corefile_mounttype) {
        case COREFILE_MOUNT_FILE:
            ok = g_fp && read_image_directory();
            break;
        case COREFILE_MOUNT_MEMORY:
            ok = read_image_directory();
            break;
        case COREFILE_MOUNT_DIRECTORY:
            ok = read_directory_mount();
            break;
    }
    if (!ok) return 0;

    // Room for "..", every sub-directory of one level and every file.
    corefile_listcapacity = corefile_image.numfiles + COREFILE_MAXDIRS;
    size_t bytes = corefile_listcapacity * sizeof(COREFILE_ENTRY);
    corefile_filelist = (COREFILE_ENTRY *)CF_ALLOC(bytes);
    corefile_localpath = (char *)CF_ALLOC(COREFILE_PATHLEN);
    if (!corefile_filelist || !corefile_localpath) return 0;
    memset(corefile_filelist, 0, bytes);
    memset(corefile_localpath, 0, COREFILE_PATHLEN);
    strcpy(corefile_localpath, "/");
    corefile_numfiles = 0;
    s_mounted = true;
    return 1;
}

static corefile_locatefn s_locator = nullptr;

void corefile_setlocator(corefile_locatefn fn) {
    s_locator = fn;
}

int corefile_mountimage(const char *name, int mode) {
    if (s_mounted || corefile_image.base || g_fp) corefile_closeimage();
    if (!name) name = "";

    char path[1024];
    int len = snprintf(path, sizeof path, "%s%s", corefile_pathname, name);
    char found[sizeof path];
    if (s_locator && len < (int)sizeof path && path[0] && s_locator(path, found, sizeof found))
        len = snprintf(path, sizeof path, "%s", found);
    corefile_say(0, "Loading resource image: %s\n", path);
    if (len >= (int)sizeof path) {
        corefile_say(1, "could not open image: %s\n", path);
        return 0;
    }
    snprintf(s_imagename, sizeof s_imagename, "%s", path);

    if (mode == 0 || mode == 1) {
        g_fp = corefile_fopen(path, "rb");
        long long length = g_fp ? corefile_streamsize(g_fp) : -1;
        if (length < 0) {
            corefile_say(1, "could not open image: %s\n", path);
            corefile_closeimage();
            return 0;
        }
        s_imagesize = length > (long)kMaxPosition ? kMaxPosition : (uint32_t)length;
        corefile_image.base = g_fp;
        corefile_mounttype = COREFILE_MOUNT_FILE;
        if (mode == 0) {
            corefile_say(0, "loading from file\n");
        } else {
            unsigned char tail[4];
            if (length < 4 || fseek(g_fp, (long)(length - 4), SEEK_SET) != 0 ||
                fread(tail, 1, 4, g_fp) != 4) {
                corefile_say(1, "corrupt image %s: too short to hold the image position\n", path);
                corefile_closeimage();
                return 0;
            }
            uint32_t at = getint(tail);
            if (at > s_imagesize || fseek(g_fp, (long)at, SEEK_SET) != 0) {
                corefile_say(1,
                             "corrupt image %s: image position %u is past the end (%lld bytes)\n",
                             path, at, length);
                corefile_closeimage();
                return 0;
            }
            corefile_say(0, "loading from executable\n");
        }
    } else if (mode == 2) {
        corefile_mounttype = COREFILE_MOUNT_DIRECTORY;
        corefile_image.base = copy_string(path, strlen(path));
        if (!corefile_image.base) return 0;
    } else {
        return 0;
    }

    if (readheader()) return 1;
    corefile_closeimage();
    return 0;
}

int corefile_mountmemory(const void *data, size_t size) {
    if (s_mounted || corefile_image.base || g_fp) corefile_closeimage();
    snprintf(s_imagename, sizeof s_imagename, "(memory, %zu bytes)", size);
    corefile_say(0, "Loading resource image: %s\n", s_imagename);
    if ((!data && size) || size > kMaxPosition) {
        corefile_say(1, "could not open image: %s\n", s_imagename);
        return 0;
    }
    corefile_mounttype = COREFILE_MOUNT_MEMORY;
    corefile_image.base = const_cast<void *>(data);
    s_imagesize = (uint32_t)size;
    if (readheader()) return 1;
    corefile_closeimage();
    return 0;
}

void corefile_closeimage() {
    if (g_fp) fclose(g_fp);
    g_fp = nullptr;
    if (corefile_mounttype == COREFILE_MOUNT_DIRECTORY && corefile_image.base)
        CF_FREE(corefile_image.base);
    corefile_image.base = nullptr;

    if (corefile_image.names) {
        for (uint32_t i = 0; i < corefile_image.numfiles; i++)
            if (corefile_image.names[i]) CF_FREE(corefile_image.names[i]);
        CF_FREE(corefile_image.names);
    }
    if (corefile_image.offsets) CF_FREE(corefile_image.offsets);
    if (corefile_image.hashes) CF_FREE(corefile_image.hashes);
    corefile_image = COREFILE_IMAGE{};

    if (corefile_filelist) {
        corefile_freelisting();
        CF_FREE(corefile_filelist);
    }
    corefile_filelist = nullptr;
    if (corefile_localpath) CF_FREE(corefile_localpath);
    corefile_localpath = nullptr;
    corefile_numfiles = 0;
    corefile_listcapacity = 0;

    corefile_mounttype = 0;
    s_mounted = false;
    s_imagesize = 0;
    s_capacity = 0;
}

void corefile_opendir(const char *path, int fill) {
    if (path) scan_root(path, fill);
}

// ---------------------------------------------------------------------------
// Files

int corefile_open(const char *name, COREFILE *f, int mode) {
    if (!f) return 0;
    if (!name) name = "";
    size_t n = strlen(name);
    char *lowered = copy_string(name, n);
    if (!lowered) return 0;
    file_downcase(lowered, name, (int)n);

    if (corefile_mounttype == COREFILE_MOUNT_DIRECTORY) {
        f->handle = nullptr;
        const char *root = corefile_image.base ? (const char *)corefile_image.base : ".";
        char path[4096];
        FILE *fp = nullptr;
        if (snprintf(path, sizeof path, "%s/%s", root, lowered) < (int)sizeof path)
            fp = corefile_fopen(path, mode == 1 ? "wb" : "rb");
        CF_FREE(lowered);
        if (!fp) return 0;
        if (corefile_streamsize(fp) < 0) {
            fclose(fp);  // a directory opens as a stream on this platform but reads nothing
            return 0;
        }
        f->handle = fp;
        f->pos = 0;
        fseek(fp, 0, SEEK_END);
        long size = ftell(fp);
        fseek(fp, 0, SEEK_SET);
        f->size = size < 0 ? 0 : size > (long)kMaxPosition ? (int32_t)kMaxPosition : (int32_t)size;
        return 1;
    }

    int32_t hash = corefile_gethash(lowered);
    f->hash = hash;
    for (uint32_t i = 0; s_mounted && i < corefile_image.numfiles; i++) {
        // Whole-name comparison: a stored name that merely starts with the
        // requested one is a different file.
        if (corefile_image.hashes[i] != hash || strcmp(corefile_image.names[i], lowered) != 0)
            continue;
        f->index = (int32_t)i;
        f->pos = (int32_t)corefile_image.offsets[i];
        f->size = corefile_entrysize(i);
        corefile_say(0, "found file at offset: %d\n", f->pos);
        // An entry whose offset lies outside the image gets the image's end,
        // never an address past it.
        uint32_t first =
            corefile_image.offsets[i] < s_imagesize ? corefile_image.offsets[i] : s_imagesize;
        f->handle = corefile_mounttype == COREFILE_MOUNT_MEMORY
                        ? (void *)((unsigned char *)corefile_image.base + first)
                        : nullptr;
        CF_FREE(lowered);
        return 1;
    }
    corefile_say(1, "couldn't find file: %s\n", lowered);
    CF_FREE(lowered);
    return 0;
}

// The position advances by the whole amount asked for even when fewer
// bytes were there, as with the file mount's underlying stream.
void corefile_read(void *buf, int size, int count, COREFILE *f) {
    if (!f || !buf || size <= 0 || count <= 0) return;
    uint64_t total = (uint64_t)size * (uint64_t)count;
    if (corefile_mounttype == COREFILE_MOUNT_MEMORY) {
        if (corefile_image.base && f->pos >= 0 && (uint32_t)f->pos < s_imagesize) {
            uint64_t avail = s_imagesize - (uint32_t)f->pos;
            memcpy(buf, (const unsigned char *)corefile_image.base + f->pos,
                   (size_t)(total < avail ? total : avail));
        }
    } else {
        FILE *fp = corefile_mounttype == COREFILE_MOUNT_DIRECTORY ? (FILE *)f->handle : g_fp;
        if (fp && f->pos >= 0 && fseek(fp, f->pos, SEEK_SET) == 0) fread(buf, 1, (size_t)total, fp);
    }
    f->pos = (int32_t)((uint32_t)f->pos + (uint32_t)total);
}

void corefile_write(const void *data, int size, int count, COREFILE *f) {
    if (!f || !data || size <= 0 || count <= 0) return;
    if (corefile_mounttype != COREFILE_MOUNT_DIRECTORY || !f->handle) return;
    uint64_t total = (uint64_t)size * (uint64_t)count;
    FILE *fp = (FILE *)f->handle;
    if (f->pos >= 0 && fseek(fp, f->pos, SEEK_SET) == 0) fwrite(data, 1, (size_t)total, fp);
    f->pos = (int32_t)((uint32_t)f->pos + (uint32_t)total);
}

void corefile_seek(COREFILE *f, int offset, int origin) {
    if (!f) return;
    uint32_t start = is_image_mount() ? entry_offset(f) : 0;
    if (origin == 0)
        f->pos = (int32_t)(start + (uint32_t)offset);
    else if (origin == 1)
        f->pos = (int32_t)((uint32_t)f->pos + (uint32_t)offset);
}

int corefile_tell(COREFILE *f) {
    if (!f) return 0;
    uint32_t start = is_image_mount() ? entry_offset(f) : 0;
    return (int32_t)((uint32_t)f->pos - start);
}

int corefile_fsize(COREFILE *f) {
    return f ? f->size : 0;
}

int corefile_feof(COREFILE *f) {
    if (!f) return 1;
    if (is_image_mount()) return corefile_tell(f) >= f->size ? 1 : 0;
    return f->handle ? feof((FILE *)f->handle) : 1;
}

void corefile_rewind(COREFILE *f) {
    if (!f) return;
    if (is_image_mount()) {
        f->pos = (int32_t)entry_offset(f);
    } else {
        f->pos = 0;
        if (f->handle) rewind((FILE *)f->handle);
    }
}

// File and directory mounts read a line as fgets does. A memory mount
// copies up to n bytes and stops after a zero byte; it adds no terminator.
void corefile_gets(char *buf, int n, COREFILE *f) {
    if (!f || !buf || n <= 0) return;
    if (corefile_mounttype == COREFILE_MOUNT_MEMORY) {
        const unsigned char *image = (const unsigned char *)corefile_image.base;
        for (int i = 0; i < n && image && f->pos >= 0 && (uint32_t)f->pos < s_imagesize; i++) {
            char c = (char)image[f->pos++];
            buf[i] = c;
            if (c == 0) break;
        }
        return;
    }
    FILE *fp = corefile_mounttype == COREFILE_MOUNT_DIRECTORY ? (FILE *)f->handle : g_fp;
    if (!fp || f->pos < 0 || fseek(fp, f->pos, SEEK_SET) != 0) return;
    if (!fgets(buf, n, fp)) return;
    long at = ftell(fp);
    if (at >= 0) f->pos = (int32_t)at;
}

void corefile_close(COREFILE *f) {
    if (!f) return;
    if (corefile_mounttype == COREFILE_MOUNT_DIRECTORY) {
        if (f->handle) fclose((FILE *)f->handle);
        f->handle = nullptr;
        return;
    }
    f->handle = nullptr;
    f->index = 0;
    f->pos = 0;
}

// ---------------------------------------------------------------------------
// Whole files

namespace {

// The name relative to the current directory: the path's leading '/' is
// dropped so that the result is an image name ("gfx/ship.tga"), which also
// works below a directory mount's root.
char *relative_name(const char *name) {
    const char *dir = corefile_localpath ? corefile_localpath : "";
    if (*dir == '/' || *dir == '\\') dir++;
    size_t dlen = strlen(dir), nlen = strlen(name);
    char *full = (char *)CF_ALLOC(dlen + nlen + 1);
    if (!full) return nullptr;
    memcpy(full, dir, dlen);
    memcpy(full + dlen, name, nlen + 1);
    return full;
}

}  // namespace

void *corefile_loadbuffer(const char *name) {
    if (!name) return nullptr;
    char *full = relative_name(name);
    if (!full) return nullptr;
    COREFILE f = {};
    int ok = corefile_open(full, &f, 0);
    CF_FREE(full);
    if (!ok) return nullptr;
    int32_t size = f.size > 0 ? f.size : 0;
    void *buffer = CF_ALLOC(size ? (size_t)size : 1);
    if (buffer) {
        memset(buffer, 0, size ? (size_t)size : 1);
        corefile_read(buffer, size, 1, &f);
    }
    corefile_close(&f);
    return buffer;
}

// Only a directory mount can take a file: an image is read only. 1 when
// every byte reached the file and it closed cleanly, else 0 with a line.
int corefile_savebuffer(const char *name, const void *data, int len) {
    if (!name || len < 0 || (!data && len > 0)) {
        corefile_say(1, "corefile_savebuffer: no name or data, nothing written\n");
        return 0;
    }
    if (corefile_mounttype != COREFILE_MOUNT_DIRECTORY) {
        corefile_say(1, "corefile_savebuffer: %s not written, the mounted image is read only\n",
                     name);
        return 0;
    }
    char *full = relative_name(name);
    if (!full) return 0;
    COREFILE f = {};
    errno = 0;
    if (!corefile_open(full, &f, 1)) {
        corefile_say(1, "corefile_savebuffer: cannot write %s (%s)\n", full,
                     errno ? strerror(errno) : "not a plain file");
        CF_FREE(full);
        return 0;
    }
    // A full disk may show only when the stream's buffer goes out at the close.
    FILE *fp = (FILE *)f.handle;
    f.handle = nullptr;
    int error = 0;
    errno = 0;
    if (len > 0 && fwrite(data, 1, (size_t)len, fp) != (size_t)len) error = errno ? errno : EIO;
    if (fclose(fp) != 0 && !error) error = errno ? errno : EIO;
    if (error)
        corefile_say(1, "corefile_savebuffer: writing %s failed (%s)\n", full, strerror(error));
    CF_FREE(full);
    return error ? 0 : 1;
}
