#include "article/link_target.h"

#include <wx/cmdline.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <sys/stat.h>

namespace qn {

namespace {

const wxString kNodePrefix = wxS("file:*");
const wxString kQudbPrefix = wxS("qudb:");
const wxString kSep = wxS("::");

bool isDir(const LinkContext& ctx, const wxString& path) {
    if (path.empty()) return false;
    return ctx.isDirectory ? ctx.isDirectory(path) : wxDirExists(path);
}

wxString directoryOf(const wxString& path) {
    return wxFileName(path).GetPath(wxPATH_GET_VOLUME);
}

wxString trimmedLeft(wxString s) {
    return s.Trim(false);
}
wxString trimmedRight(wxString s) {
    return s.Trim(true);
}

} // namespace

bool parseNodeId(const wxString& text, uint32_t& id) {
    if (text.empty()) return false;
    for (wxUniChar c : text)
        if (c < '0' || c > '9') return false;
    unsigned long long v = 0;
    if (!text.ToULongLong(&v) || v > std::numeric_limits<uint32_t>::max()) return false;
    id = static_cast<uint32_t>(v);
    return true;
}

bool linkMenuTarget(const wxString& url, uint32_t& id) {
    wxString rest;
    if (url.StartsWith(kNodePrefix, &rest) || url.StartsWith(kQudbPrefix, &rest))
        return parseNodeId(rest, id);
    return false;
}

LinkAction resolveLink(const wxString& url, const LinkContext& ctx) {
    LinkAction a;
    a.operation = wxS("open");
    wxString rest;

    // Node links.
    if (url.StartsWith(kNodePrefix, &rest) || url.StartsWith(kQudbPrefix, &rest)) {
        if (url.StartsWith(kQudbPrefix)) rest = rest.BeforeFirst('.');
        if (parseNodeId(rest, a.nodeId)) a.kind = LinkAction::ShowNode;
        return a;
    }

    wxString path;
    if (url.StartsWith(wxS("file:///"), &rest)) {
        // Keep the leading slash: on this system the path after the empty
        // host is absolute.
        rest = wxS("/") + rest;
        if (isDir(ctx, rest)) {
            path = rest;
            a.operation = wxS("explore");
        } else {
            int first = rest.Find(kSep);
            if (first == wxNOT_FOUND) {
                path = rest;
                a.workingDir = directoryOf(path);
                if (a.workingDir.empty()) return a;
            } else {
                wxString after = rest.Mid(first + 2);
                int second = after.Find(kSep);
                path = trimmedRight(rest.Left(first));
                if (second == wxNOT_FOUND) {
                    a.parameters = trimmedLeft(after);
                    a.workingDir = directoryOf(path);
                } else {
                    a.parameters = after.Left(second).Strip(wxString::both);
                    a.workingDir = trimmedLeft(after.Mid(second + 2));
                }
            }
        }
    } else if (url.StartsWith(wxS("file://"), &rest)) {
        // A network location: host and share.  "localhost" is this machine.
        wxString local;
        if (rest.StartsWith(wxS("localhost/"), &local)) {
            path = wxS("/") + local;
        } else {
            path = wxS("smb://") + rest;
        }
        if (isDir(ctx, path)) a.operation = wxS("explore");
    } else if (url.StartsWith(wxS("file:"), &rest) && url.length() >= 6 && url[5] != '/') {
        // Relative to the document's folder.
        if (rest.empty() || ctx.documentPath.empty()) return a;
        wxFileName doc(ctx.documentPath);
        doc.MakeAbsolute();
        wxFileName target(doc.GetPath(wxPATH_GET_VOLUME | wxPATH_GET_SEPARATOR) + rest);
        target.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_TILDE | wxPATH_NORM_ABSOLUTE);
        path = target.GetFullPath();
        a.workingDir = target.GetPath(wxPATH_GET_VOLUME);
    } else {
        if (url.StartsWith(wxS("\\\\"))) return a;
        path = url;
    }

