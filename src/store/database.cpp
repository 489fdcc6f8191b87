#include "store/database.h"

#include "store/safe_file.h"

#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/strconv.h>
#include <wx/arrstr.h>

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <set>
#include <string_view>
#include <system_error>
#include <filesystem>

namespace qn {

namespace {

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

void bindBlob(sqlite3_stmt* st, int col, const Bytes& b) {
    // A zero-length blob, never NULL, so that readers always get a blob.
    sqlite3_bind_blob(st, col, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
}

void bindText(sqlite3_stmt* st, int col, const wxString& s) {
    Bytes u = toUtf8(s);
    sqlite3_bind_text(st, col, u.data(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
}

wxString columnText(sqlite3_stmt* st, int col) {
    const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    int n = sqlite3_column_bytes(st, col);
    return p ? fromUtf8(p, static_cast<size_t>(n)) : wxString();
}

Bytes columnBytes(sqlite3_stmt* st, int col) {
    const void* p = sqlite3_column_blob(st, col);
    int n = sqlite3_column_bytes(st, col);
    if (!p || n <= 0) return Bytes();
    return Bytes(static_cast<const char*>(p), static_cast<size_t>(n));
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

[[maybe_unused]] std::filesystem::path fsPath(const wxString& p) {
    return std::filesystem::path(std::string(p.fn_str()));
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

void Block::ensureHeader() {
    if (attrs_) return;
    attrs_ = std::make_unique<AttrMap>();
    if (!(dirty_ & DIRTY_NEW)) owner_->readHead(*this);
}

const AttrMap& Block::attributes() {
    ensureHeader();
    return *attrs_;
}

bool Block::hasOwn(int code) {
    ensureHeader();
    return attrs_->count(code) != 0;
}

wxString Block::getString(int code) {
    ensureHeader();
    auto it = attrs_->find(code);
    if (it != attrs_->end()) return it->second;
    return owner_->getString(code);
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
    ensureHeader();
    (*attrs_)[code] = sanitizeValue(text);
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
    ensureHeader();
    if (attrs_->erase(code)) markHeader();
}

const Body& Block::body() {
    if (!body_) {
        ensureHeader();
        wxString url = isNode() ? getString(K_url) : wxString();
        if (!url.empty())
            loadFromUrl(url);
        else
            owner_->readBody(*this);
        if (!body_) body_ = std::make_unique<Body>();
        touch();
    }
    return *body_;
}

size_t Block::bodyLength() {
    const Body& b = body();
    return b.isText ? b.text.length() : b.bytes.size();
}

void Block::setText(const wxString& text) {
    ensureHeader();
    body_ = std::make_unique<Body>();
    body_->isText = true;
    body_->text = text;
    damaged_ = false; // a new body replaces whatever could not be read
    dirty_ |= DIRTY_BODY;
    touch();
    setUInt(K_sz, text.length());
    setString(K_s, timeStamp());
}

void Block::setBytes(const Bytes& bytes) {
    ensureHeader();
    body_ = std::make_unique<Body>();
    body_->isText = false;
    body_->bytes = bytes;
    damaged_ = false;
    dirty_ |= DIRTY_BODY;
    touch();
    setString(K_sz, wxString::Format(wxS("%u"), static_cast<unsigned>(bytes.size())));
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
    Bytes data(static_cast<size_t>(len), '\0');
    if (len > 0 && f.Read(data.data(), data.size()) != data.size()) return false;
    ensureHeader();
    body_ = std::make_unique<Body>();
    body_->isText = false;
    body_->bytes = std::move(data);
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
}

int Block::editChildren(int id, int op, int ref) {
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
// Text of an external file in the system code page, with a fallback so that
// nothing is lost when the locale cannot represent it.
wxString decodeExternal(const Bytes& raw) {
    if (raw.empty()) return wxString();
    wxString s(raw.data(), wxConvLibc, raw.size());
    if (s.empty()) s = wxString::FromUTF8(raw.data(), raw.size());
    if (s.empty()) s = wxString(raw.data(), wxConvISO8859_1, raw.size());
    s.Replace(wxS("\r\n"), wxS("\n"));
    return s;
}

Bytes encodeExternal(const wxString& text) {
    if (text.empty()) return Bytes();
    wxCharBuffer buf = text.mb_str(wxConvLibc);
    if (buf.length() == 0) buf = text.utf8_str(); // not representable: keep it as UTF-8
    return Bytes(buf.data(), buf.length());
}
} // namespace

void Block::loadFromUrl(const wxString& path) {
    if (body_) return;
    ensureHeader();
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
    if (opened) {
        wxFileOffset len = f.Length();
        if (len < 0) {
            ok = false;
        } else {
            raw.resize(static_cast<size_t>(len));
            if (len > 0 && f.Read(raw.data(), raw.size()) != raw.size()) ok = false;
        }
    }
    if (ok) {
        body_ = std::make_unique<Body>();
        if (isRtf()) {
            body_->isText = false;
            body_->bytes = std::move(raw);
        } else {
            body_->text = decodeExternal(raw);
        }
        dirty_ &= ~DIRTY_BODY;
        touch();
        // The file is readable again: drop the marker of a missing file.
        if (attrs_->count(K_sz) && (*attrs_)[K_sz] == wxS("-1")) removeKey(K_sz);
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
    if (!yesToAll) {
        const UrlWriteQuestion& ask = owner_->urlWriteQuestion();
        // Without an installed question the edits are written: the user saved them.
        int answer = ask ? ask(path) : ANSWER_SAVE_ALL;
        if (answer == ANSWER_SAVE_ALL)
            yesToAll = true;
        else if (answer != ANSWER_YES)
            return URL_DECLINED;
    }
    const Body& b = body();
    Bytes out = b.isText ? encodeExternal(b.text) : b.bytes;
    if (wxFileName::Exists(path) && !isRegularFile(path)) return URL_FAILED;
    wxFFile f;
    {
        wxLogNull quiet;
        if (!f.Open(path, wxS("wb"))) return URL_FAILED;
    }
    bool ok = out.empty() || f.Write(out.data(), out.size()) == out.size();
    ok = f.Close() && ok;
    if (!ok) return URL_FAILED;
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
    sqlite3_busy_timeout(db_, 2000);

    {
        Stmt st;
        if (st.prepare(db_, "select name, value from project") != SQLITE_OK) {
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
        if (fin == SQLITE_BUSY || fin == SQLITE_ERROR) {
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
        if (st.prepare(db_, "select id, type, attr from block") != SQLITE_OK) {
            close();
            return OPEN_NOT_DOCUMENT;
        }
        int rc;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            int id = sqlite3_column_int(st.get(), 0);
            int type = sqlite3_column_int(st.get(), 1);
            int attr = sqlite3_column_int(st.get(), 2);
            auto b = std::make_unique<Block>(this, id, type);
            b->compressed_ = attr & ATTR_COMPRESSED;
            b->encrypted_ = attr & ATTR_ENCRYPTED;
            b->excluded_ = attr & ATTR_EXCLUDED;
            blocks_[id] = std::move(b);
        }
        if (rc != SQLITE_DONE) wxLogMessage(wxS("Database::open Block %d"), rc);
    }
    {
        Stmt st(db_, "select max(id) from block");
        if (st && sqlite3_step(st.get()) == SQLITE_ROW) {
            maxId_ = sqlite3_column_int(st.get(), 0);
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
    if (b) b->ensureHeader();
    return b;
}

Block* Database::newNode(int parentId) {
    int id = ++maxId_;
    auto b = std::make_unique<Block>(this, id, BT_NODE);
    b->encrypted_ = cipher_ != nullptr;
    b->dirty_ = DIRTY_NEW | DIRTY_HEADER;
    b->attrs_ = std::make_unique<AttrMap>();
    wxString now = timeStamp();
    AttrMap& a = *b->attrs_;
    a[K_p] = wxString::Format(wxS("%d"), parentId);
    a[K_c] = now;
    a[K_s] = now;
    a[K_ch] = wxString();
    a[K_m] = wxS("text/plain");
    b->body_ = std::make_unique<Body>();
    Block* raw = b.get();
    blocks_[id] = std::move(b);
    touched_.insert(id);
    return raw;
}

Block* Database::newObject(const wxString& mime) {
    int id = ++maxId_;
    auto b = std::make_unique<Block>(this, id, BT_OBJECT);
    b->encrypted_ = cipher_ != nullptr;
    b->dirty_ = DIRTY_NEW | DIRTY_HEADER;
    b->attrs_ = std::make_unique<AttrMap>();
    wxString now = timeStamp();
    AttrMap& a = *b->attrs_;
    a[K_c] = now;
    a[K_s] = now;
    a[K_ref] = wxS("0");
    a[K_m] = sanitizeValue(mime);
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

void Database::deleteSubtree(int id) {
    // Depth first, children in display order, the node itself last; each id
    // once, so that a damaged document whose child lists loop still ends.
    std::set<int> seen;
    struct Frame {
        int id;
        std::vector<int> children;
        size_t next;
    };
    std::vector<Frame> stack;
    std::vector<int> order;
    seen.insert(id);
    Block* root = getBlock(id);
    stack.push_back({id, root ? root->getIntList(K_ch) : std::vector<int>{}, 0});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next < f.children.size()) {
            int child = f.children[f.next++];
            if (!seen.insert(child).second) continue;
            Block* cb = getBlock(child);
            stack.push_back({child, cb ? cb->getIntList(K_ch) : std::vector<int>{}, 0});
        } else {
            order.push_back(f.id);
            stack.pop_back();
        }
    }
    for (int victim : order)
        deleteBlock(victim);
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

bool Database::readRaw(const char* sql, int id, Bytes& out, bool& found) {
    found = false;
    out.clear();
    if (!db_) return false;
    // Header and body reads run once per block: keep both statements prepared.
    sqlite3_stmt*& cached = std::strstr(sql, "hdr") ? headStmt_ : bodyStmt_;
    if (!cached) cached = sql_prepare(db_, sql);
    if (!cached) return false;
    sqlite3_bind_int(cached, 1, id);
    int rc = sqlite3_step(cached);
    if (rc == SQLITE_ROW) {
        found = true;
        out = columnBytes(cached, 0);
    }
    sqlite3_reset(cached);
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

void Database::readHead(Block& block) {
    if (!block.attrs_) block.attrs_ = std::make_unique<AttrMap>();
    Bytes raw;
    bool found;
    readRaw("select hdr from block where id=?", block.id_, raw, found);
    if (!found) {
        wxLogMessage(wxS("Database::readHead %d"), db_ ? sqlite3_errcode(db_) : SQLITE_MISUSE);
        return;
    }
    *block.attrs_ = decodeHeader(std::move(raw), cipher_.get());
}

void Database::readBody(Block& block) {
    block.ensureHeader();
    Bytes raw;
    bool found;
    readRaw("select body from block where id=?", block.id_, raw, found);
    if (!found)
        wxLogMessage(wxS("Database::readBody %d"), db_ ? sqlite3_errcode(db_) : SQLITE_MISUSE);
    DecodedBody d = decodeBody(std::move(raw), block.compressed_, cipher_.get());
    if (d.damaged) {
        block.damaged_ = true;
        wxLogMessage(wxS("Database::readBody %d: the stored body of block %d is incomplete"),
                     SQLITE_CORRUPT, block.id_);
    }
    auto body = std::make_unique<Body>();
    if (block.type_ == BT_NODE && !block.isRtf()) {
        body->isText = true;
        body->text = fromUtf8(d.plain);
    } else {
        body->isText = false;
        body->bytes = std::move(d.plain);
    }
    block.body_ = std::move(body);
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
    sqlite3_busy_timeout(db, 2000);
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
        sqlite3_reset(st.get());
        bindText(st.get(), 1, name);
        bindText(st.get(), 2, value);
        int rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE) {
            wxLogMessage(wxS("Database::saveProject %d"), rc);
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
            ok = false;
        }
    }
    return ok;
}

bool Database::writeBlockRow(Block& block, const Bytes& hdr, const Bytes* body,
                             const BlockCipher* cipher) {
    int attr = (block.compressed_ ? ATTR_COMPRESSED : 0) | (cipher ? ATTR_ENCRYPTED : 0) |
               (block.excluded_ ? ATTR_EXCLUDED : 0);
    Stmt st;
    int rc;
    if (block.dirty_ & DIRTY_NEW) {
        st.prepare(db_, "insert into block values (?, ?, ?, ?, ?)");
        if (!st) {
            wxLogMessage(wxS("Database::saveOneBlock insert %d"), sqlite3_errcode(db_));
            return false;
        }
        sqlite3_bind_int(st.get(), 1, block.id_);
        sqlite3_bind_int(st.get(), 2, block.type_);
        sqlite3_bind_int(st.get(), 3, attr);
        bindBlob(st.get(), 4, hdr);
        bindBlob(st.get(), 5, body ? *body : Bytes());
        rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE) {
            wxLogMessage(wxS("Database::saveOneBlock insert %d"), rc);
            return false;
        }
        return true;
    }
    if (body) {
        st.prepare(db_, "update block set attr=?, hdr=?, body=? where id=?");
        if (st) {
            sqlite3_bind_int(st.get(), 1, attr);
            bindBlob(st.get(), 2, hdr);
            bindBlob(st.get(), 3, *body);
            sqlite3_bind_int(st.get(), 4, block.id_);
        }
    } else {
        st.prepare(db_, "update block set attr=?, hdr=? where id=?");
        if (st) {
            sqlite3_bind_int(st.get(), 1, attr);
            bindBlob(st.get(), 2, hdr);
            sqlite3_bind_int(st.get(), 3, block.id_);
        }
    }
    rc = st ? sqlite3_step(st.get()) : sqlite3_errcode(db_);
    if (rc != SQLITE_DONE) {
        wxLogMessage(wxS("Database::saveOneBlock update %d"), rc);
        return false;
    }
    return true;
}

bool Database::saveOneBlock(Block& block) {
    int d = block.dirty_ & (DIRTY_HEADER | DIRTY_BODY | DIRTY_NEW);
    if (d == 0) return true;
    if (block.type_ != BT_NODE && block.type_ != BT_OBJECT && !(d & DIRTY_NEW))
        return true; // rows of unknown kinds are never rewritten
    block.ensureHeader();
    if (d == DIRTY_HEADER) {
        // Header-only change: keep the time of the last body change before ";".
        auto it = block.attrs_->find(K_s);
        wxString prev = it == block.attrs_->end() ? wxString() : it->second.Left(19);
        (*block.attrs_)[K_s] = prev.empty() ? timeStamp() : prev + wxS(";") + timeStamp();
        Bytes hdr = encodeHeader(*block.attrs_, cipher_.get());
        return writeBlockRow(block, hdr, nullptr, cipher_.get());
    }
    if (block.damaged_ && !(d & DIRTY_BODY) && !(d & DIRTY_NEW)) {
        // The stored body could not be read whole: leave those bytes alone.
        Bytes hdr = encodeHeader(*block.attrs_, cipher_.get());
        return writeBlockRow(block, hdr, nullptr, cipher_.get());
    }
    // The body first, so that the header carries its size.
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
    if (sqlite3_get_autocommit(db_) && sql_exec(db_, "begin immediate") != 0) return false;
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
        touched_ = std::move(unwritten);
        clearAfterWrite();
        if (!unwritten.empty())
            wxLogMessage(wxS("Database::save: %d external article file(s) could not be written"),
                         static_cast<int>(unwritten.size()));
        return unwritten.empty();
    }
    sql_exec(db_, "rollback");
    return false;
}

bool Database::save() {
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
    if (!createFile(newPath, &out)) return false;
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
            sqlite3_bind_int(wr.get(), 1, sqlite3_column_int(rd.get(), 0));
            sqlite3_bind_int(wr.get(), 2, sqlite3_column_int(rd.get(), 1));
            sqlite3_bind_int(wr.get(), 3, sqlite3_column_int(rd.get(), 2));
            sqlite3_bind_value(wr.get(), 4, sqlite3_column_value(rd.get(), 3));
            sqlite3_bind_value(wr.get(), 5, sqlite3_column_value(rd.get(), 4));
            ok = sqlite3_step(wr.get()) == SQLITE_DONE;
        }
        ok = ok && rc == SQLITE_DONE;
        ok = (sql_exec(out, "commit") == 0) && ok;
    }
    ok = (sqlite3_close(out) == SQLITE_OK) && ok;
    if (!ok) {
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
    sqlite3_busy_timeout(db, 2000);
    db_ = db;
    isNew_ = false;
    return true;
}

bool Database::changeCipher(std::unique_ptr<BlockCipher> cipher, const wxString& password) {
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
    if (isNew_ || !db_) {
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
    // enciphered with the new one (no decoding in between).
    auto rekey = [&](const char* sql, int blockId, bool body) {
        Bytes raw;
        bool found;
        readRaw(sql, blockId, raw, found);
        if (raw.empty()) return raw;
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
        return raw;
    };
    for (auto& [id, bp] : blocks_) {
        if (!ok) break;
        Block& b = *bp;
        b.ensureHeader(); // read with the old key
        const bool known = b.type_ == BT_NODE || b.type_ == BT_OBJECT;
        Bytes body;
        if ((b.dirty_ & (DIRTY_BODY | DIRTY_NEW)) && known) {
            if (b.type_ == BT_NODE && !b.getString(K_url).empty() && b.getString(K_sz) != wxS("-1"))
                b.writeToUrl(b.getString(K_url), yesToAll);
            body = encodeBody(b, newC, getInt(K_comp) != 0);
        } else if (!(b.dirty_ & DIRTY_NEW)) {
            // An unchanged body keeps its stored bytes, still compressed, so
            // that nothing is re-encoded from a partial reading.
            body = rekey("select body from block where id=?", b.id_, true);
        }
        // Rows of unknown kinds keep their header bytes too, only re-keyed.
        const Bytes hdr = known ? encodeHeader(*b.attrs_, newC)
                                : rekey("select hdr from block where id=?", b.id_, false);
        if (!writeBlockRow(b, hdr, &body, newC)) ok = false;
    }
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

// --- search

namespace {

// Eight bytes at a time: a body of plain ASCII is the common case.
constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHigh = 0x8080808080808080ULL;

bool isAscii(const char* p, size_t n) {
    size_t i = 0;
    uint64_t acc = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        std::memcpy(&x, p + i, 8);
        acc |= x;
    }
    for (; i < n; ++i)
        acc |= static_cast<unsigned char>(p[i]);
    return (acc & kHigh) == 0;
}
bool isAscii(const Bytes& b) {
    return isAscii(b.data(), b.size());
}

// Lower-cases A-Z of an ASCII buffer.
void asciiLower(Bytes& b) {
    size_t i = 0, n = b.size();
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        std::memcpy(&x, b.data() + i, 8);
        uint64_t geA = x + (0x80 - 'A') * kOnes; // high bit: byte >= 'A'
        uint64_t gtZ = x + (0x7F - 'Z') * kOnes; // high bit: byte > 'Z'
        x |= ((geA ^ gtZ) & kHigh) >> 2;         // 0x20 for every upper-case letter
        std::memcpy(b.data() + i, &x, 8);
    }
    for (; i < n; ++i)
        if (b[i] >= 'A' && b[i] <= 'Z') b[i] = static_cast<char>(b[i] - 'A' + 'a');
}

// Occurrences of `needle` in `text`, with snippets of up to 15 characters on
// either side that stop at line ends.
template <class Str, class Find>
void collectHits(Block* b, const Str& original, size_t needleLen, Find&& find,
                 std::vector<SearchHit>& hits, size_t& count,
                 wxString (*toText)(const Str&, size_t, size_t)) {
    size_t pos = 0;
    while ((pos = find(pos)) != Str::npos) {
        size_t start = pos;
        for (int k = 0; k < 15 && start > 0 && original[start - 1] != '\n'; ++k)
            --start;
        size_t end = pos + needleLen;
        for (int k = 0; k < 15 && end < original.length() && original[end] != '\n'; ++k)
            ++end;
        hits.push_back({b, static_cast<int>(pos), toText(original, start, end - start)});
        ++count;
        pos += needleLen;
    }
}

wxString wxPiece(const wxString& s, size_t start, size_t len) {
    return s.substr(start, len);
}
wxString bytesPiece(const std::string_view& s, size_t start, size_t len) {
    return wxString::FromAscii(s.data() + start, len);
}

// The blob of a column without copying it (valid until the next step).
std::string_view columnView(sqlite3_stmt* st, int col) {
    const void* p = sqlite3_column_blob(st, col);
    int n = sqlite3_column_bytes(st, col);
    if (!p || n <= 0) return {};
    return {static_cast<const char*>(p), static_cast<size_t>(n)};
}

} // namespace

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

std::vector<SearchHit> Database::search(const wxString& text, bool caseSensitive) {
    std::vector<SearchHit> hits;
    if (text.empty()) return hits;
    ReadBatch batch(*this);
    const wxString needle = caseSensitive ? text : text.Lower();
    const Bytes needleBytes = toUtf8(needle);
    const bool asciiNeedle = isAscii(needleBytes);
    const Bytes capName = toUtf8(keyNameOf(K_cap)), urlName = toUtf8(keyNameOf(K_url));
    Bytes hbuf, decoded, lowered; // reused for every block

    // One ordered pass over the table instead of a lookup per block; headers
    // that are not loaded yet are read from the row without being kept.
    Stmt scan;
    if (db_) scan.prepare(db_, "select id, hdr, body from block order by id");
    int rowId = 0;
    bool rowValid = false;
    auto advance = [&] {
        rowValid = scan && sqlite3_step(scan.get()) == SQLITE_ROW;
        if (rowValid) rowId = sqlite3_column_int(scan.get(), 0);
    };
    advance();

    size_t count = 0;
    for (auto& [id, bp] : blocks_) {
        Block& b = *bp;
        if (b.type_ != BT_NODE || b.excluded_) continue;
        while (rowValid && rowId < id)
            advance();
        const bool inFile = rowValid && rowId == id;

        bool capHit;
        bool external;
        if (b.attrs_ || !inFile) {
            wxString cap = b.getString(K_cap);
            if (!caseSensitive) cap.MakeLower();
            capHit = cap.find(needle) != wxString::npos;
            external = !b.getString(K_url).empty();
        } else {
            std::string_view hdr = columnView(scan.get(), 1);
            if (cipher_ && !hdr.empty()) {
                hbuf.assign(hdr.data(), hdr.size());
                cipher_->crypt(hbuf);
                if (cipher_->reverseHeader()) std::reverse(hbuf.begin(), hbuf.end());
                hdr = hbuf;
            }
            // One walk over the header for the two values the search needs.
            std::string_view capView, urlView;
            bool hasCap = false, hasUrl = false;
            forEachHeaderLine(hdr.data(), hdr.size(), [&](std::string_view k, std::string_view v) {
                if (k == capName) {
                    capView = v;
                    hasCap = true;
                } else if (k == urlName) {
                    urlView = v;
                    hasUrl = true;
                }
            });
            if (hasCap && asciiNeedle && isAscii(capView.data(), capView.size())) {
                lowered.assign(capView.data(), capView.size());
                if (!caseSensitive) asciiLower(lowered);
                capHit = lowered.find(needleBytes) != Bytes::npos;
            } else {
                wxString cap = hasCap ? fromUtf8(capView.data(), capView.size()) : getString(K_cap);
                if (!caseSensitive) cap.MakeLower();
                capHit = cap.find(needle) != wxString::npos;
            }
            external = hasUrl ? !urlView.empty() : !getString(K_url).empty();
        }
        if (capHit) {
            hits.push_back({&b, -1, wxString()});
            ++count;
        }

        // Stored bodies are scanned straight from their bytes when they are
        // plain ASCII (positions are then the same); anything else goes
        // through the text.
        std::string_view plain;
        bool scanned = false, fromRow = false;
        if (!b.body_ && !external && inFile) {
            plain = columnView(scan.get(), 2);
            if (b.compressed_ || cipher_) {
                DecodedBody d = decodeBody(Bytes(plain), b.compressed_, cipher_.get());
                if (d.damaged) b.damaged_ = true;
                decoded = std::move(d.plain);
                plain = decoded;
            }
            fromRow = true;
            if (asciiNeedle && isAscii(plain.data(), plain.size())) {
                std::string_view hay = plain;
                if (!caseSensitive) {
                    lowered.assign(plain.data(), plain.size());
                    asciiLower(lowered);
                    hay = lowered;
                }
                const std::string_view nb(needleBytes);
                collectHits<std::string_view>(
                    &b, plain, nb.size(), [&](size_t from) { return hay.find(nb, from); }, hits,
                    count, bytesPiece);
                scanned = true;
            }
        }
        if (!scanned) {
            wxString original;
            if (fromRow) {
                original = fromUtf8(plain.data(), plain.size());
            } else {
                const Body& body = b.body();
                original = body.isText ? body.text : fromUtf8(body.bytes);
            }
            const wxString hay = caseSensitive ? original : original.Lower();
            collectHits<wxString>(
                &b, original, needle.length(), [&](size_t from) { return hay.find(needle, from); },
                hits, count, wxPiece);
        }
        if (b.dirty_ == 0) b.freeBody();
        if (maxSearchCount_ > 0 && count >= static_cast<size_t>(maxSearchCount_)) break;
    }
    return hits;
}

} // namespace qn
