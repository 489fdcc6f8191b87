#include "frame/text_exporter.h"

#include "frame/export_reading.h"
#include "store/database.h"
#include "store/id_set.h"
#include "store/safe_file.h"
#include "store/utf8_text.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <wx/strconv.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qn {

namespace {
const char kSeparator[] = "\n----------------------------------------\n";
const size_t kFlushAt = 1 << 20;
} // namespace

TextExporter::TextExporter(Database& document, Encoding encoding)
    : doc_(document), encoding_(encoding), systemUtf8_(systemCodePageIsUtf8()) {}

std::string TextExporter::encode(const wxString& piece) {
    if (piece.empty()) return std::string();
    if (encoding_ == ENC_UTF8) {
        wxScopedCharBuffer buf = piece.utf8_str();
        return std::string(buf.data(), buf.length());
    }
    wxCharBuffer whole = piece.mb_str(wxConvLibc);
    if (whole.length() > 0) return std::string(whole.data(), whole.length());
    // The code page cannot hold some character: convert one at a time so
    // that only those characters are replaced, never the whole piece.
    std::string out;
    out.reserve(piece.length());
    for (wxString::const_iterator it = piece.begin(); it != piece.end(); ++it) {
        wxCharBuffer one = wxString(*it).mb_str(wxConvLibc);
        if (one.length() > 0) {
            out.append(one.data(), one.length());
        } else {
            out += kSubstitute;
            ++substituted_;
        }
    }
    return out;
}

void TextExporter::noteWriteError() {
    if (!writeFailed_) writeErrno_ = errno;
    writeFailed_ = true;
}

void TextExporter::flush() {
    // After the first failure nothing more is written: the file is dropped.
    if (!writeFailed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
        noteWriteError();
    buffer_.clear();
    // On its way to the disk while the rest is made.
    if (!writeFailed_ && std::fflush(out_) != 0) noteWriteError();
    if (!writeFailed_) startWriteback(fileno(out_));
}

std::string TextExporter::encodeUtf8(const std::string& utf8) {
    // Valid UTF-8 passes through untouched when that is what is written (a
    // system code page of UTF-8 included).
    if ((encoding_ == ENC_UTF8 || systemUtf8_) && isValidUtf8(utf8.data(), utf8.size()))
        return utf8;
    return encode(fromUtf8(utf8));
}

void TextExporter::put(std::string_view bytes) {
    buffer_ += bytes;
    if (buffer_.size() >= kFlushAt) flush();
}

void TextExporter::putText(std::string_view utf8) {
    if ((encoding_ == ENC_UTF8 || systemUtf8_) && isValidUtf8(utf8.data(), utf8.size()))
        put(utf8);
    else
        put(encode(fromUtf8(utf8.data(), utf8.size())));
}

// A node whose header or article could not be read ends the export with an
// error: a tree cut short, or an empty article, must not pass for the real one.
bool TextExporter::readFailed(const Block& node) {
    return readFailed(node.id());
}

bool TextExporter::readFailed(int id) {
    unreadable_ = true;
    const StoreError& e = doc_.lastError();
    error_ = wxString::Format(wxS("node %d could not be read: %s"), id,
                              e ? e.message : wxString(wxS("read error")));
    return false;
}

bool TextExporter::writeNode(Block& node, const std::string& prefix) {
    const bool hadBody = ExportReading::keepsBody(node);
    if (!node.loadHeaderAndBody()) return readFailed(node);
    put("{{{i=");
    putText(node.getUtf8(K_i));
    put("}}}\n");
    put(prefix);
    putText(node.getUtf8(K_cap));
    put(kSeparator);
    const Body& body = node.body();
    if (node.bodyFailed()) return readFailed(node);
    // Part of an article must not pass for the whole of it.
    if (const wxString why = incompleteBody(node); !why.empty()) {
        error_ = why;
        unreadable_ = true;
        return false;
    }
    if (body.isText)
        putText(body.bytes);
    else
        put(body.bytes); // RTF source: written as stored
    put("\n\n");
    if (!hadBody) node.releaseBody();
    ++nodes_;
    return true;
}

// Depth-first, children in the order of their parent's list. Every node is
// written once, so a child list that loops back ends the descent there.
bool TextExporter::writeTree() {
    doc_.clearError();
    const ExportReading reading(doc_);
    ReadBatch batch(doc_);
    Block* root = doc_.getBlock(1);
    if (root ? root->headerFailed() : bool(doc_.lastError())) return readFailed(1);
    if (!root || !root->isNode()) {
        error_ = wxS("the document has no top node");
        unreadable_ = true;
        return false;
    }
    struct Level {
        std::vector<int> children;
        size_t next = 0;
        int number = 0;
    };
    IdSet written;
    std::vector<Level> levels;
    auto enter = [&](Block& node) {
        written.insert(node.id());
        std::vector<int> children = node.getIntList(K_ch);
        if (!children.empty()) levels.push_back(Level{std::move(children), 0, 0});
    };
    if (!writeNode(*root, "[ROOT] ")) return false;
    enter(*root);
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.children.size()) {
            levels.pop_back();
            continue;
        }
        const int id = level.children[level.next++];
        if (written.contains(id)) continue;
        Block* child = doc_.findBlock(id);
        // A block that could not be looked up is not one that is missing.
        if (!child && doc_.lastError().operation == wxS("findBlock")) return readFailed(id);
        if (!child || !child->isNode()) continue;
        const bool hadHeader = child->hasHeader();
        ++level.number;
        std::string prefix;
        for (const Level& l : levels)
            prefix += std::to_string(l.number) + ".";
        prefix += ' ';
        if (!writeNode(*child, prefix)) return false;
        enter(*child); // may grow `levels`: `level` is not used after this
        if (!hadHeader) child->freeHeader();
    }
    return true;
}

