// The mixer's cost for one 2048-frame stereo buffer with 16 sounds playing
// (mono and stereo sources, 8 and 16 bits, several rates, all looping), in
// microseconds and as a share of the 46.4 ms the buffer lasts at 44100 Hz.
// Target: below 0.5 %.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "corefile/corefile.h"
#include "sound/sound.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes &out, uint32_t v) {
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}

void put32(Bytes &out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back((uint8_t)(v >> (8 * i)));
}

Bytes wav(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t frames) {
    uint32_t datasize = frames * channels * (bits / 8);
    Bytes out = {'R', 'I', 'F', 'F'};
    put32(out, datasize + 36);
    for (char c : std::string("WAVEfmt ")) out.push_back((uint8_t)c);
    put32(out, 16);
    put16(out, 1);
    put16(out, channels);
    put32(out, rate);
    put32(out, rate * channels * (bits / 8));
    put16(out, channels * (bits / 8));
    put16(out, bits);
    for (char c : std::string("data")) out.push_back((uint8_t)c);
    put32(out, datasize);
    uint32_t noise = 12345;
    for (uint32_t i = 0; i < datasize; i++) {
        noise = noise * 1103515245u + 12345u;
        out.push_back((uint8_t)(noise >> 16));
    }
    return out;
}

Bytes image(const std::string &name, const Bytes &file) {
    Bytes out = {'C', 'O', 'R', 'E'};
    put32(out, 1);
    uint32_t offset = 12 + 12 + (uint32_t)name.size();
    put32(out, offset + (uint32_t)file.size());
    put32(out, (uint32_t)name.size());
    put32(out, (uint32_t)corefile_gethash(name.c_str()));
    out.insert(out.end(), name.begin(), name.end());
    put32(out, offset);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

}  // namespace

int main() {
    // Start as the game does, then close the device so that only this
    // program runs the mixer.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // The engine's start-up and loading lines are not part of the figures.
    std::fflush(stdout);
    int saved = dup(1);
    int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) dup2(devnull, 1);
    Soundsystem_Init(44100, 16, 2);
    audiodriver_close();

    static s_sound sounds[16];
    const uint32_t rates[] = {44100, 22050, 11025, 32000};
    for (int i = 0; i < 16; i++) {
        uint16_t channels = (i & 1) ? 2 : 1;
        uint16_t bits = (i & 2) ? 8 : 16;
        Bytes file = wav(channels, bits, rates[(i >> 2) & 3], 30000 + 1000 * i);
        Bytes img = image("s.wav", file);
        corefile_mountmemory(img.data(), img.size());
        Soundsystem_LoadSound("s.wav", &sounds[i]);
        corefile_closeimage();
        Soundsystem_SetPanning(&sounds[i], i * 16);
        if (i % 5 == 0) {
            Soundsystem_PlayMusic(&sounds[i], 1);
        } else {
            Soundsystem_PlaySound(&sounds[i], 1);
        }
    }
    std::fflush(stdout);
    if (saved >= 0) dup2(saved, 1);
    if (devnull >= 0) close(devnull);

    std::vector<uint8_t> buffer(SOUNDSYSTEM_BUFFERFRAMES * 4);
    for (int i = 0; i < 200; i++) audiodriver_mixbuffers(buffer.data(), (int)buffer.size(), 0);

    const int kRounds = 5000;
    double best = 1e30;
    double total = 0;
    for (int r = 0; r < kRounds; r++) {
        auto t0 = std::chrono::steady_clock::now();
        audiodriver_mixbuffers(buffer.data(), (int)buffer.size(), 0);
        auto t1 = std::chrono::steady_clock::now();
        double us = std::chrono::duration<double, std::micro>(t1 - t0).count();
        total += us;
        if (us < best) best = us;
    }
    const double bufferus = 2048.0 / 44100.0 * 1e6;
    const double mean = total / kRounds;
    std::printf("mixer: 16 sounds, 2048 frames stereo, %d playing\n", soundsystem.numactive);
    std::printf("mixer: mean %.1f us per buffer (%.3f %% of %.1f ms)\n", mean,
                100.0 * mean / bufferus, bufferus / 1000.0);
    std::printf("mixer: best %.1f us per buffer (%.3f %% of %.1f ms)\n", best,
                100.0 * best / bufferus, bufferus / 1000.0);
    Soundsystem_CloseAudio();
    return 0;
}
