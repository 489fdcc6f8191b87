// The document engine: opening a file, its project settings, the blocks in
// memory and reading their rows.
#include "store/database.h"
#include "store/safe_file.h"

#include <wx/filename.h>
#include <wx/log.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>

namespace qn {

namespace {
// Ids are 32-bit in memory: a row outside 1..INT_MAX is damaged and left out.
bool isValidId(sqlite3_int64 id) {
    return id > 0 && id <= INT32_MAX;
}

// At most `limit` bytes of a blob column; `cut` tells whether it held more.
Bytes columnBytes(const Stmt& st, int col, size_t limit, bool& cut) {
    std::string_view v = st.view(col);
    cut = v.size() > limit;
    if (cut) v = v.substr(0, limit);
    return Bytes(v);
}

bool fileExists(const wxString& path) {
    return wxFileName::FileExists(path);
}

} // namespace

// ---------------------------------------------------------------------------
// Database

Database::Database(Defaults defaults) : defaults_(std::move(defaults)) {}

Database::~Database() {
    close();
}

bool Database::isOpen() const {
    return isNew_ || bool(db_);
}

void Database::forgetStatements() {
    for (RowReader& r : readers_) {
        r.st.finalize();
        r.row = 0;
    }
    prefetched_ = Prefetched();
    headStmt_.finalize();
    bodyStmt_.finalize();
    rowStmt_.finalize();
    versionStmt_.finalize();
}

int Database::open(const wxString& path, IndexMode mode) {
    if (isOpen()) return OPEN_NOT_OPENABLE;
    clearError();
    path_ = path;
    if (!fileExists(path)) return OPEN_NOT_OPENABLE;
    if (db_.open(path, SQLITE_OPEN_READWRITE) != SQLITE_OK) return OPEN_NOT_OPENABLE;
    isNew_ = false;
    db_.setBusyTimeout(busyTimeout_);

    // A file that is locked or cannot be read is not "not a document".
    auto unreadable = [&](int rc) {
        const int primary = rc & 0xFF;
        if (primary != SQLITE_BUSY && primary != SQLITE_LOCKED && primary != SQLITE_IOERR &&
            primary != SQLITE_CANTOPEN && primary != SQLITE_NOMEM)
            return false;
        noteError("open", rc);
        close();
        path_ = path;
        return true;
    };
    // Nor is a damaged one: its own message says so.
    auto damaged = [&](int rc) {
        if ((rc & 0xFF) != SQLITE_CORRUPT) return false;
        noteError("open", rc);
        close();
        path_ = path;
        return true;
    };
    // One read transaction for the settings, the index and the file's
    // version number, so that what is remembered as "the file as read" is
    // exactly what was read.
    db_.exec(sql::kBegin);
    {
        int prepared = SQLITE_OK;
        const int fin = readProject(&prepared);
        if (prepared != SQLITE_OK) {
            if (unreadable(prepared)) return OPEN_NOT_OPENABLE;
            if (damaged(prepared)) return OPEN_CORRUPT;
            close();
            return OPEN_NOT_DOCUMENT;
        }
        if (unreadable(fin)) return OPEN_NOT_OPENABLE;
        if (damaged(fin)) return OPEN_CORRUPT;
        if (fin == SQLITE_ERROR) {
            noteError("open", fin);
            close();
            path_ = path;
            return OPEN_NOT_OPENABLE;
        }
    }
    projectDirty_ = false;
    if (!isSupportedVersion(getString(K_version))) {
        close();
        return OPEN_VERSION;
    }
    if (mode == IndexMode::OnDemand) {
        // Only whether the table is there; its rows are read on first use.
        Stmt st;
        if (int rc = st.prepare(db_.get(), sql::kSelectBlockIndex); rc != SQLITE_OK) {
            if (unreadable(rc)) return OPEN_NOT_OPENABLE;
            if (damaged(rc)) return OPEN_CORRUPT;
            close();
            return OPEN_NOT_DOCUMENT;
        }
        indexPending_ = true;
    } else {
        int prepared = SQLITE_OK;
        const int rc = readIndex(&prepared);
        if (prepared != SQLITE_OK) {
            if (unreadable(prepared)) return OPEN_NOT_OPENABLE;
            if (damaged(prepared)) return OPEN_CORRUPT;
            close();
            return OPEN_NOT_DOCUMENT;
        }
        // A block index read only in part would hide the rest of the
        // document, and later saves would build on it.
        if (rc != SQLITE_DONE && unreadable(rc)) return OPEN_NOT_OPENABLE;
        if (rc != SQLITE_DONE && damaged(rc)) return OPEN_CORRUPT;
    }
    {
        Stmt st(db_.get(), sql::kSelectMaxValidId);
        if (st && st.step() == SQLITE_ROW) {
            maxId_ = static_cast<int>(st.int64(0));
        } else {
            wxLogMessage(wxS("Database::open MaxID %d"), db_ ? db_.errcode() : 0);
            maxId_ = 1;
        }
        // Whatever the table says, never hand out an id that is in use.
        if (!blocks_.empty()) maxId_ = std::max(maxId_, blocks_.rbegin()->first);
    }
    rememberFileState();
    db_.exec(sql::kCommit);
    return OPEN_OK;
}

int Database::readProject(int* prepared) {
    project_.clear();
    unknown_.clear();
    Stmt st;
    const int prc = st.prepare(db_.get(), sql::kSelectProject);
    if (prepared) *prepared = prc;
    if (prc != SQLITE_OK) return prc;
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        wxString name = st.text(0);
        wxString value = st.text(1);
        int code = keyCodeOf(name);
        if (code > 0)
            project_[code] = value;
        else
            unknown_.emplace_back(name, value); // kept and written back as read
    }
    if (rc != SQLITE_DONE) wxLogMessage(wxS("Database::open Project %d"), rc);
    return st.finalize();
}

