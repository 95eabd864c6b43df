// Resource archive figures: mount time, lookups per second, read
// throughput and the memory a mounted directory holds, on a synthetic image
// of the game's scale and a larger one.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/core.h"
#include "corefile/corefile.h"
#include "tests/corefile/core_image.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

void quiet(int, const char *) {}

void measure(int files, int filesize) {
    std::vector<coreimage::File> list;
    for (int i = 0; i < files; i++)
        list.push_back({"asset" + std::to_string(i) + ".tga", std::string((size_t)filesize, 'x')});
    coreimage::Bytes image = coreimage::build(list);
    std::string path = "/tmp/qo_bench_corefile_" + std::to_string(getpid()) + ".dat";
    FILE *fp = fopen(path.c_str(), "wb");
    fwrite(image.data(), 1, image.size(), fp);
    fclose(fp);
    printf("image: %d files of %d bytes\n", files, filesize);

    const int mounts = 200;
    auto t = Clock::now();
    for (int i = 0; i < mounts; i++) corefile_mountimage(path.c_str(), 0);
    printf("  mount from file: %.1f us\n", seconds_since(t) / mounts * 1e6);
    t = Clock::now();
    for (int i = 0; i < mounts; i++) corefile_mountmemory(image.data(), image.size());
    printf("  mount from memory: %.1f us\n", seconds_since(t) / mounts * 1e6);
    uint32_t before = g_mem_in_use;
    corefile_closeimage();
    printf("  directory held in memory: %u bytes\n", before - g_mem_in_use);

    for (int type = 0; type < 2; type++) {
        if (type == 0)
            corefile_mountimage(path.c_str(), 0);
        else
            corefile_mountmemory(image.data(), image.size());
        const char *kind = type == 0 ? "file" : "memory";
        const int opens = 20000;
        COREFILE f = {};
        t = Clock::now();
        for (int i = 0; i < opens; i++) {
            std::string name = "ASSET" + std::to_string((i * 7919) % files) + ".TGA";
            corefile_open(name.c_str(), &f, 0);
            corefile_close(&f);
        }
        printf("  open by name (%s mount): %.2f us\n", kind, seconds_since(t) / opens * 1e6);
        std::vector<unsigned char> buf((size_t)filesize);
        long long bytes = 0;
        t = Clock::now();
        for (int i = 0; i < files * 4; i++) {
            corefile_open(list[(size_t)(i % files)].name.c_str(), &f, 0);
            corefile_read(buf.data(), 1, filesize, &f);
            corefile_close(&f);
            bytes += filesize;
        }
        printf("  read (%s mount): %.0f MB/s\n", kind, bytes / seconds_since(t) / 1e6);
        corefile_closeimage();
    }
    unlink(path.c_str());
}

}  // namespace

int main() {
    corefile_setmessagehook(quiet);
    measure(21, 64 * 1024);
    measure(2000, 4096);
    return 0;
}
