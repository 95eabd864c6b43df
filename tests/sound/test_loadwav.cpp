// The WAV reader and writer: the one accepted layout, the refusals and
// their messages, lengths cut to the file, and a save / load round trip.
#include <gtest/gtest.h>

#include <csignal>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "corefile/corefile.h"
#include "sound/sound.h"
#include "sound_util.h"
#include "common/scratch.h"

using soundtest::Bytes;
using soundtest::MakeWav;

namespace {

struct Parsed {
    int result;
    std::string output;
    s_sound sound;
};

Parsed Parse(const Bytes &bytes) {
    Parsed p;
    p.sound = s_sound{};
    ::testing::internal::CaptureStdout();
    p.result = Soundsystem_ParseWAV(bytes.data(), (uint32_t)bytes.size(), &p.sound);
    p.output = ::testing::internal::GetCapturedStdout();
    return p;
}

void FreeData(Parsed &p) {
    std::free(p.sound.data);
    p.sound.data = nullptr;
}

Bytes Ramp(size_t count) {
    Bytes out;
    for (size_t i = 0; i < count; i++) out.push_back((uint8_t)(i * 7 + 3));
    return out;
}

TEST(LoadWav, CanonicalFiles_LoadWithTheirFields) {
    Parsed stereo = Parse(MakeWav(2, 16, 44100, Ramp(4000)));
    EXPECT_EQ(1, stereo.result);
    EXPECT_EQ("", stereo.output);
    EXPECT_EQ(2, stereo.sound.channels);
    EXPECT_EQ(16, stereo.sound.bits);
    EXPECT_EQ(44100u, stereo.sound.frequency);
    EXPECT_EQ(4000u, stereo.sound.size);
    EXPECT_EQ(2000u, stereo.sound.numsamples);
    ASSERT_NE(nullptr, stereo.sound.data);
    EXPECT_EQ(0, std::memcmp(Ramp(4000).data(), stereo.sound.data, 4000));
    FreeData(stereo);

    Parsed mono8 = Parse(MakeWav(1, 8, 22050, Ramp(500)));
    EXPECT_EQ(1, mono8.result);
    EXPECT_EQ(500u, mono8.sound.numsamples);
    FreeData(mono8);

    // Anything after the data is not read.
    Bytes trailing = MakeWav(1, 16, 8000, Ramp(10));
    for (char c : std::string("LIST....")) trailing.push_back((uint8_t)c);
    Parsed t = Parse(trailing);
    EXPECT_EQ(1, t.result);
    EXPECT_EQ(10u, t.sound.size);
    EXPECT_EQ(5u, t.sound.numsamples);
    FreeData(t);
}

TEST(LoadWav, OtherLayouts_AreRefusedWithTheirOwnMessages) {
    Bytes notwave = MakeWav(1, 16, 44100, Ramp(8));
    std::memcpy(notwave.data() + 8, "AVI ", 4);
    Parsed p = Parse(notwave);
    EXPECT_EQ(0, p.result);
    EXPECT_EQ("No WAV file", p.output);  // no line end

    Bytes notriff = MakeWav(1, 16, 44100, Ramp(8));
    notriff[0] = 'X';
    EXPECT_EQ("No WAV file", Parse(notriff).output);

    // Only "fmt" is compared; the fourth byte of the tag may be anything.
    Bytes fmtx = MakeWav(1, 16, 44100, Ramp(8));
    fmtx[15] = 'X';
    Parsed fx = Parse(fmtx);
    EXPECT_EQ(1, fx.result);
    FreeData(fx);
    Bytes nofmt = MakeWav(1, 16, 44100, Ramp(8));
    nofmt[12] = 'F';
    p = Parse(nofmt);
    EXPECT_EQ(0, p.result);
    EXPECT_EQ("", p.output);
    EXPECT_EQ(0, p.sound.channels);

    // Not PCM: the message, and channels / rate / bits already set.
    p = Parse(MakeWav(2, 16, 32000, Ramp(8), 3));
    EXPECT_EQ(0, p.result);
    EXPECT_EQ("Not PCM signed", p.output);
    EXPECT_EQ(2, p.sound.channels);
    EXPECT_EQ(32000u, p.sound.frequency);
    EXPECT_EQ(16, p.sound.bits);
    EXPECT_EQ(0u, p.sound.size);
    EXPECT_EQ(nullptr, p.sound.data);

    // More channels than the mixer plays: refused with a line.
    p = Parse(MakeWav(6, 16, 44100, Ramp(24)));
    EXPECT_EQ(0, p.result);
    EXPECT_EQ("WAV file has 6 channels, not 1 or 2\n", p.output);
    EXPECT_EQ(0u, p.sound.size);
    EXPECT_EQ(nullptr, p.sound.data);

    // An 18-byte format chunk pushes "data" two bytes on: refused silently.
    Bytes ext = MakeWav(1, 16, 44100, Ramp(8));
    ext[16] = 18;
    ext.insert(ext.begin() + 36, {0, 0});
    p = Parse(ext);
    EXPECT_EQ(0, p.result);
    EXPECT_EQ("", p.output);
    EXPECT_EQ(1, p.sound.channels);
    EXPECT_EQ(0u, p.sound.numsamples);

    // Another chunk before the data: refused silently.
    Bytes list = MakeWav(1, 16, 44100, Ramp(8));
    Bytes chunk = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    list.insert(list.begin() + 36, chunk.begin(), chunk.end());
    p = Parse(list);
    EXPECT_EQ(0, p.result);
    EXPECT_EQ("", p.output);
}

TEST(LoadWav, DamagedFiles_AreRefusedOrCutWithoutReadingOutside) {
    // Shorter than the header.
    Bytes whole = MakeWav(1, 16, 44100, {});
    for (size_t n = 0; n < 44; n++) {
        Bytes cut(whole.begin(), whole.begin() + n);
        Parsed p = Parse(cut);
        ASSERT_EQ(0, p.result) << n;
        ASSERT_NE(std::string::npos, p.output.find("too short")) << n;
        ASSERT_EQ(0, p.sound.channels);
    }
    Parsed empty = Parse(whole);  // exactly the header: no samples
    EXPECT_EQ(1, empty.result);
    EXPECT_EQ(0u, empty.sound.size);
    EXPECT_EQ(nullptr, empty.sound.data);

    // A data length past the end is cut to what the file holds.
    Bytes longer = MakeWav(1, 16, 44100, Ramp(101));
    longer[40] = 0xff;
    longer[41] = 0xff;
    Parsed cut = Parse(longer);
    EXPECT_EQ(1, cut.result);
    EXPECT_NE(std::string::npos, cut.output.find("cut")) << cut.output;
    EXPECT_EQ(101u, cut.sound.size);
    EXPECT_EQ(50u, cut.sound.numsamples);
    FreeData(cut);

    // Widths the mixer cannot read, no channels, no rate: refused, silent.
    for (uint16_t bits : {0, 4, 7, 12, 24, 32}) {
        Parsed p = Parse(MakeWav(1, bits, 44100, Ramp(64)));
        EXPECT_EQ(0, p.result) << bits;
        EXPECT_NE(std::string::npos, p.output.find("bits per sample")) << bits;
        EXPECT_EQ(0u, p.sound.size);
        EXPECT_EQ(0u, p.sound.numsamples);
        EXPECT_EQ(nullptr, p.sound.data);
    }
    Parsed nochannels = Parse(MakeWav(0, 16, 44100, Ramp(64)));
    EXPECT_EQ(0, nochannels.result);
    EXPECT_NE(std::string::npos, nochannels.output.find("has 0 channels"));
    Parsed norate = Parse(MakeWav(1, 16, 0, Ramp(64)));
    EXPECT_EQ(0, norate.result);
    EXPECT_NE(std::string::npos, norate.output.find("sample rate of 0"));
    EXPECT_EQ(nullptr, norate.sound.data);
}

std::string TempDir() {
    return ScratchFolder("qo_sound_");
}

Bytes ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string &path, const Bytes &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), (std::streamsize)bytes.size());
}

