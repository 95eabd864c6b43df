// The world tables' store: entries (a verified game's rules version,
// difficulty, score, frames, name and date) with their replays, one table
// per rules version and difficulty, ranked by score, ties by the earlier
// entry. The server speaks to it through this interface only; SQLite is
// the store today (store_sqlite.cpp), and README.md says what a
// PostgreSQL one would change.
//
// Every method is one transaction and may be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct s_entry {
    int64_t id = 0;
    int rules = 0;
    int difficulty = 0;
    int score = 0;
    uint32_t frames = 0;
    std::string name;  // the file's bytes, as sent
    int64_t date = 0;  // seconds since 1970, UTC, when it was stored
    int place = 0;     // 1 is the best in its table
};

struct s_newentry {
    s_entry entry;                  // id and place are the store's to give
    std::array<uint8_t, 32> key{};  // the game, whatever its name (one entry per game)
    std::string replay;             // the file as sent
};

enum class AddResult {
    kAdded,      // stored; entry is the new one
    kDuplicate,  // the game is stored already (under its first name); entry is that one
    kBelow,      // below the entries a table keeps: not stored
    kFailed,     // the store failed; nothing changed
};

class Store {
public:
    virtual ~Store() = default;
    // Adds a verified game with its replay in one transaction, unless the
    // same game is stored already, and deletes the entry it pushes out of
    // the kept ones. *entry gets the id and place (kAdded, kDuplicate).
    virtual AddResult Add(const s_newentry &game, int keep, s_entry *entry) = 0;
    // The best limit entries of a table, best first, with their places.
    virtual bool Top(int rules, int difficulty, int limit, std::vector<s_entry> *entries) = 0;
    // An entry's replay; false when there is no such entry.
    virtual bool Replay(int64_t id, s_entry *entry, std::string *replay) = 0;
    // The last failure, one line.
    virtual std::string Error() = 0;
};

// Opens (and creates, or brings up to this server's schema) the SQLite
// database at path; ":memory:" is a database of this process alone. Null
// with a line in *error when it cannot.
std::unique_ptr<Store> OpenSqliteStore(const std::string &path, std::string *error);
