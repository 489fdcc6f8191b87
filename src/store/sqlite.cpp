#include "store/sqlite.h"

#include <wx/log.h>

#include <cstring>

namespace qn {

int Connection::open(const wxString& path, int flags) {
    close();
    const Bytes upath = toUtf8(path);
    sqlite3* db = nullptr;
    // A connection is only ever used by the thread that opened it: SQLite's
    // own locking of it would be paid on every call for nothing.
    const int rc = sqlite3_open_v2(upath.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        return rc;
    }
    db_ = db;
    return SQLITE_OK;
}

int Connection::close() {
    if (!db_) return SQLITE_OK;
    const int rc = sqlite3_close(db_);
    db_ = nullptr;
    return rc;
}

wxString Connection::errmsg() const {
    return db_ ? wxString::FromUTF8(sqlite3_errmsg(db_)) : wxString();
}

int Connection::exec(const char* sql) const {
    return sql_exec(db_, sql);
}

int sql_exec(sqlite3* handle, const char* sql) {
    // A failed commit (a full disk) may have ended the transaction already;
    // rolling back then would only add a second, misleading failure.
    if (std::strcmp(sql, sql::kRollback) == 0 && handle && sqlite3_get_autocommit(handle)) return 0;
    const auto reason = [handle] {
        return handle ? wxString::FromUTF8(sqlite3_errmsg(handle)) : wxString();
    };
    Stmt st;
    int rc = st.prepare(handle, sql);
    if (rc != SQLITE_OK) {
        wxLogMessage(wxS("Database::sql_exec prepare %d: %s"), rc, reason());
        return rc;
    }
    rc = st.step();
    st.finalize();
    if (rc != SQLITE_DONE) {
        wxLogMessage(wxS("Database::sql_exec step %d: %s"), rc, reason());
        // SQLite logs failures inside statements, not those of a commit;
        // whoever watches its log (the reason shown for a failed write)
        // learns of both.
        sqlite3_log(sqlite3_extended_errcode(handle), "%s failed", sql);
        return rc;
    }
    return 0;
}

int createTables(const Connection& db) {
    int rc = db.exec(sql::kCreateProject);
    if (rc == 0) rc = db.exec(sql::kCreateBlock);
    return rc;
}

int copyDatabase(sqlite3* from, sqlite3* to) {
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup) return sqlite3_errcode(to);
    const int rc = sqlite3_backup_step(backup, -1);
    const int finish = sqlite3_backup_finish(backup);
    return rc != SQLITE_DONE ? rc : finish;
}

} // namespace qn
