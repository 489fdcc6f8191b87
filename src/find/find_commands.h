// The Find and Replace commands of a main window: the dialogs, the search
// in the shown article, and the global search with its result window.
#pragma once

#include <wx/string.h>

class wxWindow;

namespace qn {

class ArticleWindow;
class Database;
class SearchList;
class TreePanel;

// The parts of the main window the commands work with (not owned).
struct FindTargets {
    wxWindow* frame = nullptr;
    Database* db = nullptr;
    TreePanel* tree = nullptr;
    ArticleWindow* article = nullptr;
    wxWindow** searchList = nullptr; // the frame's reference to its result window
};

// Find (Ctrl+F): asks for the text; in the shown article from the caret,
// or with the global option over the whole document.
void runFindCommand(const FindTargets& targets);
// Replace (Ctrl+H): asks for the two texts and walks the shown article.
void runReplaceCommand(const FindTargets& targets);
// Replace may run: the editor shows a node whose text may be changed.
bool canReplace(const ArticleWindow* article);

// Searches the document and shows the hits in the result window, made when
// the frame has none; returns that window.
SearchList* runGlobalSearch(const FindTargets& targets, const wxString& text, bool caseSensitive);
// Searches the shown article from the caret; in the HTML view its source
// is searched and a hit is shown in the editor.  Returns the position or -1
// (after telling the user).
long findInArticle(ArticleWindow* article);

} // namespace qn
