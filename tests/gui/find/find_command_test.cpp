// The Find and Replace commands of the main window: the dialogs, the search
// in the article (also from the HTML view), the global search, and the
// interactive replace with its protection and its undo steps.
#include "find_gui_util.h"

#include "app/placeholders.h"
#include "app/text_constants.h"
#include "article/article_window.h"
#include "article/replace_walk.h"
#include "article/text_window.h"
#include "find/search_list.h"
#include "frame/main_frame.h"
#include "ui/command_ids.h"

#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/statusbr.h>

#include <dlfcn.h>

namespace qn::test {
namespace {

using FindCommand = FindFixture;

wxString notFound(const char* pattern) {
    return fillPlaceholders(text("s.NotFound"), {wxString::FromUTF8(pattern)});
}

TEST_F(FindCommand, GlobalFindListsEveryHitAndHonoursTheLimit) {
    addNode(1, wxS("Quokka notes"), wxS("a quokka\nand another QUOKKA"));
    addNode(1, wxS("Page"), wxS("<p class=\"quokka\">x</p>"), wxS("text/html"));
    addNode(1, wxS("Other"), wxS("nothing here"));
    EXPECT_EQ(frame->searchList(), nullptr);
    EXPECT_FALSE(enabled(ID_VIEW_SEARCH_LIST));

    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("quokka"), true));
    auto* list = dynamic_cast<SearchList*>(frame->searchList());
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->IsShown());
    EXPECT_TRUE(enabled(ID_VIEW_SEARCH_LIST));
    const struct {
        const char* title;
        const char* snippet;
    } rows[] = {
        {"Quokka notes", ""}, // the title row first
        {"Quokka notes", "a quokka"},
        {"Quokka notes", "and another QUOKKA"},
        {"Page", "<p class=\"quokka\">x</p>"}, // HTML is searched as its source
    };
    ASSERT_EQ(list->list()->GetItemCount(), 4);
    for (long i = 0; i < 4; ++i) {
        EXPECT_EQ(list->list()->GetItemText(i, 0), wxString::Format(wxS("%ld"), i + 1));
        EXPECT_EQ(list->list()->GetItemText(i, 1), wxString::FromUTF8(rows[i].title)) << i;
        EXPECT_EQ(list->list()->GetItemText(i, 2), wxString::FromUTF8(rows[i].snippet)) << i;
    }

    // Match case; the options stay as last chosen.
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("quokka"), true, true));
    EXPECT_EQ(list->list()->GetItemCount(), 2);
    EXPECT_TRUE(FindHistory::caseSensitive());
    EXPECT_EQ(frame->searchList(), list); // the same window again

    // The limit is read for every search; the node that reaches it gives
    // all its hits.
    {
        SettingOverride limit(wxS("maxSearchCount"), wxS("1"));
        wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("quokka"), true, false));
        EXPECT_EQ(list->list()->GetItemCount(), 3);
    }
    {
        SettingOverride noLimit(wxS("maxSearchCount"), wxS("0"));
        wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("quokka"), true, false));
        EXPECT_EQ(list->list()->GetItemCount(), 4);
    }

    // An empty text searches nothing but is remembered; nothing found shows
    // an empty list.
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxString(), true));
    EXPECT_EQ(list->list()->GetItemCount(), 4);
    EXPECT_NE(FindHistory::searchHistory().Index(wxString()), wxNOT_FOUND);
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("wombat"), true),
                  ExpectMyMessage(notFound("wombat"))); // said, not just an empty list
    EXPECT_EQ(list->list()->GetItemCount(), 0);
    EXPECT_TRUE(list->IsShown());
}

TEST_F(FindCommand, FindsInTheArticleAndInTheHtmlSource) {
    Block* plain = addNode(1, wxS("Plain"), wxS("one two one"));
    Block* page = addNode(1, wxS("Page"), wxS("<p>one</p>"), wxS("text/html"));
    show(plain);
    editor()->SetInsertionPoint(0);
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("one"), false));
    EXPECT_EQ(selection(), std::make_pair(0L, 3L));
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("one"), false));
    EXPECT_EQ(selection(), std::make_pair(8L, 11L));
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("zzz"), false), ExpectMyMessage(notFound("zzz")));
    EXPECT_EQ(frame->searchList(), nullptr); // no global search ran

    // From the HTML view: a hit is shown in the source, selected.
    show(page);
    ASSERT_EQ(article->mode(), ArticleWindow::MODE_HTML);
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("ONE"), false));
    EXPECT_EQ(article->mode(), ArticleWindow::MODE_EDITOR);
    EXPECT_EQ(selection(), std::make_pair(3L, 6L));
    // Nothing found there is said, not silently dropped.
    article->setView(ArticleWindow::MODE_HTML);
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("zzz"), false), ExpectMyMessage(notFound("zzz")));
    EXPECT_EQ(article->mode(), ArticleWindow::MODE_HTML);
}

