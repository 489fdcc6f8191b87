// The article window: view modes, editing, committing, read-only states,
// links and the editor's find operations.
#include "article_gui_util.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "article/html_window.h"
#include "article/text_window.h"
#include "ui/command_ids.h"
#include "ui/image_button.h"

#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/ffile.h>
#include <wx/settings.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <sqlite3.h>

#include <filesystem>
#include <functional>

using namespace qn;
using namespace qn::test;

namespace {

const wxString kPlain = wxS("text/plain");
const wxString kHtml = wxS("text/html");

// Types at the caret as the user would (plain letters and spaces).
void typeText(TextWindow* ed, const char* letters) {
    ed->SetFocus();
    pump();
    const wxString before = ed->GetValue();
    wxUIActionSimulator sim;
    sim.Text(letters);
    pumpUntil([&] { return ed->GetValue().length() >= before.length() + strlen(letters); });
}

} // namespace

TEST(ArticleWindow, ModeTransitions) {
    HostFrame f;
    Block* plain = f.addNode(wxS("Plain"), kPlain, wxS("hello plain"));
    Block* html = f.addNode(wxS("Html"), kHtml, wxS("<p>hello <b>html</b></p>"));
    Block* rtf = f.addNode(wxS("Rtf"), wxS("text/rtf"), wxString());
    ArticleWindow* a = f.article;

    struct Step {
        const char* name;
        std::function<void()> act;
        int mode;
        Block* node;
        bool editorShown;
        const char* editorText; // nullptr: not checked
        Block* editorNode;
    };
    const Step steps[] = {
        {"plain", [&] { a->showArticle(plain); }, 1, plain, true, "hello plain", plain},
        {"html", [&] { a->showArticle(html); }, 2, html, false, "", nullptr},
        {"html source", [&] { a->toggleView(); }, 1, html, true, "<p>hello <b>html</b></p>", html},
        {"html again", [&] { a->setView(2); }, 2, html, false, nullptr, html},
        {"same view asked", [&] { a->setView(2); }, 2, html, false, nullptr, html},
        {"rtf", [&] { a->showArticle(rtf); }, 0, rtf, true,
         "The MIME type text/rtf is not supported.", nullptr},
        {"toggle without a view", [&] { a->toggleView(); }, 0, rtf, true, nullptr, nullptr},
        {"plain again", [&] { a->showArticle(plain); }, 1, plain, true, "hello plain", plain},
        {"cleared", [&] { a->clearArticle(); }, 0, nullptr, true, "", nullptr},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        f.forget();
        s.act();
        EXPECT_EQ(a->mode(), s.mode);
        EXPECT_EQ(a->node(), s.node);
        ASSERT_NE(a->editor(), nullptr);
        EXPECT_EQ(a->editor()->IsShown(), s.editorShown);
        if (a->htmlView()) {
            EXPECT_EQ(a->htmlView()->IsShown(), s.mode == 2);
        }
        if (s.editorText) {
            EXPECT_EQ(a->editor()->GetValue(), wxString::FromUTF8(s.editorText));
        }
        EXPECT_EQ(a->editor()->node(), s.editorNode);
        // Every change of state is reported, once.
        EXPECT_EQ(f.received(ID_UPDATE_STATUS).size(),
                  s.name == std::string("same view asked") ? 0u : 1u);
    }
    // Nothing shown: the editor takes no typing, and there is no MIME type.
    EXPECT_FALSE(a->editor()->IsEditable());
    EXPECT_EQ(a->getMimeType(), wxString());
    // Shown nodes entered the history; plain moved next to the current entry.
    ASSERT_EQ(f.history.size(), 3u);
    EXPECT_EQ(f.history.at(static_cast<size_t>(f.history.current())).nodeId,
              static_cast<uint32_t>(plain->id()));
}

TEST(ArticleWindow, HtmlSourceEditsSurviveToggling) {
    HostFrame f;
    const wxString page = wxS("<p>first</p>");
    Block* html = f.addNode(wxS("Page"), kHtml, page);
    ArticleWindow* a = f.article;
    a->showArticle(html);
    a->viewSwitch(f.caption);
    ASSERT_EQ(a->mode(), 1);
    EXPECT_EQ(f.caption->toggleButton()->GetLabel(), text("s.View"));

    TextWindow* ed = a->editor();
    ed->SetInsertionPointEnd();
    typeText(ed, " second");
    const long caret = ed->GetInsertionPoint();
    ASSERT_TRUE(ed->IsModified());

    a->viewSwitch(f.caption);
    ASSERT_EQ(a->mode(), 2);
    EXPECT_EQ(f.caption->toggleButton()->GetLabel(), text("s.Edit"));
    // The edit reached the node, and the page shows it.
    EXPECT_EQ(html->text(), page + wxS(" second"));
    EXPECT_NE(a->htmlView()->ToText().Find(wxS("second")), wxNOT_FOUND);

    a->viewSwitch(f.caption);
    ASSERT_EQ(a->mode(), 1);
    // The same editor, not reloaded: text and caret are where they were.
    EXPECT_EQ(a->editor(), ed);
    EXPECT_EQ(ed->GetValue(), page + wxS(" second"));
    EXPECT_EQ(ed->GetInsertionPoint(), caret);
    EXPECT_FALSE(ed->IsModified());
}