TEST(LoadWav, SaveAndLoad_RoundTripThroughADirectory) {
    std::string dir = TempDir();
    Bytes original = MakeWav(2, 16, 22050, Ramp(4000));
    WriteFile(dir + "/orig.wav", original);
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(1, corefile_mountimage(dir.c_str(), 2));

    s_sound loaded = {};
    EXPECT_EQ(1, Soundsystem_LoadSound("orig.wav", &loaded));
    EXPECT_EQ(1, Soundsystem_SaveSound("copy.wav", &loaded));
    s_sound again = {};
    Soundsystem_LoadSound("copy.wav", &again);

    // A missing name leaves the record silent and says so through the
    // file layer.
    s_sound missing = {};
    EXPECT_EQ(0, Soundsystem_LoadWAV("nothere.wav", &missing));
    EXPECT_EQ(0, Soundsystem_LoadSound("nothere.wav", &missing));

    // A stream states the bytes that follow, so that it reads back whole.
    s_sound stream = {};
    Soundsystem_CreateSoundStream(&stream, nullptr, 44100, 16, 2, 100);
    for (uint32_t i = 0; i < stream.size; i++) stream.data[i] = (uint8_t)i;
    Soundsystem_SaveWAV("stream.wav", &stream);
    s_sound streamback = {};
    Soundsystem_LoadSound("stream.wav", &streamback);
    std::string out = ::testing::internal::GetCapturedStdout();
    corefile_closeimage();

    EXPECT_EQ(original, ReadFile(dir + "/copy.wav")) << out;
    EXPECT_EQ(loaded.channels, again.channels);
    EXPECT_EQ(loaded.bits, again.bits);
    EXPECT_EQ(loaded.frequency, again.frequency);
    EXPECT_EQ(loaded.size, again.size);
    EXPECT_EQ(loaded.numsamples, again.numsamples);
    ASSERT_NE(nullptr, again.data);
    EXPECT_EQ(0, std::memcmp(loaded.data, again.data, loaded.size));

    EXPECT_EQ(0u, missing.size);
    EXPECT_EQ(nullptr, missing.data);
    EXPECT_EQ(0, missing.channels);

    EXPECT_EQ(400u, streamback.size);
    EXPECT_EQ(200u, streamback.numsamples);
    ASSERT_NE(nullptr, streamback.data);
    EXPECT_EQ(0, std::memcmp(stream.data, streamback.data, 400));

    Bytes saved = ReadFile(dir + "/stream.wav");
    ASSERT_EQ(444u, saved.size());
    EXPECT_EQ(400u + 36, (uint32_t)(saved[4] | saved[5] << 8));
    EXPECT_EQ(44100u * 4, (uint32_t)(saved[28] | saved[29] << 8 | saved[30] << 16));
    EXPECT_EQ(4, saved[32]);

    for (s_sound *s : {&loaded, &again, &stream, &streamback}) std::free(s->data);
    for (const char *name : {"orig.wav", "copy.wav", "stream.wav"}) {
        std::remove((dir + "/" + name).c_str());
    }
    std::filesystem::remove_all(dir);
}

