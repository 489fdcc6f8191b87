// What the find and replace dialogs remember for the whole run of the
// program (shared by every main window, never written to disk): the texts
// searched for and the replacements, most recent first, and the two
// options of the Find dialog.
#pragma once

#include <wx/arrstr.h>
#include <wx/string.h>

namespace qn {

class FindHistory {
public:
    static wxArrayString& searchHistory();
    static wxArrayString& replaceHistory();
    // Puts the text at the front unless the list already holds it (exactly,
    // case included); an entry already there keeps its place.  An empty
    // text is remembered too.
    static void addToHistory(wxArrayString& list, const wxString& text);

    // Match case: off at first.  Search all nodes: on at first.
    static bool& caseSensitive();
    static bool& global();
};

} // namespace qn
