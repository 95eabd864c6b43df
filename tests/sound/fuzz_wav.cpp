// Fuzz target: arbitrary bytes through the WAV reader, both directly and as
// a file inside a resource image in memory, then a loaded result through the
// mixer so that whatever the reader accepts is also read in full.
//
// Seeds: run the target with QO_FUZZ_WRITE_SEEDS set to a directory, e.g.
//   QO_FUZZ_WRITE_SEEDS=build-fuzz/seeds-fuzz_wav build-fuzz/fuzz_wav
// It writes a few valid WAV files (and near misses) there and exits.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

Bytes wav(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t datasize, uint16_t format = 1) {
    Bytes out = {'R', 'I', 'F', 'F'};
    put32(out, datasize + 36);
    for (char c : std::string("WAVEfmt ")) out.push_back((uint8_t)c);
    put32(out, 16);
    put16(out, format);
    put16(out, channels);
    put32(out, rate);
    put32(out, rate * channels * (bits / 8));
    put16(out, channels * (bits / 8));
    put16(out, bits);
    for (char c : std::string("data")) out.push_back((uint8_t)c);
    put32(out, datasize);
    for (uint32_t i = 0; i < datasize; i++) out.push_back((uint8_t)(i * 13 + 7));
    return out;
}

// A CORE image with one file, "f.wav".
Bytes image(const uint8_t *data, size_t size) {
    const char name[] = "f.wav";
    Bytes out = {'C', 'O', 'R', 'E'};
    put32(out, 1);
    uint32_t offset = 12 + 12 + (uint32_t)(sizeof name - 1);
    put32(out, offset + (uint32_t)size);
    put32(out, (uint32_t)(sizeof name - 1));
    put32(out, (uint32_t)corefile_gethash(name));
    out.insert(out.end(), name, name + sizeof name - 1);
    put32(out, offset);
    out.insert(out.end(), data, data + size);
    return out;
}

void writeseeds(const char *dir) {
    mkdir(dir, 0755);
    struct Seed {
        const char *name;
        Bytes bytes;
    };
    Bytes cut = wav(1, 16, 44100, 64);
    cut[40] = 0xff;  // data length past the end
    Bytes ext = wav(1, 16, 44100, 32);
    ext[16] = 18;
    const Seed seeds[] = {
        {"stereo16.wav", wav(2, 16, 44100, 400)},
        {"mono8.wav", wav(1, 8, 22050, 300)},
        {"mono16_11k.wav", wav(1, 16, 11025, 256)},
        {"empty.wav", wav(2, 16, 44100, 0)},
        {"float.wav", wav(1, 32, 44100, 64, 3)},
        {"cut.wav", cut},
        {"fmt18.wav", ext},
    };
    for (const Seed &seed : seeds) {
        std::string path = std::string(dir) + "/" + seed.name;
        FILE *f = std::fopen(path.c_str(), "wb");
        if (!f) {
            std::printf("cannot write %s\n", path.c_str());
            std::exit(1);
        }
        std::fwrite(seed.bytes.data(), 1, seed.bytes.size(), f);
        std::fclose(f);
    }
    std::printf("wrote %zu seeds to %s\n", sizeof seeds / sizeof seeds[0], dir);
}

void mix(s_sound *sound) {
    static std::vector<int16_t> buffer(2 * SOUNDSYSTEM_BUFFERFRAMES);
    Soundsystem_PlaySound(sound, 1);
    audiodriver_mixbuffers(buffer.data(), (int)buffer.size() * 2, 0);
    Soundsystem_StopSound(sound);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/) {
    if (const char *dir = std::getenv("QO_FUZZ_WRITE_SEEDS")) {
        writeseeds(dir);
        std::exit(0);
    }
    // No device: the fuzzer calls the mixer itself.
    std::freopen("/dev/null", "w", stdout);
    soundsystem.rate = 44100;
    soundsystem.channels = 2;
    soundsystem.bits = 16;
    soundsystem.bufferlength = SOUNDSYSTEM_BUFFERFRAMES;
    soundsystem.buffersize = 2 * SOUNDSYSTEM_BUFFERFRAMES * 4;
    soundsystem.outputbuffer = (int32_t *)std::calloc(soundsystem.buffersize, 1);
    soundsystem.mastervolume = soundsystem.musicvolume = soundsystem.effectvolume = 255;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 20)) return 0;

    s_sound direct = {};
    Soundsystem_ParseWAV(data, (uint32_t)size, &direct);
    if (direct.data) {
        direct.step = soundsystem_step(direct.frequency, direct.channels);
        direct.volume = direct.leftvolume = direct.rightvolume = 255;
        mix(&direct);
        std::free(direct.data);
    }

    Bytes img = image(data, size);
    if (corefile_mountmemory(img.data(), img.size())) {
        s_sound loaded = {};
        Soundsystem_LoadSound("F.WAV", &loaded);
        corefile_closeimage();
        if (loaded.data) mix(&loaded);
        Soundsystem_DeleteSound(&loaded);
    }
    return 0;
}
