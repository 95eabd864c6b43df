// The console launcher of a Windows program: NAME.com beside NAME.exe.
//
// A program built as a window program (no console window when it is
// double-clicked) is not waited for by cmd or PowerShell: its lines arrive
// after the prompt and its exit status is lost. Typed as NAME, the shell
// finds NAME.com first; this runs NAME.exe with the same arguments and the
// same standard handles, waits for it, and returns its exit status, so that
// a command such as "NAME --verify FILE" prints where it was typed and its
// status reaches the shell. Ctrl+C goes to the program, which ends itself.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>

// The command line after the program's own name, as CommandLineToArgvW
// reads a first argument: up to the closing quote, or to the first blank.
static const wchar_t *arguments(const wchar_t *line) {
    if (*line == L'"') {
        line++;
        while (*line && *line != L'"') line++;
        if (*line) line++;
    } else {
        while (*line && *line != L' ' && *line != L'\t') line++;
    }
    return line;
}

static wchar_t g_exe[32768];
static wchar_t g_command[32768 + 32770];

int main() {
    DWORD n = GetModuleFileNameW(nullptr, g_exe, 32768);
    if (n < 4 || n >= 32768) return 2;
    wcscpy(g_exe + n - 4, L".exe");
    const wchar_t *rest = arguments(GetCommandLineW());
    if (wcslen(rest) > 32767) return 2;
    swprintf(g_command, sizeof g_command / sizeof g_command[0], L"\"%ls\"%ls", g_exe, rest);

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(g_exe, g_command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        DWORD wrote;
        const char text[] = "could not start the program beside this launcher\r\n";
        WriteFile(startup.hStdError, text, sizeof text - 1, &wrote, nullptr);
        return 2;
    }
    // The console's Ctrl+C is the program's to answer.
    SetConsoleCtrlHandler(nullptr, TRUE);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 2;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)status;
}
