// The navigation tree: lazy loading, locating nodes, selection across
// categories, the look of a node and renaming in place.
#include "tree_gui_util.h"

#include "app/text_constants.h"
#include "frame/main_frame.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"
#include "ui/node_model.h"
#include "ui/tree_icons.h"

#include <wx/app.h>
#include <wx/imaglist.h>
#include <wx/menu.h>
#include <wx/uiaction.h>

namespace qn {
namespace {

using test::addChild;
using test::pump;

class TreePanelTest : public test::NewDocumentTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(NewDocumentTest::SetUp());
        root = db->getBlock(1);
    }

    std::vector<wxString> childTexts(const wxTreeItemId& item) const {
        std::vector<wxString> out;
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree->GetFirstChild(item, cookie); c.IsOk();
             c = tree->GetNextChild(item, cookie))
            out.push_back(tree->GetItemText(c));
        return out;
    }
    wxTreeItemId itemOf(Block* node) { return tree->locateNode(node->id(), false); }

    Block* root = nullptr;
};

TEST_F(TreePanelTest, LoadsChildrenOnExpansionAndDropsThemOnCollapse) {
    Block* a = addChild(*db, 1, wxS("A"));
    Block* a1 = addChild(*db, a->id(), wxS("A1"));
    addChild(*db, a->id(), wxS("A2"));
    root->editChildren(999, CH_APPEND); // an id without a block is skipped
    addChild(*db, 1, wxS("B"));
    tree->loadTree(root);

    const wxTreeItemId top = tree->GetRootItem();
    EXPECT_TRUE(tree->ItemHasChildren(top));
    EXPECT_EQ(tree->GetChildrenCount(top, false), 0u);
    tree->Expand(top);
    EXPECT_EQ(childTexts(top), (std::vector<wxString>{wxS("A"), wxS("B")}));

    // A collapsed branch has an expand button and no child items.
    wxTreeItemIdValue cookie;
    const wxTreeItemId itemA = tree->GetFirstChild(top, cookie);
    EXPECT_TRUE(tree->ItemHasChildren(itemA));
    EXPECT_EQ(tree->GetChildrenCount(itemA, false), 0u);
    tree->Expand(itemA);
    EXPECT_EQ(childTexts(itemA), (std::vector<wxString>{wxS("A1"), wxS("A2")}));
    tree->Collapse(itemA);
    EXPECT_EQ(tree->GetChildrenCount(itemA, false), 0u);
    EXPECT_TRUE(tree->ItemHasChildren(itemA));

    // A child list changed elsewhere shows its new contents on expansion.
    Block* a3 = addChild(*db, a->id(), wxS("A3"));
    a->setIntList(K_ch, {a3->id(), a1->id()});
    tree->Expand(itemA);
    EXPECT_EQ(childTexts(itemA), (std::vector<wxString>{wxS("A3"), wxS("A1")}));
}

TEST_F(TreePanelTest, LocatesNodesThroughSeveralLevels) {
    std::vector<Block*> chain{root};
    for (int i = 1; i <= 4; ++i)
        chain.push_back(addChild(*db, chain.back()->id(), wxString::Format(wxS("L%d"), i)));
    addChild(*db, chain[4]->id(), wxS("leaf"));
    addChild(*db, 1, wxS("sibling"));
    tree->loadTree(root);

    wxTreeItemId item = tree->locateNode(chain[4]->id(), false);
    ASSERT_TRUE(item.IsOk());
    EXPECT_EQ(tree->nodeOf(item), chain[4]);
    EXPECT_FALSE(tree->IsExpanded(item));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(tree->IsExpanded(tree->locateNode(chain[i]->id(), false))) << i;
    EXPECT_TRUE(tree->IsExpanded(tree->locateNode(chain[4]->id(), true)));
    EXPECT_EQ(tree->locateNode(1, false), tree->GetRootItem());

    // Pre-order, only into expanded items.
    int selected = 0;
    std::vector<int> expanded;
    tree->SelectItem(tree->locateNode(chain[2]->id(), false));
    tree->collectViewState(selected, expanded);
    EXPECT_EQ(selected, chain[2]->id());
    EXPECT_EQ(expanded, (std::vector<int>{1, chain[1]->id(), chain[2]->id(), chain[3]->id(),
                                          chain[4]->id()}));

    // Not below the root: an orphan, and parents that form a circle.
    Block* orphan = db->newNode(-1);
    EXPECT_FALSE(tree->locateNode(orphan->id(), false).IsOk());
    Block* x = db->newNode(0);
    Block* y = db->newNode(x->id());
    x->setParent(y->id());
    EXPECT_FALSE(tree->locateNode(y->id(), false).IsOk());
}

