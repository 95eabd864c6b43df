// Asset loading from the built resource image: every picture, sprite, font
// and sound loads through the game's own loaders without an error line, at
// the sizes the game's geometry relies on; the fonts scan to the letters the
// generator drew and the screens' texts fit; the music starts looping.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cgl/cgl.h"
#include "common/gl_fixture.h"
#include "corefile/corefile.h"
#include "game/assets.h"
#include "game/header.h"
#include "sound/sound.h"
#include "tools/assetgen/glyphs.h"

namespace {

class AssetTest : public GLTest {
protected:
    // Everything is loaded once per test program, as the game does at start-up.
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        GLTest::SetUpTestSuite();
    }
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure()) return;
        if (state_ == 0) {
            state_ = -1;
            ASSERT_EQ(corefile_mountimage("qostarfold.dat", 0), 1)
                << "run from the build directory, after the resource image is built";
            Soundsystem_Init(44100, 16, 2);
            fb_ = CGL_InitFramebuffer(360, 240);
            ::testing::internal::CaptureStdout();
            LoadGraphics();
            LoadSounds();
            fflush(stdout);
            log_ = ::testing::internal::GetCapturedStdout();
            state_ = 1;
        }
        ASSERT_EQ(state_, 1);
        CGL_SetFramebuffer(fb_);
    }
    static int state_, fb_;
    static std::string log_;
};
int AssetTest::state_ = 0;
int AssetTest::fb_ = -1;
std::string AssetTest::log_;

int Luminance(uint32_t c) {
    return int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF);
}

}  // namespace

TEST_F(AssetTest, Loading_ReportsNoMissingOrBrokenFile) {
    for (const char *bad :
         {"couldn't find", "not loaded", "No WAV", "Not PCM", "not supported", "ERROR"})
        EXPECT_EQ(log_.find(bad), std::string::npos) << bad << " in:\n" << log_;
    // Every name was opened: 18 picture loads (the ship three times, the sheet
    // of dots twice) and six sounds.
    size_t pictures = 0, at = 0;
    while ((at = log_.find("Loading TGA image.", at)) != std::string::npos) pictures++, at++;
    EXPECT_EQ(pictures, 18u);
    for (const char *name :
         {"qomusic.wav", "explode.wav", "pickup.wav", "pressstart.wav", "select.wav", "sling.wav"})
        EXPECT_NE(log_.find(std::string("Loading sound ") + name), std::string::npos) << name;
}

TEST_F(AssetTest, Pictures_HaveTheSizesTheGameGeometryReliesOn) {
    EXPECT_EQ(bmp_background.width, 1460);
    EXPECT_EQ(bmp_background.height, 1080);
    EXPECT_LE(spr_title.width, 328);
    EXPECT_LE(spr_title.height, 64);
    EXPECT_GT(spr_title.width * spr_title.height, 0);
    for (const s_sprite &ship : spr_player) {
        EXPECT_EQ(ship.width, 32);
        EXPECT_EQ(ship.height, 32);
    }
    const int planet_sizes[8] = {50, 50, 32, 32, 0, 0, 0, 0};
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(spr_planet[i].width, planet_sizes[i]) << i;
        EXPECT_EQ(spr_planet[i].height, planet_sizes[i]) << i;
    }
    struct Sheet {
        const s_bitmap &bmp;
        int w, h;
    } sheets[] = {{bmp_star, 64, 8},    {bmp_sparkle, 32, 64},  {bmp_chain, 64, 8},
                  {bmp_bgstar, 32, 64}, {bmp_explosion, 64, 8}, {bmp_miniplanets, 40, 8}};
    for (const Sheet &s : sheets) {
        EXPECT_EQ(s.bmp.width, s.w);
        EXPECT_EQ(s.bmp.height, s.h);
        EXPECT_NE(s.bmp.pixels, nullptr);
    }
    EXPECT_GT(spr_minimap.width, 0);
    // Cells: the sparkle of colour 3, variant 2 is cut at (16, 24); the
    // background stars are the sheet's second row.
    EXPECT_FLOAT_EQ(spr_sparkle[14].s0, 16.0f / 32);
    EXPECT_FLOAT_EQ(spr_sparkle[14].t0, 24.0f / 64);
    for (int i = 0; i < 4; i++) {
        EXPECT_FLOAT_EQ(spr_bgstar[i].s0, i * 8.0f / 32) << i;
        EXPECT_FLOAT_EQ(spr_bgstar[i].t0, 8.0f / 64) << i;
        EXPECT_EQ(spr_bgstar[i].texture, bmp_bgstar.texture);
    }
    EXPECT_NE(bmp_bgstar.texture, bmp_sparkle.texture);
    EXPECT_EQ(spr_explode[7].texture, bmp_explosion.texture);
    EXPECT_FLOAT_EQ(spr_explode[7].s0, 56.0f / 64);
}

