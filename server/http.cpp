// HTTP in front of the Api. See http.h.
//
// cpp-httplib reads requests through a Stream; this one (DeadlineStream)
// gives every request a deadline from its first byte to the end of its
// body, so that a client sending a byte a second is answered 408 and let
// go instead of holding a thread. HttpFront takes over cpp-httplib's
// per-connection loop (process_and_close_socket) for that, and to count
// connections per address.
#include "server/http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <httplib.h>
#include <mutex>

#include "server/limits.h"
#include "server/ratelimit.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point when) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
    return left < 0 ? 0 : int(std::min<long long>(left, 1 << 30));
}

std::string AddressOf(const sockaddr_storage &a) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (a.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in &>(a).sin_addr, text, sizeof text);
    else if (a.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 &>(a).sin6_addr, text,
                  sizeof text);
    return text;
}

int PortOf(const sockaddr_storage &a) {
    if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in &>(a).sin_port);
    if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6 &>(a).sin6_port);
    return 0;
}

// A socket read through a buffer, each request within its deadline.
class DeadlineStream : public httplib::Stream {
public:
    explicit DeadlineStream(int sock) : sock_(sock) {}

    // A request begins: kRequestSeconds to read it whole.
    void StartRequest() {
        deadline_ = Clock::now() + std::chrono::seconds(kRequestSeconds);
        timedOut_ = false;
        written_ = 0;
    }
    bool TimedOut() const { return timedOut_; }
    size_t Written() const { return written_; }

    // Waits for the next request while running() says so; false when the
    // connection has been idle kKeepAliveSeconds or the server stops.
    template <class Running>
    bool WaitForRequest(Running running) {
        auto idleEnd = Clock::now() + std::chrono::seconds(kKeepAliveSeconds);
        while (begin_ == end_ && running()) {
            int wait = std::min(MillisecondsUntil(idleEnd), 500);
            pollfd p = {sock_, POLLIN, 0};
            int ready = poll(&p, 1, wait);
            if (ready > 0) return true;
            if (ready < 0 && errno != EINTR) return false;
            if (Clock::now() >= idleEnd) return false;
        }
        return begin_ != end_;
    }

    bool is_readable() const override {
        if (begin_ != end_) return true;
        pollfd p = {sock_, POLLIN, 0};
        return poll(&p, 1, std::min(MillisecondsUntil(deadline_), kReadWaitMs)) > 0;
    }
    bool is_writable() const override {
        pollfd p = {sock_, POLLOUT, 0};
        return poll(&p, 1, kWriteWaitMs) > 0;
    }

    ssize_t read(char *ptr, size_t size) override {
        if (begin_ == end_) {
            // Wait for bytes within the request's deadline.
            for (;;) {
                int left = MillisecondsUntil(deadline_);
                if (left == 0) {
                    timedOut_ = true;
                    return -1;
                }
                pollfd p = {sock_, POLLIN, 0};
                int ready = poll(&p, 1, std::min(left, kReadWaitMs));
                if (ready > 0) break;
                if (ready < 0 && errno != EINTR) return -1;
                if (ready == 0 && left > kReadWaitMs) return -1;  // nothing for too long
            }
            ssize_t n;
            do n = recv(sock_, buffer_, sizeof buffer_, 0);
            while (n < 0 && errno == EINTR);
            if (n <= 0) return n;
            begin_ = 0;
            end_ = size_t(n);
        }
        size_t n = std::min(size, end_ - begin_);
        std::memcpy(ptr, buffer_ + begin_, n);
        begin_ += n;
        return ssize_t(n);
    }

