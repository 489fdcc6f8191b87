#include "frame/password_dialog.h"

#include "app/text_constants.h"
#include "store/codec.h"
#include "store/database.h"
#include "ui/image_archive.h"
#include "ui/image_button.h"
#include "ui/my_message.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/utils.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace qn {

namespace {

wxTextCtrl* addEntry(wxWindow* parent, wxSizer* sizer, const wxString& label, int id) {
    sizer->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxTOP, 5);
    auto* entry = new wxTextCtrl(parent, id, wxString(), wxDefaultPosition, wxSize(200, -1),
                                 wxTE_PASSWORD | wxTE_PROCESS_ENTER);
    sizer->Add(entry, 0, wxTOP, 2);
    return entry;
}

} // namespace

PasswordDialog::PasswordDialog(wxWindow* parent, int mode, Database& db)
    : wxDialog(parent, wxID_ANY, text(wxS("s.Title"))), mode_(mode), db_(db) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);

    wxBitmap picture;
    {
        ImageArchive archive(toolbarArchivePath());
        picture = archive.bitmap(wxS("toolbar/Password.png"));
    }
    // A picture only: it does not react to clicks.
    row->Add(new ImageButton(this, wxID_ANY, picture), 0, wxALL, 10);

    auto* fields = new wxBoxSizer(wxVERTICAL);
    const wxString heading = mode == MODE_NEW      ? text(wxS("s.pwd.new"))
                             : mode == MODE_CHANGE ? text(wxS("s.pwd.change"))
                                                   : text(wxS("s.pwd.open"));
    fields->Add(new wxStaticText(this, wxID_ANY, heading), 0, wxBOTTOM, 5);
    // Which document the password is for: with several windows, or at
    // start-up, the dialog is the only place that says so.
    if (!db.path().empty())
        fields->Add(new wxStaticText(this, wxID_ANY, db.path()), 0, wxBOTTOM, 5);
    if (mode == MODE_CHANGE)
        current_ = addEntry(this, fields, text(wxS("s.pwd.curPassword")), ID_CURRENT_FIELD);
    new_ = addEntry(this, fields, text(wxS("s.pwd.newPassword")), ID_NEW_FIELD);
    if (mode != MODE_OPEN)
        confirm_ = addEntry(this, fields, text(wxS("s.pwd.newPassword2")), ID_CONFIRM_FIELD);
    if (mode != MODE_OPEN) {
        // The legacy protection, for documents that older programs must
        // read: off unless asked for.
        compatible_ = new wxCheckBox(this, wxID_ANY, text(wxS("s.pwd.compatible")));
        compatible_->SetValue(false);
        fields->Add(compatible_, 0, wxTOP, 8);
    }
    row->Add(fields, 1, wxALL | wxEXPAND, 10);
    top->Add(row, 1, wxEXPAND);

    auto* buttons = new wxStdDialogButtonSizer;
    buttons->AddButton(new wxButton(this, wxID_OK, text(wxS("b.OK"))));
    buttons->AddButton(new wxButton(this, wxID_CANCEL, text(wxS("b.Cancel"))));
    buttons->Realize();
    top->Add(buttons, 0, wxALL | wxALIGN_RIGHT, 10);
    SetSizerAndFit(top);

    Bind(wxEVT_BUTTON, &PasswordDialog::onOk, this, wxID_OK);
    Bind(wxEVT_BUTTON, &PasswordDialog::onCancel, this, wxID_CANCEL);
    Bind(wxEVT_TEXT_ENTER, &PasswordDialog::onEnter, this);

    if (parent && parent->IsShown())
        CentreOnParent();
    else
        CentreOnScreen();
    (current_ ? current_ : new_)->SetFocus();
}

PasswordDialog::~PasswordDialog() = default;

wxString PasswordDialog::password() const {
    return new_->GetValue();
}

bool PasswordDialog::compatible() const {
    return compatible_ && compatible_->GetValue();
}

std::unique_ptr<BlockCipher> PasswordDialog::takeCipher() {
    return std::move(unlocked_);
}

