// Asset generator: the small synthesiser's building blocks.
//
// Band-limited pulse (PolyBLEP) so that high notes do not alias into a hiss,
// a triangle, and a 15-bit LFSR noise like the old sound chips had.
#pragma once

#include <cmath>
#include <cstdint>

namespace assetgen {

inline double PolyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

// A pulse of the given duty at phase in [0, 1), advancing dt per sample; no DC.
inline double Pulse(double phase, double dt, double duty) {
    double v = phase < duty ? 1.0 : -1.0;
    v += PolyBlep(phase, dt);
    double p2 = phase - duty;
    if (p2 < 0) p2 += 1.0;
    v -= PolyBlep(p2, dt);
    return v - (2.0 * duty - 1.0);
}

inline double Triangle(double phase) {
    return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
}

inline double MidiHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

class Lfsr {
public:
    explicit Lfsr(uint16_t seed = 1) : s_(seed ? seed : 1) {}
    double Next() {
        unsigned bit = (s_ ^ (s_ >> 1)) & 1u;
        s_ = uint16_t((s_ >> 1) | (bit << 14));
        return (s_ & 1u) ? 1.0 : -1.0;
    }

private:
    uint16_t s_;
};

}  // namespace assetgen
