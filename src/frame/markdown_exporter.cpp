#include "frame/markdown_exporter.h"

#include "frame/export_reading.h"
#include "store/database.h"
#include "store/id_set.h"
#include "store/safe_file.h"

#include <wx/filename.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace qn {

namespace fs = std::filesystem;

namespace {

const size_t kMaxStem = 80; // characters of a file name made from a title
const char kAssetsSuffix[] = ".files";

std::string utf8Of(const wxString& s) {
    wxScopedCharBuffer b = s.utf8_str();
    return std::string(b.data(), b.length());
}

// Text that is valid UTF-8: a stray byte becomes its Latin-1 character.
std::string validUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes.data(), bytes.size())) return std::string(bytes);
    return toUtf8(fromUtf8(bytes.data(), bytes.size()));
}

wxString fromFs(const std::string& path) {
    return wxString(path.c_str(), *wxConvFileName);
}

std::string fsString(const wxString& path) {
    return std::string(path.fn_str());
}

// The lines of a text one at a time ("\r" before a line feed dropped),
// without a list of them all: an article of nothing but line feeds would
// make that list many times larger than the article.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool next(std::string_view& line) {
        if (pos_ > text_.size()) return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = end + 1;
        return true;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

const char kBlanks[] = " \t\r\f\v";

bool isBlank(std::string_view line) {
    return line.find_first_not_of(kBlanks) == std::string_view::npos;
}

// `text` without its leading and trailing blank lines (empty when every
// line is blank).
std::string_view trimBlankLines(std::string_view text) {
    const std::string blanksAndBreaks = std::string(kBlanks) + "\n";
    const size_t first = text.find_first_not_of(blanksAndBreaks);
    if (first == std::string_view::npos) return std::string_view();
    const size_t last = text.find_last_not_of(blanksAndBreaks);
    const size_t lineStart = text.rfind('\n', first);
    const size_t begin = lineStart == std::string_view::npos ? 0 : lineStart + 1;
    size_t end = text.find('\n', last);
    if (end == std::string_view::npos) end = text.size();
    return text.substr(begin, end - begin);
}

// Characters that may start or end inline Markdown (emphasis, code, links,
// raw HTML, entities, tables, strike-through): always escaped.
bool inlineSpecial(char c) {
    switch (c) {
    case '\\':
    case '`':
    case '*':
    case '_':
    case '[':
    case ']':
    case '<':
    case '>':
    case '#':
    case '!':
    case '|':
    case '~':
    case '&':
        return true;
    default:
        return false;
    }
}

std::string escapeInline(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (inlineSpecial(c)) out += '\\';
        out += c;
    }
    return out;
}

// Escapes what would make a line a list item, a heading underline, a
// thematic break or a numbered item.
std::string escapeLineStart(std::string escaped) {
    if (escaped.empty()) return escaped;
    const char c = escaped[0];
    if (c == '-' || c == '+' || c == '=') return "\\" + escaped;
    size_t digits = 0;
    while (digits < escaped.size() && escaped[digits] >= '0' && escaped[digits] <= '9')
        ++digits;
    if (digits > 0 && digits < escaped.size() && (escaped[digits] == '.' || escaped[digits] == ')'))
        escaped.insert(digits, 1, '\\');
    return escaped;
}

// Case-insensitive search for ASCII `needle` in `text`.
size_t findNoCase(std::string_view text, std::string_view needle, size_t from = 0) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (size_t i = from; i + needle.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && lower(text[i + k]) == needle[k])
            ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

