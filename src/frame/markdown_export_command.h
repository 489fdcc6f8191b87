// The Markdown branch of the export command: asks for the layout and writes.
#pragma once

#include <wx/string.h>

class wxWindow;

namespace qn {

class Database;

// Whether a path chosen in the export dialog asks for Markdown: the
// Markdown filter (index kMarkdownFilter) or a name ending in ".md".
constexpr int kMarkdownFilter = 1;
bool wantsMarkdown(const wxString& path, int filterIndex);

// Asks for one file or a file per note and exports `document` to `path`
// (for a file per note, the folder named like `path` without ".md").
// Failures are shown to the user; false when nothing was written.
bool exportMarkdown(wxWindow* parent, Database& document, const wxString& path);

} // namespace qn
