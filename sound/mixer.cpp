// The mixer: sums the playing sounds into the 32-bit accumulator and
// converts the sum to the device's samples.
//
// Runs on the audio thread with the device lock held, once per 2048-frame
// buffer. All integer: positions in 8.8 fixed point, gains of at most 253,
// nearest-lower sample (no interpolation), one shift back to 16-bit scale
// after the sum. No allocation.
#include "sound/sound.h"

#include <cstring>

namespace {

// The end of the sound in 1/256 samples (numsamples × 256 formed in 32 bits,
// as the position is compared against it), or 0 when the record cannot be
// played: no data, no length, or fewer bytes than its sample count claims.
uint64_t playableend(const s_sound *s) {
    uint64_t end = (uint32_t)(s->numsamples * 256u);
    if (!s->data || end == 0) return 0;
    uint32_t available = s->bits == 8 ? s->size : s->size / 2;
    uint64_t lastindex = (end - 1) >> 8;
    if (lastindex >= available) return 0;
    return end;
}

struct Gains {
    int32_t left;
    int32_t right;
    int32_t mono;
};

template <bool kEightBit>
inline int32_t readsample(const uint8_t *data, uint32_t index) {
    if (kEightBit) return ((int32_t)data[index] - 128) * 256;
    return (int16_t)(uint16_t)(data[2 * index] | data[2 * index + 1] << 8);
}

// Mixes frames output frames of s into acc. The position wraps or the sound
// stops at the end exactly as one subtraction would; only a step longer than
// the whole sound needs the remainder, which keeps the reads inside the data.
template <bool kEightBit, bool kStereoOut>
void mixsound(s_sound *s, int32_t *acc, int frames, uint64_t end, Gains gains) {
    const uint8_t *data = s->data;
    uint64_t position = s->position;
    uint64_t step = s->step;
    if (position >= end) position %= end;

    for (int f = 0; f < frames; f++) {
        int32_t sample = readsample<kEightBit>(data, (uint32_t)(position >> 8));
        if (kStereoOut) {
            acc[2 * f] += sample * gains.left;
            acc[2 * f + 1] += sample * gains.right;
        } else {
            acc[f] += sample * gains.mono;
        }
        position += step;
        if (position < end) continue;

        if (s->callback) {
            s->position = position;
            s->callback(s->data, s->size);
            // The callback may have stopped, re-pitched or refilled the
            // record; pick up what it left.
            if (!s->playing) return;
            uint64_t newend = playableend(s);
            if (newend == 0) {
                soundsystem_stopsound_locked(s);
                return;
            }
            position -= end;
            end = newend;
            data = s->data;
            step = s->step;
            if ((s->bits == 8) != kEightBit) {
                s->position = position % end;
                return;
            }
        } else if (s->loop) {
            position -= end;
        } else {
            soundsystem_stopsound_locked(s);
            return;
        }
        if (position >= end) position %= end;
    }
    s->position = position;
}

template <bool kStereoOut>
void mixone(s_sound *s, int32_t *acc, int frames, uint64_t end, Gains gains) {
    if (s->bits == 8) {
        mixsound<true, kStereoOut>(s, acc, frames, end, gains);
    } else {
        mixsound<false, kStereoOut>(s, acc, frames, end, gains);
    }
}

}  // namespace

int audiodriver_mixbuffers(void *buffer, int length, int /*zero*/) {
    if (!buffer || length <= 0) return 0;
    const bool eightbitout = soundsystem.bits != 16;
    const bool stereo = soundsystem.channels == 2;
    const int outchannels = stereo ? 2 : 1;

    int samples = eightbitout ? length : length >> 1;
    int frames = stereo ? samples >> 1 : samples;

    // Never past the accumulator, whatever length the caller hands in; any
    // bytes beyond what it holds become silence.
    int32_t *acc = soundsystem.outputbuffer;
    int capacity = acc ? (int)(soundsystem.buffersize / 4) : 0;
    if (samples > capacity) samples = capacity;
    if (frames > capacity / outchannels) frames = capacity / outchannels;

    if (acc) std::memset(acc, 0, soundsystem.buffersize);

    // numactive is read afresh for every entry: it shrinks as sounds end.
    int i = 0;
    while (acc && i < soundsystem.numactive && i < SOUNDSYSTEM_MAXACTIVE) {
        s_sound *s = active_sounds[i];
        if (!s || !s->playing) {
            i++;
            continue;
        }
        uint64_t end = playableend(s);
        if (end == 0) {
            // Nothing to read: it adds nothing and leaves the list.
            soundsystem_stopsound_locked(s);
        } else {
            // Read per sound: a stream callback earlier in the list may have
            // changed the volumes for the sounds after it.
            uint32_t group =
                (uint32_t)(s->music == 1 ? soundsystem.musicvolume : soundsystem.effectvolume) *
                soundsystem.mastervolume;
            Gains gains;
            gains.mono = (int32_t)(s->volume * group / 65536);
            gains.left = (int32_t)(s->leftvolume * group / 65536);
            gains.right = (int32_t)(s->rightvolume * group / 65536);
            if (stereo) {
                mixone<true>(s, acc, frames, end, gains);
            } else {
                mixone<false>(s, acc, frames, end, gains);
            }
        }
        // When s left the list (here or in its callback), the sound that
        // moved into slot i is mixed next, into this same buffer.
        if (i < soundsystem.numactive && active_sounds[i] == s) i++;
    }

    // The shift comes after the sum; the lower clamp is -32767, not -32768,
    // so the output is symmetric.
    uint8_t *out = (uint8_t *)buffer;
    for (int k = 0; k < samples; k++) {
        int32_t v = acc[k] >> 8;
        if (v > 32767) v = 32767;
        if (v < -32767) v = -32767;
        if (eightbitout) {
            out[k] = (uint8_t)(v / 256 + 128);  // 1..255, centred on 128
        } else {
            uint16_t u = (uint16_t)(int16_t)v;
            out[2 * k] = (uint8_t)u;
            out[2 * k + 1] = (uint8_t)(u >> 8);
        }
    }
    int written = eightbitout ? samples : samples * 2;
    if (written < length) std::memset(out + written, eightbitout ? 128 : 0, length - written);
    return samples;
}