TEST(ArticleWindow, FormatSwitch) {
    HostFrame f;
    Block* node = f.addNode(wxS("Note"), kPlain, wxS("<i>text</i>"));
    ArticleWindow* a = f.article;
    a->showArticle(node);
    a->editor()->SetInsertionPointEnd();
    typeText(a->editor(), " x");

    a->formatSwitch(f.caption);
    EXPECT_EQ(node->getString(K_m), kHtml);
    EXPECT_EQ(a->mode(), 2);
    EXPECT_EQ(node->text(), wxS("<i>text</i> x")); // committed on the way
    EXPECT_TRUE(f.caption->toggleButton()->IsEnabled());
    EXPECT_EQ(f.caption->toggleButton()->GetLabel(), text("s.Edit"));

    a->formatSwitch(f.caption);
    EXPECT_EQ(node->getString(K_m), kPlain);
    EXPECT_EQ(a->mode(), 1);
    EXPECT_EQ(a->editor()->GetValue(), wxS("<i>text</i> x"));
    EXPECT_FALSE(f.caption->toggleButton()->IsEnabled());
    EXPECT_EQ(f.caption->toggleButton()->GetLabel(), wxS("---"));

    // An RTF article is not text: switching it would show it empty.
    Block* rtf = f.addNode(wxS("Rtf"), wxS("text/rtf"), wxString());
    rtf->setBytes("{\\rtf1 x}");
    a->showArticle(rtf);
    a->formatSwitch(f.caption);
    EXPECT_EQ(rtf->getString(K_m), wxS("text/rtf"));
    EXPECT_EQ(rtf->body().bytes, "{\\rtf1 x}");
}

TEST(ArticleWindow, CommitStoresEditsOnlyOnce) {
    HostFrame f;
    Block* a1 = f.addNode(wxS("A"), kPlain, wxS("alpha"));
    Block* b1 = f.addNode(wxS("B"), kPlain, wxS("beta"));
    ArticleWindow* a = f.article;
    a->showArticle(a1);
    EXPECT_FALSE(a->commitText()); // nothing typed yet
    a->editor()->SetInsertionPointEnd();
    typeText(a->editor(), " edited");
    EXPECT_TRUE(a->isModified());
    EXPECT_TRUE(a->commitText());
    EXPECT_EQ(a1->text(), wxS("alpha edited"));
    EXPECT_TRUE(a1->dirty() & DIRTY_BODY);
    EXPECT_FALSE(a->commitText());
    // Moving on and back shows the stored text; the other node is untouched.
    a->showArticle(b1);
    a->showArticle(a1);
    EXPECT_EQ(a->editor()->GetValue(), wxS("alpha edited"));
    EXPECT_EQ(b1->text(), wxS("beta"));
    // In the HTML view there is nothing to commit.
    Block* h = f.addNode(wxS("H"), kHtml, wxS("<p>x</p>"));
    a->showArticle(h);
    EXPECT_FALSE(a->commitText());
}

TEST(ArticleWindow, WordWrapKeepsTheEditorItsCaretAndItsUndo) {
    HostFrame f;
    const wxString line = wxString(wxS("wrapped ")) + wxString(wxS('w'), 400);
    Block* node = f.addNode(wxS("N"), kPlain, line);
    ArticleWindow* a = f.article;
    settings().setInt(wxS("wrap"), 1);
    a->showArticle(node);
    EXPECT_TRUE(a->isWordWrapped());
    TextWindow* editor = a->editor();
    editor->SetFocus();
    editor->SetInsertionPointEnd();
    typeText(editor, " text");
    editor->SetInsertionPoint(3);
    pump();
    // The end of the long line sits below its start while it wraps, beside
    // it when it does not.
    auto endBelowStart = [&] {
        pump();
        return editor->PositionToCoords(editor->GetLastPosition()).y >
               editor->PositionToCoords(0).y;
    };
    EXPECT_TRUE(endBelowStart());
    a->toggleWordWrap();
    EXPECT_EQ(settings().getInt(wxS("wrap")), 0);
    EXPECT_FALSE(a->isWordWrapped());
    EXPECT_TRUE(a->editor()->HasFlag(wxHSCROLL));
    EXPECT_FALSE(endBelowStart());
    // The user goes on where he was: the same editor, with the keyboard,
    // the caret and the edits he can still take back.
    ASSERT_EQ(a->editor(), editor);
    EXPECT_EQ(wxWindow::FindFocus(), editor);
    EXPECT_EQ(editor->GetInsertionPoint(), 3);
    EXPECT_TRUE(editor->CanUndo());
    while (editor->CanUndo())
        editor->Undo();
    EXPECT_EQ(editor->GetValue().Right(10), line.Right(10));
    a->toggleWordWrap();
    EXPECT_TRUE(a->isWordWrapped());
    EXPECT_TRUE(endBelowStart());
    // Only the editor view wraps.
    a->showArticle(f.addNode(wxS("H"), kHtml, wxS("<p>x</p>")));
    a->toggleWordWrap();
    EXPECT_EQ(settings().getInt(wxS("wrap")), 1);
}

TEST(ArticleWindow, SwitchingTheViewHandsOverTheKeyboard) {
    HostFrame f;
    ArticleWindow* a = f.article;
    a->showArticle(f.addNode(wxS("H"), kHtml, wxS("<p>page</p>")));
    a->htmlView()->SetFocus();
    pump();
    a->toggleView();
    pump();
    EXPECT_EQ(wxWindow::FindFocus(), a->editor());
    a->toggleView();
    pump();
    EXPECT_EQ(wxWindow::FindFocus(), a->htmlView());
}

