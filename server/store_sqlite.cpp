// The store in one SQLite file. See store.h.
//
// The database is opened in WAL mode with full sync: a game acknowledged
// to its sender is on the disk, and a process killed at any moment leaves
// a database that opens whole. One connection serves every thread, one
// transaction at a time; SQLite writes one at a time in any case, and every
// query here is one short walk of an index.
//
// The schema carries its version in PRAGMA user_version and is brought up
// to this server's when opened, a step per version, each in a transaction
// of its own. A database of a newer server is refused, never changed.
#include <sqlite3.h>

#include <cstdint>
#include <mutex>

#include "server/store.h"

namespace {

// Schema steps: kSchema[v] takes a database from version v to v + 1.
const char *const kSchema[] = {
    // 1: entries, ranked per rules version and difficulty; a game is stored
    // once (its key, the game without its name); replays beside them.
    "CREATE TABLE entries ("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  rules INTEGER NOT NULL, difficulty INTEGER NOT NULL,"
    "  score INTEGER NOT NULL, frames INTEGER NOT NULL,"
    "  name BLOB NOT NULL, date INTEGER NOT NULL,"
    "  game BLOB NOT NULL UNIQUE);"
    "CREATE INDEX entries_rank ON entries (rules, difficulty, score DESC, id);"
    "CREATE TABLE replays ("
    "  entry INTEGER PRIMARY KEY REFERENCES entries (id) ON DELETE CASCADE,"
    "  bytes BLOB NOT NULL);",
};
constexpr int kSchemaVersion = int(sizeof kSchema / sizeof kSchema[0]);

// A prepared statement, finalized when it goes.
class Statement {
public:
    Statement(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    bool ok() const { return stmt_ != nullptr; }
    Statement &Int(int i, int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Statement &Blob(int i, const void *data, size_t size) {
        sqlite3_bind_blob64(stmt_, i, data, size, SQLITE_TRANSIENT);
        return *this;
    }
    int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    int64_t Column(int i) { return sqlite3_column_int64(stmt_, i); }
    std::string Bytes(int i) {
        const void *data = sqlite3_column_blob(stmt_, i);
        return std::string(static_cast<const char *>(data), size_t(sqlite3_column_bytes(stmt_, i)));
    }

private:
    sqlite3_stmt *stmt_ = nullptr;
};

class SqliteStore : public Store {
public:
    ~SqliteStore() override { sqlite3_close(db_); }

    bool Open(const std::string &path, std::string *error) {
        if (sqlite3_open_v2(path.c_str(), &db_,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            *error = path + ": " + (db_ ? sqlite3_errmsg(db_) : "cannot open");
            return false;
        }
        // WAL: readers never wait for the writer; FULL: a commit is synced
        // (the WAL file too) before it returns.
        if (!Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;"
                  "PRAGMA foreign_keys = ON; PRAGMA busy_timeout = 5000;")) {
            *error = path + ": " + error_;
            return false;
        }
        Statement version(db_, "PRAGMA user_version");
        int have = version.Step() == SQLITE_ROW ? int(version.Column(0)) : -1;
        if (have < 0 || have > kSchemaVersion) {
            *error = path + ": schema version " + std::to_string(have) +
                     ", this server knows versions up to " + std::to_string(kSchemaVersion);
            return false;
        }
        for (int v = have; v < kSchemaVersion; v++) {
            std::string step = std::string("BEGIN IMMEDIATE;") + kSchema[v] +
                               "PRAGMA user_version = " + std::to_string(v + 1) + ";COMMIT;";
            if (!Exec(step.c_str())) {
                Exec("ROLLBACK");
                *error = path + ": upgrading the schema to version " + std::to_string(v + 1) +
                         ": " + error_;
                return false;
            }
        }
        return true;
    }

    AddResult Add(const s_newentry &game, int keep, s_entry *entry) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!Exec("BEGIN IMMEDIATE")) return AddResult::kFailed;
        AddResult result = AddInTransaction(game, keep, entry);
        const char *end = result == AddResult::kAdded ? "COMMIT" : "ROLLBACK";
        if (result == AddResult::kFailed || !Exec(end)) {
            Exec("ROLLBACK");
            return AddResult::kFailed;
        }
        return result;
    }

    bool Top(int rules, int difficulty, int limit, std::vector<s_entry> *entries) override {
        std::lock_guard<std::mutex> lock(mutex_);
        Statement top(db_,
                      "SELECT id, score, frames, name, date FROM entries"
                      " WHERE rules = ?1 AND difficulty = ?2 ORDER BY score DESC, id LIMIT ?3");
        top.Int(1, rules).Int(2, difficulty).Int(3, limit);
        entries->clear();
        int rc;
        while ((rc = top.Step()) == SQLITE_ROW) {
            s_entry e;
            e.id = top.Column(0);
            e.rules = rules;
            e.difficulty = difficulty;
            e.score = int(top.Column(1));
            e.frames = uint32_t(top.Column(2));
            e.name = top.Bytes(3);
            e.date = top.Column(4);
            e.place = int(entries->size()) + 1;
            entries->push_back(e);
        }
        return Done(rc);
    }

