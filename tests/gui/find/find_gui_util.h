// Shared by the find, replace, search-list and undo tests: a main window
// over a new document, answers for the find dialogs, typing.
#pragma once

#include "frame_test_program.h"
#include "gui_test_support.h"

#include "search/find_dialogs.h"
#include "store/database.h"

namespace qn {
class ArticleWindow;
class GroupContainer;
class MainFrame;
class TextWindow;
class TreePanel;
} // namespace qn

namespace qn::test {

// The Find dialog, filled and answered with OK (as the user's Enter).
class ExpectFind : public wxExpectModalBase<FindDialog, ExpectFind> {
public:
    ExpectFind(const wxString& text, bool global, bool caseSensitive = false)
        : text_(text), global_(global), case_(caseSensitive) {}

protected:
    int OnInvoked(FindDialog* dialog) const override;

private:
    wxString text_;
    bool global_, case_;
};

// The Replace dialog, filled and answered with OK.
class ExpectReplace : public wxExpectModalBase<ReplaceDialog, ExpectReplace> {
public:
    ExpectReplace(const wxString& search, const wxString& replacement)
        : search_(search), replacement_(replacement) {}

protected:
    int OnInvoked(ReplaceDialog* dialog) const override;

private:
    wxString search_, replacement_;
};

// One replace question, answered with `answer` (REPLACE_YES, ...); when
// `question` is given, the dialog must show it.
class ExpectReplaceQuestion : public wxExpectModalBase<ReplaceActionDialog, ExpectReplaceQuestion> {
public:
    explicit ExpectReplaceQuestion(int answer, const wxString& question = wxString())
        : answer_(answer), question_(question) {}

protected:
    int OnInvoked(ReplaceActionDialog* dialog) const override {
        if (!question_.empty()) {
            EXPECT_NE(dialogTexts(dialog).Find(question_), wxNOT_FOUND)
                << dialogTexts(dialog).utf8_string();
        }
        return answer_;
    }

private:
    int answer_;
    wxString question_;
};

// A main window over a new document; thrown away afterwards.
class FindFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new child of `parent` with a title, a type and an article.
    Block* addNode(int parent, const wxString& title, const wxString& body,
                   const wxString& mime = wxS("text/plain"));
    // Sends a menu command to the main window.
    void send(int id);
    // Runs the enabling rule of a menu item.
    bool enabled(int id);
    // Shows a node as the user does, by selecting it in the tree.
    void show(Block* node);
    TextWindow* editor() const;
    // Types letters at the caret of the editor.
    void type(const char* letters);
    std::pair<long, long> selection() const;

    MainFrame* frame = nullptr;
    Database* db = nullptr;
    TreePanel* tree = nullptr;
    GroupContainer* groups = nullptr;
    ArticleWindow* article = nullptr;
};

} // namespace qn::test
