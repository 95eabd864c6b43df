// The portable trigonometry against this desktop's C library, over the
// headings the game can pass (float degrees from -30 to 390, every 1021st
// float there): within two ulps, and after the game's rounding to float
// the very same numbers, so the desktop game flies as it always flew.
// atan2 keeps the library's quadrants, zeros and infinities.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "game/gamemath.h"

namespace {

double Ulps(double a, double b) {
    if (a == b) return 0;
    return std::fabs(a - b) / std::fabs(std::nextafter(b, INFINITY) - b);
}

}  // namespace

TEST(GameMath, MatchesTheLibraryOnTheGamesHeadings) {
    constexpr double kPi = 3.14159265358979323846;
    double worst = 0;
    long differing = 0, n = 0;
    // Every 1021st float of each sign, by its bit pattern.
    for (uint32_t bits = 0; bits < 0x43C30000u; bits += 1021) {  // 0 .. 390
        for (float sign : {1.0f, -1.0f}) {
            float f;
            std::memcpy(&f, &bits, sizeof f);
            f *= sign;
            if (f < -30.0f) continue;
            double a = f * kPi / 180.0;
            double s = GameSin(a), c = GameCos(a);
            worst = std::fmax(worst, std::fmax(Ulps(s, std::sin(a)), Ulps(c, std::cos(a))));
            if ((float)s != (float)std::sin(a) || (float)c != (float)std::cos(a)) differing++;
            double y = std::sin(a) * 300, x = std::cos(a) * -170;
            worst = std::fmax(worst, Ulps(GameAtan2(y, x), std::atan2(y, x)));
            n++;
        }
    }
    EXPECT_GT(n, 2000000);
    EXPECT_LE(worst, 3.0);
    EXPECT_EQ(differing, 0);

    const double cases[][2] = {{0.0, 1.0},  {-0.0, 1.0},      {0.0, -1.0},     {-0.0, -0.0},
                               {1.0, 0.0},  {-1.0, -0.0},     {INFINITY, 1.0}, {1.0, -INFINITY},
                               {-3.0, 4.0}, {-1e-300, -1e300}};
    for (const auto &c : cases) {
        double mine = GameAtan2(c[0], c[1]), lib = std::atan2(c[0], c[1]);
        EXPECT_LE(Ulps(mine, lib), 3.0) << c[0] << ", " << c[1];
        EXPECT_EQ(std::signbit(mine), std::signbit(lib)) << c[0] << ", " << c[1];
    }
    EXPECT_TRUE(std::isnan(GameSin(INFINITY)));
    EXPECT_TRUE(std::isnan(GameCos(NAN)));
}
