// A text outline turned into a document: the help file is written this way
// at build time, by the same engine that reads it.
#pragma once

#include <wx/string.h>

#include <vector>

namespace qn {

struct OutlineTopic {
    int depth = 1; // 1 for the top node
    wxString title;
    wxString icon; // tree icon name, empty for none
    wxString body; // plain-text article
};

// Parses the outline text.  A topic starts with a heading line of one or more
// "#" (the depth), a space and the title; an optional "@icon NAME" line may
// follow; every other line up to the next heading is the article, without
// leading and trailing blank lines.  A body line that must start with "#"
// is written with a backslash in front.  Exactly one topic of depth 1 comes
// first, and a heading may go at most one level deeper than the one before.
// On an error, returns false and says where in `error`.
bool parseOutline(const wxString& text, std::vector<OutlineTopic>& topics, wxString& error);

// Writes the topics as a new document at `path` (replacing a file there);
// the top topic is node 1, the others follow in outline order.  Project
// values given in `settings` (name, value) are stored as they are.
bool writeOutlineDocument(const std::vector<OutlineTopic>& topics,
                          const std::vector<std::pair<wxString, wxString>>& settings,
                          const wxString& path, wxString& error);

} // namespace qn