    a.path = path;
    if (path.length() >= 5 && path.Right(5) == wxS(".q2db")) {
        a.kind = LinkAction::OpenDocument;
        // A bare relative path names the file in the current folder; by its
        // full path the window that already shows it is found.
        wxFileName doc(path);
        if (doc.IsRelative()) {
            doc.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE);
            a.path = doc.GetFullPath();
        }
    } else
        a.kind = LinkAction::OpenExternal;
    return a;
}

std::vector<wxString> openerArgv(const LinkAction& action) {
    // The opener takes one location; parameters cannot be handed on without
    // running the target as a program, which a link must never do.
    return {wxS("xdg-open"), action.path};
}

namespace {

// The scheme of a link in lower case, blanks and control characters left
// out; "" when it has none.
wxString schemeOf(const wxString& url) {
    wxString scheme;
    for (wxUniChar c : url) {
        if (c <= ' ' || c == 0x7F) continue;
        if (c == ':') return scheme;
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && !(other && !scheme.empty())) return wxString();
        scheme += wxUniChar(c >= 'A' && c <= 'Z' ? c.GetValue() - 'A' + 'a' : c.GetValue());
    }
    return wxString();
}

// Document types an opener shows rather than runs.
bool harmlessExtension(const wxString& path) {
    static const char* const kinds[] = {
        "pdf", "txt", "md",  "csv",  "rtf",  "odt",  "ods", "odp", "odg", "doc", "docx",
        "xls", "xlsx", "ppt", "pptx", "epub", "djvu", "ps",  "png", "jpg", "jpeg", "gif",
        "bmp", "webp", "tif", "tiff", "ico",  "mp3",  "ogg", "oga", "flac", "wav", "m4a",
        "opus", "mp4", "m4v", "mkv",  "webm", "avi",  "mov", "mpg", "mpeg"};
    const wxString ext = wxFileName(path).GetExt().Lower();
    if (ext.empty()) return false;
    for (const char* k : kinds)
        if (ext == wxString::FromAscii(k)) return true;
    return false;
}

// An existing regular file nobody may run, of a harmless type under its
// own name and under the name a link leads to.
bool harmlessFile(const wxString& path) {
    if (!path.StartsWith(wxS("/")) || !harmlessExtension(path)) return false;
    struct stat st {};
    if (::stat(path.fn_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0111) != 0)
        return false;
    char* real = ::realpath(path.fn_str(), nullptr);
    if (!real) return false;
    const wxString resolved(real, *wxConvFileName);
    std::free(real);
    return harmlessExtension(resolved);
}

} // namespace

bool isScriptLink(const wxString& url) {
    static const char* const schemes[] = {"javascript", "vbscript", "jscript", "livescript",
                                          "ecmascript", "data",     "mocha"};
    const wxString scheme = schemeOf(url);
    for (const char* s : schemes)
        if (scheme == wxString::FromAscii(s)) return true;
    return false;
}

bool isRemoteLocation(const wxString& location) {
    wxString rest = location;
    rest.Trim(false);
    if (rest.StartsWith(wxS("//")) || rest.StartsWith(wxS("\\\\"))) return true;
    // Every part of a chain such as "file:a.zip#zip:b.png" is looked at.
    for (;;) {
        const wxString scheme = schemeOf(rest);
        if (scheme == wxS("http") || scheme == wxS("https") || scheme == wxS("ftp")) return true;
        const int hash = rest.Find('#');
        if (hash == wxNOT_FOUND) return false;
        rest = rest.Mid(static_cast<size_t>(hash) + 1);
    }
}

LinkTrust linkTrust(const wxString& url, const LinkAction& action) {
    if (isScriptLink(url) || isScriptLink(action.path)) return LinkTrust::Refuse;
    switch (action.kind) {
    case LinkAction::Nothing:
    case LinkAction::ShowNode:
    case LinkAction::OpenDocument:
        return LinkTrust::Open;
    case LinkAction::OpenExternal:
        break;
    }
    const wxString scheme = schemeOf(action.path);
    if ((scheme == wxS("http") || scheme == wxS("https")) &&
        action.path.Lower().StartsWith(scheme + wxS("://")))
        return LinkTrust::Open;
    if (scheme == wxS("mailto") && action.path.Lower().StartsWith(wxS("mailto:")))
        return LinkTrust::Open;
    if (action.operation == wxS("open") && harmlessFile(action.path))
        return LinkTrust::Open;
    return LinkTrust::Ask;
}