TEST(ArticleWindow, ReadOnlyAndUnsafeArticles) {
    HostFrame f;
    ArticleWindow* a = f.article;

    // The node's own read-only flag, switched both ways.
    Block* ro = f.addNode(wxS("RO"), kPlain, wxS("fixed"));
    ro->setInt(K_ro, 1);
    a->showArticle(ro);
    EXPECT_FALSE(a->isEditable());
    a->toggleReadOnly();
    EXPECT_TRUE(a->isEditable());
    EXPECT_EQ(ro->getInt(K_ro), 0);
    a->toggleReadOnly();
    EXPECT_FALSE(a->isEditable());
    EXPECT_EQ(ro->getInt(K_ro), 1);

    // A linked file that is missing.
    Block* missing = f.addNode(wxS("Missing"), kPlain, wxString());
    missing->setString(K_url, wxS("/nonexistent/quillnest/notes.txt"));
    missing->freeBody();
    a->showArticle(missing);
    EXPECT_EQ(a->editor()->GetValue(), text("s.FileNotFound"));
    EXPECT_FALSE(a->isEditable());
    a->toggleReadOnly();
    a->setEditable(true);
    EXPECT_FALSE(a->isEditable());
    EXPECT_FALSE(a->commitText());
    EXPECT_TRUE(missing->text().empty());

    // A NUL character, which the editor cannot hold: the rest is shown,
    // read-only, and the stored text is kept.
    const wxString withNul = wxString(wxS("before")) + wxString(wxUniChar(0), 1) + wxS("after");
    Block* nul = f.addNode(wxS("Nul"), kPlain, withNul);
    a->showArticle(nul);
    EXPECT_EQ(a->editor()->GetValue(), wxString::FromUTF8("before\xEF\xBF\xBD" "after"));
    EXPECT_FALSE(a->isEditable());
    EXPECT_EQ(a->notice(), text("s.ArticleHasNul"));
    EXPECT_FALSE(a->commitText());
    EXPECT_EQ(nul->text(), withNul);

    // The next ordinary node clears the notice.
    a->showArticle(ro);
    EXPECT_EQ(a->notice(), wxString());
}

void putOnClipboard(const wxString& text) {
    wxClipboardLocker lock;
    ASSERT_TRUE(!!lock);
    wxTheClipboard->SetData(new wxTextDataObject(text));
}

// No edit takes an article past the editor's limit; one that is past it
// already (written by an older version, or by another program) is shown
// whole and may be shortened, never locked.
TEST(ArticleWindow, ArticlesNeverGrowPastTheLimitAndLongOnesCanBeShortened) {
    HostFrame f;
    ArticleWindow* a = f.article;
    const long limit = TextWindow::kMaxLength;
    const wxString tooLong = text("s.TextTooLong");
    const wxString tooLongStart = tooLong.BeforeFirst(wxS('%'));
    ASSERT_FALSE(tooLongStart.empty());

    wxString longText;
    const wxString line = wxString(wxS('x'), 99) + wxS("\n");
    while (static_cast<long>(longText.length()) <= limit) longText += line;
    const long over = static_cast<long>(longText.length());
    Block* big = f.addNode(wxS("Big"), kPlain, longText);
    a->showArticle(big);
    TextWindow* ed = a->editor();
    EXPECT_TRUE(a->isEditable());
    EXPECT_EQ(ed->GetLastPosition(), over);
    EXPECT_TRUE(a->notice().Contains(wxS("5120000"))) << a->notice();

    // Growing it is refused, whichever way the text would come in.
    putOnClipboard(wxS("more"));
    ed->SetInsertionPoint(5);
    wxTEST_DIALOG(a->paste(), ExpectMyMessage::containing(tooLongStart));
    EXPECT_EQ(ed->GetLastPosition(), over);
    // A change the control makes by itself (a middle-click paste) is taken
    // back, and explained once the control is done with it.
    auto typeIn = [&] {
        ed->SetInsertionPoint(5);
        ed->WriteText(wxS("typed in"));
        pumpUntil([] { return false; }, 200);
    };
    wxTEST_DIALOG(typeIn(), ExpectMyMessage::containing(tooLongStart));
    EXPECT_EQ(ed->GetLastPosition(), over);
    EXPECT_EQ(ed->GetRange(0, 10), wxS("xxxxxxxxxx"));
    EXPECT_FALSE(a->isModified());
    // Replacing the selection by something shorter is fine.
    putOnClipboard(wxS("y"));
    ed->SetSelection(0, 3);
    a->paste();
    EXPECT_EQ(ed->GetLastPosition(), over - 2);
    EXPECT_EQ(ed->GetRange(0, 3), wxS("yxx"));

    // Shortened below the limit, it is stored, and the notice goes.
    ed->SetSelection(0, over - 2 - limit + 10);
    a->deleteSelection();
    EXPECT_EQ(ed->GetLastPosition(), limit - 10);
    EXPECT_EQ(a->notice(), wxString());
    EXPECT_TRUE(a->commitText());
    EXPECT_EQ(static_cast<long>(big->text().length()), limit - 10);

    // Below the limit, a paste that fits goes in; one that does not is
    // refused whole, with how much would still fit.
    putOnClipboard(wxString(wxS('z'), 20));
    wxString seen;
    ed->SetInsertionPoint(0);
    wxTEST_DIALOG(a->paste(), ExpectMyMessage::containing(tooLongStart, MSG_OK, &seen));
    EXPECT_TRUE(seen.Contains(wxS("20"))) << seen;
    EXPECT_EQ(ed->GetLastPosition(), limit - 10);
    putOnClipboard(wxString(wxS('z'), 10));
    a->paste();
    EXPECT_EQ(ed->GetLastPosition(), limit);
    EXPECT_TRUE(a->commitText());
    EXPECT_EQ(static_cast<long>(big->text().length()), limit);
}

TEST(ArticleWindow, DamagedBodyIsShownButNeverStored) {
    const TempDir tmp;
    const std::string& dir = tmp.path();
    const wxString path = wxString::FromUTF8(dir + "/damaged.q2db");
    int id = 0;
    {
        Database db;
        db.newDocument();
        db.setInt(K_comp, 1);
        Block* node = db.newNode(1);
        db.getBlock(1)->editChildren(node->id(), CH_APPEND);
        wxString body;
        for (int i = 0; i < 200; ++i)
            body += wxString::Format(wxS("line %d of the article\n"), i);
        node->setText(body);
        id = node->id();
        db.setPath(path);
        ASSERT_TRUE(db.save());
    }
    // Cut the stored compressed body short.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.utf8_string().c_str(), &raw), SQLITE_OK);
    const std::string sql =
        "update block set body=substr(body,1,40) where id=" + std::to_string(id);
    ASSERT_EQ(sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);

    HostFrame f;
    f.db.close();
    ASSERT_EQ(f.db.open(path), Database::OPEN_OK);
    Block* node = f.db.getBlock(id);
    f.article->showArticle(node);
    ASSERT_TRUE(node->isDamaged());
    EXPECT_FALSE(f.article->isEditable());
    EXPECT_FALSE(text("s.ArticleDamaged").empty());
    EXPECT_EQ(f.article->notice(), text("s.ArticleDamaged"));
    EXPECT_EQ(f.article->editor()->GetValue(), node->text());
    // Even text put in by other means does not reach the node.
    f.article->editor()->SetEditable(true);
    f.article->editor()->WriteText(wxS("typed"));
    f.article->editor()->MarkDirty();
    EXPECT_FALSE(f.article->commitText());
    EXPECT_EQ(node->dirty() & DIRTY_BODY, 0);
    f.db.close();
    std::filesystem::remove_all(dir);
}

