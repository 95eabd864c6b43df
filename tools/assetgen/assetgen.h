// Asset generator: shared pieces.
//
// Every picture and sound of the game is made here from code and text grids,
// deterministically: the only randomness is the generator's own seeded PRNG,
// so two runs write the same bytes.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace assetgen {

// xorshift64*: small, fast and the same everywhere (never the C library's rand()).
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint32_t Next() {
        s_ ^= s_ >> 12;
        s_ ^= s_ << 25;
        s_ ^= s_ >> 27;
        return static_cast<uint32_t>((s_ * 0x2545F4914F6CDD1Dull) >> 32);
    }
    double Uniform() { return Next() * (1.0 / 4294967296.0); }  // [0, 1)
    double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    int Below(int n) { return static_cast<int>(Uniform() * n); }

private:
    uint64_t s_;
};

struct Rgba {
    uint8_t r, g, b, a;
};

inline bool operator==(Rgba p, Rgba q) {
    return p.r == q.r && p.g == q.g && p.b == q.b && p.a == q.a;
}

// Transparent pixels carry the magenta colour key and alpha 0, so that they
// vanish both through the loader's key and through the alpha test.
constexpr Rgba kClear = {255, 0, 255, 0};

inline Rgba Opaque(int r, int g, int b) {
    auto c = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    return {c(r), c(g), c(b), 255};
}
inline Rgba OpaqueF(double r, double g, double b) {
    return Opaque(static_cast<int>(std::lround(r)), static_cast<int>(std::lround(g)),
                  static_cast<int>(std::lround(b)));
}

struct Image {
    int width = 0, height = 0;
    std::vector<Rgba> pixels;  // row-major, top row first

    Image() = default;
    Image(int w, int h, Rgba fill = kClear) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    Rgba &At(int x, int y) { return pixels[size_t(y) * width + x]; }
    Rgba At(int x, int y) const { return pixels[size_t(y) * width + x]; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    void Set(int x, int y, Rgba c) {
        if (Inside(x, y)) At(x, y) = c;
    }
    // Copies src into this picture at (dx, dy), transparent pixels of src left out.
    void Blit(const Image &src, int dx, int dy);
};

// A palette entry of a text grid: the character and the colour it stands for.
struct PaletteEntry {
    char key;
    Rgba colour;
};
// Draws a grid of equal-length rows at (x, y); '.' (or any unknown key) is left alone.
void DrawGrid(Image &img, int x, int y, const std::vector<std::string> &rows,
              const std::vector<PaletteEntry> &palette);

// Value noise on a lattice of px by py cells that wraps on both axes; (u, v) in [0, 1).
double PeriodicNoise(double u, double v, int px, int py, uint32_t seed);
// Octaves of PeriodicNoise, each with twice the cells of the one before; result in [0, 1].
double PeriodicFbm(double u, double v, int px, int py, int octaves, uint32_t seed);

// ---- writers -------------------------------------------------------------
// True-colour TGA, top-left origin; run-length coded when that is smaller.
bool WriteTga(const std::string &path, const Image &img, bool with_alpha);
std::vector<uint8_t> EncodeTga(const Image &img, bool with_alpha);
// 16-bit PCM, mono, canonical 44-byte header.
bool WriteWav(const std::string &path, const std::vector<int16_t> &samples, int rate);
// RGBA PNG through stb_image_write; clear pixels become transparent black.
bool WritePng(const std::string &path, const Image &img);
// Scales a float signal so that its largest magnitude is `peak` of full scale.
std::vector<int16_t> ToPcm(const std::vector<float> &signal, double peak);

// ---- the pictures --------------------------------------------------------
Image MakeBackdrop();        // spacebg.tga, 1460 x 1080, tiles top to bottom
Image MakeLogo();            // titlelogo64.tga
Image MakeFont(int face);    // font_game.tga (face 0), font_game2.tga (face 1)
Image MakeShip();            // ship.tga
Image MakePlanet(int kind);  // 0 planet1, 1 planet1b (r 25), 2 planet2, 3 planet2b (r 16)
Image MakeStars();           // stars2.tga
Image MakeStarDots();        // stardots.tga
Image MakeChain();           // chaindots3.tga
Image MakeExplosion();       // explode.tga
Image MakeMiniPlanets();     // miniplanets.tga
Image MakeMiniMap();         // minimap3.tga
Image MakeIcon(int size);    // the application icon, size by size pixels

// ---- the sounds ----------------------------------------------------------
constexpr int kPickupRate = 22050;
constexpr int kEffectRate = 44100;
constexpr int kMusicRate = 44100;
std::vector<float> MakePickup();
std::vector<float> MakeSling();
std::vector<float> MakeExplode();
std::vector<float> MakePressStart();
std::vector<float> MakeSelect();
std::vector<float> MakeMusic();

// The eight star colours, shared by stars2.tga, stardots.tga and miniplanets.tga.
extern const Rgba kStarColours[8];

}  // namespace assetgen
