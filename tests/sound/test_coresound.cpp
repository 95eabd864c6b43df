// The sound system's records and playing list: volumes and panning, the step
// rule, loading defaults, starting, restarting, stopping and the 16-entry
// limit.
#include <gtest/gtest.h>

#include <string>

#include "sound/sound.h"
#include "sound_util.h"

using soundtest::Constant;
using soundtest::LoadFromImage;
using soundtest::LoadMono16;
using soundtest::MakeWav;

namespace {

class SoundSystem : public soundtest::SilentSoundSystem {};

TEST(SoundSystemInit, PrintsBufferLengthAndSetsDefaults) {
    soundtest::ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(1, Soundsystem_Init(44100, 0x110, 0x102));
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("soundsystem bufferlength = 2048\n")) << out;
    EXPECT_EQ(44100u, soundsystem.rate);
    EXPECT_EQ(2, soundsystem.channels);  // low byte of 0x102
    EXPECT_EQ(16, soundsystem.bits);
    EXPECT_EQ(2048u, soundsystem.bufferlength);
    EXPECT_EQ(2u * 2048 * 4, soundsystem.buffersize);
    EXPECT_EQ(255, soundsystem.mastervolume);
    EXPECT_EQ(255, soundsystem.musicvolume);
    EXPECT_EQ(255, soundsystem.effectvolume);
    EXPECT_EQ(0, soundsystem.numactive);
    EXPECT_EQ(0, soundsystem.numsounds);
    EXPECT_NE(nullptr, Soundsystem_GetOutputBuffer());
    EXPECT_EQ(soundsystem.outputbuffer, Soundsystem_GetOutputBuffer());
    Soundsystem_CloseAudio();
    EXPECT_EQ(nullptr, Soundsystem_GetOutputBuffer());
    EXPECT_EQ(0, g_waveout_opened);
}

TEST_F(SoundSystem, VolumesClampAndPanningKeepsTheLowByte) {
    s_sound s = {};
    s.volume = 255;
    Soundsystem_SetPanning(&s, 300);
    EXPECT_EQ(255, s.panning);
    EXPECT_EQ(0, s.leftvolume);
    EXPECT_EQ(254, s.rightvolume);
    Soundsystem_SetPanning(&s, 128);
    EXPECT_EQ(126, s.leftvolume);
    EXPECT_EQ(127, s.rightvolume);
    Soundsystem_SetPanning(&s, -1);
    EXPECT_EQ(255, s.panning);
    Soundsystem_SetPanning(&s, -128);
    EXPECT_EQ(128, s.panning);

    Soundsystem_SetVolume(&s, -5);
    EXPECT_EQ(0, s.volume);
    EXPECT_EQ(0, s.leftvolume);
    EXPECT_EQ(0, s.rightvolume);
    Soundsystem_SetVolume(&s, 1000);
    EXPECT_EQ(255, s.volume);
    Soundsystem_SetVolume(&s, 100);
    EXPECT_EQ((255 - 128) * 100 / 256, s.leftvolume);
    EXPECT_EQ(128 * 100 / 256, s.rightvolume);

    Soundsystem_SetMasterVolume(-1);
    Soundsystem_SetMusicVolume(256);
    Soundsystem_SetEffectVolume(77);
    EXPECT_EQ(0, soundsystem.mastervolume);
    EXPECT_EQ(255, soundsystem.musicvolume);
    EXPECT_EQ(77, soundsystem.effectvolume);
}

TEST_F(SoundSystem, SetFrequency_ChangesStepByTheRuleAndNotTheFrequency) {
    s_sound *s = NewRecord();
    LoadFromImage("st.wav", MakeWav(2, 16, 22050, soundtest::Samples16(Constant(8, 0))), s);
    EXPECT_EQ(256u, s->step);  // stereo 22050 Hz against 44100
    Soundsystem_SetFrequency(s, 44100);
    EXPECT_EQ(512u, s->step);
    EXPECT_EQ(22050u, s->frequency);
    Soundsystem_SetFrequency(s, 11025 + 1);  // truncated: 11026 × 512 / 44100
    EXPECT_EQ(11026u * 512 / 44100, s->step);

    s_sound *mono = NewRecord();
    LoadMono16(mono, Constant(8, 0), 22050);
    EXPECT_EQ(128u, mono->step);
}

