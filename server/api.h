// The server's requests and answers, apart from HTTP's wire: each request
// is parsed, checked and answered here, with a status and, for every
// refusal, one clear line. server/http.cpp carries them over cpp-httplib
// and refuses what can be refused before a body is read (its size, the
// rate of its address, a full queue); tests/server/fuzz_server.cpp drives
// this directly.
//
//   POST /api/v1/scores           a .qoreplay: verified, then stored
//   GET  /api/v1/scores           a table: ?difficulty=easy|medium|hard&limit=N[&rules=R]
//   GET  /api/v1/replays/ID       an entry's replay file
//   GET  /healthz                 the server's state
//   GET  /                        the page: the three tables and a form
//
// Depends on: server/store.h, server/verdict.h, nlohmann-json.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "server/store.h"
#include "server/verdict.h"

struct s_request {
    std::string method;  // GET, HEAD, POST, OPTIONS...
    std::string path;    // without the query
    std::multimap<std::string, std::string> params;
    std::string body;
};

struct s_response {
    int status = 200;
    std::string type = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string note;  // what the log line adds: the refusal, the entry
};

struct s_apiconfig {
    // The game's page, where a table's entry is watched (URL#replay=...);
    // its origin may call the API from the browser. "" for none.
    std::string gameUrl;
    int workers = 0;  // for /healthz
};

class Api {
public:
    using Verifier = std::function<s_verdict(const std::string &body)>;
    using Load = std::function<int()>;  // games being verified or waiting

    Api(Store *store, Verifier verify, Load load, s_apiconfig config);
    s_response Handle(const s_request &request);

    // An error answer: {"error": message} with the status; CORS added.
    s_response Error(int status, const std::string &message) const;
    // What every answer carries: the game's origin may read the API.
    void AddCors(s_response *response) const;

private:
    s_response Submit(const std::string &body);
    s_response Scores(const s_request &request);
    s_response ReplayFile(const std::string &id);
    s_response Health();
    s_response Page();

    Store *store_;
    Verifier verify_;
    Load load_;
    s_apiconfig config_;
    std::string origin_;  // scheme://host[:port] of gameUrl, "" when it has none
};

// What the page shows and the API answers for a name: the characters of
// the game's fonts as they are, any other byte as \xHH (as --verify prints
// them), so that no name is taken for markup or another line.
std::string ShownName(const std::string &name);

// A time in seconds since 1970 as strftime's format writes it in UTC.
std::string UtcText(int64_t seconds, const char *format);