TEST_F(AssetTest, ShipSprites_ShowTheSamePictureInAllThreeStates) {
    const s_bitmap &first = *spr_player[0].bitmap;
    ASSERT_NE(first.pixels, nullptr);
    for (int i = 1; i < 3; i++) {
        const s_bitmap &other = *spr_player[i].bitmap;
        ASSERT_NE(other.pixels, nullptr);
        EXPECT_NE(&other, &first);
        EXPECT_TRUE(std::equal(first.pixels, first.pixels + first.numpixels, other.pixels)) << i;
    }
}

TEST_F(AssetTest, Planets_AreOpaqueExactlyInsideTheCrashRadius) {
    const double radii[4] = {25, 25, 16, 16};
    for (int k = 0; k < 4; k++) {
        const s_bitmap &b = *spr_planet[k].bitmap;
        int wrong = 0;
        for (int y = 0; y < b.height; y++)
            for (int x = 0; x < b.width; x++) {
                double dx = x + 0.5 - radii[k], dy = y + 0.5 - radii[k];
                bool inside = dx * dx + dy * dy <= radii[k] * radii[k];
                bool opaque = (CGL_GetPixel(x, y, b) >> 24) != 0;
                wrong += inside != opaque;
            }
        EXPECT_EQ(wrong, 0) << "planet " << k;
    }
}

TEST_F(AssetTest, BackgroundStars_FadeFromTheNearestLayerToTheFarthest) {
    int previous = 1 << 30;
    for (int layer = 0; layer < 4; layer++) {
        int light = 0;
        for (int y = 8; y < 16; y++)
            for (int x = layer * 8; x < layer * 8 + 8; x++) {
                uint32_t c = CGL_GetPixel(x, y, bmp_bgstar);
                if (c >> 24) light += Luminance(c);
            }
        EXPECT_GT(light, 0) << layer;
        EXPECT_LT(light, previous) << layer;
        previous = light;
    }
}

TEST_F(AssetTest, Fonts_ScanToTheLettersTheGeneratorDrew) {
    for (const s_font *font : {&font_game, &font_game2}) {
        EXPECT_EQ(font->numletters, 94);
        EXPECT_EQ(font->height, assetgen::kFontHeight - 1);
        EXPECT_EQ(font->widths[0], 1);
        for (int letter = 1; letter <= 93; letter++)
            EXPECT_EQ(font->widths[letter], assetgen::GlyphAdvance(letter - 1)) << letter;
    }
    // About six pixels a letter: the name entry centres on 180 - 3 x length.
    const char *name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_";
    const double advance = cgl_textwidth(font_game, name) / 27.0;
    EXPECT_GE(advance, 5.5);
    EXPECT_LE(advance, 6.5);
}

TEST_F(AssetTest, Fonts_FitTheScreensTexts) {
    EXPECT_LE(cgl_textwidth(font_game2, "CONGRATULATIONS! YOU HAVE A NEW HIGHSCORE!"), 360 - 16);
    EXPECT_LE(cgl_textwidth(font_game, "NEW PERSONAL SCORE!!"), 360 - 16);
    EXPECT_LE(cgl_textwidth(font_game2, "PLEASE ENTER YOUR NAME BELOW:"), 360 - 16);
    // The difficulty sits between the arrows at 160 and 206 (which swing by 3).
    for (const char *d : {" EASY", "MEDIUM", " HARD"})
        EXPECT_LE(160 + cgl_textwidth(font_game2, d), 203) << d;
    EXPECT_LE(152 + 3 + cgl_textwidth(font_game, "<"), 160);
    EXPECT_LE(312 + cgl_textwidth(font_game2, "V 0.91B"), 360);
    // The HUD notice at y 232: capitals and their shadow end on the
    // screen's last row, and the whole line has ink on the screen.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    CGL_DrawCenteredText(232, font_game, "NEW PERSONAL SCORE!!");
    std::vector<uint32_t> bottom = gl_read_pixels(0, 0, 360, 8);  // screen rows 232..239
    for (int row = 0; row < 8; row++) {
        int ink = 0;
        for (int x = 0; x < 360; x++) ink += (bottom[size_t(row) * 360 + x] & 0xFFFFFF) != 0;
        EXPECT_GT(ink, 10) << "screen row " << 232 + row;
    }

    // Rendered: the congratulation line lies within the screen, with ink.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    CGL_DrawCenteredText(72, font_game2, "CONGRATULATIONS! YOU HAVE A NEW HIGHSCORE!");
    std::vector<uint32_t> band =
        gl_read_pixels(0, 240 - 72 - font_game2.height, 360, font_game2.height);
    int left = 360, right = -1;
    for (int y = 0; y < font_game2.height; y++)
        for (int x = 0; x < 360; x++)
            if (band[size_t(y) * 360 + x] & 0xFFFFFF)
                left = std::min(left, x), right = std::max(right, x);
    EXPECT_GT(left, 0);
    EXPECT_LT(right, 359);
    EXPECT_GT(right - left, 150);
}

