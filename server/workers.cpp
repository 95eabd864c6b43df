// Verifying processes and their pool. See workers.h.
//
// The wire between the server and a child: the server writes a game as
// its length (4 bytes, little-endian) and its bytes; the child answers
// with the verdict (EncodeVerdict) the same way.
#include "server/workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstring>

#include "server/limits.h"

extern char **environ;

namespace {

bool WriteAll(int fd, const char *data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool WriteMessage(int fd, const std::string &message) {
    char size[4];
    for (int i = 0; i < 4; i++) size[i] = char(message.size() >> (8 * i));
    return WriteAll(fd, size, 4) && WriteAll(fd, message.data(), message.size());
}

// Reads exactly size bytes; deadline < 0: no limit. False at the end of the
// input, on an error or past the deadline (*timedOut then).
bool ReadAll(int fd, char *data, size_t size, std::chrono::steady_clock::time_point deadline,
             bool limited, bool *timedOut) {
    while (size > 0) {
        if (limited) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                *timedOut = true;
                return false;
            }
            pollfd p = {fd, POLLIN, 0};
            int ready = poll(&p, 1, int(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) continue;  // the deadline is checked again above
        }
        ssize_t n = read(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool ReadMessage(int fd, size_t limit, std::string *message,
                 std::chrono::steady_clock::time_point deadline, bool limited, bool *timedOut) {
    unsigned char size[4];
    if (!ReadAll(fd, reinterpret_cast<char *>(size), 4, deadline, limited, timedOut)) return false;
    size_t n =
        size_t(size[0]) | size_t(size[1]) << 8 | size_t(size[2]) << 16 | size_t(size[3]) << 24;
    if (n > limit) return false;
    message->resize(n);
    return ReadAll(fd, &(*message)[0], n, deadline, limited, timedOut);
}

}  // namespace

int RunVerifyWorker() {
    // Nothing of the server's (its database, its sockets) stays open here.
    close_range(3, ~0u, 0);
    std::string game;
    bool timedOut = false;
    while (ReadMessage(0, kMaxBodyBytes, &game, {}, false, &timedOut)) {
        s_verdict v = VerifyGame(reinterpret_cast<const uint8_t *>(game.data()), game.size());
        if (!WriteMessage(1, EncodeVerdict(v))) return 1;
    }
    return 0;
}

VerifierPool::VerifierPool(std::string program, int workers, int queueLength, double verifySeconds)
    : program_(std::move(program)),
      queueLength_(queueLength),
      verifySeconds_(verifySeconds),
      workers_(size_t(workers)) {}

VerifierPool::~VerifierPool() {
    for (Worker &w : workers_) Stop(&w);
}

bool VerifierPool::Spawn(Worker *w) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return false;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    // Not the server's blocked signals (its stop signals wait for a thread
    // of its own): a verifying process ends on them as any process does.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    char *argv[] = {const_cast<char *>(program_.c_str()), const_cast<char *>("--verify-worker"),
                    nullptr};
    pid_t pid;
    int failed = posix_spawn(&pid, program_.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(toChild[0]);
    close(fromChild[1]);
    if (failed) {
        close(toChild[1]);
        close(fromChild[0]);
        return false;
    }
    w->pid = pid;
    w->in = toChild[1];
    w->out = fromChild[0];
    return true;
}

void VerifierPool::Stop(Worker *w) {
    if (w->pid > 0) {
        kill(w->pid, SIGKILL);
        waitpid(w->pid, nullptr, 0);
    }
    if (w->in >= 0) close(w->in);
    if (w->out >= 0) close(w->out);
    *w = Worker();
}

bool VerifierPool::Start(std::string *error) {
    for (size_t i = 0; i < workers_.size(); i++) {
        if (!Spawn(&workers_[i])) {
            *error = "cannot start a verifying process (" + program_ + "): " + strerror(errno);
            return false;
        }
        idle_.push_back(int(i));
    }
    return true;
}

bool VerifierPool::Reserve() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reserved_ >= int(workers_.size()) + queueLength_) return false;
    reserved_++;
    return true;
}

void VerifierPool::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    reserved_--;
}

int VerifierPool::Queued() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reserved_;
}

bool VerifierPool::Exchange(Worker *w, const std::string &body, s_verdict *v, bool *timedOut) {
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(verifySeconds_));
    std::string answer;
    return w->pid > 0 && WriteMessage(w->in, body) &&
           ReadMessage(w->out, 4096, &answer, deadline, true, timedOut) && DecodeVerdict(answer, v);
}

s_verdict VerifierPool::Verify(const std::string &body) {
    int index;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        freed_.wait(lock, [this] { return !idle_.empty(); });
        index = idle_.back();
        idle_.pop_back();
    }
    Worker &w = workers_[size_t(index)];
    s_verdict v;
    bool timedOut = false;
    if (!Exchange(&w, body, &v, &timedOut)) {
        // The process is stopped, whatever it was doing, and a new one takes
        // its place; this game gets no verdict.
        Stop(&w);
        Spawn(&w);
        v = s_verdict();
        v.status = timedOut ? 503 : 500;
        char line[100];
        std::snprintf(line, sizeof line, "not verified: the game took longer than %g s to verify",
                      verifySeconds_);
        v.message = timedOut ? line : "not verified: the verifying process stopped";
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        idle_.push_back(index);
    }
    freed_.notify_one();
    return v;
}
