// What another program may do to a save file while the game runs.
//
//   holdfile PATH              opens PATH for reading, sharing reading and
//                              writing but not deletion (as an editor or a
//                              backup tool may), prints "held" and keeps it
//                              open until its standard input ends
//   holdfile --read-only PATH  gives PATH the read-only attribute
//
// PATH may hold environment variables (%APPDATA%\...), expanded here, so
// that a command line in ASCII names a folder that is not.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <cwchar>

int main() {
    int argc;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int read_only = argc == 3 && wcscmp(argv[1], L"--read-only") == 0;
    if (argc != 2 && !read_only) {
        fputs("usage: holdfile [--read-only] PATH\n", stderr);
        return 2;
    }
    static wchar_t path[32768];
    if (!ExpandEnvironmentStringsW(argv[argc - 1], path, 32768)) return 2;
    if (read_only) {
        DWORD attributes = GetFileAttributesW(path);
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            !SetFileAttributesW(path, attributes | FILE_ATTRIBUTE_READONLY)) {
            printf("cannot make it read-only: error %lu\n", GetLastError());
            return 1;
        }
        printf("read-only\n");
        return 0;
    }
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        printf("cannot open: error %lu\n", GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    char c;
    DWORD got;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got) {
    }
    CloseHandle(file);
    return 0;
}
