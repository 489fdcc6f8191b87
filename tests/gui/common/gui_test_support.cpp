#include "gui_test_support.h"

#include "app/app_paths.h"

#include <wx/app.h>
#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/stattext.h>
#include <wx/stopwatch.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <cstdlib>
#include <filesystem>

namespace qn::test {

wxString dialogTexts(wxWindow* window) {
    wxString all;
    for (wxWindow* child : window->GetChildren()) {
        if (auto* label = dynamic_cast<wxStaticText*>(child)) all += label->GetLabel() + wxS("\n");
        all += dialogTexts(child);
    }
    return all;
}

ExpectMyMessage::ExpectMyMessage(const wxString& message, int code)
    : message_(message), code_(code) {}

ExpectMyMessage::ExpectMyMessage(std::function<void(const wxString&)> check, int code)
    : check_(std::move(check)), code_(code) {}

ExpectMyMessage ExpectMyMessage::containing(const wxString& part, int code, wxString* seen) {
    ExpectMyMessage e(
        [part, seen](const wxString& texts) {
            EXPECT_TRUE(texts.Contains(part))
                << "expected \"" << part.utf8_string() << "\" in \"" << texts.utf8_string() << "\"";
            if (seen) *seen = texts;
        },
        code);
    e.message_ = part;
    return e;
}

int ExpectMyMessage::OnInvoked(MyMessage* box) const {
    const wxString texts = dialogTexts(box);
    if (check_)
        check_(texts);
    else
        EXPECT_EQ(texts.utf8_string(), (message_ + wxS("\n")).utf8_string());
    return code_;
}

wxString ExpectMyMessage::GetDefaultDescription() const {
    return wxS("MyMessage \"") + message_ + wxS("\"");
}

bool pumpUntil(const std::function<bool()>& condition, int milliseconds) {
    wxStopWatch watch;
    while (!condition()) {
        if (watch.Time() > milliseconds) return false;
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
    return true;
}

std::vector<wxString> popupMenuLabels(wxWindow* window, const std::function<void()>& press) {
    std::vector<wxString> labels;
    bool opened = false;
    // A popup menu runs its own loop: the timer's Escape closes it from in
    // there.
    wxTimer closer;
    closer.Bind(wxEVT_TIMER, [](wxTimerEvent&) { wxUIActionSimulator().Char(WXK_ESCAPE); });
    auto onOpen = [&](wxMenuEvent& event) {
        event.Skip();
        wxMenu* menu = event.GetMenu();
        if (!menu || !event.IsPopup() || opened) return;
        opened = true;
        for (wxMenuItem* item : menu->GetMenuItems())
            if (!item->IsSeparator()) labels.push_back(item->GetItemLabelText());
        closer.StartOnce(200);
    };
    window->Bind(wxEVT_MENU_OPEN, onOpen);
    press();
    const bool shown = pumpUntil([&] { return opened; }, 3000);
    window->Unbind(wxEVT_MENU_OPEN, onOpen);
    if (!shown) wxUIActionSimulator().Char(WXK_ESCAPE); // whatever else opened
    pumpUntil([&] { return !closer.IsRunning(); }, 3000);
    pump();
    return labels;
}

void pump() {
    for (int i = 0; i < 5; ++i) {
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
}

void destroyAllWindows() {
    while (!wxTopLevelWindows.empty()) {
        for (wxWindow* w : wxTopLevelWindows)
            w->Destroy();
        wxTheApp->ProcessIdle();
    }
}

void TestDir::write(const wxString& name, const std::string& contents) const {
    const wxFileName fn(file(name));
    wxFileName::Mkdir(fn.GetPath(), 0700, wxPATH_MKDIR_FULL);
    wxFFile out(fn.GetFullPath(), wxS("wb"));
    out.Write(contents.data(), contents.size());
}

void TestDir::remove(const wxString& name) const {
    wxRemoveFile(file(name));
}

void TestDir::fillShipped() const {
    const wxString shipped = shippedDataDir();
    ASSERT_FALSE(shipped.empty()) << "the shipped configuration is not built";
    std::error_code ec;
    std::filesystem::copy(shipped.utf8_string(), path_.utf8_string(),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing,
                          ec);
    ASSERT_FALSE(ec) << ec.message();
}

} // namespace qn::test
