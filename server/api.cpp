// Requests and answers. See api.h.
#include "server/api.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "game/replay.h"
#include "server/limits.h"
#include "server/page.h"

using nlohmann::json;

namespace {

const char *const kDifficulties[3] = {"easy", "medium", "hard"};
const char *const kTableNames[3] = {"EASY", "MEDIUM", "HARD"};

json EntryJson(const s_entry &e) {
    return {{"place", e.place},
            {"name", ShownName(e.name)},
            {"score", e.score},
            {"frames", e.frames},
            {"date", UtcText(e.date, "%Y-%m-%dT%H:%M:%SZ")},
            {"id", e.id}};
}

s_response JsonAnswer(int status, const json &body) {
    s_response r;
    r.status = status;
    r.body = body.dump() + "\n";
    return r;
}

// A whole non-negative decimal number of at most digits digits, or -1.
int64_t Number(const std::string &text, size_t digits) {
    if (text.empty() || text.size() > digits) return -1;
    int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

// The parameter's one value; false when it is given more than once.
bool Param(const s_request &request, const char *key, std::string *value) {
    auto range = request.params.equal_range(key);
    if (range.first == range.second) return true;
    if (std::next(range.first) != range.second) return false;
    *value = range.first->second;
    return true;
}

}  // namespace

std::string UtcText(int64_t seconds, const char *format) {
    time_t t = time_t(seconds);
    tm utc{};
    gmtime_r(&t, &utc);
    char text[64];
    std::strftime(text, sizeof text, format, &utc);
    return text;
}

std::string ShownName(const std::string &name) {
    return ReplayShownText(name.c_str());
}

Api::Api(Store *store, Verifier verify, Load load, s_apiconfig config)
    : store_(store),
      verify_(std::move(verify)),
      load_(std::move(load)),
      config_(std::move(config)) {
    // The origin of an absolute http(s) URL: up to the first slash after "//".
    const std::string &url = config_.gameUrl;
    size_t scheme = url.find("://");
    if (scheme != std::string::npos &&
        (url.compare(0, scheme, "http") == 0 || url.compare(0, scheme, "https") == 0))
        origin_ = url.substr(0, url.find('/', scheme + 3));
}

void Api::AddCors(s_response *r) const {
    if (origin_.empty()) return;
    r->headers.emplace_back("Access-Control-Allow-Origin", origin_);
    r->headers.emplace_back("Vary", "Origin");
}

s_response Api::Error(int status, const std::string &message) const {
    s_response r = JsonAnswer(status, {{"error", message}});
    r.note = message;
    AddCors(&r);
    return r;
}

s_response Api::Handle(const s_request &q) {
    const std::string scores = "/api/v1/scores", replays = "/api/v1/replays/";
    bool read = q.method == "GET" || q.method == "HEAD";
    if (q.method == "OPTIONS" && q.path.compare(0, 8, "/api/v1/") == 0) {
        // The browser asks before it sends a game from the game's page.
        s_response r;
        r.status = 204;
        r.type.clear();
        AddCors(&r);
        r.headers.emplace_back("Access-Control-Allow-Methods", "GET, POST");
        r.headers.emplace_back("Access-Control-Allow-Headers", "Content-Type");
        r.headers.emplace_back("Access-Control-Max-Age", "86400");
        return r;
    }
    if (q.path == scores && q.method == "POST") return Submit(q.body);
    if (q.path == scores && read) return Scores(q);
    if (q.path.compare(0, replays.size(), replays) == 0 && read)
        return ReplayFile(q.path.substr(replays.size()));
    if (q.path == "/healthz" && read) return Health();
    if (q.path == "/" && read) return Page();
    bool known = q.path == scores || q.path.compare(0, replays.size(), replays) == 0 ||
                 q.path == "/healthz" || q.path == "/";
    if (known) {
        s_response r = Error(405, "method " + ShownName(q.method) + " not allowed here");
        r.headers.emplace_back("Allow", q.path == scores ? "GET, POST, OPTIONS" : "GET");
        return r;
    }
    return Error(404, "no such page: " + ShownName(q.path));
}

s_response Api::Submit(const std::string &body) {
    if (body.empty()) return Error(400, "empty: the body must be a .qoreplay file");
    s_verdict v = verify_(body);
    if (v.status != 200) return Error(v.status, v.message);

    s_newentry game;
    game.entry.rules = v.rules;
    game.entry.difficulty = v.difficulty;
    game.entry.score = v.score;
    game.entry.frames = v.frames;
    game.entry.name = v.name;
    game.entry.date = time(nullptr);
    game.key = v.key;
    game.replay = body;
    s_entry stored;
    AddResult added = store_->Add(game, kTableKeep, &stored);
    const char *table = kTableNames[v.difficulty];
    json answer = {{"difficulty", kDifficulties[v.difficulty]},
                   {"score", v.score},
                   {"name", ShownName(v.name)},
                   {"frames", v.frames},
                   {"rules", v.rules}};
    int status = 200;
    std::string message;
    switch (added) {
        case AddResult::kFailed:
            return Error(503, "not stored: the store failed (" + store_->Error() + ")");
        case AddResult::kBelow:
            answer["place"] = nullptr;
            answer["id"] = nullptr;
            answer["stored"] = false;
            message = "verified; below the " + std::to_string(kTableKeep) + " entries the " +
                      table + " table keeps";
            break;
        case AddResult::kAdded:
        case AddResult::kDuplicate:
            status = added == AddResult::kAdded ? 201 : 200;
            answer["place"] = stored.place;
            answer["id"] = stored.id;
            answer["stored"] = added == AddResult::kAdded;
            // A copy under another name is the same game: the first name stays.
            answer["name"] = ShownName(stored.name);
            message = added == AddResult::kAdded
                          ? "stored at place " + std::to_string(stored.place) + " of the " + table +
                                " table"
                          : "already stored, as entry " + std::to_string(stored.id) + " at place " +
                                std::to_string(stored.place) + " of the " + table + " table";
            break;
    }
    answer["message"] = message;
    s_response r = JsonAnswer(status, answer);
    r.note = message;
    AddCors(&r);
    if (added == AddResult::kAdded)
        r.headers.emplace_back("Location", "/api/v1/replays/" + std::to_string(stored.id));
    return r;
}

s_response Api::Scores(const s_request &q) {
    std::string difficulty, limitText = std::to_string(kDefaultTableLimit),
                            rulesText = std::to_string(kRulesVersion);
    if (!Param(q, "difficulty", &difficulty) || !Param(q, "limit", &limitText) ||
        !Param(q, "rules", &rulesText))
        return Error(400, "a parameter given twice");
    int d = -1;
    for (int i = 0; i < 3; i++)
        if (difficulty == kDifficulties[i]) d = i;
    if (d < 0) return Error(400, "difficulty must be easy, medium or hard");
    int64_t limit = Number(limitText, 3);
    if (limit < 1 || limit > kMaxTableLimit)
        return Error(400, "limit must be a number from 1 to " + std::to_string(kMaxTableLimit));
    int64_t rules = Number(rulesText, 5);
    if (rules < 1) return Error(400, "rules must be a rules version, a number from 1");
    std::vector<s_entry> entries;
    if (!store_->Top(int(rules), d, int(limit), &entries))
        return Error(503, "the store failed (" + store_->Error() + ")");
    json list = json::array();
    for (const s_entry &e : entries) list.push_back(EntryJson(e));
    s_response r = JsonAnswer(200, {{"rules", rules},
                                    {"difficulty", kDifficulties[d]},
                                    {"kept", kTableKeep},
                                    {"entries", list}});
    AddCors(&r);
    return r;
}

s_response Api::ReplayFile(const std::string &idText) {
    int64_t id = Number(idText, 18);
    if (id < 0) return Error(404, "no such replay: ids are numbers");
    s_entry e;
    s_response r;
    if (!store_->Replay(id, &e, &r.body)) return Error(404, "no replay " + std::to_string(id));
    r.type = "application/octet-stream";
    r.headers.emplace_back("Content-Disposition", "attachment; filename=\"" +
                                                      std::string(kDifficulties[e.difficulty]) +
                                                      "-" + std::to_string(e.score) + "-" +
                                                      std::to_string(id) + ".qoreplay\"");
    // A stored replay never changes.
    r.headers.emplace_back("Cache-Control", "public, max-age=31536000, immutable");
    AddCors(&r);
    return r;
}

s_response Api::Health() {
    s_response r = JsonAnswer(200, {{"ok", true},
                                    {"rules", kRulesVersion},
                                    {"workers", config_.workers},
                                    {"queued", load_ ? load_() : 0}});
    AddCors(&r);
    return r;
}

s_response Api::Page() {
    std::vector<s_entry> tables[3];
    for (int d = 0; d < 3; d++)
        if (!store_->Top(kRulesVersion, d, kDefaultTableLimit, &tables[d]))
            return Error(503, "the store failed (" + store_->Error() + ")");
    s_response r;
    r.type = "text/html; charset=utf-8";
    r.body = RenderPage(tables, kRulesVersion, config_.gameUrl);
    return r;
}
