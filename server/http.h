// HTTP in front of the Api, on cpp-httplib: the limits that can refuse a
// request before its body is read (its size, its address's rates, a full
// queue of games), a deadline for reading each request whole, and one log
// line per request on standard output.
//
// Depends on: server/api.h, server/workers.h, server/ratelimit.h, cpp-httplib.
#pragma once

#include <memory>
#include <string>

#include "server/api.h"
#include "server/workers.h"

struct s_httpconfig {
    std::string host = "127.0.0.1";
    int port = 8090;           // 0: any free port
    std::string site;          // the game's page to serve under /play/ ("" none)
    bool behindProxy = false;  // the address is X-Real-IP's, from a proxy on this machine
    int submitsPerMinute = 0;
    int requestsPerSecond = 0;
};

class HttpFront;

// Serves until Stop() (from another thread). Returns false with a line
// in *error when it cannot listen.
class HttpServer {
public:
    HttpServer(Api *api, VerifierPool *pool, s_httpconfig config);
    ~HttpServer();
    bool Listen(std::string *error);  // binds; port() is then the real one
    int port() const;
    void Serve();  // until Stop()
    void Stop();

private:
    std::unique_ptr<HttpFront> front_;
    s_httpconfig config_;
};
