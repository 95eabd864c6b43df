// The mixer called directly on a buffer: what each playing sound adds, when
// it ends or wraps, the gains, sums and clamps, and stream callbacks.
#include <gtest/gtest.h>

#include <vector>

#include "sound/sound.h"
#include "sound_util.h"

using soundtest::Constant;
using soundtest::LoadFromImage;
using soundtest::LoadMono16;
using soundtest::MakeWav;
using soundtest::Scaled;

namespace {

class Mixer : public soundtest::SilentSoundSystem {};

int16_t Left(const std::vector<int16_t> &out, int frame) {
    return out[2 * frame];
}
int16_t Right(const std::vector<int16_t> &out, int frame) {
    return out[2 * frame + 1];
}

TEST_F(Mixer, NoSoundPlaying_FillsTheBufferWithZeros) {
    std::vector<int16_t> out = Mix();
    for (int16_t v : out) ASSERT_EQ(0, v);

    // A sound that is listed but stopped adds nothing either.
    s_sound *s = NewRecord();
    LoadMono16(s, Constant(4000, 10000));
    Soundsystem_PlaySound(s, 0);
    s->playing = 0;
    out = Mix();
    for (int16_t v : out) ASSERT_EQ(0, v);
}

TEST_F(Mixer, SoundEndingInsideBuffer_NextSoundMovesIntoItsSlotInSameBuffer) {
    s_sound *a = NewRecord();
    s_sound *b = NewRecord();
    s_sound *c = NewRecord();
    LoadMono16(a, Constant(1000, 1000));
    LoadMono16(b, Constant(5000, 2000));
    LoadMono16(c, Constant(5000, 4000));
    Soundsystem_PlaySound(a, 0);
    Soundsystem_PlaySound(b, 0);
    Soundsystem_PlaySound(c, 0);

    std::vector<int16_t> out = Mix();
    // Fresh gains are 128 / 128, which make 127 against full global volumes.
    for (int f = 0; f < 1000; f++) {
        ASSERT_EQ(Scaled(7000 * 127), Left(out, f)) << f;
        ASSERT_EQ(Scaled(7000 * 127), Right(out, f)) << f;
    }
    for (int f = 1000; f < SOUNDSYSTEM_BUFFERFRAMES; f++) {
        ASSERT_EQ(Scaled(6000 * 127), Left(out, f)) << f;
    }
    EXPECT_EQ(2, soundsystem.numactive);
    EXPECT_EQ(b, active_sounds[0]);
    EXPECT_EQ(c, active_sounds[1]);
    EXPECT_EQ(0, a->playing);
    EXPECT_EQ(0u, a->position);
    EXPECT_EQ(2048u * 256, b->position);
    EXPECT_EQ(2048u * 256, c->position);
}

TEST_F(Mixer, LoopingSound_WrapsSeamlesslyAndKeepsTheFraction) {
    s_sound *s = NewRecord();
    std::vector<int16_t> ramp;
    for (int i = 0; i < 1000; i++) ramp.push_back((int16_t)(i * 30));
    LoadMono16(s, ramp);
    Soundsystem_SetFrequency(s, 51680);  // step 300: not a whole number of samples
    ASSERT_EQ(300u, s->step);
    Soundsystem_PlaySound(s, 1);

    std::vector<int16_t> out = Mix();
    const uint64_t end = 1000 * 256;
    for (int f = 0; f < SOUNDSYSTEM_BUFFERFRAMES; f++) {
        uint64_t position = (uint64_t)f * 300 % end;
        ASSERT_EQ(Scaled(ramp[position >> 8] * 127), Left(out, f)) << f;
    }
    EXPECT_EQ(2048u * 300 % end, s->position);
    EXPECT_EQ(1, soundsystem.numactive);
    EXPECT_EQ(1, s->playing);

    // Whole steps: after frame 999 the position is back at exactly 0.
    s_sound *whole = NewRecord();
    LoadMono16(whole, ramp);
    Soundsystem_StopSound(s);
    Soundsystem_PlaySound(whole, 1);
    out = Mix(1000);
    EXPECT_EQ(0u, whole->position);
    out = Mix(1);
    EXPECT_EQ(Scaled(0), Left(out, 0));
}

TEST_F(Mixer, Step128_RepeatsEachSampleForTwoFrames) {
    s_sound *s = NewRecord();
    std::vector<int16_t> ramp;
    for (int i = 0; i < 2000; i++) ramp.push_back((int16_t)(i * 10 - 10000));
    LoadMono16(s, ramp, 22050);
    ASSERT_EQ(128u, s->step);
    Soundsystem_PlaySound(s, 0);
    std::vector<int16_t> out = Mix();
    for (int f = 0; f < SOUNDSYSTEM_BUFFERFRAMES; f++) {
        ASSERT_EQ(Scaled(ramp[f / 2] * 127), Left(out, f)) << f;
    }
    EXPECT_EQ(2048u * 128, s->position);
}

TEST_F(Mixer, SumsBeforeTheShiftAndClampsSymmetrically) {
    s_sound *s[3];
    for (auto &p : s) {
        p = NewRecord();
        LoadMono16(p, Constant(4000, 32767));
    }
    Soundsystem_PlaySound(s[0], 0);
    Soundsystem_PlaySound(s[1], 0);
    std::vector<int16_t> out = Mix(16);
    // 2 × 32767 × 127 = 8322818, shifted after the sum: 32511, not 2 × 16255.
    EXPECT_EQ(32511, Left(out, 0));
    EXPECT_EQ(32511, Right(out, 15));
    Soundsystem_PlaySound(s[2], 0);
    out = Mix(16);
    EXPECT_EQ(32767, Left(out, 0));

    // The minimum sample at gain 252 (panned hard left) gives -32256; two of
    // them clamp at -32767, not -32768.
    for (auto &p : s) Soundsystem_StopSound(p);
    s_sound *low[2];
    for (auto &p : low) {
        p = NewRecord();
        LoadMono16(p, Constant(4000, -32768));
        Soundsystem_SetPanning(p, 0);
        ASSERT_EQ(254, p->leftvolume);
    }
    Soundsystem_PlaySound(low[0], 0);
    out = Mix(16);
    EXPECT_EQ(-32256, Left(out, 0));
    EXPECT_EQ(0, Right(out, 0));
    Soundsystem_PlaySound(low[1], 0);
    out = Mix(16);
    EXPECT_EQ(-32767, Left(out, 0));
}

TEST_F(Mixer, MusicAndEffectsFollowTheirOwnVolumeUnderTheMaster) {
    s_sound *music = NewRecord();
    s_sound *effect = NewRecord();
    LoadMono16(music, Constant(4000, 10000));
    LoadMono16(effect, Constant(4000, 1000));
    Soundsystem_SetMusicVolume(128);
    Soundsystem_PlayMusic(music, 1);
    Soundsystem_PlaySound(effect, 0);

    // Music: 128 × (128 × 255) / 65536 = 63; effect: 127.
    std::vector<int16_t> out = Mix(16);
    EXPECT_EQ(Scaled(10000 * 63 + 1000 * 127), Left(out, 0));

    Soundsystem_SetEffectVolume(0);
    out = Mix(16);
    EXPECT_EQ(Scaled(10000 * 63), Left(out, 0));

    Soundsystem_SetEffectVolume(255);
    Soundsystem_SetMusicVolume(0);
    out = Mix(16);
    EXPECT_EQ(Scaled(1000 * 127), Left(out, 0));

    Soundsystem_SetMusicVolume(255);
    Soundsystem_SetMasterVolume(0);
    out = Mix(16);
    EXPECT_EQ(0, Left(out, 0));

    // Master 128 with effect 255: 128 × (255 × 128) / 65536 = 63 for both.
    Soundsystem_SetMasterVolume(128);
    out = Mix(16);
    EXPECT_EQ(Scaled(10000 * 63 + 1000 * 63), Left(out, 0));
}

TEST_F(Mixer, PanningSplitsTheSoundBetweenLeftAndRight) {
    s_sound *s = NewRecord();
    LoadMono16(s, Constant(4000, 20000));
    Soundsystem_PlaySound(s, 1);

    Soundsystem_SetPanning(s, 128);  // gains 125 and 126
    std::vector<int16_t> out = Mix(4);
    EXPECT_EQ(Scaled(20000 * 125), Left(out, 0));
    EXPECT_EQ(Scaled(20000 * 126), Right(out, 0));

    Soundsystem_SetPanning(s, 255);  // 0 and 254, which make 0 and 252
    out = Mix(4);
    EXPECT_EQ(0, Left(out, 0));
    EXPECT_EQ(Scaled(20000 * 252), Right(out, 0));

    Soundsystem_SetPanning(s, 0);
    out = Mix(4);
    EXPECT_EQ(Scaled(20000 * 252), Left(out, 0));
    EXPECT_EQ(0, Right(out, 0));
}

TEST_F(Mixer, EightBitData_IsUnsignedAroundHalfway) {
    s_sound *s = NewRecord();
    soundtest::Bytes bytes = {255, 0, 128, 129, 127, 200};
    LoadFromImage("eight.wav", MakeWav(1, 8, 44100, bytes), s);
    ASSERT_EQ(6u, s->numsamples);
    Soundsystem_PlaySound(s, 1);
    std::vector<int16_t> out = Mix(12);
    for (int f = 0; f < 12; f++) {
        int32_t sample = ((int32_t)bytes[f % 6] - 128) * 256;
        ASSERT_EQ(Scaled(sample * 127), Left(out, f)) << f;
        ASSERT_EQ(Scaled(sample * 127), Right(out, f)) << f;
    }
    EXPECT_EQ(16129, Left(out, 0));
    EXPECT_EQ(-16256, Left(out, 1));
}

TEST_F(Mixer, StereoSource_AdvancesAFrameAndReadsOneSamplePerFrame) {
    s_sound *s = NewRecord();
    std::vector<int16_t> interleaved;
    for (int i = 0; i < 100; i++) {
        interleaved.push_back((int16_t)(i * 100));  // left
        interleaved.push_back(-7777);               // right
    }
    LoadFromImage("st.wav", MakeWav(2, 16, 44100, soundtest::Samples16(interleaved)), s);
    ASSERT_EQ(512u, s->step);
    Soundsystem_PlaySound(s, 0);
    std::vector<int16_t> out = Mix(200);
    // Only the left samples are heard, and the sound lasts 100 frames.
    for (int f = 0; f < 100; f++) ASSERT_EQ(Scaled(f * 100 * 127), Left(out, f)) << f;
    for (int f = 100; f < 200; f++) ASSERT_EQ(0, Left(out, f)) << f;
    EXPECT_EQ(0, soundsystem.numactive);
}

int g_stream_calls = 0;
void RefillStream(void *data, uint32_t size) {
    g_stream_calls++;
    int16_t *samples = (int16_t *)data;
    for (uint32_t i = 0; i < size / 2; i++) samples[i] = (int16_t)(g_stream_calls * 100);
}

TEST_F(Mixer, StreamCallback_RunsAtEveryEndAndTheStreamPlaysOn) {
    g_stream_calls = 0;
    s_sound *s = NewRecord();
    Soundsystem_CreateSoundStream(s, RefillStream, 44100, 16, 1, 100);
    Soundsystem_PlaySound(s, 0);
    std::vector<int16_t> out = Mix();
    EXPECT_EQ(2048 / 100, g_stream_calls);
    for (int f = 0; f < 100; f++) ASSERT_EQ(0, Left(out, f)) << f;
    for (int f = 100; f < SOUNDSYSTEM_BUFFERFRAMES; f++) {
        ASSERT_EQ(Scaled((f / 100) * 100 * 127), Left(out, f)) << f;
    }
    EXPECT_EQ(1, s->playing);
    EXPECT_EQ(1, soundsystem.numactive);
    EXPECT_EQ(2048u % 100 * 256, s->position);
}

s_sound *g_self_stopping = nullptr;
void StopAtFirstEnd(void *, uint32_t) {
    Soundsystem_StopSound(g_self_stopping);
}

TEST_F(Mixer, StreamStoppingItselfInItsCallback_LeavesItsSlotToTheNextSound) {
    s_sound *stream = NewRecord();
    s_sound *after = NewRecord();
    g_self_stopping = stream;
    Soundsystem_CreateSoundStream(stream, StopAtFirstEnd, 44100, 16, 1, 100);
    for (uint32_t i = 0; i < stream->size; i += 2) stream->data[i + 1] = 0x10;  // 4096
    LoadMono16(after, Constant(4000, 1000));
    Soundsystem_PlaySound(stream, 0);
    Soundsystem_PlaySound(after, 0);
    std::vector<int16_t> out = Mix();
    for (int f = 0; f < 100; f++) ASSERT_EQ(Scaled((4096 + 1000) * 127), Left(out, f)) << f;
    for (int f = 100; f < 2048; f++) ASSERT_EQ(Scaled(1000 * 127), Left(out, f)) << f;
    EXPECT_EQ(1, soundsystem.numactive);
    EXPECT_EQ(after, active_sounds[0]);
    EXPECT_EQ(0, stream->playing);
    EXPECT_EQ(2048u * 256, after->position);
}

void SilenceEffects(void *, uint32_t) {
    Soundsystem_SetEffectVolume(0);
}

TEST_F(Mixer, VolumesChangedInAStreamCallback_ApplyToTheSoundsAfterItInTheSameBuffer) {
    s_sound *stream = NewRecord();
    s_sound *before = NewRecord();
    s_sound *after = NewRecord();
    LoadMono16(before, Constant(4000, 1000));
    Soundsystem_CreateSoundStream(stream, SilenceEffects, 44100, 16, 1, 100);
    LoadMono16(after, Constant(4000, 2000));
    Soundsystem_PlaySound(before, 0);
    Soundsystem_PlaySound(stream, 0);
    Soundsystem_PlaySound(after, 0);
    std::vector<int16_t> out = Mix(200);
    // The sound before the stream was mixed at full volume before the
    // callback ran; the one after it is read at the new volume throughout.
    for (int f = 0; f < 200; f++) ASSERT_EQ(Scaled(1000 * 127), Left(out, f)) << f;
    EXPECT_EQ(0, soundsystem.effectvolume);
}

TEST_F(Mixer, MonoOutput_UsesTheSoundVolumeAndNoPanning) {
    audiodriver_close();
    Soundsystem_CloseAudio();
    {
        soundtest::ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
        ::testing::internal::CaptureStdout();
        Soundsystem_Init(44100, 16, 1);
        audiodriver_close();
        ::testing::internal::GetCapturedStdout();
    }
    ASSERT_EQ(1, soundsystem.channels);
    s_sound *s = NewRecord();
    LoadMono16(s, Constant(4000, 20000));
    Soundsystem_SetPanning(s, 0);
    Soundsystem_PlaySound(s, 0);
    std::vector<int16_t> out(300, 0x5555);
    EXPECT_EQ(300, audiodriver_mixbuffers(out.data(), 600, 0));
    for (int f = 0; f < 300; f++) ASSERT_EQ(Scaled(20000 * 253), out[f]) << f;
    EXPECT_EQ(300u * 256, s->position);
}

TEST_F(Mixer, EightBitOutput_WritesUnsignedBytes) {
    s_sound *s = NewRecord();
    LoadMono16(s, {32767, -32768, 0, 256, -256, -1});
    Soundsystem_SetPanning(s, 0);  // left gain 252, right 0
    Soundsystem_PlaySound(s, 0);
    soundsystem.bits = 8;
    std::vector<uint8_t> out(12, 0x55);
    EXPECT_EQ(12, audiodriver_mixbuffers(out.data(), 12, 0));
    soundsystem.bits = 16;
    // The clamped 16-bit value, its high byte moved to unsigned.
    const int16_t expected[] = {32255, -32256, 0, 252, -252, -1};
    for (int f = 0; f < 6; f++) {
        ASSERT_EQ((uint8_t)(expected[f] / 256 + 128), out[2 * f]) << f;
        ASSERT_EQ(128, out[2 * f + 1]) << f;
    }
    EXPECT_EQ(253, out[0]);
    EXPECT_EQ(2, out[2]);
    EXPECT_EQ(128, out[10]);  // -1 / 256 is 0: values near zero stay at the centre
}

TEST_F(Mixer, SoundWithoutData_AddsNothingAndLeavesTheList) {
    s_sound *empty = NewRecord();
    s_sound *looped = NewRecord();
    s_sound *real = NewRecord();
    ::testing::internal::CaptureStdout();
    Soundsystem_LoadSound("music", empty);
    Soundsystem_LoadSound("missing.wav", looped);
    ::testing::internal::GetCapturedStdout();
    LoadMono16(real, Constant(4000, 3000));
    Soundsystem_PlaySound(empty, 0);
    Soundsystem_PlaySound(looped, 1);
    Soundsystem_PlaySound(real, 0);
    std::vector<int16_t> out = Mix(64);
    for (int f = 0; f < 64; f++) ASSERT_EQ(Scaled(3000 * 127), Left(out, f));
    EXPECT_EQ(1, soundsystem.numactive);
    EXPECT_EQ(real, active_sounds[0]);
    EXPECT_EQ(0, empty->playing);
    EXPECT_EQ(0, looped->playing);
}

TEST_F(Mixer, LoopingStepLongerThanTheSound_ReadsStayInside) {
    s_sound *s = NewRecord();
    LoadMono16(s, {1000, 2000, 3000});
    Soundsystem_SetFrequency(s, 44100 * 10 + 1000);  // step 2565, the sound is 768
    Soundsystem_PlaySound(s, 1);
    std::vector<int16_t> out = Mix();
    const int16_t samples[] = {1000, 2000, 3000};
    for (int f = 0; f < SOUNDSYSTEM_BUFFERFRAMES; f++) {
        uint64_t position = (uint64_t)f * s->step % 768;
        ASSERT_EQ(Scaled(samples[position >> 8] * 127), Left(out, f)) << f;
    }
    EXPECT_LT(s->position, 768u);

    // A record whose claimed length runs past its data is not read at all.
    s_sound *liar = NewRecord();
    LoadMono16(liar, {5, 5, 5, 5});
    liar->numsamples = 1000;
    Soundsystem_PlaySound(liar, 1);
    Mix();
    EXPECT_EQ(0, liar->playing);
}

TEST_F(Mixer, BufferLongerThanTheAccumulator_IsBoundedAndPaddedWithSilence) {
    s_sound *s = NewRecord();
    LoadMono16(s, Constant(10000, 4000));
    Soundsystem_PlaySound(s, 0);
    std::vector<int16_t> out(3 * SOUNDSYSTEM_BUFFERFRAMES * 2, 0x5555);
    int samples = audiodriver_mixbuffers(out.data(), (int)out.size() * 2, 0);
    EXPECT_EQ(2 * SOUNDSYSTEM_BUFFERFRAMES, samples);
    EXPECT_EQ(Scaled(4000 * 127), out[2 * SOUNDSYSTEM_BUFFERFRAMES - 1]);
    EXPECT_EQ(0, out[2 * SOUNDSYSTEM_BUFFERFRAMES]);
    EXPECT_EQ(0, out.back());

    // Without an accumulator (after closing) the mixer gives silence.
    Soundsystem_CloseAudio();
    std::vector<int16_t> quiet(64, 0x5555);
    EXPECT_EQ(0, audiodriver_mixbuffers(quiet.data(), 128, 0));
    for (int16_t v : quiet) ASSERT_EQ(0, v);
}

}  // namespace
