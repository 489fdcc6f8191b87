// The node commands: their effect on the tree and on the saved document,
// the keyboard map, and the command numbers they share with the frame.
#include "tree_gui_util.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/app_paths.h"
#include "app/text_constants.h"
#include "article/article_history.h"
#include "article/article_window.h"
#include "frame/main_frame.h"
#include "objects/image_selector.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <sqlite3.h>
#include "ui/node_model.h"

#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/menu.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <map>
#include <tuple>
#include <functional>

template <>
class wxExpectModal<qn::ImageSelector> : public wxExpectModalBase<qn::ImageSelector> {
public:
    explicit wxExpectModal(std::function<int(qn::ImageSelector*)> answer)
        : answer_(std::move(answer)) {}

protected:
    int OnInvoked(qn::ImageSelector* dialog) const override { return answer_(dialog); }

private:
    std::function<int(qn::ImageSelector*)> answer_;
};

namespace qn {
namespace {

using test::addChild;
using test::ExpectMyMessage;

class NodeCommands : public test::NewDocumentTest {
protected:
    void SetUp() override {
        test::NewDocumentTest::SetUp();
        db->getBlock(1)->setString(K_cap, wxS("Top"));
        for (const char* title : {"A", "B", "C"})
            addChild(*db, 1, wxString::FromAscii(title));
        tree->SetItemHasChildren(tree->GetRootItem(), true);
        tree->Expand(tree->GetRootItem());
    }
    void select(int id) { tree->SelectItem(tree->locateNode(id, false)); }
    std::vector<int> children(int id) { return db->getBlock(id)->getIntList(K_ch); }
    // Titles of the items below `id`'s item, as the tree shows them.
    wxString shown(int id) {
        wxString out;
        const wxTreeItemId item = tree->locateNode(id, false);
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree->GetFirstChild(item, cookie); c.IsOk();
             c = tree->GetNextChild(item, cookie))
            out << tree->GetItemText(c) << wxS(",");
        return out;
    }
    test::TestDir dir;
    bool key(int code, bool shift) {
        wxKeyEvent event(wxEVT_KEY_DOWN);
        event.m_keyCode = code;
        event.m_shiftDown = shift;
        event.SetEventObject(tree);
        tree->ProcessWindowEvent(event);
        return !event.GetSkipped();
    }
};

TEST_F(NodeCommands, StructureEditsReachTheTreeAndTheFile) {
    select(2);
    ASSERT_TRUE(tree->runNodeCommand(ID_NODE_NEW_SIBLING_BELOW)); // 5 after A
    EXPECT_EQ(children(1), (std::vector<int>{2, 5, 3, 4}));
    EXPECT_EQ(tree->selectedNodeId(), 5);
    // Its title is typed next, in place.
    wxTextCtrl* editing = tree->GetEditControl();
    ASSERT_NE(editing, nullptr);
    EXPECT_TRUE(editing->IsShown());
    tree->EndEditLabel(tree->GetSelection(), true);
    db->getBlock(5)->setString(K_cap, wxString::FromUTF8("Grüße"));
    tree->SetItemText(tree->GetSelection(), wxString::FromUTF8("Grüße"));

    select(3);
    ASSERT_TRUE(tree->runNodeCommand(ID_NODE_UP));
    EXPECT_EQ(children(1), (std::vector<int>{2, 3, 5, 4}));
    EXPECT_EQ(shown(1), wxString::FromUTF8("A,B,Grüße,C,"));
    EXPECT_EQ(tree->selectedNodeId(), 3);

    ASSERT_TRUE(tree->runNodeCommand(ID_NODE_RIGHT)); // B under A
    EXPECT_EQ(children(1), (std::vector<int>{2, 5, 4}));
    EXPECT_EQ(children(2), (std::vector<int>{3}));
    EXPECT_EQ(db->getBlock(3)->parent(), 2);
    EXPECT_EQ(tree->selectedNodeId(), 3);

    ASSERT_TRUE(tree->runNodeCommand(ID_NODE_NEW_CHILD_BOTTOM)); // 6 under B
    EXPECT_EQ(children(3), (std::vector<int>{6}));
    EXPECT_EQ(tree->selectedNodeId(), 3); // the selection stays
    EXPECT_EQ(tree->GetEditControl(), nullptr);

    select(2);
    // Delete A with its subtree: one question that names it and counts B and
    // B's child, answered Yes.
    wxTEST_DIALOG(EXPECT_TRUE(tree->runNodeCommand(ID_NODE_DELETE)),
                  ExpectMyMessage(deleteNodeQuestion(wxS("A"), 2), MSG_YES));
    EXPECT_EQ(children(1), (std::vector<int>{5, 4}));
    for (int id : {2, 3, 6})
        EXPECT_EQ(db->findBlock(id), nullptr) << id;
    EXPECT_EQ(tree->selectedNodeId(), 5); // the next one

    // Sorting keeps a child the tree does not show (an unknown id).
    db->getBlock(1)->setIntList(K_ch, {5, 99, 4});
    select(1);
    ASSERT_TRUE(tree->runNodeCommand(ID_NODE_SORT_CHILDREN));
    EXPECT_EQ(children(1), (std::vector<int>{99, 4, 5}));
    EXPECT_EQ(shown(1), wxString::FromUTF8("C,Grüße,"));

    const wxString path = dir.file(wxS("edited.q2db"));
    db->setPath(path);
    ASSERT_TRUE(db->save());
    Database check;
    ASSERT_EQ(check.open(path), Database::OPEN_OK);
    EXPECT_EQ(check.getBlock(1)->getIntList(K_ch), (std::vector<int>{99, 4, 5}));
    EXPECT_EQ(check.getBlock(5)->getString(K_cap), wxString::FromUTF8("Grüße"));
    EXPECT_EQ(check.findBlock(2), nullptr);
    EXPECT_EQ(check.findBlock(6), nullptr);
}

TEST_F(NodeCommands, SortChildrenReadsNumbersByValueAndIgnoresCase) {
    // Below C: titles a plain string sort puts out of order.
    const int c = 4;
    for (const char* title : {"item 10", "Banana", "item 9", "apple", "item 100"})
        addChild(*db, c, wxString::FromAscii(title));
    const wxTreeItemId item = tree->locateNode(c, false);
    tree->SetItemHasChildren(item, true);
    tree->Expand(item);
    select(c);
    ASSERT_TRUE(tree->runNodeCommand(ID_NODE_SORT_CHILDREN));
    EXPECT_EQ(shown(c), wxS("apple,Banana,item 9,item 10,item 100,"));
}

TEST_F(NodeCommands, KeyboardMap) {
    select(3);
    EXPECT_TRUE(key(WXK_DOWN, true)); // Shift+Down: node down
    EXPECT_EQ(children(1), (std::vector<int>{2, 4, 3}));
    EXPECT_FALSE(key(WXK_DOWN, false)); // plain arrows move the selection
    EXPECT_TRUE(key(WXK_INSERT, false)); // a sibling above
    EXPECT_EQ(children(1).size(), 4u);
    EXPECT_EQ(children(1)[2], tree->selectedNodeId());
    // Enter on the top node: a warning and nothing else.
    select(1);
    wxTEST_DIALOG(key(WXK_RETURN, false), ExpectMyMessage(text(wxS("s.RootNode"))));
    EXPECT_EQ(children(1).size(), 4u);
    EXPECT_FALSE(key('a', false));

    // Shift+Right and Shift+Left move a node into its previous sibling and
    // back out; Delete asks first (No keeps it).
    select(3);
    const std::vector<int> top = children(1);
    const int previous = *(std::find(top.begin(), top.end(), 3) - 1);
    EXPECT_TRUE(key(WXK_RIGHT, true));
    EXPECT_EQ(db->getBlock(3)->parent(), previous);
    EXPECT_TRUE(key(WXK_LEFT, true));
    EXPECT_EQ(db->getBlock(3)->parent(), 1);
    EXPECT_FALSE(key(WXK_LEFT, false));
    wxTEST_DIALOG(EXPECT_TRUE(key(WXK_DELETE, false)),
                  ExpectMyMessage(deleteNodeQuestion(wxS("B"), 0), MSG_NO));
    EXPECT_NE(db->findBlock(3), nullptr);
    wxTEST_DIALOG(EXPECT_TRUE(key(WXK_F2, true)),
                  wxExpectModal<ImageSelector>([](ImageSelector*) { return wxID_CANCEL; }));
}

TEST_F(NodeCommands, NumbersSharedWithTheFrameStayInTheTree) {
    int frameSaw = 0;
    auto count = [&](wxCommandEvent&) { ++frameSaw; };
    // 122 to 126 are also entries of the frame's history menu (110-199);
    // 122 to 125 are no node command at all.
    frame->Bind(wxEVT_MENU, count, ID_HISTORY_FIRST, ID_HISTORY_LAST);
    select(2);
    for (int id : {ID_NODE_FLOATING, 122, 125}) {
        wxCommandEvent event(wxEVT_MENU, id);
        event.SetEventObject(tree);
        tree->ProcessWindowEvent(event); // as from the tree's context menu
    }
    frame->Unbind(wxEVT_MENU, count, ID_HISTORY_FIRST, ID_HISTORY_LAST);
    EXPECT_EQ(frameSaw, 0);

    std::unique_ptr<wxMenu> menu(tree->makeNodeMenu());
    EXPECT_EQ(menu->FindItem(ID_NODE_NEW_CHILD_BOTTOM)->GetItemLabelText(),
              wxMenuItem::GetLabelText(text(wxS("m.NewChildAtBottom"))));
    EXPECT_TRUE(menu->FindItem(ID_NODE_BOLD)->IsCheckable());
}

// The letters a menu's items are reached by, one per item; clashes and
// items without one are reported by label.
void checkMnemonics(wxMenu& menu, const wxString& language) {
    std::map<wxUniChar, wxString> seen;
    for (const wxMenuItem* item : menu.GetMenuItems()) {
        if (item->IsSeparator()) continue;
        const wxString label = item->GetItemLabel().BeforeFirst('\t');
        const int amp = label.Find('&');
        if (amp == wxNOT_FOUND || static_cast<size_t>(amp) + 1 >= label.length()) {
            ADD_FAILURE() << language << ": no key for " << label;
            continue;
        }
        const wxUniChar letter = wxString(label[amp + 1]).Lower()[0];
        const auto [it, fresh] = seen.emplace(letter, label);
        EXPECT_TRUE(fresh) << language << ": " << label << " and " << it->second;
        if (item->IsSubMenu()) checkMnemonics(*item->GetSubMenu(), language);
    }
}

TEST_F(NodeCommands, TheMenuHasOneKeyPerItemInEveryLanguageAndShowsTheTreeKeys) {
    select(2);
    for (const wxString language : {wxS("de"), wxS("en")}) {
        ASSERT_TRUE(loadTextConstants(appDataDir(), language));
        std::unique_ptr<wxMenu> menu(tree->makeNodeMenu());
        checkMnemonics(*menu, language);
    }
    std::unique_ptr<wxMenu> menu(tree->makeNodeMenu());
    for (const auto& [id, code, shift] : {std::tuple{ID_NODE_NEW_SIBLING_BELOW, WXK_RETURN, false},
                                          {ID_NODE_NEW_SIBLING_ABOVE, WXK_INSERT, false},
                                          {ID_NODE_DELETE, WXK_DELETE, false},
                                          {ID_NODE_RENAME, WXK_F2, false},
                                          {ID_NODE_ICON, WXK_F2, true},
                                          {ID_NODE_RIGHT, WXK_RIGHT, true}}) {
        std::unique_ptr<wxAcceleratorEntry> accel(menu->FindItem(id)->GetAccel());
        ASSERT_TRUE(accel) << id;
        EXPECT_EQ(accel->GetKeyCode(), code) << id;
        EXPECT_EQ(accel->GetFlags(), shift ? wxACCEL_SHIFT : wxACCEL_NORMAL) << id;
    }
}

TEST_F(NodeCommands, LookAndProperties) {
    select(2);
    ASSERT_TRUE(tree->runNodeCommand(ID_NODE_BOLD));
    EXPECT_EQ(db->getBlock(2)->getString(K_NFattr), wxS("B"));
    EXPECT_EQ(tree->GetItemFont(tree->GetSelection()).GetWeight(), wxFONTWEIGHT_BOLD);
    ASSERT_TRUE(tree->runNodeCommand(ID_NODE_BOLD));
    EXPECT_EQ(db->getBlock(2)->getString(K_NFattr), wxS(""));
    EXPECT_NE(tree->GetItemFont(tree->GetSelection()).GetWeight(), wxFONTWEIGHT_BOLD);
    // A size the file does not know shows as unknown, not as a huge number.
    db->getBlock(2)->setInt(K_sz, -1);
    wxString seen;
    wxTEST_DIALOG(tree->runNodeCommand(ID_NODE_PROPERTIES),
                  ExpectMyMessage::containing(wxS("?"), MSG_OK, &seen));
    EXPECT_FALSE(seen.Contains(wxS("4294967295"))) << seen;
    EXPECT_TRUE(seen.Contains(wxS("2"))) << seen;
    // The stored times are UTC, and the box says so beside each.
    const wxString created = db->getBlock(2)->getString(K_c);
    ASSERT_FALSE(created.empty());
    EXPECT_TRUE(seen.Contains(wxS("(UTC): ") + created)) << seen;
}

} // namespace
} // namespace qn


