// Floating article windows: opened from the tree, read-only, closed with
// their node or their document, and placed where the last one was.
#include "tree_gui_util.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "article/article_window.h"
#include "article/floating_win.h"
#include "article/text_window.h"
#include "frame/main_frame.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <wx/app.h>
#include <wx/display.h>
#include <wx/uiaction.h>

namespace qn {
namespace {

using test::addChild;
using test::ExpectMyMessage;

class Floating : public test::NewDocumentTest {
protected:
    void SetUp() override {
        test::NewDocumentTest::SetUp();
        addChild(*db, 1, wxS("A"))->setText(wxS("alpha"));
        addChild(*db, 1, wxS("B"))->setText(wxS("beta"));
        tree->SetItemHasChildren(tree->GetRootItem(), true);
        tree->Expand(tree->GetRootItem());
    }
    std::vector<FloatingWin*> floating() const {
        std::vector<FloatingWin*> out;
        for (wxWindow* child : frame->GetChildren())
            if (auto* win = dynamic_cast<FloatingWin*>(child))
                if (!win->IsBeingDeleted() && !wxPendingDelete.Member(win)) out.push_back(win);
        return out;
    }
    void openFromTree(int id) {
        tree->SelectItem(tree->locateNode(id, false));
        tree->runNodeCommand(ID_NODE_FLOATING);
    }
};

TEST_F(Floating, ReadOnlyAndIndependent) {
    openFromTree(2);
    openFromTree(2);
    ASSERT_EQ(floating().size(), 2u);
    FloatingWin* win = floating()[0];
    EXPECT_EQ(win->GetTitle(), wxS("A"));
    TextWindow* editor = win->article()->editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->GetValue(), wxS("alpha"));
    EXPECT_FALSE(editor->IsEditable());
    // Following a link inside shows the other node, still read-only.
    win->article()->showNodeHere(3);
    EXPECT_EQ(editor->GetValue(), wxS("beta"));
    EXPECT_FALSE(editor->IsEditable());
    EXPECT_EQ(win->GetTitle(), wxS("B"));
}

TEST_F(Floating, PlaceIsRememberedAndBroughtOntoTheScreen) {
    test::SettingOverride place(wxS("miniframe"), wxS("-9000,-9000,5"));
    openFromTree(2);
    ASSERT_EQ(floating().size(), 1u);
    FloatingWin* win = floating()[0];
    EXPECT_TRUE(wxGetClientDisplayRect().Contains(win->GetPosition()));
    win->SetSize(100, 120, 333, 222);
    win->Close();
    test::pumpUntil([&] { return floating().empty(); }, 2000);
    EXPECT_EQ(settings().get(wxS("miniframe")), wxS("100,120,333,222"));
}

TEST_F(Floating, EscapeAndCtrlWClose) {
    struct Key {
        int code;
        int modifiers;
    };
    for (const Key key : {Key{WXK_ESCAPE, wxMOD_NONE}, Key{'W', wxMOD_CONTROL}}) {
        SCOPED_TRACE(key.code);
        openFromTree(2);
        ASSERT_EQ(floating().size(), 1u);
        FloatingWin* win = floating()[0];
        win->Raise();
        win->article()->editor()->SetFocus();
        ASSERT_TRUE(test::pumpUntil(
            [&] { return wxWindow::FindFocus() == win->article()->editor(); }, 2000));
        wxUIActionSimulator().Char(key.code, key.modifiers);
        EXPECT_TRUE(test::pumpUntil([&] { return floating().empty(); }, 2000));
        for (FloatingWin* left : floating())
            left->Destroy();
    }
}

TEST_F(Floating, CloseWithTheirNodeAndTheirDocument) {
    openFromTree(2);
    openFromTree(3);
    ASSERT_EQ(floating().size(), 2u);
    tree->SelectItem(tree->locateNode(2, false));
    wxTEST_DIALOG(tree->runNodeCommand(ID_NODE_DELETE),
                  ExpectMyMessage::containing(
                      wxS("\"") + db->getBlock(2)->getString(K_cap) + wxS("\""), MSG_YES));
    ASSERT_EQ(floating().size(), 1u);
    EXPECT_EQ(floating()[0]->GetTitle(), wxS("B"));

    test::SettingOverride place(wxS("miniframe"), wxS("1,2,300,200"));
    frame->closeFloatingWindows();
    EXPECT_TRUE(floating().empty());
    EXPECT_EQ(settings().get(wxS("miniframe")), wxS("1,2,300,200")); // not recorded
}

} // namespace
} // namespace qn
