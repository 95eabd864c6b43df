// corepack, run as the built program: pack a tree, then list, verify,
// extract and append it, and refuse damaged images and bad arguments.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/core.h"
#include "corefile/corefile.h"
#include "tests/corefile/core_image.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out, err;
};

std::string slurp(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spit(const fs::path &p, const std::string &data) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
}

void quiet(int, const char *) {}

class CorepackTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("qo_corepack_" + std::string(info->name()) + "_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        corefile_setmessagehook(quiet);
    }
    void TearDown() override {
        corefile_closeimage();
        corefile_setmessagehook(nullptr);
        fs::remove_all(dir_);
    }

    Result run(const std::string &args) {
        std::string out = (dir_ / "stdout").string(), err = (dir_ / "stderr").string();
        std::string cmd = std::string(QO_BINARY_DIR "/corepack ") + args + " >" + out + " 2>" + err;
        int raw = system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
    }
    std::string p(const std::string &name) const { return (dir_ / name).string(); }

    // A small tree with mixed case, sub-directories and an empty file.
    void make_tree() {
        spit(dir_ / "src/Ship.TGA", "SHIP-PIXELS");
        spit(dir_ / "src/snd/Pickup.wav", "RIFF....WAVE");
        spit(dir_ / "src/snd/deep/x.bin", std::string("\0\1\2\3", 4));
        spit(dir_ / "src/empty.txt", "");
    }

    static int lines(const std::string &s) {
        int n = 0;
        for (char c : s) n += c == '\n';
        return n;
    }

    fs::path dir_;
};

std::string read_entry(const char *name) {
    COREFILE f = {};
    if (!corefile_open(name, &f, 0)) return "<missing>";
    std::string data((size_t)corefile_fsize(&f), '\0');
    corefile_read(&data[0], 1, (int)data.size(), &f);
    corefile_close(&f);
    return data;
}

}  // namespace

