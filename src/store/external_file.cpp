// The article of a node kept in a file of its own (the node's `url`):
// reading it, and replacing it whole when the article is saved.
#include "store/database.h"
#include "store/safe_file.h"
#include "store/utf8_text.h"

#include <wx/ffile.h>
#include <wx/log.h>
#include <wx/strconv.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace qn {

namespace {
bool isRegularFile(const wxString& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(std::string(path.fn_str())), ec);
}

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
        else if (answer == ANSWER_CANCEL)
            return URL_CANCELLED;
        else if (answer != ANSWER_YES)
            return URL_DECLINED;
    }
    const Body& b = *body_;
    Bytes out = b.isText ? encodeExternal(b.bytes) : b.bytes;
    if (!replaceFileContent(path, out)) return URL_FAILED;
    dirty_ &= ~DIRTY_BODY;
    return URL_WRITTEN;
}

} // namespace qn
