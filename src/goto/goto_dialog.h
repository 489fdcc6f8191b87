// "Go to note": a text field and a list of every note whose title (or the
// titles above it) holds what is typed.  Enter shows the chosen note.
#pragma once

#include "goto/title_index.h"

#include <wx/dialog.h>

class wxIdleEvent;
class wxKeyEvent;
class wxListCtrl;
class wxStaticText;
class wxTextCtrl;

namespace qn {

class Database;
class GotoList;

class GotoDialog : public wxDialog {
public:
    GotoDialog(wxWindow* parent, Database& document);
    // The list reads the index: it goes first.
    ~GotoDialog() override;

    wxTextCtrl* queryField() const { return query_; }
    wxListCtrl* list() const;
    TitleIndex& index() { return index_; }
    // The node of the selected row; 0 when there is none.
    int chosenNode() const;
    // Reads every remaining title at once (tests and measurements).
    void readAll();

private:
    void refilter();
    void onIdle(wxIdleEvent& event);
    void onKey(wxKeyEvent& event);
    void accept();
    void showCount();

    TitleIndex index_;
    wxTextCtrl* query_;
    GotoList* list_;
    wxStaticText* count_;
};

// Ctrl+J: asks for a note and selects it in the tree, switching to the
// category that shows the whole tree when needed.
void showGotoNode(wxWindow* frame, Database& db);

} // namespace qn
