// Directory listing inside the image, the current directory, and the
// directory enumeration's contract.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

#include "corefile/corefile.h"
#include "tests/corefile/core_image.h"
#include "tests/corefile/corefile_fixture.h"

namespace {

struct Record {
    std::string label, name;
    int size, isdir;
    bool operator==(const Record &o) const {
        return label == o.label && name == o.name && size == o.size && isdir == o.isdir;
    }
};

std::ostream &operator<<(std::ostream &os, const Record &r) {
    return os << "{" << r.label << ", " << r.name << ", " << r.size << ", " << r.isdir << "}";
}

std::vector<Record> listing() {
    std::vector<Record> out;
    for (int i = 0; i < corefile_numfiles; i++) {
        const COREFILE_ENTRY &e = corefile_filelist[i];
        out.push_back({e.label, e.name, e.size, e.isdir});
    }
    return out;
}

}  // namespace

class DirentTest : public CorefileTest {
protected:
    void mount(const std::vector<coreimage::File> &files) {
        image_ = coreimage::build(files);
        ASSERT_EQ(corefile_mountmemory(image_.data(), image_.size()), 1);
    }
    coreimage::Bytes image_;
};

TEST_F(DirentTest, Chdir_UpFromTheRootStaysAndIntoAndOutOfSubdirectories) {
    mount({{"gfx/a.tga", "A"}});
    EXPECT_STREQ(corefile_getpath(), "/");
    corefile_chdir("..");
    EXPECT_STREQ(corefile_getpath(), "/");
    EXPECT_TRUE(said("localpath = /\n"));

    corefile_chdir("gfx");
    EXPECT_STREQ(corefile_getpath(), "/gfx/");
    EXPECT_TRUE(said("localpath = /gfx/\n"));
    corefile_chdir("deep");
    EXPECT_STREQ(corefile_getpath(), "/gfx/deep/");
    corefile_chdir("..");
    EXPECT_STREQ(corefile_getpath(), "/gfx/");
    corefile_chdir("..");
    EXPECT_STREQ(corefile_getpath(), "/");

    g_messages.clear();
    corefile_chdir(".");
    EXPECT_STREQ(corefile_getpath(), "/");
    EXPECT_TRUE(g_messages.empty());

    corefile_chdir("/snd");
    EXPECT_STREQ(corefile_getpath(), "/snd/");
    corefile_chdir("\\win\\x");
    EXPECT_STREQ(corefile_getpath(), "\\win\\x/");
    corefile_chdir("..");
    EXPECT_STREQ(corefile_getpath(), "\\win/");

    // The path holds 255 characters; a change that would not fit is refused.
    corefile_chdir("/");
    corefile_chdir(std::string(250, 'd').c_str());
    EXPECT_EQ(strlen(corefile_getpath()), 252u);
    corefile_chdir("toolong");
    EXPECT_EQ(strlen(corefile_getpath()), 252u);
    corefile_chdir(("/" + std::string(300, 'e')).c_str());
    EXPECT_EQ(strlen(corefile_getpath()), 252u);
    EXPECT_NE(problems().find("path too long"), std::string::npos);
}

TEST_F(DirentTest, Readdir_RootShowsDirectoriesThenMatchingFiles) {
    mount({{"gfx/a.tga", "AAAA"}, {"gfx/b.tga", "BB"}, {"c.tga", "CCC"}, {"d.wav", "DDDDD"}});
    corefile_readdir("*.tga");
    EXPECT_TRUE(said("extension = .tga, length: 4\n"));
    EXPECT_TRUE(said("dir is root\n"));
    EXPECT_TRUE(said("- ReadDIR completed!\n"));
    EXPECT_EQ(listing(), (std::vector<Record>{{"[gfx]", "gfx", 0, 1}, {"c.tga", "c.tga", 3, 0}}));

    corefile_readdir("*.*");
    EXPECT_EQ(listing(),
              (std::vector<Record>{
                  {"[gfx]", "gfx", 0, 1}, {"c.tga", "c.tga", 3, 0}, {"d.wav", "d.wav", 5, 0}}));

    // Extensions compare byte for byte.
    corefile_readdir("*.TGA");
    EXPECT_EQ(listing(), (std::vector<Record>{{"[gfx]", "gfx", 0, 1}}));
}

TEST_F(DirentTest, Readdir_BelowTheRootStartsWithUp) {
    mount({{"gfx/a.tga", "AAAA"}, {"gfx/b.tga", "BB"}, {"c.tga", "CCC"}, {"gfx/x/y.tga", "Y"}});
    corefile_chdir("gfx");
    g_messages.clear();
    corefile_readdir("*.tga");
    EXPECT_FALSE(said("dir is root\n"));
    EXPECT_EQ(listing(), (std::vector<Record>{{"[..]", "..", 0, 1},
                                              {"[x]", "x", 0, 1},
                                              {"a.tga", "gfx/a.tga", 4, 0},
                                              {"b.tga", "gfx/b.tga", 2, 0}}));
    corefile_chdir("x");
    corefile_readdir("*.tga");
    EXPECT_EQ(listing(),
              (std::vector<Record>{{"[..]", "..", 0, 1}, {"y.tga", "gfx/x/y.tga", 1, 0}}));
}