namespace qn {
namespace {

// The icon command: a click on a picture sets the icon; closing the
// selector changes nothing but its remembered place.
TEST_F(NodeCommands, IconFromTheSelector) {
    test::SettingOverride place(wxS("iconselector"), wxS("-5000,-5000,10"));
    select(2);
    wxTEST_DIALOG(EXPECT_TRUE(tree->runNodeCommand(ID_NODE_ICON)),
                  wxExpectModal<ImageSelector>([](ImageSelector* s) {
                      // A stored place far off the screen is brought back.
                      const wxRect screen = wxGetClientDisplayRect();
                      EXPECT_TRUE(screen.Contains(s->GetPosition()));
                      const ImageGrid& g = s->container()->grid();
                      EXPECT_GT(g.count(), 3);
                      // The gap right of the third picture picks nothing.
                      const GridRect& third = g.cell(2);
                      EXPECT_EQ(s->container()->clickAt(third.x + third.width + 1, third.y), -1);
                      EXPECT_EQ(s->container()->clickAt(third.x + 1, third.y + 1), 2);
                      return wxID_OK;
                  }));
    EXPECT_EQ(db->getBlock(2)->getString(K_i), iconNameOf(2));
    EXPECT_EQ(tree->GetItemImage(tree->GetSelection()), 2);

    select(3);
    const wxString before = db->getBlock(3)->getString(K_i);
    wxTEST_DIALOG(EXPECT_FALSE(tree->runNodeCommand(ID_NODE_ICON)),
                  wxExpectModal<ImageSelector>([](ImageSelector* s) {
                      // Escape closes it as the close box does.
                      s->SetReturnCode(0);
                      wxKeyEvent escape(wxEVT_CHAR_HOOK);
                      escape.m_keyCode = WXK_ESCAPE;
                      escape.SetEventObject(s->container());
                      s->GetEventHandler()->ProcessEvent(escape);
                      EXPECT_EQ(s->GetReturnCode(), wxID_CANCEL);
                      return s->GetReturnCode();
                  }));
    EXPECT_EQ(db->getBlock(3)->getString(K_i), before);
    EXPECT_EQ(settings().getIntList(wxS("iconselector")).size(), 4u);

    // The arrow keys frame a picture, Enter picks it.
    int expected = -1;
    wxTEST_DIALOG(EXPECT_TRUE(tree->runNodeCommand(ID_NODE_ICON)),
                  wxExpectModal<ImageSelector>([&](ImageSelector* s) {
                      auto press = [s](int code) {
                          wxKeyEvent key(wxEVT_CHAR_HOOK);
                          key.m_keyCode = code;
                          key.SetEventObject(s->container());
                          s->GetEventHandler()->ProcessEvent(key);
                      };
                      const int columns = s->container()->grid().columns();
                      EXPECT_GT(columns, 1);
                      EXPECT_GT(s->container()->grid().count(), columns + 2);
                      press(WXK_RETURN); // nothing framed yet
                      EXPECT_EQ(s->chosen(), -1);
                      // The first move frames the first picture; the top row
                      // has nothing above it.
                      for (int code : {WXK_RIGHT, WXK_UP, WXK_RIGHT, WXK_RIGHT, WXK_DOWN, WXK_LEFT})
                          press(code);
                      expected = 1 + columns;
                      EXPECT_EQ(s->container()->hovered(), expected);
                      press(WXK_RETURN);
                      EXPECT_EQ(s->chosen(), expected);
                      return wxID_OK;
                  }));
    EXPECT_EQ(db->getBlock(3)->getString(K_i), iconNameOf(expected));
}

} // namespace
} // namespace qn

