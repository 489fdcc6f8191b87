// Living with other writers of the same file: the write lock a writer takes
// before it chooses new block ids, and noticing a change someone else made.
#include "store/database.h"

#include "store/safe_file.h"

#include <sqlite3.h>

#include <algorithm>

namespace qn {

namespace {

// Changes whenever another connection commits to the file; a connection's
// own commits leave it alone.
long long dataVersion(sqlite3* db) {
    long long v = -1;
    sqlite3_stmt* st = nullptr;
    if (db && sqlite3_prepare_v2(db, "pragma data_version", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}

} // namespace

bool Database::beginWrite() {
    if (!db_) return false;
    if (!sqlite3_get_autocommit(db_)) return true; // inside a transaction already
    if (sql_exec(db_, "begin immediate") != 0) {
        noteError("beginWrite", sqlite3_errcode(db_));
        return false;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "select max(id) from block", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        maxId_ = std::max(maxId_, sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    return true;
}

void Database::rememberFileState() {
    stateHandle_ = db_;
    stateVersion_ = dataVersion(db_);
}

bool Database::changedOnDisk() const {
    // Versions of different connections cannot be compared: a handle that
    // was not remembered counts as unchanged.
    if (!db_ || db_ != stateHandle_ || stateVersion_ < 0) return false;
    // A file that cannot be read now (another program holds it) is left to
    // the save, which reports that on its own.
    const long long now = dataVersion(db_);
    return now >= 0 && now != stateVersion_;
}

bool Database::moveToCopy(const wxString& newPath, wxString& why) {
    why.clear();
    if (!db_) {
        why = wxS("no document file is open");
        return false;
    }
    const wxString temp = newPath + wxS(".partial");
    if (!createEmptyLike(temp, wxString(), &why)) return false;
    // SQLite's online backup copies the file as committed, under a read lock.
    sqlite3* out = nullptr;
    int rc = sqlite3_open_v2(temp.utf8_str(), &out, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup* b = sqlite3_backup_init(out, "main", db_, "main");
        if (b) {
            rc = sqlite3_backup_step(b, -1);
            sqlite3_backup_finish(b);
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
        } else {
            rc = sqlite3_errcode(out);
        }
    }
    if (sqlite3_close(out) != SQLITE_OK && rc == SQLITE_OK) rc = SQLITE_IOERR;
    if (rc != SQLITE_OK) {
        why = sqliteReason(rc);
        removeWithJournal(temp);
        return false;
    }
    if (!renameIntoPlace(temp, newPath, &why)) {
        removeWithJournal(temp);
        return false;
    }
    forgetStatements();
    sqlite3_close(db_);
    db_ = nullptr;
    path_ = newPath;
    if (!reopen()) {
        why = wxS("the copy cannot be opened");
        return false;
    }
    rememberFileState();
    return true;
}

} // namespace qn
