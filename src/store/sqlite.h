// The store's only way to SQLite: an owning connection, a statement that
// finalises itself, the document's SQL in one place and its schema.
#pragma once

#include "store/keys.h"

#include <wx/string.h>

#include <sqlite3.h>

#include <string_view>
#include <utility>

namespace qn {

// Every statement the program runs on a document.
namespace sql {
inline constexpr char kCreateProject[] = "create table project (name TEXT, value TEXT)";
inline constexpr char kCreateBlock[] =
    "create table block (id INTEGER PRIMARY KEY, type SMALLINT, attr INTEGER, hdr BLOB, "
    "body BLOB)";

inline constexpr char kBegin[] = "begin transaction";
inline constexpr char kBeginImmediate[] = "begin immediate";
inline constexpr char kCommit[] = "commit";
inline constexpr char kRollback[] = "rollback";
inline constexpr char kDataVersion[] = "pragma data_version";
inline constexpr char kVacuum[] = "vacuum";

inline constexpr char kSelectProject[] = "select name, value from project";
inline constexpr char kSelectVersion[] = "select value from project where name='version'";
inline constexpr char kInsertProject[] = "insert into project values (?, ?)";
inline constexpr char kDeleteProject[] = "delete from project";
inline constexpr char kDeleteProjectKey[] = "delete from project where name=?";

inline constexpr char kSelectBlockIndex[] = "select id, type, attr from block";
inline constexpr char kSelectMaxValidId[] =
    "select max(id) from block where id between 1 and 2147483647";
inline constexpr char kSelectMaxId[] = "select max(id) from block";
inline constexpr char kSelectHeader[] = "select hdr from block where id=?";
inline constexpr char kSelectBody[] = "select body from block where id=?";
inline constexpr char kSelectRow[] = "select hdr, body from block where id=?";
inline constexpr char kSelectRowsFrom[] =
    "select id, type, attr, hdr, body from block where id>=? order by id";
inline constexpr char kSelectSearchRows[] =
    "select id, hdr, body, type, attr from block order by id";
inline constexpr char kSelectNodeRows[] =
    "select id, hdr, body from block where type=1 order by id";
inline constexpr char kSelectAllBlocks[] =
    "select id, type, attr, hdr, body from block order by id";
inline constexpr char kInsertBlock[] = "insert into block values (?, ?, ?, ?, ?)";
inline constexpr char kUpdateBlock[] = "update block set attr=?, hdr=?, body=? where id=?";
inline constexpr char kUpdateHeader[] = "update block set attr=?, hdr=? where id=?";
inline constexpr char kUpdateHeaderOnly[] = "update block set hdr=? where id=?";
inline constexpr char kDeleteBlock[] = "delete from block where id=?";
} // namespace sql

// A prepared statement that finalises itself.
class Stmt {
public:
    Stmt() = default;
    Stmt(sqlite3* db, const char* sql) { prepare(db, sql); }
    ~Stmt() { finalize(); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    int prepare(sqlite3* db, const char* sql) {
        finalize();
        return sqlite3_prepare_v2(db, sql, -1, &s_, nullptr);
    }
    int finalize() {
        int rc = SQLITE_OK;
        if (s_) rc = sqlite3_finalize(s_);
        s_ = nullptr;
        return rc;
    }
    explicit operator bool() const { return s_ != nullptr; }
    sqlite3_stmt* get() const { return s_; }

    int step() { return sqlite3_step(s_); }
    int reset() { return sqlite3_reset(s_); }
    int bindInt(int col, int v) { return sqlite3_bind_int(s_, col, v); }
    // A zero-length blob, never NULL, so that readers always get a blob.
    // The 64-bit call: a length beyond int is refused (SQLITE_TOOBIG), never cut.
    int bindBlob(int col, std::string_view b) {
        return sqlite3_bind_blob64(s_, col, b.empty() ? "" : b.data(),
                                   static_cast<sqlite3_uint64>(b.size()), SQLITE_TRANSIENT);
    }
    int bindText(int col, std::string_view utf8) {
        return sqlite3_bind_text64(s_, col, utf8.data(), static_cast<sqlite3_uint64>(utf8.size()),
                                   SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    int bindValue(int col, sqlite3_value* v) { return sqlite3_bind_value(s_, col, v); }

    sqlite3_int64 int64(int col) const { return sqlite3_column_int64(s_, col); }
    int integer(int col) const { return sqlite3_column_int(s_, col); }
    sqlite3_value* value(int col) const { return sqlite3_column_value(s_, col); }
    // The blob or text of a column without copying it (valid until the next step).
    std::string_view view(int col) const {
        const void* p = sqlite3_column_blob(s_, col);
        int n = sqlite3_column_bytes(s_, col);
        if (!p || n <= 0) return {};
        return {static_cast<const char*>(p), static_cast<size_t>(n)};
    }
    wxString text(int col) const {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, col));
        const int n = sqlite3_column_bytes(s_, col);
        return p ? fromUtf8(p, static_cast<size_t>(n)) : wxString();
    }

private:
    sqlite3_stmt* s_ = nullptr;
};

// An open SQLite file, closed when the connection goes.
class Connection {
public:
    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Connection(Connection&& o) noexcept : db_(std::exchange(o.db_, nullptr)) {}
    Connection& operator=(Connection&& o) noexcept {
        if (this != &o) {
            close();
            db_ = std::exchange(o.db_, nullptr);
        }
        return *this;
    }

    // SQLITE_OPEN_* flags; on failure nothing stays open.
    int open(const wxString& path, int flags);
    // SQLite's answer to closing (SQLITE_OK when the file was closed cleanly).
    int close();
    sqlite3* get() const { return db_; }
    explicit operator bool() const { return db_ != nullptr; }

    // One statement without results, with the log line of a failure.
    int exec(const char* sql) const;
    bool inTransaction() const { return db_ && !sqlite3_get_autocommit(db_); }
    int errcode() const { return db_ ? sqlite3_errcode(db_) : SQLITE_MISUSE; }
    wxString errmsg() const;
    void setBusyTimeout(int ms) const {
        if (db_) sqlite3_busy_timeout(db_, ms);
    }

private:
    sqlite3* db_ = nullptr;
};

// Runs `sql` (a statement without results) on `handle`; 0 when it succeeded,
// else SQLite's code, logged with the statement's failure.
int sql_exec(sqlite3* handle, const char* sql);

// The document's two tables, made inside the caller's transaction.
int createTables(const Connection& db);

// The whole committed database of `from` into `to` in one step of SQLite's
// online backup (under a read lock of `from`, so never in the middle of a
// write); SQLITE_OK, or SQLite's code of what failed.
int copyDatabase(sqlite3* from, sqlite3* to);

} // namespace qn
