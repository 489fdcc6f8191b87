// Writing a document: the save (one transaction), a new file, a copy.
#include "store/database.h"
#include "store/safe_file.h"

#include <wx/filename.h>
#include <wx/log.h>

#include <set>

namespace qn {

bool Database::createFile(const wxString& path, Connection& out, wxString& why,
                          const wxString& like) {
    out.close();
    // An empty file with the mode of `like` (a copy of a private document
    // stays private); SQLite takes an empty file for a new database.
    if (!createEmptyLike(path, like, &why)) return false;
    Connection db;
    if (int rc = db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE); rc != SQLITE_OK) {
        why = sqliteReason(rc);
        return false;
    }
    int rc = db.exec(sql::kBegin);
    if (rc == 0) rc = createTables(db);
    if (rc == 0) rc = db.exec(sql::kCommit);
    if (rc != 0) {
        why = sqliteReason(rc); // in words, not SQLite's own
        db.close();
        wxLogNull quiet;
        wxRemoveFile(path);
        return false;
    }
    db.setBusyTimeout(busyTimeout_);
    out = std::move(db);
    return true;
}

bool Database::saveProject() {
    setString(K_s, timeStamp());
    if (db_.exec(sql::kDeleteProject) != 0) return false;
    Stmt st;
    if (st.prepare(db_.get(), sql::kInsertProject) != SQLITE_OK) {
        wxLogMessage(wxS("Database::sql_prepare %d: %s"), db_.errcode(), db_.errmsg());
        return false;
    }
    bool ok = true;
    auto insert = [&](const wxString& name, const wxString& value) {
        if (!ok) return;
        st.reset();
        int rc = st.bindText(1, toUtf8(name));
        if (rc == SQLITE_OK) rc = st.bindText(2, toUtf8(value));
        if (rc == SQLITE_OK) rc = st.step();
        if (rc != SQLITE_DONE) {
            wxLogMessage(wxS("Database::saveProject %d"), rc);
            noteError("saveProject", rc);
            ok = false;
        }
    };
    for (const auto& [code, value] : project_) {
        wxString name = keyNameOf(code);
        if (!name.empty()) insert(name, value);
    }
    for (const auto& [name, value] : unknown_)
        insert(name, value);
    return ok;
}

bool Database::execDeleteBlocks() {
    if (deleted_.empty()) return true;
    Stmt st;
    if (st.prepare(db_.get(), sql::kDeleteBlock) != SQLITE_OK) {
        wxLogMessage(wxS("Database::sql_prepare %d: %s"), db_.errcode(), db_.errmsg());
        return false;
    }
    for (const auto& b : deleted_) {
        st.reset();
        st.bindInt(1, b->id_);
        int rc = st.step();
        if (rc != SQLITE_DONE) {
            // The first failure ends the save: after a full disk SQLite may
            // have rolled the transaction back, and every later statement
            // would commit on its own.
            wxLogMessage(wxS("Database::exec_delete_blocks %d"), rc);
            noteError("deleteBlocks", rc,
                      wxString::Format(wxS("block %d could not be removed: %s"), b->id_,
                                       sqliteReason(rc)));
            return false;
        }
    }
    return true;
}

