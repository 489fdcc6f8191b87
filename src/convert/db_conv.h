// The converter dialog: turns a document of the older format into a current
// document and asks the window that opened it to open the new file.
#pragma once

#include "app/ini_file.h"

#include <wx/dialog.h>

class wxTextCtrl;

class wxCheckBox;

namespace qn {

class LegacyReader;

class DBConv : public wxDialog {
public:
    enum {
        ID_CONVERT = 1,
        ID_CANCEL_BUTTON = 2,
        ID_SOURCE_BUTTON = 3,
        ID_DEST_BUTTON = 4,
    };
    // What ShowModal() returns.
    enum { RESULT_CONVERTED = 4, RESULT_CANCELLED = 16 };

    // `source` may be empty; a given source proposes its ".q2db" sibling as
    // the destination.
    DBConv(wxWindow* parent, const wxString& source);

    // What the Convert button does: checks the entries, converts and asks
    // the parent to open the new document. Returns what the dialog ends
    // with, or -1 when it stays open (an entry was refused).
    int convertNow();

    wxTextCtrl* sourceEntry() const { return source_; }
    wxTextCtrl* destinationEntry() const { return dest_; }
    // Protect the new document the legacy (weak) way older versions read;
    // off unless the user ticks it.
    wxCheckBox* compatibleBox() const { return compatible_; }
    // A text of the converter's own texts file ("" when missing).
    wxString convText(const wxString& key) const;

private:
    void onSourceButton(wxCommandEvent& event);
    void onDestButton(wxCommandEvent& event);
    void onConvert(wxCommandEvent& event);
    void onCancel(wxCommandEvent& event);

    // Checks the entries; false (after saying why) keeps the dialog open.
    bool acceptEntries(const wxString& source, const wxString& destination);
    // Opens and, when protected, unlocks the source; false ends the dialog.
    bool prepare(LegacyReader& reader, const wxString& source);
    int tell(const wxString& message, long style);

    IniFile texts_;
    wxTextCtrl* source_ = nullptr;
    wxTextCtrl* dest_ = nullptr;
    wxCheckBox* compatible_ = nullptr;
    // The destination whose replacement the save selector already confirmed.
    wxString confirmedDest_;
};

} // namespace qn
