// What following a link in an article means: show a node, open a document in
// this program, hand a path to the desktop's opener, or nothing.  Kept apart
// from the windows so it can be checked without a display.
#pragma once

#include <wx/string.h>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace qn {

struct LinkContext {
    // Path of the document the article belongs to; empty when it has no file.
    wxString documentPath;
    // Directory test; wxDirExists when not set.
    std::function<bool(const wxString&)> isDirectory;
};

struct LinkAction {
    enum Kind { Nothing, ShowNode, OpenDocument, OpenExternal };
    Kind kind = Nothing;
    uint32_t nodeId = 0; // ShowNode
    wxString path;       // OpenDocument, OpenExternal
    wxString operation;  // "open" or "explore" (a folder)
    wxString parameters; // text after "::", may be empty
    wxString workingDir; // may be empty
};

LinkAction resolveLink(const wxString& url, const LinkContext& context);

// Whether following a link needs the user's word first.
enum class LinkTrust {
    Open,   // a node, a document of this program, an http(s) or mailto link, or
            // an existing file of a harmless document type that nobody may run
    Ask,    // anything else the desktop's opener would be handed
    Refuse  // a script (javascript:, vbscript:, data:, ...): never followed
};
LinkTrust linkTrust(const wxString& url, const LinkAction& action);

// True for a link whose scheme runs script in whatever opens it.  Blanks
// and control characters inside the scheme are ignored, as browsers do.
bool isScriptLink(const wxString& url);

// True for a location the HTML view would fetch over the network (http,
// https, ftp, or a host-only "//host/..." location), also when it is the
// inner part of a location chain ("a.zip#http:...").
bool isRemoteLocation(const wxString& location);

// Node id of a link for the link menu ("file:*N" or "qudb:N", nothing cut at
// a "."); false when the link names no node.
bool linkMenuTarget(const wxString& url, uint32_t& id);

// True when `text` is a non-empty run of decimal digits that fits a node id.
bool parseNodeId(const wxString& text, uint32_t& id);

// Argument vector that hands an OpenExternal action to the desktop's opener.
// The link text becomes one argument and never passes through a shell.
std::vector<wxString> openerArgv(const LinkAction& action);

// The link in an editor's text at `pos`, for the link forms the text control
// does not detect itself ("file:*12", "file:notes.txt", "qudb:5", ...).
// Sets [start, end) and returns true when `pos` lies on one.
bool findLinkAt(const wxString& text, long pos, long& start, long& end);

// Every link of the text whose start lies in [from, to), quoted links
// widened as below.  Pairs of [start, end).
std::vector<std::pair<long, long>> findLinks(const wxString& text, long from, long to);

// Widens a link that follows a double quote up to the closing quote, a tab or
// a line end (a quoted path may hold spaces).  Returns the new end.
long extendQuotedLink(const wxString& text, long start, long end);

// Parsed "qudb:" object location: qudb:<document id>/<object id>[.ext]
struct QudbLocation {
    wxString documentId;
    uint32_t objectId = 0;
};
bool parseQudbLocation(const wxString& location, QudbLocation& out);

} // namespace qn