// The Find dialog, typed into and ticked, then cancelled.
class ExpectFindCancelled : public wxExpectModalBase<FindDialog, ExpectFindCancelled> {
protected:
    int OnInvoked(FindDialog* dialog) const override {
        dialog->searchBox()->SetValue(wxS("cancelled"));
        dialog->globalBox()->SetValue(!dialog->globalBox()->GetValue());
        dialog->caseBox()->SetValue(!dialog->caseBox()->GetValue());
        return FIND_CANCEL;
    }
};

TEST_F(FindCommand, BothDialogsShareTheSearchHistory) {
    show(addNode(1, wxS("N"), wxS("text")));
    wxTEST_DIALOG(send(ID_FIND), ExpectFind(wxS("from find"), false),
                  ExpectMyMessage(notFound("from find")));
    wxTEST_DIALOG(send(ID_REPLACE), ExpectReplace(wxS("from replace"), wxS("with")));
    ReplaceDialog replace(frame, wxID_ANY);
    EXPECT_EQ(replace.searchBox()->GetString(0), wxS("from replace"));
    EXPECT_EQ(replace.searchBox()->GetString(1), wxS("from find"));
    EXPECT_EQ(replace.replacementBox()->GetString(0), wxS("with"));
    FindDialog find(frame, wxID_ANY);
    EXPECT_EQ(find.searchBox()->GetString(0), wxS("from replace"));
    EXPECT_EQ(find.searchBox()->GetValue(), wxString()); // starts empty

    // Cancel changes nothing, whatever was typed and ticked.
    const size_t remembered = FindHistory::searchHistory().size();
    const bool wasGlobal = FindHistory::global(), hadCase = FindHistory::caseSensitive();
    wxTEST_DIALOG(send(ID_FIND), ExpectFindCancelled());
    EXPECT_EQ(FindHistory::searchHistory().size(), remembered);
    EXPECT_EQ(FindHistory::global(), wasGlobal);
    EXPECT_EQ(FindHistory::caseSensitive(), hadCase);
}

// Tab moves from field to field the same way whether or not the boxes
// have remembered entries: the drop-down arrows are no stops.
TEST_F(FindCommand, TabSkipsTheDropDownArrows) {
    FindHistory::addToHistory(FindHistory::searchHistory(), wxS("remembered"));
    FindHistory::addToHistory(FindHistory::replaceHistory(), wxS("remembered"));
    using ChildFocus = int (*)(void*, int);
    auto childFocus = reinterpret_cast<ChildFocus>(dlsym(RTLD_DEFAULT, "gtk_widget_child_focus"));
    ASSERT_NE(childFocus, nullptr);
    // GTK's own Tab step (GTK_DIR_TAB_FORWARD) from the focused field.
    auto tab = [&](wxDialog& dialog) {
        childFocus(dialog.GetHandle(), 0);
        pump();
        return wxWindow::FindFocus();
    };
    auto within = [](wxWindow* focus, wxWindow* box) {
        return focus && (focus == box || focus->GetParent() == box);
    };
    {
        FindDialog find(frame, wxID_ANY);
        ASSERT_GT(find.searchBox()->GetCount(), 0u);
        find.Show();
        find.searchBox()->SetFocus();
        pump();
        EXPECT_EQ(tab(find), find.caseBox());
        int arrows = 0;
        forEachArrowButton(find.searchBox(), [&](void*) { ++arrows; });
        EXPECT_GT(arrows, 0);
    }
    {
        ReplaceDialog replace(frame, wxID_ANY);
        replace.Show();
        replace.searchBox()->SetFocus();
        pump();
        EXPECT_TRUE(within(tab(replace), replace.replacementBox()));
    }
}

// The question dialogs a replace run answers, one per occurrence shown.
void runReplace(MainFrame* frame, const std::vector<int>& a, const wxString& search,
                const wxString& replacement) {
    const ExpectReplace fill(search, replacement);
    auto send = [frame] {
        wxCommandEvent event(wxEVT_MENU, ID_REPLACE);
        frame->ProcessWindowEvent(event);
    };
    switch (a.size()) {
    case 1:
        // The question names both texts, in this order.
        wxTEST_DIALOG(send(), fill,
                      ExpectReplaceQuestion(
                          a[0], fillPlaceholders(text("s.Replace"), {search, replacement})));
        break;
    case 2:
        wxTEST_DIALOG(send(), fill, ExpectReplaceQuestion(a[0]), ExpectReplaceQuestion(a[1]));
        break;
    case 3:
        wxTEST_DIALOG(send(), fill, ExpectReplaceQuestion(a[0]), ExpectReplaceQuestion(a[1]),
                      ExpectReplaceQuestion(a[2]));
        break;
    default:
        FAIL() << "no table row has " << a.size() << " answers";
    }
}

