// libFuzzer target for highscore.dat: any bytes of any length are loaded
// over the default tables; what comes out must be well-formed (every name
// terminated within its field), ranking into it must keep ten places, and
// saving must give the full file, which loads back to the same tables.
//
// Seeds: run with QO_FUZZ_WRITE_SEEDS=<dir> to write a saved file, a short
// one, a long one and one with unterminated names into <dir> and exit.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "game/header.h"
#include "game/highscore.h"

namespace {

struct Tables {
    char name[kHighscoreNameSize];
    int best[3];
    s_highscore table[kHighscoreTables][kHighscorePlaces];
};

Tables Take() {
    Tables t;
    std::memcpy(t.name, player.name, sizeof t.name);
    std::memcpy(t.best, player.bestScore, sizeof t.best);
    std::memcpy(t.table, highscores, sizeof t.table);
    return t;
}

bool Terminated(const char *field) {
    return std::memchr(field, 0, kHighscoreNameSize) != nullptr;
}

std::vector<uint8_t> ReadAll(const std::string &path) {
    std::vector<uint8_t> bytes;
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        uint8_t buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
    }
    return bytes;
}

void WriteAll(const std::string &path, const std::vector<uint8_t> &bytes) {
    if (std::FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

void WriteSeeds(const std::string &dir) {
    mkdir(dir.c_str(), 0755);
    std::string saved = dir + "/saved.dat";
    InitHighscores();
    std::strcpy(player.name, "PILOT");
    player.bestScore[1] = 1234;
    InsertHighscore("PILOT", 1700, 1);
    SaveHighscoresTo(saved.c_str());
    std::vector<uint8_t> file = ReadAll(saved);
    std::vector<uint8_t> cut(file.begin(), file.begin() + file.size() / 3);
    WriteAll(dir + "/short.dat", cut);
    std::vector<uint8_t> longer = file;
    longer.resize(file.size() + 100, 0x41);
    WriteAll(dir + "/long.dat", longer);
    std::vector<uint8_t> unterminated(file.size(), 'N');
    WriteAll(dir + "/unterminated.dat", unterminated);
}

// Saves go to a folder of their own, in memory where there is one.
std::string g_folder;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (const char *dir = std::getenv("QO_FUZZ_WRITE_SEEDS")) {
        WriteSeeds(dir);
        std::exit(0);
    }
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    char pattern[] = "/dev/shm/qo_fuzz_highscore_XXXXXX";
    char fallback[] = "/tmp/qo_fuzz_highscore_XXXXXX";
    const char *dir = mkdtemp(pattern);
    if (!dir) dir = mkdtemp(fallback);
    if (!dir) std::abort();
    g_folder = dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string in = g_folder + "/in.dat", out = g_folder + "/highscore.dat";
    WriteAll(in, std::vector<uint8_t>(data, data + size));
    InitHighscores();
    Tables defaults = Take();
    LoadHighscoresFrom(in.c_str());

    Tables loaded = Take();
    if (!Terminated(loaded.name)) __builtin_trap();
    for (int d = 0; d < kHighscoreTables; d++)
        for (int k = 0; k < kHighscorePlaces; k++)
            if (!Terminated(loaded.table[d][k].name)) __builtin_trap();
    // Entries the file does not reach keep their defaults.
    for (int i = 0; i < kHighscoreTables * kHighscorePlaces; i++) {
        size_t at = (size_t)kHighscoreTablesOffset + (size_t)i * kHighscoreEntrySize;
        int d = i / kHighscorePlaces, k = i % kHighscorePlaces;
        const s_highscore &now = loaded.table[d][k], &was = defaults.table[d][k];
        if (size < at + kHighscoreNameSize && std::memcmp(&now, &was, sizeof now) != 0)
            __builtin_trap();
    }

    // Saved and loaded again: the full file and the same tables.
    if (SaveHighscoresTo(out.c_str()) != 1) __builtin_trap();
    std::vector<uint8_t> file = ReadAll(out);
    if (file.size() != (size_t)kHighscoreFileSize) __builtin_trap();
    InitHighscores();
    LoadHighscoresFrom(out.c_str());
    Tables again = Take();
    if (std::memcmp(&again, &loaded, sizeof again) != 0) __builtin_trap();

    // Ranking a score taken from the file into a table named by it, in
    // range or not: ten places stay, the score lands where the rule says.
    int score =
        size >= 4 ? (int)(data[0] | data[1] << 8 | data[2] << 16 | (uint32_t)data[3] << 24) : 0;
    int d = size >= 5 ? (int)(data[4] % 5) - 1 : 0;
    std::string name;
    if (size > 5)
        name.assign(reinterpret_cast<const char *>(data + 5), size - 5 < 80 ? size - 5 : 80);
    InsertHighscore(name.c_str(), score, d);
    if (d < 0 || d >= kHighscoreTables) {
        if (std::memcmp(highscores, loaded.table, sizeof highscores) != 0) __builtin_trap();
    } else {
        int place = kHighscorePlaces - 1;
        for (int k = kHighscorePlaces - 1; k >= 0; k--)
            if (score >= loaded.table[d][k].score) place = k;
        if (highscores[d][place].score != score || !Terminated(highscores[d][place].name))
            __builtin_trap();
        for (int k = 0; k < place; k++)
            if (std::memcmp(&highscores[d][k], &loaded.table[d][k], sizeof(s_highscore)) != 0)
                __builtin_trap();
        for (int k = place + 1; k < kHighscorePlaces; k++)
            if (std::memcmp(&highscores[d][k], &loaded.table[d][k - 1], sizeof(s_highscore)) != 0)
                __builtin_trap();
    }
    return 0;
}