bool Database::writeBlockRow(Block& block, const Bytes& hdr, const Bytes* body,
                             const BlockCipher* cipher) {
    int attr = (block.compressed_ ? ATTR_COMPRESSED : 0) | (cipher ? ATTR_ENCRYPTED : 0) |
               (block.excluded_ ? ATTR_EXCLUDED : 0);
    const bool insert = block.dirty_ & DIRTY_NEW;
    const char* what = insert ? "insert" : "update";
    Stmt st;
    int rc;
    if (insert)
        rc = st.prepare(db_.get(), sql::kInsertBlock);
    else if (body)
        rc = st.prepare(db_.get(), sql::kUpdateBlock);
    else
        rc = st.prepare(db_.get(), sql::kUpdateHeader);
    // Every bind is checked: a blob SQLite refuses must fail the save, not
    // leave the column empty.
    int col = 1;
    auto bindInt = [&](int v) {
        if (rc == SQLITE_OK) rc = st.bindInt(col++, v);
    };
    auto bindBytes = [&](const Bytes& b) {
        if (rc == SQLITE_OK) rc = st.bindBlob(col++, b);
    };
    if (insert) {
        bindInt(block.id_);
        bindInt(block.type_);
        bindInt(attr);
        bindBytes(hdr);
        bindBytes(body ? *body : Bytes());
    } else {
        bindInt(attr);
        bindBytes(hdr);
        if (body) bindBytes(*body);
        bindInt(block.id_);
    }
    if (rc == SQLITE_OK) rc = st.step();
    if (rc != SQLITE_DONE) {
        wxLogMessage(wxS("Database::saveOneBlock %s %d"), wxString::FromAscii(what), rc);
        noteError("saveOneBlock", rc,
                  wxString::Format(wxS("block %d could not be written: %s"), block.id_,
                                   sqliteReason(rc)));
        return false;
    }
    // An update that found no row wrote nothing: another program removed the
    // block, and the edit would be lost while the save claims success.
    if (!insert && sqlite3_changes(db_.get()) == 0) {
        wxLogMessage(wxS("Database::saveOneBlock update %d: block %d is missing"), SQLITE_NOTFOUND,
                     block.id_);
        noteError("saveOneBlock", SQLITE_NOTFOUND,
                  wxString::Format(wxS("block %d is no longer in the file (another program "
                                       "changed the document)"),
                                   block.id_));
        return false;
    }
    return true;
}

bool Database::saveOneBlock(Block& block) {
    int d = block.dirty_ & (DIRTY_HEADER | DIRTY_BODY | DIRTY_NEW);
    if (d == 0) return true;
    if (block.type_ != BT_NODE && block.type_ != BT_OBJECT && !(d & DIRTY_NEW))
        return true; // rows of unknown kinds are never rewritten
    if (!block.ensureHeader()) return false;
    if (d == DIRTY_HEADER) {
        // Header-only change: keep the time of the last body change before ";".
        std::string_view prev;
        block.attrs_->get(K_s, prev);
        prev = prev.substr(0, 19); // the stamps are ASCII
        const Bytes now = toUtf8(timeStamp());
        block.attrs_->set(K_s, prev.empty() ? now : Bytes(prev) + ";" + now);
        Bytes hdr = encodeHeader(*block.attrs_, cipher_.get(), {block.id_, block.type_});
        // An article kept in a file of its own has no body in the document:
        // a node just linked to a file drops the text it held.
        if (block.type_ == BT_NODE && block.attrs_->has(K_url)) {
            Bytes none;
            if (cipher_) cipher_->seal(none, CipherPart::Body, {block.id_, block.type_});
            block.compressed_ = false; // nothing stored, nothing to inflate
            return writeBlockRow(block, hdr, &none, cipher_.get());
        }
        return writeBlockRow(block, hdr, nullptr, cipher_.get());
    }
    if (block.damaged_ && !(d & DIRTY_BODY) && !(d & DIRTY_NEW)) {
        // The stored body could not be read whole: leave those bytes alone.
        Bytes hdr = encodeHeader(*block.attrs_, cipher_.get(), {block.id_, block.type_});
        return writeBlockRow(block, hdr, nullptr, cipher_.get());
    }
    // The body first, so that the header carries its size.
    if (block.bodyFailed_ && !block.body_) return false;
    Bytes body = block.encodeBody(cipher_.get(), getInt(K_comp) != 0);
    Bytes hdr = encodeHeader(*block.attrs_, cipher_.get(), {block.id_, block.type_});
    return writeBlockRow(block, hdr, &body, cipher_.get());
}

void Database::clearAfterWrite() {
    projectDirty_ = false;
    deleted_.clear();
}

