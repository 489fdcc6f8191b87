// File > Password: protect the open document, change its password or take
// the protection away; every block is rewritten under the new key.
#include "frame/main_frame.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "frame/password_dialog.h"
#include "ui/my_message.h"

#include <wx/utils.h>

#include <memory>

namespace qn {

void MainFrame::onPassword(wxCommandEvent&) {
    if (isDocumentOpen()) changePassword();
}

void MainFrame::changePassword() {
    // Every note is rewritten from this window's reading of the file: after
    // another program's change that would undo it (and leave its notes in
    // the old protection), so nothing is asked for.
    if (!db_->isNew() && db_->changedOnDisk()) {
        showMessage(text(wxS("s.ChangedOnDiskNoRewrite")), text(wxS("s.Title")),
                    MSG_OK | MSG_ICON_WARNING, this);
        return;
    }
    // Pending edits and the window state go into the document first.
    commitArticle();
    saveLayout();

    const int mode = db_->isProtected() ? PasswordDialog::MODE_CHANGE : PasswordDialog::MODE_NEW;
    wxString password;
    Protection how;
    int result;
    {
        PasswordDialog dialog(this, mode, *db_);
        result = dialog.ShowModal();
        password = dialog.password();
        // Sealed unless the user asked for the weak form older versions read;
        // cryptopt only means something for that one.
        how.compatible = dialog.compatible();
        how.options = settings().get(wxS("cryptopt"));
        KdfLimits limits;
        if (KdfLimits::parse(settings().get(wxS("cryptlimits")), limits)) how.limits = limits;
    }
    if (result != PasswordDialog::RESULT_OK) return;

    // No password: the protection goes.
    std::unique_ptr<BlockCipher> cipher;
    if (!password.empty()) {
        wxBusyCursor busy; // deriving the key takes a moment
        cipher = makeProtection(*db_, password, how);
        if (!cipher) {
            showMessage(text(wxS("s.pwd.noMemory")), text(wxS("s.Title")),
                        MSG_OK | MSG_ICON_ERROR, this);
            return;
        }
    }
    const bool protect = cipher != nullptr;

    // Every block is rewritten with the new cipher.
    bool rewritten;
    {
        wxBusyCursor busy;
        rewritten = db_->changeCipher(std::move(cipher), password);
    }

    // Tell the user what happened; a never-saved document is offered a save.
    const wxString title = text(wxS("s.Title"));
    if (db_->isNew()) {
        if (showMessage(text(wxS("s.pwd.protect")) + wxS("\n") + text(wxS("s.SaveChanges?")), title,
                        MSG_YES | MSG_NO | MSG_ICON_QUESTION, this) == MSG_YES)
            saveDocument();
    } else if (!rewritten) {
        // The file could not be rewritten: never report a protection that
        // did not reach the disk.
        wxString message = text(wxS("s.FileOpenWriteError"));
        if (db_->lastError()) message << wxS("\n\n") << db_->lastError().message;
        showMessage(message, title, MSG_OK | MSG_ICON_ERROR, this);
    } else {
        showMessage(protect ? text(wxS("s.pwd.protect")) : text(wxS("s.pwd.free")), title,
                    MSG_OK | MSG_ICON_INFO, this);
    }
}

} // namespace qn
