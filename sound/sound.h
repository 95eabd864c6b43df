// Sound: sound records and playback control, WAV files, the software mixer
// and the audio output driver.
//
// Offers: Soundsystem_… (records, the list of up to 16 playing sounds, the
// master, music and effect volumes), Soundsystem_LoadWAV / SaveWAV, and the
// output driver audiodriver_… that plays a ring of four 2048-frame buffers
// at 44100 Hz, 16-bit, stereo, each mixed (audiodriver_mixbuffers) just
// before the device takes it.
// Depends on: corefile (WAV files are read by name from the mounted image),
// core (debug output), and SDL2 audio inside audiodriver_sdl.cpp only.
//
// Threads. Every Soundsystem_… call comes from the game thread. The mixer
// runs on SDL's audio thread inside the device lock that SDL holds around its
// callback. Everything the mixer reads — `soundsystem`, `active_sounds` and
// the sound records it lists — is changed on the game thread only between
// audiodriver_lock() and audiodriver_unlock(), so the mixer never sees a
// half-moved list or a record in the middle of a reload. A caller that wants
// to read a listed record's `position` or `playing` while the device runs
// takes the same lock. Stream callbacks run on the audio thread with the lock
// held and may call Soundsystem_… themselves (the lock is recursive).
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------
// Sound records

// A stream's refill function: called with the record's data and size each
// time the mixer has played through the buffer.
typedef void (*s_soundcallback)(void *data, uint32_t size);

struct s_sound {
    uint16_t playing;     // 1 once started, 0 when stopped
    uint16_t channels;    // 1 mono, 2 stereo (interleaved left, right)
    uint16_t bits;        // 8 (unsigned, 128 = silence) or 16 (signed little-endian)
    uint32_t size;        // bytes of sample data
    uint32_t numsamples;  // samples with all channels counted (a stream: as created)
    uint32_t frequency;   // sample rate of the data in Hz
    uint64_t position;    // read position in 1/256 samples
    uint32_t step;        // position increment per output frame, 1/256 samples
    uint32_t loop;        // non-zero: play on from the start at the end
    uint32_t music;       // 1: scaled by musicvolume, else by effectvolume
    uint8_t volume;       // the sound's own volume, 0..255
    uint8_t leftvolume;   // left output gain, 0..255
    uint8_t rightvolume;  // right output gain, 0..255
    uint8_t panning;      // 0 hard left, 128 centre, 255 hard right
    uint32_t stream;      // 1 for a stream record
    uint32_t streamsamples;
    uint32_t streamsize;
    uint32_t streamoffset;
    s_soundcallback callback;  // a stream's refill function; null for loaded sounds
    uint8_t *data;             // sample bytes, owned by the record
};

enum { SOUNDSYSTEM_MAXACTIVE = 16, SOUNDSYSTEM_BUFFERFRAMES = 2048 };

struct s_soundsystem {
    uint32_t rate;          // rate every step is computed against (44100)
    uint16_t channels;      // output channels: 2 stereo, 1 mono
    uint16_t bits;          // output sample width (16)
    uint32_t bufferlength;  // frames per mix buffer (2048; 1024 in the browser)
    uint32_t buffersize;    // bytes of the accumulator
    uint16_t mastervolume;  // 0..255
    uint16_t musicvolume;   // 0..255, for records with music == 1
    uint16_t effectvolume;  // 0..255, for all other records
    int32_t *outputbuffer;  // the 32-bit accumulator, channels × bufferlength values
    int32_t numsounds;      // records loaded or created less those deleted
    int32_t numactive;      // entries in use in active_sounds
};

extern s_soundsystem soundsystem;
// The playing sounds, in the order they were started; a sound is listed once.
extern s_sound *active_sounds[SOUNDSYSTEM_MAXACTIVE];

// ---------------------------------------------------------------------------
// Sound system (game thread)

// Call with 44100, 16, 2 before any other Soundsystem_ call. Returns 1 also
// when no sound device opens: everything then works, silently.
int Soundsystem_Init(unsigned rate, int bits, int channels);
void Soundsystem_CloseAudio();
void Soundsystem_SetMasterVolume(int volume);
void Soundsystem_SetMusicVolume(int volume);
void Soundsystem_SetEffectVolume(int volume);
void Soundsystem_SetVolume(s_sound *sound, int volume);
void Soundsystem_SetPanning(s_sound *sound, int panning);
void Soundsystem_SetFrequency(s_sound *sound, int frequency);
// Loads a WAV file (a name ending in .wav, any case, in the one layout the
// reader takes: see "WAV files" below) from the mounted resource image into
// the record, replacing what it held. Returns 1, or 0 when the name is not
// a .wav, the file is missing or it is not in that layout; the record is
// then a silent sound of no length that can still be played.
int Soundsystem_LoadSound(const char *name, s_sound *sound);
int Soundsystem_SaveSound(const char *name, s_sound *sound);
void Soundsystem_CreateSoundStream(s_sound *sound, s_soundcallback callback, int frequency,
                                   int bits, int channels, int numsamples);
