// Recovery files: the unsaved edits of a document kept in a file of their
// own, so that a session that ends without a save (logout, kill, power cut)
// loses at most the typing since the last one was written.
#include "store/database.h"
#include "store/safe_file.h"

#include <wx/filename.h>
#include <wx/log.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

namespace qn {

namespace {

constexpr char kCreateRecovery[] = "create table recovery (name TEXT PRIMARY KEY, value TEXT)";
constexpr char kInsertRecovery[] = "insert or replace into recovery values (?, ?)";
constexpr char kSelectRecovery[] = "select name, value from recovery";
constexpr char kReplaceBlock[] = "insert or replace into block values (?, ?, ?, ?, ?)";
constexpr char kSelectRecoveredRow[] = "select type, attr, hdr, body from block where id=?";

// Device, inode, size and modification time of a file: any commit by
// anyone changes it.  "" when the file cannot be examined.
wxString fileFingerprint(const wxString& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.fn_str(), &st) != 0) return wxString();
    return wxString::Format(
        wxS("%llu:%llu:%lld:%lld.%09ld"), static_cast<unsigned long long>(st.st_dev),
        static_cast<unsigned long long>(st.st_ino), static_cast<long long>(st.st_size),
        static_cast<long long>(st.st_mtim.tv_sec), static_cast<long>(st.st_mtim.tv_nsec));
}

// A new empty file only its owner can read: notes are private.
bool createPrivateFile(const wxString& path, wxString& why) {
    removeWithJournal(path);
    const int fd = ::open(path.fn_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = errnoReason(errno);
        return false;
    }
    ::close(fd);
    return true;
}

wxString joinIds(const std::vector<int>& ids) {
    wxString out;
    for (int id : ids) {
        if (!out.empty()) out << wxS(",");
        out << id;
    }
    return out;
}

std::vector<int> splitIds(const wxString& text) {
    std::vector<int> out;
    for (const wxString& part : wxSplit(text, ',', 0)) {
        long v = 0;
        if (part.ToLong(&v) && v > 0 && v <= INT32_MAX) out.push_back(static_cast<int>(v));
    }
    return out;
}

// One block row as the recovery file stores it.
struct Row {
    int id = 0;
    int type = 0;
    int attr = 0;
    Bytes hdr;
    Bytes body;
    bool withBody = false; // false: the stored body stays as it is
};

} // namespace

struct RecoverySnapshot::Data {
    wxString document;         // "" for a never-saved document
    bool fromFile = false;     // a copy of the file goes first
    bool stale = false;        // the file changed under the window's edits
    sqlite3* source = nullptr; // copy through this connection (its own thread only)
    bool withProject = false;
    std::vector<std::pair<wxString, wxString>> project;
    std::vector<Row> rows;
    std::vector<int> bodies, headers, gone;
};

RecoverySnapshot::RecoverySnapshot() : d_(std::make_unique<Data>()) {}
RecoverySnapshot::~RecoverySnapshot() = default;

