// The resource archive: hashing, lookups, sizes, positioning and reading
// on every mount type, and the refusal of damaged images.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <functional>

#include "core/core.h"
#include "corefile/corefile.h"
#include "tests/corefile/core_image.h"
#include "tests/corefile/corefile_fixture.h"

using coreimage::Bytes;
using coreimage::File;

namespace {

// Runs a check once on a memory mount and once on a file mount of the
// same image, since both must behave alike.
void on_both_mounts(CorefileTest *t, const Bytes &image, const std::string &file,
                    const std::function<void(const char *)> &check) {
    ASSERT_EQ(corefile_mountmemory(image.data(), image.size()), 1);
    EXPECT_EQ(corefile_mounttype, COREFILE_MOUNT_MEMORY);
    check("memory");
    corefile_closeimage();
    (void)t;
    ASSERT_EQ(corefile_mountimage(file.c_str(), 0), 1);
    EXPECT_EQ(corefile_mounttype, COREFILE_MOUNT_FILE);
    check("file");
    corefile_closeimage();
}

}  // namespace

TEST(CorefileHash, SumsSignedBytesAndLowersOnlyAsciiCapitals) {
    EXPECT_EQ(corefile_gethash("abc"), 294);
    EXPECT_EQ(corefile_gethash(""), 0);
    EXPECT_EQ(corefile_gethash("\xE9"), -23);
    EXPECT_EQ(corefile_gethash("a\xE9"), 97 - 23);
    EXPECT_EQ(corefile_gethash("\x80\x80"), -256);
    EXPECT_EQ(corefile_gethash("ab"), corefile_gethash("ba"));

    char out[10] = {};
    file_downcase(out, "ShIp.TGA\xC9Z", 10);
    EXPECT_EQ(std::string(out, 10), "ship.tga\xC9z");

    const unsigned char bytes[4] = {0x01, 0x02, 0x03, 0x80};
    EXPECT_EQ(getint(bytes), 0x80030201u);
}

TEST_F(CorefileTest, Open_FindsNamesInAnyCaseAndTellsEqualHashesApart) {
    Bytes image = coreimage::build(coreimage::sample());
    write_file("img.dat", image);
    on_both_mounts(this, image, path("img.dat"), [&](const char *mount) {
        SCOPED_TRACE(mount);
        COREFILE f = {};
        ASSERT_EQ(corefile_open("SHIP.TGA", &f, 0), 1);
        EXPECT_EQ(f.index, 0);
        EXPECT_EQ(f.hash, corefile_gethash("ship.tga"));
        EXPECT_EQ(corefile_fsize(&f), 8);
        EXPECT_EQ(read(&f, 8), "SHIPDATA");
        corefile_close(&f);
        EXPECT_EQ(f.handle, nullptr);
        EXPECT_EQ(f.pos, 0);

        ASSERT_EQ(corefile_open("ba", &f, 0), 1);
        EXPECT_EQ(f.index, 2);
        EXPECT_EQ(read(&f, 4), "5678");
        ASSERT_EQ(corefile_open("Ab", &f, 0), 1);
        EXPECT_EQ(f.index, 1);
        EXPECT_EQ(read(&f, 4), "1234");

        g_messages.clear();
        EXPECT_EQ(corefile_open("Missing.TGA", &f, 0), 0);
        EXPECT_TRUE(said("couldn't find file: missing.tga\n"));
    });
}

TEST_F(CorefileTest, Open_MemoryHandlePointsAtTheFileBytes) {
    Bytes image = coreimage::build(coreimage::sample());
    ASSERT_EQ(corefile_mountmemory(image.data(), image.size()), 1);
    COREFILE f = {};
    ASSERT_EQ(corefile_open("pickup.wav", &f, 0), 1);
    EXPECT_EQ(f.handle, image.data() + f.pos);
    EXPECT_EQ(memcmp(f.handle, "RIFF0000", 8), 0);
    EXPECT_TRUE(said("found file at offset: " + std::to_string(f.pos) + "\n"));
}

TEST_F(CorefileTest, Open_StoredNameMustMatchWholly) {
    // "ab\x01\xff" has the hash of "ab" and begins with it, yet is another name.
    Bytes image = coreimage::build({{"ab\x01\xff", "X"}, {"ab", "Y"}});
    ASSERT_EQ(corefile_mountmemory(image.data(), image.size()), 1);
    COREFILE f = {};
    ASSERT_EQ(corefile_open("ab", &f, 0), 1);
    EXPECT_EQ(f.index, 1);
    EXPECT_EQ(read(&f, 1), "Y");
}

