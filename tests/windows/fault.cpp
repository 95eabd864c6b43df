// Makes a running program fault as a crash inside it would, without
// changing it: a thread started in it at an address that holds no code
// raises an access violation there that nobody handles.
//
//   fault NAME.exe   the first process of that name; prints "fault started"
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <tlhelp32.h>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fputs("usage: fault NAME.exe\n", stderr);
        return 2;
    }
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    DWORD pid = 0;
    for (BOOL more = Process32First(all, &entry); more && !pid; more = Process32Next(all, &entry))
        if (_stricmp(entry.szExeFile, argv[1]) == 0) pid = entry.th32ProcessID;
    CloseHandle(all);
    HANDLE process = pid ? OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid) : nullptr;
    HANDLE thread = process ? CreateRemoteThread(process, nullptr, 0, (LPTHREAD_START_ROUTINE)16,
                                                 nullptr, 0, nullptr)
                            : nullptr;
    if (!thread) {
        std::printf("no fault started in %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    std::printf("fault started\n");
    return 0;
}
