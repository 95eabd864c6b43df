// Where the program finds its resource image and keeps its saves: the
// working directory first, then beside the executable, then share/games.
#include <gtest/gtest.h>

#include "cgl/paths.h"

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
    s_gamepaths paths;

    touch(root / "p/share/games/demo/demo.dat");
    EXPECT_EQ(sdl_findgamepaths("demo", exedir.c_str(), &paths), 1);
    EXPECT_EQ(std::string(paths.imagedir), (root / "p/share/games/demo/").string());
    EXPECT_EQ(std::string(paths.savedir), (root / "xdg/demo/").string());
    EXPECT_TRUE(fs::is_directory(root / "xdg/demo"));

    touch(root / "p/games/demo.dat");
    sdl_findgamepaths("demo", exedir.c_str(), &paths);
    EXPECT_EQ(std::string(paths.imagedir), exedir);

    touch(root / "cwd/demo.dat");  // the portable layout changes nothing
    EXPECT_EQ(sdl_findgamepaths("demo", exedir.c_str(), &paths), 1);
    EXPECT_STREQ(paths.imagedir, "");
    EXPECT_STREQ(paths.savedir, "");

    // Nowhere: still a save folder; a relative XDG_DATA_HOME is ignored.
    fs::remove(root / "cwd/demo.dat");
    fs::remove(root / "p/games/demo.dat");
    fs::remove(root / "p/share/games/demo/demo.dat");
    setenv("XDG_DATA_HOME", "relative", 1);
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", (root / "home").c_str(), 1);
    EXPECT_EQ(sdl_findgamepaths("demo", exedir.c_str(), &paths), 0);
    EXPECT_STREQ(paths.imagedir, "");
    EXPECT_EQ(std::string(paths.savedir), (root / "home/.local/share/demo/").string());

    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    fs::current_path(old_cwd);
    fs::remove_all(root);
}
