// Shared by the main-window tests: the dialog hook, expectations for the
// program's own dialogs, and a private application data directory.
#pragma once

#include <gtest/gtest.h>

#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/string.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// An unexpected dialog must fail the test, not wait for a click.
class ThrowingHook;
#define wxTEST_DIALOG_HOOK_CLASS ThrowingHook
#include <wx/testing.h>

class ThrowingHook : public wxTestingModalHook {
public:
    ThrowingHook(const char* file, int line, const char* func)
        : wxTestingModalHook(file, line, func) {}

protected:
    void ReportFailure(const wxString& msg) override {
        throw std::runtime_error(msg.utf8_string());
    }
};

#include "frame/password_dialog.h"
#include "search/my_message.h"

namespace qn::test {

// Every static text of a dialog, joined by line breaks.
inline wxString dialogTexts(wxWindow* dialog) {
    wxString all;
    for (wxWindow* child : dialog->GetChildren()) {
        if (auto* label = dynamic_cast<wxStaticText*>(child)) all += label->GetLabel() + wxS("\n");
        all += dialogTexts(child);
    }
    return all;
}

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

// The program's message box showing `message` (checked with a predicate
// when given one); answers with `code` (4 OK, 2 Yes, 8 No, 16 Cancel).
class ExpectMyMessage : public wxExpectModalBase<qn::MyMessage, ExpectMyMessage> {
public:
    ExpectMyMessage(const wxString& message, int code = 4) : message_(message), code_(code) {}
    ExpectMyMessage(std::function<void(const wxString&)> check, int code = 4)
        : check_(std::move(check)), code_(code) {}

protected:
    int OnInvoked(qn::MyMessage* dlg) const override {
        const wxString texts = dialogTexts(dlg);
        if (check_)
            check_(texts);
        else
            EXPECT_EQ(texts.utf8_string(), (message_ + wxS("\n")).utf8_string());
        return code_;
    }
    wxString GetDefaultDescription() const override {
        return wxS("MyMessage \"") + message_ + wxS("\"");
    }

private:
    wxString message_;
    std::function<void(const wxString&)> check_;
    int code_;
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

// A private application data directory: a copy of the shipped
// configuration, or the files given.
class AppDir {
public:
    AppDir();
    ~AppDir();
    const wxString& path() const { return path_; } // ends with "/"
    wxString file(const wxString& name) const { return path_ + name; }
    void write(const wxString& name, const std::string& contents) const;
    void remove(const wxString& name) const;
    // Copies the shipped configuration (from the build tree) into it.
    void fillShipped() const;

private:
    wxString path_;
};

// Pumps events until the condition holds or about five seconds pass.
bool pumpUntil(const std::function<bool()>& condition, int milliseconds = 5000);

// Closes and deletes every top-level window.
void destroyAllWindows();

} // namespace qn::test