TEST_F(FindCommand, ReplaceChangesTheEditorTextOneUndoStepPerReplacement) {
    const wxString original = wxS("a cat, a cat, a cat");
    Block* node = addNode(1, wxS("Cats"), original);
    const int Y = REPLACE_YES, N = REPLACE_NO, L = REPLACE_LAST, A = REPLACE_ALL, Q = REPLACE_QUIT;
    const struct {
        std::vector<int> answers;
        const char* after;
        int steps; // undo steps back to the original
    } cases[] = {
        {{Y, Y, Y}, "a dog, a dog, a dog", 3}, {{N, L}, "a cat, a dog, a cat", 1},
        {{Y, A}, "a dog, a dog, a dog", 2}, // all the rest is one step
        {{A}, "a dog, a dog, a dog", 1},       {{N, Q}, "a cat, a cat, a cat", 0},
    };
    for (const auto& c : cases) {
        article->showArticle(node);
        editor()->SetInsertionPoint(0);
        runReplace(frame, c.answers, wxS("cat"), wxS("dog"));
        EXPECT_EQ(editor()->GetValue(), wxString::FromUTF8(c.after));
        // The node keeps its text until the editor commits it.
        EXPECT_EQ(node->text(), original);
        EXPECT_EQ(editor()->IsModified(), c.steps > 0);
        int steps = 0;
        while (editor()->CanUndo()) {
            send(ID_UNDO);
            ++steps;
        }
        EXPECT_EQ(steps, c.steps) << c.after;
        EXPECT_EQ(editor()->GetValue(), original);
        EXPECT_FALSE(editor()->IsModified());
        // Redo all, and the commit stores the replaced text.
        while (editor()->CanRedo())
            send(ID_REDO);
        EXPECT_EQ(article->commitText(), c.steps > 0);
        EXPECT_EQ(node->text(), wxString::FromUTF8(c.after));
        node->setText(original);
        article->clearArticle();
    }
}

// Answers a replace question with Quit, noting the status bar's line and
// column while it was asked.
class ExpectQuestionStatus : public wxExpectModalBase<ReplaceActionDialog, ExpectQuestionStatus> {
public:
    ExpectQuestionStatus(MainFrame* frame, wxString* seen) : frame_(frame), seen_(seen) {}

protected:
    int OnInvoked(ReplaceActionDialog*) const override {
        wxTheApp->ProcessPendingEvents(); // as the question's own loop would
        *seen_ = frame_->GetStatusBar()->GetStatusText(2);
        return REPLACE_QUIT;
    }

private:
    MainFrame* frame_;
    wxString* seen_;
};

// While the question is asked, the status bar tells where the hit is.
TEST_F(FindCommand, TheReplaceQuestionShowsTheHitsLine) {
    article->showArticle(addNode(1, wxS("Cats"), wxS("first line\nthe cat")));
    editor()->SetInsertionPoint(0);
    wxString seen;
    wxTEST_DIALOG(send(ID_REPLACE), ExpectReplace(wxS("cat"), wxS("dog")),
                  ExpectQuestionStatus(frame, &seen));
    EXPECT_EQ(seen, wxString::Format(text("s.LineCol"), 2, 5));
}

TEST_F(FindCommand, ReplaceOnlyWhereTheTextMayChange) {
    Block* editable = addNode(1, wxS("Editable"), wxS("cat"));
    Block* readOnly = addNode(1, wxS("Read-only"), wxS("cat"));
    readOnly->setInt(K_ro, 1);
    Block* missing = addNode(1, wxS("Missing file"), wxS("cat"));
    Block* page = addNode(1, wxS("Page"), wxS("<p>cat</p>"), wxS("text/html"));

    show(editable);
    EXPECT_TRUE(enabled(ID_REPLACE));
    for (Block* node : {readOnly, page}) {
        show(node);
        EXPECT_FALSE(enabled(ID_REPLACE)) << node->getString(K_cap);
        send(ID_REPLACE); // no dialog at all
    }
    show(readOnly);
    EXPECT_EQ(editor()->replaceInteractive(wxS("cat"), wxS("dog")), -1);
    EXPECT_EQ(editor()->GetValue(), wxS("cat"));

    // A text shown in place of a missing linked file is never written over.
    missing->setInt(K_sz, -1);
    article->showArticle(missing);
    ASSERT_TRUE(editor()->isLocked());
    EXPECT_FALSE(enabled(ID_REPLACE));
    EXPECT_EQ(editor()->replaceInteractive(text("s.FileNotFound").Left(3), wxS("x")), -1);
    EXPECT_EQ(editor()->GetValue(), text("s.FileNotFound"));
}

} // namespace
} // namespace qn::test