// Starts the sound from its beginning (restarts it when playing); loop 1
// plays it on until stopped. At most 16 sounds play at once.
void Soundsystem_PlaySound(s_sound *sound, int loop);
void Soundsystem_PlayMusic(s_sound *sound, int loop);
void Soundsystem_StopSound(s_sound *sound);
void Soundsystem_StopMusic(s_sound *sound);
void Soundsystem_DeleteSound(s_sound *sound);
int32_t *Soundsystem_GetOutputBuffer();

// Upper-cases ASCII 'a'..'z' in place; returns its argument.
char *upcase_sound(char *text);

// ---------------------------------------------------------------------------
// WAV files
//
// The reader takes one layout: the canonical 44-byte header, that is "RIFF",
// "WAVE", a format chunk of 16 bytes (PCM; 1 or 2 channels; 8-bit unsigned
// or 16-bit signed samples; any rate) and directly after it the "data"
// chunk. Anything else is refused, and not always with a reason: a longer
// format chunk (WAVE_FORMAT_EXTENSIBLE, float samples) or another chunk
// before the data (LIST, bext, fact) fails the "data" test without a line.
// Any WAV becomes that layout with
//     sox in.wav --comment "" -b 16 -e signed-integer -c 2 out.wav
// (-c 1 for mono). The writer produces the same layout.

int Soundsystem_LoadWAV(const char *name, s_sound *sound);
int Soundsystem_SaveWAV(const char *name, s_sound *sound);
// The reader behind Soundsystem_LoadWAV, on bytes already in memory. Writes
// only channels, bits, frequency, size, numsamples and data. Returns 1 or 0.
int Soundsystem_ParseWAV(const uint8_t *bytes, uint32_t length, s_sound *sound);

// ---------------------------------------------------------------------------
// Mixer (audio thread)

// Fills buffer (length bytes in the device's format) with the sum of the
// playing sounds. Returns the number of output samples written.
int audiodriver_mixbuffers(void *buffer, int length, int zero);

// ---------------------------------------------------------------------------
// Audio output driver

extern uint8_t *g_audio_buffer;    // the ring: four buffers of g_buffer_size bytes
extern int32_t g_sample_size;      // bytes per frame
extern int32_t g_buffer_size;      // bytes per ring buffer (2048 frames)
extern int32_t g_cur_buf;          // ring buffer filled next (mixed or handed out)
extern int32_t g_waveout_opened;   // 1 from a good init to close (a lost device is reopened)
extern int32_t g_buffer_waiting;   // 1 between audiodriver_getbuffer and _submitbuffer
extern uint32_t g_buffers_played;  // ring buffers handed to the device since init

// flags 2 = stereo. Returns 1 on success or when rate is 0, 0 on failure.
int audiodriver_init(unsigned rate, unsigned bits, int length, int flags);
void audiodriver_close();
// Mixes into ring buffer g_cur_buf and advances g_cur_buf.
int fillnextbuffer();
// Hands out ring buffer g_cur_buf for the caller to fill (holding the device
// lock until audiodriver_submitbuffer). Either pointer may be null. Returns 1.
int audiodriver_getbuffer(void **buffer, int *length);
void audiodriver_submitbuffer();
// SDL's audio callback: gives the device the next piece of the ring,
// mixing the due buffer when the one before has been handed out.
void sdl_audiocallback(void *userdata, uint8_t *stream, int length);
// Frames SDL is asked to take at a time, for output at `rate`, and the size
// of each mix: 2048 on the desktop (audiodevice_sdl.cpp), less in the
// browser (audiodevice_web.cpp), which also sets up the page's audio context;
// 0 where there is no output at all (a browser that gives no audio context).
int audiodevice_pieceframes(unsigned rate);
// The device lock (recursive; nothing while no device is open).
void audiodriver_lock();
void audiodriver_unlock();

// ---------------------------------------------------------------------------
// Inside the sound system

// Soundsystem_StopSound without taking the lock, for the mixer, which runs
// with it held.
void soundsystem_stopsound_locked(s_sound *sound);
// (frequency × 256 × channels) ÷ soundsystem.rate in unsigned 32-bit
// arithmetic; 0 while the rate is 0.
uint32_t soundsystem_step(uint32_t frequency, uint32_t channels);