namespace qn {
namespace {

TEST_F(NodeCommands, LinkToFile) {
    dir.write(wxS("Notes.HTML"), "<p>linked</p>");
    dir.write(wxS("other.q2db"), "SQLite format 3");
    db->getBlock(4)->setText(wxS("some text")); // the replacement is asked about
    db->setPath(dir.file(wxS("linked.q2db")));
    ASSERT_TRUE(db->save()) << db->lastError().message;
    select(4);
    wxTEST_DIALOG(EXPECT_TRUE(tree->runNodeCommand(ID_NODE_LINK_FILE)),
                  ExpectMyMessage(text(wxS("s.hasBody")), MSG_YES),
                  wxExpectModal<wxFileDialog>(dir.file(wxS("Notes.HTML"))));
    Block* c = db->getBlock(4);
    EXPECT_EQ(c->getString(K_url), dir.file(wxS("Notes.HTML")));
    EXPECT_EQ(c->getString(K_m), wxS("text/html"));
    EXPECT_EQ(c->getString(K_cap), wxS("Notes.HTML"));
    EXPECT_EQ(tree->GetItemText(tree->GetSelection()), wxS("Notes.HTML"));
    // The text that was replaced is gone from the document once saved.
    EXPECT_EQ(c->getString(K_sz), wxS("13"));
    ASSERT_TRUE(db->save()) << db->lastError().message;
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(db->path().utf8_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, "select length(body) from block where id=4", -1, &st, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 0);
    sqlite3_finalize(st);
    sqlite3_close(raw);

    // Another document is never a note's text.
    select(2);
    wxTEST_DIALOG(EXPECT_FALSE(tree->runNodeCommand(ID_NODE_LINK_FILE)),
                  wxExpectModal<wxFileDialog>(dir.file(wxS("other.q2db"))),
                  ExpectMyMessage::containing(text(wxS("s.LinkToDocument"))));
    EXPECT_EQ(db->getBlock(2)->getString(K_url), wxS(""));
}

} // namespace
} // namespace qn

