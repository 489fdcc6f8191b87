#include "objects/object_rows.h"

#include "store/database.h"
#include "store/keys.h"
#include "store/safe_file.h"
#include "store/sqlite.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <set>
#include <string_view>
#include <unistd.h>

namespace qn {

wxString objectIdText(int id, const wxString& mime) {
    return wxString::Format(wxS("%d.%s"), id, extensionForMime(mime));
}

wxString objectBytesText(unsigned long size) {
    return size == 0 ? wxString(wxS("(0)")) : wxString::Format(wxS("%lu"), size);
}

wxString pictureSizeText(int width, int height) {
    // Not a picture (or one that could not be read): no size to show.
    if (width <= 0 || height <= 0) return wxS("--");
    return wxString::Format(wxS("W%d H%d"), width, height);
}

wxString imageTag(const wxString& dbid, const wxString& idText) {
    return wxString::Format(wxS("<img src=\"qudb:%s/%s\">\n"), dbid, idText);
}

wxString exportFileName(const wxString& storedName) {
    const size_t cut = storedName.find_last_of(wxS("/\\"));
    wxString name = cut == wxString::npos ? storedName : storedName.Mid(cut + 1);
    // A drive letter ("C:photo.png") names no folder here either.
    if (name.length() > 2 && name[1] == ':') name = name.Mid(2);
    if (name == wxS(".") || name == wxS("..")) name.clear();
    return name;
}

PixelSize previewSize(int w, int h, int cw, int ch) {
    if (w <= 0 || h <= 0) return {0, 0};
    if (cw <= 0 || ch <= 0) return {w, h};
    const double factor = std::max(static_cast<double>(w) / cw, static_cast<double>(h) / ch);
    if (factor <= 1.0) return {w, h};
    return {std::max(1, static_cast<int>(w / factor)), std::max(1, static_cast<int>(h / factor))};
}

namespace {

// Whether the UTF-8 text holds `prefix` followed by `id` and no further
// digit.
bool refersTo(std::string_view text, const std::string& prefix, int id) {
    const std::string needle = prefix + std::to_string(id);
    for (size_t at = text.find(needle); at != std::string_view::npos;
         at = text.find(needle, at + 1)) {
        const size_t end = at + needle.size();
        if (end >= text.size() || text[end] < '0' || text[end] > '9') return true;
    }
    return false;
}

} // namespace

namespace {

// Calls `visit(id, text)` with the UTF-8 text of every article of the
// document, once each.  Articles in memory (new, changed, shown) and those
// kept in external files are read through their node; everything else in
// one ordered pass over the file, without keeping the texts.
template <class Visit> void forEachArticleText(Database& db, Visit visit) {
    auto throughNode = [&](Block& node) {
        const bool bodyLoaded = node.hasBody(), headerLoaded = node.hasHeader();
        visit(node.id(), std::string_view(node.body().bytes));
        // A walk over every article need not keep them all in memory.
        if (node.dirty() == 0) {
            if (!bodyLoaded) node.freeBody();
            if (!headerLoaded) node.freeHeader();
        }
    };

    std::set<int> scanned;
    Stmt scan;
    if (db.handle() &&
        scan.prepare(db.handle(), sql::kSelectNodeRows) == SQLITE_OK) {
        const BlockCipher* cipher = db.cipher();
        const Bytes urlName = toUtf8(keyNameOf(K_url));
        const bool projectUrl = !db.getString(K_url).empty();
        Bytes header;
        while (scan.step() == SQLITE_ROW) {
            const int id = scan.integer(0);
            Block* node = db.findBlock(id);
            if (!node || !node->isNode() || node->hasBody() || node->dirty() != 0) continue;
            std::string_view hdr = scan.view(1);
            if (cipher && (cipher->isSealed() || !hdr.empty())) {
                header.assign(hdr.data(), hdr.size());
                // A damaged note is left to the walk below, which reports it.
                if (!cipher->open(header, CipherPart::Header, {id, node->type()})) continue;
                hdr = header;
            }
            bool hasUrl = false, external = false;
            forEachHeaderLine(hdr.data(), hdr.size(), [&](std::string_view k, std::string_view v) {
                if (k == urlName) {
                    hasUrl = true;
                    external = !v.empty();
                }
            });
            if (hasUrl ? external : projectUrl) continue;
            scanned.insert(id);
            const std::string_view stored = scan.view(2);
            if (!node->compressed() && !cipher) {
                visit(id, stored.substr(0, std::min(stored.size(), db.articleLimit())));
            } else {
                const DecodedBody d =
                    decodeBody(Bytes(stored), node->compressed(), cipher, {id, node->type()},
                               db.articleLimit());
                visit(id, std::string_view(d.plain));
            }
        }
    }
    std::vector<int> rest;
    for (const auto& [id, block] : db.blocks())
        if (block->isNode() && !scanned.count(id)) rest.push_back(id);
    for (int id : rest)
        if (Block* node = db.findBlock(id)) throughNode(*node);
}

} // namespace

int articlesReferring(Database& db, const std::vector<int>& objectIds) {
    if (objectIds.empty()) return 0;
    const std::string prefix = "qudb:" + std::string(db.dbid().utf8_str()) + "/";
    int count = 0;
    forEachArticleText(db, [&](int, std::string_view text) {
        if (text.find(prefix) == std::string_view::npos) return;
        for (int object : objectIds)
            if (refersTo(text, prefix, object)) {
                ++count;
                return;
            }
    });
    return count;
}

int followNewDocumentId(Database& db, const wxString& oldId) {
    const wxString newId = db.dbid();
    if (oldId.empty() || oldId == newId) return 0;
    const std::string oldPrefix = "qudb:" + std::string(oldId.utf8_str()) + "/";
    std::vector<int> referring;
    forEachArticleText(db, [&](int id, std::string_view text) {
        if (text.find(oldPrefix) != std::string_view::npos) referring.push_back(id);
    });
    const wxString from = wxS("qudb:") + oldId + wxS("/");
    const wxString to = wxS("qudb:") + newId + wxS("/");
    int changed = 0;
    for (int id : referring) {
        Block* node = db.findBlock(id);
        // The text of an article kept in a file of its own belongs to that
        // file: it is not rewritten behind the user's back.
        if (!node || node->isDamaged() || !node->getString(K_url).empty()) continue;
        wxString text = node->text();
        if (node->isDamaged() || text.Replace(from, to) == 0) continue;
        node->setText(text);
        ++changed;
    }
    return changed;
}

wxString fileReadProblem(const wxString& path) {
    if (::access(path.fn_str(), R_OK) != 0) return errnoReason(errno);
    if (wxDirExists(path)) return errnoReason(EISDIR);
    return wxS("the file could not be read");
}

bool writeWholeFile(const wxString& path, const Bytes& bytes, wxString& why, bool privateFile) {
    wxString target;
    if (!replaceTarget(path, target, &why)) return false;
    const wxString temp = target + wxS(".partial");
    if (!(privateFile ? createEmptyPrivate(temp, &why) : createEmptyLike(temp, target, &why)))
        return false;
    std::FILE* f = std::fopen(temp.fn_str(), "wb");
    if (!f) {
        why = errnoReason(errno);
        removeWithJournal(temp);
        return false;
    }
    int err = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
        err = errno ? errno : EIO;
    if (!err && std::fflush(f) != 0) err = errno;
    if (!err && ::fsync(fileno(f)) != 0) err = errno;
    if (std::fclose(f) != 0 && !err) err = errno;
    if (err) {
        why = errnoReason(err);
        removeWithJournal(temp);
        return false;
    }
    if (!renameIntoPlace(temp, target, &why)) {
        removeWithJournal(temp);
        return false;
    }
    return true;
}

} // namespace qn