TEST(ArticleWindow, PastesPlainTextOnly) {
    HostFrame f;
    Block* node = f.addNode(wxS("N"), kPlain, wxS("ab"));
    f.article->showArticle(node);
    {
        wxClipboardLocker lock;
        ASSERT_TRUE(!!lock);
        auto* both = new wxDataObjectComposite;
        both->Add(new wxHTMLDataObject(wxS("<b>bold</b> <i>words</i>")));
        both->Add(new wxTextDataObject(wxS("bold words")), true);
        wxTheClipboard->SetData(both);
    }
    TextWindow* ed = f.article->editor();
    ed->SetInsertionPoint(1);
    f.article->paste();
    EXPECT_EQ(ed->GetValue(), wxS("abold wordsb"));
    // Pasting over a selection replaces it.
    ed->SetSelection(0, 1);
    f.article->paste();
    EXPECT_EQ(ed->GetValue(), wxS("bold wordsbold wordsb"));
    // Read-only text takes nothing.
    f.article->toggleReadOnly();
    f.article->paste();
    EXPECT_EQ(ed->GetValue(), wxS("bold wordsbold wordsb"));
    // Copy puts the selection on the clipboard as plain text.
    ed->SetSelection(0, 4);
    f.article->copy();
    {
        wxClipboardLocker lock;
        wxTextDataObject data;
        ASSERT_TRUE(wxTheClipboard->GetData(data));
        EXPECT_EQ(data.GetText(), wxS("bold"));
    }
}

TEST(ArticleWindow, FindForwardAndBackInTheEditor) {
    HostFrame f;
    Block* node = f.addNode(wxS("N"), kPlain, wxS("one Two one two"));
    ArticleWindow* a = f.article;
    a->showArticle(node);
    TextWindow* ed = a->editor();
    a->setSearch(wxS("two"), false);
    ed->SetInsertionPoint(0);
    EXPECT_EQ(a->findFirst(), 4);
    long from = 0, to = 0;
    ed->GetSelection(&from, &to);
    EXPECT_EQ(from, 4);
    EXPECT_EQ(to, 7);
    EXPECT_EQ(a->findNext(), 12);
    {
        ExpectMyMessage none(wxString::Format(text("s.NoMore"), wxS("two")));
        wxTEST_DIALOG(EXPECT_EQ(a->findNext(), -1), none);
    }
    EXPECT_EQ(a->findPrevious(), 4);
    // Case-sensitive: only the lower-case one.
    a->setSearch(wxS("two"), true);
    ed->SetInsertionPoint(0);
    EXPECT_EQ(a->findFirst(), 12);
    {
        ExpectMyMessage none(wxString::Format(text("s.NotFound"), wxS("TWO")));
        a->setSearch(wxS("TWO"), true);
        ed->SetInsertionPoint(0);
        wxTEST_DIALOG(EXPECT_EQ(a->findFirst(), -1), none);
    }
    // Next from the last character does nothing and says nothing.
    a->setSearch(wxS("o"), false);
    ed->SetSelection(14, 15);
    EXPECT_EQ(a->findNext(), -1);
    // Find works on what is typed, not only on what was stored.
    ed->SetInsertionPointEnd();
    typeText(ed, " three");
    a->setSearch(wxS("three"), false);
    ed->SetInsertionPoint(0);
    EXPECT_EQ(a->findFirst(), 16);
    // In the HTML view the find operations find nothing.
    a->showArticle(f.addNode(wxS("H"), kHtml, wxS("<p>three</p>")));
    EXPECT_EQ(a->findFirst(), -1);
}

TEST(ArticleWindow, LinksFollowTheirKind) {
    HostFrame f;
    Block* target = f.addNode(wxS("Target"), kPlain, wxS("t"));
    Block* hidden = f.addNode(wxS("Hidden"), kPlain, wxS("h"));
    hidden->setExcluded(true);
    ArticleWindow* a = f.article;

    a->openLink(wxString::Format(wxS("file:*%d"), target->id()));
    a->openLink(wxString::Format(wxS("qudb:%d.png"), target->id()));
    a->openLink(wxString::Format(wxS("file:*%d"), hidden->id()));
    a->openLink(wxS("file:*999"));
    a->openLink(wxS("file:*abc"));
    auto selected = f.received(ID_SELECT_NODE);
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_EQ(selected[0].value, target->id());
    EXPECT_EQ(selected[1].value, target->id());

    a->openLink(wxS("file:///tmp/other.q2db"));
    auto opened = f.received(ID_OPEN_PATH);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].text, wxS("/tmp/other.q2db"));

    // A relative link without a document path does nothing, quietly.
    f.forget();
    a->openLink(wxS("file:notes.txt"));
    a->openLink(wxS("\\\\server\\share"));
    EXPECT_TRUE(f.notices.empty());

    // A missing local file is reported before any program is started.
    ExpectMyMessage missing(text("s.OpenError"));
    wxTEST_DIALOG(a->openLink(wxS("file:///nonexistent/quillnest/x.txt")), missing);
}

