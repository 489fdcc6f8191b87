// Living with other writers of the same file: the write lock a writer takes
// before it chooses new block ids, and noticing a change someone else made.
#include "store/database.h"

#include "store/safe_file.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>

namespace qn {

namespace {

// Changes whenever another connection commits to the file; a connection's
// own commits leave it alone.
long long dataVersion(sqlite3* db) {
    if (!db) return -1;
    Stmt st(db, sql::kDataVersion);
    return st && st.step() == SQLITE_ROW ? st.int64(0) : -1;
}

// The settings a document's cipher is made from and checked against: when
// one of them changes, blocks sealed by another program need another key.
constexpr int kProtectionKeys[] = {K_dbid, K_c, K_c_algo, K_pwd, K_c_salt, K_c_ops, K_c_mem};

} // namespace

Database::WriteStart Database::beginWrite(Reload reload) {
    if (!db_) {
        noteError("beginWrite", SQLITE_MISUSE, wxS("no document file is open"));
        return WriteStart::Failed;
    }
    if (db_.inTransaction()) return WriteStart::Ready; // inside a transaction already
    if (db_.exec(sql::kBeginImmediate) != 0) {
        noteError("beginWrite", db_.errcode());
        return WriteStart::Failed;
    }
    WriteStart result = WriteStart::Ready;
    if (changedOnDisk()) {
        // Another program committed since this document was read.  Nothing
        // may be written from what is in memory: only a document without
        // changes of its own can read the file again, here, under the lock.
        if (reload == Reload::Never || isModified() || fileMoved()) {
            refuseStaleWrite("beginWrite");
            return WriteStart::Failed;
        }
        if (!reloadUnderLock()) {
            db_.exec(sql::kRollback);
            return WriteStart::Failed;
        }
        result = WriteStart::Reloaded;
    }
    Stmt st(db_.get(), sql::kSelectMaxId);
    if (st && st.step() == SQLITE_ROW) maxId_ = std::max(maxId_, st.integer(0));
    return result;
}

bool Database::reloadUnderLock() {
    std::vector<wxString> protectionWas;
    for (int code : kProtectionKeys)
        protectionWas.push_back(getString(code));
    forgetStatements();
    blocks_.clear();
    touched_.clear();
    deleted_.clear();
    objectCursor_ = 0;
    indexPending_ = false;
    int prepared = SQLITE_OK;
    int rc = readProject(&prepared);
    if (prepared != SQLITE_OK) rc = prepared;
    if (rc == SQLITE_OK) rc = readIndex(&prepared);
    if (prepared != SQLITE_OK) rc = prepared;
    if (rc != SQLITE_OK && rc != SQLITE_DONE) {
        // Half a document must never be written back: the caller stops.
        noteError("beginWrite", rc);
        project_.clear();
        unknown_.clear();
        blocks_.clear();
        cipher_.reset();
        return false;
    }
    projectDirty_ = false;
    // A cipher made for other settings would seal with the wrong key.
    for (size_t i = 0; i < protectionWas.size(); ++i)
        if (getString(kProtectionKeys[i]) != protectionWas[i]) cipher_.reset();
    if (!blocks_.empty()) maxId_ = std::max(maxId_, blocks_.rbegin()->first);
    rememberFileState();
    return true;
}

void Database::refuseStaleWrite(const char* operation) {
    db_.exec(sql::kRollback);
    noteError(operation, SQLITE_BUSY, kChangedByAnotherProgram);
}

bool Database::checkUnchanged(const char* operation) {
    if (!changedOnDisk()) return true;
    refuseStaleWrite(operation);
    return false;
}

bool Database::mergeKeys(const std::vector<int>& projectKeys,
                         const std::vector<int>& headerKeys) {
    clearError();
    if (!db_ || isNew_ || !deleted_.empty()) return false;
    std::vector<Block*> headers;
    for (int id : touched_) {
        Block* b = findBlock(id);
        if (!b || !b->dirty_) continue;
        if (b->dirty_ != DIRTY_HEADER || !b->attrs_) return false;
        headers.push_back(b);
    }
    if (!db_.inTransaction() && db_.exec(sql::kBeginImmediate) != 0) {
        noteError("mergeKeys", db_.errcode());
        return false;
    }
    bool ok = protectionHolds(0);
    if (ok && projectDirty_) {
        Stmt del(db_.get(), sql::kDeleteProjectKey), ins(db_.get(), sql::kInsertProject);
        ok = del && ins;
        for (int code : projectKeys) {
            if (!ok) break;
            const Bytes name = toUtf8(keyNameOf(code));
            del.reset();
            ok = del.bindText(1, name) == SQLITE_OK && del.step() == SQLITE_DONE;
            auto it = project_.find(code);
            if (!ok || it == project_.end()) continue;
            ins.reset();
            ok = ins.bindText(1, name) == SQLITE_OK &&
                 ins.bindText(2, toUtf8(it->second)) == SQLITE_OK && ins.step() == SQLITE_DONE;
        }
    }
    Stmt update(db_.get(), sql::kUpdateHeaderOnly);
    ok = ok && update;
    for (Block* b : headers) {
        if (!ok) break;
        Bytes raw;
        const ReadResult r = readRaw(headStmt_, sql::kSelectHeader, b->id_, raw, SIZE_MAX);
        if (r == READ_MISSING) continue; // the other program removed the block
        if (r == READ_FAILED) {
            ok = false;
            break;
        }
        HeaderValues now;
        if (!decodeHeaderValues(std::move(raw), cipher_.get(), {b->id_, b->type_}, now)) {
            // Nothing is merged into a header that does not open.
            noteError("mergeKeys", SQLITE_CORRUPT,
                      wxString::Format(wxS("block %d is damaged: its stored header does not "
                                           "open with the document's key"),
                                       b->id_));
            ok = false;
            break;
        }
        for (int code : headerKeys) {
            std::string_view mine;
            if (b->attrs_->get(code, mine))
                now.set(code, mine);
            else
                now.erase(code);
        }
        update.reset();
        ok = update.bindBlob(1, encodeHeader(now, cipher_.get(), {b->id_, b->type_})) == SQLITE_OK &&
             update.bindInt(2, b->id_) == SQLITE_OK && update.step() == SQLITE_DONE;
    }
    if (ok && db_.exec(sql::kCommit) == 0) {
        for (Block* b : headers)
            b->dirty_ = 0;
        projectDirty_ = false;
        return true;
    }
    if (!error_) noteError("mergeKeys", db_.errcode());
    if (!transactionLost()) db_.exec(sql::kRollback);
    return false;
}

bool Database::transactionLost() const {
    return !db_.inTransaction();
}

void Database::rememberFileState() {
    stateHandle_ = db_.get();
    stateVersion_ = dataVersion(db_.get());
    protectionCheckedAt_ = stateVersion_;
    protectionSame_ = true;
}

bool Database::protectionHolds(int id) {
    if (!db_ || stateHandle_ != db_.get() || stateVersion_ < 0) return true;
    if (!versionStmt_ && versionStmt_.prepare(db_.get(), sql::kDataVersion) != SQLITE_OK) {
        versionStmt_.finalize();
        return true; // the read that follows reports a file it cannot read
    }
    const long long now = versionStmt_.step() == SQLITE_ROW ? versionStmt_.int64(0) : -1;
    versionStmt_.reset();
    if (now < 0 || now == protectionCheckedAt_) {
        if (protectionSame_) return true;
    } else {
        // Someone committed: read the protection settings as they are now.
        std::map<int, wxString> onDisk;
        Stmt st(db_.get(), sql::kSelectProject);
        int rc = SQLITE_ERROR;
        while (st && (rc = st.step()) == SQLITE_ROW) {
            const int code = keyCodeOf(st.text(0));
            if (std::find(std::begin(kProtectionKeys), std::end(kProtectionKeys), code) !=
                std::end(kProtectionKeys))
                onDisk[code] = st.text(1);
        }
        if (rc != SQLITE_DONE) return true; // the read that follows reports it
        protectionCheckedAt_ = now;
        protectionSame_ = true;
        for (int code : kProtectionKeys) {
            auto it = project_.find(code);
            const wxString mine = it == project_.end() ? wxString() : it->second;
            if (onDisk[code] != mine) protectionSame_ = false;
        }
        if (protectionSame_) return true;
    }
    noteError("read", SQLITE_BUSY,
              wxString::Format(wxS("block %d was not read: another program changed the "
                                   "document's password or protection after it was opened here; "
                                   "close the document and open it again"),
                               id));
    return false;
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

bool Database::snapshotTo(const wxString& path, wxString& why) {
    if (!createEmptyLike(path, path_, &why)) return false;
    // SQLite's online backup copies the file as committed, under a read lock.
    Connection out;
    int rc = out.open(path, SQLITE_OPEN_READWRITE);
    if (rc == SQLITE_OK) rc = copyDatabase(db_.get(), out.get());
    if (out.close() != SQLITE_OK && rc == SQLITE_OK) rc = SQLITE_IOERR;
    if (rc != SQLITE_OK) {
        why = sqliteReason(rc);
        return false;
    }
    return true;
}

bool Database::moveToCopy(const wxString& newPath, wxString& why) {
    why.clear();
    if (!db_) {
        why = wxS("no document file is open");
        return false;
    }
    const wxString temp = newPath + wxS(".partial");
    if (!snapshotTo(temp, why)) {
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
