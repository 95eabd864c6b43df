// Audio output through SDL2: a ring of four buffers of the platform's piece
// (2048 frames on the desktop, 1024 in the browser), each mixed just before
// it is handed to the device. When SDL asks for sound and the buffer being
// played has run out, the callback mixes the next one in ring order and
// hands it out. So a sound started on the game thread waits at most one
// buffer (46 ms on the desktop, 23 in the browser) for its mix, and then
// only SDL's buffer and the sound server's, which SDL sizes to match, stand
// between the mix and the speaker. The ring starts as silence.
//
// A device can go away under the game: the sound server restarts, a USB
// card is pulled. A watch on SDL's timer looks at the device four times a
// second; once it is gone it is closed, and opened again (SDL's audio
// restarted, since its connection to a server may have died with it) until
// an output is there. The ring and the mixer's sounds are left as they are,
// so the music goes on where it was.
//
// SDL runs the callback on its audio thread; it mixes only inside the ring
// lock, and the game thread changes what the mixer reads only inside
// audiodriver_lock() / audiodriver_unlock(), which take the same lock. A
// lock of our own, unlike the device's, stays the same across a reopen.
#include "sound/sound.h"

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "core/core.h"

uint8_t *g_audio_buffer = nullptr;
int32_t g_sample_size = 0;
int32_t g_buffer_size = 0;
int32_t g_cur_buf = 0;
int32_t g_waveout_opened = 0;
int32_t g_buffer_waiting = 0;
uint32_t g_buffers_played = 0;

namespace {

constexpr int kRingBuffers = 4;

SDL_AudioDeviceID g_audio_device = 0;
SDL_AudioSpec g_audio_want, g_audio_spec;
// 1 while this driver holds a reference on SDL's audio subsystem.
int g_audio_subsystem = 0;
// The ring lock (recursive), and the lock over opening and closing the
// device, which the watch and the game thread share. Made once, never freed:
// a last run of the watch may come after a close.
SDL_mutex *g_ring_lock = nullptr;
SDL_mutex *g_device_lock = nullptr;
SDL_TimerID g_watch = 0;
std::atomic<bool> g_watching{false};
constexpr Uint32 kWatchMs = 250;
// The ring buffer being handed to SDL, and how many of its bytes are out.
int32_t g_play_buf = 0;
int32_t g_play_offset = 0;
// Buffers filled and waiting from g_play_buf on; g_cur_buf is always
// g_play_buf + g_queued, modulo the ring. 0 means the next piece needs a mix.
int32_t g_queued = 0;

uint8_t silencebyte() {
    return soundsystem.bits == 8 ? 128 : 0;
}

}  // namespace

void audiodriver_lock() {
    if (g_waveout_opened) SDL_LockMutex(g_ring_lock);
}

void audiodriver_unlock() {
    if (g_waveout_opened) SDL_UnlockMutex(g_ring_lock);
}