int Database::readIndex(int* prepared) const {
    Stmt st;
    const int prc = st.prepare(db_.get(), sql::kSelectBlockIndex);
    if (prepared) *prepared = prc;
    if (prc != SQLITE_OK) return prc;
    int rc;
    int badIds = 0;
    auto* self = const_cast<Database*>(this);
    auto known = blocks_.begin();
    while ((rc = st.step()) == SQLITE_ROW) {
        const sqlite3_int64 id64 = st.int64(0);
        if (!isValidId(id64)) {
            ++badIds; // would alias another block once cut to 32 bits
            continue;
        }
        const int id = static_cast<int>(id64);
        // Rows come in id order.  A block already in memory (one a search
        // found) stays as it is.
        while (known != blocks_.end() && known->first < id)
            ++known;
        if (known == blocks_.end() || known->first != id)
            self->addIndexed(id, st.integer(1), st.integer(2), known);
    }
    if (rc != SQLITE_DONE) wxLogMessage(wxS("Database::open Block %d"), rc);
    if (badIds)
        wxLogMessage(wxS("Database::open: %d block(s) with an id outside 1..2147483647 are "
                         "damaged and left out"),
                     badIds);
    return rc;
}

Block& Database::addIndexed(int id, int type, int attr, BlockMap::iterator next) {
    auto b = std::make_unique<Block>(this, id, type);
    b->compressed_ = attr & ATTR_COMPRESSED;
    b->encrypted_ = attr & ATTR_ENCRYPTED;
    b->excluded_ = attr & ATTR_EXCLUDED;
    Block& ref = *b;
    blocks_.emplace_hint(next, id, std::move(b));
    if (id > maxId_) maxId_ = id;
    return ref;
}

void Database::loadPendingIndex() const {
    if (!db_) {
        indexPending_ = false;
        return;
    }
    const int rc = readIndex(nullptr);
    if (rc == SQLITE_DONE) {
        indexPending_ = false;
    } else {
        // Tried again on next use: a part of the index is never taken for
        // the whole.
        const_cast<Database*>(this)->noteError("readIndex", rc);
    }
}

Block* Database::newDocument() {
    setString(K_appname, wxString::FromAscii(kAppName));
    setString(K_appid, wxString::FromAscii(kAppId));
    setString(K_version, wxString::FromAscii(kFormatVersion));
    newDbid();
    setString(K_c, timeStamp());
    for (const auto& [name, value] : defaults_) {
        int code = keyCodeOf(name);
        if (code > 0) project_[code] = value;
    }
    maxId_ = 0;
    projectDirty_ = true;
    Block* root = newNode(-1);
    isNew_ = true;
    return root;
}

