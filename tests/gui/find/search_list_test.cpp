// The global search list: jumps to hits (in another category, in HTML,
// after edits and deletions) and how the window closes.
#include "find_gui_util.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "article/article_window.h"
#include "article/caption_bar.h"
#include "article/text_window.h"
#include "find/search_list.h"
#include "frame/main_frame.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <wx/button.h>
#include <wx/log.h>
#include <wx/statusbr.h>

#include <sqlite3.h>

#include <dlfcn.h>

namespace qn::test {
namespace {

using SearchListTest = FindFixture;

SearchList* searchFor(FindFixture* f, MainFrame* frame, const wxString& word) {
    (void)f;
    wxTEST_DIALOG(
        {
            wxCommandEvent event(wxEVT_MENU, ID_FIND);
            frame->ProcessWindowEvent(event);
        },
        ExpectFind(word, true));
    return dynamic_cast<SearchList*>(frame->searchList());
}

// The row of the first hit in `node` at a body position.
long rowOf(SearchList* list, Block* node) {
    SearchRows* rows = list->list()->rows();
    for (size_t i = 0; rows && i < rows->size(); ++i)
        if (rows->at(i).nodeId == node->id() && rows->at(i).pos >= 0) return static_cast<long>(i);
    return -1;
}

TEST_F(SearchListTest, JumpsSelectTheHitInItsOwnNode) {
    Block* x = addNode(1, wxS("X"), wxS("top"));
    Block* x1 = addNode(x->id(), wxS("X1"), wxS("plain with quokka here"));
    Block* y = addNode(1, wxS("Y"), wxS("<b>quokka</b> and more"), wxS("text/html"));
    Block* z = addNode(1, wxS("Z"), wxS("short quokka"));
    groups->addCategory(x->id(), -1);
    ASSERT_TRUE(groups->selectCategoryById(x->id()));
    show(x);

    SearchList* list = searchFor(this, frame, wxS("quokka"));
    ASSERT_NE(list, nullptr);

    // A hit below the category shown.
    list->jumpTo(rowOf(list, x1));
    EXPECT_EQ(article->node(), x1);
    EXPECT_EQ(selection(), std::make_pair(11L, 17L));

    // A hit in another category: the top category is shown first, and the
    // text is selected in the hit's node, never in the article shown before.
    list->jumpTo(rowOf(list, y));
    EXPECT_EQ(groups->currentCategoryId(), 1);
    EXPECT_EQ(tree->selectedNodeId(), y->id());
    ASSERT_EQ(article->node(), y);
    EXPECT_EQ(article->mode(), ArticleWindow::MODE_EDITOR); // HTML: shown in the source
    EXPECT_EQ(selection(), std::make_pair(3L, 9L));
    EXPECT_EQ(editor()->GetStringSelection(), wxS("quokka"));
    // The caption's button offers the page again, not the source shown.
    EXPECT_EQ(frame->captionBar()->toggleButton()->GetLabel(), text("s.View"));

    // The note was edited since the search: the hit is selected where it
    // is now, not what took its old place.
    show(z);
    editor()->ChangeValue(wxS("a longer short quokka"));
    list->jumpTo(rowOf(list, z));
    EXPECT_EQ(selection(), std::make_pair(15L, 21L));
    EXPECT_EQ(editor()->GetStringSelection(), wxS("quokka"));
    // Gone from the note: the user is told, and nothing else is selected.
    editor()->ChangeValue(wxS("short"));
    editor()->SetSelection(1, 1);
    wxTEST_DIALOG(list->jumpTo(rowOf(list, z)),
                  ExpectMyMessage(fillPlaceholders(text("s.NotFound"), {wxS("quokka")})));
    EXPECT_EQ(selection(), std::make_pair(1L, 1L));

    // The Go to button jumps to the selected row.
    list->list()->SetItemState(rowOf(list, x1), wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    wxCommandEvent go(wxEVT_BUTTON, SearchList::ID_JUMP);
    list->ProcessWindowEvent(go);
    EXPECT_EQ(article->node(), x1);
}

// Whether the toolkit sends the keys typed into `window`'s top-level
// window to `window` (or to a part of it).
bool takesTheKeys(wxWindow* window) {
    using GetFocus = void* (*)(void*);
    using IsAncestor = int (*)(void*, void*);
    auto getFocus = reinterpret_cast<GetFocus>(dlsym(RTLD_DEFAULT, "gtk_window_get_focus"));
    auto isAncestor =
        reinterpret_cast<IsAncestor>(dlsym(RTLD_DEFAULT, "gtk_widget_is_ancestor"));
    if (!getFocus || !isAncestor) return false;
    void* focus = getFocus(wxGetTopLevelParent(window)->GetHandle());
    return focus && (focus == window->GetHandle() || isAncestor(focus, window->GetHandle()));
}

TEST_F(SearchListTest, TheHitsTakeTheKeyboardRightAfterTheSearch) {
    Block* a = addNode(1, wxS("A"), wxS("first quokka"));
    addNode(1, wxS("B"), wxS("second quokka"));
    Block* c = addNode(1, wxS("C"), wxS("nothing"));
    show(c);
    editor()->SetFocus();
    pump();

    SearchList* list = searchFor(this, frame, wxS("quokka"));
    ASSERT_NE(list, nullptr);
    pump();
    EXPECT_TRUE(takesTheKeys(list->list()));
    // The first hit is the current row: Enter (or Go to) jumps to it.
    EXPECT_EQ(list->list()->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED), 0);
    wxCommandEvent go(wxEVT_BUTTON, SearchList::ID_JUMP);
    list->ProcessWindowEvent(go);
    EXPECT_EQ(article->node(), a);
}

// A jumped-to hit far down a note is scrolled clear of the list window
// that covers the lower part of the editor.
TEST_F(SearchListTest, TheHitIsNotHiddenBehindTheList) {
    wxString body;
    for (int i = 0; i < 300; ++i)
        body += wxString::Format(wxS("line %d\n"), i);
    body += wxS("the quokka line\n");
    for (int i = 0; i < 50; ++i)
        body += wxS("more\n");
    Block* a = addNode(1, wxS("Long"), body);
    show(a);
    frame->SetSize(wxSize(900, 700));
    pump();
    SearchList* list = searchFor(this, frame, wxS("quokka"));
    ASSERT_NE(list, nullptr);
    // The list over the lower half of the editor.
    const wxRect view = editor()->GetScreenRect();
    list->SetSize(view.x, view.y + view.height / 2, view.width, view.height / 2);
    pump();
    list->jumpTo(rowOf(list, a));
    const long hit = selection().first;
    auto lineOnScreen = [&] {
        const wxPoint p = editor()->PositionToCoords(hit);
        return p == wxDefaultPosition ? wxDefaultPosition : editor()->ClientToScreen(p);
    };
    const wxRect cover = list->GetScreenRect();
    EXPECT_TRUE(pumpUntil([&] {
        const wxPoint p = lineOnScreen();
        return p != wxDefaultPosition && view.Contains(p) && !cover.Contains(p);
    }))
        << "line at " << lineOnScreen().y << ", editor " << view.y << "+" << view.height
        << ", list from " << cover.y;
}

// The main window's search keys work while the list has the keyboard.
TEST_F(SearchListTest, SearchKeysWorkInTheList) {
    Block* a = addNode(1, wxS("A"), wxS("quokka one quokka two"));
    show(a);
    SearchList* list = searchFor(this, frame, wxS("quokka"));
    ASSERT_NE(list, nullptr);
    list->jumpTo(rowOf(list, a));
    ASSERT_EQ(selection(), std::make_pair(0L, 6L));
    auto press = [&](int key, int modifiers) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = key;
        event.m_controlDown = modifiers & wxMOD_CONTROL;
        event.m_shiftDown = modifiers & wxMOD_SHIFT;
        event.SetEventObject(list->list());
        list->list()->GetEventHandler()->ProcessEvent(event);
    };
    press(WXK_F3, wxMOD_NONE);
    EXPECT_EQ(selection(), std::make_pair(11L, 17L));
    press(WXK_F3, wxMOD_SHIFT);
    EXPECT_EQ(selection(), std::make_pair(0L, 6L));
    wxTEST_DIALOG(press('F', wxMOD_CONTROL), ExpectFind(wxS("two"), false));
    EXPECT_EQ(selection(), std::make_pair(18L, 21L));
    EXPECT_TRUE(list->IsShown()); // the keys do not close it
}

// Find in the article goes on from the top when nothing is below the caret,
// and says so; "not found" only when the article holds no hit at all.
TEST_F(SearchListTest, FindInTheArticleWrapsToTheTop) {
    Block* a = addNode(1, wxS("A"), wxS("one two one two one"));
    show(a);
    editor()->SetInsertionPoint(editor()->GetLastPosition());
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("TWO"), false));
    EXPECT_EQ(selection(), std::make_pair(4L, 7L));
    ASSERT_TRUE(pumpUntil([&] { return frame->GetStatusBar()->GetStatusText(0) == text("s.FindWrapped"); }));
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("TWO"), false));
    EXPECT_EQ(selection(), std::make_pair(12L, 15L));
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("three"), false),
                  ExpectMyMessage(fillPlaceholders(text("s.NotFound"), {wxS("three")})));
}