namespace {

// With the device lock held; the device starts paused. No changes allowed:
// SDL converts and re-blocks for us if the hardware wants something else, so
// the callback always sees this format.
bool open_device() {
    if (!g_audio_subsystem && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) g_audio_subsystem = 1;
    if (g_audio_subsystem)
        g_audio_device = SDL_OpenAudioDevice(nullptr, 0, &g_audio_want, &g_audio_spec, 0);
    return g_audio_device != 0;
}

// With the device lock held. Returns once SDL's audio thread has ended.
void close_device() {
    if (g_audio_device != 0) SDL_CloseAudioDevice(g_audio_device);
    g_audio_device = 0;
}

// The watch, on SDL's timer thread.
Uint32 watch_device(Uint32 interval, void *) {
    if (!g_watching.load(std::memory_order_acquire)) return 0;
    SDL_LockMutex(g_device_lock);
    static bool reported = false;
    if (g_watching.load(std::memory_order_acquire)) {
        if (g_audio_device != 0 && SDL_GetAudioDeviceStatus(g_audio_device) == SDL_AUDIO_STOPPED) {
            _dbg_printf("AUDIO: the output is gone, reopening it\n");
            reported = false;
            close_device();
        }
        if (g_audio_device == 0) {
            // A server that went away leaves SDL's connection to it dead:
            // SDL's audio starts afresh before each try.
            if (g_audio_subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
            g_audio_subsystem = 0;
            if (open_device()) {
                SDL_PauseAudioDevice(g_audio_device, 0);
                _dbg_printf("AUDIO: output reopened\n");
            } else if (!reported) {
                _dbg_printf("AUDIO: no output yet (%s), trying again\n", SDL_GetError());
                reported = true;
            }
        }
    }
    SDL_UnlockMutex(g_device_lock);
    return interval;
}

}  // namespace

int audiodriver_init(unsigned rate, unsigned bits, int length, int flags) {
    // Rate 0: nothing is opened and nothing will ever be mixed.
    if (rate == 0) return 1;
    if (g_waveout_opened || g_audio_buffer || g_audio_subsystem) audiodriver_close();

    // Every buffer is the platform's piece, whatever the caller asks for.
    (void)length;
    const int channels = (flags & 2) ? 2 : 1;
    soundsystem.bits = (uint16_t)bits;
    soundsystem.channels = (uint16_t)channels;
    if (bits != 8 && bits != 16) return 0;

    g_sample_size = (int32_t)(bits / 8) * channels;
    const int pieceframes = audiodevice_pieceframes(rate);
    if (pieceframes <= 0) return 0;  // no output here at all: the game runs silent
    g_buffer_size = pieceframes * g_sample_size;
    _dbg_printf("sample size: %d\nbuffer size: %d\n", g_sample_size, g_buffer_size);

    g_audio_buffer = (uint8_t *)std::malloc((size_t)kRingBuffers * g_buffer_size);
    if (!g_audio_buffer) {
        audiodriver_close();
        return 0;
    }
    std::memset(g_audio_buffer, bits == 8 ? 128 : 0, (size_t)kRingBuffers * g_buffer_size);
    g_cur_buf = 0;
    g_play_buf = 0;
    g_play_offset = 0;
    g_queued = 0;
    g_buffer_waiting = 0;
    g_buffers_played = 0;

    _dbg_printf("open waveout\n");
    std::memset(&g_audio_want, 0, sizeof g_audio_want);
    g_audio_want.freq = (int)rate;
    g_audio_want.format = bits == 16 ? AUDIO_S16LSB : AUDIO_U8;
    g_audio_want.channels = (Uint8)channels;
    g_audio_want.samples = (Uint16)pieceframes;
    g_audio_want.callback = sdl_audiocallback;
    g_audio_want.userdata = nullptr;
    if (!g_ring_lock) g_ring_lock = SDL_CreateMutex();
    if (!g_device_lock) g_device_lock = SDL_CreateMutex();
    if (g_ring_lock && g_device_lock) {
        SDL_LockMutex(g_device_lock);
        if (open_device()) {
            _dbg_printf("AUDIO: opening audio device succesful!\n");
            g_waveout_opened = 1;
        }
        SDL_UnlockMutex(g_device_lock);
    }

    _dbg_printf("open wav-buffers\n");
    if (!g_waveout_opened) {
        // No sound card or no sound server: the game runs silent. SDL's
        // audio stays up until audiodriver_close, as taking it down here
        // would cost start-up some 100 ms (ALSA's device watch looks only
        // that often whether it is to stop).
        _dbg_printf("AUDIO: error opening audio buffer\n");
        std::free(g_audio_buffer);
        g_audio_buffer = nullptr;
        return 0;
    }

    soundsystem.bufferlength = (uint32_t)(g_buffer_size / g_sample_size);
    // The first piece SDL asks for starts the first mix.
    SDL_PauseAudioDevice(g_audio_device, 0);
    g_watching.store(true, std::memory_order_release);
    g_watch = SDL_AddTimer(kWatchMs, watch_device, nullptr);
    _dbg_printf("audiodriver inited\n");
    return 1;
}

void audiodriver_close() {
    g_watching.store(false, std::memory_order_release);
    if (g_watch) SDL_RemoveTimer(g_watch);
    g_watch = 0;
    // A buffer still handed out holds the ring lock, which SDL's thread must
    // be able to take to finish; it goes before the device lock is taken,
    // so the ring lock is never held while waiting for the device's.
    if (g_waveout_opened && g_buffer_waiting) SDL_UnlockMutex(g_ring_lock);
    if (g_device_lock) SDL_LockMutex(g_device_lock);
    if (g_waveout_opened) {
        // Returns once the audio thread has ended, so nothing refills the
        // ring after this.
        close_device();
        g_waveout_opened = 0;
    }
    g_buffer_waiting = 0;
    std::free(g_audio_buffer);
    g_audio_buffer = nullptr;
    if (g_audio_subsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        g_audio_subsystem = 0;
    }
    if (g_device_lock) SDL_UnlockMutex(g_device_lock);
}

int fillnextbuffer() {
    if (!g_audio_buffer) return 0;
    uint8_t *buffer = g_audio_buffer + (size_t)g_cur_buf * g_buffer_size;
    int result = audiodriver_mixbuffers(buffer, g_buffer_size, 0);
    g_cur_buf = (g_cur_buf + 1) % kRingBuffers;
    return result;
}

void sdl_audiocallback(void * /*userdata*/, uint8_t *stream, int length) {
    // Taken whether or not init has finished marking the driver open.
    if (g_ring_lock) SDL_LockMutex(g_ring_lock);
    while (length > 0) {
        if (!g_audio_buffer || g_buffer_size <= 0) {
            std::memset(stream, silencebyte(), (size_t)length);
            break;
        }
        if (g_play_offset == 0 && g_queued == 0) {
            // Nothing filled ahead: mix the due buffer now, so what is heard
            // is as fresh as the game's last change to the playing list.
            g_play_buf = g_cur_buf;
            fillnextbuffer();
            g_queued = 1;
        }
        int32_t piece = g_buffer_size - g_play_offset;
        if (piece > length) piece = length;
        std::memcpy(stream, g_audio_buffer + (size_t)g_play_buf * g_buffer_size + g_play_offset,
                    (size_t)piece);
        stream += piece;
        length -= piece;
        g_play_offset += piece;
        if (g_play_offset >= g_buffer_size) {
            g_play_offset = 0;
            g_play_buf = (g_play_buf + 1) % kRingBuffers;
            g_queued--;
            g_buffers_played++;
        }
    }
    if (g_ring_lock) SDL_UnlockMutex(g_ring_lock);
}

int audiodriver_getbuffer(void **buffer, int *length) {
    // The device lock stays held until the buffer is submitted, so SDL's
    // thread cannot play or refill the ring under the caller's hands.
    if (!g_buffer_waiting) {
        audiodriver_lock();
        g_buffer_waiting = 1;
    }
    if (buffer) {
        *buffer = g_audio_buffer ? g_audio_buffer + (size_t)g_cur_buf * g_buffer_size : nullptr;
    }
    if (length) *length = g_buffer_size;
    return 1;
}

void audiodriver_submitbuffer() {
    audiodriver_lock();
    // The caller's buffer is queued behind those already filled; it is
    // played in its turn instead of a mix. A full ring takes no more.
    if (g_queued < kRingBuffers) {
        g_cur_buf = (g_cur_buf + 1) % kRingBuffers;
        g_queued++;
    }
    int held = g_buffer_waiting;
    g_buffer_waiting = 0;
    audiodriver_unlock();
    if (held) audiodriver_unlock();
}
