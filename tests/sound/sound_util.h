// Helpers for the sound tests: WAV files built byte by byte, loading them
// through a resource image in memory, environment overrides, and a sound
// system with no device so that the tests call the mixer themselves.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "corefile/core_image.h"
#include "corefile/corefile.h"
#include "sound/sound.h"

namespace soundtest {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes &out, uint32_t v) {
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}

inline void put32(Bytes &out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back((uint8_t)(v >> (8 * i)));
}

// The canonical 44-byte header followed by data.
inline Bytes MakeWav(uint16_t channels, uint16_t bits, uint32_t frequency, const Bytes &data,
                     uint16_t format = 1) {
    Bytes out = {'R', 'I', 'F', 'F'};
    put32(out, (uint32_t)data.size() + 36);
    for (char c : std::string("WAVEfmt ")) out.push_back((uint8_t)c);
    put32(out, 16);
    put16(out, format);
    put16(out, channels);
    put32(out, frequency);
    put32(out, frequency * channels * (bits / 8));
    put16(out, channels * (bits / 8));
    put16(out, bits);
    for (char c : std::string("data")) out.push_back((uint8_t)c);
    put32(out, (uint32_t)data.size());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

inline Bytes Samples16(const std::vector<int16_t> &samples) {
    Bytes out;
    for (int16_t v : samples) put16(out, (uint16_t)v);
    return out;
}

inline std::vector<int16_t> Constant(size_t count, int16_t value) {
    return std::vector<int16_t>(count, value);
}

// Loads bytes as file `name` through Soundsystem_LoadSound from an image in
// memory, the way the game loads its sounds.
inline void LoadFromImage(const char *name, const Bytes &file, s_sound *sound) {
    std::string lowered(name);
    for (char &c : lowered) c = (char)std::tolower((unsigned char)c);
    coreimage::Bytes image = coreimage::build({{lowered, std::string(file.begin(), file.end())}});
    ASSERT_EQ(1, corefile_mountmemory(image.data(), image.size()));
    Soundsystem_LoadSound(name, sound);
    corefile_closeimage();
}

// A mono 16-bit sound at 44100 Hz (step 256 against a rate of 44100).
inline void LoadMono16(s_sound *sound, const std::vector<int16_t> &samples,
                       uint32_t frequency = 44100) {
    LoadFromImage("test.wav", MakeWav(1, 16, frequency, Samples16(samples)), sound);
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        const char *old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        Set(name, value);
    }
    ~ScopedEnv() { Set(name_.c_str(), had_ ? old_.c_str() : nullptr); }

    // value null: unset.
    static void Set(const char *name, const char *value) {
#ifdef _WIN32
        _putenv_s(name, value ? value : "");
#else
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
#endif
    }

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// The sound system as the game starts it, but with the device closed again,
// so that nothing but the test calls the mixer.
class SilentSoundSystem : public ::testing::Test {
protected:
    void SetUp() override {
        ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
        ::testing::internal::CaptureStdout();
        Soundsystem_Init(44100, 16, 2);
        audiodriver_close();
        ::testing::internal::GetCapturedStdout();
        std::memset(active_sounds, 0, sizeof active_sounds);
    }
    void TearDown() override {
        for (s_sound *s : records_) Soundsystem_DeleteSound(s);
        for (s_sound *s : records_) delete s;
        Soundsystem_CloseAudio();
    }
    // A zeroed record that is deleted at the end of the test.
    s_sound *NewRecord() {
        s_sound *s = new s_sound();
        records_.push_back(s);
        return s;
    }

    // Runs the mixer over one stereo 16-bit buffer of `frames` frames.
    std::vector<int16_t> Mix(int frames = SOUNDSYSTEM_BUFFERFRAMES) {
        std::vector<int16_t> out((size_t)frames * 2, 0x5555);
        int samples = audiodriver_mixbuffers(out.data(), frames * 4, 0);
        EXPECT_EQ(frames * 2, samples);
        return out;
    }

private:
    std::vector<s_sound *> records_;
};

// value × gain, back to 16-bit scale, clamped as the mixer does.
inline int16_t Scaled(int32_t sum) {
    int32_t v = sum >> 8;
    if (v > 32767) v = 32767;
    if (v < -32767) v = -32767;
    return (int16_t)v;
}

}  // namespace soundtest