std::unique_ptr<RecoverySnapshot> Database::recoverySnapshot(const PendingArticle* pending,
                                                             wxString& why) {
    why.clear();
    if (!isOpen()) {
        why = wxS("no document is open");
        return nullptr;
    }
    const int pendingId = pending ? pending->nodeId : 0;
    if (pendingId) {
        Block* shown = findBlock(pendingId);
        if (!shown || !shown->ensureHeader()) {
            why = error_ ? error_.message : wxString(wxS("the edited note cannot be read"));
            return nullptr;
        }
    }
    auto snap = std::make_unique<RecoverySnapshot>();
    RecoverySnapshot::Data& d = *snap->d_;
    d.fromFile = !isNew_ && db_;
    d.document = isNew_ ? wxString() : path_;
    d.stale = d.fromFile && changedOnDisk();
    // The rows a save would write, encoded and enciphered as it would; bodies
    // are stored uncompressed (the reader honours the flag either way).
    const BlockCipher* cipher = cipher_.get();
    auto addRow = [&](const Block& b, const HeaderValues& attrs, const Bytes* body) {
        Row r;
        r.id = b.id_;
        r.type = b.type_;
        r.hdr = encodeHeader(attrs, cipher, {b.id_, b.type_});
        if (body) {
            r.body = *body;
            if (cipher) cipher->seal(r.body, CipherPart::Body, {b.id_, b.type_});
            r.withBody = true;
        }
        r.attr = (!r.withBody && b.compressed_ ? ATTR_COMPRESSED : 0) |
                 (cipher ? ATTR_ENCRYPTED : 0) | (b.excluded_ ? ATTR_EXCLUDED : 0);
        (r.withBody ? d.bodies : d.headers).push_back(r.id);
        d.rows.push_back(std::move(r));
    };
    for (int id : touched_) {
        auto it = blocks_.find(id);
        if (it == blocks_.end()) continue;
        const Block& b = *it->second;
        if (!b.attrs_ || id == pendingId) continue;
        const int dirty = b.dirty_ & (DIRTY_HEADER | DIRTY_BODY | DIRTY_NEW);
        if (dirty == 0) continue;
        const bool withBody =
            (dirty & (DIRTY_BODY | DIRTY_NEW)) && !(b.damaged_ && !(dirty & DIRTY_BODY));
        static const Bytes none;
        addRow(b, *b.attrs_, withBody ? (b.body_ ? &b.body_->bytes : &none) : nullptr);
    }
    if (pendingId) {
        const Block& b = *blocks_.find(pendingId)->second;
        HeaderValues attrs = *b.attrs_;
        const Bytes text = toUtf8(pending->text);
        attrs.set(K_sz, std::to_string(text.size()));
        attrs.set(K_s, toUtf8(timeStamp()));
        addRow(b, attrs, &text);
    }
    for (const auto& b : deleted_)
        d.gone.push_back(b->id_);
    d.withProject = projectDirty_ || !d.fromFile;
    if (d.withProject) {
        for (const auto& [code, value] : project_) {
            const wxString name = keyNameOf(code);
            if (!name.empty()) d.project.emplace_back(name, value);
        }
        for (const auto& entry : unknown_)
            d.project.push_back(entry);
    }
    return snap;
}

bool Database::writeRecovery(const wxString& path, const PendingArticle* pending, wxString& why) {
    std::unique_ptr<RecoverySnapshot> snap = recoverySnapshot(pending, why);
    if (!snap) return false;
    // Through this document's own connection, which still reads the file it
    // opened even when another program replaced or deleted it since.
    snap->d_->source = db_.get();
    return snap->write(path, why);
}

