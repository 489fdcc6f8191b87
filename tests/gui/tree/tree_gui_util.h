// Shared by the tree and file-command tests: the dialog hook, answers for
// the program's dialogs, a private application data directory, and small
// builders of documents.
#pragma once

#include <gtest/gtest.h>

#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/string.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// An unexpected dialog fails the test instead of waiting for a click.
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

#include "search/my_message.h"
#include "store/database.h"

namespace qn {
class MainFrame;
}

namespace qn::test {

// Every static text of a window, joined by line breaks.
wxString dialogTexts(wxWindow* dialog);

// The program's message box: `expected` must be part of its texts; it is
// answered with `code` (4 OK, 2 Yes, 8 No, 16 Cancel).
class ExpectMessage : public wxExpectModalBase<MyMessage, ExpectMessage> {
public:
    ExpectMessage(const wxString& expected, int code = MSG_OK, wxString* seen = nullptr)
        : expected_(expected), code_(code), seen_(seen) {}

protected:
    int OnInvoked(MyMessage* box) const override {
        const wxString texts = dialogTexts(box);
        EXPECT_TRUE(texts.Contains(expected_)) << "expected \"" << expected_.utf8_string()
                                               << "\" in \"" << texts.utf8_string() << "\"";
        if (seen_) *seen_ = texts;
        return code_;
    }
    wxString GetDefaultDescription() const override {
        return wxS("message \"") + expected_ + wxS("\"");
    }

private:
    wxString expected_;
    int code_;
    wxString* seen_;
};

// A directory of its own, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    wxString file(const wxString& name) const { return path_ + name; }

private:
    wxString path_;
};

// Pumps events until the condition holds or about five seconds pass.
bool pumpUntil(const std::function<bool()>& condition, int milliseconds = 5000);
void destroyAllWindows();

// Sets a value of the settings store for one test.
class SettingOverride {
public:
    SettingOverride(const wxString& key, const wxString& value);
    ~SettingOverride();

private:
    wxString key_, old_;
};

// A new child of `parent` (appended) with a title.
Block* addChild(Database& db, int parent, const wxString& title);

// A main window, shown, as start-up makes one.
MainFrame* newFrame();
// Throws the window's document away without saving or asking.
void discard(MainFrame* frame);
// Discards every window's document and destroys the windows.
void discardAll();

} // namespace qn::test
