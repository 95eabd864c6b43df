// The SDL output driver: opening and its lines, the missing device, the
// ring's turn, handing a buffer out, and end to end through SDL's disk
// driver the bytes that reach the device and how soon.
// Also a run of the game thread's calls against a fast-running device,
// for ThreadSanitizer.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sound/sound.h"
#include "sound_util.h"

using soundtest::Constant;
using soundtest::LoadMono16;
using soundtest::Scaled;
using soundtest::ScopedEnv;

namespace {

std::string CaptureInit(unsigned rate, unsigned bits, int length, int flags, int *result) {
    ::testing::internal::CaptureStdout();
    *result = audiodriver_init(rate, bits, length, flags);
    return ::testing::internal::GetCapturedStdout();
}

uint32_t BuffersPlayed() {
    audiodriver_lock();
    uint32_t n = g_buffers_played;
    audiodriver_unlock();
    return n;
}

// Waits (at most ten seconds) until the device has taken `count` buffers.
bool WaitForBuffers(uint32_t count) {
    for (int i = 0; i < 10000; i++) {
        if (BuffersPlayed() >= count) return true;
        SDL_Delay(1);
    }
    return false;
}

TEST(AudioDriver, Init_OpensStereoAndMonoWithFixedBufferLength) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    int result = 0;
    soundsystem.bufferlength = 0;
    std::string out = CaptureInit(44100, 16, 0, 2, &result);
    EXPECT_EQ(1, result);
    EXPECT_EQ(
        "sample size: 4\nbuffer size: 8192\nopen waveout\n"
        "AUDIO: opening audio device succesful!\nopen wav-buffers\naudiodriver inited\n",
        out);
    EXPECT_EQ(2048u, soundsystem.bufferlength);
    EXPECT_EQ(2, soundsystem.channels);
    EXPECT_EQ(16, soundsystem.bits);
    EXPECT_EQ(1, g_waveout_opened);
    EXPECT_NE(nullptr, g_audio_buffer);
    audiodriver_close();
    EXPECT_EQ(0, g_waveout_opened);
    EXPECT_EQ(nullptr, g_audio_buffer);

    out = CaptureInit(44100, 16, 999, 1, &result);
    EXPECT_EQ(1, result);
    EXPECT_EQ(2, g_sample_size);
    EXPECT_EQ(4096, g_buffer_size);
    EXPECT_EQ(1, soundsystem.channels);
    EXPECT_EQ(2048u, soundsystem.bufferlength);
    audiodriver_close();

    out = CaptureInit(0, 16, 2048, 2, &result);
    EXPECT_EQ(1, result);
    EXPECT_EQ("", out);
    EXPECT_EQ(0, g_waveout_opened);
    EXPECT_EQ(nullptr, g_audio_buffer);

    out = CaptureInit(44100, 24, 2048, 2, &result);
    EXPECT_EQ(0, result);
    EXPECT_EQ("", out);
    EXPECT_EQ(0, g_waveout_opened);
}

TEST(AudioDriver, NoDevice_PrintsTheErrorAndTheGameRunsSilent) {
    ScopedEnv driver("SDL_AUDIODRIVER", "no_such_audio_driver");
    int result = 1;
    std::string out = CaptureInit(44100, 16, 2048, 2, &result);
    EXPECT_EQ(0, result);
    EXPECT_EQ(
        "sample size: 4\nbuffer size: 8192\nopen waveout\nopen wav-buffers\n"
        "AUDIO: error opening audio buffer\n",
        out);
    EXPECT_EQ(0, g_waveout_opened);
    EXPECT_EQ(nullptr, g_audio_buffer);

    // The sound system starts anyway and everything keeps working on the
    // records and the list.
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(1, Soundsystem_Init(44100, 16, 2));
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("AUDIO: error opening audio buffer\n"));
    EXPECT_NE(std::string::npos, out.find("soundsystem bufferlength = 2048\n"));
    s_sound s = {};
    LoadMono16(&s, Constant(100, 1000));
    Soundsystem_PlaySound(&s, 0);
    Soundsystem_SetVolume(&s, 10);
    EXPECT_EQ(1, soundsystem.numactive);
    Soundsystem_StopSound(&s);
    EXPECT_EQ(0, soundsystem.numactive);
    Soundsystem_DeleteSound(&s);
    Soundsystem_CloseAudio();
}

