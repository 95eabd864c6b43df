// Files on disk on Windows. The engine's paths are UTF-8; every one goes
// through the wide-character API, so a profile folder such as C:\Users\Jörg
// works whatever the system's code page. Windows takes '/' between folders
// as well as '\'. See the "Files on disk" section of corefile.h.
#include "corefile/corefile.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "corefile/corefile_internal.h"
#include "corefile/corefile_win32.h"

bool corefile_widen(const char *text, std::wstring *out) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 0) return false;
    out->assign((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &(*out)[0], n);
    out->resize((size_t)n - 1);
    return true;
}

std::string corefile_narrow(const wchar_t *text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize((size_t)n - 1);
    return out;
}

namespace {

// The system's text for an error code, in UTF-8, on one line.
std::string reason(DWORD code) {
    wchar_t *text = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, (wchar_t *)&text, 0, nullptr);
    std::string out = n && text ? corefile_narrow(text) : std::string();
    if (text) LocalFree(text);
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' '))
        out.pop_back();
    if (out.empty()) out = "error " + std::to_string((unsigned long)code);
    return out;
}

bool is_separator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

}  // namespace

FILE *corefile_fopen(const char *path, const char *mode) {
    std::wstring wpath, wmode;
    if (!path || !mode || !corefile_widen(path, &wpath) || !corefile_widen(mode, &wmode)) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(wpath.c_str(), wmode.c_str());
}

