// Asset generator: TGA and WAV writers, grid drawing.
#include <algorithm>
#include <cstdio>

#include "tools/assetgen/assetgen.h"

namespace assetgen {

void Image::Blit(const Image &src, int dx, int dy) {
    for (int y = 0; y < src.height; y++)
        for (int x = 0; x < src.width; x++) {
            Rgba c = src.At(x, y);
            if (c.a != 0) Set(dx + x, dy + y, c);
        }
}

void DrawGrid(Image &img, int x, int y, const std::vector<std::string> &rows,
              const std::vector<PaletteEntry> &palette) {
    for (size_t row = 0; row < rows.size(); row++)
        for (size_t col = 0; col < rows[row].size(); col++)
            for (const PaletteEntry &e : palette)
                if (e.key == rows[row][col]) {
                    img.Set(x + int(col), y + int(row), e.colour);
                    break;
                }
}

static void Put16(std::vector<uint8_t> &out, unsigned v) {
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t((v >> 8) & 0xFF));
}
static void Put32(std::vector<uint8_t> &out, unsigned v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

static void PutPixel(std::vector<uint8_t> &out, Rgba c, bool with_alpha) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    if (with_alpha) out.push_back(c.a);
}

static std::vector<uint8_t> TgaHeader(const Image &img, bool with_alpha, bool rle) {
    std::vector<uint8_t> out;
    out.push_back(0);                              // no image ID
    out.push_back(0);                              // no colour map
    out.push_back(rle ? 10 : 2);                   // true colour, raw or run-length coded
    for (int i = 0; i < 5; i++) out.push_back(0);  // no colour map entries
    Put16(out, 0);                                 // x origin
    Put16(out, 0);                                 // y origin
    Put16(out, unsigned(img.width));
    Put16(out, unsigned(img.height));
    out.push_back(with_alpha ? 32 : 24);
    // Top-left origin; the low bits name the alpha bits.
    out.push_back(uint8_t(0x20 | (with_alpha ? 8 : 0)));
    return out;
}

// Packets never cross a line end: readers that decode line by line stay happy.
static void EncodeRleLine(std::vector<uint8_t> &out, const Rgba *line, int width, bool with_alpha) {
    int i = 0;
    while (i < width) {
        int run = 1;
        while (i + run < width && run < 128 && line[i + run] == line[i]) run++;
        if (run >= 2) {
            out.push_back(uint8_t(0x80 | (run - 1)));
            PutPixel(out, line[i], with_alpha);
            i += run;
            continue;
        }
        // Raw packet: up to the next place where two equal pixels start a run.
        int start = i, count = 0;
        while (i < width && count < 128) {
            if (i + 1 < width && line[i + 1] == line[i]) break;
            i++;
            count++;
        }
        out.push_back(uint8_t(count - 1));
        for (int k = 0; k < count; k++) PutPixel(out, line[start + k], with_alpha);
    }
}

std::vector<uint8_t> EncodeTga(const Image &img, bool with_alpha) {
    std::vector<uint8_t> raw = TgaHeader(img, with_alpha, false);
    for (const Rgba &c : img.pixels) PutPixel(raw, c, with_alpha);

    std::vector<uint8_t> rle = TgaHeader(img, with_alpha, true);
    for (int y = 0; y < img.height; y++)
        EncodeRleLine(rle, &img.pixels[size_t(y) * img.width], img.width, with_alpha);
    return rle.size() < raw.size() ? rle : raw;
}

static bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::printf("assetgen: cannot write %s\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) std::printf("assetgen: error writing %s\n", path.c_str());
    return ok;
}

bool WriteTga(const std::string &path, const Image &img, bool with_alpha) {
    return WriteFile(path, EncodeTga(img, with_alpha));
}

bool WriteWav(const std::string &path, const std::vector<int16_t> &samples, int rate) {
    const unsigned data_bytes = unsigned(samples.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + data_bytes);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    Put32(out, data_bytes + 36);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(out, 16);
    Put16(out, 1);  // PCM
    Put16(out, 1);  // mono: the mixer reads one sample per output frame
    Put32(out, unsigned(rate));
    Put32(out, unsigned(rate) * 2);
    Put16(out, 2);   // block align
    Put16(out, 16);  // bits
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Put32(out, data_bytes);
    for (int16_t s : samples) Put16(out, uint16_t(s));
    return WriteFile(path, out);
}

std::vector<int16_t> ToPcm(const std::vector<float> &signal, double peak) {
    float largest = 0;
    for (float v : signal) largest = std::max(largest, std::fabs(v));
    const double gain = largest > 0 ? peak * 32767.0 / largest : 0.0;
    std::vector<int16_t> out(signal.size());
    for (size_t i = 0; i < signal.size(); i++) {
        long v = std::lround(signal[i] * gain);
        out[i] = int16_t(std::clamp(v, -32767L, 32767L));
    }
    return out;
}

}  // namespace assetgen
