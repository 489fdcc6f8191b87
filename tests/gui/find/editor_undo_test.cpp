// The editor's undo history: typing in word-sized steps, the edit commands
// and a dropped file one step each, the committed text, and a history that
// belongs to the node shown.
#include "find_gui_util.h"

#include "article/article_window.h"
#include "article/text_window.h"
#include "frame/main_frame.h"
#include "ui/command_ids.h"

#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/uiaction.h>

namespace qn::test {
namespace {

using EditorUndo = FindFixture;

void pressCtrl(int key) {
    wxUIActionSimulator sim;
    sim.Char(key, wxMOD_CONTROL);
    pump();
}

TEST_F(EditorUndo, TypedWordsGoBackWithCtrlZAndComeBackWithCtrlY) {
    Block* node = addNode(1, wxS("N"), wxS("start"));
    show(node);
    EXPECT_FALSE(enabled(ID_UNDO));
    editor()->SetInsertionPointEnd();
    type(" alpha beta");
    EXPECT_TRUE(enabled(ID_UNDO));
    EXPECT_FALSE(enabled(ID_REDO));

    // Steps: the space after the committed text, "alpha ", "beta".
    pressCtrl('Z');
    EXPECT_EQ(editor()->GetValue(), wxS("start alpha "));
    EXPECT_TRUE(editor()->IsModified());
    EXPECT_TRUE(enabled(ID_REDO));
    send(ID_UNDO);
    EXPECT_EQ(editor()->GetValue(), wxS("start "));
    send(ID_UNDO);
    EXPECT_EQ(editor()->GetValue(), wxS("start"));
    // Back at the committed text: nothing for the node to store.
    EXPECT_FALSE(editor()->IsModified());
    EXPECT_FALSE(enabled(ID_UNDO));
    EXPECT_FALSE(article->commitText());

    pressCtrl('Y');
    pressCtrl('Y');
    EXPECT_EQ(editor()->GetValue(), wxS("start alpha "));
    EXPECT_TRUE(article->commitText());
    EXPECT_EQ(node->text(), wxS("start alpha "));
    // The committed text is the new point of return.
    send(ID_REDO);
    send(ID_UNDO);
    EXPECT_FALSE(editor()->IsModified());

    // Typing after an undo drops what could have been redone.
    send(ID_UNDO);
    type("x");
    EXPECT_FALSE(enabled(ID_REDO));
}

TEST_F(EditorUndo, OverwrittenLettersGoBackAsTheyWere) {
    show(addNode(1, wxS("N"), wxS("abcd efgh")));
    editor()->SetFocus();
    editor()->SetInsertionPoint(0);
    wxUIActionSimulator sim;
    sim.Char(WXK_INSERT);
    pump();
    ASSERT_FALSE(editor()->isInsertMode());
    type("XY");
    EXPECT_EQ(editor()->GetValue(), wxS("XYcd efgh"));
    send(ID_UNDO);
    EXPECT_EQ(editor()->GetValue(), wxS("abcd efgh"));
    EXPECT_FALSE(editor()->CanUndo());
    sim.Char(WXK_INSERT);
    pump();
}

TEST_F(EditorUndo, EditCommandsAndADroppedFileAreOneStepEach) {
    TestDir dir;
    dir.write(wxS("dropped.txt"), "dropped\r\ncontent");
    show(addNode(1, wxS("N"), wxS("one two three")));
    const wxString original = editor()->GetValue();
    std::vector<wxString> seen{original};
    editor()->SetSelection(4, 7);
    send(ID_CUT);
    seen.push_back(editor()->GetValue());
    {
        wxClipboardLocker lock;
        ASSERT_TRUE(!!lock);
        wxTheClipboard->SetData(new wxTextDataObject(wxS("PASTED TEXT")));
    }
    editor()->SetInsertionPoint(0);
    send(ID_PASTE);
    seen.push_back(editor()->GetValue());
    editor()->SetSelection(0, 6);
    send(ID_DELETE);
    seen.push_back(editor()->GetValue());
    auto* files = new wxString[1]{dir.file(wxS("dropped.txt"))}; // the event frees it
    wxDropFilesEvent drop(wxEVT_DROP_FILES, 1, files);
    editor()->GetEventHandler()->ProcessEvent(drop);
    EXPECT_EQ(editor()->GetValue(), wxS("dropped\ncontent"));
    EXPECT_EQ(seen, (std::vector<wxString>{wxS("one two three"), wxS("one  three"),
                                           wxS("PASTED TEXTone  three"), wxS(" TEXTone  three")}));
    while (!seen.empty()) {
        send(ID_UNDO);
        EXPECT_EQ(editor()->GetValue(), seen.back());
        seen.pop_back();
    }
    EXPECT_FALSE(editor()->CanUndo());
    EXPECT_FALSE(editor()->IsModified());
}

TEST_F(EditorUndo, HistoryBelongsToTheNodeShown) {
    Block* a = addNode(1, wxS("A"), wxS("a"));
    Block* b = addNode(1, wxS("B"), wxS("b"));
    show(a);
    editor()->SetInsertionPointEnd();
    type(" typed");
    ASSERT_TRUE(editor()->CanUndo());
    show(b);
    EXPECT_FALSE(editor()->CanUndo());
    show(a);
    EXPECT_EQ(editor()->GetValue(), wxS("a typed"));
    EXPECT_FALSE(editor()->CanUndo()); // the other node's steps are gone
    EXPECT_EQ(a->text(), wxS("a typed"));

    // Nothing to undo while the text is read-only.
    editor()->SetInsertionPointEnd();
    type(" more");
    send(ID_READ_ONLY);
    EXPECT_FALSE(enabled(ID_UNDO));
    send(ID_UNDO);
    EXPECT_EQ(editor()->GetValue(), wxS("a typed more"));
}

} // namespace
} // namespace qn::test