TEST_F(SoundSystem, LoadSound_SetsDefaultsAndCountsEvenWithoutAFile) {
    s_sound *s = NewRecord();
    std::memset(s, 0x5A, sizeof *s);
    s->data = nullptr;
    int before = soundsystem.numsounds;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(0, Soundsystem_LoadSound("music", s)) << "nothing loaded";
    EXPECT_EQ("Loading sound music\n", ::testing::internal::GetCapturedStdout());
    EXPECT_EQ(before + 1, soundsystem.numsounds);
    EXPECT_EQ(0u, s->size);
    EXPECT_EQ(0u, s->numsamples);
    EXPECT_EQ(nullptr, s->data);
    EXPECT_EQ(255, s->volume);
    EXPECT_EQ(128, s->leftvolume);
    EXPECT_EQ(128, s->rightvolume);
    EXPECT_EQ(128, s->panning);
    EXPECT_EQ(0u, s->loop);
    EXPECT_EQ(0u, s->music);
    EXPECT_EQ(0, s->playing);
    EXPECT_EQ(0u, s->position);
    EXPECT_EQ(0u, s->stream);
    EXPECT_EQ(nullptr, s->callback);

    // The extension is matched in any case; a leading dot or an overlong
    // extension is none.
    soundtest::Bytes wav = MakeWav(1, 8, 11025, {1, 2, 3, 4});
    s_sound *upper = NewRecord();
    LoadFromImage("Blip.WaV", wav, upper);
    EXPECT_EQ(4u, upper->numsamples);
    EXPECT_EQ(11025u * 256 / 44100, upper->step);
    s_sound *dotfirst = NewRecord();
    LoadFromImage(".wav", wav, dotfirst);
    EXPECT_EQ(0u, dotfirst->numsamples);
    s_sound *longext = NewRecord();
    LoadFromImage("a.wavxxxxxxxxxxxxxxxxxxxxx", wav, longext);
    EXPECT_EQ(0u, longext->numsamples);
    EXPECT_EQ(before + 4, soundsystem.numsounds);

    char text[] = "abc.Wav-z";
    EXPECT_STREQ("ABC.WAV-Z", upcase_sound(text));
}

TEST_F(SoundSystem, PlaySound_RestartsInPlaceAndLoopingSticks) {
    s_sound *a = NewRecord();
    s_sound *b = NewRecord();
    LoadMono16(a, Constant(100000, 1));
    LoadMono16(b, Constant(100000, 1));
    Soundsystem_PlaySound(a, 1);
    Soundsystem_PlaySound(b, 0);
    Mix();
    ASSERT_NE(0u, a->position);
    Soundsystem_PlaySound(a, 0);
    EXPECT_EQ(0u, a->position);
    EXPECT_EQ(1, a->playing);
    EXPECT_EQ(1u, a->loop);  // a zero does not clear the loop flag
    EXPECT_EQ(2, soundsystem.numactive);
    EXPECT_EQ(a, active_sounds[0]);
    EXPECT_EQ(b, active_sounds[1]);

    Soundsystem_PlayMusic(b, 0);
    EXPECT_EQ(1u, b->music);
    Soundsystem_StopMusic(b);
    EXPECT_EQ(1u, b->music);
    EXPECT_EQ(1, soundsystem.numactive);
}

TEST_F(SoundSystem, SixteenSoundsAtMost_AndStartingOneOfThemRestartsIt) {
    s_sound *s[17];
    for (auto &p : s) {
        p = NewRecord();
        LoadMono16(p, Constant(100000, 1));
    }
    for (int i = 0; i < 16; i++) Soundsystem_PlaySound(s[i], 0);
    EXPECT_EQ(16, soundsystem.numactive);
    Soundsystem_PlaySound(s[16], 0);
    EXPECT_EQ(16, soundsystem.numactive);
    EXPECT_EQ(1, s[16]->playing);  // flagged, but not mixed
    for (int i = 0; i < 16; i++) EXPECT_EQ(s[i], active_sounds[i]);

    Mix();
    EXPECT_EQ(0u, s[16]->position);
    Soundsystem_PlaySound(s[7], 0);
    EXPECT_EQ(0u, s[7]->position);
    EXPECT_EQ(16, soundsystem.numactive);
    EXPECT_EQ(s[7], active_sounds[7]);
    EXPECT_EQ(2048u * 256, s[8]->position);
}

