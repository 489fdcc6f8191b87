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
#include <wx/settings.h>
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

// What the control changes by itself arrives as insertions and deletions:
// an input method's text of several characters, keys over a selection, a
// run of Backspace, a paste over a selection.  Each comes back exactly.
TEST_F(EditorUndo, ChangesOfTheControlGoBackExactly) {
    const wxString start = wxString::FromUTF8("Ελλάδα one two three 東京");
    show(addNode(1, wxS("N"), start));
    TextWindow* ed = editor();
    // An input method hands over a whole word at once (as WriteText does,
    // outside any edit of ours).
    ed->SetInsertionPoint(7);
    ed->WriteText(wxString::FromUTF8("日本語の"));
    pump();
    const wxString afterIme = wxString::FromUTF8("Ελλάδα 日本語のone two three 東京");
    EXPECT_EQ(ed->GetValue().utf8_string(), wxString(afterIme).utf8_string());
    // A key over a selection is one change.
    ed->SetSelection(15, 18); // "two"
    type("X");
    const wxString afterKey = wxString::FromUTF8("Ελλάδα 日本語のone X three 東京");
    EXPECT_EQ(ed->GetValue().utf8_string(), wxString(afterKey).utf8_string());
    // A run of Backspace at the end, over non-ASCII letters.
    ed->SetInsertionPointEnd();
    wxUIActionSimulator sim;
    for (int i = 0; i < 3; ++i) sim.Char(WXK_BACK);
    pumpUntil([&] { return ed->GetLastPosition() == static_cast<long>(afterKey.length()) - 3; });
    const wxString afterBack = wxString::FromUTF8("Ελλάδα 日本語のone X three");
    EXPECT_EQ(ed->GetValue().utf8_string(), wxString(afterBack).utf8_string());
    {
        wxClipboardLocker lock;
        ASSERT_TRUE(!!lock);
        wxTheClipboard->SetData(new wxTextDataObject(wxString::FromUTF8("привет\nмир")));
    }
    ed->SetSelection(0, 6);
    send(ID_PASTE);
    const wxString afterPaste = wxString::FromUTF8("привет\nмир 日本語のone X three");
    EXPECT_EQ(ed->GetValue().utf8_string(), wxString(afterPaste).utf8_string());

    const std::vector<wxString> seen{start, afterIme, afterKey, afterBack, afterPaste};
    for (size_t i = seen.size() - 1; i > 0; --i) {
        send(ID_UNDO);
        EXPECT_EQ(ed->GetValue().utf8_string(), wxString(seen[i - 1]).utf8_string()) << "undo to state " << i - 1;
    }
    EXPECT_FALSE(ed->CanUndo());
    EXPECT_FALSE(ed->IsModified());
    for (size_t i = 1; i < seen.size(); ++i) {
        send(ID_REDO);
        EXPECT_EQ(ed->GetValue().utf8_string(), wxString(seen[i]).utf8_string()) << "redo to state " << i;
    }
    EXPECT_FALSE(ed->CanRedo());
}

// Typing into a link and deleting across it: the history and the link
// colour follow the text, on the lines that changed.
TEST_F(EditorUndo, LinksFollowTypingDeletingAndUndo) {
    const wxString start = wxS("first line\nsee https://example.org/page here\nlast line");
    show(addNode(1, wxS("N"), start));
    TextWindow* ed = editor();
    const wxColour link = wxSystemSettings::GetColour(wxSYS_COLOUR_HOTLIGHT);
    auto colourAt = [&](long pos) {
        wxTextAttr attr;
        ed->GetStyle(pos, attr);
        return attr.GetTextColour();
    };
    const long url = start.Find(wxS("https://"));
    const long here = start.Find(wxS(" here"));
    ASSERT_EQ(colourAt(url + 3), link);
    // Typed at the end of the link, the letters belong to it.
    ed->SetInsertionPoint(here);
    type("s/x");
    EXPECT_EQ(colourAt(here + 2), link);
    // Taking the start of the link away breaks it.
    ed->SetSelection(url - 1, url + 4); // " http"
    send(ID_DELETE);
    EXPECT_EQ(ed->GetValue().utf8_string(), wxString(wxS("first line\nsees://example.org/pages/x here\nlast line")).utf8_string());
    EXPECT_NE(colourAt(url + 3), link);
    send(ID_UNDO);
    EXPECT_EQ(ed->GetValue().utf8_string(), wxString(wxS("first line\nsee https://example.org/pages/x here\nlast line")).utf8_string());
    EXPECT_EQ(colourAt(url + 3), link);
    // "s/" and "x" were typed as two steps (a new word starts one).
    send(ID_UNDO);
    send(ID_UNDO);
    EXPECT_FALSE(ed->CanUndo());
    EXPECT_EQ(ed->GetValue().utf8_string(), wxString(start).utf8_string());
    EXPECT_EQ(colourAt(url + 3), link);
    EXPECT_NE(colourAt(start.Find(wxS("last"))), link);
    // Changing the font sets the text again inside the control: that is no
    // edit for the history.
    send(ID_REDO);
    ed->SetFocus();
    wxFont font = ed->GetFont();
    font.SetPointSize(font.GetPointSize() + 4);
    article->applyArticleFont(font);
    pump();
    EXPECT_TRUE(ed->CanRedo());
    send(ID_UNDO);
    EXPECT_EQ(ed->GetValue().utf8_string(), wxString(start).utf8_string());
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
