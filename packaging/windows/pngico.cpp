// pngico OUT.ico IN.png...: puts PNG pictures into one Windows icon file.
//
// An .ico is a directory of pictures, and since Windows Vista each picture
// may be a whole PNG file, kept as it is. Only the directory is written
// here, from each PNG's own header; sizes run from 1 to 256 pixels (256 is
// written as 0, as the format has one byte for it).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Picture {
    std::vector<uint8_t> bytes;
    uint32_t width = 0, height = 0;
};

uint32_t ReadBE32(const uint8_t *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void PutLE(std::vector<uint8_t> &out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) out.push_back(uint8_t(value >> (8 * i)));
}

// The PNG signature, then the IHDR chunk: length 13, "IHDR", width, height.
bool LoadPng(const char *path, Picture &pic) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::printf("pngico: cannot read %s\n", path);
        return false;
    }
    pic.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const std::vector<uint8_t> &b = pic.bytes;
    if (b.size() < 33 || !std::equal(kSignature, kSignature + 8, b.begin()) ||
        ReadBE32(&b[8]) != 13 || std::string(b.begin() + 12, b.begin() + 16) != "IHDR") {
        std::printf("pngico: %s is not a PNG file\n", path);
        return false;
    }
    pic.width = ReadBE32(&b[16]);
    pic.height = ReadBE32(&b[20]);
    if (pic.width < 1 || pic.width > 256 || pic.height < 1 || pic.height > 256) {
        std::printf("pngico: %s is %ux%u; an icon is 1 to 256 pixels a side\n", path,
                    unsigned(pic.width), unsigned(pic.height));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::printf("usage: pngico OUT.ico IN.png...\n");
        return 2;
    }
    std::vector<Picture> pictures(argc - 2);
    for (int i = 2; i < argc; i++)
        if (!LoadPng(argv[i], pictures[i - 2])) return 1;

    // ICONDIR (6 bytes), one ICONDIRENTRY (16 bytes) per picture, the pictures.
    std::vector<uint8_t> ico;
    PutLE(ico, 0, 2);  // reserved
    PutLE(ico, 1, 2);  // type: icon
    PutLE(ico, uint32_t(pictures.size()), 2);
    uint32_t offset = uint32_t(6 + 16 * pictures.size());
    for (const Picture &pic : pictures) {
        PutLE(ico, pic.width & 0xff, 1);
        PutLE(ico, pic.height & 0xff, 1);
        PutLE(ico, 0, 1);   // no palette
        PutLE(ico, 0, 1);   // reserved
        PutLE(ico, 1, 2);   // colour planes
        PutLE(ico, 32, 2);  // bits per pixel
        PutLE(ico, uint32_t(pic.bytes.size()), 4);
        PutLE(ico, offset, 4);
        offset += uint32_t(pic.bytes.size());
    }
    for (const Picture &pic : pictures) ico.insert(ico.end(), pic.bytes.begin(), pic.bytes.end());

    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char *>(ico.data()), std::streamsize(ico.size()));
    out.close();
    if (!out) {
        std::printf("pngico: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
