// The category bar: adding, moving, removing and switching categories, the
// view state each category keeps, and pruning after deletions.
#include "tree_gui_util.h"

#include "article/article_window.h"
#include "frame/main_frame.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <wx/app.h>
#include <wx/sizer.h>
#include <wx/uiaction.h>

namespace qn {
namespace {

using test::addChild;

class CategoryTest : public test::NewDocumentTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(NewDocumentTest::SetUp());
        a = addChild(*db, 1, wxS("A"));
        a1 = addChild(*db, a->id(), wxS("A1"));
        a2 = addChild(*db, a->id(), wxS("A2"));
        addChild(*db, a1->id(), wxS("A11"));
        b = addChild(*db, 1, wxS("B"));
    }

    Block *a = nullptr, *a1 = nullptr, *a2 = nullptr, *b = nullptr;
};

TEST_F(CategoryTest, NewDocumentShowsTheTopCategoryCurrentAndBold) {
    ASSERT_EQ(groups->count(), 1);
    EXPECT_EQ(groups->currentCategoryId(), 1);
    EXPECT_TRUE(groups->panel(0)->isSelected());
    EXPECT_EQ(groups->panel(0)->GetFont().GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_EQ(tree->rootNodeId(), 1);
}

// A click on a category leaves the keyboard in its tree, where the arrow
// keys go on, also on the category already shown.
TEST_F(CategoryTest, AClickOnACategoryGivesItsTreeTheKeyboard) {
    groups->addCategory(a->id(), -1);
    wxCommandEvent show(wxEVT_MENU, ID_SPLIT_NAVI);
    frame->ProcessWindowEvent(show);
    frame->Show();
    frame->Raise();
    for (int index : {1, 1, 0}) {
        SCOPED_TRACE(index);
        GroupPanel* panel = groups->panel(index);
        ASSERT_TRUE(test::pumpUntil([&] { return panel->IsShownOnScreen(); }));
        wxUIActionSimulator sim;
        sim.MouseMove(panel->GetScreenRect().GetPosition() + wxPoint(20, 5));
        test::pump();
        sim.MouseClick();
        EXPECT_TRUE(test::pumpUntil([&] { return groups->currentCategoryId() == panel->nodeId(); }));
        EXPECT_TRUE(test::pumpUntil([&] { return wxWindow::FindFocus() == tree; }))
            << (wxWindow::FindFocus() ? wxWindow::FindFocus()->GetClassInfo()->GetClassName()
                                      : wxS("nothing"));
    }
}

// Tab reaches the bar; the arrows switch categories there and Enter goes on
// in the tree.
TEST_F(CategoryTest, TheKeyboardReachesAndSwitchesCategories) {
    groups->addCategory(a->id(), -1);
    groups->addCategory(b->id(), -1);
    wxCommandEvent show(wxEVT_MENU, ID_SPLIT_NAVI);
    frame->ProcessWindowEvent(show);
    frame->Show();
    frame->Raise();
    ASSERT_TRUE(test::pumpUntil([&] { return groups->panel(0)->IsShownOnScreen(); }));
    tree->SetFocus();
    ASSERT_TRUE(test::pumpUntil([&] { return wxWindow::FindFocus() == tree; }));
    wxUIActionSimulator sim;
    // The bar is a few stops away from the tree, backwards.
    for (int i = 0; i < 8 && wxWindow::FindFocus() != groups; ++i) {
        sim.Char(WXK_TAB, wxMOD_SHIFT);
        test::pumpUntil([&] { return wxWindow::FindFocus() == groups; }, 300);
    }
    ASSERT_EQ(wxWindow::FindFocus(), groups);

    const struct {
        int key;
        int category;
    } steps[] = {{WXK_DOWN, a->id()}, {WXK_DOWN, b->id()}, {WXK_DOWN, b->id()},
                 {WXK_HOME, 1},       {WXK_END, b->id()},  {WXK_UP, a->id()}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.key);
        sim.Char(step.key);
        EXPECT_TRUE(test::pumpUntil([&] { return groups->currentCategoryId() == step.category; }));
        EXPECT_EQ(tree->rootNodeId(), step.category);
        EXPECT_EQ(wxWindow::FindFocus(), groups);
    }
    sim.Char(WXK_RETURN);
    EXPECT_TRUE(test::pumpUntil([&] { return wxWindow::FindFocus() == tree; }));
    EXPECT_EQ(groups->currentCategoryId(), a->id());
}