// A path component as a relative URL: bytes that would end or change the
// link are percent-encoded.
std::string urlPathComponent(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (c <= ' ' || c == '%' || c == '"' || c == '\'' || c == '<' || c == '>' || c == '(' ||
            c == ')' || c == '#' || c == '?' || c == '\\' || c >= 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// A file-name extension from letters and digits only.
std::string cleanExtension(std::string_view ext) {
    std::string out;
    for (char c : ext) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out += c;
        else if (c >= 'A' && c <= 'Z')
            out += char(c - 'A' + 'a');
        else
            break;
        if (out.size() == 8) break;
    }
    return out;
}

// Names given out in one folder, compared without case (so that the tree
// survives a copy to a file system that ignores case).
// A note takes three names: its file "<stem>.md", the folder "<stem>" of
// its children and the folder "<stem>.files" of its images.  None of them
// may be one another note took ("a.md" and "a" would both want "a.md").
class NameSet {
public:
    wxString unique(const wxString& stem) {
        wxString name = stem;
        for (int n = 2; !take(name); ++n)
            name = wxString::Format(wxS("%s (%d)"), stem, n);
        return name;
    }

private:
    bool take(const wxString& stem) {
        const wxString lower = stem.Lower();
        const wxString names[] = {lower, lower + wxS(".md"), lower + wxASCII_STR(kAssetsSuffix)};
        for (const wxString& n : names)
            if (used_.count(n)) return false;
        used_.insert(std::begin(names), std::end(names));
        return true;
    }
    std::set<wxString> used_;
};

// Makes the folder `path` (an existing folder is fine); `why` says why not.
// The reason is taken from errno at once, before anything else can change it.
bool makeFolder(const std::string& path, bool isPrivate, wxString& why) {
    if (::mkdir(path.c_str(), isPrivate ? 0700 : 0777) == 0) return true;
    const int err = errno;
    struct stat st {};
    if (err == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    why = wxString::Format(wxS("cannot create the folder %s: %s"), fromFs(path),
                           err == EEXIST ? wxString(wxS("a file of that name is in the way"))
                                         : errnoReason(err));
    return false;
}

} // namespace

MarkdownExporter::MarkdownExporter(Database& document, Layout layout)
    : doc_(document), layout_(layout) {}

std::string MarkdownExporter::headingText(std::string_view utf8) {
    std::string line = validUtf8(utf8);
    for (char& c : line)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return escapeInline(line);
}

std::string MarkdownExporter::plainText(std::string_view utf8) {
    const std::string valid = validUtf8(utf8);
    // Leading blank lines are kept, trailing ones are not.
    std::string_view text = trimBlankLines(valid);
    if (!text.empty())
        text = std::string_view(valid).substr(0, text.data() + text.size() - valid.data());
    std::string out;
    if (text.empty()) return out;
    LineReader lines(text);
    std::string_view line, next;
    bool more = lines.next(line);
    while (more) {
        const bool hasNext = lines.next(next);
        if (isBlank(line)) {
            out += '\n';
            line = next;
            more = hasNext;
            continue;
        }
        // Leading blanks would make an indented code block or vanish.
        size_t lead = 0;
        std::string indent;
        for (; lead < line.size() && (line[lead] == ' ' || line[lead] == '\t'); ++lead)
            indent += line[lead] == '\t' ? "&nbsp;&nbsp;&nbsp;&nbsp;" : "&nbsp;";
        std::string body = escapeLineStart(escapeInline(line.substr(lead)));
        while (!body.empty() && (body.back() == ' ' || body.back() == '\t'))
            body.pop_back();
        out += indent;
        out += body;
        // A line break inside a paragraph is kept as a hard break.
        if (hasNext && !isBlank(next)) out += '\\';
        out += '\n';
        line = next;
        more = hasNext;
    }
    return out;
}

std::string MarkdownExporter::htmlBlock(std::string_view html) {
    std::string source = validUtf8(html);
    std::string_view inner = source;
    const size_t body = findNoCase(source, "<body");
    if (body != std::string::npos) {
        const size_t open = source.find('>', body);
        if (open != std::string::npos) {
            size_t close = findNoCase(source, "</body", open);
            if (close == std::string::npos) close = source.size();
            inner = std::string_view(source).substr(open + 1, close - open - 1);
        }
    }
    std::string out = "<div>\n";
    const std::string_view kept = trimBlankLines(inner);
    LineReader lines(kept);
    std::string_view line;
    while (!kept.empty() && lines.next(line)) {
        // A blank line ends an HTML block; an empty comment keeps the line
        // (it matters inside <pre>) without ending it.
        out += isBlank(line) ? std::string_view("<!-- -->") : line;
        out += '\n';
    }
    out += "</div>\n";
    return out;
}

wxString MarkdownExporter::fileStem(const wxString& title) {
    wxString stem;
    for (wxUniChar c : title) {
        const wxUniChar::value_type v = c.GetValue();
        if (v < 0x20 || v == 0x7F || wxString(wxS("/\\:*?\"<>|")).Find(c) != wxNOT_FOUND)
            stem += wxS('_');
        else
            stem += c;
        if (stem.length() >= kMaxStem) break;
    }
    stem.Trim(true).Trim(false);
    while (!stem.empty() && stem[0] == '.')
        stem.Remove(0, 1);
    while (!stem.empty() && stem.Last() == '.')
        stem.RemoveLast();
    if (stem.empty()) stem = wxS("untitled");
    // The images of a note go into "<stem>.files": no note may be called that.
    if (stem.Lower().EndsWith(wxASCII_STR(kAssetsSuffix))) stem += wxS('_');
    return stem;
}

bool MarkdownExporter::fail(const wxString& why) {
    if (error_.empty()) error_ = why;
    return false;
}

bool MarkdownExporter::unreadable(const wxString& why) {
    if (error_.empty()) unreadable_ = true;
    return fail(why);
}

bool MarkdownExporter::readFailed(const Block& node) {
    const StoreError& e = doc_.lastError();
    return unreadable(wxString::Format(wxS("node %d could not be read: %s"), node.id(),
                                       e ? e.message : wxString(wxS("read error"))));
}

MarkdownExporter::Assets::~Assets() {
    if (folderFd >= 0) ::close(folderFd);
}

bool MarkdownExporter::writeNewFile(int dirFd, const std::string& name, const std::string& shown,
                                    const std::string& bytes) {
    int err = 0;
    const int fd = ::openat(dirFd, name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            private_ ? 0600 : 0666);
    if (fd < 0) err = errno;
    for (size_t done = 0; !err && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            err = errno;
        else
            done += static_cast<size_t>(n);
    }
    if (fd >= 0 && ::close(fd) != 0 && !err) err = errno;
    if (err) {
        if (fd >= 0) ::unlinkat(dirFd, name.c_str(), 0);
        return fail(wxString::Format(wxS("cannot write %s: %s"), fromFs(shown), errnoReason(err)));
    }
    return true;
}

bool MarkdownExporter::writeBytes(const std::string& path, const std::string& bytes) {
    return writeNewFile(AT_FDCWD, path, path, bytes);
}

// The images' folder is made new, or it is one this user owns (an earlier
// export's); a link or someone else's folder is refused, so that nothing
// planted beside the export can redirect a write.
bool MarkdownExporter::openAssetsFolder(Assets& assets) {
    if (assets.folderFd >= 0) return true;
    const std::string& path = assets.folderPath;
    auto refuse = [&](const wxString& reason) {
        return fail(wxString::Format(wxS("cannot create the folder %s: %s"), fromFs(path), reason));
    };
    bool created = ::mkdir(path.c_str(), private_ ? 0700 : 0777) == 0;
    if (!created && errno != EEXIST) return refuse(errnoReason(errno));
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        if (err == ELOOP || (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)))
            return refuse(wxS("a link of that name is in the way"));
        if (err == ENOTDIR) return refuse(wxS("a file of that name is in the way"));
        return refuse(errnoReason(err));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(fd);
        return refuse(wxS("a folder of that name belongs to another user"));
    }
    // An earlier export's folder of a protected document's images is closed too.
    if (!created && private_ && (st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        const int err = errno;
        ::close(fd);
        return refuse(errnoReason(err));
    }
    assets.folderFd = fd;
    assets.folderExisted = !created;
    return true;
}