void Database::close() {
    forgetStatements();
    db_.close();
    isNew_ = false;
    path_.clear();
    cipher_.reset();
    project_.clear();
    unknown_.clear();
    projectDirty_ = false;
    blocks_.clear();
    indexPending_ = false;
    touched_.clear();
    deleted_.clear();
}

bool Database::isModified() const {
    if (projectDirty_ || !deleted_.empty()) return true;
    for (int id : touched_) {
        auto it = blocks_.find(id); // touched blocks are always in memory
        if (it != blocks_.end() && it->second->dirty_) return true;
    }
    return false;
}

// --- project settings

wxString Database::getString(int code) const {
    auto it = project_.find(code);
    return it == project_.end() ? wxString() : it->second;
}
long Database::getInt(int code) const {
    return parseInt(getString(code));
}
Colour Database::getColour(int code) const {
    return parseColour(getString(code));
}
std::vector<int> Database::getIntList(int code) const {
    return parseIntList(getString(code));
}
void Database::setString(int code, const wxString& text) {
    project_[code] = text;
    projectDirty_ = true;
    ++edits_;
}
void Database::setInt(int code, long v) {
    setString(code, wxString::Format(wxS("%ld"), v));
}
void Database::setIntList(int code, const std::vector<int>& list) {
    setString(code, formatIntList(list));
}
void Database::setColour(int code, const Colour& c) {
    setString(code, formatColour(c));
}
void Database::removeKey(int code) {
    if (project_.erase(code)) {
        projectDirty_ = true;
        ++edits_;
    }
}
void Database::newDbid() {
    setString(K_dbid, newGuidText());
}

// --- blocks

Block* Database::findBlock(int id) const {
    if (indexPending_) return const_cast<Database*>(this)->lookupPending(id);
    auto it = blocks_.find(id);
    return it == blocks_.end() ? nullptr : it->second.get();
}

Block* Database::lookupPending(int id) {
    auto next = blocks_.lower_bound(id);
    if (next != blocks_.end() && next->first == id) return next->second.get();
    if (!isValidId(id) || !db_) return nullptr;
    // The reader standing nearest before `id`, else the one used least
    // recently, sent to `id`.
    constexpr sqlite3_int64 kReach = 64;
    RowReader* r = nullptr;
    for (RowReader& c : readers_)
        if (c.row && c.row <= id && id - c.row <= kReach && (!r || c.row > r->row)) r = &c;
    int rc = SQLITE_ROW;
    if (r) {
        while (r->row < id && (rc = r->st.step()) == SQLITE_ROW)
            r->row = r->st.int64(0);
    } else {
        r = &*std::min_element(readers_.begin(), readers_.end(),
                               [](const RowReader& x, const RowReader& y) { return x.used < y.used; });
        if (!r->st && (rc = r->st.prepare(db_.get(), sql::kSelectRowsFrom)) != SQLITE_OK) {
            wxLogMessage(wxS("Database::sql_prepare %d: %s"), rc, db_.errmsg());
            r->st.finalize();
            ensureIndex(); // the whole index instead
            return indexPending_ ? nullptr : findBlock(id);
        }
        r->st.reset();
        r->st.bindInt(1, id);
        if ((rc = r->st.step()) == SQLITE_ROW) r->row = r->st.int64(0);
    }
    r->used = ++readerClock_;
    if (rc != SQLITE_ROW) {
        r->row = 0;
        r->st.reset();
        if (rc != SQLITE_DONE) {
            wxLogMessage(wxS("Database::findBlock %d"), rc);
            noteError("findBlock", rc);
        }
        return nullptr;
    }
    if (r->row != id) return nullptr; // the file has no such block
    Block* found = &addIndexed(id, r->st.integer(1), r->st.integer(2), next);
    prefetched_.id = id;
    prefetched_.hdr =
        columnBytes(r->st, 3, std::max(articleLimit_, kMaxArticleBytes), prefetched_.hdrCut);
    prefetched_.body = columnBytes(r->st, 4, bodyLimit(*found), prefetched_.bodyCut);
    return found;
}