bool Database::writeAll(bool& yesToAll) {
    // The write lock first, so that another writer waits instead of failing
    // halfway; a caller of beginWrite() holds it already.
    if (!db_.inTransaction() && db_.exec(sql::kBeginImmediate) != 0) {
        noteError("save", db_.errcode());
        return false;
    }
    // Under the lock: nothing is written over another program's change.
    if (!checkUnchanged("save")) return false;
    bool ok = true;
    if (projectDirty_ && !saveProject()) ok = false;
    if (ok && !execDeleteBlocks()) ok = false;
    // Blocks whose external file could not be written keep their edits.
    std::set<int> unwritten;
    for (int id : touched_) {
        if (!ok) break;
        Block* bp = findBlock(id);
        if (!bp) continue;
        Block& b = *bp;
        if (b.attrs_ && (b.dirty_ & DIRTY_BODY) && b.type_ == BT_NODE) {
            wxString url = b.getString(K_url);
            // A stand-in for a file that could not be read is never written over it.
            const Block::UrlWrite w = !url.empty() && b.getString(K_sz) != wxS("-1")
                                          ? b.writeUrl(url, yesToAll)
                                          : Block::URL_WRITTEN;
            if (w == Block::URL_FAILED) unwritten.insert(id);
            if (w == Block::URL_CANCELLED) {
                // Nothing of this save is written; every edit stays.
                noteError("cancel", 0, wxS("the save was cancelled"));
                ok = false;
                break;
            }
        }
        if (!saveOneBlock(b)) ok = false;
    }
    if (ok && db_.exec(sql::kCommit) == 0) {
        for (int id : touched_) {
            Block* bp = findBlock(id);
            if (!bp) continue;
            if (unwritten.count(id)) {
                bp->dirty_ = DIRTY_BODY;
                continue;
            }
            bp->dirty_ = 0;
            bp->encrypted_ = cipher_ != nullptr;
            bp->freeBody();
        }
        const int failed = static_cast<int>(unwritten.size());
        touched_ = std::move(unwritten);
        clearAfterWrite();
        if (failed) {
            wxLogMessage(wxS("Database::save: %d external article file(s) could not be written"),
                         failed);
            noteError(
                "writeToUrl", 0,
                wxString::Format(wxS("%d external article file(s) could not be written"), failed));
        }
        return failed == 0;
    }
    if (!error_) noteError("save", db_.errcode());
    // SQLite may have rolled back already (a full disk): then there is
    // nothing to end, and a rollback would only report "no transaction".
    if (!transactionLost()) db_.exec(sql::kRollback);
    return false;
}

bool Database::save() {
    clearError();
    prefetched_ = Prefetched(); // a row read before this save may be stale after it
    releaseReaders();
    if (!(isNew_ || db_) || path_.empty()) {
        noteError("save", SQLITE_MISUSE, wxS("no document file is open"));
        return false;
    }
    if (isNew_) {
        wxString why;
        if (!createFile(path_, db_, why)) {
            noteError("save", SQLITE_CANTOPEN, why);
            return false;
        }
        isNew_ = false;
        rememberFileState();
    } else if (fileMoved()) {
        // The open handle would still write into the old file, which nobody
        // could ever read again.
        noteError("save", SQLITE_READONLY,
                  wxS("the file was deleted or replaced by another program"));
        return false;
    }
    bool yesToAll = false;
    return writeAll(yesToAll);
}

namespace {
// Copies every row of `select` into `insert`, values as stored (an id is
// never cut to 32 bits), in one transaction of `out`.  0, or the result of
// the first step that failed (the reason for the user: what a later commit
// or rollback reports says nothing about it).
int copyRows(sqlite3* from, const Connection& out, const char* select, const char* insert,
             int columns) {
    if (const int rc = out.exec(sql::kBegin)) return rc;
    Stmt rd(from, select);
    Stmt wr(out.get(), insert);
    int failed = rd && wr ? 0 : SQLITE_ERROR;
    int rc = SQLITE_DONE;
    while (!failed && (rc = rd.step()) == SQLITE_ROW) {
        wr.reset();
        for (int c = 0; c < columns; ++c)
            wr.bindValue(c + 1, rd.value(c));
        if (const int w = wr.step(); w != SQLITE_DONE) failed = w;
    }
    if (!failed && rc != SQLITE_DONE) failed = rc;
    if (failed) {
        out.exec(sql::kRollback); // nothing when SQLite has ended the transaction itself
        return failed;
    }
    return out.exec(sql::kCommit);
}
} // namespace

