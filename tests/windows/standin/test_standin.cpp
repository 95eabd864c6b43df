// The cross-built test path: a GoogleTest program run by CTest under wine.
// What it checks is what the game's saves rest on: the user's folder from
// SDL, in UTF-8 also for a user name outside ASCII, written and read back
// through the wide-character API.
#define SDL_MAIN_HANDLED  // main is GoogleTest's
#include <SDL.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring Wide(const std::string &utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
    return out;
}

}  // namespace

TEST(Standin, PrefPathIsTheUsersAppDataInUtf8AndWritable) {
    char *pref = SDL_GetPrefPath("", "qostarfold");
    ASSERT_NE(pref, nullptr) << SDL_GetError();
    const std::string path = pref;
    SDL_free(pref);
    std::printf("SDL_GetPrefPath: %s\n", path.c_str());

    wchar_t appdata[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableW(L"APPDATA", appdata, MAX_PATH), 0u);
    EXPECT_EQ(Wide(path), std::wstring(appdata) + L"\\qostarfold\\");

    const std::wstring file = Wide(path) + L"standin.txt";
    FILE *f = _wfopen(file.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    std::fputs("saved", f);
    std::fclose(f);
    char back[8] = {};
    f = _wfopen(file.c_str(), L"rb");
    ASSERT_NE(f, nullptr);
    std::fread(back, 1, sizeof back - 1, f);
    std::fclose(f);
    EXPECT_STREQ(back, "saved");
    EXPECT_TRUE(DeleteFileW(file.c_str()));
}
