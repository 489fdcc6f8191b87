// Drops on the category bar: what a record does, and the records refused.
#include "tree_gui_util.h"

#include "frame/main_frame.h"
#include "tree/group_container.h"
#include "tree/group_dnd.h"
#include "tree/tree_panel.h"

namespace qn {
namespace {

using test::addChild;

class GroupDrop : public test::NewDocumentTest {
protected:
    void SetUp() override {
        test::NewDocumentTest::SetUp();
        for (const char* title : {"A", "B", "C"})
            addChild(*db, 1, wxString::FromAscii(title));
        target = std::make_unique<GroupDropTarget>(groups);
        groups->SetSize(200, 400);
        test::pump();
    }
    GroupRecord own(uint32_t kind, int id) const {
        return {windowToken(frame), kind, static_cast<uint32_t>(id)};
    }
    std::vector<int> ids() const { return groups->categoryIds(); }
    // A point inside panel `i`, and one in the gap after it.
    wxPoint on(int i) const { return groups->panel(i)->GetRect().GetPosition() + wxPoint(5, 3); }
    wxPoint below(int i) const {
        const wxRect r = groups->panel(i)->GetRect();
        return {5, r.GetBottom() + 1};
    }
    wxDragResult drop(const GroupRecord& r, const wxPoint& at) {
        return target->deliver(r, at.x, at.y, wxDragMove);
    }

    std::unique_ptr<GroupDropTarget> target;
};

TEST_F(GroupDrop, NodesBecomeCategoriesWhereTheyAreDropped) {
    EXPECT_EQ(drop(own(DRAG_NODE, 2), {5, 1000}), wxDragMove); // below the last: appended
    EXPECT_EQ(ids(), (std::vector<int>{1, 2}));
    EXPECT_EQ(drop(own(DRAG_NODE, 3), on(0)), wxDragMove); // on the first: first
    EXPECT_EQ(ids(), (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(drop(own(DRAG_NODE, 4), below(0)), wxDragMove); // a gap: the nearest one
    EXPECT_EQ(ids(), (std::vector<int>{3, 4, 1, 2}));
}

TEST_F(GroupDrop, SecondPanelOfANodeMovesItselfAndKeepsTheViewState) {
    groups->addCategory(2, -1);
    db->getBlock(2)->setInt(K_grpsel, 3);
    groups->addCategory(2, -1); // a second panel: the first one's view stays
    EXPECT_EQ(db->getBlock(2)->getInt(K_grpsel), 3);
    ASSERT_EQ(ids(), (std::vector<int>{1, 2, 2}));
    GroupPanel* second = groups->panel(2);
    groups->setDraggedPanel(second);
    EXPECT_EQ(drop(own(DRAG_CATEGORY, 2), on(0)), wxDragMove);
    EXPECT_EQ(groups->panel(0), second);
}

TEST_F(GroupDrop, ForeignAndBrokenRecordsAreRefused) {
    const GroupRecord foreign{windowToken(frame) ^ 0x5A5A5A5A, DRAG_NODE, 2};
    EXPECT_EQ(drop(foreign, on(0)), wxDragNone);
    EXPECT_EQ(drop({0, DRAG_NODE, 2}, on(0)), wxDragNone);
    EXPECT_EQ(drop(own(7, 2), on(0)), wxDragNone);
    EXPECT_EQ(drop(own(DRAG_NODE, 0), on(0)), wxDragNone);
    EXPECT_EQ(ids(), (std::vector<int>{1}));
    // Another window has a token of its own.
    auto* other = new wxFrame(nullptr, wxID_ANY, wxS("other"));
    EXPECT_NE(windowToken(other), windowToken(frame));
    other->Destroy();

    GroupDataObject data;
    const unsigned char eleven[11] = {};
    EXPECT_FALSE(data.SetData(sizeof eleven, eleven));
    unsigned char bytes[12];
    GroupDataObject(GroupRecord{0x01020304, 1, 77}).GetDataHere(bytes);
    EXPECT_EQ(bytes[0], 0x04); // little-endian
    ASSERT_TRUE(data.SetData(sizeof bytes, bytes));
    EXPECT_EQ(data.record().source, 0x01020304u);
    EXPECT_EQ(data.record().kind, 1u);
    EXPECT_EQ(data.record().nodeId, 77u);
}

} // namespace
} // namespace qn