bool Database::copyTo(const wxString& newPath) {
    if (!(isNew_ || db_) || path_.empty()) return false;
    if (!save()) return false;
    Connection out;
    wxString why;
    if (!createFile(newPath, out, why, path_)) {
        noteError("copyTo", 0, newPath + wxS(" could not be created: ") + why);
        return false;
    }
    int rc = copyRows(db_.get(), out, sql::kSelectProject, sql::kInsertProject, 2);
    if (rc == 0) rc = copyRows(db_.get(), out, sql::kSelectAllBlocks, sql::kInsertBlock, 5);
    bool ok = rc == 0;
    if (!ok) noteError("copyTo", rc);
    ok = (out.close() == SQLITE_OK) && ok;
    if (!ok) {
        if (!error_) noteError("copyTo", 0, newPath + wxS(" could not be completed"));
        // An incomplete copy is worse than none; the document stays open.
        wxLogNull quiet;
        wxRemoveFile(newPath);
        return false;
    }
    forgetStatements();
    db_.close();
    deleted_.clear();
    return true;
}

bool Database::reopen() {
    if (db_) return true;
    if (!wxFileName::FileExists(path_)) return false;
    if (int rc = db_.open(path_, SQLITE_OPEN_READWRITE); rc != SQLITE_OK) {
        wxLogMessage(wxS("Database::reopen %d"), rc);
        return false;
    }
    db_.setBusyTimeout(busyTimeout_);
    isNew_ = false;
    return true;
}

Database::Compact Database::compact(bool keepBackup, wxString& why, int waitMs) {
    why.clear();
    if (!db_ || isNew_) {
        why = wxS("no document file is open");
        return Compact::CannotReplace;
    }
    const wxString original = path_;
    // No statement of ours may hold a read lock while this waits for
    // another optimize: that one's rebuild would wait for us in turn.
    forgetStatements();
    const OptimizeGuard guard(original, waitMs);
    if (guard.busy()) {
        why = wxS("another program is optimizing the document at this moment");
        return Compact::CannotReplace;
    }
    // What a killed run left goes first; a file that cannot be rewritten is
    // found before anything is done.
    clearOptimizeLeftovers(original);
    why = replaceProblem(original);
    if (!why.empty()) return Compact::CannotReplace;
    if (isModified() && !save()) {
        why = error_.message;
        return Compact::CopyFailed;
    }
    if (keepBackup) {
        const wxString temp = optimizeBackupTempPath(original);
        wxString bakWhy;
        if (!snapshotTo(temp, bakWhy)) {
            removeWithJournal(temp);
            why = wxS("the backup cannot be made: ") + bakWhy;
            return Compact::InstallFailed;
        }
        if (!renameIntoPlace(temp, optimizeBackupPath(original), &bakWhy)) {
            removeWithJournal(temp);
            why = wxS("the backup cannot be kept: ") + bakWhy;
            return Compact::InstallFailed;
        }
    }
    // The file is rebuilt in place, inside one transaction under SQLite's
    // own write lock: another program's writer waits for it and then writes
    // into the compacted file, and one that committed before is part of
    // it.  Replacing the file by a copy instead would lose any commit made
    // between the copy and the rename, and every program that has the file
    // open would go on writing into the old, unlinked one.  A failure (a
    // full disk) rolls back through the journal: the file stays as it was.
    forgetStatements();
    const int rc = db_.exec(sql::kVacuum);
    if (rc != SQLITE_OK) {
        noteError("compact", rc,
                  wxS("the document could not be compacted: ") + sqliteReason(rc));
        why = sqliteReason(rc);
        return Compact::CopyFailed;
    }
    return Compact::Done;
}

wxString Database::storedVersion(const wxString& path) {
    Connection db;
    if (db.open(path, SQLITE_OPEN_READONLY) != SQLITE_OK) return wxString();
    Stmt st(db.get(), sql::kSelectVersion);
    return st && st.step() == SQLITE_ROW ? st.text(0) : wxString();
}

} // namespace qn
