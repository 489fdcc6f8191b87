// Test program of the navigation tree, the category bar and the document
// file commands: one toolkit application, a private copy of the shipped
// configuration.
#include "tree_gui_util.h"

#include "frame/main_frame.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"

namespace qn::test {

Block* addChild(Database& db, int parent, const wxString& title) {
    Block* node = db.newNode(parent);
    node->setString(K_cap, title);
    db.getBlock(parent)->editChildren(node->id(), CH_APPEND);
    return node;
}

void NewDocumentTest::SetUp() {
    frame = newFrame();
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    db = &frame->database();
    tree = frame->treePanel();
    groups = frame->categoryBar();
}

} // namespace qn::test

int main(int argc, char** argv) {
    return qn::test::runFrameTests(argc, argv);
}
