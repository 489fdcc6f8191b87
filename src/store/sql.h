// What the engine's source files share about SQLite: a statement that
// finalises itself and a zero-copy view of a blob.
#pragma once

#include <wx/string.h>

#include <sqlite3.h>

#include <string_view>

namespace qn {

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

private:
    sqlite3_stmt* s_ = nullptr;
};

// The blob of a column without copying it (valid until the next step).
inline std::string_view columnView(sqlite3_stmt* st, int col) {
    const void* p = sqlite3_column_blob(st, col);
    int n = sqlite3_column_bytes(st, col);
    if (!p || n <= 0) return {};
    return {static_cast<const char*>(p), static_cast<size_t>(n)};
}

} // namespace qn
