// libFuzzer target for .qoreplay files: any bytes through the decoder, as
// they come and with their checksum made right. What it accepts must encode
// back to the very same bytes (a file of an older format: to one that reads
// back the same), and its game must play (a bounded number of
// frames, without a window) wherever its input and generator state lead;
// what it refuses must say why in one line.
//
// Seeds: run with QO_FUZZ_WRITE_SEEDS=<dir> to write a small replay, the
// same cut in half and one whose generator state lays out no field into
// <dir> and exit.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "game/header.h"
#include "game/play.h"
#include "game/replay.h"

namespace {

void WriteAll(const std::string &path, const std::vector<uint8_t> &bytes) {
    if (std::FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

void WriteSeeds(const std::string &dir) {
    mkdir(dir.c_str(), 0755);
    s_replay r;
    r.random.next = 0;
    for (int i = 0; i < kRandomWords; i++) r.random.word[i] = 0x9E3779B9u * (i + 1);
    r.difficulty = 2;
    r.endState = GAMESTATE_CRASHED;
    std::snprintf(r.name, sizeof r.name, "SEED");
    r.score = 12;
    r.frames = 130;
    r.runs = {{0, 0, 0, 40}, {0x10, 0x10, 0, 1}, {0x10, 0, 0, 60}, {0x04, 0, 1, 29}};
    r.hashes = {1, 2, 3};
    std::vector<uint8_t> good = ReplayEncode(r);
    WriteAll(dir + "/good.qoreplay", good);
    std::vector<uint8_t> cut(good.begin(), good.begin() + good.size() / 2);
    WriteAll(dir + "/cut.qoreplay", cut);
    r.random = {};  // a state that lays out no field
    WriteAll(dir + "/zero-state.qoreplay", ReplayEncode(r));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (const char *dir = std::getenv("QO_FUZZ_WRITE_SEEDS")) {
        WriteSeeds(dir);
        std::exit(0);
    }
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

namespace {

void TryOne(const uint8_t *data, size_t size) {
    static s_playback pb;
    std::string error;
    int result = ReplayDecode(data, size, &pb.replay, &error);
    if (result != 1) {
        if (error.empty() || error.find('\n') != std::string::npos) __builtin_trap();
        return;
    }
    // A file of the current format encodes back to its very bytes; an older
    // one to the current file of its game, which reads back the same.
    std::vector<uint8_t> again = ReplayEncode(pb.replay);
    if (data[8] == kReplayFormatVersion) {
        if (again.size() != size || std::memcmp(again.data(), data, size) != 0) __builtin_trap();
    } else {
        s_replay back;
        if (ReplayDecode(again.data(), again.size(), &back, nullptr) != 1 ||
            ReplayEncode(back) != again)
            __builtin_trap();
    }

    PlaybackBegin(&pb);
    for (int frame = 0; frame < 200 && PlaybackFrame(&pb, false); frame++) {
    }
    if (pb.frame > pb.replay.frames) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TryOne(data, size);
    // Again with the checksum made right, so that the checks behind it are
    // reached by more than the seeds.
    if (size >= 4) {
        std::vector<uint8_t> fixed(data, data + size);
        uint32_t crc = ReplayCrc32(fixed.data(), size - 4);
        for (int i = 0; i < 4; i++) fixed[size - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
        TryOne(fixed.data(), size);
    }
    return 0;
}