TEST_F(CategoryTest, AddsAndMovesPanels) {
    const int A = a->id(), B = b->id();
    groups->addCategory(A, -1);
    groups->addCategory(B, 0);
    EXPECT_EQ(groups->categoryIds(), (std::vector<int>{B, 1, A}));
    EXPECT_EQ(a->getInt(K_grpsel), A);
    EXPECT_TRUE(a->getIntList(K_grpexp).empty());
    EXPECT_EQ(groups->currentCategoryId(), 1); // adding does not switch

    const struct {
        int id, position;
        std::vector<int> after;
    } moves[] = {
        {1, 1, {B, 1, A}},  // onto itself
        {1, 2, {B, 1, A}},  // onto the panel below it
        {B, -1, {1, A, B}}, // below the last panel
        {B, 0, {B, 1, A}},  // onto the first
        {B, 2, {1, B, A}},  {A, 1, {1, A, B}},
    };
    for (const auto& m : moves) {
        groups->moveCategory(m.id, m.position);
        EXPECT_EQ(groups->categoryIds(), m.after) << m.id << " to " << m.position;
    }

    // Panels made when a document opens have a border; added ones do not.
    EXPECT_EQ(groups->GetSizer()->GetItem(groups->panel(0))->GetBorder(), 0);
    groups->createCategories({A, 424242});
    EXPECT_EQ(groups->count(), 4); // an id without a block gets no panel
    EXPECT_EQ(groups->GetSizer()->GetItem(groups->panel(3))->GetBorder(), 1);

    groups->Show();
    groups->GetParent()->Layout();
    groups->Layout();
    const wxRect second = groups->panel(1)->GetRect();
    EXPECT_EQ(groups->categoryIndexAt(second.x + 2, second.y + 2), 1);
    EXPECT_EQ(groups->categoryIndexAt(-5, -5), -1);
}

TEST_F(CategoryTest, EachCategoryKeepsItsSelectionAndExpandedNodes) {
    groups->addCategory(a->id(), -1);
    ASSERT_TRUE(groups->selectCategoryById(a->id()));
    tree->locateNode(a1->id(), true);
    tree->SelectItem(tree->locateNode(a2->id(), false));

    ASSERT_TRUE(groups->selectCategoryById(1));
    EXPECT_EQ(a->getInt(K_grpsel), a2->id());
    EXPECT_EQ(a->getIntList(K_grpexp), (std::vector<int>{a->id(), a1->id()}));

    ASSERT_TRUE(groups->selectCategoryById(a->id()));
    EXPECT_EQ(tree->selectedNodeId(), a2->id());
    EXPECT_TRUE(tree->IsExpanded(tree->locateNode(a1->id(), false)));

    // Only looking around leaves a saved document clean.
    test::TestDir dir;
    db->setPath(dir.file(wxS("look.q2db")));
    ASSERT_TRUE(db->save());
    groups->selectCategoryById(1);
    groups->selectCategoryById(a->id());
    EXPECT_FALSE(db->isModified());
}

TEST_F(CategoryTest, ASelectionOutsideTheCategoryFallsBackToItsRoot) {
    groups->addCategory(a->id(), -1);
    a->setInt(K_grpsel, b->id());
    ASSERT_TRUE(groups->selectCategoryById(a->id()));
    for (int i = 0; i < 3; ++i)
        wxTheApp->ProcessIdle();
    // Tree and article agree on the category's root.
    EXPECT_EQ(tree->selectedNodeId(), a->id());
    EXPECT_EQ(frame->articleWindow()->node(), a);
}

TEST_F(CategoryTest, SecondSaveFlagZeroStoresNoViewState) {
    test::SettingOverride save(wxS("save"), wxS("1010"));
    groups->addCategory(a->id(), -1);
    ASSERT_TRUE(groups->selectCategoryById(a->id()));
    tree->SelectItem(tree->locateNode(a2->id(), true));
    ASSERT_TRUE(groups->selectCategoryById(1));
    EXPECT_EQ(a->getInt(K_grpsel), a->id());
    EXPECT_TRUE(a->getIntList(K_grpexp).empty());
}

TEST_F(CategoryTest, RemovingCategories) {
    groups->addCategory(a->id(), -1);
    groups->addCategory(a->id(), -1); // the same node twice: two panels
    groups->addCategory(b->id(), -1);
    ASSERT_EQ(groups->count(), 4);
    ASSERT_TRUE(groups->selectCategoryById(a->id()));
    tree->SelectItem(tree->locateNode(a2->id(), false));

    // The current one: the top node's category takes over, the removed
    // category's state is not saved, and the shared attributes go.
    groups->removeCategory(groups->panel(1));
    EXPECT_EQ(groups->categoryIds(), (std::vector<int>{1, a->id(), b->id()}));
    EXPECT_EQ(groups->currentCategoryId(), 1);
    EXPECT_EQ(tree->rootNodeId(), 1);
    EXPECT_FALSE(a->hasOwn(K_grpsel));
    EXPECT_FALSE(a->hasOwn(K_grpexp));

    // Through its menu item (the panel goes after the event).
    wxCommandEvent remove(wxEVT_MENU, ID_REMOVE_CATEGORY);
    groups->panel(2)->GetEventHandler()->ProcessEvent(remove);
    EXPECT_TRUE(test::pumpUntil([&] { return groups->count() == 2; }));
    EXPECT_EQ(groups->categoryIds(), (std::vector<int>{1, a->id()}));

    // A category whose node was deleted disappears.
    db->getBlock(1)->editChildren(a->id(), CH_REMOVE);
    db->deleteSubtree(a->id());
    groups->pruneCategories();
    EXPECT_EQ(groups->categoryIds(), (std::vector<int>{1}));
    EXPECT_EQ(groups->currentCategoryId(), 1);

    groups->clearCategories();
    EXPECT_EQ(groups->count(), 0);
    EXPECT_EQ(groups->currentCategoryId(), 0);
}

} // namespace
} // namespace qn
