// Sound system: the global volumes and accumulator, sound records, and the
// list of playing sounds that the mixer walks.
//
// Every change the mixer could observe happens between audiodriver_lock()
// and audiodriver_unlock(). File reading and allocation happen before the
// lock is taken, so the audio thread never waits on the disk.
#include "sound/sound.h"

#include <cstdlib>
#include <cstring>

#include "core/core.h"

s_soundsystem soundsystem;
s_sound *active_sounds[SOUNDSYSTEM_MAXACTIVE];

namespace {

// Extensions longer than this are not recognised.
constexpr size_t kMaxExtension = 23;

// A fresh stream buffer larger than this is refused rather than allocated.
constexpr uint64_t kMaxStreamBytes = 256u << 20;

struct DeviceLock {
    DeviceLock() { audiodriver_lock(); }
    ~DeviceLock() { audiodriver_unlock(); }
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;
};

int clampvolume(int volume) {
    if (volume < 0) return 0;
    if (volume > 255) return 255;
    return volume;
}

// The gains follow from volume and panning; truncation makes a centred full
// volume 126 / 127, not 127 / 127.
void setgains(s_sound *sound) {
    sound->leftvolume = (uint8_t)((255 - sound->panning) * sound->volume / 256);
    sound->rightvolume = (uint8_t)(sound->panning * sound->volume / 256);
}

// Freshly loaded and created records start at 128 / 128, which is not what
// setgains would give for volume 255 at the centre.
void setdefaults(s_sound *sound) {
    sound->position = 0;
    sound->step = soundsystem_step(sound->frequency, sound->channels);
    sound->volume = 255;
    sound->leftvolume = 128;
    sound->rightvolume = 128;
    sound->panning = 128;
    sound->playing = 0;
}

bool norecord(const s_sound *sound, const char *who) {
    if (sound) return false;
    _dbg_printf("%s: no sound record\n", who);
    return true;
}

int findactive(const s_sound *sound) {
    for (int i = 0; i < soundsystem.numactive && i < SOUNDSYSTEM_MAXACTIVE; i++) {
        if (active_sounds[i] == sound) return i;
    }
    return -1;
}

}  // namespace

uint32_t soundsystem_step(uint32_t frequency, uint32_t channels) {
    if (soundsystem.rate == 0) return 0;
    return frequency * 256u * channels / soundsystem.rate;
}

char *upcase_sound(char *text) {
    if (!text) return text;
    for (char *c = text; *c; c++) {
        if (*c >= 'a' && *c <= 'z') *c = (char)(*c - 'a' + 'A');
    }
    return text;
}

// ---------------------------------------------------------------------------
// Start-up and shut-down

int Soundsystem_Init(unsigned rate, int bits, int channels) {
    // A second start-up replaces the first instead of leaking its device.
    if (g_waveout_opened || soundsystem.outputbuffer) Soundsystem_CloseAudio();

    soundsystem.rate = rate;
    soundsystem.channels = (uint16_t)(channels & 0xff);
    soundsystem.bits = (uint16_t)(bits & 0xff);
    soundsystem.numsounds = 0;
    soundsystem.numactive = 0;
    soundsystem.mastervolume = 255;
    soundsystem.musicvolume = 255;
    soundsystem.effectvolume = 255;
    soundsystem.bufferlength = SOUNDSYSTEM_BUFFERFRAMES;
    soundsystem.buffersize = 0;
    soundsystem.outputbuffer = nullptr;

    // The device always runs at 44100 Hz, 16 bits; rate only enters the step
    // rule. A driver that fails leaves the game silent, nothing more.
    audiodriver_init(44100, 16, SOUNDSYSTEM_BUFFERFRAMES, (channels & 0xff) == 2 ? 2 : 1);

    _dbg_printf("soundsystem bufferlength = %d\n", (int)soundsystem.bufferlength);

    // Sized by the channels the driver settled on, which is what the mixer
    // indexes by. The device may already be calling the mixer, which plays
    // silence until the accumulator is in place.
    uint32_t outchannels = soundsystem.channels == 2 ? 2 : 1;
    uint32_t size = outchannels * soundsystem.bufferlength * 4;
    int32_t *accumulator = (int32_t *)std::calloc(size, 1);
    if (!accumulator) {
        _dbg_printf("soundsystem: out of memory for the mix buffer\n");
        size = 0;
    }
    {
        DeviceLock lock;
        soundsystem.buffersize = size;
        soundsystem.outputbuffer = accumulator;
    }
    return 1;
}