namespace {

// Copies the committed file a step at a time, so that a save of the
// document in between waits for one step only (the copy then starts again
// from the new state).
int copyDocument(sqlite3* from, sqlite3* to) {
    sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
    if (!b) return sqlite3_errcode(to);
    int rc;
    int waits = 0;
    while ((rc = sqlite3_backup_step(b, 256)) == SQLITE_OK || rc == SQLITE_BUSY ||
           rc == SQLITE_LOCKED) {
        if (rc != SQLITE_OK) {
            if (++waits > 500) break; // held by another writer for ten seconds
            sqlite3_sleep(20);
        }
    }
    sqlite3_backup_finish(b);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

} // namespace

bool RecoverySnapshot::write(const wxString& path, wxString& why) const {
    why.clear();
    const Data& d = *d_;
    const wxString temp = path + wxS(".partial");
    if (!createPrivateFile(temp, why)) return false;
    Connection out;
    int rc = out.open(temp, SQLITE_OPEN_READWRITE);
    wxString base;
    if (rc == SQLITE_OK && d.fromFile) {
        const wxString before = fileFingerprint(d.document);
        Connection own;
        sqlite3* source = d.source;
        if (!source) {
            rc = own.open(d.document, SQLITE_OPEN_READONLY);
            own.setBusyTimeout(200);
            source = own.get();
        }
        if (rc == SQLITE_OK) rc = copyDocument(source, out.get());
        // Edits made over a file someone else changed, or a file that
        // changed while it was copied, never go back into it unasked.
        if (!d.stale && !before.empty() && before == fileFingerprint(d.document)) base = before;
    }
    bool ok = rc == SQLITE_OK && out.exec(sql::kBegin) == 0;
    if (ok && !d.fromFile) ok = createTables(out) == 0;
    if (ok && d.withProject) {
        ok = out.exec(sql::kDeleteProject) == 0;
        Stmt st(out.get(), sql::kInsertProject);
        for (const auto& [name, value] : d.project) {
            if (!ok) break;
            st.reset();
            ok = st && st.bindText(1, toUtf8(name)) == SQLITE_OK &&
                 st.bindText(2, toUtf8(value)) == SQLITE_OK && st.step() == SQLITE_DONE;
        }
    }
    if (ok && !d.gone.empty()) {
        Stmt st(out.get(), sql::kDeleteBlock);
        for (int id : d.gone) {
            st.reset();
            ok = ok && st && st.bindInt(1, id) == SQLITE_OK && st.step() == SQLITE_DONE;
        }
    }
    if (ok) {
        Stmt replace(out.get(), kReplaceBlock);
        Stmt header(out.get(), sql::kUpdateHeader);
        for (const Row& r : d.rows) {
            if (!ok) break;
            Stmt& st = r.withBody ? replace : header;
            st.reset();
            int brc = st ? SQLITE_OK : SQLITE_ERROR;
            int col = 1;
            if (r.withBody) {
                if (brc == SQLITE_OK) brc = st.bindInt(col++, r.id);
                if (brc == SQLITE_OK) brc = st.bindInt(col++, r.type);
                if (brc == SQLITE_OK) brc = st.bindInt(col++, r.attr);
                if (brc == SQLITE_OK) brc = st.bindBlob(col++, r.hdr);
                if (brc == SQLITE_OK) brc = st.bindBlob(col++, r.body);
            } else {
                if (brc == SQLITE_OK) brc = st.bindInt(col++, r.attr);
                if (brc == SQLITE_OK) brc = st.bindBlob(col++, r.hdr);
                if (brc == SQLITE_OK) brc = st.bindInt(col++, r.id);
            }
            ok = brc == SQLITE_OK && st.step() == SQLITE_DONE;
        }
    }
    if (ok) ok = out.exec(kCreateRecovery) == 0;
    if (ok) {
        Stmt st(out.get(), kInsertRecovery);
        const std::pair<const char*, wxString> values[] = {
            {"document", d.document},
            {"base", base},
            {"written", timeStamp()},
            {"bodies", joinIds(d.bodies)},
            {"headers", joinIds(d.headers)},
            {"deleted", joinIds(d.gone)},
            {"project", d.withProject ? wxS("1") : wxS("0")},
        };
        for (const auto& [name, value] : values) {
            st.reset();
            ok = ok && st && st.bindText(1, name) == SQLITE_OK &&
                 st.bindText(2, toUtf8(value)) == SQLITE_OK && st.step() == SQLITE_DONE;
        }
    }
    if (ok) ok = out.exec(sql::kCommit) == 0;
    if (!ok && rc == SQLITE_OK) rc = out.errcode();
    if (out.close() != SQLITE_OK && ok) {
        ok = false;
        rc = SQLITE_IOERR;
    }
    if (!ok) {
        why = sqliteReason(rc == SQLITE_OK ? SQLITE_ERROR : rc);
        removeWithJournal(temp);
        return false;
    }
    if (!renameIntoPlace(temp, path, &why)) {
        removeWithJournal(temp);
        return false;
    }
    return true;
}

bool readRecoveryInfo(const wxString& path, RecoveryInfo& out) {
    out = RecoveryInfo();
    Connection db;
    if (db.open(path, SQLITE_OPEN_READONLY) != SQLITE_OK) return false;
    Stmt st(db.get(), kSelectRecovery);
    if (!st) return false;
    bool named = false;
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        const wxString name = st.text(0);
        if (name == wxS("document")) {
            out.document = st.text(1);
            named = true;
        } else if (name == wxS("base")) {
            out.base = st.text(1);
        } else if (name == wxS("written")) {
            out.written = st.text(1);
        }
    }
    return rc == SQLITE_DONE && named;
}

bool recoveryMatchesFile(const RecoveryInfo& info) {
    return !info.document.empty() && !info.base.empty() &&
           fileFingerprint(info.document) == info.base;
}

