// Asset generator figures: the wall time of one full run of the built
// program (it runs at every fresh build) and the bytes it writes.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

int main() {
    const fs::path dir =
        fs::temp_directory_path() / ("qo_bench_assetgen_" + std::to_string(getpid()));
    double best = 1e9;
    for (int run = 0; run < 3; run++) {
        fs::remove_all(dir);
        const auto start = std::chrono::steady_clock::now();
        const int raw = std::system(("./assetgen " + dir.string() + " > /dev/null").c_str());
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0) {
            std::printf("assetgen: run failed (is ./assetgen built beside this program?)\n");
            fs::remove_all(dir);
            return 1;
        }
        if (s < best) best = s;
    }
    uintmax_t bytes = 0, files = 0;
    for (const auto &entry : fs::directory_iterator(dir)) bytes += entry.file_size(), files++;
    std::printf("assetgen full run (best of 3): %.3f s\n", best);
    std::printf("assetgen output: %ju files, %.2f MB\n", files, bytes / 1048576.0);
    fs::remove_all(dir);
    return 0;
}
