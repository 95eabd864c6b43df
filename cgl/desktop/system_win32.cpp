// What the Windows desktop does its own way: the millisecond clock, the
// console's Ctrl+C and close and the session's end as stop requests,
// unhandled exceptions, the executable's and %APPDATA%'s folders through
// the wide-character API, and the program's output: to the console it was
// started from (cmd, PowerShell) and to a log file in the save folder.
#include "cgl/desktop.h"
#include "corefile/corefile_win32.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string narrow(const wchar_t *text) {
    return corefile_narrow(text);
}

std::wstring widen(const std::string &text) {
    std::wstring out;
    corefile_widen(text.c_str(), &out);
    return out;
}

}  // namespace

// The multimedia timer's count, good to the millisecond once the process
// has asked for that resolution (sys_startprocess). GetTickCount64 moves in
// steps of the system timer, 10 to 16 ms, whatever resolution was asked
// for: a frame timer waiting 15 ms on it waits 16 or more, as under wine.
uint32_t sys_ticks() {
    return timeGetTime();
}

// ---------------------------------------------------------------------------
// Output
//
// A GUI program has no console, and its standard output goes nowhere when
// it is double-clicked. So the output goes through a pipe that a thread of
// ours empties into two places: the console or file the program was started
// with (the console of cmd or PowerShell, attached to), and the log file in
// the save folder, whose lines are kept in memory until the folder is known.

namespace {

HANDLE g_console = INVALID_HANDLE_VALUE;  // where the lines go besides the log
HANDLE g_pipe_read = nullptr;
std::mutex g_log_lock;
HANDLE g_log = INVALID_HANDLE_VALUE;
std::string g_early;  // lines before the log file is open
constexpr size_t kMaxEarly = 256 * 1024;
std::atomic<bool> g_output_started{false};
std::atomic<bool> g_output_ended{false};
int g_write_fd = -1;              // the pipe's write end, besides 1 and 2
HANDLE g_drain_thread = nullptr;  // the thread that empties the pipe

void pass_on(const char *data, DWORD size) {
    DWORD wrote;
    if (g_console != INVALID_HANDLE_VALUE && g_console)
        WriteFile(g_console, data, size, &wrote, nullptr);
    std::lock_guard<std::mutex> lock(g_log_lock);
    if (g_log != INVALID_HANDLE_VALUE)
        WriteFile(g_log, data, size, &wrote, nullptr);
    else if (g_early.size() + size <= kMaxEarly)
        g_early.append(data, size);
}

DWORD WINAPI drain(void *) {
    char buffer[4096];
    DWORD got;
    while (ReadFile(g_pipe_read, buffer, sizeof buffer, &got, nullptr) && got > 0)
        pass_on(buffer, got);
    return 0;
}

// At the end of the process: every write end of the pipe is closed, so
// that the thread reads what is left, comes to the pipe's end and stops;
// it is waited for, a few seconds at most. Later lines go nowhere.
void flush_output() {
    if (!g_output_started.load(std::memory_order_acquire) ||
        g_output_ended.exchange(true, std::memory_order_acq_rel))
        return;
    fflush(stdout);
    fflush(stderr);
    _close(1);
    _close(2);
    _close(g_write_fd);
    WaitForSingleObject(g_drain_thread, 3000);
}

// Where the caller sent the output (a file, a pipe, the console handed
// down by the console launcher), else the console the program was started
// from. Attached to that console, the program also gets its Ctrl+C.
// The handle is a copy: the C library closes the one behind its standard
// output when the pipe takes that place.
HANDLE find_console() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), copy;
    bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != 0;
    if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN &&
        DuplicateHandle(GetCurrentProcess(), out, GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS))
        return copy;
    if (!attached) return INVALID_HANDLE_VALUE;
    return CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE | FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

}  // namespace

void sys_startoutput() {
    if (g_output_started.load(std::memory_order_acquire)) return;
    g_console = find_console();
    HANDLE write_end;
    if (!CreatePipe(&g_pipe_read, &write_end, nullptr, 0)) return;
    // The reader first: a pipe nobody empties would stop every writer.
    g_drain_thread = CreateThread(nullptr, 0, drain, nullptr, 0, nullptr);
    int fd = g_drain_thread ? _open_osfhandle((intptr_t)write_end, _O_WRONLY | _O_BINARY) : -1;
    if (fd < 0 || _dup2(fd, 1) != 0 || _dup2(fd, 2) != 0) return;
    g_write_fd = fd;
    SetStdHandle(STD_OUTPUT_HANDLE, write_end);
    SetStdHandle(STD_ERROR_HANDLE, write_end);
    // The C library buffers a stream fully on Windows even when asked to
    // buffer lines: unbuffered, every line is in the pipe once written.
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    g_output_started.store(true, std::memory_order_release);
    atexit(flush_output);
}