TEST(ArticleWindow, FloatingArticleFollowsNodeLinksInPlace) {
    HostFrame main;
    auto* floating = new HostFrame(false);
    Block* node = floating->addNode(wxS("Linked title"), kPlain, wxS("linked"));
    floating->article->openLink(wxString::Format(wxS("file:*%d"), node->id()));
    EXPECT_EQ(floating->article->node(), node);
    EXPECT_EQ(floating->GetTitle(), wxS("Linked title"));
    EXPECT_TRUE(floating->received(ID_SELECT_NODE).empty());
    // A floating article reports no hover and no state.
    EXPECT_TRUE(floating->received(ID_UPDATE_STATUS).empty());
    floating->Destroy();
}

TEST(ArticleWindow, OpenerGetsOneArgumentAndTheWorkingDirectory) {
    // A stand-in for the desktop's opener that records what it was given.
    const TempDir tmp;
    const std::string& dir = tmp.path();
    const std::string log = dir + "/args";
    {
        wxFFile script(wxString::FromUTF8(dir + "/xdg-open"), wxS("w"));
        script.Write(wxString::FromUTF8("#!/bin/sh\npwd > " + log +
                                        "\nfor a in \"$@\"; do echo \"$a\" >> " + log +
                                        "; done\nexit ${QN_OPENER_EXIT:-0}\n"));
    }
    wxChmod(wxString::FromUTF8(dir + "/xdg-open"),
            wxPOSIX_USER_READ | wxPOSIX_USER_WRITE | wxPOSIX_USER_EXECUTE);
    std::filesystem::create_directory(dir + "/work dir");
    {
        wxFFile doc(wxString::FromUTF8(dir + "/my notes.txt"), wxS("w"));
        doc.Write(wxS("x"));
    }
    wxString oldPath;
    wxGetEnv(wxS("PATH"), &oldPath);
    wxSetEnv(wxS("PATH"), wxString::FromUTF8(dir) + wxS(":") + oldPath);

    HostFrame f;
    const wxString link =
        wxString::FromUTF8("file://" + dir + "/my notes.txt:: -x; rm -rf ~ ::" + dir + "/work dir");
    f.article->openLink(link);
    auto readLog = [&] {
        wxString all;
        if (!wxFileExists(wxString::FromUTF8(log))) return all;
        wxFFile in(wxString::FromUTF8(log), wxS("r"));
        if (in.IsOpened()) in.ReadAll(&all);
        return all;
    };
    ASSERT_TRUE(pumpUntil([&] { return readLog().Freq('\n') >= 2; }));
    EXPECT_EQ(readLog(), wxString::FromUTF8(dir + "/work dir\n" + dir + "/my notes.txt\n"));

    // An opener that finds no program for the file: the user is told.
    wxRemoveFile(wxString::FromUTF8(log));
    wxSetEnv(wxS("QN_OPENER_EXIT"), wxS("3"));
    ExpectMyMessage noAssoc(text("s.OpenErrorNoAssoc"));
    wxTEST_DIALOG(
        {
            f.article->openLink(wxString::FromUTF8("file://" + dir + "/my notes.txt"));
            pumpUntil([&] { return readLog().Freq('\n') >= 2; });
            pump();
            pumpUntil([] { return false; }, 300);
        },
        noAssoc);
    wxUnsetEnv(wxS("QN_OPENER_EXIT"));
    wxSetEnv(wxS("PATH"), oldPath);
    std::filesystem::remove_all(dir);
}

// Answers a message box with the Escape key, as a user would, after
// checking that it names `target`.
class EscapeMyMessage : public wxExpectModalBase<MyMessage, EscapeMyMessage> {
public:
    explicit EscapeMyMessage(const wxString& target) : target_(target) {}

protected:
    int OnInvoked(MyMessage* box) const override {
        EXPECT_NE(dialogTexts(box).Find(target_), wxNOT_FOUND) << dialogTexts(box);
        box->SetReturnCode(-1);
        wxKeyEvent escape(wxEVT_CHAR_HOOK);
        escape.m_keyCode = WXK_ESCAPE;
        escape.SetEventObject(box);
        box->GetEventHandler()->ProcessEvent(escape);
        return box->GetReturnCode();
    }

private:
    wxString target_;
};