TEST_F(SearchListTest, RowsOfADeletedNodeLeadNowhere) {
    Block* keep = addNode(1, wxS("Keep"), wxS("quokka"));
    Block* gone = addNode(1, wxS("Gone"), wxS("a quokka"));
    const int goneId = gone->id();
    SearchList* list = searchFor(this, frame, wxS("quokka"));
    ASSERT_NE(list, nullptr);
    const long row = rowOf(list, gone);
    ASSERT_GE(row, 0);

    show(gone);
    wxTEST_DIALOG(EXPECT_TRUE(tree->runNodeCommand(ID_NODE_DELETE)),
                  ExpectMyMessage::containing(
                      wxS("\"") + gone->getString(K_cap) + wxS("\""), MSG_YES));
    ASSERT_EQ(db->findBlock(goneId), nullptr);
    // A new node may get the same id: the old row still leads nowhere.
    addNode(1, wxS("New"), wxS("new text"));
    show(keep);
    EXPECT_EQ(list->list()->GetItemText(row, 1), text("sch.gone")); // says the note is gone
    EXPECT_EQ(list->list()->GetItemText(row, 2), wxString());
    list->jumpTo(row);
    EXPECT_EQ(article->node(), keep);
    EXPECT_EQ(selection(), std::make_pair(0L, 0L));
}

