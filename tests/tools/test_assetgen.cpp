// assetgen, run as the built program: it writes every picture and sound the
// game opens, at the sizes the game's geometry needs, in the formats the
// engine reads, and the same bytes on every run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/assetgen/glyphs.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

unsigned U16(const std::string &b, size_t at) {
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8;
}
unsigned U32(const std::string &b, size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

// A decoded picture, top row first, pixels as 0xAARRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    uint32_t At(int x, int y) const { return px[size_t(y) * width + x]; }
};

// Just what the generator writes: true colour, 24 or 32 bits, raw or
// run-length coded, top-left origin. Anything else fails the test.
Picture DecodeTga(const std::string &b) {
    Picture pic;
    EXPECT_GE(b.size(), 18u);
    if (b.size() < 18) return pic;
    const int type = uint8_t(b[2]), depth = uint8_t(b[16]), desc = uint8_t(b[17]);
    EXPECT_TRUE(type == 2 || type == 10) << type;
    EXPECT_TRUE(depth == 24 || depth == 32) << depth;
    EXPECT_EQ(desc & 0x30, 0x20);
    EXPECT_EQ(uint8_t(b[0]), 0);
    EXPECT_EQ(uint8_t(b[1]), 0);
    pic.width = int(U16(b, 12));
    pic.height = int(U16(b, 14));
    const size_t bpp = size_t(depth / 8), total = size_t(pic.width) * pic.height;
    size_t at = 18;
    auto pixel = [&]() -> uint32_t {
        if (at + bpp > b.size()) {
            ADD_FAILURE() << "TGA data ends early";
            at = b.size();
            return 0;
        }
        uint32_t c = uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
                     uint32_t(uint8_t(b[at + 2])) << 16 |
                     (bpp == 4 ? uint32_t(uint8_t(b[at + 3])) << 24 : 0xFF000000u);
        at += bpp;
        return c;
    };
    while (pic.px.size() < total && at < b.size()) {
        if (type == 2) {
            pic.px.push_back(pixel());
            continue;
        }
        const int h = uint8_t(b[at++]);
        const int count = (h & 0x7F) + 1;
        if (h & 0x80) {
            uint32_t c = pixel();
            for (int i = 0; i < count; i++) pic.px.push_back(c);
        } else {
            for (int i = 0; i < count; i++) pic.px.push_back(pixel());
        }
    }
    EXPECT_EQ(pic.px.size(), total);
    EXPECT_EQ(at, b.size()) << "bytes after the picture";
    pic.px.resize(total);
    return pic;
}

bool Transparent(uint32_t c) {
    const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    return (c >> 24) == 0 || (r > 240 && g < 16 && b > 240);
}

const char *const kPictures[] = {
    "spacebg.tga",  "titlelogo64.tga", "font_game.tga", "font_game2.tga", "ship.tga",
    "minimap3.tga", "miniplanets.tga", "planet1.tga",   "planet1b.tga",   "planet2.tga",
    "planet2b.tga", "stars2.tga",      "stardots.tga",  "chaindots3.tga", "explode.tga",
};
const char *const kSounds[] = {"qomusic.wav",    "explode.wav", "pickup.wav",
                               "pressstart.wav", "select.wav",  "sling.wav"};