TEST_F(CorefileTest, Size_NextOffsetMinusOwnAndRomsizeForTheLast) {
    coreimage::Layout layout;
    Bytes image = coreimage::build({{"a", "AAAA"}, {"b", "BBBBBB"}, {"c", "CCCCCCC"}}, 0, &layout);
    uint32_t last = getint(&image[layout.offset_at[2]]);
    coreimage::set32(image, layout.romsize_at, last + 3);  // the last file ends early
    write_file("img.dat", image);
    on_both_mounts(this, image, path("img.dat"), [&](const char *mount) {
        SCOPED_TRACE(mount);
        COREFILE f = {};
        ASSERT_EQ(corefile_open("a", &f, 0), 1);
        EXPECT_EQ(corefile_fsize(&f), 4);
        ASSERT_EQ(corefile_open("b", &f, 0), 1);
        EXPECT_EQ(corefile_fsize(&f), 6);
        ASSERT_EQ(corefile_open("c", &f, 0), 1);
        EXPECT_EQ(corefile_fsize(&f), 3);
        EXPECT_EQ(f.pos, (int32_t)last);
    });
}

TEST_F(CorefileTest, Positioning_SeekTellFeofRewindAtTheBoundaries) {
    Bytes image = coreimage::build(coreimage::sample());
    write_file("img.dat", image);
    on_both_mounts(this, image, path("img.dat"), [&](const char *mount) {
        SCOPED_TRACE(mount);
        COREFILE f = {};
        ASSERT_EQ(corefile_open("ab", &f, 0), 1);
        int32_t start = f.pos;
        corefile_seek(&f, 0, 0);
        EXPECT_EQ(corefile_tell(&f), 0);
        EXPECT_EQ(corefile_feof(&f), 0);
        EXPECT_EQ(read(&f, 3), "123");
        EXPECT_EQ(corefile_feof(&f), 0);
        EXPECT_EQ(read(&f, 1), "4");
        EXPECT_EQ(corefile_tell(&f), 4);
        EXPECT_NE(corefile_feof(&f), 0);

        corefile_seek(&f, -2, 1);
        EXPECT_EQ(corefile_tell(&f), 2);
        EXPECT_EQ(corefile_feof(&f), 0);
        corefile_seek(&f, 1, 2);  // there is no seeking from the end
        EXPECT_EQ(corefile_tell(&f), 2);
        corefile_seek(&f, 3, 7);
        EXPECT_EQ(corefile_tell(&f), 2);
        corefile_seek(&f, 1, 0);
        EXPECT_EQ(f.pos, start + 1);
        EXPECT_EQ(read(&f, 1), "2");
        corefile_rewind(&f);
        EXPECT_EQ(f.pos, start);
        EXPECT_EQ(corefile_tell(&f), 0);
        corefile_seek(&f, 10, 0);
        EXPECT_NE(corefile_feof(&f), 0);
    });
}

TEST_F(CorefileTest, Read_PastOneFileGoesOnIntoTheNextAndStopsAtTheImageEnd) {
    Bytes image = coreimage::build(coreimage::sample());
    write_file("img.dat", image);
    on_both_mounts(this, image, path("img.dat"), [&](const char *mount) {
        SCOPED_TRACE(mount);
        COREFILE f = {};
        ASSERT_EQ(corefile_open("ab", &f, 0), 1);
        EXPECT_EQ(read(&f, 10), "12345678RI");
        EXPECT_EQ(corefile_tell(&f), 10);

        // The last file: what lies past the image is simply not there, and
        // the position still moves by the whole amount.
        ASSERT_EQ(corefile_open("pickup.wav", &f, 0), 1);
        EXPECT_EQ(read(&f, 12), "RIFF0000####");
        EXPECT_EQ(corefile_tell(&f), 12);
        EXPECT_EQ(read(&f, 4), "####");

        // Far outside the image, in both directions, nothing is read.
        corefile_seek(&f, INT_MAX / 2, 0);
        EXPECT_EQ(read(&f, 4), "####");
        corefile_seek(&f, -1000, 0);
        EXPECT_EQ(read(&f, 4), "####");
        corefile_read(nullptr, 1, 4, &f);
        std::string buf = "####";
        corefile_read(&buf[0], -1, 4, &f);
        EXPECT_EQ(buf, "####");
    });
}