    ssize_t write(const char *ptr, size_t size) override {
        if (!is_writable()) return -1;
        ssize_t n;
        do n = send(sock_, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        if (n > 0) written_ += size_t(n);
        return n;
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override {
        sockaddr_storage a{};
        socklen_t size = sizeof a;
        getpeername(sock_, reinterpret_cast<sockaddr *>(&a), &size);
        ip = AddressOf(a);
        port = PortOf(a);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override {
        sockaddr_storage a{};
        socklen_t size = sizeof a;
        getsockname(sock_, reinterpret_cast<sockaddr *>(&a), &size);
        ip = AddressOf(a);
        port = PortOf(a);
    }
    socket_t socket() const override { return sock_; }

private:
    static constexpr int kReadWaitMs = 5000;   // a stall within a request
    static constexpr int kWriteWaitMs = 5000;  // a client that does not read its answer
    int sock_;
    Clock::time_point deadline_ = Clock::now();
    bool timedOut_ = false;
    size_t written_ = 0;
    char buffer_[4096];
    size_t begin_ = 0, end_ = 0;
};

// What a request's handlers leave for its connection and its log line.
struct s_requeststate {
    Clock::time_point start;
    std::string address;  // the client's, for the limits and the log
    std::string note;
    size_t bodyBytes = 0;
    bool closeAfter = false;  // its body was not read: the connection cannot go on
};
thread_local s_requeststate t_request;

std::mutex g_logMutex;

// One line per request: when, what, the status, the bytes in and out, the
// time taken and what the answer said. Addresses are kept in memory for
// the limits only, never written.
void LogLine(const std::string &method, const std::string &path, int status, size_t in, size_t out,
             const std::string &note) {
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - t_request.start).count();
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::printf("%s %s %s %d %zu %zu %.1fms%s%s\n",
                UtcText(time(nullptr), "%Y-%m-%dT%H:%M:%SZ").c_str(),
                method.empty() ? "-" : ShownName(method).c_str(),
                path.empty() ? "-" : ShownName(path).c_str(), status, in, out, ms,
                note.empty() ? "" : " ", note.c_str());
    std::fflush(stdout);
}

const char *StatusText(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        case 414:
            return "URI Too Long";
        case 416:
            return "Range Not Satisfiable";
        case 422:
            return "Unprocessable Entity";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return status < 500 ? "Bad Request" : "Server Error";
    }
}

// A Content-Length's value: digits only, or -1.
long long LengthOf(const std::string &text) {
    if (text.empty() || text.size() > 15) return -1;
    long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool IsLoopback(const std::string &address) {
    return address.compare(0, 4, "127.") == 0 || address == "::1";
}

void Answer(httplib::Response &res, const s_response &r) {
    res.status = r.status;
    for (const auto &h : r.headers) res.set_header(h.first, h.second);
    if (!r.type.empty()) res.set_content(r.body, r.type.c_str());
    t_request.note = r.note;
}

}  // namespace

class HttpFront : public httplib::Server {
public:
    HttpFront(Api *api, VerifierPool *pool, s_httpconfig config)
        : api_(api),
          pool_(pool),
          config_(std::move(config)),
          submits_(config_.submitsPerMinute / 60.0, config_.submitsPerMinute),
          requests_(config_.requestsPerSecond, 10.0 * config_.requestsPerSecond),
          connections_(kConnectionsPerAddress) {
        new_task_queue = [] { return new httplib::ThreadPool(kConnectionThreads); };
        set_payload_max_length(kMaxBodyBytes);
        set_keep_alive_max_count(100);

        set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
            return PreRouting(req, res);
        });
        auto read = [this](const httplib::Request &req, httplib::Response &res) {
            Answer(res, api_->Handle(Convert(req, "")));
        };
        Get(".*", read);
        Options(".*", read);
        Put(".*", read);
        Patch(".*", read);
        Delete(".*", read);
        Post(".*", [this](const httplib::Request &req, httplib::Response &res,
                          const httplib::ContentReader &reader) { Submit(req, res, reader); });
        set_error_handler(
            HandlerWithResponse([this](const httplib::Request &, httplib::Response &res) {
                // cpp-httplib's own refusals (a malformed request, a path too long...).
                if (!res.body.empty()) return HandlerResponse::Unhandled;
                s_response r = api_->Error(res.status, StatusText(res.status));
                Answer(res, r);
                t_request.closeAfter = true;
                return HandlerResponse::Handled;
            }));
        set_logger([](const httplib::Request &req, const httplib::Response &res) {
            LogLine(req.method, req.path, res.status, t_request.bodyBytes, res.body.size(),
                    t_request.note);
        });
        if (!config_.site.empty()) {
            set_mount_point("/play", config_.site);
            set_file_extension_and_mimetype_mapping("wasm", "application/wasm");
            set_file_extension_and_mimetype_mapping("data", "application/octet-stream");
        }
    }