void sys_savefolderknown(const char *folder, const char *name) {
    if (!g_output_started.load(std::memory_order_acquire) || !name || !*name) return;
    std::lock_guard<std::mutex> lock(g_log_lock);
    if (g_log != INVALID_HANDLE_VALUE) return;
    // The last run's lines: the file starts afresh each time.
    std::wstring path = widen(std::string(folder ? folder : "") + name + ".log");
    g_log = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE) return;
    DWORD wrote;
    WriteFile(g_log, g_early.data(), (DWORD)g_early.size(), &wrote, nullptr);
    g_early.clear();
    g_early.shrink_to_fit();
}

// Kept for the life of the process, as a main's arguments are.
void sys_arguments(int *argc, char ***argv) {
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return;
    static std::vector<std::string> texts;
    static std::vector<char *> pointers;
    for (int i = 0; i < count; i++) texts.push_back(narrow(wide[i]));
    LocalFree(wide);
    for (std::string &text : texts) pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
    *argc = count;
    *argv = pointers.data();
}

// TerminateProcess rather than ExitProcess: the other threads stop where
// they are, and no library's detach code runs after them in a state nobody
// knows.
void sys_exitnow(int code) {
    flush_output();
    TerminateProcess(GetCurrentProcess(), (UINT)code);
    _exit(code);
}

// ---------------------------------------------------------------------------
// Stops and crashes

namespace {

std::atomic<bool> g_stop{false};
void (*g_restore)() = nullptr;
void (*g_endsession)() = nullptr;

// A console's Ctrl+C, Ctrl+Break and close, and the session's end for a
// program with a console. The process is ended when a close's handler
// returns, so that one waits, for the few seconds the system allows, until
// the main thread has ended the process the ordinary way.
BOOL WINAPI on_console(DWORD event) {
    g_stop.store(true, std::memory_order_release);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(4500);
    return TRUE;
}

// A window's program learns of the session's end from its messages: the
// process may be ended as soon as WM_ENDSESSION has been answered, so the
// close is carried out before the answer. The system sends that message
// straight to the window procedure, past the queue (where SDL's message
// hook looks): a hook on the messages sent to the main thread's windows
// sees it first.
LRESULT CALLBACK on_sent(int code, WPARAM wparam, LPARAM lparam) {
    const CWPSTRUCT *sent = (const CWPSTRUCT *)lparam;
    if (code == HC_ACTION && sent->message == WM_ENDSESSION && sent->wParam && g_endsession)
        g_endsession();
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

LONG WINAPI on_exception(EXCEPTION_POINTERS *) {
    if (g_restore) g_restore();
    flush_output();
    return EXCEPTION_CONTINUE_SEARCH;
}

void on_abort(int) {
    if (g_restore) g_restore();
    flush_output();
    _exit(3);
}

}  // namespace

void sys_startprocess(void (*endsession)()) {
    g_endsession = endsession;
    // Sleeps and the frame timer are good to a millisecond, not to the
    // system's default 15.6.
    timeBeginPeriod(1);
    SetConsoleCtrlHandler(on_console, TRUE);
    SetWindowsHookExW(WH_CALLWNDPROC, on_sent, nullptr, GetCurrentThreadId());
}

// Room on the stack for the handler after an overflow.
void sys_startthread() {
    ULONG guarantee = 64 * 1024;
    SetThreadStackGuarantee(&guarantee);
}

bool sys_stoprequested() {
    return g_stop.load(std::memory_order_acquire);
}

void sys_oncrash(void (*restore)()) {
    g_restore = restore;
    SetUnhandledExceptionFilter(on_exception);
    signal(SIGABRT, on_abort);
}

// ---------------------------------------------------------------------------
// Folders

std::string sys_executable() {
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &path[0], (DWORD)path.size());
    if (n == 0 || n >= path.size()) return std::string();
    path.resize(n);
    return narrow(path.c_str());
}

std::string sys_fullfolder(const std::string &folder) {
    std::wstring wide = widen(folder);
    if (wide.empty()) return folder;
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return folder;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return folder;
    full.resize(n);
    std::string out = narrow(full.c_str());
    if (out.empty() || (out.back() != '\\' && out.back() != '/')) out += '\\';
    return out;
}

std::string sys_workingdir() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return "?";
    std::wstring cwd(n, L'\0');
    n = GetCurrentDirectoryW(n, &cwd[0]);
    cwd.resize(n);
    return narrow(cwd.c_str());
}

// The roaming application data folder, %APPDATA%.
std::string sys_userdatabase() {
    wchar_t *path = nullptr;
    std::string out;
    if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &path) == S_OK)
        out = narrow(path);
    CoTaskMemFree(path);
    if (out.empty()) {
        std::printf("no application data folder: saves stay in the working directory\n");
        return out;
    }
    return out + "\\";
}

bool sys_portable() {
    return false;
}