void Database::releaseReaders() {
    for (RowReader& r : readers_) {
        if (r.st) r.st.reset();
        r.row = 0;
    }
}

bool Database::takePrefetched(int id, Prefetched& out) {
    if (prefetched_.id == 0 || prefetched_.id != id) return false;
    out = std::move(prefetched_);
    prefetched_ = Prefetched();
    return true;
}

Block* Database::getBlock(int id) {
    Block* b = findBlock(id);
    if (b) b->loadHeader(); // tries again after an earlier failure
    return b;
}

Block* Database::newNode(int parentId) {
    ensureIndex();
    if (maxId_ >= INT_MAX) {
        noteError("newNode", 0, wxS("the document has no free block id left"));
        return nullptr;
    }
    int id = ++maxId_;
    auto b = std::make_unique<Block>(this, id, BT_NODE);
    b->encrypted_ = cipher_ != nullptr;
    b->dirty_ = DIRTY_NEW | DIRTY_HEADER;
    b->attrs_ = std::make_unique<HeaderValues>();
    const Bytes now = toUtf8(timeStamp());
    HeaderValues& a = *b->attrs_;
    a.set(K_p, std::to_string(parentId));
    a.set(K_c, now);
    a.set(K_s, now);
    a.set(K_ch, "");
    a.set(K_m, "text/plain");
    b->body_ = std::make_unique<Body>();
    Block* raw = b.get();
    blocks_[id] = std::move(b);
    touched_.insert(id);
    ++edits_;
    return raw;
}

Block* Database::newObject(const wxString& mime) {
    ensureIndex();
    if (maxId_ >= INT_MAX) {
        noteError("newObject", 0, wxS("the document has no free block id left"));
        return nullptr;
    }
    int id = ++maxId_;
    auto b = std::make_unique<Block>(this, id, BT_OBJECT);
    b->encrypted_ = cipher_ != nullptr;
    b->dirty_ = DIRTY_NEW | DIRTY_HEADER;
    b->attrs_ = std::make_unique<HeaderValues>();
    const Bytes now = toUtf8(timeStamp());
    HeaderValues& a = *b->attrs_;
    a.set(K_c, now);
    a.set(K_s, now);
    a.set(K_ref, "0");
    a.set(K_m, toUtf8(mime));
    Block* raw = b.get();
    blocks_[id] = std::move(b);
    touched_.insert(id);
    ++edits_;
    return raw;
}

void Database::deleteBlock(int id) {
    ensureIndex();
    auto it = blocks_.find(id);
    if (it == blocks_.end()) return;
    std::unique_ptr<Block> b = std::move(it->second);
    blocks_.erase(it);
    touched_.erase(id);
    ++edits_;
    b->attrs_.reset();
    b->body_.reset();
    if (b->dirty_ & DIRTY_NEW) return; // never reached the file
    b->dirty_ = DIRTY_DELETED;
    deleted_.push_back(std::move(b));
}

bool Database::deleteSubtree(int id) {
    // Depth first, children in display order, the node itself last; each id
    // once.  A damaged child list must not reach outside the subtree: only a
    // node whose parent is the node being visited is followed, never the top
    // node and never an object.
    std::set<int> seen;
    struct Frame {
        int id;
        std::vector<int> children;
        size_t next;
    };
    std::vector<Frame> stack;
    std::vector<int> order;
    seen.insert(id);
    Block* root = findBlock(id);
    if (root && !root->loadHeader()) return false;
    stack.push_back({id, root ? root->getIntList(K_ch) : std::vector<int>{}, 0});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next < f.children.size()) {
            const int parent = f.id;
            int child = f.children[f.next++];
            if (child == 1 || !seen.insert(child).second) continue;
            Block* cb = findBlock(child);
            if (!cb || !cb->isNode()) continue;
            if (!cb->loadHeader()) return false; // unknown: delete nothing
            if (cb->parent() != parent) continue;
            stack.push_back({child, cb->getIntList(K_ch), 0});
        } else {
            order.push_back(f.id);
            stack.pop_back();
        }
    }
    for (int victim : order)
        deleteBlock(victim);
    return true;
}

