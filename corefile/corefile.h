// corefile: the resource archive, file access and directory listing.
//
// Offers: mounting one resource image ("CORE" format) from a stand-alone
// file, from the tail of a host file, from memory, or a directory on disk
// in its place; opening files by name and reading them like stdio streams;
// browsing the image's name tree (chdir / readdir).
// Depends on: core (debug output and the counting allocator).
//
// All state is global and meant for one thread (the game thread). Memory
// is taken through the counting allocator under "corefile/corefile-std".
//
// Image layout (32-bit little-endian integers, no padding):
//   "CORE", numfiles, romsize, then numfiles entries of
//   { namelen, hash, name[namelen], offset }, then the files' data.
// A file's size is the next entry's offset (romsize for the last) minus
// its own offset; offsets and romsize are absolute positions in the file
// that holds the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------------------
// Mounted image

enum {
    COREFILE_MOUNT_FILE = 0,       // read through g_fp (stand-alone or appended image)
    COREFILE_MOUNT_MEMORY = 1,     // image bytes held in memory at base
    COREFILE_MOUNT_DIRECTORY = 2,  // a directory on disk; names are files under it
};

struct COREFILE_IMAGE {
    void *base;         // FILE* / image bytes / owned copy of the directory path
    uint32_t romsize;   // from the header (image mounts)
    uint32_t numfiles;  // number of entries
    uint32_t *offsets;  // entry offsets, directory order (image mounts)
    char **names;       // entry names, terminated
    int32_t *hashes;    // entry hashes (image mounts)
};

extern COREFILE_IMAGE corefile_image;
extern int32_t corefile_mounttype;
extern FILE *g_fp;                    // the open image file of a file mount
extern char corefile_pathname[1024];  // prefix put before the mount name (normally empty)

// One open file. Owned by the caller, usually on its stack.
struct COREFILE {
    void *handle;   // directory mount: FILE*; memory mount: the file's first byte; file mount: null
    int32_t index;  // entry number (image mounts)
    int32_t pos;    // image mounts: absolute position in the image; directory mount: in the file
    int32_t size;   // the file's size in bytes
    int32_t hash;   // hash of the lowered name (image mounts)
};

// mode 0: stand-alone image file; 1: image appended to a host file whose last
// 4 bytes hold the header's position; 2: a directory, whose files are then
// opened by their paths below it, in place of an image while developing.
// Returns 1, or 0 with a message when it cannot be opened or read. Names
// are looked up in lower case, both in images and in directories.
int corefile_mountimage(const char *name, int mode);
// Where an image is: given the name a program mounts, the platform writes
// the path to open (the working directory's, beside the executable, ...)
// and returns 1, or returns 0 having said where it looked. Without one,
// names are opened as they are.
typedef int (*corefile_locatefn)(const char *name, char *path, size_t size);
void corefile_setlocator(corefile_locatefn fn);
// Mounts an image already in memory (mount type 1). The bytes are not copied
// and must stay valid until corefile_closeimage. Returns 1 or 0.
int corefile_mountmemory(const void *data, size_t size);
int readheader();
void corefile_closeimage();

// mode 1 opens for writing (directory mounts only); anything else reads.
// Returns 1, or 0 when there is no such file (an image mount prints
// "couldn't find file: <name>").
int corefile_open(const char *name, COREFILE *f, int mode);
void corefile_read(void *buf, int size, int count, COREFILE *f);
void corefile_write(const void *data, int size, int count, COREFILE *f);
void corefile_seek(COREFILE *f, int offset, int origin);  // origin 0 start, 1 current
int corefile_tell(COREFILE *f);
int corefile_fsize(COREFILE *f);
int corefile_feof(COREFILE *f);
void corefile_rewind(COREFILE *f);
void corefile_gets(char *buf, int n, COREFILE *f);
void corefile_close(COREFILE *f);

// Whole files, relative to the current directory. loadbuffer's result is
// released with _wrap_free_dbg. savebuffer writes on a directory mount only
// (an image is read only): 1 when the whole file was written and closed,
// 0 with a line otherwise.
void *corefile_loadbuffer(const char *name);
int corefile_savebuffer(const char *name, const void *data, int len);

int corefile_gethash(const char *name);
void file_downcase(char *dst, const char *src, int n);
uint32_t getint(const unsigned char *p);

// Recursive scan of a directory mount: counts files into
// corefile_image.numfiles, and with fill != 0 also stores their names.
void corefile_opendir(const char *path, int fill);

// Messages. By default every line goes to standard output through
// _dbg_printf. A tool may install a hook to receive them instead; problem
// is 1 for lines that report a failure or a damaged image, 0 for progress.
typedef void (*corefile_messagefn)(int problem, const char *text);
void corefile_setmessagehook(corefile_messagefn fn);

// ---------------------------------------------------------------------------
// Directory listing

struct COREFILE_ENTRY {
    char *label;    // "[name]" for a directory, the bare name for a file
    char *name;     // a directory's bare name, or a file's full image name
    int32_t size;   // file size in bytes; 0 for directories
    int32_t isdir;  // 1 for a directory (including ".."), 0 for a file
};

enum { COREFILE_MAXDIRS = 256, COREFILE_PATHLEN = 256 };

extern char *corefile_localpath;  // current directory, "/"-framed; "/" is the root
extern COREFILE_ENTRY *corefile_filelist;
extern int32_t corefile_numfiles;  // records in corefile_filelist
extern char *corefile_dirnames[COREFILE_MAXDIRS];
extern int32_t corefile_numdirs;

void corefile_chdir(const char *dir);
const char *corefile_getpath();
void corefile_adddir(const char *name);
void corefile_readdir(const char *pattern);  // e.g. "*.tga"; ".*" as extension lists all

// The system's directory enumeration with the stricter contract the engine
// relies on: a null or empty path fails with EINVAL, a null record with
// EBADF, instead of crashing. Every entry is returned, "." and ".."
// included; an entry's name is valid until the next call.
struct COREFILE_DIR;
struct COREFILE_DIRENTRY {
    const char *d_name;
};
COREFILE_DIR *corefile_diropen(const char *path);
COREFILE_DIRENTRY *corefile_dirnext(COREFILE_DIR *d);
int corefile_dirclose(COREFILE_DIR *d);
void corefile_dirrewind(COREFILE_DIR *d);

// ---------------------------------------------------------------------------
// Files on disk
//
// The program's own files outside the image (its saves, a shader, a picture
// it writes), by paths in UTF-8 with '/' between folders on every system.
// Failures print one line and return 0 (or null, or -1).

// fopen for a UTF-8 path.
FILE *corefile_fopen(const char *path, const char *mode);
// 1 for a plain file, 2 for a folder, 0 when there is neither.
int corefile_pathtype(const char *path);
// A plain file's size in bytes, or -1; the same for an open stream.
long long corefile_pathsize(const char *path);
long long corefile_streamsize(FILE *fp);
// Makes the folder and those above it (the user's own); 1 also when it is
// there already.
int corefile_makefolder(const char *path);
// 1 when the file is gone, also when there was none.
int corefile_removefile(const char *path);
// Renames from over to in one step and makes the change last.
int corefile_replacefile(const char *from, const char *to);
// Puts size bytes in place of the file at path, so that the file is always
// either the old one, whole, or the new one: they are written to a file
// beside it (path + ".tmp"), pushed to the disk, and renamed over it. Any
// failure keeps the old file and says so in one line. A folder the program
// may not create files in, or a symbolic link, is written in place.
int corefile_savefile(const char *path, const void *data, size_t size);