// A link that could start a program is opened only after a question that
// names it (Escape: nothing is run); a script link is refused outright; a
// web link and a harmless document open at once.
TEST(ArticleWindow, LinksThatCouldRunAProgramAreAskedFirst) {
    const TempDir tmp;
    const std::string& dir = tmp.path();
    const std::string log = dir + "/args";
    {
        wxFFile script(wxString::FromUTF8(dir + "/xdg-open"), wxS("w"));
        script.Write(wxString::FromUTF8("#!/bin/sh\necho \"$1\" >> " + log + "\n"));
    }
    wxChmod(wxString::FromUTF8(dir + "/xdg-open"),
            wxPOSIX_USER_READ | wxPOSIX_USER_WRITE | wxPOSIX_USER_EXECUTE);
    const wxString launcher = wxString::FromUTF8(dir + "/evil.desktop");
    const wxString paper = wxString::FromUTF8(dir + "/paper.pdf");
    for (const wxString& name : {launcher, paper}) {
        wxFFile file(name, wxS("w"));
        file.Write(wxS("[Desktop Entry]\nExec=touch /tmp/pwned\n"));
    }
    wxString oldPath;
    wxGetEnv(wxS("PATH"), &oldPath);
    wxSetEnv(wxS("PATH"), wxString::FromUTF8(dir) + wxS(":") + oldPath);
    auto readLog = [&] {
        wxString all;
        if (!wxFileExists(wxString::FromUTF8(log))) return all;
        wxFFile in(wxString::FromUTF8(log), wxS("r"));
        if (in.IsOpened()) in.ReadAll(&all);
        return all;
    };
    auto settle = [] { pumpUntil([] { return false; }, 500); };

    HostFrame f;
    // Escape: nothing runs.
    for (const wxString& link : {wxString(wxS("file://") + launcher), wxString(wxS("file:///etc/shadow"))}) {
        SCOPED_TRACE(link.utf8_string());
        EscapeMyMessage escape(link.Mid(7));
        wxTEST_DIALOG(f.article->openLink(link), escape);
        settle();
        EXPECT_EQ(readLog(), wxString());
    }
    // Script links: refused without a question.
    for (const wxString link : {wxS("javascript:alert(1)"), wxS(" JavaScript:alert(1)"),
                                wxS("vbscript:msgbox(1)")}) {
        SCOPED_TRACE(link.utf8_string());
        wxTEST_DIALOG(f.article->openLink(link),
                      ExpectMyMessage::containing(text("s.LinkRefused")));
        settle();
        EXPECT_EQ(readLog(), wxString());
    }
    // A web link and a harmless document: no question.
    f.article->openLink(wxS("https://example.org/a"));
    f.article->openLink(wxS("file://") + paper);
    ASSERT_TRUE(pumpUntil([&] { return readLog().Freq('\n') >= 2; }));
    // The user says yes: the launcher is handed on.
    wxTEST_DIALOG(f.article->openLink(wxS("file://") + launcher),
                  ExpectMyMessage::containing(launcher, MSG_YES));
    ASSERT_TRUE(pumpUntil([&] { return readLog().Freq('\n') >= 3; }));
    const wxString opened = readLog();
    EXPECT_NE(opened.Find(wxS("https://example.org/a\n")), wxNOT_FOUND) << opened;
    EXPECT_NE(opened.Find(paper + wxS("\n")), wxNOT_FOUND) << opened;
    EXPECT_NE(opened.Find(launcher + wxS("\n")), wxNOT_FOUND) << opened;
    wxSetEnv(wxS("PATH"), oldPath);
}

TEST(ArticleWindow, ClickOnALinkInTheTextOpensIt) {
    HostFrame f;
    Block* target = f.addNode(wxS("Target"), kPlain, wxS("t"));
    const wxString body = wxString::Format(wxS("see file:*%d for more"), target->id());
    Block* node = f.addNode(wxS("N"), kPlain, body);
    f.article->showArticle(node);
    TextWindow* ed = f.article->editor();
    pump();
    f.forget();
    const wxPoint at = ed->PositionToCoords(body.Find(wxS("file:*")) + 2);
    ASSERT_NE(at, wxDefaultPosition);
    wxUIActionSimulator sim;
    sim.MouseMove(ed->ClientToScreen(at + wxPoint(2, 4)));
    pump();
    sim.MouseClick();
    ASSERT_TRUE(pumpUntil([&] { return !f.received(ID_SELECT_NODE).empty(); }));
    EXPECT_EQ(f.received(ID_SELECT_NODE)[0].value, target->id());
    // A click on ordinary words only places the caret.
    f.forget();
    sim.MouseMove(ed->ClientToScreen(ed->PositionToCoords(1) + wxPoint(2, 4)));
    sim.MouseClick();
    pump();
    EXPECT_TRUE(f.received(ID_SELECT_NODE).empty());
}

TEST(ArticleWindow, LookOperationsStoreTheNodesLook) {
    HostFrame f;
    std::vector<std::pair<wxString, int>> reported;
    f.article->setFontListener(
        [&](const wxString& face, int size) { reported.emplace_back(face, size); });
    f.db.setString(K_Fsize, wxS("11"));
    f.db.setColour(K_fc, Colour{true, 0, 0, 128});
    Block* node = f.addNode(wxS("N"), kPlain, wxS("text"));
    ArticleWindow* a = f.article;
    a->showArticle(node);
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.back().second, 11); // the document's default size
    EXPECT_EQ(a->currentFont().GetPointSize(), 11);

    wxFont font(wxFontInfo(14).FaceName(wxS("DejaVu Serif")).Bold().Italic().Underlined());
    a->applyArticleFont(font);
    EXPECT_EQ(node->getString(K_Fname), wxS("DejaVu Serif"));
    EXPECT_EQ(node->getInt(K_Fsize), 14);
    EXPECT_EQ(node->getString(K_Fattr), wxS("BUI"));
    a->setArticleSize(20);
    EXPECT_EQ(node->getInt(K_Fsize), 20);
    EXPECT_EQ(a->currentFont().GetPointSize(), 20);
    a->setArticleFace(wxS("DejaVu Sans Mono"));
    EXPECT_EQ(node->getString(K_Fname), wxS("DejaVu Sans Mono"));
    a->setArticleColour(wxColour(255, 0, 0));
    a->setArticleBackground(wxColour(0, 255, 0));
    EXPECT_EQ(node->getString(K_fc), wxS("FF0000"));
    EXPECT_EQ(node->getString(K_bg), wxS("00FF00"));
    node->setString(K_hi, wxS("0000FF"));

    struct {
        int key;
        std::vector<int> removed;
        std::vector<int> kept;
    } resets[] = {
        {K_Fsize, {K_Fname, K_Fsize, K_Fattr}, {K_fc, K_bg}},
        {K_hi, {K_fc, K_hi}, {K_bg}},
        {K_bg, {K_bg}, {}},
    };
    for (const auto& r : resets) {
        a->resetArticleStyle(r.key);
        for (int k : r.removed)
            EXPECT_FALSE(node->hasOwn(k)) << r.key << " removes " << k;
        for (int k : r.kept)
            EXPECT_TRUE(node->hasOwn(k)) << r.key << " keeps " << k;
    }
    // Back on the document's look.
    EXPECT_EQ(a->currentFont().GetPointSize(), 11);
    EXPECT_EQ(reported.back().second, 11);
    EXPECT_EQ(a->editor()->GetForegroundColour(), wxColour(0, 0, 128));
}

