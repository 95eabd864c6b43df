// qostarfold-server: the world tables of QO STARFOLD. Every score enters
// with the replay that proves it, played again here by the game's own
// verifier (the code of `qostarfold --verify`).
//
//   qostarfold-server [--listen HOST:PORT] [--db PATH] [--origin URL] [--workers N]
//                     [--queue N] [--submits-per-minute N] [--requests-per-second N]
//                     [--site DIR] [--behind-proxy]
//
// Started with --verify-worker it is one of its own verifying processes.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "game/replay.h"
#include "server/api.h"
#include "server/http.h"
#include "server/limits.h"
#include "server/store.h"
#include "server/workers.h"

namespace {

void Usage() {
    std::printf(
        "usage: qostarfold-server [options]\n"
        "  --listen HOST:PORT         where to listen (default 127.0.0.1:8090; port 0: any)\n"
        "  --db PATH                  the SQLite database (default qostarfold-world.db)\n"
        "  --origin URL               the game's page: watch links open it, and its origin\n"
        "                             may call the API (default: /play/ with --site, else none)\n"
        "  --workers N                verifying processes (default: the cores)\n"
        "  --queue N                  games waiting beyond those verified (default %d)\n"
        "  --submits-per-minute N     games per address (default %d)\n"
        "  --requests-per-second N    requests per address (default %d)\n"
        "  --verify-seconds S         the longest one game's verification may take (default %d)\n"
        "  --site DIR                 serve the game's page from DIR under /play/\n"
        "  --behind-proxy             take the address from X-Real-IP of a proxy on this machine\n",
        kDefaultQueueLength, kDefaultSubmitsPerMinute, kDefaultRequestsPerSecond, kVerifySeconds);
}

bool Count(const char *text, int low, int high, int *out) {
    char *end = nullptr;
    long n = std::strtol(text, &end, 10);
    if (!*text || *end || n < low || n > high) return false;
    *out = int(n);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--verify-worker") == 0) return RunVerifyWorker();

    s_httpconfig http;
    http.submitsPerMinute = kDefaultSubmitsPerMinute;
    http.requestsPerSecond = kDefaultRequestsPerSecond;
    std::string db = "qostarfold-world.db", origin;
    int workers = int(std::thread::hardware_concurrency()), queue = kDefaultQueueLength;
    double verifySeconds = kVerifySeconds;
    if (workers < 1) workers = 1;
    for (int i = 1; i < argc; i++) {
        std::string option = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = value != nullptr;
        if (option == "--behind-proxy") {
            http.behindProxy = true;
            continue;
        } else if (option == "--help" || option == "-h") {
            Usage();
            return 0;
        } else if (option == "--listen" && value) {
            std::string listen = value;
            size_t colon = listen.rfind(':');
            ok = colon != std::string::npos && Count(value + colon + 1, 0, 65535, &http.port);
            http.host = listen.substr(0, colon);
            // [::1]:8090
            if (http.host.size() > 2 && http.host.front() == '[' && http.host.back() == ']')
                http.host = http.host.substr(1, http.host.size() - 2);
        } else if (option == "--db" && value) {
            db = value;
        } else if (option == "--origin" && value) {
            origin = value;
        } else if (option == "--site" && value) {
            http.site = value;
        } else if (option == "--workers" && value) {
            ok = Count(value, 1, 256, &workers);
        } else if (option == "--verify-seconds" && value) {
            char *end = nullptr;
            verifySeconds = std::strtod(value, &end);
            ok = *value && !*end && verifySeconds >= 0.001 && verifySeconds <= 3600;
        } else if (option == "--queue" && value) {
            ok = Count(value, 0, 100000, &queue);
        } else if (option == "--submits-per-minute" && value) {
            ok = Count(value, 1, 1000000, &http.submitsPerMinute);
        } else if (option == "--requests-per-second" && value) {
            ok = Count(value, 1, 1000000, &http.requestsPerSecond);
        } else {
            ok = false;
        }
        if (!ok) {
            std::printf("qostarfold-server: bad option %s%s%s\n", option.c_str(), value ? " " : "",
                        value ? value : "");
            Usage();
            return 2;
        }
        i++;
    }
    if (origin.empty() && !http.site.empty()) origin = "/play/";

    // A client gone mid-answer is that request's failure, not the server's.
    signal(SIGPIPE, SIG_IGN);
    // SIGTERM and SIGINT stop the server, through a thread of their own.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    VerifierPool pool("/proc/self/exe", workers, queue, verifySeconds);
    std::string error;
    if (!pool.Start(&error)) {
        std::printf("qostarfold-server: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<Store> store = OpenSqliteStore(db, &error);
    if (!store) {
        std::printf("qostarfold-server: %s\n", error.c_str());
        return 1;
    }
    s_apiconfig apiConfig;
    apiConfig.gameUrl = origin;
    apiConfig.workers = workers;
    Api api(
        store.get(), [&pool](const std::string &body) { return pool.Verify(body); },
        [&pool] { return pool.Queued(); }, apiConfig);
    HttpServer server(&api, &pool, http);
    if (!server.Listen(&error)) {
        std::printf("qostarfold-server: %s\n", error.c_str());
        return 1;
    }
    std::printf("qostarfold-server: rules version %d, %d verifying processes, database %s\n",
                kRulesVersion, workers, db.c_str());
    std::printf("qostarfold-server: listening on http://%s:%d/\n", http.host.c_str(),
                server.port());
    std::fflush(stdout);

    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.Stop();
    });
    server.Serve();
    // Stopped by a signal, or the listening failed: the stopper must end too.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    std::printf("qostarfold-server: stopped\n");
    return 0;
}