TEST_F(CorefileTest, Gets_LinesOnFileMountZeroStopsOnMemoryMount) {
    Bytes image = coreimage::build({{"text", std::string("one\ntwo\nend\0abcdef", 18)}});
    write_file("img.dat", image);

    ASSERT_EQ(corefile_mountimage(path("img.dat").c_str(), 0), 1);
    COREFILE f = {};
    ASSERT_EQ(corefile_open("text", &f, 0), 1);
    char buf[16];
    corefile_gets(buf, sizeof buf, &f);
    EXPECT_STREQ(buf, "one\n");
    EXPECT_EQ(corefile_tell(&f), 4);
    corefile_gets(buf, 3, &f);
    EXPECT_STREQ(buf, "tw");
    EXPECT_EQ(corefile_tell(&f), 6);
    corefile_closeimage();

    ASSERT_EQ(corefile_mountmemory(image.data(), image.size()), 1);
    ASSERT_EQ(corefile_open("text", &f, 0), 1);
    memset(buf, '#', sizeof buf);
    corefile_gets(buf, sizeof buf, &f);  // newlines do not stop it; the zero does
    EXPECT_EQ(std::string(buf, 13), std::string("one\ntwo\nend\0#", 13));
    EXPECT_EQ(corefile_tell(&f), 12);
    memset(buf, '#', sizeof buf);
    corefile_gets(buf, 2, &f);  // capacity 2: two bytes and no more
    EXPECT_EQ(std::string(buf, 3), "ab#");
    memset(buf, '#', sizeof buf);
    corefile_gets(buf, sizeof buf, &f);  // ends at the image's last byte
    EXPECT_EQ(std::string(buf, 6), "cdef##");
    EXPECT_EQ(corefile_tell(&f), 18);
}