TEST_F(SoundSystem, StopSound_ClosesTheGapInOrder) {
    s_sound *s[4];
    for (auto &p : s) {
        p = NewRecord();
        LoadMono16(p, Constant(100000, 1));
        Soundsystem_PlaySound(p, 0);
    }
    Mix();
    Soundsystem_StopSound(s[1]);
    EXPECT_EQ(3, soundsystem.numactive);
    EXPECT_EQ(s[0], active_sounds[0]);
    EXPECT_EQ(s[2], active_sounds[1]);
    EXPECT_EQ(s[3], active_sounds[2]);
    EXPECT_EQ(0, s[1]->playing);
    EXPECT_EQ(0u, s[1]->position);
    EXPECT_EQ(2048u * 256, s[2]->position);

    // Not listed: only its position and flag change.
    s[1]->position = 99;
    s[1]->playing = 1;
    Soundsystem_StopSound(s[1]);
    EXPECT_EQ(0u, s[1]->position);
    EXPECT_EQ(0, s[1]->playing);
    EXPECT_EQ(3, soundsystem.numactive);
    EXPECT_EQ(s[0], active_sounds[0]);
    EXPECT_EQ(s[2], active_sounds[1]);
    EXPECT_EQ(s[3], active_sounds[2]);

    Soundsystem_StopSound(s[0]);
    EXPECT_EQ(s[2], active_sounds[0]);
    EXPECT_EQ(s[3], active_sounds[1]);
    Soundsystem_StopSound(s[3]);
    Soundsystem_StopSound(s[2]);
    Soundsystem_StopSound(s[2]);
    EXPECT_EQ(0, soundsystem.numactive);
}

TEST_F(SoundSystem, DeleteSound_StopsFreesAndNeverCountsBelowZero) {
    s_sound *s = NewRecord();
    LoadMono16(s, Constant(1000, 1));
    Soundsystem_PlaySound(s, 1);
    soundsystem.numsounds = 1;
    Soundsystem_DeleteSound(s);
    EXPECT_EQ(0, soundsystem.numactive);
    EXPECT_EQ(nullptr, s->data);
    EXPECT_EQ(0u, s->numsamples);
    EXPECT_EQ(0, soundsystem.numsounds);
    Soundsystem_DeleteSound(s);
    EXPECT_EQ(0, soundsystem.numsounds);
    // Deleted, then started again: silent, and dropped by the mixer.
    Soundsystem_PlaySound(s, 1);
    std::vector<int16_t> out = Mix(8);
    for (int16_t v : out) EXPECT_EQ(0, v);
    EXPECT_EQ(0, soundsystem.numactive);
}

TEST_F(SoundSystem, CreateSoundStream_MakesASilentLoopingRecord) {
    s_sound *s = NewRecord();
    int before = soundsystem.numsounds;
    Soundsystem_CreateSoundStream(s, nullptr, 22050, 16, 2, 300);
    EXPECT_EQ(300u * 2 * 2, s->size);
    EXPECT_EQ(300u, s->numsamples);
    EXPECT_EQ(1u, s->stream);
    EXPECT_EQ(300u, s->streamsamples);
    EXPECT_EQ(s->size, s->streamsize);
    EXPECT_EQ(1u, s->loop);
    EXPECT_EQ(256u, s->step);
    EXPECT_EQ(128, s->leftvolume);
    EXPECT_EQ(0, s->playing);
    EXPECT_EQ(before + 1, soundsystem.numsounds);
    for (uint32_t i = 0; i < s->size; i++) ASSERT_EQ(0, s->data[i]);

    // A size that cannot be allocated is refused with a message.
    s_sound *huge = NewRecord();
    ::testing::internal::CaptureStdout();
    Soundsystem_CreateSoundStream(huge, nullptr, 44100, 16, 2, 0x7fffffff);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("no stream size")) << out;
    EXPECT_EQ(nullptr, huge->data);
    EXPECT_EQ(0u, huge->size);
}

TEST_F(SoundSystem, NullRecords_AreReportedNotFollowed) {
    ::testing::internal::CaptureStdout();
    Soundsystem_PlaySound(nullptr, 0);
    Soundsystem_StopSound(nullptr);
    Soundsystem_SetVolume(nullptr, 3);
    Soundsystem_LoadSound(nullptr, nullptr);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("Soundsystem_PlaySound: no sound record\n")) << out;
    EXPECT_EQ(0, soundsystem.numactive);
}

}  // namespace
