// Where the program finds its resource image and keeps its saves: the
// working directory first, then beside the executable, then share/games.
#include <gtest/gtest.h>

#include "cgl/paths.h"
#include "cgl/desktop.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

TEST(GamePaths, ImageFromWorkingDirBesideExeOrDataDirAndSavesInUserDataFolder) {
    const fs::path root =
        fs::canonical(fs::temp_directory_path()) / ("qo_paths_" + std::to_string(getpid()));
    fs::create_directories(root / "p/games");
    fs::create_directories(root / "p/share/games/demo");
    fs::create_directories(root / "cwd");
    const fs::path old_cwd = fs::current_path();
    fs::current_path(root / "cwd");
    setenv("XDG_DATA_HOME", (root / "xdg").c_str(), 1);
    const std::string exedir = (root / "p/games/").string();
    auto touch = [](const fs::path &p) { std::ofstream(p) << "CORE"; };
    char path[1024], folder[1024];

    touch(root / "p/share/games/demo/demo.dat");
    EXPECT_EQ(sdl_findimage("demo.dat", exedir.c_str(), path, sizeof path), 1);
    EXPECT_EQ(std::string(path), (root / "p/share/games/demo/demo.dat").string());

    touch(root / "p/games/demo.dat");
    sdl_findimage("demo.dat", exedir.c_str(), path, sizeof path);
    EXPECT_EQ(std::string(path), exedir + "demo.dat");

    touch(root / "cwd/demo.dat");  // the portable layout: as named
    EXPECT_EQ(sdl_findimage("demo.dat", exedir.c_str(), path, sizeof path), 2);
    EXPECT_STREQ(path, "demo.dat");
    EXPECT_EQ(sdl_findimage("/abs/demo.dat", exedir.c_str(), path, sizeof path), 1);
    EXPECT_STREQ(path, "/abs/demo.dat");
    EXPECT_EQ(fs::current_path(), root / "cwd");

    fs::remove(root / "cwd/demo.dat");
    fs::remove(root / "p/games/demo.dat");
    fs::remove(root / "p/share/games/demo/demo.dat");
    EXPECT_EQ(sdl_findimage("demo.dat", exedir.c_str(), path, sizeof path), 0);

    EXPECT_EQ(sdl_userdatafolder("demo", folder, sizeof folder), 1);
    EXPECT_EQ(std::string(folder), (root / "xdg/demo/").string());
    EXPECT_TRUE(fs::is_directory(root / "xdg/demo"));
    // A relative XDG_DATA_HOME is ignored.
    setenv("XDG_DATA_HOME", "relative", 1);
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", (root / "home").c_str(), 1);
    EXPECT_EQ(sdl_userdatafolder("demo", folder, sizeof folder), 1);
    EXPECT_EQ(std::string(folder), (root / "home/.local/share/demo/").string());

    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    fs::current_path(old_cwd);
    fs::remove_all(root);
}