bool PasswordDialog::verifies(const wxString& typed) {
    // The key is derived here (a sealed document's takes a moment), and
    // kept for the document when this is the open step.
    wxBusyCursor busy;
    const Unlock u = documentCipher(db_, typed, unlocked_);
    outOfMemory_ = u == Unlock::NoMemory;
    return u == Unlock::Ok;
}

void PasswordDialog::refuse(const wxString& message) {
    showMessage(message, text(wxS("s.Title")), MSG_OK | MSG_ICON_ERROR, this);
}

bool PasswordDialog::acceptInput() {
    const wxString typed = new_->GetValue();
    auto mismatch = [this] {
        refuse(text(wxS("s.pwd.dontMatch")));
        new_->Clear();
        confirm_->Clear();
        new_->SetFocus();
    };
    switch (mode_) {
    case MODE_NEW:
        if (typed.length() < 3) {
            refuse(text(wxS("s.pwd.lengthError")));
            return false;
        }
        if (typed != confirm_->GetValue()) {
            mismatch();
            return false;
        }
        return true;
    case MODE_CHANGE:
        if (!verifies(current_->GetValue())) {
            refuse(text(outOfMemory_ ? wxS("s.pwd.noMemory") : wxS("s.pwd.curPwdError")));
            // Typed again from the start, where it was wrong.
            current_->Clear();
            current_->SetFocus();
            return false;
        }
        if (typed.empty() && confirm_->GetValue().empty()) {
            return showMessage(text(wxS("s.pwd.remove")), text(wxS("s.Title")),
                               MSG_YES | MSG_NO | MSG_ICON_QUESTION, this) == MSG_YES;
        }
        if (typed.length() >= 3) {
            if (typed != confirm_->GetValue()) {
                mismatch();
                return false;
            }
            return true;
        }
        refuse(text(wxS("s.pwd.lengthError")));
        return false;
    default:
        if (verifies(typed)) return true;
        refuse(text(outOfMemory_ ? wxS("s.pwd.noMemory") : wxS("s.pwd.passwordError")));
        new_->Clear();
        return false;
    }
}

void PasswordDialog::onOk(wxCommandEvent&) {
    if (acceptInput()) EndModal(RESULT_OK);
}

void PasswordDialog::onCancel(wxCommandEvent&) {
    EndModal(RESULT_CANCEL);
}

void PasswordDialog::onEnter(wxCommandEvent& event) {
    wxWindow* from = wxDynamicCast(event.GetEventObject(), wxWindow);
    if (from && from == current_) {
        new_->SetFocus();
    } else if (from && from == new_ && confirm_) {
        confirm_->SetFocus();
    } else if (acceptInput()) {
        EndModal(RESULT_OK);
    }
}

bool unlockDocument(wxWindow* parent, Database& db) {
    if (!db.isProtected()) return true;
    if (!hasSupportedAlgorithms(db)) {
        db.close();
        showMessage(text(wxS("s.pwd.notSupported")), text(wxS("s.Title")), MSG_OK | MSG_ICON_ERROR,
                    parent);
        return false;
    }
    // Settings that cannot make a key are said before a password is asked for.
    Bytes salt;
    KdfLimits limits;
    if (db.getString(K_c_algo) == wxString::FromAscii(kSealedAlgo) &&
        !storedKdf(db, salt, limits)) {
        db.close();
        showMessage(text(wxS("s.pwd.damaged")), text(wxS("s.Title")), MSG_OK | MSG_ICON_ERROR,
                    parent);
        return false;
    }
    std::unique_ptr<BlockCipher> cipher;
    {
        PasswordDialog dialog(parent, PasswordDialog::MODE_OPEN, db);
        if (dialog.ShowModal() != PasswordDialog::RESULT_OK) {
            db.close();
            return false;
        }
        cipher = dialog.takeCipher();
    }
    // The dialog accepted only the right password: the cipher goes in now,
    // before any header is read.
    if (!cipher) {
        db.close();
        return false;
    }
    db.setCipher(std::move(cipher));
    return true;
}

} // namespace qn