TEST_F(AssetTest, Backdrop_JoinsBottomToTopForTheTitleScroll) {
    const s_bitmap &bg = bmp_background;
    ASSERT_NE(bg.pixels, nullptr);
    // Compare rows by the medians of 20-pixel blocks: the nebula would show a
    // seam there, single stars do not.
    auto blocks = [&](int y) {
        std::vector<int> out;
        for (int x0 = 0; x0 + 20 <= bg.width; x0 += 20) {
            int lum[20];
            for (int i = 0; i < 20; i++) lum[i] = Luminance(CGL_GetPixel(x0 + i, y, bg));
            std::nth_element(lum, lum + 10, lum + 20);
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
    const double neighbours = std::max(difference(last - 1, last), difference(0, 1));
    EXPECT_LE(difference(last, 0), 2 * neighbours + 0.5);
}

TEST_F(AssetTest, Sounds_AreMonoPcmAndTheMusicLoopsFromStartUp) {
    struct Expect {
        const s_sound &sound;
        unsigned rate;
        double min_s, max_s;
    } sounds[] = {{gamemusic, 44100, 60, 120},     {snd_explode, 44100, 0.7, 1.5},
                  {snd_pickup, 22050, 0.1, 0.25},  {snd_pressstart, 44100, 0.35, 0.7},
                  {snd_select, 44100, 0.05, 0.16}, {snd_slingshot, 44100, 0.2, 0.45}};
    for (const Expect &e : sounds) {
        EXPECT_EQ(e.sound.channels, 1);
        EXPECT_EQ(e.sound.bits, 16);
        EXPECT_EQ(e.sound.frequency, e.rate);
        ASSERT_NE(e.sound.data, nullptr);
        const double seconds = double(e.sound.numsamples) / e.rate;
        EXPECT_GE(seconds, e.min_s);
        EXPECT_LE(seconds, e.max_s);
        EXPECT_LT(e.sound.numsamples, 1u << 24);
    }
    // The pick-up's natural pitch is what combo 0 plays.
    EXPECT_EQ(snd_pickup.step, 128u);
    EXPECT_EQ(soundsystem.musicvolume, 128);
    EXPECT_EQ(gamemusic.music, 1u);
    EXPECT_EQ(gamemusic.loop, 1u);
    EXPECT_EQ(gamemusic.playing, 1);
    bool listed = false;
    for (int i = 0; i < soundsystem.numactive; i++) listed |= active_sounds[i] == &gamemusic;
    EXPECT_TRUE(listed);

    // The last sample of the music leads into the first like any other step.
    const int16_t *m = reinterpret_cast<const int16_t *>(gamemusic.data);
    const size_t n = gamemusic.numsamples;
    double typical = 0;
    for (size_t i = 0; i < 2000; i++)
        typical += std::abs(m[i + 1] - m[i]) + std::abs(m[n - 1 - i] - m[n - 2 - i]);
    typical /= 4000;
    EXPECT_LE(std::abs(m[n - 1] - m[0]), 4 * typical + 64);
}

TEST_F(AssetTest, Levels_MusicAndTwoEffectsTogetherDoNotClip) {
    auto peak = [](const s_sound &s) {
        const int16_t *d = reinterpret_cast<const int16_t *>(s.data);
        int p = 0;
        for (uint32_t i = 0; i < s.numsamples; i++) p = std::max(p, std::abs(int(d[i])));
        return p;
    };
    std::vector<int> effects = {peak(snd_explode), peak(snd_pickup), peak(snd_pressstart),
                                peak(snd_select), peak(snd_slingshot)};
    std::sort(effects.rbegin(), effects.rend());
    // The mixer's gains with every master level at 255: music 63 (volume
    // 128), effects 127; the sum is shifted down by 8 bits.
    const long worst =
        (long(peak(gamemusic)) * 63 + long(effects[0]) * 127 + long(effects[1]) * 127) >> 8;
    EXPECT_LT(worst, 32767);
    // Effects sit near -6 dBFS.
    for (int p : effects) {
        EXPECT_GT(p, 32768 * 0.4);
        EXPECT_LT(p, 32768 * 0.56);
    }
}