    bool Replay(int64_t id, s_entry *entry, std::string *replay) override {
        std::lock_guard<std::mutex> lock(mutex_);
        Statement get(db_,
                      "SELECT rules, difficulty, score, frames, name, date, bytes FROM entries"
                      " JOIN replays ON replays.entry = entries.id WHERE id = ?1");
        get.Int(1, id);
        int rc = get.Step();
        if (rc != SQLITE_ROW) {
            Done(rc);
            return false;
        }
        entry->id = id;
        entry->rules = int(get.Column(0));
        entry->difficulty = int(get.Column(1));
        entry->score = int(get.Column(2));
        entry->frames = uint32_t(get.Column(3));
        entry->name = get.Bytes(4);
        entry->date = get.Column(5);
        *replay = get.Bytes(6);
        return true;
    }

    std::string Error() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return error_;
    }

private:
    bool Exec(const char *sql) {
        char *message = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
        error_ = message ? message : sqlite3_errmsg(db_);
        sqlite3_free(message);
        return false;
    }

    // A statement's last step: SQLITE_DONE, or the failure is kept.
    bool Done(int rc) {
        if (rc == SQLITE_DONE || rc == SQLITE_ROW) return true;
        error_ = sqlite3_errmsg(db_);
        return false;
    }

    // The place an entry of the table has: those above it, plus one.
    bool PlaceOf(const s_entry &e, int64_t id, int *place) {
        Statement above(db_,
                        "SELECT COUNT(*) FROM entries WHERE rules = ?1 AND difficulty = ?2"
                        " AND (score > ?3 OR (score = ?3 AND id < ?4))");
        above.Int(1, e.rules).Int(2, e.difficulty).Int(3, e.score).Int(4, id);
        int rc = above.Step();
        if (rc != SQLITE_ROW) {
            Done(rc);
            return false;
        }
        *place = int(above.Column(0)) + 1;
        return true;
    }

    AddResult AddInTransaction(const s_newentry &game, int keep, s_entry *entry) {
        const s_entry &e = game.entry;
        Statement same(db_,
                       "SELECT id, rules, difficulty, score, frames, name, date FROM entries"
                       " WHERE game = ?1");
        same.Blob(1, game.key.data(), game.key.size());
        int rc = same.Step();
        if (rc == SQLITE_ROW) {
            *entry = s_entry{same.Column(0),           int(same.Column(1)),
                             int(same.Column(2)),      int(same.Column(3)),
                             uint32_t(same.Column(4)), same.Bytes(5),
                             same.Column(6),           0};
            return PlaceOf(*entry, entry->id, &entry->place) ? AddResult::kDuplicate
                                                             : AddResult::kFailed;
        }
        if (!Done(rc)) return AddResult::kFailed;

        // A new entry comes after every one of its score: ties go to the earlier.
        int place;
        if (!PlaceOf(e, INT64_MAX, &place)) return AddResult::kFailed;
        if (place > keep) return AddResult::kBelow;
        Statement insert(db_,
                         "INSERT INTO entries (rules, difficulty, score, frames, name, date, game)"
                         " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        insert.Int(1, e.rules).Int(2, e.difficulty).Int(3, e.score).Int(4, e.frames);
        insert.Blob(5, e.name.data(), e.name.size()).Int(6, e.date);
        insert.Blob(7, game.key.data(), game.key.size());
        if (!Done(insert.Step())) return AddResult::kFailed;
        *entry = e;
        entry->id = sqlite3_last_insert_rowid(db_);
        entry->place = place;
        Statement replay(db_, "INSERT INTO replays (entry, bytes) VALUES (?1, ?2)");
        replay.Int(1, entry->id).Blob(2, game.replay.data(), game.replay.size());
        if (!Done(replay.Step())) return AddResult::kFailed;
        // The entry pushed out of the kept ones goes, with its replay.
        Statement out(db_,
                      "DELETE FROM entries WHERE id IN (SELECT id FROM entries"
                      " WHERE rules = ?1 AND difficulty = ?2 ORDER BY score DESC, id"
                      " LIMIT -1 OFFSET ?3)");
        out.Int(1, e.rules).Int(2, e.difficulty).Int(3, keep);
        if (!Done(out.Step())) return AddResult::kFailed;
        return AddResult::kAdded;
    }

    sqlite3 *db_ = nullptr;
    std::mutex mutex_;
    std::string error_;
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string &path, std::string *error) {
    auto store = std::make_unique<SqliteStore>();
    if (!store->Open(path, error)) return nullptr;
    return store;
}