void Soundsystem_CloseAudio() {
    audiodriver_close();
    std::free(soundsystem.outputbuffer);
    soundsystem.outputbuffer = nullptr;
    soundsystem.buffersize = 0;
}

// ---------------------------------------------------------------------------
// Volumes

void Soundsystem_SetMasterVolume(int volume) {
    DeviceLock lock;
    soundsystem.mastervolume = (uint16_t)clampvolume(volume);
}

void Soundsystem_SetMusicVolume(int volume) {
    DeviceLock lock;
    soundsystem.musicvolume = (uint16_t)clampvolume(volume);
}

void Soundsystem_SetEffectVolume(int volume) {
    DeviceLock lock;
    soundsystem.effectvolume = (uint16_t)clampvolume(volume);
}

void Soundsystem_SetVolume(s_sound *sound, int volume) {
    if (norecord(sound, "Soundsystem_SetVolume")) return;
    DeviceLock lock;
    sound->volume = (uint8_t)clampvolume(volume);
    setgains(sound);
}

// Only the top is clamped: below 0 the low 8 bits are kept, so -1 pans hard
// right like 255.
void Soundsystem_SetPanning(s_sound *sound, int panning) {
    if (norecord(sound, "Soundsystem_SetPanning")) return;
    if (panning > 255) panning = 255;
    DeviceLock lock;
    sound->panning = (uint8_t)(panning & 0xff);
    setgains(sound);
}

// Re-pitches by the step alone; the record's frequency stays what the file
// said.
void Soundsystem_SetFrequency(s_sound *sound, int frequency) {
    if (norecord(sound, "Soundsystem_SetFrequency")) return;
    DeviceLock lock;
    sound->step = soundsystem_step((uint32_t)frequency, sound->channels);
}

// ---------------------------------------------------------------------------
// Records

int Soundsystem_LoadSound(const char *name, s_sound *sound) {
    if (!name) {
        _dbg_printf("Soundsystem_LoadSound: no file name\n");
        return 0;
    }
    if (norecord(sound, "Soundsystem_LoadSound")) return 0;
    _dbg_printf("Loading sound %s\n", name);

    // Built aside and swapped in whole under the lock: a listed record is
    // never seen half loaded.
    s_sound fresh;
    std::memset(&fresh, 0, sizeof fresh);

    int loaded = 0;
    const char *dot = std::strrchr(name, '.');
    if (dot && dot != name && std::strlen(dot) <= kMaxExtension) {
        char extension[kMaxExtension + 1];
        std::strcpy(extension, dot);
        upcase_sound(extension);
        if (std::strcmp(extension, ".WAV") == 0) loaded = Soundsystem_LoadWAV(name, &fresh);
    }

    DeviceLock lock;
    *sound = fresh;
    sound->stream = 0;
    sound->streamsize = 0;
    sound->streamoffset = 0;
    sound->callback = nullptr;
    sound->loop = 0;
    sound->music = 0;
    setdefaults(sound);
    soundsystem.numsounds++;
    return loaded;
}

int Soundsystem_SaveSound(const char *name, s_sound *sound) {
    return Soundsystem_SaveWAV(name, sound);
}

