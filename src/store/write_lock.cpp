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
    if (!db) return -1;
    Stmt st(db, sql::kDataVersion);
    return st && st.step() == SQLITE_ROW ? st.int64(0) : -1;
}

} // namespace

bool Database::beginWrite() {
    if (!db_) return false;
    if (db_.inTransaction()) return true; // inside a transaction already
    if (db_.exec(sql::kBeginImmediate) != 0) {
        noteError("beginWrite", db_.errcode());
        return false;
    }
    Stmt st(db_.get(), sql::kSelectMaxId);
    if (st && st.step() == SQLITE_ROW) maxId_ = std::max(maxId_, st.integer(0));
    return true;
}

void Database::rememberFileState() {
    stateHandle_ = db_.get();
    stateVersion_ = dataVersion(db_.get());
}

bool Database::fileMoved() const {
    if (!db_) return false;
    int moved = 0;
    return sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved != 0;
}

bool Database::changedOnDisk() const {
    // Deleted, or replaced by another file: what this window would write
    // could never be read again.
    if (fileMoved()) return true;
    // Versions of different connections cannot be compared: a handle that
    // was not remembered counts as unchanged.
    if (!db_ || db_.get() != stateHandle_ || stateVersion_ < 0) return false;
    // A file that cannot be read now (another program holds it) is left to
    // the save, which reports that on its own.
    const long long now = dataVersion(db_.get());
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
    Connection out;
    int rc = out.open(temp, SQLITE_OPEN_READWRITE);
    if (rc == SQLITE_OK) {
        sqlite3_backup* b = sqlite3_backup_init(out.get(), "main", db_.get(), "main");
        if (b) {
            rc = sqlite3_backup_step(b, -1);
            sqlite3_backup_finish(b);
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
        } else {
            rc = out.errcode();
        }
    }
    if (out.close() != SQLITE_OK && rc == SQLITE_OK) rc = SQLITE_IOERR;
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
    db_.close();
    path_ = newPath;
    if (!reopen()) {
        why = wxS("the copy cannot be opened");
        return false;
    }
    rememberFileState();
    return true;
}

} // namespace qn
