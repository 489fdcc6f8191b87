// Shared by the main-window tests: expectations for the toolkit's message
// box and the password dialog.
#pragma once

#include "gui_test_support.h"

#include "frame/password_dialog.h"

#include <wx/msgdlg.h>

#include <functional>

namespace qn::test {

// The toolkit's message box with exactly this text and caption.
class ExpectMessageBox : public wxExpectModalBase<wxMessageDialog, ExpectMessageBox> {
public:
    ExpectMessageBox(const wxString& message, const wxString& caption, int answer = wxID_OK)
        : message_(message), caption_(caption), answer_(answer) {}

protected:
    int OnInvoked(wxMessageDialog* dlg) const override {
        EXPECT_EQ(dlg->GetMessage().utf8_string(), message_.utf8_string());
        EXPECT_EQ(dlg->GetTitle().utf8_string(), caption_.utf8_string());
        return answer_;
    }
    wxString GetDefaultDescription() const override {
        return wxS("message box \"") + message_ + wxS("\"");
    }

private:
    wxString message_, caption_;
    int answer_;
};

// The password dialog: `act` fills its fields and decides the result
// (usually by calling acceptInput()).
class ExpectPassword : public wxExpectModalBase<qn::PasswordDialog, ExpectPassword> {
public:
    explicit ExpectPassword(std::function<int(qn::PasswordDialog*)> act) : act_(std::move(act)) {}

protected:
    int OnInvoked(qn::PasswordDialog* dlg) const override { return act_(dlg); }

private:
    std::function<int(qn::PasswordDialog*)> act_;
};

} // namespace qn::test