Block* Database::firstObject() {
    objectCursor_ = 0;
    return nextObject();
}

Block* Database::nextObject() {
    ensureIndex();
    for (auto it = blocks_.upper_bound(objectCursor_); it != blocks_.end(); ++it) {
        if (it->second->type_ == BT_OBJECT) {
            objectCursor_ = it->first;
            it->second->ensureHeader();
            return it->second.get();
        }
    }
    objectCursor_ = blocks_.empty() ? 0 : blocks_.rbegin()->first;
    return nullptr;
}

// --- reading

void Database::noteError(const char* operation, int code, const wxString& message) {
    error_.operation = wxString::FromAscii(operation);
    error_.code = code;
    error_.message = message.empty() ? sqliteReason(code) : message;
}

void Database::setBusyTimeout(int ms) {
    busyTimeout_ = ms;
    db_.setBusyTimeout(ms);
}

Database::ReadResult Database::readRaw(Stmt& cached, const char* sql, int id, Bytes& out,
                                       size_t limit, bool* cut) {
    out.clear();
    if (cut) *cut = false;
    if (!db_) return READ_FAILED;
    if (!cached) {
        if (int rc = cached.prepare(db_.get(), sql); rc != SQLITE_OK) {
            wxLogMessage(wxS("Database::sql_prepare %d: %s"), rc, db_.errmsg());
            cached.finalize();
            return READ_FAILED;
        }
    }
    cached.bindInt(1, id);
    int rc = cached.step();
    ReadResult result = READ_FAILED;
    if (rc == SQLITE_ROW) {
        bool over = false;
        out = columnBytes(cached, 0, limit, over);
        if (cut) *cut = over;
        result = READ_ROW;
    } else if (rc == SQLITE_DONE) {
        result = READ_MISSING;
    }
    cached.reset();
    return result;
}

bool Database::readHead(Block& block) {
    Prefetched row;
    if (takePrefetched(block.id_, row)) return applyHead(block, READ_ROW, std::move(row.hdr), row.hdrCut);
    if (!protectionHolds(block.id_)) {
        block.headFailed_ = true;
        return false;
    }
    Bytes raw;
    bool cut = false;
    const ReadResult r = readRaw(headStmt_, sql::kSelectHeader, block.id_, raw,
                                 std::max(articleLimit_, kMaxArticleBytes), &cut);
    return applyHead(block, r, std::move(raw), cut);
}

bool Database::applyHead(Block& block, ReadResult r, Bytes raw, bool cut) {
    if (r == READ_FAILED || cut) {
        // Left unloaded: an empty map here would be saved over the real one.
        const int rc = cut ? SQLITE_TOOBIG : db_.errcode();
        wxLogMessage(wxS("Database::readHead %d"), rc);
        noteError("readHead", rc,
                  wxString::Format(wxS("the header of block %d could not be read: %s"), block.id_,
                                   sqliteReason(rc)));
        block.headFailed_ = true;
        return false;
    }
    block.headFailed_ = false;
    block.attrs_ = std::make_unique<HeaderValues>();
    if (r == READ_MISSING) {
        wxLogMessage(wxS("Database::readHead %d"), SQLITE_DONE);
        return true;
    }
    if (!decodeHeaderValues(std::move(raw), cipher_.get(), {block.id_, block.type_},
                            *block.attrs_)) {
        // Left unloaded and never written back: what shows is not garbage.
        block.attrs_.reset();
        block.headFailed_ = true;
        wxLogMessage(wxS("Database::readHead %d: block %d does not open"), SQLITE_CORRUPT,
                     block.id_);
        noteError("readHead", SQLITE_CORRUPT,
                  wxString::Format(wxS("block %d is damaged: its stored header does not open "
                                       "with the document's key (changed or moved bytes)"),
                                   block.id_));
        return false;
    }
    return true;
}

size_t Database::bodyLimit(const Block& block) const {
    return block.type_ == BT_NODE ? articleLimit_ : kMaxObjectBytes;
}