Database::Recovered Database::applyRecovery(const wxString& recoveryPath, wxString& why) {
    why.clear();
    RecoveryInfo info;
    if (!readRecoveryInfo(recoveryPath, info)) {
        why = wxS("the recovery file cannot be read");
        return Recovered::Unreadable;
    }
    if (!db_ || isNew_ || info.document != path_ || !recoveryMatchesFile(info)) {
        why = wxS("the document was changed after the recovery file was written");
        return Recovered::FileChanged;
    }
    Connection rec;
    if (int rc = rec.open(recoveryPath, SQLITE_OPEN_READONLY); rc != SQLITE_OK) {
        why = sqliteReason(rc);
        return Recovered::Unreadable;
    }
    std::map<wxString, wxString> meta;
    {
        Stmt st(rec.get(), kSelectRecovery);
        while (st && st.step() == SQLITE_ROW)
            meta[st.text(0)] = st.text(1);
    }
    // Everything is read and decoded first; the document changes only when
    // all of it could be.
    struct Recv {
        int id, type, attr;
        HeaderValues attrs;
        std::unique_ptr<Body> body;
    };
    std::vector<Recv> got;
    Stmt row(rec.get(), kSelectRecoveredRow);
    auto take = [&](int id, bool withBody) {
        if (!row) return false;
        row.reset();
        row.bindInt(1, id);
        if (row.step() != SQLITE_ROW) return false;
        Recv r{id, row.integer(0), row.integer(1), {}, nullptr};
        if (!decodeHeaderValues(Bytes(row.view(2)), cipher_.get(), {r.id, r.type}, r.attrs))
            return false;
        if (withBody) {
            DecodedBody d = decodeBody(Bytes(row.view(3)), r.attr & ATTR_COMPRESSED, cipher_.get(),
                                       {r.id, r.type},
                                       r.type == BT_NODE ? articleLimit_ : kMaxObjectBytes);
            if (d.damaged) return false;
            r.body = std::make_unique<Body>();
            std::string_view mime;
            r.body->isText = r.type == BT_NODE && !(r.attrs.get(K_m, mime) && mime == "text/rtf");
            r.body->bytes = std::move(d.plain);
        }
        got.push_back(std::move(r));
        return true;
    };
    for (int id : splitIds(meta[wxS("bodies")]))
        if (!take(id, true)) {
            why = wxString::Format(wxS("block %d of the recovery file cannot be read"), id);
            return Recovered::Unreadable;
        }
    for (int id : splitIds(meta[wxS("headers")]))
        if (!take(id, false)) {
            why = wxString::Format(wxS("block %d of the recovery file cannot be read"), id);
            return Recovered::Unreadable;
        }
    AttrMap project;
    std::vector<std::pair<wxString, wxString>> unknown;
    const bool withProject = meta[wxS("project")] == wxS("1");
    if (withProject) {
        Stmt st(rec.get(), sql::kSelectProject);
        while (st && st.step() == SQLITE_ROW) {
            const wxString name = st.text(0);
            const int code = keyCodeOf(name);
            if (code > 0)
                project[code] = st.text(1);
            else
                unknown.emplace_back(name, st.text(1));
        }
        if (project.empty()) {
            why = wxS("the settings of the recovery file cannot be read");
            return Recovered::Unreadable;
        }
    }
    row.finalize();
    rec.close();

    ensureIndex();
    if (withProject) {
        project_ = std::move(project);
        unknown_ = std::move(unknown);
        projectDirty_ = true;
    }
    for (int id : splitIds(meta[wxS("deleted")]))
        deleteBlock(id);
    for (Recv& r : got) {
        Block* b = findBlock(r.id);
        if (!b) {
            auto fresh = std::make_unique<Block>(this, r.id, r.type);
            fresh->dirty_ = DIRTY_NEW;
            b = fresh.get();
            blocks_[r.id] = std::move(fresh);
            maxId_ = std::max(maxId_, r.id);
        }
        b->excluded_ = r.attr & ATTR_EXCLUDED;
        b->encrypted_ = cipher_ != nullptr;
        b->headFailed_ = false;
        b->attrs_ = std::make_unique<HeaderValues>(std::move(r.attrs));
        b->dirty_ |= DIRTY_HEADER;
        if (r.body) {
            b->body_ = std::move(r.body);
            b->wide_.reset();
            b->damaged_ = false;
            b->bodyFailed_ = false;
            b->dirty_ |= DIRTY_BODY;
        }
        touched_.insert(r.id);
    }
    return Recovered::Applied;
}

bool Database::detachAsNew(wxString& why) {
    why.clear();
    if (!db_ || isNew_) {
        why = wxS("no document file is open");
        return false;
    }
    ensureIndex();
    if (indexPending_) {
        why = error_ ? error_.message : wxString(wxS("the block list cannot be read"));
        return false;
    }
    {
        ReadBatch batch(*this);
        for (auto& [id, b] : blocks_) {
            if (!b->loadHeaderAndBody()) {
                why = error_ ? error_.message : wxString(wxS("a block cannot be read"));
                return false;
            }
            const bool external = b->isNode() && !b->getUtf8(K_url).empty();
            if (!external && !b->body_ && !readBody(*b)) {
                why = error_ ? error_.message : wxString(wxS("a block cannot be read"));
                return false;
            }
        }
    }
    for (auto& [id, b] : blocks_) {
        b->dirty_ = DIRTY_NEW | DIRTY_HEADER | DIRTY_BODY;
        b->encrypted_ = cipher_ != nullptr;
        touched_.insert(id);
    }
    deleted_.clear();
    forgetStatements();
    db_.close();
    stateHandle_ = nullptr;
    stateVersion_ = -1;
    isNew_ = true;
    path_.clear();
    projectDirty_ = true;
    return true;
}

} // namespace qn