TEST_F(TreePanelTest, SelectingANodeOfAnotherCategorySwitchesToTheTop) {
    Block* a = addChild(*db, 1, wxS("A"));
    Block* a1 = addChild(*db, a->id(), wxS("A1"));
    Block* b = addChild(*db, 1, wxS("B"));
    Block* b1 = addChild(*db, b->id(), wxS("B1"));
    groups->addCategory(a->id(), -1);
    ASSERT_TRUE(groups->selectCategoryById(a->id()));
    ASSERT_EQ(tree->rootNodeId(), a->id());

    tree->selectNode(a1);
    EXPECT_EQ(tree->selectedNodeId(), a1->id());
    tree->selectNode(b1); // queued: the frame answers after this event
    EXPECT_EQ(tree->rootNodeId(), a->id());
    EXPECT_TRUE(test::pumpUntil([&] { return tree->selectedNodeId() == b1->id(); }));
    EXPECT_EQ(tree->rootNodeId(), 1);
    EXPECT_EQ(groups->currentCategoryId(), 1);

    // From the top category an unreachable node selects nothing and asks
    // nothing.
    Block* orphan = db->newNode(-1);
    tree->selectNode(orphan);
    wxTheApp->Yield(true);
    EXPECT_EQ(tree->selectedNodeId(), b1->id());
    EXPECT_EQ(tree->rootNodeId(), 1);
}

