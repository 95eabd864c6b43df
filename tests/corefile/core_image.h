// Builds CORE images byte by byte for tests and fuzz seeds, including
// damaged ones: every field can be overridden after the fact.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "corefile/corefile.h"

namespace coreimage {

using Bytes = std::vector<unsigned char>;

inline void put32(Bytes &out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back((unsigned char)(v >> (8 * i)));
}

inline void set32(Bytes &out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) out[at + i] = (unsigned char)(v >> (8 * i));
}

struct File {
    std::string name;
    std::string data;
};

// Where each field of a built image sits, for tests that damage them.
struct Layout {
    std::vector<size_t> namelen_at, hash_at, offset_at;
    size_t romsize_at = 8;
};

// A well-formed image whose positions start at `base` (non-zero when the
// image is to be appended to a host of that length).
inline Bytes build(const std::vector<File> &files, uint32_t base = 0, Layout *layout = nullptr) {
    Bytes out = {'C', 'O', 'R', 'E'};
    put32(out, (uint32_t)files.size());
    put32(out, 0);
    uint32_t pos = 12;
    for (const File &f : files) pos += 12 + (uint32_t)f.name.size();
    for (const File &f : files) {
        if (layout) layout->namelen_at.push_back(out.size());
        put32(out, (uint32_t)f.name.size());
        if (layout) layout->hash_at.push_back(out.size());
        put32(out, (uint32_t)corefile_gethash(f.name.c_str()));
        out.insert(out.end(), f.name.begin(), f.name.end());
        if (layout) layout->offset_at.push_back(out.size());
        put32(out, base + pos);
        pos += (uint32_t)f.data.size();
    }
    for (const File &f : files) out.insert(out.end(), f.data.begin(), f.data.end());
    set32(out, 8, base + pos);
    return out;
}

inline std::vector<File> sample() {
    return {{"ship.tga", "SHIPDATA"}, {"ab", "1234"}, {"ba", "5678"}, {"pickup.wav", "RIFF0000"}};
}

}  // namespace coreimage
