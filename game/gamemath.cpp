// Portable sin, cos and atan2. See gamemath.h.
//
// sin and cos: the argument is brought into -pi/4..pi/4 by subtracting a
// multiple k of pi/2, held in three parts whose first two have short
// mantissas, so that k times each of them is exact for |k| < 2^20 (a game
// that ran for days); the remainder then goes into the Taylor polynomials,
// whose dropped terms lie far below the last bit there. atan2 folds its
// quotient into 0..1, moves it next to zero by the pi/4 step and one
// halving of the angle, and sums the series there.
#include "game/gamemath.h"

#include <cmath>

namespace {

constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
// pi/2 = kPio2a + kPio2b + kPio2c; a and b carry 33 significant bits each.
constexpr double kPio2a = 0x1.921fb54400000p+0;
constexpr double kPio2b = 0x1.0b4611a600000p-34;
constexpr double kPio2c = 0x1.3198a2e037073p-69;
constexpr double kPi = 0x1.921fb54442d18p+1;
constexpr double kPio2 = 0x1.921fb54442d18p+0;
constexpr double kPio4 = 0x1.921fb54442d18p-1;
constexpr double kTanPio8 = 0x1.a827999fcef32p-2;

// 1/3!, 1/5!, ... with alternating signs, correctly rounded.
constexpr double kSin[] = {
    -0x1.5555555555555p-3,  0x1.1111111111111p-7,  -0x1.a01a01a01a01ap-13, 0x1.71de3a556c734p-19,
    -0x1.ae64567f544e4p-26, 0x1.6124613a86d09p-33, -0x1.ae7f3e733b81fp-41, 0x1.952c77030ad4ap-49,
};
// 1/4!, 1/6!, ... with alternating signs.
constexpr double kCos[] = {
    0x1.5555555555555p-5,  -0x1.6c16c16c16c17p-10, 0x1.a01a01a01a01ap-16, -0x1.27e4fb7789f5cp-22,
    0x1.1eed8eff8d898p-29, -0x1.93974a8c07c9dp-37, 0x1.ae7f3e733b81fp-45,
};

double SinKernel(double r) {
    double z = r * r;
    double p = kSin[7];
    for (int i = 6; i >= 0; i--) p = kSin[i] + z * p;
    return r + r * (z * p);
}

double CosKernel(double r) {
    double z = r * r;
    double p = kCos[6];
    for (int i = 5; i >= 0; i--) p = kCos[i] + z * p;
    return (1.0 - 0.5 * z) + (z * z) * p;
}

// x = k pi/2 + r with |r| <= about pi/4; returns k mod 4.
int Reduce(double x, double *r) {
    double k = std::floor(x * kTwoOverPi + 0.5);
    *r = ((x - k * kPio2a) - k * kPio2b) - k * kPio2c;
    double quarter = k - 4.0 * std::floor(k * 0.25);
    return static_cast<int>(quarter);
}

// atan of 0 <= t <= tan(pi/8), after one halving: |u| <= tan(pi/16).
double AtanSmall(double t) {
    double u = t / (1.0 + std::sqrt(1.0 + t * t));
    double z = u * u;
    double p = 0;
    for (int n = 12; n >= 1; n--) p = ((n % 2) ? -1.0 : 1.0) / (2 * n + 1) + z * p;
    return 2.0 * (u + u * (z * p));
}

// atan of 0 <= t <= 1.
double AtanUnit(double t) {
    if (t <= kTanPio8) return AtanSmall(t);
    // atan t = pi/4 + atan((t - 1) / (t + 1)), the second argument in -tan(pi/8)..0.
    double v = (t - 1.0) / (t + 1.0);
    return kPio4 - AtanSmall(-v);
}

}  // namespace

double GameSin(double x) {
    if (!std::isfinite(x)) return x - x;  // NaN, as the library gives
    double r;
    switch (Reduce(x, &r)) {
        case 0:
            return SinKernel(r);
        case 1:
            return CosKernel(r);
        case 2:
            return -SinKernel(r);
        default:
            return -CosKernel(r);
    }
}

double GameCos(double x) {
    if (!std::isfinite(x)) return x - x;
    double r;
    switch (Reduce(x, &r)) {
        case 0:
            return CosKernel(r);
        case 1:
            return -SinKernel(r);
        case 2:
            return -CosKernel(r);
        default:
            return SinKernel(r);
    }
}

double GameAtan2(double y, double x) {
    if (std::isnan(x) || std::isnan(y)) return x + y;
    bool negative = std::signbit(y);
    double ay = std::fabs(y), ax = std::fabs(x);
    double a;
    if (ay == 0.0) {
        a = std::signbit(x) ? kPi : 0.0;
    } else if (ax == 0.0) {
        a = kPio2;
    } else if (std::isinf(ax) || std::isinf(ay)) {
        // Both infinite: the diagonal; one infinite: its axis.
        a = (std::isinf(ax) && std::isinf(ay)) ? kPio4 : (std::isinf(ay) ? kPio2 : 0.0);
        if (std::signbit(x)) a = kPi - a;
    } else {
        a = ay <= ax ? AtanUnit(ay / ax) : kPio2 - AtanUnit(ax / ay);
        if (std::signbit(x)) a = kPi - a;
    }
    return negative ? -a : a;
}