TEST(AudioDriver, RingTurn_EachBufferIsMixedInRingOrderJustBeforeItIsPlayed) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ::testing::internal::CaptureStdout();
    Soundsystem_Init(44100, 16, 2);
    ::testing::internal::GetCapturedStdout();
    s_sound s = {};
    std::vector<int16_t> ramp;
    for (int i = 0; i < 8 * 2048; i++) ramp.push_back((int16_t)(i % 20000));
    LoadMono16(&s, ramp);

    // Driving the callback by hand with the device lock held, as SDL does,
    // in pieces of a quarter buffer.
    audiodriver_lock();
    // SDL's thread may have taken part of a buffer already: finish it first.
    std::vector<int16_t> rest(1024);
    for (uint32_t n = g_buffers_played; n == g_buffers_played;)
        sdl_audiocallback(nullptr, (uint8_t *)rest.data(), 2048);
    int start = g_cur_buf;
    uint32_t played_before = g_buffers_played;
    Soundsystem_PlaySound(&s, 0);
    for (int k = 0; k < 6; k++) {
        EXPECT_EQ((start + k) % 4, g_cur_buf) << k;
        std::vector<int16_t> out(4096);
        for (int q = 0; q < 4; q++)
            sdl_audiocallback(nullptr, (uint8_t *)(out.data() + q * 1024), 2048);
        // The sound is heard from the first buffer on: no buffers queued ahead.
        for (int f = 0; f < 2048; f++)
            ASSERT_EQ(Scaled(ramp[k * 2048 + f] * 127), out[2 * f]) << k << " " << f;
        const int16_t *ring = (const int16_t *)(g_audio_buffer + ((start + k) % 4) * 8192);
        EXPECT_EQ(out[10], ring[10]) << k;
    }
    EXPECT_EQ((start + 2) % 4, g_cur_buf);
    EXPECT_EQ(played_before + 6, g_buffers_played);
    audiodriver_unlock();
    audiodriver_close();
    Soundsystem_DeleteSound(&s);
    Soundsystem_CloseAudio();
}

TEST(AudioDriver, GetAndSubmitBuffer_HandOutTheCurrentBufferAndAdvance) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    int result = 0;
    CaptureInit(44100, 16, 2048, 2, &result);
    ASSERT_EQ(1, result);
    void *buffer = nullptr;
    int length = 0;
    EXPECT_EQ(1, audiodriver_getbuffer(&buffer, &length));
    int current = g_cur_buf;
    EXPECT_EQ(1, g_buffer_waiting);
    EXPECT_EQ(8192, length);
    EXPECT_EQ(g_audio_buffer + current * 8192, buffer);
    EXPECT_EQ(1, audiodriver_getbuffer(nullptr, nullptr));
    std::memset(buffer, 0, 8192);
    audiodriver_submitbuffer();
    audiodriver_lock();
    EXPECT_EQ(0, g_buffer_waiting);
    audiodriver_unlock();

    // Closing with a buffer still out does not hang.
    audiodriver_getbuffer(&buffer, nullptr);
    audiodriver_close();
    EXPECT_EQ(0, g_buffer_waiting);
    EXPECT_EQ(0, g_waveout_opened);
}