TEST_F(SearchListTest, ClosingHidesItWithHitsAndDestroysItEmpty) {
    addNode(1, wxS("N"), wxS("quokka"));
    SearchList* list = searchFor(this, frame, wxS("quokka"));
    ASSERT_NE(list, nullptr);
    list->SetSize(30, 40, 500, 200);

    pump(); // the toolkit shows a new frame once idle: only then can it be hidden
    list->Close();
    pump();
    EXPECT_FALSE(list->IsShown());
    EXPECT_EQ(frame->searchList(), list);
    int stored[4] = {0, 0, 0, 0};
    EXPECT_EQ(settings().getIntArray(wxS("schframe"), stored, 4), 4);
    EXPECT_EQ(stored[2], list->GetScreenRect().width);
    send(ID_VIEW_SEARCH_LIST);
    EXPECT_TRUE(list->IsShown());
    EXPECT_EQ(list->list()->GetItemCount(), 1);
    // Escape in the list closes it the same way.
    pump();
    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    escape.SetEventObject(list->list());
    list->GetEventHandler()->ProcessEvent(escape);
    pump();
    EXPECT_FALSE(list->IsShown());
    send(ID_VIEW_SEARCH_LIST);
    EXPECT_TRUE(list->IsShown());

    wxCommandEvent clear(wxEVT_BUTTON, SearchList::ID_CLEAR);
    list->ProcessWindowEvent(clear);
    EXPECT_EQ(list->list()->GetItemCount(), 0);
    wxCommandEvent close(wxEVT_BUTTON, SearchList::ID_CLOSE_LIST);
    list->ProcessWindowEvent(close);
    EXPECT_EQ(frame->searchList(), nullptr);
    EXPECT_FALSE(enabled(ID_VIEW_SEARCH_LIST));
    pump();

    // A new list, left open: the main window takes it along when it goes
    // (the fixture then destroys the window).
    ASSERT_NE(searchFor(this, frame, wxS("quokka")), nullptr);
}

// A document that cannot be read to the end is never reported as holding
// no hits: the user is told why the list is incomplete.
TEST_F(SearchListTest, AFailedReadIsSaidNotShownAsNoHits) {
    TestDir dir;
    addNode(1, wxS("N"), wxS("quokka"));
    db->setPath(dir.file(wxS("locked.q2db")));
    ASSERT_TRUE(db->save()); // the article now waits in the file
    db->setBusyTimeout(20);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file(wxS("locked.q2db")).utf8_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        wxLogNull quiet;
        wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("quokka"), true),
                      ExpectMyMessage::containing(wxS("another program")));
    }
    sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    auto* list = dynamic_cast<SearchList*>(frame->searchList());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->list()->GetItemCount(), 0);
    // Once the file can be read, the same search finds the hit.
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("quokka"), true));
    EXPECT_EQ(list->list()->GetItemCount(), 1);
}

TEST_F(SearchListTest, ClosingTheDocumentDestroysTheList) {
    addNode(1, wxS("N"), wxS("quokka"));
    ASSERT_NE(searchFor(this, frame, wxS("quokka")), nullptr);
    wxTEST_DIALOG(EXPECT_TRUE(frame->closeDocument(false)),
                  ExpectMyMessage::containing(text(wxS("s.SaveChanges?")), MSG_NO));
    EXPECT_EQ(frame->searchList(), nullptr);
}

} // namespace
} // namespace qn::test
