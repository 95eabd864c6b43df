// Asset generator: the game's music, a chiptune loop made by a small synthesiser.
//
// 48 bars of 4/4 at 120 beats per minute (96 seconds) in A minor: an intro of
// bass, arpeggio and drums; a theme that asks (ending on the dominant) and
// answers (ending on the tonic); a second theme; the theme again with a
// harmony voice; a half-time bridge; the theme once more; and an outro that
// leads back into the intro. Voices: a pulse lead (with echo), a pulse
// harmony, a thin pulse arpeggio, a 4-bit triangle bass and LFSR noise drums.
//
// Everything is rendered into a circular buffer: the tail of a note that rings
// past the end wraps round to the start, and the echo and filter run round the
// loop twice, so the end joins the start exactly as continuous playing would.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tools/assetgen/assetgen.h"
#include "tools/assetgen/synth.h"

namespace assetgen {

namespace {

constexpr double kBpm = 120.0;
constexpr double kStep = 60.0 / kBpm / 4.0;  // one sixteenth, seconds
constexpr int kStepsPerBar = 16;

struct Bar {
    const char *chord;  // "Am", "F", "E" ...
    const char *lead;   // "A4:3 C5:3 ..." lengths in sixteenths; "-" rests; "" none
    char drums;         // 'n' none, 'h' hats, 'k' kick+hats, 'm' main, 'd' driving,
                        // 'f' fill, 'b' bridge (half time)
    char bass;          // 'o' octaves in eighths, 'l' long notes, 'p' pulsing root
    char arp;           // 's' sixteenths, 'e' eighths
    bool harmony;       // a third below the lead
};

// clang-format off
const Bar kSong[] = {
    // Intro
    {"Am", "", 'h', 'p', 's', false},
    {"F",  "", 'h', 'p', 's', false},
    {"C",  "", 'k', 'o', 's', false},
    {"G",  "", 'f', 'o', 's', false},
    // Theme A: question (bars 1-4) and answer (bars 5-8)
    {"Am", "A4:3 C5:3 E5:2 A5:4 G5:2 E5:2", 'm', 'o', 's', false},
    {"F",  "F5:6 E5:2 C5:4 A4:4",           'm', 'o', 's', false},
    {"C",  "G4:3 C5:3 E5:2 G5:4 E5:2 C5:2", 'm', 'o', 's', false},
    {"G",  "D5:6 B4:2 G4:6 -:2",            'm', 'o', 's', false},
    {"Am", "A4:3 C5:3 E5:2 A5:4 B5:2 C6:2", 'm', 'o', 's', false},
    {"F",  "A5:6 G5:2 F5:4 E5:4",           'm', 'o', 's', false},
    {"G",  "D5:3 E5:3 G5:2 B5:4 A5:2 G5:2", 'm', 'o', 's', false},
    {"Am", "A5:12 -:4",                     'f', 'o', 's', false},
    // Theme B
    {"F",  "C5:2 F5:2 A5:2 C6:4 A5:2 G5:2 F5:2", 'd', 'o', 's', false},
    {"G",  "G5:6 D5:2 B4:4 D5:4",                'd', 'o', 's', false},
    {"Em", "E5:2 G5:2 B5:2 E6:4 D6:2 B5:2 G5:2", 'd', 'o', 's', false},
    {"Am", "A5:8 E5:4 C5:4",                     'd', 'o', 's', false},
    {"F",  "F5:3 A5:3 C6:2 A5:4 F5:4",           'd', 'o', 's', false},
    {"G",  "G5:3 B5:3 D6:2 B5:4 G5:4",           'd', 'o', 's', false},
    {"E",  "G#5:4 B5:4 E6:4 D6:2 B5:2",          'd', 'o', 's', false},
    {"E",  "G#5:6 A5:2 B5:8",                    'f', 'o', 's', false},
    // Theme A with harmony
    {"Am", "A4:3 C5:3 E5:2 A5:4 G5:2 E5:2", 'm', 'o', 's', true},
    {"F",  "F5:6 E5:2 C5:4 A4:4",           'm', 'o', 's', true},
    {"C",  "G4:3 C5:3 E5:2 G5:4 E5:2 C5:2", 'm', 'o', 's', true},
    {"G",  "D5:6 B4:2 G4:6 -:2",            'm', 'o', 's', true},
    {"Am", "A4:3 C5:3 E5:2 A5:4 B5:2 C6:2", 'm', 'o', 's', true},
    {"F",  "A5:6 G5:2 F5:4 E5:4",           'm', 'o', 's', true},
    {"G",  "D5:3 E5:3 G5:2 B5:4 A5:2 G5:2", 'm', 'o', 's', true},
    {"Am", "A5:12 -:4",                     'f', 'o', 's', true},
    // Bridge, half time
    {"Dm", "D5:8 F5:8",           'b', 'l', 'e', false},
    {"Em", "E5:8 G5:8",           'b', 'l', 'e', false},
    {"F",  "A5:12 G5:4",          'b', 'l', 'e', false},
    {"G",  "B5:8 D6:8",           'b', 'l', 'e', false},
    {"Dm", "F5:8 A5:8",           'b', 'l', 'e', true},
    {"Em", "G5:8 B5:8",           'b', 'l', 'e', true},
    {"F",  "C6:8 A5:4 F5:4",      'b', 'l', 'e', true},
    {"E",  "G#5:8 B5:4 E5:4",     'f', 'o', 'e', false},
    // Theme A, last time
    {"Am", "A4:3 C5:3 E5:2 A5:4 G5:2 E5:2", 'd', 'o', 's', true},
    {"F",  "F5:6 E5:2 C5:4 A4:4",           'd', 'o', 's', true},
    {"C",  "G4:3 C5:3 E5:2 G5:4 E5:2 C5:2", 'd', 'o', 's', true},
    {"G",  "D5:6 B4:2 G4:6 -:2",            'd', 'o', 's', true},
    {"Am", "A4:3 C5:3 E5:2 A5:4 B5:2 C6:2", 'd', 'o', 's', true},
    {"F",  "A5:6 G5:2 F5:4 E5:4",           'd', 'o', 's', true},
    {"G",  "D5:3 E5:3 G5:2 B5:4 A5:2 G5:2", 'd', 'o', 's', true},
    {"Am", "A5:12 -:4",                     'm', 'o', 's', true},
    // Outro, leading back to the intro
    {"Am", "A5:4 E5:4 C5:4 E5:4", 'm', 'o', 's', false},
    {"F",  "F5:4 C5:4 A4:4 C5:4", 'm', 'o', 's', false},
    {"G",  "G5:4 D5:4 B4:4 D5:4", 'm', 'o', 's', false},
    {"E",  "E5:8 G#4:8",          'f', 'o', 's', false},
};
// clang-format on
constexpr int kBars = int(sizeof(kSong) / sizeof(kSong[0]));

[[noreturn]] void Fail(const char *what, const std::string &token) {
    std::printf("assetgen: bad %s '%s' in the music\n", what, token.c_str());
    std::exit(1);
}

int PitchClass(char c) {
    switch (c) {
        case 'C':
            return 0;
        case 'D':
            return 2;
        case 'E':
            return 4;
        case 'F':
            return 5;
        case 'G':
            return 7;
        case 'A':
            return 9;
        case 'B':
            return 11;
        default:
            return -1;
    }
}

struct Chord {
    int root;  // pitch class
    bool minor;
};

Chord ParseChord(const std::string &name) {
    int pc = name.empty() ? -1 : PitchClass(name[0]);
    if (pc < 0) Fail("chord", name);
    return {pc, name.size() > 1 && name[1] == 'm'};
}

struct Note {
    double start, length;  // seconds
    int midi;              // -1: rest
};

// "G#5:6" -> MIDI note 80 for six sixteenths.
std::vector<Note> ParseLead(const char *text, double bar_start) {
    std::vector<Note> notes;
    std::istringstream in(text);
    std::string token;
    double t = bar_start;
    while (in >> token) {
        size_t colon = token.find(':');
        if (colon == std::string::npos) Fail("note", token);
        int steps = std::atoi(token.c_str() + colon + 1);
        if (steps <= 0) Fail("note length", token);
        int midi = -1;
        if (token[0] != '-') {
            int pc = PitchClass(token[0]);
            size_t i = 1;
            if (i < colon && token[i] == '#') pc++, i++;
            if (pc < 0 || i >= colon) Fail("note", token);
            midi = 12 * (std::atoi(token.c_str() + i) + 1) + pc;
        }
        notes.push_back({t, steps * kStep, midi});
        t += steps * kStep;
    }
    if (!notes.empty() && std::fabs(t - bar_start - kStepsPerBar * kStep) > 1e-9)
        Fail("bar length", text);
    return notes;
}

// A third below in A minor (G# counts as G): the harmony voice.
int ThirdBelow(int midi) {
    static const int scale[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    int pc = midi % 12, octave = midi / 12;
    if (pc == 8) pc = 7;
    for (int i = 0; i < 7; i++)
        if (scale[i] == pc) {
            int target = scale[(i + 5) % 7];
            int below = octave * 12 + target;
            while (below >= midi) below -= 12;
            return below;
        }
    return midi - 3;
}

class Track {
public:
    explicit Track(size_t n) : buf_(n, 0.f) {}
    size_t Size() const { return buf_.size(); }
    std::vector<float> &Data() { return buf_; }
    // Index of time t in the loop, wrapped.
    size_t Index(double t) const {
        long n = long(buf_.size()), i = std::lround(t * kMusicRate);
        return size_t(((i % n) + n) % n);
    }
    // Adds v at index i and moves i on by one sample, wrapping round the loop.
    void Add(size_t &i, double v) {
        buf_[i] += float(v);
        if (++i == buf_.size()) i = 0;
    }

private:
    std::vector<float> buf_;
};

// Attack, exponential decay to a sustain level, linear release after `held`
// seconds; stepped one sample at a time.
class Envelope {
public:
    struct Shape {
        double attack, decay, sustain, release;
    };
    Envelope(const Shape &s, double held)
        : s_(s),
          held_(long(held * kMusicRate)),
          attack_(std::max(1L, long(s.attack * kMusicRate))),
          fall_(std::exp(-1.0 / (s.decay * kMusicRate))),
          release_(std::max(1L, long(s.release * kMusicRate))) {}
    long Length() const { return held_ + release_; }
    double Next() {
        double level;
        if (i_ < attack_) {
            level = double(i_) / attack_;
        } else {
            level = s_.sustain + (1 - s_.sustain) * d_;
            d_ *= fall_;
        }
        if (i_ == held_) from_ = level;
        if (i_ >= held_) level = from_ * std::max(0.0, 1.0 - double(i_ - held_) / release_);
        i_++;
        return level;
    }

private:
    Shape s_;
    long held_, attack_;
    double fall_;
    long release_;
    long i_ = 0;
    double d_ = 1.0, from_ = 0.0;
};

void PulseNote(Track &tr, double start, double length, double midi, double duty, double gain,
               const Envelope::Shape &shape, double vibrato) {
    const double rate = kMusicRate;
    Envelope env(shape, std::max(0.01, length - 0.012));
    const long n = env.Length();
    const double base_dt = MidiHz(midi) / rate;
    const long vib_start = long(0.14 * rate), vib_ramp = long(0.25 * rate);
    const double vib_w = 2 * M_PI * 5.5 / rate, semitone = std::log(2.0) / 12.0;
    size_t at = tr.Index(start);
    double phase = 0;
    for (long i = 0; i < n; i++) {
        double dt = base_dt;
        if (vibrato > 0 && i > vib_start) {
            double depth = vibrato * std::min(1.0, double(i - vib_start) / vib_ramp);
            // A fraction of a semitone: the linear term of 2^(x/12) is enough.
            dt *= 1 + semitone * depth * std::sin(vib_w * double(i - vib_start));
        }
        tr.Add(at, gain * env.Next() * Pulse(phase, dt, duty));
        phase += dt;
        if (phase >= 1) phase -= 1;
    }
}

void BassNote(Track &tr, double start, double length, int midi, double gain) {
    const double rate = kMusicRate;
    Envelope env({0.004, 0.2, 0.75, 0.03}, std::max(0.01, length - 0.015));
    const long n = env.Length();
    size_t at = tr.Index(start);
    const double dt = MidiHz(midi) / rate;
    double phase = 0;
    for (long i = 0; i < n; i++) {
        // 4-bit steps, as the old triangle channels had.
        double v = std::floor(Triangle(phase) * 7.5 + 0.5) / 7.5;
        tr.Add(at, gain * env.Next() * v);
        phase += dt;
        if (phase >= 1) phase -= 1;
    }
}

void Kick(Track &tr, double start, double gain) {
    const double rate = kMusicRate;
    size_t at = tr.Index(start);
    double phase = 0;
    for (long i = 0; i < long(0.22 * rate); i++) {
        double t = i / rate;
        double hz = 45 + 120 * std::exp(-t * 38);
        phase += hz / rate;
        double env = std::min(1.0, t / 0.001) * std::exp(-t * 16);
        tr.Add(at, gain * env * std::sin(2 * M_PI * phase));
    }
}

void Snare(Track &tr, Lfsr &noise, double start, double gain) {
    const double rate = kMusicRate;
    size_t at = tr.Index(start);
    double prev = 0, phase = 0;
    for (long i = 0; i < long(0.2 * rate); i++) {
        double t = i / rate;
        double n = noise.Next();
        double bright = n - 0.5 * prev;  // tilt towards the highs
        prev = n;
        phase += 190.0 / rate;
        double tone = std::sin(2 * M_PI * phase) * std::exp(-t * 35);
        double env = std::min(1.0, t / 0.001) * std::exp(-t * 20);
        tr.Add(at, gain * (0.75 * bright * env + 0.5 * tone));
    }
}

void Hat(Track &tr, Lfsr &noise, double start, double gain, double decay, double length) {
    const double rate = kMusicRate;
    size_t at = tr.Index(start);
    double prev = 0;
    for (long i = 0; i < long(length * rate); i++) {
        double t = i / rate;
        double n = noise.Next();
        double high = n - prev;  // a first difference: only the hiss
        prev = n;
        tr.Add(at, gain * high * 0.5 * std::exp(-t * decay));
    }
}

struct DrumPattern {
    const char *kick, *snare, *hat;
};

DrumPattern Pattern(char kind) {
    switch (kind) {
        case 'h':
            return {"................", "................", "h.h.h.h.h.h.h.h."};
        case 'k':
            return {"K.......K.......", "................", "h.h.h.h.h.h.h.h."};
        case 'm':
            return {"K.......K.K.....", "....S.......S...", "h.h.h.h.h.h.h.o."};
        case 'd':
            return {"K.....K.K.K.....", "....S.......S..s", "hhh.hhh.hhh.hhh."};
        case 'f':
            return {"K.......K.K.....", "....S.....s.SsSS", "h.h.h.h.h.h....."};
        case 'b':
            return {"K..........K....", "........S.......", "h.h.h.h.h.h.h.ho"};
        default:
            return {"................", "................", "................"};
    }
}

void ApplyEcho(std::vector<float> &x, double delay_s, double feedback, double wet) {
    const size_t d = size_t(delay_s * kMusicRate), n = x.size();
    std::vector<float> line(d, 0.f), out(n);
    size_t k = 0;
    for (int pass = 0; pass < 2; pass++)  // round the loop twice: the echo wraps too
        for (size_t i = 0; i < n; i++) {
            double echoed = line[k];
            line[k] = float(x[i] + echoed * feedback);
            if (++k == d) k = 0;
            if (pass == 1) out[i] = float(x[i] + wet * echoed);
        }
    x.swap(out);
}

void LowPass(std::vector<float> &x, double hz) {
    const double a = 1 - std::exp(-2 * M_PI * hz / kMusicRate);
    double y = 0;
    for (int pass = 0; pass < 2; pass++)
        for (float &v : x) {
            y += a * (v - y);
            if (pass == 1) v = float(y);
        }
}

}  // namespace

std::vector<float> MakeMusic() {
    const double bar_s = kStepsPerBar * kStep;
    const size_t n = size_t(std::lround(kBars * bar_s * kMusicRate));
    Track lead(n), band(n);  // the lead goes through the echo, the band does not
    Track &bass = band, &arp = band, &drums = band;
    Lfsr noise(0x4A5B);
    const Envelope::Shape lead_env{0.005, 0.09, 0.68, 0.05};
    const Envelope::Shape harm_env{0.008, 0.12, 0.6, 0.05};
    const Envelope::Shape arp_env{0.002, 0.045, 0.0, 0.02};

    for (int b = 0; b < kBars; b++) {
        const Bar &bar = kSong[b];
        const double t0 = b * bar_s;
        const Chord chord = ParseChord(bar.chord);
        const int third = chord.minor ? 3 : 4;
        const int root = 36 + chord.root + (chord.root <= 4 ? 12 : 0);  // D2..B2 range

        for (const Note &note : ParseLead(bar.lead, t0)) {
            if (note.midi < 0) continue;
            PulseNote(lead, note.start, note.length, note.midi, 0.25, 0.30, lead_env, 0.16);
            if (bar.harmony)
                PulseNote(lead, note.start, note.length, ThirdBelow(note.midi), 0.5, 0.13, harm_env,
                          0.0);
        }

        // Bass.
        if (bar.bass == 'o') {
            for (int s = 0; s < 16; s += 2)
                BassNote(bass, t0 + s * kStep, 2 * kStep, root + ((s / 2) % 2 ? 12 : 0), 0.40);
        } else if (bar.bass == 'p') {
            for (int s = 0; s < 16; s += 2) BassNote(bass, t0 + s * kStep, 2 * kStep, root, 0.36);
        } else {
            BassNote(bass, t0, 8 * kStep, root, 0.42);
            BassNote(bass, t0 + 8 * kStep, 6 * kStep, root + 7, 0.40);
            BassNote(bass, t0 + 14 * kStep, 2 * kStep, root + 12, 0.36);
        }

        // Arpeggio: root, third, fifth, octave, in the octave above middle C's A.
        const int chord_tones[4] = {0, third, 7, 12};
        const int base = 57 + ((chord.root - 9 + 12) % 12);
        const int arp_base = base > 62 ? base - 12 : base;
        const int step = bar.arp == 'e' ? 2 : 1;
        for (int s = 0; s < 16; s += step) {
            int tone = arp_base + chord_tones[(s / step) % 4] + 12;
            PulseNote(arp, t0 + s * kStep, step * kStep, tone, 0.125, bar.arp == 'e' ? 0.10 : 0.085,
                      arp_env, 0.0);
        }

        // Drums.
        const DrumPattern p = Pattern(bar.drums);
        for (int s = 0; s < 16; s++) {
            const double t = t0 + s * kStep;
            if (p.kick[s] == 'K') Kick(drums, t, 0.62);
            if (p.snare[s] == 'S') Snare(drums, noise, t, 0.34);
            if (p.snare[s] == 's') Snare(drums, noise, t, 0.2);
            if (p.hat[s] == 'h') Hat(drums, noise, t, (s % 4 == 0) ? 0.12 : 0.08, 70, 0.06);
            if (p.hat[s] == 'o') Hat(drums, noise, t, 0.09, 14, 0.2);
        }
    }

    ApplyEcho(lead.Data(), 3 * kStep, 0.32, 0.3);
    std::vector<float> &mix = band.Data();
    for (size_t i = 0; i < n; i++) mix[i] += lead.Data()[i];
    LowPass(mix, 11000);
    double mean = 0;
    for (float v : mix) mean += v;
    mean /= double(n);
    // A gentle soft clip: the kick's peaks give way, so the whole loop can sit
    // louder under the effects.
    float largest = 0;
    for (float &v : mix) {
        v = float(v - mean);
        largest = std::max(largest, std::fabs(v));
    }
    const double drive = 1.5, norm = largest > 0 ? 1.0 / largest : 0.0;
    for (float &v : mix) v = float(std::tanh(drive * v * norm) / std::tanh(drive));
    return mix;
}

}  // namespace assetgen