// An image file of the export.  In a folder an earlier export left, the
// new file is written under a fresh name and renamed over the old one:
// whatever stood there (a link included) is replaced, never written through.
bool MarkdownExporter::writeAsset(Assets& assets, const std::string& name,
                                  const std::string& bytes) {
    if (!openAssetsFolder(assets)) return false;
    const std::string shown = assets.folderPath + "/" + name;
    if (!assets.folderExisted) return writeNewFile(assets.folderFd, name, shown, bytes);
    std::string temp;
    for (int attempt = 0;; ++attempt) {
        temp = "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        struct stat st {};
        if (::fstatat(assets.folderFd, temp.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) break;
        if (attempt == 100)
            return fail(wxString::Format(wxS("cannot write %s: %s"), fromFs(shown),
                                         errnoReason(EEXIST)));
    }
    if (!writeNewFile(assets.folderFd, temp, shown, bytes)) return false;
    if (::renameat(assets.folderFd, temp.c_str(), assets.folderFd, name.c_str()) != 0) {
        const int err = errno;
        ::unlinkat(assets.folderFd, temp.c_str(), 0);
        return fail(wxString::Format(wxS("cannot write %s: %s"), fromFs(shown), errnoReason(err)));
    }
    return true;
}

// Every "qudb:<this document>/<id>[.ext]" of an article whose object exists
// becomes a link to a copy of the object in the assets folder.
bool MarkdownExporter::linkImages(std::string& html, Assets& assets) {
    static const std::string_view kScheme = "qudb:";
    std::string out;
    size_t pos = 0;
    while (true) {
        const size_t at = html.find(kScheme, pos);
        if (at == std::string::npos) break;
        size_t end = at + kScheme.size();
        while (end < html.size() &&
               std::string_view("\"' \t\r\n<>)").find(html[end]) == std::string_view::npos)
            ++end;
        const std::string_view url = std::string_view(html).substr(at, end - at);
        const size_t slash = url.find('/');
        std::string name;
        if (slash != std::string_view::npos && url.substr(5, slash - 5) == dbid_) {
            std::string_view rest = url.substr(slash + 1);
            const size_t dot = rest.find('.');
            const std::string_view idText = rest.substr(0, dot);
            long id = 0;
            size_t i = 0;
            for (; i < idText.size() && idText[i] >= '0' && idText[i] <= '9' && id < 1000000000L;
                 ++i)
                id = id * 10 + (idText[i] - '0');
            Block* object = i > 0 ? doc_.findBlock(static_cast<int>(id)) : nullptr;
            if (object && object->isObject()) {
                auto known = assets.written.find(object->id());
                if (known != assets.written.end()) {
                    name = known->second;
                } else {
                    if (!object->loadHeader()) return readFailed(*object);
                    std::string ext = dot == std::string_view::npos
                                          ? std::string()
                                          : cleanExtension(rest.substr(dot + 1));
                    if (ext.empty()) ext = utf8Of(extensionForMime(object->getString(K_m)));
                    if (ext.empty())
                        ext =
                            cleanExtension(utf8Of(wxFileName(object->getString(K_fname)).GetExt()));
                    if (ext.empty()) ext = "bin";
                    const bool hadBody = object->hasBody();
                    const Body& body = object->body();
                    if (object->bodyFailed()) return readFailed(*object);
                    if (const wxString why = incompleteBody(*object); !why.empty())
                        return unreadable(why);
                    name = std::to_string(object->id()) + "." + ext;
                    if (!writeAsset(assets, name, body.bytes)) return false;
                    if (!hadBody && object->dirty() == 0) object->freeBody();
                    assets.written[object->id()] = name;
                    ++images_;
                }
            }
        }
        out.append(html, pos, at - pos);
        if (name.empty())
            out.append(url);
        else
            out += assets.linkPrefix + urlPathComponent(name);
        pos = end;
    }
    if (pos == 0) return true;
    out.append(html, pos, std::string::npos);
    html.swap(out);
    return true;
}

bool MarkdownExporter::nodeText(Block& node, int level, Assets& assets, std::string& out) {
    if (!node.loadHeader()) return readFailed(node);
    out.append(static_cast<size_t>(std::clamp(level, 1, 6)), '#');
    const std::string title = headingText(node.getUtf8(K_cap));
    if (!title.empty()) out += ' ' + title;
    out += "\n\n";
    const bool hadBody = ExportReading::keepsBody(node);
    const Body& body = node.body();
    if (node.bodyFailed()) return readFailed(node);
    // Part of an article must not pass for the whole of it.
    if (const wxString why = incompleteBody(node); !why.empty()) return unreadable(why);
    std::string text;
    if (!body.isText || node.isRtf()) {
        // RTF source, kept as it is in a fenced block longer than any run of
        // backticks inside it.
        const std::string source = validUtf8(body.bytes);
        size_t run = 0, longest = 0;
        for (char c : source) {
            run = c == '`' ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        const std::string fence(std::max<size_t>(3, longest + 1), '`');
        text = fence + "rtf\n" + source;
        if (!source.empty() && source.back() != '\n') text += '\n';
        text += fence + "\n";
    } else if (node.getString(K_m) == wxS("text/html")) {
        text = htmlBlock(body.bytes);
        if (!linkImages(text, assets)) return false;
    } else {
        text = plainText(body.bytes);
    }
    if (!hadBody && node.dirty() == 0) node.freeBody();
    if (!text.empty()) out += text + "\n";
    ++nodes_;
    return true;
}

bool MarkdownExporter::exportTo(const wxString& path) {
    error_.clear();
    unreadable_ = false;
    nodes_ = images_ = 0;
    dbid_ = utf8Of(doc_.dbid());
    // What is written from a protected document is for its owner's eyes only.
    private_ = exportIsPrivate(doc_);
    const ExportReading reading(doc_);
    return layout_ == ONE_FILE ? writeOneFile(path) : writeFolder(path);
}

bool MarkdownExporter::writeOneFile(const wxString& path) {
    wxString target;
    wxString why;
    if (!replaceTarget(path, target, &why))
        return fail(wxString::Format(wxS("cannot write %s: %s"), path, why));
    wxFileName name(target);
    if (name.GetExt().Lower() == wxS("md")) name.ClearExt();
    Assets assets;
    assets.folderPath = fsString(name.GetFullPath()) + kAssetsSuffix;
    assets.linkPrefix = urlPathComponent(utf8Of(name.GetFullName()) + kAssetsSuffix) + "/";

    const wxString temp = target + wxS(".partial");
    if (!(private_ ? createEmptyPrivate(temp, &why) : createEmptyLike(temp, target, &why)))
        return fail(wxString::Format(wxS("cannot write %s: %s"), path, why));
    // The file just made, not whatever may have been put in its place since.
    const int outFd = ::open(temp.fn_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    std::FILE* out = outFd >= 0 ? ::fdopen(outFd, "wb") : nullptr;
    if (!out) {
        const int err = errno; // before the removal below sets its own
        if (outFd >= 0) ::close(outFd);
        removeWithJournal(temp);
        return fail(wxString::Format(wxS("cannot write %s: %s"), path, errnoReason(err)));
    }
    bool ok = true;
    int writeErrno = 0;
    auto put = [&](const std::string& text) {
        if (ok && std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
            writeErrno = errno;
            ok = false;
        }
    };

    // Depth first, children in their parent's order; a child list that
    // loops back ends the descent there.
    ReadBatch batch(doc_);
    Block* root = doc_.getBlock(1);
    bool readOk = true;
    if (root && root->headerFailed()) {
        readOk = readFailed(*root);
    } else if (!root || !root->isNode()) {
        readOk = unreadable(wxS("the document has no top node"));
    } else {
        struct Level {
            std::vector<int> children;
            size_t next = 0;
        };
        IdSet written;
        std::vector<Level> levels;
        std::string text;
        readOk = nodeText(*root, 1, assets, text);
        put(text);
        written.insert(1);
        levels.push_back(Level{root->getIntList(K_ch), 0});
        while (readOk && ok && !levels.empty()) {
            Level& level = levels.back();
            if (level.next == level.children.size()) {
                levels.pop_back();
                continue;
            }
            const int id = level.children[level.next++];
            if (!written.insert(id)) continue;
            Block* child = doc_.findBlock(id);
            if (!child || !child->isNode()) continue;
            const bool hadHeader = child->hasHeader();
            text.clear();
            readOk = nodeText(*child, static_cast<int>(levels.size()) + 1, assets, text);
            put(text);
            if (!readOk) break;
            std::vector<int> children = child->getIntList(K_ch);
            if (!hadHeader) child->freeHeader();
            levels.push_back(Level{std::move(children), 0});
        }
    }
    if (ok && std::fflush(out) != 0) writeErrno = errno, ok = false;
    if (ok && ::fsync(fileno(out)) != 0) writeErrno = errno, ok = false;
    if (std::fclose(out) != 0 && ok) writeErrno = errno, ok = false;
    if (readOk && !ok)
        fail(wxString::Format(wxS("writing %s failed: %s"), path, errnoReason(writeErrno)));
    if (readOk && ok && !renameIntoPlace(temp, target, &why)) {
        fail(wxString::Format(wxS("cannot write %s: %s"), path, why));
        ok = false;
    }
    if (!readOk || !ok) {
        removeWithJournal(temp);
        return false;
    }
    return true;
}

bool MarkdownExporter::writeFolder(const wxString& path) {
    const std::string finalPath = fsString(path);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(finalPath, ec)) &&
        (!fs::is_directory(finalPath, ec) || !fs::is_empty(finalPath, ec)))
        return fail(wxString::Format(wxS("%s exists and is not an empty folder"), path));
    const std::string temp = finalPath + ".partial";
    // What a killed run left there goes first.
    fs::remove_all(temp, ec);
    if (ec)
        return fail(wxString::Format(wxS("cannot remove %s, left by an earlier export: %s"),
                                     fromFs(temp), errnoReason(ec.value())));
    wxString why;
    if (::mkdir(temp.c_str(), private_ ? 0700 : 0777) != 0) {
        const int err = errno;
        return fail(wxString::Format(wxS("cannot create the folder %s: %s"), fromFs(temp),
                                     errnoReason(err)));
    }

    struct Level {
        std::vector<int> children;
        size_t next = 0;
        std::string folder; // where the files of these children go
        NameSet names;
    };
    // One note's file, and in `childFolder` the folder for its children
    // (created when it has any).
    auto writeNote = [&](Block& node, Level& parent, std::string& childFolder) {
        const wxString stem = parent.names.unique(fileStem(node.getString(K_cap)));
        const std::string stemFs = fsString(stem);
        Assets assets;
        assets.folderPath = parent.folder + "/" + stemFs + kAssetsSuffix;
        assets.linkPrefix = urlPathComponent(utf8Of(stem) + kAssetsSuffix) + "/";
        std::string text;
        if (!nodeText(node, 1, assets, text)) return false;
        if (!writeBytes(parent.folder + "/" + stemFs + ".md", text)) return false;
        childFolder = parent.folder + "/" + stemFs;
        return true;
    };

    ReadBatch batch(doc_);
    Block* root = doc_.getBlock(1);
    bool ok = true;
    if (root && root->headerFailed()) {
        ok = readFailed(*root);
    } else if (!root || !root->isNode()) {
        ok = unreadable(wxS("the document has no top node"));
    } else {
        std::vector<Level> levels;
        levels.push_back(Level{{1}, 0, temp, {}});
        IdSet written;
        while (ok && !levels.empty()) {
            Level& level = levels.back();
            if (level.next == level.children.size()) {
                levels.pop_back();
                continue;
            }
            const int id = level.children[level.next++];
            if (!written.insert(id)) continue;
            Block* node = doc_.findBlock(id);
            if (!node || !node->isNode()) continue;
            const bool hadHeader = node->hasHeader();
            std::string childFolder;
            ok = writeNote(*node, level, childFolder); // loads the header
            if (!ok) break;
            std::vector<int> children = node->getIntList(K_ch);
            if (!hadHeader && id != 1) node->freeHeader();
            if (children.empty()) continue;
            if (!makeFolder(childFolder, private_, why)) {
                ok = fail(why);
                break;
            }
            Level next;
            next.children = std::move(children);
            next.folder = childFolder;
            levels.push_back(std::move(next)); // `level` is not used after this
        }
    }
    if (ok && !renameIntoPlace(fromFs(temp), path, &why))
        ok = fail(wxString::Format(wxS("cannot write %s: %s"), path, why));
    if (!ok) fs::remove_all(temp, ec);
    return ok;
}

} // namespace qn
