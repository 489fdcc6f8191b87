#include "store/database.h"
#include "store/sql.h"
#include "store/utf8_text.h"

#include "store/safe_file.h"

#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/strconv.h>
#include <wx/arrstr.h>

#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <set>
#include <string_view>
#include <system_error>
#include <filesystem>

namespace qn {

namespace {

int bindBlob(sqlite3_stmt* st, int col, const Bytes& b) {
    // A zero-length blob, never NULL, so that readers always get a blob.  The
    // 64-bit call: a length beyond int is refused (SQLITE_TOOBIG), never cut.
    return sqlite3_bind_blob64(st, col, b.data(), static_cast<sqlite3_uint64>(b.size()),
                               SQLITE_TRANSIENT);
}

int bindText(sqlite3_stmt* st, int col, const wxString& s) {
    Bytes u = toUtf8(s);
    return sqlite3_bind_text64(st, col, u.data(), static_cast<sqlite3_uint64>(u.size()),
                               SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Ids are 32-bit in memory: a row outside 1..INT_MAX is damaged and left out.
bool isValidId(sqlite3_int64 id) {
    return id > 0 && id <= INT32_MAX;
}

wxString columnText(sqlite3_stmt* st, int col) {
    const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    int n = sqlite3_column_bytes(st, col);
    return p ? fromUtf8(p, static_cast<size_t>(n)) : wxString();
}

// At most `limit` bytes of a blob column; `cut` tells whether it held more.
Bytes columnBytes(sqlite3_stmt* st, int col, size_t limit, bool& cut) {
    const void* p = sqlite3_column_blob(st, col);
    int n = sqlite3_column_bytes(st, col);
    cut = false;
    if (!p || n <= 0) return Bytes();
    size_t len = static_cast<size_t>(n);
    if (len > limit) {
        len = limit;
        cut = true;
    }
    return Bytes(static_cast<const char*>(p), len);
}

wxString errorText(sqlite3* db) {
    return db ? wxString::FromUTF8(sqlite3_errmsg(db)) : wxString();
}

sqlite3_stmt* sql_prepare(sqlite3* handle, const char* sql) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(handle, sql, -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        wxLogMessage(wxS("Database::sql_prepare %d: %s"), rc, errorText(handle));
        sqlite3_finalize(st);
        return nullptr;
    }
    return st;
}

bool fileExists(const wxString& path) {
    return wxFileName::FileExists(path);
}

bool isRegularFile(const wxString& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(std::string(path.fn_str())), ec);
}

} // namespace

int sql_exec(sqlite3* handle, const char* sql) {
    // A failed commit (a full disk) may have ended the transaction already;
    // rolling back then would only add a second, misleading failure.
    if (std::strcmp(sql, "rollback") == 0 && handle && sqlite3_get_autocommit(handle)) return 0;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(handle, sql, -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        wxLogMessage(wxS("Database::sql_exec prepare %d: %s"), rc, errorText(handle));
        sqlite3_finalize(st);
        return rc;
    }
    rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        wxLogMessage(wxS("Database::sql_exec step %d: %s"), rc, errorText(handle));
        // SQLite logs failures inside statements, not those of a commit;
        // whoever watches its log (the reason shown for a failed write)
        // learns of both.
        sqlite3_log(sqlite3_extended_errcode(handle), "%s failed", sql);
        return rc;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Block

Block::Block(Database* owner, int id, int type) : owner_(owner), id_(id), type_(type) {}

void Block::touch() {
    owner_->touched_.insert(id_);
}

// A header that failed to read is not read again by every getter (each try
// may wait for another program's lock); loadHeader() tries again.
bool Block::ensureHeader() {
    if (attrs_) return true;
    if (dirty_ & DIRTY_NEW) {
        attrs_ = std::make_unique<HeaderValues>();
        return true;
    }
    if (headFailed_) return false;
    return owner_->readHead(*this);
}

bool Block::loadHeader() {
    headFailed_ = false;
    return ensureHeader();
}

bool Block::hasOwn(int code) {
    return ensureHeader() && attrs_->has(code);
}

wxString Block::getString(int code) {
    std::string_view v;
    if (ensureHeader() && attrs_->get(code, v)) return fromUtf8(v.data(), v.size());
    return owner_->getString(code);
}

Bytes Block::getUtf8(int code) {
    std::string_view v;
    if (ensureHeader() && attrs_->get(code, v)) return Bytes(v);
    return toUtf8(owner_->getString(code));
}

long Block::getInt(int code) {
    return parseInt(getString(code));
}
unsigned long Block::getUInt(int code) {
    return parseUInt(getString(code));
}
Colour Block::getColour(int code) {
    return parseColour(getString(code));
}
std::vector<int> Block::getIntList(int code) {
    return parseIntList(getString(code));
}

void Block::setString(int code, const wxString& text) {
    setUtf8(code, toUtf8(text));
}

void Block::setUtf8(int code, std::string_view utf8) {
    if (!ensureHeader()) return;
    attrs_->set(code, utf8);
    markHeader();
}

void Block::setInt(int code, long v) {
    setString(code, wxString::Format(wxS("%ld"), v));
}
void Block::setUInt(int code, unsigned long v) {
    setString(code, wxString::Format(wxS("%lu"), v));
}
void Block::setIntList(int code, const std::vector<int>& list) {
    setString(code, formatIntList(list));
}
void Block::setColour(int code, const Colour& c) {
    setString(code, formatColour(c));
}

void Block::removeKey(int code) {
    if (ensureHeader() && attrs_->erase(code)) markHeader();
}

const Body& Block::body() {
    if (!body_) {
        bool read = false;
        if (ensureHeader()) {
            wxString url = isNode() ? getString(K_url) : wxString();
            if (!url.empty()) {
                loadFromUrl(url);
                read = body_ != nullptr;
            } else {
                read = owner_->readBody(*this);
            }
        }
        if (!read) {
            // Nothing is kept: the next use reads again.
            bodyFailed_ = true;
            static const Body emptyText;
            static const Body emptyBytes{false, {}};
            return isNode() && !(attrs_ && isRtf()) ? emptyText : emptyBytes;
        }
        bodyFailed_ = false;
        touch();
    }
    return *body_;
}

const wxString& Block::text() {
    const Body& b = body();
    static const wxString none;
    if (!body_ || !b.isText) return none; // unreadable, or bytes (RTF, objects)
    if (!wide_) wide_ = std::make_unique<wxString>(fromUtf8(b.bytes));
    return *wide_;
}

void Block::setText(const wxString& text) {
    if (!ensureHeader()) return;
    setTextUtf8(toUtf8(text));
    if (body_) wide_ = std::make_unique<wxString>(text);
}

void Block::setTextUtf8(Bytes utf8) {
    if (!ensureHeader()) return;
    bodyFailed_ = false;
    body_ = std::make_unique<Body>();
    body_->isText = true;
    body_->bytes = std::move(utf8);
    wide_.reset();
    damaged_ = false; // a new body replaces whatever could not be read
    dirty_ |= DIRTY_BODY;
    touch();
    setUInt(K_sz, body_->bytes.size());
    setString(K_s, timeStamp());
}

void Block::setBytes(const Bytes& bytes) {
    if (!ensureHeader()) return;
    bodyFailed_ = false;
    body_ = std::make_unique<Body>();
    body_->isText = false;
    body_->bytes = bytes;
    wide_.reset();
    damaged_ = false;
    dirty_ |= DIRTY_BODY;
    touch();
    setString(K_sz, wxString::Format(wxS("%lu"), static_cast<unsigned long>(bytes.size())));
    setString(K_s, timeStamp());
}

bool Block::importFile(const wxString& path) {
    wxFFile f;
    {
        wxLogNull quiet;
        if (!f.Open(path, wxS("rb"))) return false;
    }
    wxFileOffset len = f.Length();
    if (len < 0) return false;
    if (static_cast<wxULongLong_t>(len) > kMaxObjectBytes) {
        owner_->noteError("importFile", 0,
                          wxString::Format(wxS("%s is larger than %lu MB, the most a document "
                                               "can hold in one object"),
                                           path, static_cast<unsigned long>(kMaxObjectBytes >> 20)));
        return false;
    }
    Bytes data(static_cast<size_t>(len), '\0');
    if (len > 0 && f.Read(data.data(), data.size()) != data.size()) return false;
    if (!ensureHeader()) return false;
    bodyFailed_ = false;
    body_ = std::make_unique<Body>();
    body_->isText = false;
    body_->bytes = std::move(data);
    wide_.reset();
    damaged_ = false;
    wxFileName fn(path);
    setString(K_sz, wxString::Format(wxS("%lu"), static_cast<unsigned long>(len)));
    setString(K_fname, fn.GetName() + wxS(".") + fn.GetExt());
    setString(K_m, mimeForExtension(fn.GetExt().Lower()).mime);
    setInt(K_ref, 1);
    setString(K_s, timeStamp());
    dirty_ |= DIRTY_BODY;
    touch();
    return true;
}

void Block::freeBody() {
    body_.reset();
    wide_.reset();
}

int Block::editChildren(int id, int op, int ref) {
    // A list that could not be read is never replaced by an edited empty one.
    if (!ensureHeader()) return -1;
    std::vector<int> list = getIntList(K_ch);
    auto pos = std::find(list.begin(), list.end(), id);
    switch (op) {
    case CH_PREPEND:
        list.insert(list.begin(), id);
        break;
    case CH_APPEND:
        list.push_back(id);
        break;
    case CH_MOVE_UP:
        if (pos != list.end() && pos != list.begin()) std::iter_swap(pos, pos - 1);
        break;
    case CH_MOVE_DOWN:
        if (pos != list.end() && pos + 1 != list.end()) std::iter_swap(pos, pos + 1);
        break;
    case CH_INSERT_BEFORE:
        list.insert(std::find(list.begin(), list.end(), ref), id);
        break;
    case CH_INSERT_AFTER: {
        auto r = std::find(list.begin(), list.end(), ref);
        list.insert(r == list.end() ? r : r + 1, id);
        break;
    }
    case CH_REMOVE:
        if (pos != list.end()) list.erase(pos);
        break;
    default:
        break;
    }
    setIntList(K_ch, list);
    return static_cast<int>(list.size());
}

namespace {
// Text of an external article file.  One rule for reading and writing:
// bytes that are valid UTF-8 are UTF-8, anything else is in the system code
// page (and, where even that fails, each stray byte is its Latin-1
// character, see fromUtf8).  Writing uses the code page when it holds every
// character, else UTF-8, so a file written here always reads back the same.
Bytes decodeExternal(Bytes raw) {
    if (!raw.empty() && !systemCodePageIsUtf8() && !isValidUtf8(raw.data(), raw.size())) {
        wxString s(raw.data(), wxConvLibc, raw.size());
        if (!s.empty()) raw = toUtf8(s);
    }
    // Text mode: a line end of the platform's other kind becomes a line feed.
    size_t out = 0;
    for (size_t i = 0; i < raw.size(); ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) raw[out++] = raw[i];
    raw.resize(out);
    return raw;
}

Bytes encodeExternal(const Bytes& utf8) {
    if (!utf8.empty() && !systemCodePageIsUtf8()) {
        wxCharBuffer buf = fromUtf8(utf8).mb_str(wxConvLibc);
        // Only when it reads back as the code page (not as UTF-8).
        if (buf.length() > 0 && !isValidUtf8(buf.data(), buf.length()))
            return Bytes(buf.data(), buf.length());
    }
    return utf8;
}

// Writes `data` to a new file beside `target` and renames it over the target
// in one step, so the old content stays whole until the new one is complete.
// The new file takes the old one's permissions; a symbolic link stays a link
// and its target is replaced.
bool replaceFileContent(const wxString& path, const Bytes& data) {
    wxString target;
    if (!replaceTarget(path, target)) return false;
    const wxString temp = target + wxS(".partial");
    if (!createEmptyLike(temp, target)) return false;
    wxFFile f;
    bool ok;
    {
        wxLogNull quiet;
        ok = f.Open(temp, wxS("r+b"));
    }
    ok = ok && (data.empty() || f.Write(data.data(), data.size()) == data.size());
    ok = ok && f.Flush() && ::fsync(fileno(f.fp())) == 0;
    ok = f.Close() && ok;
    if (ok) ok = renameIntoPlace(temp, target);
    if (!ok) removeWithJournal(temp);
    return ok;
}
} // namespace

void Block::loadFromUrl(const wxString& path) {
    if (body_) return;
    if (!ensureHeader()) return;
    wxFFile f;
    bool opened = false;
    // Only regular files: opening a pipe or a device named by a hostile
    // document would block or never end.
    if (isRegularFile(path)) {
        wxLogNull quiet;
        opened = f.Open(path, wxS("rb"));
    }
    Bytes raw;
    bool ok = opened;
    bool cut = false;
    if (opened) {
        wxFileOffset len = f.Length();
        if (len < 0) {
            ok = false;
        } else {
            // A file larger than any article is read only up to the limit and
            // shown as damaged: never read whole into memory.
            const size_t limit = owner_->articleLimit();
            size_t want = static_cast<size_t>(
                std::min<wxULongLong_t>(static_cast<wxULongLong_t>(len), limit));
            cut = static_cast<wxULongLong_t>(len) > limit;
            raw.resize(want);
            if (want > 0 && f.Read(raw.data(), raw.size()) != raw.size()) ok = false;
        }
    }
    if (ok) {
        body_ = std::make_unique<Body>();
        if (isRtf()) {
            body_->isText = false;
            body_->bytes = std::move(raw);
        } else {
            body_->bytes = decodeExternal(std::move(raw));
        }
        wide_.reset();
        damaged_ = cut;
        if (cut)
            wxLogMessage(wxS("Database::loadFromUrl: %s is larger than %lu bytes; only its "
                             "start is shown"),
                         path, static_cast<unsigned long>(owner_->articleLimit()));
        dirty_ &= ~DIRTY_BODY;
        touch();
        // The file is readable again: drop the marker of a missing file.
        std::string_view sz;
        if (attrs_->get(K_sz, sz) && sz == "-1") removeKey(K_sz);
        return;
    }
    if (isRtf())
        setBytes(Bytes());
    else
        setText(wxString());
    setInt(K_sz, -1);
}

bool Block::writeToUrl(const wxString& path, bool& yesToAll) {
    return writeUrl(path, yesToAll) == URL_WRITTEN;
}

Block::UrlWrite Block::writeUrl(const wxString& path, bool& yesToAll) {
    // Only what was read whole, or typed anew, may replace the file.
    if (damaged_ || bodyFailed_ || !body_) return URL_FAILED;
    if (!yesToAll) {
        const UrlWriteQuestion& ask = owner_->urlWriteQuestion();
        // Without an installed question the edits are written: the user saved them.
        int answer = ask ? ask(path) : ANSWER_SAVE_ALL;
        if (answer == ANSWER_SAVE_ALL)
            yesToAll = true;
        else if (answer != ANSWER_YES)
            return URL_DECLINED;
    }
    const Body& b = *body_;
    Bytes out = b.isText ? encodeExternal(b.bytes) : b.bytes;
    if (!replaceFileContent(path, out)) return URL_FAILED;
    dirty_ &= ~DIRTY_BODY;
    return URL_WRITTEN;
}

// ---------------------------------------------------------------------------
// Database

Database::Database(Defaults defaults) : defaults_(std::move(defaults)) {}

Database::~Database() {
    close();
}

bool Database::isOpen() const {
    return isNew_ || db_ != nullptr;
}

void Database::forgetStatements() {
    if (headStmt_) sqlite3_finalize(headStmt_);
    if (bodyStmt_) sqlite3_finalize(bodyStmt_);
    headStmt_ = bodyStmt_ = nullptr;
}

int Database::open(const wxString& path) {
    if (isOpen()) return OPEN_NOT_OPENABLE;
    clearError();
    path_ = path;
    if (!fileExists(path)) return OPEN_NOT_OPENABLE;
    Bytes upath = toUtf8(path);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(upath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return OPEN_NOT_OPENABLE;
    }
    db_ = db;
    isNew_ = false;
    applyBusyTimeout(db_);

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
    {
        Stmt st;
        if (int rc = st.prepare(db_, "select name, value from project"); rc != SQLITE_OK) {
            if (unreadable(rc)) return OPEN_NOT_OPENABLE;
            close();
            return OPEN_NOT_DOCUMENT;
        }
        int rc;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            wxString name = columnText(st.get(), 0);
            wxString value = columnText(st.get(), 1);
            int code = keyCodeOf(name);
            if (code > 0)
                project_[code] = value;
            else
                unknown_.emplace_back(name, value); // kept and written back as read
        }
        if (rc != SQLITE_DONE) wxLogMessage(wxS("Database::open Project %d"), rc);
        int fin = st.finalize();
        if (unreadable(fin)) return OPEN_NOT_OPENABLE;
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
    {
        Stmt st;
        if (int rc = st.prepare(db_, "select id, type, attr from block"); rc != SQLITE_OK) {
            if (unreadable(rc)) return OPEN_NOT_OPENABLE;
            close();
            return OPEN_NOT_DOCUMENT;
        }
        int rc;
        int badIds = 0;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            const sqlite3_int64 id64 = sqlite3_column_int64(st.get(), 0);
            if (!isValidId(id64)) {
                ++badIds; // would alias another block once cut to 32 bits
                continue;
            }
            const int id = static_cast<int>(id64);
            int type = sqlite3_column_int(st.get(), 1);
            int attr = sqlite3_column_int(st.get(), 2);
            auto b = std::make_unique<Block>(this, id, type);
            b->compressed_ = attr & ATTR_COMPRESSED;
            b->encrypted_ = attr & ATTR_ENCRYPTED;
            b->excluded_ = attr & ATTR_EXCLUDED;
            blocks_[id] = std::move(b);
        }
        if (rc != SQLITE_DONE) {
            wxLogMessage(wxS("Database::open Block %d"), rc);
            // A block index read only in part would hide the rest of the
            // document, and later saves would build on it.
            if (unreadable(rc)) return OPEN_NOT_OPENABLE;
        }
        if (badIds)
            wxLogMessage(wxS("Database::open: %d block(s) with an id outside 1..2147483647 are "
                             "damaged and left out"),
                         badIds);
    }
    {
        Stmt st(db_, "select max(id) from block where id between 1 and 2147483647");
        if (st && sqlite3_step(st.get()) == SQLITE_ROW) {
            maxId_ = static_cast<int>(sqlite3_column_int64(st.get(), 0));
        } else {
            wxLogMessage(wxS("Database::open MaxID %d"), db_ ? sqlite3_errcode(db_) : 0);
            maxId_ = 1;
        }
        // Whatever the table says, never hand out an id that is in use.
        if (!blocks_.empty()) maxId_ = std::max(maxId_, blocks_.rbegin()->first);
    }
    return OPEN_OK;
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
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
    isNew_ = false;
    path_.clear();
    cipher_.reset();
    project_.clear();
    unknown_.clear();
    projectDirty_ = false;
    blocks_.clear();
    touched_.clear();
    deleted_.clear();
}

bool Database::isModified() const {
    if (projectDirty_ || !deleted_.empty()) return true;
    for (int id : touched_) {
        Block* b = findBlock(id);
        if (b && b->dirty_) return true;
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
    if (project_.erase(code)) projectDirty_ = true;
}
void Database::newDbid() {
    setString(K_dbid, newGuidText());
}

// --- blocks

Block* Database::findBlock(int id) const {
    auto it = blocks_.find(id);
    return it == blocks_.end() ? nullptr : it->second.get();
}

Block* Database::getBlock(int id) {
    Block* b = findBlock(id);
    if (b) b->loadHeader(); // tries again after an earlier failure
    return b;
}

Block* Database::newNode(int parentId) {
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
    return raw;
}

Block* Database::newObject(const wxString& mime) {
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
    return raw;
}

void Database::deleteBlock(int id) {
    auto it = blocks_.find(id);
    if (it == blocks_.end()) return;
    std::unique_ptr<Block> b = std::move(it->second);
    blocks_.erase(it);
    touched_.erase(id);
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

void Database::applyBusyTimeout(sqlite3* db) const {
    if (db) sqlite3_busy_timeout(db, busyTimeout_);
}

void Database::setBusyTimeout(int ms) {
    busyTimeout_ = ms;
    applyBusyTimeout(db_);
}

Database::ReadResult Database::readRaw(sqlite3_stmt*& cached, const char* sql, int id, Bytes& out,
                                       size_t limit, bool* cut) {
    out.clear();
    if (cut) *cut = false;
    if (!db_) return READ_FAILED;
    // Header and body reads run once per block: keep both statements prepared.
    if (!cached) cached = sql_prepare(db_, sql);
    if (!cached) return READ_FAILED;
    sqlite3_bind_int(cached, 1, id);
    int rc = sqlite3_step(cached);
    ReadResult result = READ_FAILED;
    if (rc == SQLITE_ROW) {
        bool over = false;
        out = columnBytes(cached, 0, limit, over);
        if (cut) *cut = over;
        result = READ_ROW;
    } else if (rc == SQLITE_DONE) {
        result = READ_MISSING;
    }
    sqlite3_reset(cached);
    return result;
}

bool Database::readHead(Block& block) {
    Bytes raw;
    bool cut = false;
    ReadResult r = readRaw(headStmt_, "select hdr from block where id=?", block.id_, raw,
                           std::max(articleLimit_, kMaxArticleBytes), &cut);
    if (r == READ_FAILED || cut) {
        // Left unloaded: an empty map here would be saved over the real one.
        const int rc = cut ? SQLITE_TOOBIG : (db_ ? sqlite3_errcode(db_) : SQLITE_MISUSE);
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
    *block.attrs_ = decodeHeaderValues(std::move(raw), cipher_.get());
    return true;
}

bool Database::readBody(Block& block) {
    if (!block.ensureHeader()) return false;
    const bool text = block.type_ == BT_NODE && !block.isRtf();
    auto body = std::make_unique<Body>();
    body->isText = text;
    if (block.dirty_ & DIRTY_NEW) { // nothing in the file yet
        block.body_ = std::move(body);
        return true;
    }
    const size_t limit = block.type_ == BT_NODE ? articleLimit_ : kMaxObjectBytes;
    Bytes raw;
    bool cut = false;
    ReadResult r = readRaw(bodyStmt_, "select body from block where id=?", block.id_, raw,
                           limit, &cut);
    if (r == READ_FAILED) {
        const int rc = db_ ? sqlite3_errcode(db_) : SQLITE_MISUSE;
        wxLogMessage(wxS("Database::readBody %d"), rc);
        noteError("readBody", rc,
                  wxString::Format(wxS("the article of block %d could not be read: %s"),
                                   block.id_, sqliteReason(rc)));
        return false;
    }
    if (r == READ_MISSING) wxLogMessage(wxS("Database::readBody %d"), SQLITE_DONE);
    // A stored body cut at the limit cannot be decrypted or inflated whole.
    DecodedBody d = cut ? DecodedBody{Bytes(), true}
                        : decodeBody(std::move(raw), block.compressed_, cipher_.get(), limit);
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

// --- writing

bool Database::createFile(const wxString& path, sqlite3** out) {
    *out = nullptr;
    if (fileExists(path)) {
        wxLogNull quiet;
        if (!wxRemoveFile(path)) return false;
    }
    Bytes upath = toUtf8(path);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(upath.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    bool ok = sql_exec(db, "begin transaction") == 0 &&
              sql_exec(db, "create table project (name TEXT, value TEXT)") == 0 &&
              sql_exec(db, "create table block (id INTEGER PRIMARY KEY, type SMALLINT, attr "
                           "INTEGER, hdr BLOB, body BLOB)") == 0 &&
              sql_exec(db, "commit") == 0;
    if (!ok) {
        sqlite3_close(db);
        wxLogNull quiet;
        wxRemoveFile(path);
        return false;
    }
    applyBusyTimeout(db);
    *out = db;
    return true;
}

bool Database::saveProject() {
    setString(K_s, timeStamp());
    if (sql_exec(db_, "delete from project") != 0) return false;
    Stmt st;
    if (st.prepare(db_, "insert into project values (?, ?)") != SQLITE_OK) {
        wxLogMessage(wxS("Database::sql_prepare %d: %s"), sqlite3_errcode(db_), errorText(db_));
        return false;
    }
    bool ok = true;
    auto insert = [&](const wxString& name, const wxString& value) {
        if (!ok) return;
        sqlite3_reset(st.get());
        int rc = bindText(st.get(), 1, name);
        if (rc == SQLITE_OK) rc = bindText(st.get(), 2, value);
        if (rc == SQLITE_OK) rc = sqlite3_step(st.get());
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
    if (st.prepare(db_, "delete from block where id=?") != SQLITE_OK) {
        wxLogMessage(wxS("Database::sql_prepare %d: %s"), sqlite3_errcode(db_), errorText(db_));
        return false;
    }
    bool ok = true;
    for (const auto& b : deleted_) {
        sqlite3_reset(st.get());
        sqlite3_bind_int(st.get(), 1, b->id_);
        int rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE) {
            wxLogMessage(wxS("Database::exec_delete_blocks %d"), rc);
            noteError("deleteBlocks", rc);
            ok = false;
        }
    }
    return ok;
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
        rc = st.prepare(db_, "insert into block values (?, ?, ?, ?, ?)");
    else if (body)
        rc = st.prepare(db_, "update block set attr=?, hdr=?, body=? where id=?");
    else
        rc = st.prepare(db_, "update block set attr=?, hdr=? where id=?");
    // Every bind is checked: a blob SQLite refuses must fail the save, not
    // leave the column empty.
    int col = 1;
    auto bindInt = [&](int v) {
        if (rc == SQLITE_OK) rc = sqlite3_bind_int(st.get(), col++, v);
    };
    auto bindBytes = [&](const Bytes& b) {
        if (rc == SQLITE_OK) rc = bindBlob(st.get(), col++, b);
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
    if (rc == SQLITE_OK) rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE) {
        wxLogMessage(wxS("Database::saveOneBlock %s %d"), wxString::FromAscii(what), rc);
        noteError("saveOneBlock", rc,
                  wxString::Format(wxS("block %d could not be written: %s"), block.id_,
                                   sqliteReason(rc)));
        return false;
    }
    // An update that found no row wrote nothing: another program removed the
    // block, and the edit would be lost while the save claims success.
    if (!insert && sqlite3_changes(db_) == 0) {
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
        Bytes hdr = encodeHeader(*block.attrs_, cipher_.get());
        return writeBlockRow(block, hdr, nullptr, cipher_.get());
    }
    if (block.damaged_ && !(d & DIRTY_BODY) && !(d & DIRTY_NEW)) {
        // The stored body could not be read whole: leave those bytes alone.
        Bytes hdr = encodeHeader(*block.attrs_, cipher_.get());
        return writeBlockRow(block, hdr, nullptr, cipher_.get());
    }
    // The body first, so that the header carries its size.
    if (block.bodyFailed_ && !block.body_) return false;
    Bytes body = encodeBody(block, cipher_.get(), getInt(K_comp) != 0);
    Bytes hdr = encodeHeader(*block.attrs_, cipher_.get());
    return writeBlockRow(block, hdr, &body, cipher_.get());
}

void Database::clearAfterWrite() {
    projectDirty_ = false;
    deleted_.clear();
}

bool Database::writeAll(bool& yesToAll) {
    // The write lock first, so that another writer waits instead of failing
    // halfway; a caller of beginWrite() holds it already.
    if (sqlite3_get_autocommit(db_) && sql_exec(db_, "begin immediate") != 0) {
        noteError("save", sqlite3_errcode(db_));
        return false;
    }
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
            if (!url.empty() && b.getString(K_sz) != wxS("-1") &&
                b.writeUrl(url, yesToAll) == Block::URL_FAILED)
                unwritten.insert(id);
        }
        if (!saveOneBlock(b)) ok = false;
    }
    if (ok && sql_exec(db_, "commit") == 0) {
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
            noteError("writeToUrl", 0,
                      wxString::Format(wxS("%d external article file(s) could not be written"),
                                       failed));
        }
        return failed == 0;
    }
    if (!error_) noteError("save", sqlite3_errcode(db_));
    sql_exec(db_, "rollback");
    return false;
}

bool Database::save() {
    clearError();
    if (!(isNew_ || db_) || path_.empty()) return false;
    if (isNew_) {
        sqlite3* db = nullptr;
        if (!createFile(path_, &db)) return false;
        db_ = db;
        isNew_ = false;
    }
    bool yesToAll = false;
    return writeAll(yesToAll);
}

bool Database::copyTo(const wxString& newPath) {
    if (!(isNew_ || db_) || path_.empty()) return false;
    if (!save()) return false;
    sqlite3* out = nullptr;
    if (!createFile(newPath, &out)) {
        noteError("copyTo", 0, newPath + wxS(" could not be created"));
        return false;
    }
    bool ok = sql_exec(out, "begin transaction") == 0;
    if (ok) {
        Stmt rd(db_, "select name, value from project");
        Stmt wr(out, "insert into project values (?, ?)");
        ok = rd && wr;
        int rc = SQLITE_DONE;
        while (ok && (rc = sqlite3_step(rd.get())) == SQLITE_ROW) {
            sqlite3_reset(wr.get());
            sqlite3_bind_value(wr.get(), 1, sqlite3_column_value(rd.get(), 0));
            sqlite3_bind_value(wr.get(), 2, sqlite3_column_value(rd.get(), 1));
            ok = sqlite3_step(wr.get()) == SQLITE_DONE;
        }
        ok = ok && rc == SQLITE_DONE;
        ok = (sql_exec(out, "commit") == 0) && ok;
    }
    if (ok) ok = sql_exec(out, "begin transaction") == 0;
    if (ok) {
        Stmt rd(db_, "select id, type, attr, hdr, body from block order by id");
        Stmt wr(out, "insert into block values (?, ?, ?, ?, ?)");
        ok = rd && wr;
        int rc = SQLITE_DONE;
        while (ok && (rc = sqlite3_step(rd.get())) == SQLITE_ROW) {
            sqlite3_reset(wr.get());
            // Values as stored: an id is never cut to 32 bits.
            sqlite3_bind_value(wr.get(), 1, sqlite3_column_value(rd.get(), 0));
            sqlite3_bind_value(wr.get(), 2, sqlite3_column_value(rd.get(), 1));
            sqlite3_bind_value(wr.get(), 3, sqlite3_column_value(rd.get(), 2));
            sqlite3_bind_value(wr.get(), 4, sqlite3_column_value(rd.get(), 3));
            sqlite3_bind_value(wr.get(), 5, sqlite3_column_value(rd.get(), 4));
            ok = sqlite3_step(wr.get()) == SQLITE_DONE;
        }
        ok = ok && rc == SQLITE_DONE;
        ok = (sql_exec(out, "commit") == 0) && ok;
    }
    if (!ok) noteError("copyTo", sqlite3_errcode(out));
    ok = (sqlite3_close(out) == SQLITE_OK) && ok;
    if (!ok) {
        if (!error_) noteError("copyTo", 0, newPath + wxS(" could not be completed"));
        // An incomplete copy is worse than none; the document stays open.
        wxLogNull quiet;
        wxRemoveFile(newPath);
        return false;
    }
    forgetStatements();
    sqlite3_close(db_);
    db_ = nullptr;
    deleted_.clear();
    return true;
}

bool Database::reopen() {
    if (db_) return true;
    if (!fileExists(path_)) return false;
    Bytes upath = toUtf8(path_);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(upath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        wxLogMessage(wxS("Database::reopen %d"), rc);
        sqlite3_close(db);
        return false;
    }
    applyBusyTimeout(db);
    db_ = db;
    isNew_ = false;
    return true;
}

bool Database::changeCipher(std::unique_ptr<BlockCipher> cipher, const wxString& password) {
    clearError();
    if (!isNew_ && !db_) {
        // Nothing to rewrite: saying "protected" here would be a lie.
        noteError("changeCipher", SQLITE_MISUSE, wxS("no document file is open"));
        return false;
    }
    const wxString oldAlgo = getString(K_c_algo), oldPwd = getString(K_pwd);
    const bool hadAlgo = project_.count(K_c_algo), hadPwd = project_.count(K_pwd);
    const bool wasDirty = projectDirty_;
    if (cipher) {
        setString(K_c_algo, cipher->algoText());
        setString(K_pwd, passwordVerifier(password, dbid()));
    } else {
        removeKey(K_c_algo);
        removeKey(K_pwd);
    }
    if (isNew_) {
        cipher_ = std::move(cipher);
        for (auto& [id, b] : blocks_)
            b->encrypted_ = cipher_ != nullptr;
        return true;
    }

    const BlockCipher* oldC = cipher_.get();
    const BlockCipher* newC = cipher.get();
    bool ok = sql_exec(db_, "begin transaction") == 0;
    if (ok && !saveProject()) ok = false;
    if (ok && !execDeleteBlocks()) ok = false;
    bool yesToAll = false;
    // Stored bytes carried over unchanged: decrypted with the old key, then
    // enciphered with the new one (no decoding in between).  A failed read
    // fails the whole rewrite: an empty value must never be written back.
    sqlite3_stmt* rawHead = nullptr;
    sqlite3_stmt* rawBody = nullptr;
    auto rekey = [&](sqlite3_stmt*& cached, const char* sql, int blockId, bool body, Bytes& raw) {
        if (readRaw(cached, sql, blockId, raw, SIZE_MAX) == READ_FAILED) {
            const int rc = sqlite3_errcode(db_);
            noteError("changeCipher", rc,
                      wxString::Format(wxS("block %d could not be read: %s"), blockId,
                                       sqliteReason(rc)));
            return false;
        }
        if (raw.empty()) return true;
        if (oldC) {
            oldC->crypt(raw);
            if (body ? oldC->reverseBody() : oldC->reverseHeader())
                std::reverse(raw.begin(), raw.end());
        }
        if (newC) {
            if (body ? newC->reverseBody() : newC->reverseHeader())
                std::reverse(raw.begin(), raw.end());
            newC->crypt(raw);
        }
        return true;
    };
    for (auto& [id, bp] : blocks_) {
        if (!ok) break;
        Block& b = *bp;
        const bool known = b.type_ == BT_NODE || b.type_ == BT_OBJECT;
        // Read with the old key; a header that cannot be read stops the rewrite.
        if (known && !b.loadHeader()) {
            ok = false;
            break;
        }
        Bytes body;
        if ((b.dirty_ & (DIRTY_BODY | DIRTY_NEW)) && known) {
            if (b.type_ == BT_NODE && !b.getString(K_url).empty() && b.getString(K_sz) != wxS("-1"))
                b.writeToUrl(b.getString(K_url), yesToAll);
            body = encodeBody(b, newC, getInt(K_comp) != 0);
        } else if (!(b.dirty_ & DIRTY_NEW)) {
            // An unchanged body keeps its stored bytes, still compressed, so
            // that nothing is re-encoded from a partial reading.
            if (!rekey(rawBody, "select body from block where id=?", b.id_, true, body)) {
                ok = false;
                break;
            }
        }
        // Rows of unknown kinds keep their header bytes too, only re-keyed.
        Bytes hdr;
        if (known)
            hdr = encodeHeader(*b.attrs_, newC);
        else if (!rekey(rawHead, "select hdr from block where id=?", b.id_, false, hdr)) {
            ok = false;
            break;
        }
        if (!writeBlockRow(b, hdr, &body, newC)) ok = false;
    }
    sqlite3_finalize(rawHead);
    sqlite3_finalize(rawBody);
    if (ok && sql_exec(db_, "commit") == 0) {
        for (auto& [id, b] : blocks_) {
            b->dirty_ = 0;
            b->encrypted_ = newC != nullptr;
            b->freeBody();
        }
        touched_.clear();
        clearAfterWrite();
        cipher_ = std::move(cipher);
    } else {
        if (!error_) noteError("changeCipher", sqlite3_errcode(db_));
        sql_exec(db_, "rollback");
        // Nothing changed on disk: keep the old protection and every edit.
        if (hadAlgo)
            project_[K_c_algo] = oldAlgo;
        else
            project_.erase(K_c_algo);
        if (hadPwd)
            project_[K_pwd] = oldPwd;
        else
            project_.erase(K_pwd);
        projectDirty_ = wasDirty;
        return false;
    }

    // Squeeze the rewritten file: the old ciphertext must not linger in free pages.
    wxString tmp = path_ + wxS(".$$$");
    removeWithJournal(tmp); // left by a run that was killed
    if (copyTo(tmp)) {
        wxString why;
        if (!renameIntoPlace(tmp, path_, &why)) {
            wxLogMessage(wxS("Database::changeCipher rename: %s"), why);
            removeWithJournal(tmp);
        }
        reopen();
    }
    return true;
}

std::unique_ptr<BlockCipher> makeDocumentCipher(const Database& db, const wxString& password,
                                                const wxString& options) {
    auto c = std::make_unique<BlockCipher>();
    c->setKey(cipherKeyMaterial(db.dbid(), password, db.getString(K_c)));
    c->setOptions(options);
    return c;
}

namespace {
// c_algo split at ",", missing pieces empty.
wxArrayString algoParts(const Database& db) {
    wxArrayString parts = wxSplit(db.getString(K_c_algo), ',', 0);
    while (parts.size() < 3)
        parts.push_back(wxString());
    return parts;
}
} // namespace

bool hasSupportedAlgorithms(const Database& db) {
    wxArrayString parts = algoParts(db);
    return isSupportedAlgorithm(parts[0]) && isSupportedAlgorithm(parts[1]);
}

Unlock unlockDocument(Database& db, const wxString& password) {
    if (!db.isProtected()) return Unlock::NotProtected;
    if (!hasSupportedAlgorithms(db)) return Unlock::Unsupported;
    if (passwordVerifier(password, db.dbid()) != db.getString(K_pwd)) return Unlock::WrongPassword;
    db.setCipher(makeDocumentCipher(db, password, algoParts(db)[2]));
    return Unlock::Ok;
}

ReadBatch::ReadBatch(Database& db) {
    sqlite3* h = db.handle();
    if (h && sqlite3_get_autocommit(h) && sql_exec(h, "begin transaction") == 0) db_ = h;
}

ReadBatch::~ReadBatch() {
    if (db_) sql_exec(db_, "commit");
}

} // namespace qn