// What the window shows on the screen, read from the X server as a
// screenshot does (the toolkit's screen DC may return an older picture).
wxImage capturePixels(wxWindow* window) {
    const wxString file = wxFileName::CreateTempFileName(wxS("qn-shot")) + wxS(".png");
    const std::string target = file.utf8_string();
    const char* argv[] = {"import", "-window", "root", target.c_str(), nullptr};
    if (wxExecute(const_cast<char**>(argv), wxEXEC_SYNC) != 0) return wxImage();
    wxImage shot(file, wxBITMAP_TYPE_PNG);
    wxRemoveFile(file);
    wxRemoveFile(file.BeforeLast('.'));
    if (!shot.IsOk()) return shot;
    return shot.GetSubImage(window->GetScreenRect().Intersect(wxRect(shot.GetSize())));
}

// Pixels of exactly this colour, a few pixels inside the window's border.
int pixelsOf(const wxImage& image, const wxColour& colour) {
    int n = 0;
    for (int y = 4; y < image.GetHeight() - 4; ++y)
        for (int x = 4; x < image.GetWidth() - 4; ++x)
            if (image.GetRed(x, y) == colour.Red() && image.GetGreen(x, y) == colour.Green() &&
                image.GetBlue(x, y) == colour.Blue())
                ++n;
    return n;
}

// The window's pixels once they show what `shows` waits for (GTK paints on
// the ticks of its frame clock), or the last capture after two seconds; an
// invalid image when no screenshot could be taken.
wxImage screenPixelsShowing(wxWindow* window, const std::function<bool(const wxImage&)>& shows) {
    wxImage shot;
    pumpUntil(
        [&] {
            shot = capturePixels(window);
            return !shot.IsOk() || shows(shot);
        },
        2000);
    return shot;
}

// A new background covers the whole editor at once, behind every line
// too, and so does going back to the default one.
TEST(ArticleWindow, BackgroundColourCoversTheWholeText) {
    HostFrame f;
    f.Show();
    wxString body;
    for (int i = 0; i < 40; ++i)
        body << wxS("line ") << i << wxS(" with some words\n");
    Block* node = f.addNode(wxS("N"), kPlain, body);
    ArticleWindow* a = f.article;
    a->showArticle(node);
    TextWindow* editor = a->editor();
    const wxColour original = editor->GetBackgroundColour();
    const wxColour navy(0, 0, 128);
    // Only one of the two colours, and some of it.
    auto onlyColour = [](const wxColour& shown, const wxColour& gone) {
        return [=](const wxImage& image) {
            return pixelsOf(image, shown) > 0 && pixelsOf(image, gone) == 0;
        };
    };
    const wxImage before = screenPixelsShowing(editor, onlyColour(original, navy));
    ASSERT_TRUE(before.IsOk()) << "no screenshot (imagemagick's import)";
    ASSERT_GT(pixelsOf(before, original), 0);

    a->setArticleBackground(navy);
    const wxImage coloured = screenPixelsShowing(editor, onlyColour(navy, original));
    EXPECT_GT(pixelsOf(coloured, navy), 0);
    EXPECT_EQ(pixelsOf(coloured, original), 0);

    a->resetArticleStyle(K_bg);
    const wxImage back = screenPixelsShowing(editor, onlyColour(original, navy));
    EXPECT_GT(pixelsOf(back, original), 0);
    EXPECT_EQ(pixelsOf(back, navy), 0);
}

// A new font keeps the caret where it was (the toolkit sets the text anew
// for a new font, which put the caret at the end), the selection, unsaved
// edits and the link styles.
TEST(ArticleWindow, FontChangeKeepsTheCaretAndTheSelection) {
    HostFrame f;
    f.Show();
    wxString body;
    for (int i = 0; i < 300; ++i)
        body << wxS("line ") << i << wxS("\n");
    body << wxS("see https://example.org/x\n");
    Block* node = f.addNode(wxS("N"), kPlain, body);
    ArticleWindow* a = f.article;
    a->showArticle(node);
    TextWindow* editor = a->editor();
    const long line150 = editor->XYToPosition(0, 150);
    editor->SetInsertionPoint(line150);
    editor->WriteText(wxS("typed "));
    editor->MarkDirty(); // as typing does
    const long caret = editor->GetInsertionPoint();
    const long link = body.Find(wxS("https://")) + 6;
    auto linkColour = [&] {
        wxTextAttr style;
        editor->GetStyle(link + 2, style);
        return style.GetTextColour();
    };
    const wxColour linkBefore = linkColour();
    ASSERT_NE(linkBefore, editor->GetForegroundColour());

    const std::function<void()> changes[] = {
        [&] { a->setArticleSize(36); },
        [&] { a->applyArticleFont(wxFont(wxFontInfo(20).FaceName(wxS("DejaVu Serif")))); },
        [&] { a->setArticleFace(wxS("DejaVu Sans Mono")); },
    };
    // GTK measures the lines and scrolls on the ticks of its frame clock.
    auto caretShown = [&] {
        for (int i = 0; i < 200; ++i) {
            wxTheApp->Yield(true);
            wxTheApp->ProcessIdle();
            const wxPoint p = editor->PositionToCoords(editor->GetInsertionPoint());
            if (i >= 10 && p.y >= 0 && p.y < editor->GetClientSize().y) return true;
            wxMilliSleep(10);
        }
        return false;
    };
    for (const auto& change : changes) {
        change();
        pump();
        EXPECT_EQ(editor->GetInsertionPoint(), caret);
        EXPECT_EQ(linkColour(), linkBefore);
        EXPECT_TRUE(caretShown());
    }
    editor->SetSelection(line150, caret);
    a->setArticleSize(12);
    pump();
    long from = 0, to = 0;
    editor->GetSelection(&from, &to);
    EXPECT_EQ(from, line150);
    EXPECT_EQ(to, caret);
    EXPECT_TRUE(a->commitText());
    EXPECT_TRUE(node->text().Contains(wxS("line 149\ntyped line 150\n")));
}

