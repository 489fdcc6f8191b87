#include "ui/my_message.h"

#include "gui_test_support.h"

#include "app/app_paths.h"
#include "app/text_constants.h"
#include "ui/image_archive.h"
#include "ui/image_button.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/uiaction.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>

// Answers a MyMessage: lets the test look at it, then presses a button
// (its window id) or the close box (wxID_NONE), and returns what the box
// would have returned.
template <> class wxExpectModal<qn::MyMessage> : public wxExpectModalBase<qn::MyMessage> {
public:
    explicit wxExpectModal(int pressId, std::function<void(qn::MyMessage&)> inspect = {})
        : pressId_(pressId), inspect_(std::move(inspect)) {}

protected:
    int OnInvoked(qn::MyMessage* box) const override {
        if (inspect_) inspect_(*box);
        if (pressId_ == wxID_NONE) {
            box->Close();
        } else {
            wxWindow* button = box->FindWindow(pressId_);
            if (!button) throw std::runtime_error("no such button");
            wxCommandEvent click(wxEVT_BUTTON, pressId_);
            click.SetEventObject(button);
            button->GetEventHandler()->ProcessEvent(click);
        }
        return box->GetReturnCode();
    }

private:
    int pressId_;
    std::function<void(qn::MyMessage&)> inspect_;
};

namespace qn {
namespace {

wxString shareDir() {
    const char* bin = std::getenv("QN_BINARY_DIR");
    return wxString::FromUTF8(bin ? bin : QN_BINARY_DIR_FALLBACK) + wxS("/share/quillnest/");
}

class MessageBoxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setAppDataDir(shareDir());
        ASSERT_TRUE(loadTextConstants(appDataDir(), wxS("en")));
    }
};

// The buttons of a box, left to right, as window ids.
std::vector<int> buttonIds(wxWindow& box) {
    std::vector<wxButton*> buttons;
    for (wxWindow* child : box.GetChildren())
        if (auto* b = dynamic_cast<wxButton*>(child)) buttons.push_back(b);
    std::sort(buttons.begin(), buttons.end(),
              [](wxButton* a, wxButton* b) { return a->GetPosition().x < b->GetPosition().x; });
    std::vector<int> ids;
    for (wxButton* b : buttons)
        ids.push_back(b->GetId());
    return ids;
}

bool sameImage(const wxBitmap& a, const wxBitmap& b) {
    if (!a.IsOk() || !b.IsOk()) return false;
    wxImage ia = a.ConvertToImage(), ib = b.ConvertToImage();
    return ia.GetSize() == ib.GetSize() &&
           std::equal(ia.GetData(), ia.GetData() + ia.GetWidth() * ia.GetHeight() * 3,
                      ib.GetData());
}

wxBitmap shownIcon(wxWindow& box) {
    for (wxWindow* child : box.GetChildren())
        if (auto* icon = dynamic_cast<ImageButton*>(child)) return icon->bitmap();
    return wxBitmap();
}

TEST_F(MessageBoxTest, ButtonsIconAndReturnCodePerStyle) {
    struct Case {
        const char* name;
        long style;
        std::vector<int> buttons;
        const char* icon;
        int press;
        int result;
    };
    const Case cases[] = {
        {"OK + information", MSG_OK | MSG_ICON_INFO, {MSG_ID_OK}, "Info.png", MSG_ID_OK, 4},
        {"Yes/No question",
         MSG_YES | MSG_NO | MSG_ICON_QUESTION,
         {MSG_ID_YES, MSG_ID_NO},
         "Question.png",
         MSG_ID_NO,
         8},
        {"question and information: information wins",
         MSG_YES | MSG_NO | MSG_ICON_QUESTION | MSG_ICON_INFO,
         {MSG_ID_YES, MSG_ID_NO},
         "Info.png",
         MSG_ID_YES,
         2},
        {"no icon bit: information", MSG_OK, {MSG_ID_OK}, "Info.png", MSG_ID_OK, 4},
        {"error beats warning",
         MSG_OK | MSG_ICON_ERROR | MSG_ICON_WARNING,
         {MSG_ID_OK},
         "Error.png",
         MSG_ID_OK,
         4},
        {"warning",
         MSG_OK | MSG_CANCEL | MSG_ICON_WARNING,
         {MSG_ID_OK, MSG_ID_CANCEL},
         "Warning.png",
         MSG_ID_CANCEL,
         16},
        {"Yes, Save all, No in that order",
         MSG_YES | MSG_SAVE_ALL | MSG_NO | MSG_ICON_QUESTION,
         {MSG_ID_YES, MSG_ID_SAVE_ALL, MSG_ID_NO},
         "Question.png",
         MSG_ID_SAVE_ALL,
         5113},
        {"all five",
         MSG_OK | MSG_YES | MSG_SAVE_ALL | MSG_NO | MSG_CANCEL,
         {MSG_ID_OK, MSG_ID_YES, MSG_ID_SAVE_ALL, MSG_ID_NO, MSG_ID_CANCEL},
         "Info.png",
         MSG_ID_CANCEL,
         16},
        {"close box of an OK-only box is Cancel",
         MSG_OK | MSG_ICON_INFO,
         {MSG_ID_OK},
         "Info.png",
         wxID_NONE,
         16},
        {"close box of a Yes/No box is Cancel",
         MSG_YES | MSG_NO | MSG_ICON_QUESTION,
         {MSG_ID_YES, MSG_ID_NO},
         "Question.png",
         wxID_NONE,
         16},
    };
    ImageArchive archive(toolbarArchivePath());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const wxBitmap expectedIcon = archive.bitmap(wxS("toolbar/") + wxString::FromUTF8(c.icon));
        ASSERT_TRUE(expectedIcon.IsOk());
        int result = -1;
        wxTEST_DIALOG(result = showMessage(wxS("Message text"), wxS("Caption"), c.style),
                      wxExpectModal<MyMessage>(c.press, [&](MyMessage& box) {
                          EXPECT_EQ(box.GetTitle(), wxS("Caption"));
                          EXPECT_EQ(box.GetName(), wxS("dialog"));
                          EXPECT_EQ(buttonIds(box), c.buttons);
                          EXPECT_TRUE(sameImage(shownIcon(box), expectedIcon));
                      }));
        EXPECT_EQ(result, c.result);
    }
}