TEST(LoadWav, SaveWAV_AWriteThatFailsReturnsZeroWithALine) {
    Parsed p = Parse(MakeWav(1, 16, 8000, Ramp(4000)));
    ASSERT_EQ(1, p.result);
    std::string dir = TempDir();
    ::testing::internal::CaptureStdout();

    // An image is read only.
    coreimage::Bytes image = coreimage::build({{"a.wav", "x"}});
    ASSERT_EQ(1, corefile_mountmemory(image.data(), image.size()));
    EXPECT_EQ(0, Soundsystem_SaveWAV("a.wav", &p.sound));
    corefile_closeimage();

    // A disk that fills up (a file size limit) fails the write or the close.
    ASSERT_EQ(1, corefile_mountimage(dir.c_str(), 2));
#ifdef SIGXFSZ
    void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
#endif
    const bool limited = LimitFileSize(1000);
    int full = limited ? Soundsystem_SaveWAV("full.wav", &p.sound) : 0;
    LimitFileSize(-1);
#ifdef SIGXFSZ
    signal(SIGXFSZ, handler);
#endif
    EXPECT_EQ(0, Soundsystem_SaveWAV("nosuchfolder/x.wav", &p.sound));
    EXPECT_EQ(1, Soundsystem_SaveWAV("fine.wav", &p.sound));
    corefile_closeimage();
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, full) << out;
    EXPECT_NE(std::string::npos, out.find("read only")) << out;
    if (limited) {
        EXPECT_NE(std::string::npos, out.find("full.wav failed")) << out;
    }
    EXPECT_NE(std::string::npos, out.find("cannot write nosuchfolder/x.wav")) << out;
    for (const char *name : {"full.wav", "fine.wav"}) std::remove((dir + "/" + name).c_str());
    std::filesystem::remove_all(dir);
    FreeData(p);
}

TEST(LoadWav, FileInAnImage_IsReadOnlyAsFarAsItsSize) {
    // The data length claims more than the file; the next file in the image
    // follows directly and must not be taken for samples.
    Bytes wav = MakeWav(1, 8, 8000, Ramp(10));
    wav[40] = 200;
    coreimage::Bytes image = coreimage::build(
        {{"a.wav", std::string(wav.begin(), wav.end())}, {"b.bin", std::string(300, 'Z')}});
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(1, corefile_mountmemory(image.data(), image.size()));
    s_sound s = {};
    EXPECT_EQ(1, Soundsystem_LoadWAV("A.WAV", &s));
    corefile_closeimage();
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(10u, s.size) << out;
    EXPECT_EQ(0, std::memcmp(Ramp(10).data(), s.data, 10));
    std::free(s.data);
}

}  // namespace