TEST(ArticleWindow, InsertKeySwitchesOverwriteOnlyWhileEditable) {
    HostFrame f;
    Block* node = f.addNode(wxS("N"), kPlain, wxS("abc"));
    f.article->showArticle(node);
    TextWindow* ed = f.article->editor();
    ed->SetFocus();
    pump();
    wxUIActionSimulator sim;
    EXPECT_TRUE(f.article->isInsertMode());
    sim.Char(WXK_INSERT);
    ASSERT_TRUE(pumpUntil([&] { return !f.article->isInsertMode(); }));
    ed->SetInsertionPoint(0);
    sim.Text("x");
    ASSERT_TRUE(pumpUntil([&] { return ed->GetValue() != wxS("abc"); }));
    EXPECT_EQ(ed->GetValue(), wxS("xbc")); // typed over
    sim.Char(WXK_INSERT);
    ASSERT_TRUE(pumpUntil([&] { return f.article->isInsertMode(); }));
    f.article->toggleReadOnly();
    sim.Char(WXK_INSERT);
    pump();
    EXPECT_TRUE(ed->isInsertMode());
    // Key presses tell the main window to refresh its status bar, later.
    f.forget();
    sim.Char(WXK_RIGHT);
    ASSERT_TRUE(pumpUntil([&] { return !f.received(ID_UPDATE_STATUS).empty(); }));
}

TEST(ArticleWindow, LinksInTheTextAreMarked) {
    HostFrame f;
    const wxString body = wxS("see file:*4 and \"file:///tmp/a b.txt\" here");
    f.article->showArticle(f.addNode(wxS("N"), kPlain, body));
    TextWindow* ed = f.article->editor();
    const wxColour link = wxSystemSettings::GetColour(wxSYS_COLOUR_HOTLIGHT);
    auto colourAt = [&](long pos) {
        wxTextAttr attr;
        ed->GetStyle(pos, attr);
        return attr.GetTextColour();
    };
    EXPECT_EQ(colourAt(body.Find(wxS("*4"))), link);
    EXPECT_EQ(colourAt(body.Find(wxS(" b.txt")) + 2), link); // inside the quotes
    EXPECT_NE(colourAt(1), link);
    EXPECT_NE(colourAt(body.Find(wxS("here"))), link);
    // A link typed by the user is marked as it appears.
    ed->SetInsertionPointEnd();
    typeText(ed, " qudb:12");
    EXPECT_EQ(colourAt(ed->GetLastPosition() - 2), link);
}

TEST(CaptionBar, ButtonsReachTheMainFrame) {
    HostFrame f;
    CaptionBar* bar = f.caption;
    EXPECT_EQ(bar->caption(), text("s.Welcome"));
    EXPECT_FALSE(bar->toggleButton()->IsEnabled());
    EXPECT_EQ(bar->toggleButton()->GetLabel(), wxS("---"));
    ASSERT_NE(bar->backButton(), nullptr);
    ASSERT_NE(bar->forwardButton(), nullptr);

    // A long label widens the switch instead of being clipped.
    bar->setToggle(wxString::FromUTF8("Bearbeiten und mehr"), true);
    pump();
    EXPECT_GE(bar->toggleButton()->GetSize().x, bar->toggleButton()->GetBestSize().x);
    EXPECT_GE(bar->toggleButton()->GetSize().x, 40);

    wxUIActionSimulator sim;
    f.forget();
    sim.MouseMove(bar->toggleButton()->GetScreenRect().GetPosition() + wxPoint(5, 5));
    pump();
    sim.MouseClick();
    ASSERT_TRUE(pumpUntil([&] { return !f.received(ID_TOGGLE_PLAIN_HTML).empty(); }));

    sim.MouseMove(bar->backButton()->GetScreenRect().GetPosition() + wxPoint(4, 4));
    pump();
    sim.MouseClick();
    ASSERT_TRUE(pumpUntil([&] { return !f.buttons.empty(); }));
    EXPECT_EQ(f.buttons[0], ID_HISTORY_BACK);

    bar->setCaption(wxS("Plans & ideas"));
    EXPECT_EQ(bar->caption(), wxS("Plans & ideas"));
    bar->resetCaption();
    EXPECT_EQ(bar->caption(), text("s.DefaultCaption"));
}

TEST(ArticleWindow, KeyboardOpensTheOwnMenuAndShiftTabLeaves) {
    HostFrame f;
    Block* node = f.addNode(wxS("N"), kPlain, wxS("some text"));
    f.article->showArticle(node);
    TextWindow* ed = f.article->editor();
    ed->SetFocus();
    ed->SetInsertionPoint(4);
    pump();
    const std::vector<wxString> ours = {
        wxMenuItem::GetLabelText(text("m.Copy")), wxMenuItem::GetLabelText(text("m.Cut")),
        wxMenuItem::GetLabelText(text("m.Paste")), wxMenuItem::GetLabelText(text("m.Delete")),
        wxMenuItem::GetLabelText(text("m.SelectAll"))};
    struct Key {
        int code;
        int modifiers;
    };
    for (const Key key : {Key{WXK_MENU, wxMOD_NONE}, Key{WXK_F10, wxMOD_SHIFT}}) {
        SCOPED_TRACE(key.code);
        EXPECT_EQ(popupMenuLabels(ed, [&] { wxUIActionSimulator().Char(key.code, key.modifiers); }),
                  ours);
        EXPECT_EQ(wxWindow::FindFocus(), ed);
    }

    wxUIActionSimulator().Char(WXK_TAB, wxMOD_SHIFT);
    EXPECT_TRUE(pumpUntil([&] { return wxWindow::FindFocus() != ed; }, 2000));
    EXPECT_EQ(ed->GetValue(), wxS("some text")); // no TAB typed
    EXPECT_FALSE(ed->IsModified());
}