class AssetgenTest : public ::testing::Test {
protected:
    // One generated set for the whole suite: the program takes a moment.
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("qo_assetgen_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        status_ = Run(dir_ / "a");
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    static int Run(const fs::path &out) {
        std::string cmd = std::string(QO_BINARY_DIR "/assetgen ") + out.string() + " >" +
                          (dir_ / "log").string() + " 2>&1";
        int raw = system(cmd.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    static Picture Load(const char *name) { return DecodeTga(Slurp(dir_ / "a" / name)); }

    static fs::path dir_;
    static int status_;
};
fs::path AssetgenTest::dir_;
int AssetgenTest::status_ = -1;

}  // namespace

TEST_F(AssetgenTest, WritesEveryNameTheGameOpens_AndNothingElse) {
    ASSERT_EQ(status_, 0) << Slurp(dir_ / "log");
    std::map<std::string, bool> expected;
    for (const char *n : kPictures) expected[n] = false;
    for (const char *n : kSounds) expected[n] = false;
    for (const auto &entry : fs::directory_iterator(dir_ / "a")) {
        const std::string name = entry.path().filename().string();
        ASSERT_TRUE(expected.count(name)) << "unexpected file " << name;
        expected[name] = true;
        EXPECT_GT(entry.file_size(), 44u) << name;
    }
    for (const auto &[name, seen] : expected) EXPECT_TRUE(seen) << name;
}

TEST_F(AssetgenTest, SecondRun_WritesTheSameBytes) {
    ASSERT_EQ(status_, 0);
    ASSERT_EQ(Run(dir_ / "b"), 0);
    for (const auto &entry : fs::directory_iterator(dir_ / "a")) {
        const fs::path other = dir_ / "b" / entry.path().filename();
        EXPECT_TRUE(Slurp(entry.path()) == Slurp(other)) << entry.path().filename();
    }
}

TEST_F(AssetgenTest, BadArguments_AreRefusedWithAMessage) {
    std::string log = (dir_ / "usage").string();
    int raw = system((std::string(QO_BINARY_DIR "/assetgen >") + log + " 2>&1").c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
    EXPECT_NE(Slurp(log).find("usage"), std::string::npos);
    raw = system(
        (std::string(QO_BINARY_DIR "/assetgen /proc/qo_no_such/dir >") + log + " 2>&1").c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
    EXPECT_NE(Slurp(log).find("cannot"), std::string::npos);
}

TEST_F(AssetgenTest, Pictures_HaveTheSizesTheGameGeometryNeeds) {
    ASSERT_EQ(status_, 0);
    struct Size {
        const char *name;
        int w, h;
    } sizes[] = {
        {"spacebg.tga", 1460, 1080}, {"ship.tga", 32, 32},       {"planet1.tga", 50, 50},
        {"planet1b.tga", 50, 50},    {"planet2.tga", 32, 32},    {"planet2b.tga", 32, 32},
        {"stars2.tga", 64, 8},       {"stardots.tga", 32, 64},   {"chaindots3.tga", 64, 8},
        {"explode.tga", 64, 8},      {"miniplanets.tga", 40, 8},
    };
    for (const Size &s : sizes) {
        Picture p = Load(s.name);
        EXPECT_EQ(p.width, s.w) << s.name;
        EXPECT_EQ(p.height, s.h) << s.name;
    }
    Picture logo = Load("titlelogo64.tga");
    EXPECT_LE(logo.width, 328);
    EXPECT_LE(logo.height, 64);
    Picture map = Load("minimap3.tga");
    EXPECT_GT(map.width, 0);
    EXPECT_GT(map.height, 0);
}

TEST_F(AssetgenTest, Planets_AreDiscsOfTheCrashTestRadius) {
    ASSERT_EQ(status_, 0);
    struct Disc {
        const char *name;
        double r;
    } discs[] = {
        {"planet1.tga", 25}, {"planet1b.tga", 25}, {"planet2.tga", 16}, {"planet2b.tga", 16}};
    for (const Disc &d : discs) {
        Picture p = Load(d.name);
        int wrong = 0;
        for (int y = 0; y < p.height; y++)
            for (int x = 0; x < p.width; x++) {
                double dx = x + 0.5 - d.r, dy = y + 0.5 - d.r;
                bool inside = dx * dx + dy * dy <= d.r * d.r;
                if (inside == Transparent(p.At(x, y))) wrong++;
            }
        EXPECT_EQ(wrong, 0) << d.name;
    }
}

TEST_F(AssetgenTest, BlendedCells_KeepTheirEdgesClearAndBackgroundStarsFadeByLayer) {
    ASSERT_EQ(status_, 0);
    // Stars, sparkles and the explosion are drawn with blend mode 1: a cell's
    // border must leave the backdrop alone, and each cell shows something.
    for (const char *name : {"stars2.tga", "stardots.tga", "explode.tga"}) {
        Picture p = Load(name);
        for (int cy = 0; cy < p.height / 8; cy++)
            for (int cx = 0; cx < p.width / 8; cx++) {
                int lit = 0;
                for (int y = 0; y < 8; y++)
                    for (int x = 0; x < 8; x++) lit += !Transparent(p.At(cx * 8 + x, cy * 8 + y));
                EXPECT_GT(lit, 0) << name << " cell " << cx << "," << cy;
                EXPECT_TRUE(Transparent(p.At(cx * 8, cy * 8)) &&
                            Transparent(p.At(cx * 8 + 7, cy * 8 + 7)))
                    << name << " cell " << cx << "," << cy;
            }
    }
    // The second row of the sparkle sheet is the background stars: layer 0
    // (the nearest) the brightest, layer 3 the faintest.
    Picture dots = Load("stardots.tga");
    int previous = 1 << 30;
    for (int layer = 0; layer < 4; layer++) {
        int light = 0;
        for (int y = 8; y < 16; y++)
            for (int x = layer * 8; x < layer * 8 + 8; x++) {
                uint32_t c = dots.At(x, y);
                if (!Transparent(c)) light += ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF);
            }
        EXPECT_LT(light, previous) << "layer " << layer;
        previous = light;
    }
    // The explosion plays once, from bright to faint.
    Picture burst = Load("explode.tga");
    int hottest = 1 << 30;
    for (int cell = 0; cell < 8; cell++) {
        int peak = 0;
        for (int y = 0; y < 8; y++)
            for (int x = cell * 8; x < cell * 8 + 8; x++) {
                uint32_t c = burst.At(x, y);
                if (!Transparent(c))
                    peak = std::max(peak, int(((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF)));
            }
        EXPECT_LE(peak, hottest) << "cell " << cell;
        hottest = peak;
    }
}

TEST_F(AssetgenTest, Backdrop_IsOpaqueDarkAndItsBottomRowJoinsItsTopRow) {
    ASSERT_EQ(status_, 0);
    Picture bg = Load("spacebg.tga");
    ASSERT_EQ(bg.height, 1080);
    // Rows compared by the medians of 20-pixel blocks: the nebula's seam would
    // show there, single stars and the dither do not.
    auto blocks = [&](int y) {
        std::vector<int> out;
        for (int x0 = 0; x0 + 20 <= bg.width; x0 += 20) {
            std::vector<int> lum;
            for (int x = x0; x < x0 + 20; x++) {
                uint32_t c = bg.At(x, y);
                lum.push_back(int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF));
            }
            std::nth_element(lum.begin(), lum.begin() + 10, lum.end());
            out.push_back(lum[10]);
        }
        return out;
    };
    auto difference = [&](int a, int b) {
        std::vector<int> ra = blocks(a), rb = blocks(b);
        double sum = 0;
        for (size_t i = 0; i < ra.size(); i++) sum += std::abs(ra[i] - rb[i]);
        return sum / ra.size();
    };
    const int last = bg.height - 1;
    double neighbours =
        std::max(std::max(difference(last - 2, last - 1), difference(last - 1, last)),
                 std::max(difference(0, 1), difference(1, 2)));
    EXPECT_LE(difference(last, 0), 2 * neighbours + 0.5);
    // Rows far apart do differ: the measure would see a seam.
    EXPECT_GT(difference(0, bg.height / 2), 4 * difference(last, 0));

    double light = 0;
    for (uint32_t c : bg.px) {
        EXPECT_EQ(c >> 24, 0xFFu);
        light += ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF);
    }
    EXPECT_LT(light / (3.0 * bg.px.size()), 40.0) << "the backdrop must stay dark";
}

TEST_F(AssetgenTest, Fonts_CarryOneMarkerPerLetterAndNoneInColumnZero) {
    ASSERT_EQ(status_, 0);
    for (const char *name : {"font_game.tga", "font_game2.tga"}) {
        Picture f = Load(name);
        EXPECT_EQ(f.height, assetgen::kFontHeight) << name;
        EXPECT_TRUE(Transparent(f.At(0, 0))) << name;
        // The markers sit exactly where the generator's letters begin.
        std::vector<int> markers, expected;
        for (int x = 0; x < f.width; x++)
            if ((f.At(x, 0) >> 24) != 0) markers.push_back(x);
        int x = 1 + assetgen::GlyphAdvance(0);
        for (int i = 1; i < assetgen::kGlyphCount; i++) {
            expected.push_back(x);
            x += assetgen::GlyphAdvance(i);
        }
        EXPECT_EQ(markers, expected) << name;
        EXPECT_EQ(f.width, x) << name;
        EXPECT_EQ(markers.size(), 92u);
    }
}

TEST_F(AssetgenTest, Sounds_AreCanonicalMonoPcmOfTheIntendedLengthsAndLevels) {
    ASSERT_EQ(status_, 0);
    struct Expect {
        const char *name;
        unsigned rate;
        double min_s, max_s, min_peak, max_peak;
    } sounds[] = {
        {"pickup.wav", 22050, 0.1, 0.25, 0.4, 0.56},
        {"sling.wav", 44100, 0.2, 0.45, 0.4, 0.56},
        {"explode.wav", 44100, 0.7, 1.5, 0.4, 0.56},
        {"pressstart.wav", 44100, 0.35, 0.7, 0.4, 0.56},
        {"select.wav", 44100, 0.05, 0.16, 0.4, 0.56},
        {"qomusic.wav", 44100, 60, 120, 0.7, 0.95},
    };
    for (const Expect &e : sounds) {
        const std::string b = Slurp(dir_ / "a" / e.name);
        ASSERT_GE(b.size(), 44u) << e.name;
        EXPECT_EQ(b.substr(0, 4), "RIFF");
        EXPECT_EQ(U32(b, 4), b.size() - 8) << e.name;
        EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(U32(b, 16), 16u);
        EXPECT_EQ(U16(b, 20), 1u);  // PCM
        EXPECT_EQ(U16(b, 22), 1u) << e.name << " must be mono";
        EXPECT_EQ(U32(b, 24), e.rate) << e.name;
        EXPECT_EQ(U32(b, 28), e.rate * 2);
        EXPECT_EQ(U16(b, 32), 2u);
        EXPECT_EQ(U16(b, 34), 16u);
        EXPECT_EQ(b.substr(36, 4), "data");
        ASSERT_EQ(U32(b, 40), b.size() - 44) << e.name;
        const size_t n = (b.size() - 44) / 2;
        EXPECT_LT(n, size_t(1) << 24);
        const double seconds = double(n) / e.rate;
        EXPECT_GE(seconds, e.min_s) << e.name;
        EXPECT_LE(seconds, e.max_s) << e.name;
        int peak = 0;
        for (size_t i = 0; i < n; i++)
            peak = std::max(peak, std::abs(int(int16_t(U16(b, 44 + 2 * i)))));
        EXPECT_GE(peak / 32768.0, e.min_peak) << e.name;
        EXPECT_LE(peak / 32768.0, e.max_peak) << e.name;
    }
}

TEST_F(AssetgenTest, Music_LoopsWithoutAClick) {
    ASSERT_EQ(status_, 0);
    const std::string b = Slurp(dir_ / "a" / "qomusic.wav");
    ASSERT_GT(b.size(), 44u + 20000);
    const size_t n = (b.size() - 44) / 2;
    auto sample = [&](size_t i) { return int(int16_t(U16(b, 44 + 2 * i))); };
    // The step from the last sample back to the first must look like any
    // other step of the music around it.
    double typical = 0;
    for (size_t i = 0; i < 4000; i++)
        typical +=
            std::abs(sample(i + 1) - sample(i)) + std::abs(sample(n - 1 - i) - sample(n - 2 - i));
    typical /= 8000;
    EXPECT_LE(std::abs(sample(n - 1) - sample(0)), 4 * typical + 64);
    // The start is not silence faded in: the loop joins mid-music.
    int early = 0;
    for (size_t i = 0; i < 200; i++) early = std::max(early, std::abs(sample(i)));
    EXPECT_GT(early, 300);
}

TEST_F(AssetgenTest, Icons_AreRgbaPngsOfEveryHicolorAndWebSize_SameBytesEveryRun) {
    for (const char *sub : {"i1", "i2"}) {
        std::string cmd = std::string(QO_BINARY_DIR "/assetgen --icons ") + (dir_ / sub).string() +
                          " >" + (dir_ / "log").string() + " 2>&1";
        ASSERT_EQ(system(cmd.c_str()), 0) << Slurp(dir_ / "log");
    }
    for (unsigned size : {16u, 32u, 48u, 64u, 128u, 192u, 256u, 512u}) {
        const std::string name = "icon-" + std::to_string(size) + ".png";
        const std::string png = Slurp(dir_ / "i1" / name);
        ASSERT_GT(png.size(), 33u) << name;
        EXPECT_EQ(png.substr(1, 3), "PNG") << name;
        // Width and height: big-endian words of the IHDR chunk; icons stay below 65536.
        const unsigned w = uint8_t(png[18]) << 8 | uint8_t(png[19]);
        const unsigned h = uint8_t(png[22]) << 8 | uint8_t(png[23]);
        EXPECT_EQ(w, size) << name;
        EXPECT_EQ(h, size) << name;
        EXPECT_EQ(uint8_t(png[25]), 6) << name << ": not RGBA";
        EXPECT_TRUE(png == Slurp(dir_ / "i2" / name)) << name;
    }
}