TEST_F(DirentTest, Readdir_DirectoriesInOrderOfFirstAppearanceEachOnce) {
    mount({{"z/1", "1"}, {"a/1", "1"}, {"z/2", "2"}, {"m\\n/3", "3"}, {"top", "t"}});
    corefile_readdir("*.*");
    EXPECT_EQ(
        listing(),
        (std::vector<Record>{
            {"[z]", "z", 0, 1}, {"[a]", "a", 0, 1}, {"[m]", "m", 0, 1}, {"top", "top", 1, 0}}));
    // A pattern without a dot lists every file.
    corefile_readdir("*");
    EXPECT_TRUE(said("extension = , length: 0\n"));
    EXPECT_EQ(listing().back(), (Record{"top", "top", 1, 0}));
}

TEST_F(DirentTest, Readdir_ListingHasRoomForUpAndManyDirectories) {
    // One file but two records below the root; 300 directories of one file
    // each at the root, of which the first 256 are kept.
    mount({{"gfx/a.tga", "A"}});
    corefile_chdir("gfx");
    corefile_readdir("*.tga");
    EXPECT_EQ(corefile_numfiles, 2);
    corefile_closeimage();

    std::vector<coreimage::File> files;
    for (int i = 0; i < 300; i++) files.push_back({"d" + std::to_string(i) + "/f", "x"});
    files.push_back({"root.tga", "r"});
    mount(files);
    corefile_readdir("*.tga");
    EXPECT_EQ(corefile_numfiles, COREFILE_MAXDIRS + 1);
    EXPECT_EQ(listing().back(), (Record{"root.tga", "root.tga", 1, 0}));
    // Listing again frees and rebuilds.
    corefile_readdir("*.tga");
    EXPECT_EQ(corefile_numfiles, COREFILE_MAXDIRS + 1);
}

TEST_F(DirentTest, Adddir_IgnoresDuplicatesAndStopsAtItsCapacity) {
    mount({});
    corefile_adddir("a");
    corefile_adddir("a");
    corefile_adddir("b");
    EXPECT_EQ(corefile_numdirs, 2);
    for (int i = 0; i < 400; i++) corefile_adddir(("n" + std::to_string(i)).c_str());
    EXPECT_EQ(corefile_numdirs, COREFILE_MAXDIRS);
    EXPECT_STREQ(corefile_dirnames[1], "b");
}

TEST_F(DirentTest, Readdir_DirectoryMountShowsRealSizes) {
    write_file("root/gfx/a.tga", std::string(1234, 'a'));
    write_file("root/c.tga", std::string(77, 'c'));
    ASSERT_EQ(corefile_mountimage(path("root").c_str(), 2), 1);
    corefile_readdir("*.tga");
    EXPECT_EQ(listing(), (std::vector<Record>{{"[gfx]", "gfx", 0, 1}, {"c.tga", "c.tga", 77, 0}}));
    corefile_chdir("gfx");
    corefile_readdir("*.tga");
    EXPECT_EQ(listing(),
              (std::vector<Record>{{"[..]", "..", 0, 1}, {"a.tga", "gfx/a.tga", 1234, 0}}));
}

TEST_F(DirentTest, Listing_BeforeAnyMountDoesNothing) {
    corefile_chdir("gfx");
    corefile_readdir("*.*");
    EXPECT_EQ(corefile_getpath(), nullptr);
    EXPECT_EQ(corefile_numfiles, 0);
}

TEST_F(DirentTest, Enumeration_RejectsBadArgumentsAndReturnsEveryEntry) {
    errno = 0;
    EXPECT_EQ(corefile_diropen(nullptr), nullptr);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(corefile_diropen(""), nullptr);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(corefile_dirnext(nullptr), nullptr);
    EXPECT_EQ(errno, EBADF);
    errno = 0;
    EXPECT_EQ(corefile_dirclose(nullptr), -1);
    EXPECT_EQ(errno, EBADF);
    corefile_dirrewind(nullptr);
    EXPECT_EQ(corefile_diropen(path("absent").c_str()), nullptr);

    write_file("e/one", std::string("1"));
    write_file("e/two", std::string("2"));
    COREFILE_DIR *d = corefile_diropen((path("e") + "/").c_str());
    ASSERT_NE(d, nullptr);
    std::set<std::string> seen;
    while (COREFILE_DIRENTRY *e = corefile_dirnext(d)) seen.insert(e->d_name);
    EXPECT_EQ(seen, (std::set<std::string>{".", "..", "one", "two"}));
    corefile_dirrewind(d);
    int again = 0;
    while (corefile_dirnext(d)) again++;
    EXPECT_EQ(again, 4);
    EXPECT_EQ(corefile_dirclose(d), 0);
}
