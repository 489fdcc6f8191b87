#include "backup/backup_commands.h"

#include "app/app_paths.h"
#include "app/text_constants.h"
#include "backup/backup_store.h"
#include "store/database.h"
#include "ui/command_ids.h"
#include "ui/my_message.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

namespace qn {

namespace {

wxString sizeText(unsigned long long bytes) {
    if (bytes < 1024) return wxString::Format(wxS("%llu B"), bytes);
    if (bytes < 1024 * 1024) return wxString::Format(wxS("%llu KB"), (bytes + 1023) / 1024);
    return wxString::Format(wxS("%.1f MB"), bytes / (1024.0 * 1024.0));
}

} // namespace

BackupBeforeSave::BackupBeforeSave(wxWindow* parent, const wxString& doc)
    : parent_(parent), doc_(doc) {
    if (doc.empty() || !BackupSession::instance().pending(doc)) return;
    const BackupPolicy policy = backupPolicyFromSettings(appDataDir());
    if (policy.keep <= 0) return;
    wxString why;
    if (makeBackup(doc, policy, nullptr, &why))
        BackupSession::instance().done(doc);
    else
        failure_ = why;
}

void BackupBeforeSave::saved() {
    if (doc_.empty() || !BackupSession::instance().pending(doc_)) return;
    BackupSession::instance().done(doc_);
    if (!failure_.empty())
        showMessage(text(wxS("s.BackupFailed")) + wxS("\n\n") + doc_ + wxS("\n") + failure_,
                    text(wxS("s.Title")), MSG_OK | MSG_ICON_WARNING, parent_);
}

OpenBackupDialog::OpenBackupDialog(wxWindow* parent, const std::vector<BackupEntry>& backups)
    : wxDialog(parent, wxID_ANY, text(wxS("s.OpenBackupTitle")), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      backups_(backups) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, text(wxS("s.OpenBackupPrompt"))), 0, wxALL, 10);
    list_ = new wxListBox(this, wxID_ANY, wxDefaultPosition, wxSize(360, 200));
    for (const BackupEntry& e : backups_)
        list_->Append(e.when.Format(wxS("%x  %X")) + wxS("    ") + sizeText(e.size));
    if (!backups_.empty()) list_->SetSelection(0);
    sizer->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 10);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* ok = new wxButton(this, wxID_OK, text(wxS("b.OK")));
    auto* cancel = new wxButton(this, wxID_CANCEL, text(wxS("b.Cancel")));
    buttons->Add(ok, 0, wxRIGHT, 8);
    buttons->Add(cancel);
    sizer->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 10);
    ok->SetDefault();
    SetAffirmativeId(wxID_OK);
    SetEscapeId(wxID_CANCEL);
    list_->Bind(wxEVT_LISTBOX_DCLICK, [this](wxCommandEvent&) { EndModal(wxID_OK); });
    SetSizerAndFit(sizer);
    list_->SetFocus();
    CentreOnParent();
}

wxString OpenBackupDialog::chosen() const {
    const int i = list_->GetSelection();
    return i == wxNOT_FOUND ? wxString() : backups_[static_cast<size_t>(i)].path;
}

void showOpenBackup(wxWindow* frame, Database& db) {
    if (!db.isOpen() || db.path().empty()) {
        showMessage(text(wxS("s.NoBackups")), text(wxS("s.Title")), MSG_OK | MSG_ICON_INFO, frame);
        return;
    }
    const BackupPolicy policy = backupPolicyFromSettings(appDataDir());
    const std::vector<BackupEntry> backups = listBackups(db.path(), policy);
    if (backups.empty()) {
        showMessage(text(wxS("s.NoBackups")) + wxS("\n\n") + backupFolder(db.path(), policy),
                    text(wxS("s.Title")), MSG_OK | MSG_ICON_INFO, frame);
        return;
    }
    OpenBackupDialog dialog(frame, backups);
    if (dialog.ShowModal() != wxID_OK || dialog.chosen().empty()) return;
    wxCommandEvent open(wxEVT_MENU, ID_OPEN_PATH);
    open.SetString(dialog.chosen());
    frame->GetEventHandler()->ProcessEvent(open);
}

} // namespace qn
