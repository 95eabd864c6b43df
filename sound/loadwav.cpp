// WAV files: the reader and the writer of the one layout the engine uses,
// the canonical 44-byte RIFF header (format chunk of 16 bytes directly
// followed by the data chunk) and uncompressed PCM of 8 or 16 bits, mono
// or stereo.
//
// The reader takes untrusted bytes: every field is read only after the file
// is known to be at least 44 bytes long, and the data length is cut to what
// the file really holds. The record's fields are written under the device
// lock, all at once, after the file has been read.
#include "sound/sound.h"

#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "corefile/corefile.h"

namespace {

constexpr uint32_t kHeaderSize = 44;

// A sound file is at most this large; anything bigger is refused before the
// read buffer is allocated.
constexpr int32_t kMaxFileSize = 64 << 20;

uint32_t get32(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint16_t get16(const uint8_t *p) {
    return (uint16_t)(p[0] | p[1] << 8);
}

void put32(uint8_t *p, uint32_t value) {
    p[0] = (uint8_t)value;
    p[1] = (uint8_t)(value >> 8);
    p[2] = (uint8_t)(value >> 16);
    p[3] = (uint8_t)(value >> 24);
}

// Checks the header (the first 44 bytes of a file of `length` bytes) and
// sets the format fields; on success *size is the data length the file
// really holds. The samples themselves are not looked at.
int check_header(const uint8_t *bytes, uint32_t length, s_sound *sound, uint32_t *size) {
    if (!sound) return 0;
    if (!bytes || length < kHeaderSize) {
        _dbg_printf("WAV file too short (%u bytes)\n", bytes ? length : 0u);
        return 0;
    }
    if (std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) {
        _dbg_printf("No WAV file");
        return 0;
    }
    // Only three bytes of the tag are looked at: "fmt" followed by anything.
    if (std::memcmp(bytes + 12, "fmt", 3) != 0) return 0;

    uint16_t format = get16(bytes + 20);
    uint16_t channels = get16(bytes + 22);
    uint32_t frequency = get32(bytes + 24);
    uint16_t bits = get16(bytes + 34);

    // These three are kept even when the tests below refuse the file.
    {
        audiodriver_lock();
        sound->channels = channels;
        sound->frequency = frequency;
        sound->bits = bits;
        audiodriver_unlock();
    }
    if (format != 1) {
        _dbg_printf("Not PCM signed");
        return 0;
    }
    // A longer format chunk, or any chunk before the data, fails here.
    if (std::memcmp(bytes + 36, "data", 4) != 0) return 0;

    // What the mixer cannot play is refused outright: a width other than 8 or
    // 16 bits would misread the samples (and below 8 divide by zero), no
    // channels or no rate make no sound.
    if (bits != 8 && bits != 16) {
        _dbg_printf("WAV file has %u bits per sample, not 8 or 16\n", (unsigned)bits);
        return 0;
    }
    // The mixer plays mono and stereo; more channels would be read as
    // stereo frames and play garbled.
    if (channels == 0 || channels > 2) {
        _dbg_printf("WAV file has %u channels, not 1 or 2\n", (unsigned)channels);
        return 0;
    }
    if (frequency == 0) {
        _dbg_printf("WAV file has a sample rate of 0\n");
        return 0;
    }

    *size = get32(bytes + 40);
    uint32_t available = length - kHeaderSize;
    if (*size > available) {
        _dbg_printf("WAV data of %u bytes cut to the %u in the file\n", *size, available);
        *size = available;
    }
    return 1;
}

// Hands the samples to the record, under the device lock.
void set_data(s_sound *sound, uint8_t *data, uint32_t size) {
    audiodriver_lock();
    sound->size = size;
    sound->data = data;
    sound->numsamples = size / (sound->bits / 8u);
    audiodriver_unlock();
}

}  // namespace

int Soundsystem_ParseWAV(const uint8_t *bytes, uint32_t length, s_sound *sound) {
    uint32_t size = 0;
    if (!check_header(bytes, length, sound, &size)) return 0;
    uint8_t *data = nullptr;
    if (size > 0) {
        data = (uint8_t *)std::malloc(size);
        if (!data) {
            _dbg_printf("WAV file: out of memory for %u bytes\n", size);
            return 0;
        }
        std::memcpy(data, bytes + kHeaderSize, size);
    }
    set_data(sound, data, size);
    return 1;
}

int Soundsystem_LoadWAV(const char *name, s_sound *sound) {
    if (!name || !sound) {
        _dbg_printf("Soundsystem_LoadWAV: no file name or record\n");
        return 0;
    }
    // A name that cannot be opened leaves the record as it was (silent).
    COREFILE file;
    std::memset(&file, 0, sizeof file);
    if (!corefile_open(name, &file, 0)) return 0;

    int32_t length = corefile_fsize(&file);
    if (length < 0 || length > kMaxFileSize) {
        _dbg_printf("WAV file %s: size %d is out of range\n", name, length);
        corefile_close(&file);
        return 0;
    }
    // The header first, then the samples straight into the record's own
    // buffer: a long piece of music is copied once, not twice. Zero-filled,
    // so that a short read leaves nothing undefined behind it.
    uint8_t header[kHeaderSize] = {};
    if (length > 0)
        corefile_read(header, length < (int32_t)kHeaderSize ? length : kHeaderSize, 1, &file);
    uint32_t size = 0;
    if (!check_header(header, (uint32_t)length, sound, &size)) {
        corefile_close(&file);
        return 0;
    }
    uint8_t *data = nullptr;
    if (size > 0) {
        data = (uint8_t *)std::calloc(size, 1);
        if (!data) {
            _dbg_printf("WAV file %s: out of memory for %u bytes\n", name, size);
            corefile_close(&file);
            return 0;
        }
        corefile_read(data, (int)size, 1, &file);
    }
    corefile_close(&file);
    set_data(sound, data, size);
    return 1;
}

int Soundsystem_SaveWAV(const char *name, s_sound *sound) {
    if (!name || !sound) {
        _dbg_printf("Soundsystem_SaveWAV: no file name or record\n");
        return 0;
    }
    uint8_t *buffer = nullptr;
    uint32_t size = 0;
    {
        // A stream's data may be refilled on the audio thread; copy it whole.
        audiodriver_lock();
        size = sound->data ? sound->size : 0;
        if (size <= (uint32_t)kMaxFileSize) buffer = (uint8_t *)std::malloc(size + kHeaderSize);
        if (buffer) {
            uint16_t channels = sound->channels;
            uint16_t bits = sound->bits;
            uint32_t frequency = sound->frequency;
            std::memcpy(buffer, "RIFF", 4);
            // The lengths state the bytes that really follow, so that a stream
            // (whose numsamples counts frames) reads back whole.
            put32(buffer + 4, size + 36);
            std::memcpy(buffer + 8, "WAVE", 4);
            std::memcpy(buffer + 12, "fmt ", 4);
            put32(buffer + 16, 16);
            buffer[20] = 1;
            buffer[21] = 0;
            buffer[22] = (uint8_t)channels;
            buffer[23] = 0;
            put32(buffer + 24, frequency);
            put32(buffer + 28, channels * (bits / 8u) * frequency);
            uint32_t align = channels * (bits / 8u);
            buffer[32] = (uint8_t)align;
            buffer[33] = (uint8_t)(align >> 8);
            buffer[34] = (uint8_t)bits;
            buffer[35] = 0;
            std::memcpy(buffer + 36, "data", 4);
            put32(buffer + 40, size);
            if (size > 0) std::memcpy(buffer + kHeaderSize, sound->data, size);
        }
        audiodriver_unlock();
    }
    if (!buffer) {
        _dbg_printf("Soundsystem_SaveWAV: %s: cannot hold %u bytes\n", name, size);
        return 0;
    }
    // The file layer says why a write failed.
    int saved = corefile_savebuffer(name, buffer, (int)(size + kHeaderSize));
    std::free(buffer);
    return saved;
}