void Soundsystem_CreateSoundStream(s_sound *sound, s_soundcallback callback, int frequency,
                                   int bits, int channels, int numsamples) {
    if (norecord(sound, "Soundsystem_CreateSoundStream")) return;
    s_sound fresh;
    std::memset(&fresh, 0, sizeof fresh);
    fresh.channels = (uint16_t)channels;
    fresh.frequency = (uint32_t)frequency;
    fresh.bits = (uint16_t)bits;
    fresh.numsamples = (uint32_t)numsamples;

    // Computed wide so that silly arguments are refused instead of wrapping
    // into a small buffer the mixer would then overrun.
    int64_t bytes = (int64_t)numsamples * channels * (bits / 8);
    if (numsamples < 0 || channels < 0 || bits < 0 || (uint64_t)bytes > kMaxStreamBytes) {
        _dbg_printf(
            "Soundsystem_CreateSoundStream: %d samples of %d channels at %d bits "
            "is no stream size\n",
            numsamples, channels, bits);
        bytes = 0;
    }
    if (bytes > 0) {
        fresh.data = (uint8_t *)std::calloc((size_t)bytes, 1);
        if (!fresh.data) {
            _dbg_printf("Soundsystem_CreateSoundStream: out of memory\n");
            bytes = 0;
        }
    }
    fresh.size = (uint32_t)bytes;

    DeviceLock lock;
    *sound = fresh;
    sound->stream = 1;
    sound->streamsamples = (uint32_t)numsamples;
    sound->streamsize = sound->size;
    sound->streamoffset = 0;
    sound->callback = callback;
    sound->loop = 1;
    sound->music = 0;
    setdefaults(sound);
    soundsystem.numsounds++;
}

void Soundsystem_DeleteSound(s_sound *sound) {
    if (norecord(sound, "Soundsystem_DeleteSound")) return;
    DeviceLock lock;
    soundsystem_stopsound_locked(sound);
    std::free(sound->data);
    sound->data = nullptr;
    sound->size = 0;
    sound->numsamples = 0;
    if (soundsystem.numsounds > 0) soundsystem.numsounds--;
}

int32_t *Soundsystem_GetOutputBuffer() {
    return soundsystem.outputbuffer;
}

// ---------------------------------------------------------------------------
// The playing list

void Soundsystem_PlaySound(s_sound *sound, int loop) {
    if (norecord(sound, "Soundsystem_PlaySound")) return;
    DeviceLock lock;
    sound->playing = 1;
    sound->position = 0;
    // A zero leaves the flag alone: a sound once looped keeps looping.
    if (loop) sound->loop = 1;
    // Already listed: it keeps its place and starts over. With all 16 slots
    // taken a new sound is flagged playing but not mixed.
    if (findactive(sound) >= 0) return;
    if (soundsystem.numactive < SOUNDSYSTEM_MAXACTIVE) {
        active_sounds[soundsystem.numactive] = sound;
        soundsystem.numactive++;
    }
}

void Soundsystem_PlayMusic(s_sound *sound, int loop) {
    if (norecord(sound, "Soundsystem_PlayMusic")) return;
    {
        DeviceLock lock;
        sound->music = 1;
    }
    Soundsystem_PlaySound(sound, loop);
}

void soundsystem_stopsound_locked(s_sound *sound) {
    sound->position = 0;
    sound->playing = 0;
    int at = findactive(sound);
    if (at < 0) return;
    // Closing the gap keeps the later sounds in the order they were started.
    int count = soundsystem.numactive < SOUNDSYSTEM_MAXACTIVE ? soundsystem.numactive
                                                              : SOUNDSYSTEM_MAXACTIVE;
    for (int i = at; i + 1 < count; i++) active_sounds[i] = active_sounds[i + 1];
    if (soundsystem.numactive > 0) soundsystem.numactive--;
}

void Soundsystem_StopSound(s_sound *sound) {
    if (norecord(sound, "Soundsystem_StopSound")) return;
    DeviceLock lock;
    soundsystem_stopsound_locked(sound);
}

// The music flag stays set: a stopped music track is still music.
void Soundsystem_StopMusic(s_sound *sound) {
    Soundsystem_StopSound(sound);
}