bool Database::readBody(Block& block) {
    if (!block.ensureHeader()) return false;
    if (block.dirty_ & DIRTY_NEW) { // nothing in the file yet
        block.body_ = std::make_unique<Body>();
        block.body_->isText = block.type_ == BT_NODE && !block.isRtf();
        return true;
    }
    if (!protectionHolds(block.id_)) return false;
    Bytes raw;
    bool cut = false;
    const ReadResult r =
        readRaw(bodyStmt_, sql::kSelectBody, block.id_, raw, bodyLimit(block), &cut);
    return applyBody(block, r, std::move(raw), cut);
}

bool Database::applyBody(Block& block, ReadResult r, Bytes raw, bool cut) {
    if (r == READ_FAILED) {
        const int rc = db_.errcode();
        wxLogMessage(wxS("Database::readBody %d"), rc);
        noteError("readBody", rc,
                  wxString::Format(wxS("the article of block %d could not be read: %s"),
                                   block.id_, sqliteReason(rc)));
        return false;
    }
    if (r == READ_MISSING) wxLogMessage(wxS("Database::readBody %d"), SQLITE_DONE);
    auto body = std::make_unique<Body>();
    body->isText = block.type_ == BT_NODE && !block.isRtf();
    // A stored body cut at the limit cannot be decrypted or inflated whole.
    DecodedBody d =
        cut ? DecodedBody{Bytes(), true}
            : decodeBody(std::move(raw), block.compressed_, cipher_.get(), {block.id_, block.type_},
                         bodyLimit(block));
    if (cut && !block.compressed_ && !cipher_) d.plain = std::move(raw);
    block.damaged_ = d.damaged;
    if (d.damaged)
        wxLogMessage(wxS("Database::readBody %d: the stored body of block %d is incomplete or "
                         "larger than the program reads"),
                     SQLITE_CORRUPT, block.id_);
    body->bytes = std::move(d.plain);
    block.body_ = std::move(body);
    block.wide_.reset();
    return true;
}

bool Database::readRow(Block& block) {
    if (!db_) return readHead(block);
    Prefetched row;
    if (takePrefetched(block.id_, row))
        return applyRow(block, READ_ROW, std::move(row.hdr), row.hdrCut, std::move(row.body),
                        row.bodyCut);
    if (!protectionHolds(block.id_)) {
        block.headFailed_ = true;
        return false;
    }
    if (!rowStmt_) {
        if (int rc = rowStmt_.prepare(db_.get(), sql::kSelectRow); rc != SQLITE_OK) {
            wxLogMessage(wxS("Database::sql_prepare %d: %s"), rc, db_.errmsg());
            rowStmt_.finalize();
            return applyHead(block, READ_FAILED, Bytes(), false);
        }
    }
    rowStmt_.bindInt(1, block.id_);
    ReadResult r = READ_FAILED;
    Bytes hdr, stored;
    bool hdrCut = false, bodyCut = false;
    const int rc = rowStmt_.step();
    if (rc == SQLITE_ROW) {
        hdr = columnBytes(rowStmt_, 0, std::max(articleLimit_, kMaxArticleBytes), hdrCut);
        stored = columnBytes(rowStmt_, 1, bodyLimit(block), bodyCut);
        r = READ_ROW;
    } else if (rc == SQLITE_DONE) {
        r = READ_MISSING;
    }
    rowStmt_.reset();
    return applyRow(block, r, std::move(hdr), hdrCut, std::move(stored), bodyCut);
}

bool Database::applyRow(Block& block, ReadResult r, Bytes hdr, bool hdrCut, Bytes stored,
                        bool bodyCut) {
    if (!applyHead(block, r, std::move(hdr), hdrCut)) return false;
    // An article kept in a file of its own is read from there by body().
    const bool external = block.type_ == BT_NODE && !block.getUtf8(K_url).empty();
    if (external || block.body_ || !applyBody(block, r, std::move(stored), bodyCut)) return true;
    block.bodyFailed_ = false;
    block.touch();
    return true;
}

ReadBatch::ReadBatch(Database& db) : owner_(&db) {
    sqlite3* h = db.handle();
    if (h && sqlite3_get_autocommit(h) && sql_exec(h, sql::kBegin) == 0) db_ = h;
}

ReadBatch::~ReadBatch() {
    if (!db_) return;
    owner_->releaseReaders();
    sql_exec(db_, sql::kCommit);
}

} // namespace qn
