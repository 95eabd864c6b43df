// Scratch space for tests, the same on every system the window-free tests
// run on (Linux, the browser's node, Windows under wine).
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#endif

// A new empty folder under the system's temporary folder, with '/' between
// its parts: the path the engine's calls take on every system.
inline std::string ScratchFolder(const std::string &prefix) {
    static unsigned serial = 0;
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                (prefix + std::to_string(now) + "_" + std::to_string(serial++));
    std::filesystem::create_directories(dir);
    return dir.generic_string();
}

// Makes files larger than bytes fail to grow (a full disk), where the
// system can; false where it cannot. bytes < 0 lifts the limit again.
inline bool LimitFileSize(long long bytes) {
#ifdef _WIN32
    (void)bytes;
    return false;
#else
    static struct rlimit was;
    static bool saved = false;
    if (!saved) saved = getrlimit(RLIMIT_FSIZE, &was) == 0;
    if (!saved) return false;
    struct rlimit limit = was;
    if (bytes >= 0) limit.rlim_cur = (rlim_t)bytes;
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
#endif
}