namespace qn {
namespace {

// Deleting a branch while the article shows a node inside it: the article,
// the caption and every history entry of the branch let go first.
TEST_F(NodeCommands, DeleteWhileTheArticleShowsANodeBelow) {
    Block* inner = addChild(*db, 2, wxS("inside A"));
    const int innerId = inner->id();
    select(2);
    tree->Expand(tree->GetSelection());
    select(innerId);
    ASSERT_EQ(frame->articleWindow()->node(), inner);
    select(3);
    select(innerId); // the branch twice in the history
    ASSERT_GE(frame->articleHistory().indexOf(static_cast<uint32_t>(innerId)), 0);
    select(2);
    select(innerId);
    tree->SelectItem(tree->locateNode(2, false));
    frame->articleWindow()->showArticle(db->getBlock(innerId));
    wxTEST_DIALOG(EXPECT_TRUE(tree->runNodeCommand(ID_NODE_DELETE)),
                  ExpectMyMessage(deleteNodeQuestion(wxS("A"), 1), MSG_YES));
    EXPECT_EQ(db->findBlock(innerId), nullptr);
    EXPECT_NE(frame->articleWindow()->node(), inner);
    EXPECT_LT(frame->articleHistory().indexOf(static_cast<uint32_t>(innerId)), 0);
    EXPECT_LT(frame->articleHistory().indexOf(2u), 0);
    test::pump(); // nothing left points at the deleted nodes (the sanitizer run sees it)
}

} // namespace
} // namespace qn