std::vector<uint8_t> ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(AudioDriver, DiskDevice_ReceivesTheMixedSoundWithinOneBufferOfItsStart) {
    char pattern[] = "/tmp/qo_audio_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    std::string file = std::string(pattern) + "/out.raw";
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv output("SDL_DISKAUDIOFILE", file.c_str());
    ScopedEnv delay("SDL_DISKAUDIODELAY", "2");

    ::testing::internal::CaptureStdout();
    Soundsystem_Init(44100, 16, 2);
    std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(1, g_waveout_opened) << out;
    ASSERT_TRUE(WaitForBuffers(2));

    // 3000 frames: the end of one buffer, into the next.
    s_sound s = {};
    std::vector<int16_t> sound;
    for (int i = 0; i < 3000; i++) sound.push_back((int16_t)((i * 37) % 2000 * 16 - 16000));
    LoadMono16(&s, sound);
    Soundsystem_SetPanning(&s, 64);  // left and right gains 188 and 62

    // While the lock is held SDL's thread cannot hand out more: what the
    // device already has is in the file, give or take the piece in flight.
    audiodriver_lock();
    uint32_t before = g_buffers_played;
    size_t written = ReadFile(file).size();
    Soundsystem_PlaySound(&s, 0);
    const int left = s.leftvolume * 65025 / 65536;
    const int right = s.rightvolume * 65025 / 65536;
    audiodriver_unlock();

    ASSERT_TRUE(WaitForBuffers(before + 4));
    Soundsystem_CloseAudio();

    std::vector<uint8_t> raw = ReadFile(file);
    const int16_t *samples = (const int16_t *)raw.data();
    size_t onset = 0;
    while (onset < raw.size() / 2 && samples[onset] == 0) onset++;
    onset &= ~(size_t)1;  // the first frame, left channel
    // The sound starts with the next mix: at most the rest of the buffer
    // being played, plus the piece in flight, after what the file held.
    EXPECT_GE(onset * 2, written);
    EXPECT_LE(onset * 2, written + 8192 + 4096) << "latency in bytes " << onset * 2 - written;
    ASSERT_GE(raw.size(), onset * 2 + 3 * 8192);
    for (int f = 0; f < 3 * 2048; f++) {
        const int16_t *frame = samples + onset + 2 * f;
        int16_t sample = f < 3000 ? sound[f] : 0;
        ASSERT_EQ(Scaled(sample * left), frame[0]) << f;
        ASSERT_EQ(Scaled(sample * right), frame[1]) << f;
    }
    EXPECT_EQ(0, s.playing);
    EXPECT_EQ(0, soundsystem.numactive);

    Soundsystem_DeleteSound(&s);
    std::remove(file.c_str());
    rmdir(pattern);
}

int g_stream_refills = 0;
s_sound *g_stream = nullptr;
// Runs on the audio thread with the device lock held; the sound system's
// calls take the same lock again.
void Refill(void *data, uint32_t size) {
    g_stream_refills++;
    std::memset(data, g_stream_refills & 0x7f, size);
    Soundsystem_SetVolume(g_stream, 100 + g_stream_refills % 100);
}

TEST(AudioDriver, GameThreadCallsWhileTheDeviceRuns_StayConsistent) {
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv output("SDL_DISKAUDIOFILE", "/dev/null");
    ScopedEnv delay("SDL_DISKAUDIODELAY", "0");
    ::testing::internal::CaptureStdout();
    Soundsystem_Init(44100, 16, 2);
    std::vector<s_sound> sounds(20);
    for (size_t i = 0; i < sounds.size(); i++) {
        LoadMono16(&sounds[i], Constant(300 + 50 * i, (int16_t)(100 * i)), 11025 * (1 + i % 4));
    }
    s_sound stream = {};
    g_stream = &stream;
    Soundsystem_CreateSoundStream(&stream, Refill, 22050, 8, 1, 500);
    Soundsystem_PlaySound(&stream, 0);
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(1, g_waveout_opened);

    uint32_t start = BuffersPlayed();
    unsigned seed = 1;
    for (int round = 0; round < 20000 && BuffersPlayed() < start + 200; round++) {
        seed = seed * 1103515245u + 12345u;
        s_sound *s = &sounds[(seed >> 16) % sounds.size()];
        switch ((seed >> 8) % 7) {
            case 0:
                Soundsystem_PlaySound(s, (int)(seed & 1));
                break;
            case 1:
                Soundsystem_StopSound(s);
                break;
            case 2:
                Soundsystem_SetVolume(s, (int)(seed % 300));
                break;
            case 3:
                Soundsystem_SetPanning(s, (int)(seed % 300));
                break;
            case 4:
                Soundsystem_SetFrequency(s, (int)(seed % 50000));
                break;
            case 5:
                Soundsystem_SetMasterVolume((int)(seed % 256));
                break;
            default:
                Soundsystem_PlayMusic(s, 0);
                break;
        }
        if (round % 64 == 0) SDL_Delay(1);
    }
    EXPECT_GE(BuffersPlayed(), start + 10);

    audiodriver_lock();
    ASSERT_LE(soundsystem.numactive, 16);
    for (int i = 0; i < soundsystem.numactive; i++) {
        for (int j = i + 1; j < soundsystem.numactive; j++) {
            ASSERT_NE(active_sounds[i], active_sounds[j]);
        }
    }
    audiodriver_unlock();
    Soundsystem_CloseAudio();
    EXPECT_GT(g_stream_refills, 0);
    for (s_sound &s : sounds) Soundsystem_DeleteSound(&s);
    Soundsystem_DeleteSound(&stream);
}

}  // namespace