private:
    // Everything a request is refused for before its handler runs: the
    // rate of its address.
    HandlerResponse PreRouting(const httplib::Request &req, httplib::Response &res) {
        t_request.address = req.remote_addr;
        if (config_.behindProxy && IsLoopback(req.remote_addr) && req.has_header("X-Real-IP"))
            t_request.address = req.get_header_value("X-Real-IP");
        int retry = 0;
        if (!requests_.Take(t_request.address, &retry)) {
            Refuse(res, 429, "too many requests from this address", retry);
            return HandlerResponse::Handled;
        }
        return HandlerResponse::Unhandled;
    }

    void Refuse(httplib::Response &res, int status, const std::string &message, int retry) {
        s_response r = api_->Error(status, message);
        if (retry > 0) r.headers.emplace_back("Retry-After", std::to_string(retry));
        r.headers.emplace_back("Connection", "close");
        Answer(res, r);
        t_request.closeAfter = true;
    }

    s_request Convert(const httplib::Request &req, std::string body) {
        s_request q;
        q.method = req.method;
        q.path = req.path;
        for (const auto &p : req.params) q.params.emplace(p.first, p.second);
        q.body = std::move(body);
        return q;
    }

    // A game: refused by its size, its address's rate and the queue before
    // its body is read, then read within the size limit and verified.
    void Submit(const httplib::Request &req, httplib::Response &res,
                const httplib::ContentReader &reader) {
        if (req.path != "/api/v1/scores") {
            Answer(res, api_->Handle(Convert(req, "")));
            t_request.closeAfter = true;
            return;
        }
        int retry = 0;
        if (!submits_.Take(t_request.address, &retry))
            return Refuse(res, 429, "too many games from this address", retry);
        std::string length = req.get_header_value("Content-Length");
        if (!length.empty() &&
            (LengthOf(length) < 0 || LengthOf(length) > (long long)kMaxBodyBytes))
            return Refuse(res, 413,
                          "too large: a game is at most " + std::to_string(kMaxBodyBytes) +
                              " bytes, this one " + length,
                          0);
        if (!pool_->Reserve())
            return Refuse(res, 503, "busy: every verifier has games waiting; try again soon",
                          kBusyRetrySeconds);
        std::string body;
        bool tooLarge = false;
        bool read = reader([&](const char *data, size_t size) {
            if (body.size() + size > kMaxBodyBytes) {
                tooLarge = true;
                return false;
            }
            body.append(data, size);
            return true;
        });
        if (!read || tooLarge) {
            pool_->Release();
            if (tooLarge)
                return Refuse(
                    res, 413,
                    "too large: a game is at most " + std::to_string(kMaxBodyBytes) + " bytes", 0);
            return Refuse(res, 400, "the body was cut off", 0);
        }
        t_request.bodyBytes = body.size();
        s_response r = api_->Handle(Convert(req, std::move(body)));
        pool_->Release();
        Answer(res, r);
    }

    // cpp-httplib's loop over a connection's requests, with a deadline for
    // each and a limit of connections per address.
    bool process_and_close_socket(socket_t sock) override {
        DeadlineStream strm(sock);
        std::string peer;
        int port = 0;
        strm.get_remote_ip_and_port(peer, port);
        bool counted = config_.behindProxy || connections_.Open(peer);
        bool ret = false;
        if (!counted) {
            t_request = s_requeststate{Clock::now(), peer, "", 0, false};
            strm.StartRequest();
            RawAnswer(strm, 429, "too many connections from this address");
            LogLine("-", "-", 429, 0, 0, "too many connections from this address");
        }
        for (size_t count = keep_alive_max_count_; counted && count > 0; count--) {
            if (!strm.WaitForRequest([this] { return is_running(); })) break;
            t_request = s_requeststate{Clock::now(), peer, "", 0, false};
            strm.StartRequest();
            bool closed = false;
            ret = process_request(strm, count == 1, closed, nullptr);
            if (strm.TimedOut()) {
                std::string note = "slow client: the request was not read whole in " +
                                   std::to_string(kRequestSeconds) + " s";
                if (strm.Written() == 0) RawAnswer(strm, 408, note);
                LogLine("-", "-", 408, 0, 0, note);
                break;
            }
            if (!ret || closed || t_request.closeAfter) break;
        }
        if (counted && !config_.behindProxy) connections_.Close(peer);
        if (t_request.closeAfter) Linger(sock);
        shutdown(sock, SHUT_RDWR);
        close(sock);
        return ret;
    }

    // A connection closed with a body unread would be reset, and the
    // client might lose the answer that refused it: the rest of what it
    // sends is read and dropped for a moment first.
    static void Linger(int sock) {
        shutdown(sock, SHUT_WR);
        auto end = Clock::now() + std::chrono::seconds(1);
        char sink[16384];
        for (size_t total = 0; total < 4 * kMaxBodyBytes;) {
            pollfd p = {sock, POLLIN, 0};
            if (poll(&p, 1, std::min(MillisecondsUntil(end), 100)) <= 0 && Clock::now() >= end)
                break;
            ssize_t n = recv(sock, sink, sizeof sink, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
            if (n > 0) total += size_t(n);
        }
    }

    // An answer written outside cpp-httplib's request handling.
    void RawAnswer(DeadlineStream &strm, int status, const std::string &message) {
        std::string body = api_->Error(status, message).body;
        std::string head = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
                           "\r\nContent-Type: application/json\r\nConnection: close\r\n"
                           "Content-Length: " +
                           std::to_string(body.size()) + "\r\n\r\n";
        std::string all = head + body;
        strm.write(all.data(), all.size());
    }

    Api *api_;
    VerifierPool *pool_;
    s_httpconfig config_;
    RateLimiter submits_, requests_;
    ConnectionCounter connections_;
};

HttpServer::HttpServer(Api *api, VerifierPool *pool, s_httpconfig config)
    : front_(std::make_unique<HttpFront>(api, pool, config)), config_(std::move(config)) {}

HttpServer::~HttpServer() = default;

bool HttpServer::Listen(std::string *error) {
    if (config_.port == 0) {
        config_.port = front_->bind_to_any_port(config_.host);
        if (config_.port > 0) return true;
    } else if (front_->bind_to_port(config_.host, config_.port)) {
        return true;
    }
    *error = "cannot listen on " + config_.host + ":" + std::to_string(config_.port) +
             " (in use, or not an address of this machine)";
    return false;
}

int HttpServer::port() const {
    return config_.port;
}

void HttpServer::Serve() {
    front_->listen_after_bind();
}

void HttpServer::Stop() {
    front_->stop();
}