TEST_F(MessageBoxTest, CaptionsComeFromTheTextConstants) {
    const std::pair<int, const char*> buttons[] = {{MSG_ID_OK, "b.OK"},
                                                   {MSG_ID_YES, "b.Yes"},
                                                   {MSG_ID_SAVE_ALL, "b.SaveAll"},
                                                   {MSG_ID_NO, "b.No"},
                                                   {MSG_ID_CANCEL, "b.Cancel"}};
    MyMessage box(nullptr, wxS("m"), wxS("c"),
                  MSG_OK | MSG_YES | MSG_SAVE_ALL | MSG_NO | MSG_CANCEL);
    for (const auto& [id, key] : buttons) {
        auto* b = dynamic_cast<wxButton*>(box.FindWindow(id));
        ASSERT_NE(b, nullptr) << key;
        EXPECT_FALSE(text(key).empty()) << key;
        EXPECT_EQ(b->GetLabel(), text(key)) << key;
    }
}

TEST_F(MessageBoxTest, MissingArchiveLeavesTheIconEmpty) {
    setAppDataDir(wxS("/nonexistent-quillnest-dir/"));
    int result = -1;
    wxTEST_DIALOG(result = showMessage(wxS("m"), wxS("c"), MSG_OK | MSG_ICON_ERROR),
                  wxExpectModal<MyMessage>(
                      MSG_ID_OK, [](MyMessage& box) { EXPECT_FALSE(shownIcon(box).IsOk()); }));
    EXPECT_EQ(result, 4);
    setAppDataDir(shareDir());
}

TEST_F(MessageBoxTest, SeparatorLineOnlyWithoutTheNoSeparatorBit) {
    for (long extra : {0L, static_cast<long>(MSG_NO_SEPARATOR)}) {
        wxDialog dlg(nullptr, wxID_ANY, wxS("d"));
        auto* sizer = new wxBoxSizer(wxVERTICAL);
        addButtonRow(&dlg, sizer, MSG_OK | MSG_CANCEL | extra);
        dlg.SetSizerAndFit(sizer);
        bool hasLine = false;
        for (wxWindow* child : dlg.GetChildren())
            hasLine = hasLine || dynamic_cast<wxStaticLine*>(child) != nullptr;
        EXPECT_EQ(hasLine, extra == 0);
        EXPECT_EQ(buttonIds(dlg), (std::vector<int>{MSG_ID_OK, MSG_ID_CANCEL}));
    }
}

// The real modal loop, with a real mouse click on the Save all button.
TEST_F(MessageBoxTest, RealClickEndsTheModalLoop) {
    MyMessage box(nullptr, wxS("Save the changes?"), wxS("Quillnest"),
                  MSG_YES | MSG_SAVE_ALL | MSG_NO | MSG_ICON_QUESTION);
    box.CallAfter([&box] {
        wxWindow* target = box.FindWindow(MSG_ID_SAVE_ALL);
        for (int i = 0; i < 50 && !target->IsShownOnScreen(); ++i)
            wxTheApp->Yield(true);
        wxUIActionSimulator sim;
        sim.MouseMove(target->GetScreenRect().GetPosition() + wxPoint(5, 5));
        wxTheApp->Yield(true);
        sim.MouseClick();
    });
    EXPECT_EQ(box.ShowModal(), MSG_RESULT_SAVE_ALL);
}

