// Shared by the article pane tests: a frame that hosts an article window
// and records what it is told, and a small document.
#pragma once

#include <gtest/gtest.h>

// An unexpected dialog must fail the test, not wait for a click.
class ThrowingHook;
#define wxTEST_DIALOG_HOOK_CLASS ThrowingHook
#include <wx/testing.h>

#include "article/article_history.h"
#include "article/article_window.h"
#include "article/caption_bar.h"
#include "search/my_message.h"
#include "store/database.h"

#include <wx/frame.h>
#include <wx/stattext.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class ThrowingHook : public wxTestingModalHook {
public:
    ThrowingHook(const char* file, int line, const char* func)
        : wxTestingModalHook(file, line, func) {}

protected:
    void ReportFailure(const wxString& msg) override {
        throw std::runtime_error(msg.utf8_string());
    }
};

namespace qn::test {

// Every static text of a window, joined by line breaks.
inline wxString windowTexts(wxWindow* window) {
    wxString all;
    for (wxWindow* child : window->GetChildren()) {
        if (auto* label = dynamic_cast<wxStaticText*>(child)) all += label->GetLabel() + wxS("\n");
        all += windowTexts(child);
    }
    return all;
}

// The program's message box; the check sees its texts.
class ExpectMessage : public wxExpectModalBase<MyMessage, ExpectMessage> {
public:
    explicit ExpectMessage(wxString expected, int code = MSG_OK)
        : expected_(std::move(expected)), code_(code) {}

protected:
    int OnInvoked(MyMessage* dlg) const override {
        EXPECT_EQ(windowTexts(dlg).Trim().utf8_string(), expected_.utf8_string());
        return code_;
    }
    wxString GetDefaultDescription() const override { return wxS("message ") + expected_; }

private:
    wxString expected_;
    int code_;
};

struct Notice {
    int id;
    wxString text;
    long value;
};

// Plays the main window: hosts the caption bar and the article window and
// records every notification it receives.
class HostFrame : public wxFrame {
public:
    explicit HostFrame(bool isMain = true);
    ~HostFrame() override;

    ArticleWindow* article = nullptr;
    CaptionBar* caption = nullptr;
    Database db;
    ArticleHistory history{31};
    std::vector<Notice> notices;
    std::vector<int> buttons;

    // Notifications with this id, in arrival order.
    std::vector<Notice> received(int id) const;
    void forget() { notices.clear(); }
    Block* addNode(const wxString& caption, const wxString& mime, const wxString& body);
};

// Pumps events until the condition holds or about five seconds pass.
bool pumpUntil(const std::function<bool()>& condition, int milliseconds = 5000);
void pump();

// Where the test program found the shipped configuration.
wxString shippedDir();

} // namespace qn::test