namespace {
bool isStop(wxUniChar c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '"' || c == '<' || c == '>' ||
           c == 0xA0;
}
} // namespace

std::vector<std::pair<long, long>> findLinks(const wxString& text, long from, long to) {
    std::vector<std::pair<long, long>> out;
    const long n = static_cast<long>(text.length());
    from = std::max(0L, from);
    to = std::min(n, to);
    long pos = from;
    // Back to the start of the token `from` lies in.
    while (pos > 0 && pos < n && !isStop(text[pos]) && !isStop(text[pos - 1]))
        --pos;
    while (pos < to) {
        if (isStop(text[pos])) {
            ++pos;
            continue;
        }
        long tokenEnd = pos;
        while (tokenEnd < n && !isStop(text[tokenEnd]))
            ++tokenEnd;
        long start = 0, end = 0;
        // The first character that can start a link (after opening punctuation).
        long probe = pos;
        while (probe < tokenEnd && wxString(wxS("([{'")).Find(text[probe]) != wxNOT_FOUND)
            ++probe;
        if (probe < tokenEnd && findLinkAt(text, probe, start, end) && start >= from) {
            end = extendQuotedLink(text, start, end);
            out.emplace_back(start, end);
            tokenEnd = std::max(tokenEnd, end);
        }
        pos = tokenEnd;
    }
    return out;
}

bool findLinkAt(const wxString& text, long pos, long& start, long& end) {
    const long n = static_cast<long>(text.length());
    if (pos < 0 || pos >= n) return false;
    if (isStop(text[pos])) return false;
    long a = pos, b = pos + 1;
    while (a > 0 && !isStop(text[a - 1]))
        --a;
    while (b < n && !isStop(text[b]))
        ++b;
    // Punctuation around a link belongs to the sentence, not the link.
    while (a < b && wxString(wxS("([{'")).Find(text[a]) != wxNOT_FOUND)
        ++a;
    while (b > a && wxString(wxS(".,;:!?)]}'")).Find(text[b - 1]) != wxNOT_FOUND)
        --b;
    if (pos < a || pos >= b) return false;
    static const wxString prefixes[] = {wxS("file:"),    wxS("qudb:"),  wxS("http://"),
                                        wxS("https://"), wxS("ftp://"), wxS("www."),
                                        wxS("mailto:")};
    const wxString token = text.Mid(a, b - a);
    for (const wxString& p : prefixes) {
        if (token.length() > p.length() && token.StartsWith(p)) {
            start = a;
            end = b;
            return true;
        }
    }
    return false;
}

long extendQuotedLink(const wxString& text, long start, long end) {
    if (start <= 0 || start > static_cast<long>(text.length()) || text[start - 1] != '"')
        return end;
    const long n = static_cast<long>(text.length());
    for (long i = start; i < n; ++i)
        if (text[i] == '"' || text[i] == '\t' || text[i] == '\n') return i;
    return n;
}

bool parseQudbLocation(const wxString& location, QudbLocation& out) {
    int colon = location.Find(':');
    if (colon == wxNOT_FOUND || location.Left(colon) != wxS("qudb")) return false;
    int slash = location.Find('/');
    if (slash == wxNOT_FOUND) return false;
    int dot = location.Find('.');
    size_t end = dot == wxNOT_FOUND ? location.length() : static_cast<size_t>(dot);
    out.documentId = location.Mid(colon + 1, slash - colon - 1);
    wxString idText =
        slash + 1 < static_cast<int>(end) ? location.Mid(slash + 1, end - slash - 1) : wxString();
    // Leading digits only; text without digits reads as 0 (no block has it).
    unsigned long long v = 0;
    size_t i = 0;
    while (i < idText.length() && idText[i] >= '0' && idText[i] <= '9') {
        v = v * 10 + static_cast<unsigned>(idText[i] - '0');
        if (v > std::numeric_limits<uint32_t>::max()) return false;
        ++i;
    }
    out.objectId = static_cast<uint32_t>(v);
    return true;
}

} // namespace qn
