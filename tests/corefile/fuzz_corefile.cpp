// Mounts arbitrary bytes as an in-memory resource image, and again as an
// image file, and opens, reads, seeks and lists every entry it claims to
// have.
//
// Seeds: run once with QO_FUZZ_WRITE_SEEDS set to a directory, e.g.
//   QO_FUZZ_WRITE_SEEDS=build-fuzz/seeds-fuzz_corefile build-fuzz/fuzz_corefile -runs=0
// which writes a few well-formed and slightly damaged images there.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "corefile/corefile.h"
#include "tests/corefile/core_image.h"

namespace {

void silent(int, const char *) {}

void write_seed(const std::string &dir, const std::string &name, const coreimage::Bytes &bytes) {
    std::string path = dir + "/" + name;
    if (FILE *fp = fopen(path.c_str(), "wb")) {
        fwrite(bytes.data(), 1, bytes.size(), fp);
        fclose(fp);
    }
}

void write_seeds(const std::string &dir) {
    std::string made;
    for (size_t i = 0; i <= dir.size(); i++) {
        if (i == dir.size() || dir[i] == '/') {
            if (!made.empty()) mkdir(made.c_str(), 0777);
        }
        if (i < dir.size()) made += dir[i];
    }
    write_seed(dir, "sample", coreimage::build(coreimage::sample()));
    write_seed(dir, "empty", coreimage::build({}));
    write_seed(dir, "tree",
               coreimage::build({{"gfx/a.tga", "AAAA"},
                                 {"gfx/b.tga", "BB"},
                                 {"gfx/x/y.tga", "Y"},
                                 {"c.tga", "line one\nline two\n"},
                                 {"snd/pickup.wav", std::string("RIFF\0\0\0\0", 8)}}));
    coreimage::Bytes gap = coreimage::build({{"a", "1234"}, {"b", "5678"}});
    coreimage::set32(gap, 8, (uint32_t)gap.size() + 40);  // romsize past the end
    write_seed(dir, "romsize-past-end", gap);
    coreimage::Bytes cut = coreimage::build(coreimage::sample());
    cut.resize(cut.size() / 2);
    write_seed(dir, "truncated", cut);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    corefile_setmessagehook(silent);
    if (const char *dir = getenv("QO_FUZZ_WRITE_SEEDS")) write_seeds(dir);
    return 0;
}

namespace {

void exercise() {
    uint32_t count = corefile_image.numfiles;
    std::vector<std::string> names;
    for (uint32_t i = 0; i < count && i < 64; i++) names.push_back(corefile_image.names[i]);
    for (const std::string &name : names) {
        COREFILE f = {};
        if (!corefile_open(name.c_str(), &f, 0)) continue;
        int fsize = corefile_fsize(&f);
        if (fsize < 0) __builtin_trap();  // a mounted image never has negative sizes
        std::vector<unsigned char> buf((size_t)fsize + 16);
        corefile_read(buf.data(), 1, (int)buf.size(), &f);
        (void)corefile_feof(&f);
        corefile_seek(&f, fsize / 2, 0);
        if (corefile_tell(&f) != fsize / 2) __builtin_trap();
        corefile_read(buf.data(), 2, 4, &f);
        corefile_rewind(&f);
        char line[7];
        corefile_gets(line, (int)sizeof line, &f);
        corefile_seek(&f, -fsize - 100, 1);
        corefile_read(buf.data(), 1, 4, &f);
        corefile_close(&f);
        if (void *whole = corefile_loadbuffer(name.c_str()))
            _wrap_free_dbg(whole, "fuzz", __LINE__);
    }

    corefile_readdir("*.*");
    for (int32_t i = 0; i < corefile_numfiles; i++)
        if (corefile_filelist[i].isdir && strcmp(corefile_filelist[i].name, "..") != 0) {
            corefile_chdir(corefile_filelist[i].name);
            corefile_readdir("*.tga");
            corefile_chdir("..");
            break;
        }
}

// The same bytes as a file, through an anonymous in-memory file.
int g_memfd = -1;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (corefile_mountmemory(data, size)) exercise();
    corefile_closeimage();

    if (g_memfd < 0) g_memfd = memfd_create("fuzz_corefile", 0);
    if (g_memfd >= 0 && ftruncate(g_memfd, 0) == 0 &&
        pwrite(g_memfd, data, size, 0) == (ssize_t)size) {
        char path[64];
        snprintf(path, sizeof path, "/proc/self/fd/%d", g_memfd);
        if (corefile_mountimage(path, 0)) exercise();
        corefile_closeimage();
    }
    return 0;
}
