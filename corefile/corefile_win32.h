// UTF-8 and Windows' UTF-16, for the engine's files that speak to Windows
// (disk_win32.cpp, cgl/desktop/system_win32.cpp); not part of the engine's
// interface.
#pragma once

#include <string>

// false for bytes that are not UTF-8.
bool corefile_widen(const char *text, std::wstring *out);
std::string corefile_narrow(const wchar_t *text);