TEST_F(CorefileTest, Mount_FilePrintsItsProgressLinesToStandardOutput) {
    Bytes image = coreimage::build(coreimage::sample());
    write_file("img.dat", image);
    corefile_setmessagehook(nullptr);
    testing::internal::CaptureStdout();
    int ok = corefile_mountimage(path("img.dat").c_str(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(out, "Loading resource image: " + path("img.dat") +
                       "\nloading from file\nnumfiles: 4\nromsize: " +
                       std::to_string(image.size()) + "\n");
}

TEST_F(CorefileTest, Mount_PathnamePrefixAndOpenFailures) {
    write_file("img.dat", coreimage::build(coreimage::sample()));
    snprintf(corefile_pathname, sizeof corefile_pathname, "%s/", dir_.generic_string().c_str());
    EXPECT_EQ(corefile_mountimage("img.dat", 0), 1);
    EXPECT_TRUE(said("Loading resource image: " + path("img.dat") + "\n"));
    corefile_pathname[0] = 0;

    g_messages.clear();
    EXPECT_EQ(corefile_mountimage(path("absent.dat").c_str(), 0), 0);
    EXPECT_TRUE(said("could not open image: " + path("absent.dat") + "\n"));
    EXPECT_EQ(corefile_mountimage(path("absent.dat").c_str(), 1), 0);
    EXPECT_EQ(corefile_mountimage(dir_.generic_string().c_str(), 0), 0);  // a directory is no image
    EXPECT_EQ(corefile_mountimage(path("img.dat").c_str(), 3), 0);
    EXPECT_EQ(corefile_mountimage(path("img.dat").c_str(), -1), 0);
    EXPECT_EQ(g_fp, nullptr);
}

TEST_F(CorefileTest, Mount_EmptyImageMountsAndEveryOpenFails) {
    Bytes image = coreimage::build({});
    ASSERT_EQ(image.size(), 12u);
    ASSERT_EQ(corefile_mountmemory(image.data(), image.size()), 1);
    EXPECT_EQ(corefile_image.numfiles, 0u);
    COREFILE f = {};
    EXPECT_EQ(corefile_open("ship.tga", &f, 0), 0);
    EXPECT_TRUE(said("couldn't find file: ship.tga\n"));
    EXPECT_EQ(corefile_open("", &f, 0), 0);
}

TEST_F(CorefileTest, Mount_AppendedImageOpensAtAbsolutePositions) {
    std::string host = "#!host program bytes#";
    Bytes image = coreimage::build(coreimage::sample(), (uint32_t)host.size());
    Bytes whole(host.begin(), host.end());
    whole.insert(whole.end(), image.begin(), image.end());
    coreimage::put32(whole, (uint32_t)host.size());
    write_file("host.bin", whole);

    ASSERT_EQ(corefile_mountimage(path("host.bin").c_str(), 1), 1);
    EXPECT_TRUE(said("loading from executable\n"));
    EXPECT_EQ(corefile_mounttype, COREFILE_MOUNT_FILE);
    COREFILE f = {};
    ASSERT_EQ(corefile_open("pickup.wav", &f, 0), 1);
    EXPECT_GT(f.pos, (int32_t)host.size());
    EXPECT_EQ(corefile_fsize(&f), 8);
    EXPECT_EQ(read(&f, 8), "RIFF0000");
    ASSERT_EQ(corefile_open("ship.tga", &f, 0), 1);
    EXPECT_EQ(read(&f, 8), "SHIPDATA");

    // A host whose tail points nowhere is refused.
    coreimage::set32(whole, whole.size() - 4, (uint32_t)whole.size() + 100);
    write_file("bad.bin", whole);
    g_messages.clear();
    EXPECT_EQ(corefile_mountimage(path("bad.bin").c_str(), 1), 0);
    EXPECT_NE(problems().find(path("bad.bin")), std::string::npos);
    write_file("tiny.bin", std::string("ab"));
    EXPECT_EQ(corefile_mountimage(path("tiny.bin").c_str(), 1), 0);
}

TEST_F(CorefileTest, Mount_AgainReplacesTheOldImageAndCloseFreesAll) {
    uint32_t before = g_mem_in_use;
    Bytes image = coreimage::build(coreimage::sample());
    write_file("img.dat", image);
    ASSERT_EQ(corefile_mountimage(path("img.dat").c_str(), 0), 1);
    uint32_t one = g_mem_in_use;
    EXPECT_GT(one, before);
    ASSERT_EQ(corefile_mountimage(path("img.dat").c_str(), 0), 1);
    // The same sizes again; the usable size of a new block may round
    // differently (WebAssembly's allocator does), but nothing piles up.
    EXPECT_NEAR((double)g_mem_in_use, (double)one, 32.0);
    ASSERT_EQ(corefile_mountmemory(image.data(), image.size()), 1);
    corefile_readdir("*.*");
    corefile_closeimage();
    EXPECT_EQ(g_mem_in_use, before);
    EXPECT_EQ(g_fp, nullptr);
    EXPECT_EQ(corefile_image.base, nullptr);
    EXPECT_EQ(corefile_image.numfiles, 0u);
    EXPECT_EQ(corefile_localpath, nullptr);
    EXPECT_EQ(corefile_filelist, nullptr);
}

TEST_F(CorefileTest, Buffers_LoadWholeFilesRelativeToTheCurrentDirectory) {
    Bytes image = coreimage::build({{"ship.tga", "SHIP"}, {"gfx/a.tga", "ALPHA"}});
    ASSERT_EQ(corefile_mountmemory(image.data(), image.size()), 1);
    char *ship = (char *)corefile_loadbuffer("ship.tga");
    ASSERT_NE(ship, nullptr);
    EXPECT_EQ(std::string(ship, 4), "SHIP");
    _wrap_free_dbg(ship, "test", __LINE__);
    corefile_chdir("gfx");
    char *a = (char *)corefile_loadbuffer("A.TGA");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::string(a, 5), "ALPHA");
    _wrap_free_dbg(a, "test", __LINE__);
    EXPECT_EQ(corefile_loadbuffer("ship.tga"), nullptr);
    // Image mounts are read only: nothing is written, whether the name exists or not.
    EXPECT_EQ(corefile_savebuffer("a.tga", "zzzzz", 5), 0);
    EXPECT_EQ(corefile_savebuffer("new.tga", "zzzzz", 5), 0);
    COREFILE f = {};
    ASSERT_EQ(corefile_open("gfx/a.tga", &f, 0), 1);
    EXPECT_EQ(read(&f, 5), "ALPHA");
}

TEST_F(CorefileTest, DirectoryMount_ScansSubdirectoriesAndReadsWritesFiles) {
    write_file("root/a.txt", std::string("alpha"));
    write_file("root/sub/b.txt", std::string("bravo!"));
    write_file("root/sub/deeper/c.bin", std::string("c"));
    std::filesystem::create_directories(dir_ / "root/empty");
    std::string cwd = std::filesystem::current_path().string();

    ASSERT_EQ(corefile_mountimage(path("root").c_str(), 2), 1);
    EXPECT_EQ(std::filesystem::current_path().string(), cwd);
    EXPECT_EQ(corefile_mounttype, COREFILE_MOUNT_DIRECTORY);
    EXPECT_TRUE(said("Found 3 files\n"));
    ASSERT_EQ(corefile_image.numfiles, 3u);
    std::vector<std::string> names(corefile_image.names, corefile_image.names + 3);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub/b.txt", "sub/deeper/c.bin"}));

    COREFILE f = {};
    ASSERT_EQ(corefile_open("SUB/B.TXT", &f, 0), 1);
    EXPECT_EQ(corefile_fsize(&f), 6);
    EXPECT_EQ(read(&f, 6), "bravo!");
    EXPECT_EQ(corefile_tell(&f), 6);
    EXPECT_EQ(corefile_feof(&f),
              0);  // the stream's indicator: set only by a read that hits the end
    EXPECT_EQ(read(&f, 2), "##");
    EXPECT_NE(corefile_feof(&f), 0);
    corefile_rewind(&f);
    EXPECT_EQ(corefile_tell(&f), 0);
    EXPECT_EQ(corefile_feof(&f), 0);
    corefile_seek(&f, 2, 0);
    EXPECT_EQ(read(&f, 3), "avo");
    corefile_close(&f);
    EXPECT_EQ(f.handle, nullptr);

    EXPECT_EQ(corefile_open("missing.txt", &f, 0), 0);
    EXPECT_EQ(f.handle, nullptr);
    EXPECT_EQ(corefile_open("sub", &f, 0), 0);  // a directory is not a file

    ASSERT_EQ(corefile_open("new.txt", &f, 1), 1);
    corefile_write("hello world", 1, 11, &f);
    EXPECT_EQ(corefile_tell(&f), 11);
    corefile_close(&f);
    EXPECT_EQ(corefile_savebuffer("saved.bin", "12345", 5), 1);
    char *saved = (char *)corefile_loadbuffer("saved.bin");
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(std::string(saved, 5), "12345");
    _wrap_free_dbg(saved, "test", __LINE__);
    ASSERT_EQ(corefile_open("new.txt", &f, 0), 1);
    char line[32];
    corefile_gets(line, sizeof line, &f);
    EXPECT_STREQ(line, "hello world");
    corefile_close(&f);
}

TEST_F(CorefileTest, DirectoryMount_MissingDirectoryFails) {
    EXPECT_EQ(corefile_mountimage(path("nowhere").c_str(), 2), 0);
    ASSERT_EQ(g_messages.size(), 2u);  // no sublevels line for a path never opened
    EXPECT_EQ(g_messages[1].text, "error reading directory\n");
    EXPECT_EQ(corefile_image.base, nullptr);
}

// ---------------------------------------------------------------------------
// Damaged images

class CorefileDamageTest : public CorefileTest {
protected:
    // Mounts the bytes from memory and from a file; both must refuse them,
    // say why, and give back every byte they took.
    void expect_refused(const Bytes &image, const std::string &why) {
        uint32_t before = g_mem_in_use;
        g_messages.clear();
        EXPECT_EQ(corefile_mountmemory(image.empty() ? nullptr : image.data(), image.size()), 0);
        std::string memory_name = "(memory, " + std::to_string(image.size()) + " bytes)";
        EXPECT_NE(problems().find(memory_name), std::string::npos) << problems();
        EXPECT_NE(problems().find(why), std::string::npos) << problems();
        EXPECT_EQ(g_mem_in_use, before);

        write_file("bad.dat", image);
        g_messages.clear();
        EXPECT_EQ(corefile_mountimage(path("bad.dat").c_str(), 0), 0);
        EXPECT_NE(problems().find(path("bad.dat")), std::string::npos) << problems();
        EXPECT_NE(problems().find(why), std::string::npos) << problems();
        EXPECT_EQ(g_mem_in_use, before);
        EXPECT_EQ(g_fp, nullptr);
        EXPECT_EQ(corefile_localpath, nullptr);
    }
};

TEST_F(CorefileDamageTest, HeaderAndDirectoryThatTheBytesCannotHold) {
    Bytes good = coreimage::build(coreimage::sample());
    expect_refused({}, "too short for a header");
    expect_refused(Bytes(good.begin(), good.begin() + 6), "header truncated");
    Bytes magic = good;
    magic[0] = 'X';
    expect_refused(magic, "not a CORE image");

    Bytes huge = good;
    coreimage::set32(huge, 4, 0xFFFFFFFFu);
    expect_refused(huge, "4294967295 entries cannot fit");
    coreimage::set32(huge, 4, 0x40000000u);
    expect_refused(huge, "entries cannot fit");

    coreimage::Layout layout;
    Bytes cut = coreimage::build(coreimage::sample(), 0, &layout);
    cut.resize(layout.hash_at[2] + 2);
    coreimage::set32(cut, 4, 3);  // three entries still "fit" by count
    expect_refused(cut, "directory truncated at entry 2 of 3");

    Bytes name = coreimage::build(coreimage::sample(), 0, &layout);
    coreimage::set32(name, layout.namelen_at[1], 0xFFFFFFF0u);
    expect_refused(name, "entry 1 has a name of 4294967280 bytes, past the end");
    coreimage::set32(name, layout.namelen_at[1], 0x7FFFFFFFu);
    expect_refused(name, "entry 1 has a name of");
}

// Range faults of single entries: the image mounts on both mount types,
// each problem is named, and only the entries hit lose bytes.
TEST_F(CorefileDamageTest, RangeFaultsCostOnlyTheEntriesTheyHit) {
    coreimage::Layout layout;
    Bytes good = coreimage::build(coreimage::sample(), 0, &layout);
    Bytes cut(good.begin(), good.end() - 1), beyond = good, negative = good;
    coreimage::set32(beyond, layout.offset_at[3], (uint32_t)good.size() + 1);
    coreimage::set32(negative, layout.offset_at[0], getint(&good[layout.offset_at[1]]) + 2);
    const std::pair<Bytes, std::vector<std::string>> cases[] = {
        {cut, {"SHIPDATA", "1234", "5678", "RIFF000", "entry 3 (pickup.wav) is cut short: 7 of"}},
        {beyond, {"SHIPDATA", "1234", "5678RIFF0000", "", "entry 3 (pickup.wav) has offset"}},
        {negative, {"", "1234", "5678", "RIFF0000", "entry 0 (ship.tga) has a negative size"}},
    };
    for (const auto &[image, want] : cases) {
        write_file("bad.dat", image);
        for (int file = 0; file < 2; file++) {
            g_messages.clear();
            ASSERT_EQ(file ? corefile_mountimage(path("bad.dat").c_str(), 0)
                           : corefile_mountmemory(image.data(), image.size()),
                      1);
            EXPECT_NE(problems().find(want[4]), std::string::npos) << problems();
            int i = 0;
            for (const char *name : {"ship.tga", "ab", "ba", "pickup.wav"}) {
                COREFILE f = {};
                ASSERT_EQ(corefile_open(name, &f, 0), 1);
                EXPECT_EQ(read(&f, corefile_fsize(&f)), want[i++]) << name << " " << file;
            }
            corefile_closeimage();
        }
    }
}

TEST_F(CorefileDamageTest, ManyProblemsAreCappedInLines) {
    std::vector<File> files;
    for (int i = 0; i < 40; i++) files.push_back({"f" + std::to_string(i), "x"});
    coreimage::Layout layout;
    Bytes image = coreimage::build(files, 0, &layout);
    for (size_t i = 0; i < files.size(); i++)
        coreimage::set32(image, layout.offset_at[i], 0x10000000u - (uint32_t)i);
    g_messages.clear();
    EXPECT_EQ(corefile_mountmemory(image.data(), image.size()), 1);
    EXPECT_LE(g_messages.size(), 20u);
    EXPECT_NE(problems().find("more problems"), std::string::npos);
}