int corefile_pathtype(const char *path) {
    std::wstring wpath;
    if (!path || !corefile_widen(path, &wpath)) return 0;
    DWORD attributes = GetFileAttributesW(wpath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 2 : 1;
}

long long corefile_pathsize(const char *path) {
    std::wstring wpath;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!path || !corefile_widen(path, &wpath) ||
        !GetFileAttributesExW(wpath.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (long long)(((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow);
}

long long corefile_streamsize(FILE *fp) {
    struct _stat64 st;
    if (!fp || _fstat64(_fileno(fp), &st) != 0 || !(st.st_mode & _S_IFREG)) return -1;
    return (long long)st.st_size;
}

// Every folder on the way, after the drive ("C:") or the share
// ("\\server\share") the path starts with.
int corefile_makefolder(const char *path) {
    std::wstring wpath;
    if (!path || !*path || !corefile_widen(path, &wpath)) return 0;
    size_t start = 0;
    if (wpath.size() >= 2 && is_separator(wpath[0]) && is_separator(wpath[1])) {
        int parts = 0;
        for (start = 2; start < wpath.size() && parts < 2; start++)
            if (is_separator(wpath[start])) parts++;
    } else if (wpath.size() >= 2 && wpath[1] == L':') {
        start = 3;
    }
    for (size_t at = start; at <= wpath.size(); at++) {
        if (at < wpath.size() && !is_separator(wpath[at])) continue;
        if (at == 0 || is_separator(wpath[at - 1])) continue;
        std::wstring part = wpath.substr(0, at);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            corefile_say(1, "%s: cannot create the folder (%s)\n",
                         corefile_narrow(part.c_str()).c_str(), reason(GetLastError()).c_str());
            return 0;
        }
    }
    if (corefile_pathtype(path) == 2) return 1;
    corefile_say(1, "%s: cannot create the folder (a file is in its place)\n", path);
    return 0;
}

int corefile_removefile(const char *path) {
    std::wstring wpath;
    if (!path || !corefile_widen(path, &wpath)) return 0;
    if (DeleteFileW(wpath.c_str())) return 1;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return 1;
    corefile_say(1, "%s: cannot remove (%s)\n", path, reason(error).c_str());
    return 0;
}

namespace {

// MOVEFILE_WRITE_THROUGH returns only once the move is on the disk. A file
// just written may be held for a moment by a virus scanner or an indexer:
// a refusal for a file in use is tried again for about a tenth of a second.
bool move_over(const std::wstring &from, const std::wstring &to) {
    for (int tries = 0;; tries++) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD error = GetLastError();
        if (tries >= 5 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION))
            return false;
        Sleep(20);
    }
}

// Writes the bytes to a file opened for writing, pushes them to the disk
// and closes it; the first failure's code, or 0.
DWORD write_and_flush(HANDLE file, const void *data, size_t size) {
    DWORD error = 0;
    const char *at = (const char *)data;
    while (size > 0 && !error) {
        DWORD chunk = size > 0x40000000u ? 0x40000000u : (DWORD)size, wrote = 0;
        if (!WriteFile(file, at, chunk, &wrote, nullptr) || wrote != chunk) {
            error = GetLastError();
            if (!error) error = ERROR_WRITE_FAULT;
        }
        at += chunk;
        size -= chunk;
    }
    if (!FlushFileBuffers(file) && !error) error = GetLastError();
    if (!CloseHandle(file) && !error) error = GetLastError();
    return error;
}

int save_in_place(const char *path, const std::wstring &wpath, const void *data, size_t size) {
    HANDLE file = CreateFileW(wpath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        corefile_say(1, "%s: cannot write (%s), not saved\n", path, reason(GetLastError()).c_str());
        return 0;
    }
    if (DWORD error = write_and_flush(file, data, size)) {
        corefile_say(1, "%s: write failed (%s), not saved\n", path, reason(error).c_str());
        return 0;
    }
    return 1;
}

}  // namespace

int corefile_replacefile(const char *from, const char *to) {
    std::wstring wfrom, wto;
    if (!from || !to || !corefile_widen(from, &wfrom) || !corefile_widen(to, &wto)) return 0;
    if (!move_over(wfrom, wto)) {
        corefile_say(1, "%s: cannot replace (%s)\n", to, reason(GetLastError()).c_str());
        return 0;
    }
    return 1;
}

int corefile_savefile(const char *path, const void *data, size_t size) {
    std::wstring wpath;
    if (!path || (!data && size)) return 0;
    if (!corefile_widen(path, &wpath)) {
        corefile_say(1, "%s: not a UTF-8 path, not saved\n", path);
        return 0;
    }
    DWORD attributes = GetFileAttributesW(wpath.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    // A move would put a plain file in the link's place.
    if (existed && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        corefile_say(0, "%s: a symbolic link, writing in place through it\n", path);
        return save_in_place(path, wpath, data, size);
    }
    const char *outcome = existed ? "kept as it was" : "not written";
    const std::string temp = std::string(path) + ".tmp";
    const std::wstring wtemp = wpath + L".tmp";
    HANDLE file = CreateFileW(wtemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // Only a folder we may not create files in is written in place: a
        // full disk or a folder in the way would hit the file itself too.
        DWORD error = GetLastError();
        // (A folder in the sibling's place is refused as access denied too.)
        if (error != ERROR_ACCESS_DENIED || !existed || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            corefile_pathtype(temp.c_str()) == 2) {
            corefile_say(1, "%s: cannot create (%s), %s %s\n", temp.c_str(), reason(error).c_str(),
                         path, outcome);
            return 0;
        }
        corefile_say(0, "%s: cannot create (%s), writing %s in place\n", temp.c_str(),
                     reason(error).c_str(), path);
        return save_in_place(path, wpath, data, size);
    }
    // The data is on the disk before the name points to it.
    if (DWORD error = write_and_flush(file, data, size)) {
        corefile_say(1, "%s: write failed (%s), %s %s\n", temp.c_str(), reason(error).c_str(), path,
                     outcome);
        DeleteFileW(wtemp.c_str());
        return 0;
    }
    if (!move_over(wtemp, wpath)) {
        corefile_say(1, "%s: cannot replace (%s), %s\n", path, reason(GetLastError()).c_str(),
                     outcome);
        DeleteFileW(wtemp.c_str());
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Directory enumeration, over the system's find-first and find-next

struct COREFILE_DIR {
    HANDLE find;
    WIN32_FIND_DATAW data;
    bool pending;  // data holds a match not handed out yet
    std::wstring pattern;
    std::string name;
    COREFILE_DIRENTRY entry;
};

namespace {

bool start_search(COREFILE_DIR *d) {
    d->find = FindFirstFileW(d->pattern.c_str(), &d->data);
    d->pending = d->find != INVALID_HANDLE_VALUE;
    d->entry.d_name = nullptr;
    return d->pending;
}

}  // namespace

COREFILE_DIR *corefile_diropen(const char *path) {
    std::wstring wpath;
    if (!path || !*path || !corefile_widen(path, &wpath)) {
        errno = EINVAL;
        return nullptr;
    }
    COREFILE_DIR *d = new (std::nothrow) COREFILE_DIR();
    if (!d) {
        errno = ENOMEM;
        return nullptr;
    }
    d->pattern = wpath + (is_separator(wpath.back()) ? L"*" : L"/*");
    if (!start_search(d)) {
        delete d;
        errno = ENOENT;
        return nullptr;
    }
    return d;
}

COREFILE_DIRENTRY *corefile_dirnext(COREFILE_DIR *d) {
    if (!d || d->find == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return nullptr;
    }
    if (!d->pending && !FindNextFileW(d->find, &d->data)) return nullptr;
    d->pending = false;
    d->name = corefile_narrow(d->data.cFileName);
    d->entry.d_name = d->name.c_str();
    return &d->entry;
}

int corefile_dirclose(COREFILE_DIR *d) {
    if (!d) {
        errno = EBADF;
        return -1;
    }
    bool closed = d->find == INVALID_HANDLE_VALUE || FindClose(d->find);
    delete d;
    if (closed) return 0;
    errno = EBADF;
    return -1;
}

void corefile_dirrewind(COREFILE_DIR *d) {
    if (!d) return;
    if (d->find != INVALID_HANDLE_VALUE) FindClose(d->find);
    start_search(d);
}