TEST_F(TreePanelTest, ShowsTitleIconFontAndColoursWithDocumentDefaults) {
    db->setString(K_cap, wxS("Untitled"));
    Block* plain = db->newNode(1);
    root->editChildren(plain->id(), CH_APPEND);
    Block* styled = addChild(*db, 1, wxS("Styled"));
    styled->setString(K_NFattr, wxS("UB"));
    styled->setString(K_Nfc, wxS("FF0000"));
    styled->setString(K_Nhi, wxS("00FF00"));
    styled->setString(K_i, wxS("book"));
    tree->loadTree(root);
    tree->Expand(tree->GetRootItem());

    const wxTreeItemId plainItem = itemOf(plain);
    EXPECT_EQ(tree->GetItemText(plainItem), wxS("Untitled")); // the document's title
    EXPECT_EQ(tree->GetItemImage(plainItem), 0);
    const wxTreeItemId item = itemOf(styled);
    const wxFont font = tree->GetItemFont(item);
    EXPECT_EQ(font.GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_TRUE(font.GetUnderlined());
    EXPECT_EQ(font.GetStyle(), wxFONTSTYLE_NORMAL);
    EXPECT_EQ(tree->GetItemTextColour(item), wxColour(255, 0, 0));
    EXPECT_EQ(tree->GetItemBackgroundColour(item), wxColour(0, 255, 0));
    EXPECT_EQ(tree->GetItemImage(item), iconIndexOf(wxS("book")));
    ASSERT_GT(iconIndexOf(wxS("book")), 0);

    // Icon lookups both ways; unknown names and indices.
    EXPECT_EQ(iconNameOf(iconIndexOf(wxS("book"))), wxS("book"));
    EXPECT_EQ(iconIndexOf(wxS("no-such-icon")), 0);
    EXPECT_EQ(iconNameOf(100000), wxS("0"));

    // The font check marks follow the selected node.
    bool bold = false, italic = true, underline = false;
    tree->SelectItem(item);
    tree->selectedFontFlags(bold, italic, underline);
    EXPECT_TRUE(bold);
    EXPECT_FALSE(italic);
    EXPECT_TRUE(underline);

    // A changed default reaches the nodes without a look of their own.
    db->setString(K_NFattr, wxS("I"));
    tree->refreshNodeLooks();
    EXPECT_EQ(tree->GetItemFont(plainItem).GetStyle(), wxFONTSTYLE_ITALIC);
    EXPECT_EQ(tree->GetItemFont(item).GetStyle(), wxFONTSTYLE_NORMAL);

    tree->setTreeBackground(wxColour(0x10, 0x20, 0x30));
    EXPECT_EQ(db->getString(K_Tbg), wxS("102030"));
}

// Opening a node inserts its children with only the look that differs from
// the tree's own: what shows must still be each node's font and colours, in
// the stored order, with ids that name no node left out.
TEST_F(TreePanelTest, OpeningANodeShowsEveryChildWithItsOwnLook) {
    Block* parent = addChild(*db, 1, wxS("Parent"));
    std::vector<Block*> kids;
    for (int i = 0; i < 40; ++i) {
        if (i == 20) parent->editChildren(999999, CH_APPEND); // dangling: no such block
        kids.push_back(addChild(*db, parent->id(), wxString::Format(wxS("Child %d"), i)));
    }
    kids[3]->setString(K_NFattr, wxS("B"));
    kids[4]->setInt(K_NFsize, 20);
    kids[5]->setString(K_Nfc, wxS("FF0000"));
    kids[6]->setString(K_Nhi, wxS("00FF00"));
    kids[7]->setString(K_NFattr, wxS("B")); // shares the bold font of child 3
    tree->loadTree(root);
    const wxTreeItemId item = tree->locateNode(parent->id(), true);
    ASSERT_TRUE(item.IsOk());

    const wxFont plainFont = tree->GetFont();
    const wxColour plainText = tree->GetForegroundColour();
    ASSERT_EQ(tree->GetChildrenCount(item, false), kids.size());
    wxTreeItemIdValue cookie;
    size_t i = 0;
    for (wxTreeItemId child = tree->GetFirstChild(item, cookie); child.IsOk();
         child = tree->GetNextChild(item, cookie), ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tree->GetItemText(child), kids[i]->getString(K_cap));
        const wxFont own = tree->GetItemFont(child);
        const wxFont shown = own.IsOk() ? own : plainFont;
        const wxFont want = nodeFont(*kids[i]);
        EXPECT_EQ(shown.GetWeight(), want.GetWeight());
        EXPECT_EQ(shown.GetPointSize(), want.GetPointSize());
        EXPECT_EQ(shown.GetStyle(), want.GetStyle());
        EXPECT_EQ(shown.GetUnderlined(), want.GetUnderlined());
        const wxColour text = tree->GetItemTextColour(child);
        EXPECT_EQ(text.IsOk() ? text : plainText, toWxColour(kids[i]->getColour(K_Nfc)));
        EXPECT_EQ(tree->GetItemBackgroundColour(child), toWxColour(kids[i]->getColour(K_Nhi)));
    }
    EXPECT_EQ(tree->GetItemFont(itemOf(kids[3])).GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_EQ(tree->GetItemFont(itemOf(kids[4])).GetPointSize(), 20);
    EXPECT_EQ(tree->GetItemTextColour(itemOf(kids[5])), wxColour(255, 0, 0));
}

TEST_F(TreePanelTest, RenamingInPlaceStoresTheTitleUnlessCancelled) {
    Block* a = addChild(*db, 1, wxS("Old"));
    tree->loadTree(root);
    const wxTreeItemId item = tree->locateNode(a->id(), false);
    tree->SelectItem(item);

    auto endEdit = [&](const wxString& label, bool cancelled) {
        wxTreeEvent event(wxEVT_TREE_END_LABEL_EDIT, tree, item);
        event.SetLabel(label);
        event.SetEditCanceled(cancelled);
        tree->GetEventHandler()->ProcessEvent(event);
    };
    endEdit(wxS("Ignored"), true);
    EXPECT_EQ(a->getString(K_cap), wxS("Old"));
    endEdit(wxS("New title"), false);
    EXPECT_EQ(a->getString(K_cap), wxS("New title"));
    endEdit(wxString(), false); // an empty title is a title too
    EXPECT_TRUE(a->hasOwn(K_cap));
    EXPECT_EQ(a->getString(K_cap), wxString());

    tree->setTitleAndIcon(item, wxS("Diary"), wxS("calendar"));
    EXPECT_EQ(a->getString(K_i), wxS("calendar"));
    EXPECT_EQ(tree->GetItemText(item), wxS("Diary"));
    EXPECT_EQ(tree->GetItemImage(item), iconIndexOf(wxS("calendar")));
}

// A taller font makes every row taller: the rows below move down and the
// scroll range grows with them.
TEST_F(TreePanelTest, ATallerFontMovesTheRowsBelowAndGrowsTheScrollRange) {
    Block* big = addChild(*db, 1, wxS("Alpha"));
    Block* below = addChild(*db, 1, wxS("Bravo"));
    // More rows than the tree shows: the last must stay within reach of
    // the scroll bar.
    Block* last = nullptr;
    for (int i = 0; i < 60; ++i)
        last = addChild(*db, 1, wxString::Format(wxS("Row %d"), i));
    tree->loadTree(root);
    tree->Expand(tree->GetRootItem());
    tree->SelectItem(itemOf(big));
    tree->Update();
    pump();

    // The font commands take the size the node already has.
    big->setInt(K_NFsize, 30);
    ASSERT_TRUE(tree->runNodeCommand(ID_NODE_BOLD));
    pump();
    wxRect bigRect, belowRect;
    ASSERT_TRUE(tree->GetBoundingRect(itemOf(big), bigRect));
    ASSERT_TRUE(tree->GetBoundingRect(itemOf(below), belowRect));
    EXPECT_GE(belowRect.GetTop(), bigRect.GetBottom());
    wxRect lastRect;
    ASSERT_TRUE(tree->GetBoundingRect(itemOf(last), lastRect));
    EXPECT_LE(tree->CalcUnscrolledPosition(lastRect.GetBottomLeft()).y, tree->GetVirtualSize().y);
}

TEST_F(TreePanelTest, KeyboardOpensTheNodeMenu) {
    Block* a = addChild(*db, 1, wxS("A"));
    tree->loadTree(root);
    tree->SelectItem(itemOf(a));
    tree->SetFocus();
    pump();
    struct Key {
        int code;
        int modifiers;
    };
    for (const Key key : {Key{WXK_MENU, wxMOD_NONE}, Key{WXK_F10, wxMOD_SHIFT}}) {
        SCOPED_TRACE(key.code);
        const std::vector<wxString> labels = test::popupMenuLabels(
            tree, [&] { wxUIActionSimulator().Char(key.code, key.modifiers); });
        ASSERT_FALSE(labels.empty());
        EXPECT_EQ(labels.front(), wxMenuItem::GetLabelText(text("m.NewChildAtBottom")));
        EXPECT_EQ(tree->GetSelection(), itemOf(a));
    }
}

} // namespace
} // namespace qn