TEST_F(CorepackTest, PackListVerifyExtract_RoundTripOfATree) {
    make_tree();
    Result r = run("pack " + p("img.dat") + " " + p("src"));
    ASSERT_EQ(r.status, 0) << r.err;

    r = run("list " + p("img.dat"));
    ASSERT_EQ(r.status, 0) << r.err;
    // Sorted, lower-cased, relative to the packed directory, data in order.
    uint32_t data = 12 + (12 + 9) + (12 + 8) + (12 + 14) + (12 + 14);
    std::string expected = "empty.txt 0 " + std::to_string(data) + "\n" + "ship.tga 11 " +
                           std::to_string(data) + "\n" + "snd/deep/x.bin 4 " +
                           std::to_string(data + 11) + "\n" + "snd/pickup.wav 12 " +
                           std::to_string(data + 15) + "\n" + "total 4 files 27 bytes\n";
    EXPECT_EQ(r.out, expected);

    r = run("verify " + p("img.dat"));
    EXPECT_EQ(r.status, 0) << r.out;

    ASSERT_EQ(corefile_mountimage(p("img.dat").c_str(), 0), 1);
    EXPECT_EQ(corefile_image.romsize, (uint32_t)fs::file_size(p("img.dat")));
    EXPECT_EQ(read_entry("SHIP.TGA"), "SHIP-PIXELS");
    EXPECT_EQ(read_entry("snd/deep/x.bin"), std::string("\0\1\2\3", 4));
    EXPECT_EQ(read_entry("empty.txt"), "");
    corefile_closeimage();

    r = run("extract " + p("img.dat") + " " + p("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir_ / "out/ship.tga"), "SHIP-PIXELS");
    EXPECT_EQ(slurp(dir_ / "out/snd/pickup.wav"), "RIFF....WAVE");
    EXPECT_EQ(slurp(dir_ / "out/empty.txt"), "");

    // Plain files are stored under their own names beside directories' contents.
    spit(dir_ / "loose/Extra.DAT", "extra");
    r = run("pack " + p("two.dat") + " " + p("src/snd") + " " + p("loose/Extra.DAT"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = run("list " + p("two.dat"));
    EXPECT_NE(r.out.find("deep/x.bin 4 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("extra.dat 5 "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("snd/"), std::string::npos) << r.out;
}

TEST_F(CorepackTest, Append_HostMountsInMode1AndKeepsItsOwnBytes) {
    make_tree();
    ASSERT_EQ(run("pack " + p("img.dat") + " " + p("src")).status, 0);
    spit(dir_ / "host.bin", "HOST PROGRAM");
    fs::permissions(p("host.bin"), fs::perms::owner_exec, fs::perm_options::add);
    Result r = run("append " + p("host.bin") + " " + p("img.dat"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir_ / "host.bin").substr(0, 12), "HOST PROGRAM");
    EXPECT_NE(fs::status(p("host.bin")).permissions() & fs::perms::owner_exec, fs::perms::none);

    ASSERT_EQ(corefile_mountimage(p("host.bin").c_str(), 1), 1);
    EXPECT_EQ(read_entry("ship.tga"), "SHIP-PIXELS");
    EXPECT_EQ(read_entry("snd/pickup.wav"), "RIFF....WAVE");
    COREFILE f = {};
    ASSERT_EQ(corefile_open("empty.txt", &f, 0), 1);
    EXPECT_GT(f.pos, 12);
}

TEST_F(CorepackTest, Verify_ReportsEveryInconsistency) {
    make_tree();
    ASSERT_EQ(run("pack " + p("img.dat") + " " + p("src")).status, 0);
    std::string good = slurp(dir_ / "img.dat");

    std::string hash = good;
    hash[12 + 4] ^= 1;  // first entry's hash
    spit(dir_ / "hash.dat", hash);
    Result r = run("verify " + p("hash.dat"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("does not match"), std::string::npos) << r.out;

    std::string magic = good;
    magic[0] = 'K';
    spit(dir_ / "magic.dat", magic);
    r = run("verify " + p("magic.dat"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("not a CORE image"), std::string::npos) << r.out;

    // Second entry's offset pushed past the third: two negative sizes? One
    // negative size for it, and the first entry grows.
    std::string negative = good;
    size_t second_offset = 12 + (12 + 9) + 8 + 8;
    negative[second_offset + 1] = 0x7F;
    spit(dir_ / "neg.dat", negative);
    r = run("verify " + p("neg.dat"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("negative size"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("past the end"), std::string::npos) << r.out;

    std::string inside = good;
    inside[12 + 8 + 9] = 4;  // first entry's offset points into the header
    spit(dir_ / "inside.dat", inside);
    r = run("verify " + p("inside.dat"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("inside the header or directory"), std::string::npos) << r.out;

    spit(dir_ / "short.dat", good.substr(0, 30));
    r = run("list " + p("short.dat"));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lines(r.err), 1) << r.err;
}

TEST_F(CorepackTest, BadArgumentsAndCollisionsFailWithOneLineAndNoOutput) {
    make_tree();
    spit(dir_ / "src/SHIP.tga", "other");
    Result r = run("pack " + p("img.dat") + " " + p("src"));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("ship.tga"), std::string::npos);
    EXPECT_FALSE(fs::exists(p("img.dat")));

    // A failed pack leaves an existing image as it was, and no temporary.
    spit(dir_ / "img.dat", "previous");
    r = run("pack " + p("img.dat") + " " + p("src"));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(slurp(dir_ / "img.dat"), "previous");
    int files = 0;
    for (auto &e : fs::directory_iterator(dir_))
        files += e.path().filename().string().rfind("img.dat", 0) == 0;
    EXPECT_EQ(files, 1);

    EXPECT_NE(run("").status, 0);
    EXPECT_NE(run("frobnicate x").status, 0);
    EXPECT_NE(run("pack " + p("x.dat")).status, 0);
    r = run("pack " + p("x.dat") + " " + p("nonexistent"));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    r = run("list " + p("nonexistent.dat"));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    r = run("pack " + p("no/such/dir/x.dat") + " " + p("src/snd"));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(lines(r.err), 1) << r.err;
}

TEST_F(CorepackTest, Extract_RefusesTwoEntriesThatOpenAsOneName) {
    coreimage::Bytes twice = coreimage::build({{"ab", "one"}, {"x", "x"}, {"ab", "two"}});
    spit(dir_ / "twice.dat", std::string(twice.begin(), twice.end()));
    Result r = run("extract " + p("twice.dat") + " " + p("out"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("entries 0 (ab) and 2 (ab)"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "out/x"));
}
