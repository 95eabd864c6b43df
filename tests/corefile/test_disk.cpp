// Files on disk through the engine, as every system runs them: paths in
// UTF-8 with letters outside ASCII, a save that is always the old file or
// the new one, and a save that cannot take the old file's place.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/scratch.h"
#include "corefile/corefile.h"

namespace {

std::string Slurp(const std::string &path) {
    FILE *f = corefile_fopen(path.c_str(), "rb");
    if (!f) return "(none)";
    std::string out;
    char buffer[256];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, got);
    fclose(f);
    return out;
}

}  // namespace

TEST(Disk, FoldersAndSavesUnderANameOutsideAscii) {
    const std::string folder = ScratchFolder("qo_disk_") + "/J\xC3\xB6rg/saves \xE2\x98\x85";
    ASSERT_EQ(corefile_makefolder(folder.c_str()), 1);
    EXPECT_EQ(corefile_makefolder(folder.c_str()), 1);  // already there
    EXPECT_EQ(corefile_pathtype(folder.c_str()), 2);
    const std::string file = folder + "/highscore.dat";
    EXPECT_EQ(corefile_pathtype(file.c_str()), 0);
    ASSERT_EQ(corefile_savefile(file.c_str(), "first", 5), 1);
    ASSERT_EQ(corefile_savefile(file.c_str(), "second", 6), 1);
    EXPECT_EQ(Slurp(file), "second");
    EXPECT_EQ(corefile_pathtype(file.c_str()), 1);
    EXPECT_EQ(corefile_pathsize(file.c_str()), 6);

    // The enumeration gives the names back in UTF-8; no sibling is left.
    std::set<std::string> seen;
    COREFILE_DIR *d = corefile_diropen((folder + "/..").c_str());
    ASSERT_NE(d, nullptr);
    while (COREFILE_DIRENTRY *e = corefile_dirnext(d)) seen.insert(e->d_name);
    EXPECT_EQ(corefile_dirclose(d), 0);
    EXPECT_EQ(seen.count("saves \xE2\x98\x85"), 1u);
    EXPECT_EQ(corefile_pathtype((file + ".tmp").c_str()), 0);

    const std::string moved = folder + "/moved.dat";
    ASSERT_EQ(corefile_replacefile(file.c_str(), moved.c_str()), 1);
    EXPECT_EQ(Slurp(moved), "second");
    EXPECT_EQ(corefile_removefile(moved.c_str()), 1);
    EXPECT_EQ(corefile_removefile(moved.c_str()), 1);  // gone already
    EXPECT_EQ(corefile_pathtype(moved.c_str()), 0);
}

TEST(Disk, ASaveThatCannotBeMadeOrPutInPlaceKeepsTheOldFileWhole) {
    const std::string folder = ScratchFolder("qo_disk_");
    const std::string file = folder + "/highscore.dat";
    ASSERT_EQ(corefile_savefile(file.c_str(), "old table", 9), 1);

    // A folder where the new file would be written.
    ASSERT_EQ(corefile_makefolder((file + ".tmp").c_str()), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(corefile_savefile(file.c_str(), "new", 3), 0);
    std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Slurp(file), "old table");
    EXPECT_NE(said.find("kept as it was\n"), std::string::npos) << said;
    EXPECT_EQ(said.find("in place"), std::string::npos) << said;

    // A folder in the file's own place cannot be replaced; the sibling goes.
    const std::string blocked = folder + "/blocked.dat";
    ASSERT_EQ(corefile_makefolder((blocked + "/inside").c_str()), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(corefile_savefile(blocked.c_str(), "new", 3), 0);
    said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("cannot replace"), std::string::npos) << said;
    EXPECT_EQ(corefile_pathtype((blocked + ".tmp").c_str()), 0);
    EXPECT_EQ(corefile_pathtype((blocked + "/inside").c_str()), 2);

    // A folder that is not there.
    testing::internal::CaptureStdout();
    EXPECT_EQ(corefile_savefile((folder + "/missing/x.dat").c_str(), "new", 3), 0);
    said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("not written\n"), std::string::npos) << said;
    EXPECT_EQ(corefile_pathtype((folder + "/missing").c_str()), 0);
}
