// The small modal dialogs of Find and Replace, and the question asked for
// each occurrence during an interactive replace.
#pragma once

#include "search/find_history.h"

#include <wx/dialog.h>

#include <functional>

class wxCheckBox;
class wxComboBox;

namespace qn {

// Calls `visit` with each native button inside a combo box (its drop-down
// arrow); nothing where the toolkit has none.
void forEachArrowButton(wxComboBox* box, const std::function<void(void*)>& visit);
// Whether Tab may stop at a native widget.
void setCanFocus(void* widget, bool can);

// Results of the Find and Replace dialogs (the ids of their buttons).
constexpr int FIND_OK = 5100;
constexpr int FIND_CANCEL = 5101;

// Asks for a search text and the two options.  OK remembers the text and
// the options and ends with FIND_OK; Cancel changes nothing.
class FindDialog : public wxDialog, public FindHistory {
public:
    FindDialog(wxWindow* parent, wxWindowID id);

    wxString searchText() const;
    bool isGlobal() const;
    bool isCaseSensitive() const;
    wxComboBox* searchBox() const { return search_; }
    wxCheckBox* globalBox() const { return global_; }
    wxCheckBox* caseBox() const { return case_; }

    // What OK does (also Enter in the search box).
    void accept();

private:
    wxComboBox* search_ = nullptr;
    wxCheckBox* global_ = nullptr;
    wxCheckBox* case_ = nullptr;
};

// Asks for a search text and its replacement.
class ReplaceDialog : public wxDialog, public FindHistory {
public:
    ReplaceDialog(wxWindow* parent, wxWindowID id);

    wxString searchText() const;
    wxString replacementText() const;
    wxComboBox* searchBox() const { return search_; }
    wxComboBox* replacementBox() const { return replacement_; }

    void accept();

private:
    wxComboBox* search_ = nullptr;
    wxComboBox* replacement_ = nullptr;
};

// "Replace this one?": Yes (5103), No (5104), Last (3), All (4) or Quit
// (5101, also the close box and Escape).
class ReplaceActionDialog : public wxDialog {
public:
    ReplaceActionDialog(wxWindow* parent, wxWindowID id, const wxString& searchText,
                        const wxString& replacementText);
};

} // namespace qn
