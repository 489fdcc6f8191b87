// Asking for a document password: a new one, a change (or removal), or the
// one that opens a protected document.
#pragma once

#include <wx/dialog.h>

#include <memory>

class wxCheckBox;
class wxTextCtrl;

namespace qn {

class BlockCipher;
class Database;

class PasswordDialog : public wxDialog {
public:
    enum Mode : int { MODE_NEW = 0, MODE_CHANGE = 1, MODE_OPEN = 2 };
    // Window ids of the entries.
    enum FieldId : int { ID_NEW_FIELD = 0, ID_CONFIRM_FIELD = 1, ID_CURRENT_FIELD = 2 };
    // What ShowModal() returns.
    static constexpr int RESULT_OK = 4;
    static constexpr int RESULT_CANCEL = 16;

    PasswordDialog(wxWindow* parent, int mode, Database& db);
    ~PasswordDialog() override;

    int mode() const { return mode_; }
    // The accepted password: the new one (empty: remove the protection) or,
    // when opening, the one typed.
    wxString password() const;

    // Null when the mode has no such entry.
    wxTextCtrl* currentField() const { return current_; }
    wxTextCtrl* newField() const { return new_; }
    wxTextCtrl* confirmField() const { return confirm_; }
    // "Compatible with older versions (weak)": protect the legacy way.
    // Off unless the user ticks it; absent when opening.
    wxCheckBox* compatibleBox() const { return compatible_; }
    bool compatible() const;
    // After an accepted open: the document's cipher, derived once while
    // the password was checked.
    std::unique_ptr<BlockCipher> takeCipher();

    // The checks of the OK button: shows what is wrong (the dialog stays
    // open) or returns true when the input is accepted.
    bool acceptInput();

private:
    bool verifies(const wxString& typed);
    void refuse(const wxString& key);
    void onOk(wxCommandEvent& event);
    void onCancel(wxCommandEvent& event);
    void onEnter(wxCommandEvent& event);

    int mode_;
    Database& db_;
    wxTextCtrl* current_ = nullptr;
    wxTextCtrl* new_ = nullptr;
    wxTextCtrl* confirm_ = nullptr;
    wxCheckBox* compatible_ = nullptr;
    std::unique_ptr<BlockCipher> unlocked_;
    bool outOfMemory_ = false; // the last check could not derive a key
};

// The password step of opening, right after Database::open succeeded: for
// a protected document checks its algorithms, asks for the password and
// installs the cipher. False when the document cannot be used (unsupported
// algorithms: reported; dialog cancelled: silent); the document is then
// closed again.
bool unlockDocument(wxWindow* parent, Database& db);

} // namespace qn
