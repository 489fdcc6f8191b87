// What every GUI test program shares: the dialog hook of wxTEST_DIALOG,
// the expectation for the program's own message box, event pumping, a
// private directory per test and the start of the toolkit around the tests.
// Include this header before anything that includes <wx/testing.h>.
#pragma once

#include "test_util.h"

#include <gtest/gtest.h>

#include <wx/string.h>
#include <wx/window.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// An unexpected or missing dialog fails the test instead of waiting for a
// click.
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

#include "ui/my_message.h"

namespace qn::test {

// Every static text of a window and its children, each followed by a line
// break.
wxString dialogTexts(wxWindow* window);

// The program's message box, answered with `code` (MSG_OK, MSG_YES, ...).
// Its texts must be exactly `message`, or hold it when made with
// containing(), or pass `check`.
class ExpectMyMessage : public wxExpectModalBase<MyMessage, ExpectMyMessage> {
public:
    explicit ExpectMyMessage(const wxString& message, int code = MSG_OK);
    explicit ExpectMyMessage(std::function<void(const wxString&)> check, int code = MSG_OK);
    // `seen`, when given, receives the texts of the box.
    static ExpectMyMessage containing(const wxString& part, int code = MSG_OK,
                                      wxString* seen = nullptr);

protected:
    int OnInvoked(MyMessage* box) const override;
    wxString GetDefaultDescription() const override;

private:
    wxString message_;
    std::function<void(const wxString&)> check_;
    int code_;
};

// Pumps events until the condition holds or the time (ms) runs out.
bool pumpUntil(const std::function<bool()>& condition, int milliseconds = 5000);
// Lets pending events and a few short timers run.
void pump();
// The labels of the popup menus (wxMenu) that `press` opens on `window`,
// each menu closed again with Escape; empty when none of them opens.
std::vector<wxString> popupMenuLabels(wxWindow* window, const std::function<void()>& press);
// Closes and deletes every top-level window.
void destroyAllWindows();

// A private directory under the temporary folder (a TempDir), removed
// afterwards.  fillShipped() makes it an application data directory.
class TestDir {
public:
    TestDir() : path_(dir_.dir()) {}

    const wxString& path() const { return path_; } // ends with "/"
    wxString file(const wxString& name) const { return path_ + name; }
    void write(const wxString& name, const std::string& contents) const;
    void remove(const wxString& name) const;
    // Copies the shipped configuration of the build tree into it; a
    // failure fails the running test.
    void fillShipped() const;

private:
    TempDir dir_;
    wxString path_;
};

// How a test program differs from the others.
struct GuiTestProgram {
    // A modal dialog that no wxTEST_DIALOG expects fails the test and is
    // cancelled. Programs whose tests run a real modal loop turn it off.
    bool failUnexpectedDialogs = true;
    // Once the toolkit runs, before the tests; false ends the program.
    std::function<bool()> setUp;
    // After the tests, once every window is gone.
    std::function<void()> tearDown;
};

// Starts the toolkit, runs the tests and ends the toolkit; returns the exit
// code of the program. The application object is the one the program
// declares with wxIMPLEMENT_APP_NO_MAIN, else a plain one. Failed wx
// assertions fail the running test and the log goes to standard error.
int runGuiTests(int argc, char** argv, const GuiTestProgram& program = {});

// Pushes an event handler onto a window for one scope, so that a failed
// assertion cannot leave a dead handler on a live window.
class ScopedHandler {
public:
    ScopedHandler(wxWindow* window, wxEvtHandler* handler) : window_(window) {
        window_->PushEventHandler(handler);
    }
    ~ScopedHandler() { window_->PopEventHandler(); }
    ScopedHandler(const ScopedHandler&) = delete;
    ScopedHandler& operator=(const ScopedHandler&) = delete;

private:
    wxWindow* window_;
};

} // namespace qn::test
