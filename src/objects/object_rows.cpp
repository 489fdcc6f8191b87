#include "objects/object_rows.h"

#include "store/database.h"
#include "store/keys.h"
#include "store/safe_file.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace qn {

wxString objectIdText(int id, const wxString& mime) {
    return wxString::Format(wxS("%d.%s"), id, extensionForMime(mime));
}

wxString objectBytesText(unsigned long size) {
    return size == 0 ? wxString(wxS("(0)")) : wxString::Format(wxS("%lu"), size);
}

wxString pictureSizeText(int width, int height) {
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
bool refersTo(const Bytes& text, const std::string& prefix, int id) {
    const std::string needle = prefix + std::to_string(id);
    for (size_t at = text.find(needle); at != Bytes::npos; at = text.find(needle, at + 1)) {
        const size_t end = at + needle.size();
        if (end >= text.size() || text[end] < '0' || text[end] > '9') return true;
    }
    return false;
}

} // namespace

int articlesReferring(Database& db, const std::vector<int>& objectIds) {
    if (objectIds.empty()) return 0;
    const std::string prefix = "qudb:" + std::string(db.dbid().utf8_str()) + "/";
    int count = 0;
    std::vector<int> nodes;
    for (const auto& [id, block] : db.blocks())
        if (block->isNode()) nodes.push_back(id);
    for (int id : nodes) {
        Block* node = db.findBlock(id);
        if (!node) continue;
        const bool loaded = node->hasBody();
        const Body& body = node->body();
        if (body.isText && body.bytes.find(prefix) != Bytes::npos) {
            for (int object : objectIds) {
                if (refersTo(body.bytes, prefix, object)) {
                    ++count;
                    break;
                }
            }
        }
        // A walk over every article need not keep them all in memory.
        if (!loaded && node->dirty() == 0) node->freeBody();
    }
    return count;
}

wxString fileReadProblem(const wxString& path) {
    if (::access(path.fn_str(), R_OK) != 0) return errnoReason(errno);
    if (wxDirExists(path)) return errnoReason(EISDIR);
    return wxS("the file could not be read");
}

bool writeWholeFile(const wxString& path, const Bytes& bytes, wxString& why) {
    wxString target;
    if (!replaceTarget(path, target, &why)) return false;
    const wxString temp = target + wxS(".partial");
    if (!createEmptyLike(temp, target, &why)) return false;
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
