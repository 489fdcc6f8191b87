// A block of the document: its header values, its body and its children,
// loaded on first use.
#include "store/database.h"

#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/log.h>

#include <algorithm>

namespace qn {

Block::Block(Database* owner, int id, int type) : owner_(owner), id_(id), type_(type) {}

void Block::touch() {
    owner_->touched_.insert(id_);
}

void Block::markHeader() {
    dirty_ |= DIRTY_HEADER;
    touch();
    ++owner_->edits_;
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

bool Block::isRtf() {
    std::string_view v;
    if (ensureHeader() && attrs_->get(K_m, v)) return v == "text/rtf";
    return owner_->getString(K_m) == wxS("text/rtf");
}

bool Block::loadHeaderAndBody() {
    headFailed_ = false;
    if (attrs_ || (dirty_ & DIRTY_NEW) || body_) return ensureHeader();
    return owner_->readRow(*this);
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
    std::string_view v;
    if (ensureHeader() && attrs_->get(code, v)) return parseIntUtf8(v);
    return parseInt(owner_->getString(code));
}
unsigned long Block::getUInt(int code) {
    std::string_view v;
    if (ensureHeader() && attrs_->get(code, v)) return parseUIntUtf8(v);
    return parseUInt(owner_->getString(code));
}
Colour Block::getColour(int code) {
    return parseColour(getString(code));
}
std::vector<int> Block::getIntList(int code) {
    std::string_view v;
    if (ensureHeader() && attrs_->get(code, v)) return parseIntListUtf8(v);
    return parseIntList(owner_->getString(code));
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
            const Bytes url = isNode() ? getUtf8(K_url) : Bytes();
            if (!url.empty()) {
                loadFromUrl(getString(K_url));
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
                                           path,
                                           static_cast<unsigned long>(kMaxObjectBytes >> 20)));
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

void Block::releaseBody() {
    if (dirty_ != 0) return;
    freeBody();
    owner_->touched_.erase(id_); // nothing left here for a save to visit
}

Bytes Block::encodeBody(const BlockCipher* cipher, bool comp) {
    if (!ensureHeader()) return Bytes();
    // An external article is kept in its file: the document stores an empty
    // body (sealed like any other); unknown block types are written back by
    // the engine untouched.
    if (!isObject() && !(isNode() && getString(K_url).empty())) {
        Bytes none;
        if (cipher) cipher->seal(none, CipherPart::Body, {id_, type_});
        return none;
    }
    const Bytes& plain = body().bytes;
    const size_t plainLen = plain.size();
    Bytes stored;
    bool compress = false;
    if (comp && plainLen >= kCompressThreshold) {
        Bytes packed = deflateBytes(plain);
        // Objects are stored deflated only when that saves space; text
        // nodes are always stored deflated above the threshold.
        if (isNode() || packed.size() < plainLen) {
            stored = std::move(packed);
            compress = true;
        }
    }
    if (!compress) stored = plain;
    compressed_ = compress;
    attrs_->set(K_sz, std::to_string(plainLen));
    if (cipher) cipher->seal(stored, CipherPart::Body, {id_, type_});
    return stored;
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

} // namespace qn