bool TextExporter::exportToFile(const wxString& path) {
    error_.clear();
    unreadable_ = false;
    substituted_ = 0;
    nodes_ = 0;
    writeFailed_ = false;
    writeErrno_ = 0;
    buffer_.clear();
    // The whole text goes to a file beside the target, which takes the
    // target's name only when complete: an earlier export at that path is
    // either kept or replaced, never cut short.  A link is followed to the
    // file it names; a device or a pipe (/dev/stdout) is written in place.
    wxString target;
    const bool inPlace = !replaceTarget(path, target);
    if (inPlace) target = path;
    if (!inPlace && wxFileExists(target) && !wxFileName::IsFileWritable(target)) {
        error_ = wxString::Format(wxS("cannot write %s: %s"), path, errnoReason(EACCES));
        return false;
    }
    const wxString temp = inPlace ? path : exportTempPath(target);
    wxString why;
    // The text of a protected document is for its owner's eyes only.
    if (!inPlace && !(exportIsPrivate(doc_) ? createEmptyPrivate(temp, &why)
                                            : createEmptyLike(temp, target, &why))) {
        error_ = wxString::Format(wxS("cannot write %s: %s"), path, why);
        return false;
    }
    out_ = std::fopen(temp.fn_str(), "w");
    if (!out_) {
        const int err = errno;
        error_ = wxString::Format(wxS("cannot write %s: %s"), path, errnoReason(err));
        if (!inPlace) removeWithJournal(temp);
        return false;
    }
    bool ok = writeTree();
    if (!buffer_.empty()) flush();
    if (!writeFailed_ && std::fflush(out_) != 0) noteWriteError();
    if (!inPlace && !writeFailed_ && ::fsync(fileno(out_)) != 0) noteWriteError();
    if (std::fclose(out_) != 0) noteWriteError();
    out_ = nullptr;
    if (ok && writeFailed_) {
        error_ = wxString::Format(wxS("writing %s failed: %s"), path,
                                  writeErrno_ ? errnoReason(writeErrno_)
                                              : wxString(wxS("the file could not be written")));
        ok = false;
    }
    if (inPlace) return ok;
    if (ok && !renameIntoPlace(temp, target, &why)) {
        error_ = wxString::Format(wxS("cannot write %s: %s"), path, why);
        ok = false;
    }
    if (!ok) removeWithJournal(temp);
    return ok;
}

wxString TextExporter::exportTempPath(const wxString& path) {
    return path + wxS(".partial");
}

} // namespace qn
