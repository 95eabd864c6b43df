// libFuzzer target for the server's request handling (server/api.h): any
// bytes as a request, a method, a path, parameters and a body, answered by
// the Api over an in-memory SQLite store with the game's verifier in this
// process. Every answer must have a status the API gives, and a JSON answer
// must parse; a refusal must say why.
//
// Input: one byte choosing the method, one the path's length, the path,
// then the rest: the body of a POST, a query string otherwise.
// Seeds: QO_FUZZ_WRITE_SEEDS=<dir> writes a game sent, a table, a replay
// asked for and a preflight into <dir> and exits.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "server/api.h"

namespace {

const char *const kMethods[] = {"GET", "POST", "OPTIONS", "HEAD", "PUT"};

void WriteSeed(const std::string &path, int method, const std::string &target,
               const std::string &rest) {
    std::string bytes = std::string(1, char(method)) + char(target.size()) + target + rest;
    if (std::FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

void WriteSeeds(const std::string &dir) {
    mkdir(dir.c_str(), 0755);
    std::string game;
    if (std::FILE *f = std::fopen(QO_SOURCE_DIR "/tests/replays/EASY-2.qoreplay", "rb")) {
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) game.append(chunk, n);
        std::fclose(f);
    }
    WriteSeed(dir + "/post", 1, "/api/v1/scores", game);
    WriteSeed(dir + "/table", 0, "/api/v1/scores", "difficulty=easy&limit=5&rules=1");
    WriteSeed(dir + "/replay", 0, "/api/v1/replays/1", "");
    WriteSeed(dir + "/preflight", 2, "/api/v1/scores", "");
}

Api &TheApi() {
    static std::string error;
    static std::unique_ptr<Store> store = OpenSqliteStore(":memory:", &error);
    static Api api(
        store.get(),
        [](const std::string &body) {
            return VerifyGame(reinterpret_cast<const uint8_t *>(body.data()), body.size());
        },
        [] { return 0; }, s_apiconfig{"https://games.example/qostarfold/", 1});
    if (!store) std::abort();
    return api;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (const char *dir = std::getenv("QO_FUZZ_WRITE_SEEDS")) {
        WriteSeeds(dir);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    s_request q;
    q.method = kMethods[data[0] % 5];
    size_t pathSize = std::min<size_t>(data[1], size - 2);
    q.path.assign(reinterpret_cast<const char *>(data + 2), pathSize);
    std::string rest(reinterpret_cast<const char *>(data + 2 + pathSize), size - 2 - pathSize);
    if (q.method == "POST") {
        q.body = rest;
    } else {
        size_t at = 0;
        while (at <= rest.size()) {
            size_t end = std::min(rest.find('&', at), rest.size());
            std::string pair = rest.substr(at, end - at);
            size_t eq = pair.find('=');
            q.params.emplace(pair.substr(0, eq),
                             eq == std::string::npos ? "" : pair.substr(eq + 1));
            at = end + 1;
        }
    }
    s_response r = TheApi().Handle(q);

    static const std::set<int> statuses = {200, 201, 204, 400, 404, 405, 422, 500, 503};
    if (!statuses.count(r.status)) {
        std::fprintf(stderr, "status %d\n", r.status);
        std::abort();
    }
    if (r.type == "application/json") {
        nlohmann::json j = nlohmann::json::parse(r.body, nullptr, false);
        if (j.is_discarded() || (r.status >= 400 && !j["error"].is_string())) {
            std::fprintf(stderr, "answer %d not JSON or without its line: %s\n", r.status,
                         r.body.c_str());
            std::abort();
        }
    }
    return 0;
}
