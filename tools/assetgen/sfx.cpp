// Asset generator: the sound effects.
//
// Each effect starts and ends at silence (no click when the mixer starts or
// stops it). The writer normalises every effect to the same peak.
#include <algorithm>

#include "tools/assetgen/assetgen.h"
#include "tools/assetgen/synth.h"

namespace assetgen {

namespace {

std::vector<float> Silence(double seconds, int rate) {
    return std::vector<float>(size_t(seconds * rate + 0.5), 0.f);
}

// Short linear ramps at both ends.
void Ends(std::vector<float> &s, int rate, double in_s, double out_s) {
    const size_t in = size_t(in_s * rate), out = size_t(out_s * rate);
    for (size_t i = 0; i < in && i < s.size(); i++) s[i] *= float(double(i) / in);
    for (size_t i = 0; i < out && i < s.size(); i++) s[s.size() - 1 - i] *= float(double(i) / out);
}

}  // namespace

// A bright two-step pick-up; the game raises its pitch with the combo.
std::vector<float> MakePickup() {
    const int rate = kPickupRate;
    std::vector<float> s = Silence(0.15, rate);
    double phase = 0, sub = 0;
    for (size_t i = 0; i < s.size(); i++) {
        double t = double(i) / rate;
        double hz = t < 0.045 ? MidiHz(88) : MidiHz(95);  // E6 then B6
        double dt = hz / rate;
        // One continuous envelope: a step in it at the note change would click.
        double env = t < 0.045 ? std::exp(-t * 10.0)
                               : std::exp(-0.045 * 10.0) * std::exp(-(t - 0.045) * 22.0);
        double v = 0.55 * Pulse(phase, dt, 0.25) + 0.45 * std::sin(2 * M_PI * sub);
        s[i] = float(v * env);
        phase += dt;
        phase -= std::floor(phase);
        sub += hz / 2 / rate;
        sub -= std::floor(sub);
    }
    Ends(s, rate, 0.002, 0.02);
    return s;
}

// The chain latching: a metallic clink over a plucked, bending twang.
std::vector<float> MakeSling() {
    const int rate = kEffectRate;
    std::vector<float> s = Silence(0.3, rate);
    Rng rng(0x511A6u);
    // Karplus-Strong string at G3.
    const int period = int(rate / MidiHz(55));
    std::vector<double> line(static_cast<size_t>(period));
    for (double &x : line) x = rng.Range(-1, 1);
    size_t k = 0;
    double prev = 0, phase = 0;
    for (size_t i = 0; i < s.size(); i++) {
        double t = double(i) / rate;
        double y = line[k];
        double avg = 0.5 * (y + prev) * 0.996;
        prev = y;
        line[k] = avg;
        k = (k + 1) % line.size();
        // The bend: a pulse sliding down a fifth, like a stretched spring.
        double hz = 330.0 * std::pow(0.66, t / 0.3);
        double dt = hz / rate;
        double bend = Pulse(phase, dt, 0.3) * std::exp(-t * 9.0) * 0.35;
        phase += dt;
        phase -= std::floor(phase);
        double clink = (std::sin(2 * M_PI * 2150 * t) + 0.7 * std::sin(2 * M_PI * 3370 * t) +
                        0.5 * std::sin(2 * M_PI * 4710 * t)) *
                       std::exp(-t * 60.0) * 0.4;
        s[i] = float(y * std::exp(-t * 6.0) * 0.8 + bend + clink);
    }
    Ends(s, rate, 0.001, 0.04);
    return s;
}

// A ship breaking up: a falling thump under darkening noise and crackle.
std::vector<float> MakeExplode() {
    const int rate = kEffectRate;
    std::vector<float> s = Silence(1.0, rate);
    Rng rng(0xB00Au);
    double lp1 = 0, lp2 = 0, thump = 0, crackle = 0;
    for (size_t i = 0; i < s.size(); i++) {
        double t = double(i) / rate;
        double cutoff = 200 + 3200 * std::exp(-t * 4.0);
        double a = 1 - std::exp(-2 * M_PI * cutoff / rate);
        double n = rng.Range(-1, 1);
        lp1 += a * (n - lp1);
        lp2 += a * (lp1 - lp2);
        double noise = lp2 * 2.2 * std::exp(-t * 3.2);
        double hz = 35 + 85 * std::exp(-t * 7.0);
        thump += hz / rate;
        thump -= std::floor(thump);
        double body = std::sin(2 * M_PI * thump) * std::exp(-t * 5.0) * 0.9;
        if (t < 0.45 && rng.Uniform() < 0.0025) crackle = rng.Range(-1, 1) * (1 - t / 0.45);
        crackle *= 0.985;
        s[i] = float(noise + body + crackle * 0.5);
    }
    Ends(s, rate, 0.003, 0.08);
    return s;
}

// The start chime: a rising major arpeggio ringing out with an echo.
std::vector<float> MakePressStart() {
    const int rate = kEffectRate;
    std::vector<float> s = Silence(0.5, rate);
    const int notes[] = {72, 76, 79, 84};  // C5 E5 G5 C6
    const double step = 0.06;
    for (int n = 0; n < 4; n++) {
        const double start = n * step, hz = MidiHz(notes[n]), dt = hz / rate;
        double phase = 0, tri = 0;
        for (size_t i = size_t(start * rate); i < s.size(); i++) {
            double t = double(i) / rate - start;
            double env = std::min(1.0, t / 0.004) * std::exp(-t * (n == 3 ? 5.5 : 14.0));
            double v = 0.5 * Pulse(phase, dt, 0.25) + 0.5 * Triangle(tri);
            s[i] += float(v * env * 0.6);
            phase += dt;
            phase -= std::floor(phase);
            tri += hz / 2 / rate;
            tri -= std::floor(tri);
        }
    }
    const size_t delay = size_t(0.09 * rate);
    for (size_t i = s.size(); i-- > delay;) s[i] += 0.35f * s[i - delay];
    Ends(s, rate, 0.001, 0.06);
    return s;
}

// A short menu blip.
std::vector<float> MakeSelect() {
    const int rate = kEffectRate;
    std::vector<float> s = Silence(0.1, rate);
    double phase = 0;
    for (size_t i = 0; i < s.size(); i++) {
        double t = double(i) / rate;
        double hz = t < 0.035 ? MidiHz(81) : MidiHz(88);  // A5 then E6
        double dt = hz / rate;
        double env = std::exp(-t * 18.0);
        s[i] = float(Pulse(phase, dt, 0.5) * env);
        phase += dt;
        phase -= std::floor(phase);
    }
    Ends(s, rate, 0.001, 0.015);
    return s;
}

}  // namespace assetgen
