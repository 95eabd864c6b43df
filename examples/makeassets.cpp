// makeassets: writes the examples' pictures and sound, so that no binary
// file needs to be kept with them.
//
//   makeassets sprite DIR   ship.tga
//   makeassets text DIR     font.tga (a 3 x 5 bitmap font), blip.wav
//   makeassets tiles DIR    tiles.tga (a sheet of two 16 x 16 cells)
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const uint32_t kKey = 0xFFFF00FF;  // magenta: the TGA reader makes it transparent

struct Picture {
    int width, height;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, top row first
    Picture(int w, int h, uint32_t fill) : width(w), height(h), pixels((size_t)w * h, fill) {}
    void set(int x, int y, uint32_t c) { pixels[(size_t)y * width + x] = c; }
};

void put16(std::vector<uint8_t> &out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<uint8_t> &out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

bool save(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    bool ok = f && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && fclose(f) != 0) ok = false;
    if (!ok) fprintf(stderr, "makeassets: cannot write %s\n", path.c_str());
    return ok;
}

// Uncompressed 32-bit true-colour TGA, top-left origin.
bool save_tga(const std::string &path, const Picture &p) {
    std::vector<uint8_t> out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    put16(out, p.width);
    put16(out, p.height);
    out.push_back(32);
    out.push_back(0x28);
    for (uint32_t c : p.pixels) put32(out, c);  // little-endian: blue, green, red, alpha
    return save(path, out);
}

// A short falling blip, 16-bit mono at 22050 Hz.
bool save_blip(const std::string &path) {
    const int rate = 22050, frames = rate / 6;
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    put32(out, 36 + frames * 2);
    for (char c : std::string("WAVEfmt ")) out.push_back(c);
    put32(out, 16);
    put16(out, 1);
    put16(out, 1);
    put32(out, rate);
    put32(out, rate * 2);
    put16(out, 2);
    put16(out, 16);
    for (char c : std::string("data")) out.push_back(c);
    put32(out, frames * 2);
    double phase = 0;
    for (int i = 0; i < frames; i++) {
        double t = (double)i / frames;
        phase += 2 * M_PI * (1200 - 700 * t) / rate;
        put16(out, (unsigned)(int16_t)(12000 * (1 - t) * std::sin(phase)));
    }
    return save(path, out);
}

// Rows of three bits as octal digits, top row first.
const char *glyph(char c) {
    static const char *digits[] = {"75557", "26227", "71747", "71317", "55711",
                                   "74717", "74757", "71122", "75757", "75717"};
    static const char *letters[] = {"25755", "65656", "34443", "65556", "74647", "74644", "34553",
                                    "55755", "72227", "11152", "55655", "44447", "57755", "65555",
                                    "25552", "65644", "25563", "65655", "34216", "72222", "55557",
                                    "55552", "55775", "55255", "55222", "71247"};
    if (c >= '0' && c <= '9') return digits[c - '0'];
    if (c >= 'A' && c <= 'Z') return letters[c - 'A'];
    if (c >= 'a' && c <= 'z') return letters[c - 'a'];
    switch (c) {
        case '!':
            return "22202";
        case '.':
            return "00002";
        case ':':
            return "02020";
        case '-':
            return "00700";
        default:
            return "00000";
    }
}

// The font picture: column 0 is letter 0, the space fills columns 1 to 3,
// then each character from '!' to '|' is a cell of 4 columns (3 and a gap)
// whose first column carries a marker in the top row.
bool save_font(const std::string &path) {
    const int cells = '|' - '!' + 1;
    Picture p(4 + 4 * cells, 6, 0);
    for (int i = 0; i < cells; i++) {
        int left = 4 + 4 * i;
        p.set(left, 0, 0xFFFFFFFF);
        const char *rows = glyph((char)('!' + i));
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 3; x++)
                if ((rows[y] - '0') & (4 >> x)) p.set(left + x, 1 + y, 0xFFFFFFFF);
    }
    return save_tga(path, p);
}

// A gold diamond on the colour key.
Picture diamond(int size, uint32_t colour) {
    Picture p(size, size, kKey);
    int half = size / 2;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++)
            if (std::abs(x - half + (x >= half)) + std::abs(y - half + (y >= half)) < half)
                p.set(x, y, colour);
    return p;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: makeassets sprite|text|tiles DIR\n");
        return 2;
    }
    std::string what = argv[1], dir = argv[2];
    if (what == "sprite") return save_tga(dir + "/ship.tga", diamond(16, 0xFFFFC020)) ? 0 : 1;
    if (what == "text") return save_font(dir + "/font.tga") && save_blip(dir + "/blip.wav") ? 0 : 1;
    if (what == "tiles") {
        Picture sheet(32, 16, 0xFF203050);  // cell 0: a floor tile, cell 1: a gem
        for (int i = 0; i < 16; i++) sheet.set(i, 15, 0xFF102030), sheet.set(15, i, 0xFF102030);
        Picture gem = diamond(16, 0xFF40E0A0);
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++) sheet.set(16 + x, y, gem.pixels[(size_t)y * 16 + x]);
        return save_tga(dir + "/tiles.tga", sheet) ? 0 : 1;
    }
    fprintf(stderr, "makeassets: unknown set %s\n", what.c_str());
    return 2;
}
