#include "store/legacy.h"

#include "store/safe_file.h"

#include <wx/filename.h>
#include <wx/log.h>

#include <algorithm>
#include <map>
#include <cstring>

namespace qn {

namespace {

struct LegacyKey {
    int code;
    const char* name;
};

// Lookup order of the older format; "!" ends the table.
const LegacyKey kLegacyKeys[] = {
    {1, "window"},       {2, "charset"},   {3, "selected"},  {4, "expanded"},  {5, "grps"},
    {6, "grp"},          {7, "h_algo"},    {8, "c_algo"},    {9, "pwd"},       {10, "comp"},
    {11, "appname"},     {12, "appid"},    {13, "version"},  {14, "dbid"},     {15, "v.tabs"},
    {16, "t.bg"},        {17, "t.bmp"},    {18, "mime"},     {19, "c"},        {20, "s"},
    {21, "i"},           {22, "cap"},      {23, "n.f.name"}, {24, "n.f.size"}, {25, "n.fc"},
    {26, "n.hi"},        {27, "n.f.attr"}, {28, "b.bg"},     {29, "b.f.name"}, {30, "b.f.size"},
    {31, "b.fc"},        {32, "b.hi"},     {33, "b.f.attr"}, {34, "b.bmp"},    {35, "vert"},
    {36, "ro"},          {37, "tabs"},     {40, "p"},        {41, "ch"},       {42, "grpsel"},
    {43, "grpexp"},      {44, "url"},      {45, "sz"},       {38, "ref"},      {39, "fname"},
    {K_terminator, "!"},
};

const char kFormatTag[] = "quil-db";
const char kNewestLegacyVersion[] = "1.10";
const size_t kHeaderLineMax = 512;

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Removes the file (and its journal) of an unfinished conversion.
struct TempFileGuard {
    wxString path;
    ~TempFileGuard() {
        if (!path.empty()) removeWithJournal(path);
    }
};

} // namespace

bool isLegacyFile(const wxString& path) {
    wxFile f;
    {
        wxLogNull quiet;
        if (!f.Open(path)) return false;
    }
    char tag[sizeof kFormatTag - 1] = {};
    return f.Read(tag, sizeof tag) == static_cast<ssize_t>(sizeof tag) &&
           std::memcmp(tag, kFormatTag, sizeof tag) == 0;
}

int legacyKeyCodeOf(const wxString& name) {
    // Built once: every header line of every record is looked up here.
    static const std::map<wxString, int> codes = [] {
        std::map<wxString, int> m;
        for (const auto& k : kLegacyKeys) {
            if (k.code == K_terminator) break;
            m.emplace(wxString::FromAscii(k.name), k.code);
        }
        return m;
    }();
    auto it = codes.find(name);
    return it == codes.end() ? 0 : it->second;
}

wxString legacyKeyNameOf(int code) {
    for (const auto& k : kLegacyKeys) {
        if (k.code == K_terminator) break;
        if (k.code == code) return wxString::FromAscii(k.name);
    }
    return wxS("undef?");
}

AttrMap parseLegacyHeader(const wxString& text) {
    AttrMap map;
    size_t i = 0;
    while (i < text.length()) {
        size_t eq = text.find(wxUniChar('='), i);
        if (eq == wxString::npos) break;
        size_t lf = text.find(wxUniChar('\n'), eq + 1);
        if (lf == wxString::npos) break;
        int code = legacyKeyCodeOf(text.substr(i, eq - i));
        if (code > 0) map[code] = text.substr(eq + 1, lf - eq - 1);
        i = lf + 1;
    }
    return map;
}

// ---------------------------------------------------------------------------

wxString LegacyBlock::getString(int code) const {
    auto it = attributes.find(code);
    return it == attributes.end() ? wxString() : it->second;
}
long LegacyBlock::getInt(int code) const {
    return parseInt(getString(code));
}
unsigned long LegacyBlock::getUInt(int code) const {
    return parseUInt(getString(code));
}
std::vector<int> LegacyBlock::getIntList(int code) const {
    return parseIntList(getString(code));
}
Colour LegacyBlock::getColour(int code) const {
    return parseColour(getString(code));
}

void LegacyBlock::setString(int code, const wxString& value) {
    attributes[code] = value;
    dirty = true;
}

void LegacyBlock::removeKey(int code) {
    if (attributes.erase(code)) dirty = true;
}

// ---------------------------------------------------------------------------

LegacyReader::LegacyReader() = default;
LegacyReader::~LegacyReader() {
    close();
}

void LegacyReader::close() {
    if (file_.IsOpened()) file_.Close();
    blocks_.clear();
    free_.clear();
    cipher_.reset();
    path_.clear();
    version_.clear();
    dbid_.clear();
    maxId_ = 0;
    fileSize_ = 0;
    open_ = false;
}

bool LegacyReader::readAt(uint64_t offset, void* dest, size_t length) {
    if (length == 0) return true;
    if (offset > fileSize_ || length > fileSize_ - offset) return false;
    if (file_.Seek(static_cast<wxFileOffset>(offset)) == wxInvalidOffset) return false;
    return file_.Read(dest, length) == static_cast<ssize_t>(length);
}

// Four fields separated by tabs or line feeds, ended by an empty line.
bool LegacyReader::readHeaderLine(uint64_t& recordsStart, int& result) {
    unsigned char buf[kHeaderLineMax];
    size_t n = static_cast<size_t>(std::min<uint64_t>(fileSize_, kHeaderLineMax));
    if (!readAt(0, buf, n)) {
        result = LEGACY_NOT_OPENABLE;
        return false;
    }
    std::string fields[4];
    int field = 0;
    size_t pos = 0;
    unsigned char prev = 0;
    for (; pos < n; ++pos) {
        unsigned char c = buf[pos];
        if (c == '\t') {
            ++field;
        } else if (c == '\n') {
            if (prev == '\n') {
                ++pos;
                break;
            }
            ++field;
        } else if (field >= 0 && field <= 3) {
            fields[field] += static_cast<char>(c);
        }
        prev = c;
        if (field > 4) field = 4; // further fields are ignored
    }
    recordsStart = pos;
    // Each byte is one character.
    auto latin1 = [](const std::string& s) {
        return wxString(s.data(), wxConvISO8859_1, s.size());
    };
    if (latin1(fields[0]) != wxString::FromAscii(kFormatTag)) {
        result = LEGACY_NOT_LEGACY;
        return false;
    }
    version_ = latin1(fields[2]);
    if (version_.compare(wxString::FromAscii(kNewestLegacyVersion)) > 0) {
        result = LEGACY_VERSION;
        return false;
    }
    dbid_ = latin1(fields[3]);
    if (dbid_.empty()) dbid_ = newGuidText();
    return true;
}

int LegacyReader::open(const wxString& path) {
    if (open_) return LEGACY_NOT_OPENABLE;
    if (path.empty() || !wxFileExists(path)) return LEGACY_NOT_OPENABLE;
    {
        wxLogNull quiet; // the result code says it
        if (!file_.Open(path, wxFile::read)) return LEGACY_NOT_OPENABLE;
    }
    path_ = path;
    wxFileOffset len = file_.Length();
    if (len < 0) {
        close();
        return LEGACY_NOT_OPENABLE;
    }
    fileSize_ = static_cast<uint64_t>(len);

    int result = LEGACY_OK;
    uint64_t pos = 0;
    if (!readHeaderLine(pos, result)) {
        const wxString version = version_;
        close();
        version_ = version; // says which version was refused
        return result;
    }

    // Records: every length is checked against the record's own fields and
    // the end of the file, so a damaged file cannot stall the loop or make
    // us read beyond what it holds.
    unsigned char fixed[21];
    while (fileSize_ - pos >= 4) {
        if (!readAt(pos, fixed, 4)) break;
        const uint32_t length = le32(fixed);
        if (length < 5 || length > fileSize_ - pos || !readAt(pos + 4, fixed + 4, 1)) {
            close();
            return LEGACY_CORRUPT;
        }
        const unsigned flags = fixed[4];
        LegacyBlock b;
        b.type = static_cast<int>(flags & 0x0F);
        b.encrypted = flags & 0x10;
        b.compressed = flags & 0x20;
        b.excluded = flags & 0x80;
        b.offset = pos;
        b.length = length;
        if (b.type == LR_FREE) {
            free_.push_back(b);
            pos += length;
            continue;
        }
        const uint32_t fixedLen = b.type == LR_NODE ? 21 : 17;
        if (length < fixedLen || !readAt(pos + 5, fixed + 5, fixedLen - 5)) {
            close();
            return LEGACY_CORRUPT;
        }
        const unsigned char* p = fixed + 5;
        b.id = static_cast<int32_t>(le32(p));
        p += 4;
        if (b.type == LR_NODE) {
            b.parentId = static_cast<int32_t>(le32(p));
            p += 4;
        }
        b.headerLength = le32(p);
        b.bodyLength = le32(p + 4);
        const uint64_t need = uint64_t(fixedLen) + b.headerLength + b.bodyLength;
        const bool known = b.type == LR_NODE || b.type == LR_OBJECT;
        if (need > length || (!known && length > kMaxOtherRecord)) {
            close();
            return LEGACY_CORRUPT;
        }
        if (b.id > maxId_) maxId_ = b.id;
        blocks_[b.id] = std::move(b); // a later record with the same id wins
        pos += length;
    }
    open_ = true;
    return LEGACY_OK;
}

void LegacyReader::loadAttributes(LegacyBlock& b) {
    b.hasAttributes = true;
    if (b.type != LR_NODE && b.type != LR_OBJECT) return;
    Bytes raw(b.headerLength, '\0');
    if (readAt(b.headerOffset(), raw.data(), raw.size())) {
        if (cipher_) cipher_->crypt(raw);
        b.attributes = parseLegacyHeader(fromUtf8(raw));
    }
    if (b.getString(K_m).empty()) b.attributes[K_m] = wxS("text/plain");
}

LegacyBlock* LegacyReader::getBlock(int id) {
    auto it = blocks_.find(id);
    if (it == blocks_.end()) return nullptr;
    if (!it->second.hasAttributes) loadAttributes(it->second);
    return &it->second;
}

bool LegacyReader::readBody(LegacyBlock& b, Bytes& plain, Bytes* stored) {
    return loadBody(b, plain, stored) == BODY_OK;
}

int LegacyReader::loadBody(LegacyBlock& b, Bytes& plain, Bytes* stored) {
    plain.clear();
    Bytes raw(b.bodyLength, '\0');
    if (!readAt(b.headerOffset() + b.headerLength, raw.data(), raw.size())) return BODY_UNREADABLE;
    if (cipher_) cipher_->crypt(raw);
    bool ok = true;
    if (b.compressed) {
        ok = inflateBytes(raw, plain);
        if (stored) *stored = std::move(raw);
    } else {
        plain = std::move(raw);
        if (stored) *stored = plain;
    }
    b.plainLength = plain.size();
    b.attributes[K_sz] =
        wxString::Format(wxS("%llu"), static_cast<unsigned long long>(plain.size()));
    return ok ? BODY_OK : BODY_DAMAGED;
}

bool LegacyReader::isProtected() {
    LegacyBlock* settings = getBlock(0);
    return settings && !settings->getString(K_pwd).empty();
}

bool LegacyReader::algorithmsSupported() {
    LegacyBlock* settings = getBlock(0);
    return settings && isSupportedAlgorithm(settings->getString(K_h_algo)) &&
           isSupportedAlgorithm(settings->getString(K_c_algo));
}

bool LegacyReader::checkPassword(const wxString& password) {
    LegacyBlock* settings = getBlock(0);
    return settings && passwordVerifier(password, dbid_) == settings->getString(K_pwd);
}

void LegacyReader::unlock(const wxString& password, const wxString& options) {
    LegacyBlock* settings = getBlock(0);
    if (!settings) return;
    auto cipher = std::make_unique<BlockCipher>();
    cipher->setKey(cipherKeyMaterial(dbid_, password, settings->getString(K_c)));
    cipher->setOptions(options);
    settings->setString(K_c_algo, settings->getString(K_c_algo) + wxS(",") +
                                      settings->getString(K_h_algo) + wxS(",") + options);
    settings->removeKey(K_h_algo);
    cipher_ = std::move(cipher);
    writeCipher_.reset();
}

bool LegacyReader::unlockSealed(const wxString& password, const KdfLimits& limits) {
    LegacyBlock* settings = getBlock(0);
    if (!settings) return false;
    std::unique_ptr<BlockCipher> sealed = BlockCipher::newSealed(password, limits);
    if (!sealed) return false;
    auto reader = std::make_unique<BlockCipher>();
    reader->setKey(cipherKeyMaterial(dbid_, password, settings->getString(K_c)));
    settings->setString(K_c_algo, sealed->algoText());
    settings->setString(K_pwd, sealed->sealedVerifier(dbid_));
    settings->setString(K_c_salt, hexText(sealed->salt()));
    settings->setString(K_c_ops, wxString::Format(wxS("%llu"), sealed->limits().ops));
    settings->setString(K_c_mem, wxString::Format(wxS("%llu"), static_cast<unsigned long long>(
                                                                   sealed->limits().mem)));
    settings->removeKey(K_h_algo);
    cipher_ = std::move(reader);
    writeCipher_ = std::move(sealed);
    return true;
}

// ---------------------------------------------------------------------------
// Writing

int LegacyReader::sql_exec(const Connection& db, const char* sql) {
    Stmt st;
    int rc = st.prepare(db.get(), sql);
    if (rc != SQLITE_OK) {
        messages_.push_back(wxS("sql_exec() Prepare error: ") + db.errmsg());
        return rc;
    }
    rc = st.step();
    st.finalize();
    if (rc != SQLITE_DONE) {
        messages_.push_back(wxS("sql_exec() step error: ") + db.errmsg());
        return rc;
    }
    return SQLITE_OK;
}

bool LegacyReader::insertIntoProject(Stmt& st, const Connection& db, const wxString& name,
                                     const wxString& value) {
    st.reset();
    st.bindText(1, toUtf8(name));
    st.bindText(2, toUtf8(value));
    if (st.step() != SQLITE_DONE) {
        messages_.push_back(wxS("insertIntoProject() step error: ") + db.errmsg());
        return false;
    }
    return true;
}

bool LegacyReader::insertBlock(Stmt& st, const Connection& db, int id, int type, int attr,
                               const Bytes& hdr, const Bytes& body) {
    st.reset();
    st.bindInt(1, id);
    st.bindInt(2, type);
    st.bindInt(3, attr);
    // Empty blobs are stored as zero-length blobs, not NULL.
    st.bindBlob(4, hdr);
    st.bindBlob(5, body);
    if (st.step() != SQLITE_DONE) {
        messages_.push_back(wxString::Format(wxS("insertBlock() step error: block %d: "), id) +
                            db.errmsg());
        return false;
    }
    return true;
}

wxString LegacyReader::partialPath(const wxString& destination) {
    return destination + wxS(".partial");
}

int LegacyReader::convert(const wxString& destination) {
    messages_.clear();
    damaged_ = 0;
    if (!open_) {
        messages_.push_back(wxS("no legacy document is open"));
        return CONVERT_FAILED;
    }
    if (!getBlock(0)) {
        messages_.push_back(wxS("the document settings (block 0) are missing"));
        return CONVERT_FAILED;
    }

    // Write next to the destination and move the finished file into place,
    // so a failure leaves no partial document and keeps what was there.  The
    // temporary file has a fixed name: one that a killed run left behind is
    // taken over by the next run.  It gets the mode of the file it replaces,
    // or what the umask gives.
    wxFileName dest(destination);
    dest.MakeAbsolute();
    wxString why, target;
    if (!replaceTarget(dest.GetFullPath(), target, &why)) {
        messages_.push_back(wxS("cannot replace ") + dest.GetFullPath() + wxS(": ") + why);
        return CONVERT_FAILED;
    }
    dest.Assign(target);
    // Two conversions onto one file at once would write the same temporary
    // file, and one could move the other's half-written file into place:
    // the claim lets only one of them write it.  (Released after the guard
    // below has removed a file that was not moved into place.)
    const FileClaim claim(partialPath(dest.GetFullPath()), dest.GetFullPath());
    if (!claim.ok()) {
        messages_.push_back(wxS("cannot create a file in ") + dest.GetPath() + wxS(": ") +
                            claim.why());
        return CONVERT_FAILED;
    }
    TempFileGuard temp;
    temp.path = partialPath(dest.GetFullPath());
    Connection db;
    if (const int rc = db.open(temp.path, SQLITE_OPEN_READWRITE); rc != SQLITE_OK) {
        messages_.push_back(wxS("cannot create the document: ") + sqliteReason(rc));
        return CONVERT_FAILED;
    }
    int result = convertInto(db);
    if (db.close() != SQLITE_OK) {
        messages_.push_back(wxS("cannot close the document: ") + db.errmsg());
        result = CONVERT_FAILED;
    }
    if (result != CONVERT_OK) return result;
    if (!renameIntoPlace(temp.path, dest.GetFullPath(), &why)) {
        messages_.push_back(wxS("cannot replace ") + dest.GetFullPath() + wxS(": ") + why);
        return CONVERT_FAILED;
    }
    temp.path.clear();
    return CONVERT_OK;
}

int LegacyReader::convertInto(const Connection& db) {
    if (sql_exec(db, sql::kBegin) != SQLITE_OK || sql_exec(db, sql::kCreateProject) != SQLITE_OK ||
        sql_exec(db, sql::kCreateBlock) != SQLITE_OK)
        return CONVERT_FAILED;

    // Settings.
    LegacyBlock& settings = *getBlock(0);
    AttrMap project = settings.attributes;
    project[K_appname] = wxString::FromAscii(kAppName);
    project[K_appid] = wxString::FromAscii(kAppId);
    project[K_version] = wxString::FromAscii(kFormatVersion);
    project[K_dbid] = dbid_;
    project[K_grps] = wxS("1");
    project[K_grp] = wxS("1");
    project[K_tools] = wxS("1000000000");
    auto window = project.find(K_window);
    // Older placements lack the second splitter position.  A missing
    // placement stays missing rather than becoming a stray ",0".
    if (window != project.end() && !window->second.empty() &&
        window->second.Freq(wxUniChar(',')) <= 5)
        window->second += wxS(",0");
    Stmt insertSetting;
    if (insertSetting.prepare(db.get(), sql::kInsertProject) != SQLITE_OK) {
        messages_.push_back(wxS("insertIntoProject() Prepare error: ") + db.errmsg());
        return CONVERT_FAILED;
    }
    bool ok = true;
    for (const auto& [code, value] : project) {
        wxString name = keyNameOf(code);
        if (!name.empty()) ok = insertIntoProject(insertSetting, db, name, value) && ok;
    }
    insertSetting.finalize();
    if (sql_exec(db, sql::kCommit) != SQLITE_OK || !ok) return CONVERT_FAILED;

    // Blocks.
    const bool comp = settings.getInt(K_comp) != 0;
    const wxString selected = settings.getString(K_selected);
    const wxString expanded = settings.getString(K_expanded);
    Stmt insert;
    if (insert.prepare(db.get(), sql::kInsertBlock) != SQLITE_OK) {
        messages_.push_back(wxS("insertBlockPrepare() Prepare error: ") + db.errmsg());
        return CONVERT_FAILED;
    }
    if (sql_exec(db, sql::kBegin) != SQLITE_OK) return CONVERT_FAILED;
    for (auto& [id, entry] : blocks_) {
        if (id == 0 || (entry.type != LR_NODE && entry.type != LR_OBJECT)) continue;
        LegacyBlock& b = *getBlock(id);
        const int newType = b.type == LR_NODE ? 1 : 2;
        if (b.type == LR_NODE) b.attributes[K_p] = wxString::Format(wxS("%d"), b.parentId);

        Bytes plain, stored;
        const int read = loadBody(b, plain, &stored);
        if (read == BODY_UNREADABLE) {
            messages_.push_back(wxString::Format(wxS("cannot read the body of block %d"), id));
            ok = false;
            break;
        }
        bool compressed = false;
        Bytes body;
        if (read == BODY_DAMAGED) {
            // Broken compressed data: carry it over as it was stored.
            ++damaged_;
            body = std::move(stored);
            compressed = true;
        } else if (comp && plain.size() >= kCompressThreshold) {
            Bytes packed = deflateBytes(plain);
            if (packed.size() < plain.size()) {
                body = std::move(packed);
                compressed = true;
            } else {
                body = std::move(plain);
            }
        } else {
            body = std::move(plain);
        }
        const BlockCipher* out = writer();
        if (out) out->seal(body, CipherPart::Body, {id, newType});
        if (id == 1) {
            if (!selected.empty()) b.attributes[K_grpsel] = selected;
            if (!expanded.empty()) b.attributes[K_grpexp] = expanded;
        }
        Bytes hdr = encodeHeader(b.attributes, out, {id, newType});
        const int attr = (compressed ? 1 : 0) + (out ? 2 : 0) + (b.excluded ? 4 : 0);
        if (!insertBlock(insert, db, id, newType, attr, hdr, body)) {
            ok = false;
            break;
        }
        // Attributes are needed once; drop them to keep memory flat.
        b.attributes.clear();
        b.hasAttributes = false;
    }
    insert.finalize();
    if (sql_exec(db, sql::kCommit) != SQLITE_OK) ok = false;
    return ok ? CONVERT_OK : CONVERT_FAILED;
}

} // namespace qn
