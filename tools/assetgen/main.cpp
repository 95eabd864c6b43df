// assetgen OUTDIR: writes every picture and sound the game opens into OUTDIR.
// assetgen --icons OUTDIR: writes the application icon as OUTDIR/icon-N.png
// for each size N the desktop's icon themes use, and the 192 and 512 of an
// installable web page.
//
// The build runs it before packing the resource image, so it has to be quick
// and must write the same bytes every time.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/assetgen/assetgen.h"

using namespace assetgen;

int main(int argc, char **argv) {
    const bool icons = argc == 3 && std::string(argv[1]) == "--icons";
    if (argc != 2 && !icons) {
        std::printf("usage: assetgen OUTDIR | assetgen --icons OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[argc - 1];
    std::error_code failure;
    std::filesystem::create_directories(dir, failure);
    if (failure || !std::filesystem::is_directory(dir)) {
        std::printf("assetgen: cannot create directory %s\n", dir.c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    if (icons) {
        for (int size : {16, 32, 48, 64, 128, 192, 256, 512})
            ok = WritePng(dir + "/icon-" + std::to_string(size) + ".png", MakeIcon(size)) && ok;
        std::printf("assetgen: %s\n", ok ? "wrote icons" : "FAILED");
        return ok ? 0 : 1;
    }
    auto picture = [&](const char *name, const Image &img, bool alpha) {
        ok = WriteTga(dir + "/" + name, img, alpha) && ok;
    };
    auto sound = [&](const char *name, const std::vector<float> &signal, int rate, double peak) {
        ok = WriteWav(dir + "/" + name, ToPcm(signal, peak), rate) && ok;
    };

    picture("spacebg.tga", MakeBackdrop(), false);
    picture("titlelogo64.tga", MakeLogo(), true);
    picture("font_game.tga", MakeFont(0), true);
    picture("font_game2.tga", MakeFont(1), true);
    picture("ship.tga", MakeShip(), true);
    picture("minimap3.tga", MakeMiniMap(), true);
    picture("miniplanets.tga", MakeMiniPlanets(), true);
    picture("planet1.tga", MakePlanet(0), true);
    picture("planet1b.tga", MakePlanet(1), true);
    picture("planet2.tga", MakePlanet(2), true);
    picture("planet2b.tga", MakePlanet(3), true);
    picture("stars2.tga", MakeStars(), true);
    picture("stardots.tga", MakeStarDots(), true);
    picture("chaindots3.tga", MakeChain(), true);
    picture("explode.tga", MakeExplosion(), true);

    // Effects peak near -6 dBFS and the music near -1 dBFS: the music plays at
    // half the effects' gain, so music and two effects together do not clip.
    constexpr double kEffectPeak = 0.5;
    sound("qomusic.wav", MakeMusic(), kMusicRate, 0.89);
    sound("explode.wav", MakeExplode(), kEffectRate, kEffectPeak);
    sound("pickup.wav", MakePickup(), kPickupRate, kEffectPeak);
    sound("pressstart.wav", MakePressStart(), kEffectRate, kEffectPeak);
    sound("select.wav", MakeSelect(), kEffectRate, kEffectPeak);
    sound("sling.wav", MakeSling(), kEffectRate, kEffectPeak);

    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("assetgen: %s in %.0f ms\n", ok ? "wrote assets" : "FAILED", ms);
    return ok ? 0 : 1;
}