// The real modal loop answered from the keyboard: the first button has
// the focus and is the default, Tab moves between the buttons, Enter
// answers the focused one, Escape answers Cancel (also when the style asks
// for it), else No, else what the close box gives.
TEST_F(MessageBoxTest, KeyboardAnswersTheBox) {
    struct Case {
        const char* name;
        long style;
        std::vector<int> keys;
        int result;
    };
    const Case cases[] = {
        {"Enter: OK", MSG_OK | MSG_ICON_INFO, {WXK_RETURN}, MSG_OK},
        {"Enter: Yes", MSG_YES | MSG_NO | MSG_ICON_QUESTION, {WXK_RETURN}, MSG_YES},
        {"Tab, Enter: No", MSG_YES | MSG_NO, {WXK_TAB, WXK_RETURN}, MSG_NO},
        {"Tab, Enter: Save all",
         MSG_YES | MSG_SAVE_ALL | MSG_NO,
         {WXK_TAB, WXK_RETURN},
         MSG_RESULT_SAVE_ALL},
        {"Escape with Cancel", MSG_YES | MSG_NO | MSG_CANCEL, {WXK_ESCAPE}, MSG_CANCEL},
        {"Escape in Yes/No", MSG_YES | MSG_NO | MSG_ICON_QUESTION, {WXK_ESCAPE}, MSG_NO},
        {"Escape in Yes/Save all/No", MSG_YES | MSG_SAVE_ALL | MSG_NO, {WXK_ESCAPE}, MSG_NO},
        {"Escape in Yes/No asked to cancel",
         MSG_YES | MSG_NO | MSG_ESCAPE_CANCELS,
         {WXK_ESCAPE},
         MSG_CANCEL},
        {"Escape in OK only: the close box's 16",
         MSG_OK | MSG_ICON_ERROR,
         {WXK_ESCAPE},
         MSG_CANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MyMessage box(nullptr, wxS("Message text"), wxS("Quillnest"), c.style);
        const int first = buttonIds(box).front();
        auto* firstButton = dynamic_cast<wxButton*>(box.FindWindow(first));
        ASSERT_NE(firstButton, nullptr);
        EXPECT_EQ(box.GetDefaultItem(), firstButton);
        bool focusedFirst = false;
        box.CallAfter([&] {
            for (int i = 0; i < 50 && !firstButton->IsShownOnScreen(); ++i)
                wxTheApp->Yield(true);
            for (int i = 0; i < 20 && wxWindow::FindFocus() != firstButton; ++i)
                wxTheApp->Yield(true);
            focusedFirst = wxWindow::FindFocus() == firstButton;
            wxUIActionSimulator sim;
            for (int key : c.keys) {
                sim.Char(key);
                for (int i = 0; i < 5; ++i)
                    wxTheApp->Yield(true);
            }
            // A box the keys did not answer must not hang the test.
            if (box.IsModal()) box.EndModal(-1);
        });
        EXPECT_EQ(box.ShowModal(), c.result);
        EXPECT_TRUE(focusedFirst);
    }
}

TEST(ImageButtonTest, SizeAndClicksReachTheParent) {
    wxFrame frame(nullptr, wxID_ANY, wxS("f"));
    std::vector<std::pair<int, int>> clicks; // (id, value)
    frame.Bind(wxEVT_BUTTON,
               [&](wxCommandEvent& e) { clicks.emplace_back(e.GetId(), e.GetInt()); });
    auto* button = new ImageButton(&frame, 108);
    EXPECT_EQ(button->GetSize(), wxSize(16, 16));
    button->setBitmap(wxBitmap(24, 20));
    EXPECT_EQ(button->GetSize(), wxSize(24, 20));

    auto mouse = [button](wxEventType type) {
        wxMouseEvent e(type);
        e.SetEventObject(button);
        button->GetEventHandler()->ProcessEvent(e);
    };
    struct Case {
        bool left, right;
        std::vector<std::pair<int, int>> expected;
        bool highlightsOnEnter;
    };
    const Case cases[] = {
        {false, false, {}, false},
        {true, false, {{108, 1}}, true},
        {false, true, {{108, 2}}, true},
        {true, true, {{108, 1}, {108, 2}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left << c.right);
        clicks.clear();
        button->setClickButtons(c.left, c.right);
        mouse(wxEVT_ENTER_WINDOW);
        EXPECT_EQ(button->isHighlighted(), c.highlightsOnEnter);
        mouse(wxEVT_LEFT_DOWN);
        mouse(wxEVT_LEFT_UP);
        mouse(wxEVT_RIGHT_DOWN);
        mouse(wxEVT_RIGHT_UP);
        EXPECT_EQ(clicks, c.expected);
        mouse(wxEVT_LEAVE_WINDOW);
        EXPECT_FALSE(button->isHighlighted());
    }
}

} // namespace
} // namespace qn
