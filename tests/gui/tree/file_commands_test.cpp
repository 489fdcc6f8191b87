// The document file commands of the main window: new, open, save, save as,
// close, optimize, document id, help, windows per document, the layout kept
// in a document, and their messages.
#include "tree_gui_util.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/file_list.h"
#include "app/text_constants.h"
#include "article/article_window.h"
#include "article/caption_bar.h"
#include "article/floating_win.h"
#include "article/qudb_fs_handler.h"
#include "article/text_window.h"
#include "frame/file_commands.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <algorithm>
#include <wx/app.h>
#include <wx/display.h>
#include <wx/ffile.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/splitter.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#include <wx/uiaction.h>

#include <sqlite3.h>

#include <filesystem>

namespace qn {
namespace {

using test::addChild;
using test::ExpectMyMessage;

void command(MainFrame* frame, int id) {
    wxCommandEvent event(wxEVT_MENU, id);
    frame->ProcessWindowEvent(event);
}

// A saved document with a few nodes; `window` is its layout value.
wxString makeDocument(const wxString& path, const wxString& window = wxString(),
                      const wxString& version = wxString()) {
    Database db;
    db.newDocument();
    db.getBlock(1)->setString(K_cap, wxS("Top"));
    Block* a = addChild(db, 1, wxS("A"));
    a->setText(wxS("article of A"));
    addChild(db, a->id(), wxS("A1"));
    addChild(db, 1, wxS("B"));
    db.setString(K_grps, wxS("1"));
    db.setString(K_grp, wxS("1"));
    if (!window.empty()) db.setString(K_window, window);
    if (!version.empty()) db.setString(K_version, version);
    db.setPath(path);
    EXPECT_TRUE(db.save());
    db.close();
    return path;
}

wxString captionOf(const wxString& path, int id) {
    Database db;
    if (db.open(path) != 0) return wxS("<not a document>");
    Block* b = db.getBlock(id);
    return b ? b->getString(K_cap) : wxS("<no block>");
}

wxString msg(const char* key) {
    return text(wxString::FromUTF8(key));
}

class FileCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { frame = test::newFrame(); }
    void TearDown() override { test::discardAll(); }
    MainFrame* frame = nullptr;
    test::TestDir dir;
};

TEST_F(FileCommandsTest, ViewStateSurvivesSaveAsCloseAndReopen) {
    for (const wxString save : {wxS("1110"), wxS("1010")}) {
        SCOPED_TRACE(save.utf8_string());
        test::SettingOverride flags(wxS("save"), save);
        const wxString path = dir.file(wxS("round-") + save + wxS(".q2db"));
        command(frame, ID_NEW);
        ASSERT_TRUE(frame->isDocumentOpen());
        EXPECT_EQ(frame->GetTitle(), msg("s.Title-New"));

        Database& db = frame->database();
        Block* a = addChild(db, 1, wxS("A"));
        Block* a1 = addChild(db, a->id(), wxS("A1"));
        addChild(db, a1->id(), wxS("A11"));
        Block* a2 = addChild(db, a->id(), wxS("A2"));
        Block* b = addChild(db, 1, wxS("B"));
        Block* b1 = addChild(db, b->id(), wxS("B1"));
        const int A1 = a1->id(), A2 = a2->id(), B = b->id(), B1 = b1->id();
        GroupContainer* groups = frame->categoryBar();
        TreePanel* tree = frame->treePanel();
        tree->loadTree(db.getBlock(1));
        tree->locateNode(A1, true);
        tree->SelectItem(tree->locateNode(A2, false));
        groups->addCategory(B, -1);
        ASSERT_TRUE(groups->selectCategoryById(B));
        tree->SelectItem(tree->locateNode(B1, false));

        wxTEST_DIALOG(command(frame, ID_SAVE_AS), wxExpectModal<wxFileDialog>(path));
        EXPECT_FALSE(db.isModified());
        EXPECT_EQ(frame->GetTitle(), msg("s.Title-") + path);
        EXPECT_EQ(framePath(frame), path);
        EXPECT_EQ(recentFiles().entry(0), path);

        command(frame, ID_CLOSE);
        ASSERT_FALSE(frame->isDocumentOpen());
        EXPECT_EQ(frame->GetTitle(), msg("s.Title"));
        EXPECT_EQ(groups->count(), 0);
        EXPECT_FALSE(tree->GetRootItem().IsOk());
        EXPECT_EQ(framePath(frame), wxString());

        ASSERT_TRUE(frame->openOrCreate(path));
        EXPECT_EQ(groups->categoryIds(), (std::vector<int>{1, B}));
        if (save == wxS("1110")) {
            EXPECT_EQ(groups->currentCategoryId(), B);
            EXPECT_EQ(tree->selectedNodeId(), B1);
            ASSERT_TRUE(groups->selectCategoryById(1));
            EXPECT_EQ(tree->selectedNodeId(), A2);
            EXPECT_TRUE(tree->IsExpanded(tree->GetRootItem()));
            EXPECT_TRUE(tree->IsExpanded(tree->locateNode(A1, false)));
        } else {
            // Nothing of the view was stored: the top category, its top
            // node, no branch open.
            EXPECT_EQ(groups->currentCategoryId(), 1);
            EXPECT_EQ(tree->selectedNodeId(), 1);
            EXPECT_FALSE(tree->IsExpanded(tree->GetRootItem()));
        }
        test::discard(frame);
    }
}

TEST_F(FileCommandsTest, OpenErrorsShowTheirMessages) {
    const wxString text = dir.file(wxS("notes.txt"));
    {
        wxFile f(text, wxFile::write);
        f.Write(wxS("plain text, not a document"));
    }
    const struct {
        wxString path;
        const char* key;
    } cases[] = {
        {dir.file(wxS("missing.q2db")), "s.OpenErrorNotFound"},
        {text, "s.OpenErrorNotQuil"},
        {makeDocument(dir.file(wxS("future.q2db")), wxString(), wxS("2.1")), "s.OpenErrorVersion"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        // The same headline for every failure, then the file and the reason.
        wxString seen;
        wxTEST_DIALOG(EXPECT_FALSE(frame->openOrCreate(c.path)),
                      ExpectMyMessage::containing(msg("s.OpenErrorNotFound"), MSG_OK, &seen));
        EXPECT_TRUE(seen.Contains(wxS("\n\n") + c.path + wxS("\n\n"))) << seen;
        EXPECT_TRUE(seen.Contains(msg(c.key))) << seen;
        EXPECT_FALSE(frame->isDocumentOpen());
        EXPECT_EQ(frame->GetTitle(), msg("s.Title"));
    }

    // With a document shown, the window made for the failing one goes away.
    ASSERT_TRUE(frame->openOrCreate(makeDocument(dir.file(wxS("good.q2db")))));
    wxTEST_DIALOG(EXPECT_FALSE(frame->openOrCreate(cases[0].path)),
                  ExpectMyMessage::containing(msg("s.OpenErrorNotFound")));
    wxTheApp->ProcessIdle();
    EXPECT_EQ(registeredFrames().size(), 1u);
}

TEST_F(FileCommandsTest, SecondDocumentGetsItsOwnWindowAndTheSamePathRaisesIt) {
    const wxString first = makeDocument(dir.file(wxS("first.q2db")));
    const wxString second =
        makeDocument(dir.file(wxS("second.q2db")), wxS("30,40,520,410,200,0,0"));
    ASSERT_TRUE(frame->openOrCreate(first));
    ASSERT_TRUE(frame->openOrCreate(second));
    ASSERT_EQ(registeredFrames().size(), 2u);
    MainFrame* other = frameForPath(second);
    ASSERT_NE(other, nullptr);
    ASSERT_NE(other, frame);
    EXPECT_TRUE(other->IsShown());
    EXPECT_EQ(other->GetTitle(), msg("s.Title-") + second);
    EXPECT_TRUE(test::pumpUntil([&] { return other->GetRect() == wxRect(30, 40, 520, 410); }))
        << "the second window takes the document's layout";

    // Both paths are open: asking again raises, never opens twice, also
    // under another spelling of the path or through a link to the file.
    EXPECT_TRUE(other->openOrCreate(first));
    EXPECT_TRUE(frame->openOrCreate(second));
    EXPECT_TRUE(frame->openOrCreate(dir.file(wxS("./second.q2db"))));
    const wxString link = dir.file(wxS("link.q2db"));
    ASSERT_EQ(::symlink(second.fn_str(), link.fn_str()), 0);
    EXPECT_TRUE(frame->openOrCreate(link));
    EXPECT_EQ(registeredFrames().size(), 2u);

    // Object links find each document under its own id.
    EXPECT_EQ(QudbFSHandler::documentFor(frame->database().dbid()), &frame->database());
    EXPECT_EQ(QudbFSHandler::documentFor(other->database().dbid()), &other->database());

    // A new document while one is shown also gets a window of its own.
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    EXPECT_EQ(registeredFrames().size(), 3u);
    EXPECT_EQ(frame->database().path(), first);
}

TEST_F(FileCommandsTest, SameDocumentIdWarnsAndClosingKeepsTheOtherRegistered) {
    const wxString original = makeDocument(dir.file(wxS("orig.q2db")));
    const wxString copy = dir.file(wxS("copy.q2db"));
    std::filesystem::copy_file(original.utf8_string(), copy.utf8_string());
    ASSERT_TRUE(frame->openOrCreate(original));
    wxTEST_DIALOG(ASSERT_TRUE(frame->openOrCreate(copy)),
                  ExpectMyMessage::containing(msg("s.sameDbIdOpend")));
    MainFrame* other = frameForPath(copy);
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(other->closeDocument(false));
    EXPECT_EQ(QudbFSHandler::documentFor(frame->database().dbid()), &frame->database());
    EXPECT_TRUE(frame->closeDocument(false));
    EXPECT_EQ(QudbFSHandler::documentFor(frame->database().dbid()), nullptr);
}

// A request to show a node of another category switches to the top
// node's category. Documents whose category list lacks the top node get its
// panel on opening; without one the request is dropped, never repeated.
TEST_F(FileCommandsTest, TopCategoryRequestsNeverLoop) {
    const wxString path = makeDocument(dir.file(wxS("cats.q2db")));
    int b = 0, a1 = 0;
    {
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        for (int id : db.getBlock(1)->getIntList(K_ch))
            if (db.getBlock(id)->getString(K_cap) == wxS("B"))
                b = id;
            else
                a1 = db.getBlock(id)->getIntList(K_ch).front();
        db.setIntList(K_grps, {b});
        db.setInt(K_grp, b);
        ASSERT_TRUE(db.save());
    }
    ASSERT_TRUE(frame->openOrCreate(path));
    GroupContainer* groups = frame->categoryBar();
    EXPECT_EQ(groups->categoryIds(), (std::vector<int>{b, 1}));
    EXPECT_EQ(groups->currentCategoryId(), b);
    EXPECT_FALSE(frame->database().isModified());

    int requests = 0;
    auto count = [&](wxCommandEvent& e) {
        ++requests;
        e.Skip();
    };
    frame->Bind(wxEVT_MENU, count, ID_SELECT_IN_TOP_CATEGORY);
    // With the top panel the node is shown after one request.
    frame->treePanel()->selectNode(frame->database().getBlock(a1));
    test::pump();
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(frame->treePanel()->selectedNodeId(), a1);

    // Without it, one request and no more.
    ASSERT_TRUE(groups->selectCategoryById(b));
    groups->removeCategory(groups->panel(1));
    ASSERT_EQ(groups->categoryIds(), (std::vector<int>{b}));
    requests = 0;
    frame->treePanel()->selectNode(frame->database().getBlock(a1));
    for (int i = 0; i < 20; ++i)
        test::pump();
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(groups->currentCategoryId(), b);
    frame->Unbind(wxEVT_MENU, count, ID_SELECT_IN_TOP_CATEGORY);
    test::discard(frame);
}

// A node whose `url` names a file outside the document: saving its edits
// asks before that file is rewritten, and No leaves the file as it was.
// Cancel (Escape, the close box) stops the save and keeps the edit.
TEST_F(FileCommandsTest, SavingAnExternalArticleAsksBeforeWritingItsFile) {
    const wxString path = makeDocument(dir.file(wxS("ext.q2db")));
    const wxString outside = dir.file(wxS("startup.sh"));
    const struct {
        int answer;
        const char* content;
    } cases[] = {{MSG_NO, "echo original\n"}, {MSG_YES, "edited"}, {MSG_CANCEL, "echo original\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        dir.write(wxS("startup.sh"), "echo original\n");
        ASSERT_TRUE(frame->openOrCreate(path));
        Block* node = addChild(frame->database(), 1, wxS("linked"));
        node->setString(K_url, outside);
        node->setText(wxS("edited"));
        wxString seen;
        wxTEST_DIALOG(command(frame, ID_SAVE),
                      ExpectMyMessage::containing(outside, c.answer, &seen));
        EXPECT_EQ(frame->database().isModified(), c.answer == MSG_CANCEL);
        if (c.answer == MSG_CANCEL) {
            EXPECT_EQ(frame->database().getBlock(node->id())->text(), wxS("edited"));
            // Closing asks again; Escape there keeps the document open.
            wxTEST_DIALOG(EXPECT_FALSE(frame->closeDocument(false)),
                          ExpectMyMessage::containing(msg("s.SaveChanges?"), MSG_YES),
                          ExpectMyMessage::containing(outside, MSG_CANCEL));
            EXPECT_TRUE(frame->isDocumentOpen());
        }
        wxFFile f(outside);
        wxString content;
        ASSERT_TRUE(f.ReadAll(&content));
        EXPECT_EQ(content, wxString::FromUTF8(c.content));
        test::discard(frame);
    }
}

// Writing a document over the file of another window would let that
// window's next save destroy it: first save and Save As refuse, however the
// path is written.
TEST_F(FileCommandsTest, SavingOntoADocumentOpenInAWindowIsRefused) {
    const wxString shown = makeDocument(dir.file(wxS("shown.q2db")));
    ASSERT_TRUE(frame->openOrCreate(shown));
    const wxString sameFile = dir.path() + wxS("./sub/../shown.q2db");
    std::filesystem::create_directory((dir.path() + wxS("sub")).utf8_string());

    ASSERT_TRUE(frame->openOrCreate(wxString()));
    MainFrame* other = dynamic_cast<MainFrame*>(registeredFrames().back().frame);
    ASSERT_NE(other, frame);
    other->database().getBlock(1)->setString(K_cap, wxS("Other"));
    // First save.
    wxTEST_DIALOG(command(other, ID_SAVE), wxExpectModal<wxFileDialog>(sameFile),
                  ExpectMyMessage::containing(msg("s.FileIsOpen")));
    EXPECT_TRUE(other->database().isNew());
    EXPECT_EQ(captionOf(shown, 1), wxS("Top"));

    // Save As of a saved document.
    const wxString otherPath = dir.file(wxS("other.q2db"));
    wxTEST_DIALOG(command(other, ID_SAVE), wxExpectModal<wxFileDialog>(otherPath));
    ASSERT_EQ(other->database().path(), otherPath);
    wxTEST_DIALOG(command(other, ID_SAVE_AS), wxExpectModal<wxFileDialog>(sameFile),
                  ExpectMyMessage::containing(msg("s.FileIsOpen")));
    EXPECT_EQ(other->database().path(), otherPath);
    EXPECT_EQ(captionOf(shown, 1), wxS("Top"));
    // Another name is fine.
    const wxString copy = dir.file(wxS("copy.q2db"));
    wxTEST_DIALOG(command(other, ID_SAVE_AS), wxExpectModal<wxFileDialog>(copy),
                  ExpectMyMessage::containing(msg("s.sameDbIdCreated"), MSG_NO));
    EXPECT_EQ(other->database().path(), copy);
    EXPECT_EQ(captionOf(copy, 1), wxS("Other"));
}

TEST_F(FileCommandsTest, LayoutIsAppliedAccordingToTheSetting) {
    const struct {
        const char* window;
        const char* onOpen;
        wxRect rect; // expected window rectangle
        int sash;    // expected outer sash, -1: unchanged
    } cases[] = {
        {"10,20,500,400,150,0,0", "0", wxRect(10, 20, 500, 400), 150},
        {"10,20,500,400,150,0,0", "1", wxRect(), -1},
        {"10,20,510,420", "0", wxRect(10, 20, 510, 420), -1},
        {"10,20", "0", wxRect(), -1}, // too short: nothing happens
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        test::SettingOverride onOpen(wxS("currentWinPosSizeOnOpen"), wxString::FromUTF8(c.onOpen));
        frame->SetSize(100, 100, 640, 480);
        ASSERT_TRUE(
            test::pumpUntil([&] { return frame->GetRect() == wxRect(100, 100, 640, 480); }));
        frame->outerSplitter()->SetSashPosition(300);
        const int sashBefore = frame->outerSplitter()->GetSashPosition();
        const wxString path =
            makeDocument(dir.file(wxS("layout.q2db")), wxString::FromUTF8(c.window));
        ASSERT_TRUE(frame->openOrCreate(path));
        const wxRect expected = c.rect.IsEmpty() ? wxRect(100, 100, 640, 480) : c.rect;
        EXPECT_TRUE(test::pumpUntil([&] { return frame->GetRect() == expected; }))
            << frame->GetRect().x << "," << frame->GetRect().y << " " << frame->GetRect().width
            << "x" << frame->GetRect().height;
        EXPECT_EQ(frame->outerSplitter()->GetSashPosition(), c.sash < 0 ? sashBefore : c.sash);
        test::discard(frame);
    }
    // A layout stored on a larger screen is brought onto this one.
    test::SettingOverride onOpen(wxS("currentWinPosSizeOnOpen"), wxS("0"));
    const wxRect area = wxDisplay(0u).GetClientArea();
    ASSERT_TRUE(frame->openOrCreate(makeDocument(
        dir.file(wxS("large.q2db")),
        wxString::Format(wxS("200,100,%d,%d,150,0,0"), area.width + 400, area.height + 300))));
    EXPECT_TRUE(test::pumpUntil([&] { return frame->GetRect() == area; }))
        << frame->GetRect().x << "," << frame->GetRect().y << " " << frame->GetRect().width << "x"
        << frame->GetRect().height;
}

TEST(LayoutRules, WhatSaveLayoutStores) {
    LayoutNow normal{5, 6, 700, 500, 220, false, 0};
    LayoutNow maximized{0, 0, 1280, 1024, 300, true, 180};
    const struct {
        std::vector<int> stored;
        LayoutNow now;
        bool stores;
        std::vector<int> value;
    } cases[] = {
        {{5, 6, 700, 500, 220, 0, 0}, normal, false, {}},
        {{1, 2, 3, 4, 5, 0, 0}, normal, true, {5, 6, 700, 500, 220, 0, 0}},
        {{}, normal, true, {5, 6, 700, 500, 220, 0, 0}},
        // Maximized: only the flag changes, the normal geometry stays.
        {{1, 2, 3, 4, 5, 0, 0}, maximized, true, {1, 2, 3, 4, 5, 1, 0}},
        {{1, 2, 3, 4, 5, 0}, maximized, true, {1, 2, 3, 4, 5, 1}},
        {{1, 2, 3, 4, 5, 1, 0}, maximized, false, {}},
        // Too short to hold the flag: a complete value.
        {{1, 2, 3, 4}, maximized, true, {1, 2, 3, 4, 300, 1, 180}},
        {{1, 2}, maximized, true, {1, 2, 1280, 1024, 300, 1, 180}},
    };
    for (const auto& c : cases) {
        std::vector<int> out;
        EXPECT_EQ(layoutToStore(c.stored, c.now, out), c.stores) << c.stored.size();
        if (c.stores) {
            EXPECT_EQ(out, c.value);
        }
    }
    EXPECT_EQ(mainSashCode(true, 250, true), 250);
    EXPECT_EQ(mainSashCode(true, 2, true), -1);
    EXPECT_EQ(mainSashCode(false, 250, true), -1);
    EXPECT_EQ(mainSashCode(false, 250, false), 0);
    EXPECT_EQ(withDefaultExtension(wxS("/d/notes"), 0, wxS("q2db")), wxS("/d/notes.q2db"));
    EXPECT_EQ(withDefaultExtension(wxS("/d/notes.txt"), 0, wxS("q2db")), wxS("/d/notes.txt"));
    EXPECT_EQ(withDefaultExtension(wxS("/d/notes"), 1, wxS("q2db")), wxS("/d/notes"));
}

// Answers a message box with the Escape key, as a user would.
class EscapeMyMessage : public wxExpectModalBase<MyMessage, EscapeMyMessage> {
protected:
    int OnInvoked(MyMessage* box) const override {
        box->SetReturnCode(-1);
        wxKeyEvent escape(wxEVT_CHAR_HOOK);
        escape.m_keyCode = WXK_ESCAPE;
        escape.SetEventObject(box);
        box->GetEventHandler()->ProcessEvent(escape);
        return box->GetReturnCode();
    }
};

TEST_F(FileCommandsTest, ClosingAModifiedDocumentAsksOrSavesByTheSetting) {
    const struct {
        const char* save;
        int answer; // 0: no question expected
        bool saved;
    } cases[] = {
        {"1110", MSG_YES, true},
        {"1110", MSG_NO, false},
        {"1111", 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.save) + " " + std::to_string(c.answer));
        test::SettingOverride flags(wxS("save"), wxString::FromUTF8(c.save));
        const wxString path = makeDocument(dir.file(wxS("close.q2db")));
        ASSERT_TRUE(frame->openOrCreate(path));
        frame->database().getBlock(1)->setString(K_cap, wxS("Changed"));
        if (c.answer) {
            wxTEST_DIALOG(command(frame, ID_CLOSE),
                          ExpectMyMessage::containing(msg("s.SaveChanges?"), c.answer));
        } else {
            command(frame, ID_CLOSE);
        }
        EXPECT_FALSE(frame->isDocumentOpen());
        EXPECT_EQ(captionOf(path, 1), c.saved ? wxS("Changed") : wxS("Top"));
    }

    // Cancel keeps the document open and modified.
    test::SettingOverride flags(wxS("save"), wxS("1110"));
    ASSERT_TRUE(frame->openOrCreate(dir.file(wxS("close.q2db"))));
    frame->database().getBlock(1)->setString(K_cap, wxS("Kept"));
    wxTEST_DIALOG(EXPECT_FALSE(frame->closeDocument(true)),
                  ExpectMyMessage::containing(msg("s.SaveChanges?"), MSG_CANCEL));
    EXPECT_TRUE(frame->isDocumentOpen());
    EXPECT_TRUE(frame->database().isModified());

    // The question of Close and of the close box has no Cancel button:
    // Escape there keeps the document, it does not answer No.
    wxTEST_DIALOG(command(frame, ID_CLOSE), EscapeMyMessage());
    EXPECT_TRUE(frame->isDocumentOpen());
    EXPECT_TRUE(frame->database().isModified());
    wxTEST_DIALOG(frame->Close(), EscapeMyMessage());
    wxTheApp->ProcessIdle();
    ASSERT_EQ(registeredFrames().size(), 1u);
    EXPECT_TRUE(frame->isDocumentOpen());
    EXPECT_NE(captionOf(dir.file(wxS("close.q2db")), 1), wxS("Kept"));

    // Saving without asking still needs a name for a changed new document;
    // cancelling that keeps the window and its document.
    test::SettingOverride silent(wxS("save"), wxS("1111"));
    test::discard(frame);
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    addChild(frame->database(), 1, wxS("Typed"));
    wxTEST_DIALOG(frame->Close(), wxExpectModal<wxFileDialog>(wxString(), wxID_CANCEL));
    wxTheApp->ProcessIdle();
    ASSERT_EQ(registeredFrames().size(), 1u);
    EXPECT_TRUE(frame->isDocumentOpen());
}

// A new document nobody changed holds nothing to lose: closing it asks
// nothing, whatever the setting, and its title has no mark; the first
// change marks it.
TEST_F(FileCommandsTest, AnUntouchedNewDocumentClosesWithoutAQuestion) {
    for (const wxString save : {wxS("1110"), wxS("1111")}) {
        SCOPED_TRACE(save.utf8_string());
        test::SettingOverride flags(wxS("save"), save);
        ASSERT_TRUE(frame->openOrCreate(wxString()));
        wxTheApp->ProcessIdle();
        EXPECT_EQ(frame->GetTitle(), msg("s.Title-New"));
        frame->saveLayout(); // the layout is not the user's change
        EXPECT_TRUE(frame->closeDocument(true));
        EXPECT_FALSE(frame->isDocumentOpen());
    }
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    addChild(frame->database(), 1, wxS("Typed"));
    wxTheApp->ProcessIdle();
    EXPECT_EQ(frame->GetTitle(), wxS("*") + msg("s.Title-New"));
    test::SettingOverride flags(wxS("save"), wxS("1110"));
    wxTEST_DIALOG(EXPECT_FALSE(frame->closeDocument(true)),
                  ExpectMyMessage::containing(msg("s.SaveChanges?"), MSG_CANCEL));

    // A saved document: marked while changed, not after the save.
    const wxString path = makeDocument(dir.file(wxS("marked.q2db")));
    test::discard(frame);
    ASSERT_TRUE(frame->openOrCreate(path));
    wxTheApp->ProcessIdle();
    EXPECT_EQ(frame->GetTitle(), msg("s.Title-") + path);
    frame->database().getBlock(1)->setString(K_cap, wxS("Changed"));
    wxTheApp->ProcessIdle();
    EXPECT_EQ(frame->GetTitle(), wxS("*") + msg("s.Title-") + path);
    command(frame, ID_SAVE);
    EXPECT_EQ(frame->GetTitle(), msg("s.Title-") + path);
}

// Only the user's own changes are asked about; what saveLayout records
// (window geometry, view state) goes into the file without a question.
TEST_F(FileCommandsTest, ClosingAsksOnlyAboutTheUsersChanges) {
    test::SettingOverride flags(wxS("save"), wxS("1110"));
    const wxString path = makeDocument(dir.file(wxS("calm.q2db")), wxS("30,40,520,410,200,0,0"));
    auto storedWidth = [&] {
        Database db;
        if (db.open(path) != 0) return -1;
        const std::vector<int> v = db.getIntList(K_window);
        return v.size() > 2 ? v[2] : -1;
    };

    // Opened and closed at once, with a window that was resized meanwhile.
    ASSERT_TRUE(frame->openOrCreate(path));
    frame->SetSize(30, 40, 610, 410);
    command(frame, ID_CLOSE);
    EXPECT_FALSE(frame->isDocumentOpen());
    EXPECT_EQ(storedWidth(), 610);

    // Saved with ctrl+S, then closed at once.
    ASSERT_TRUE(frame->openOrCreate(path));
    frame->database().getBlock(1)->setString(K_cap, wxS("Saved"));
    frame->SetSize(30, 40, 630, 410);
    command(frame, ID_SAVE);
    EXPECT_FALSE(frame->database().isModified());
    command(frame, ID_CLOSE);
    EXPECT_FALSE(frame->isDocumentOpen());
    EXPECT_EQ(captionOf(path, 1), wxS("Saved"));
    EXPECT_EQ(storedWidth(), 630);

    // A change of the user's own is asked about, naming the document.
    ASSERT_TRUE(frame->openOrCreate(path));
    frame->database().getBlock(1)->setString(K_cap, wxS("Mine"));
    wxString seen;
    wxTEST_DIALOG(command(frame, ID_CLOSE),
                  ExpectMyMessage::containing(msg("s.SaveChanges?"), MSG_NO, &seen));
    EXPECT_TRUE(seen.Contains(path)) << seen;
    EXPECT_EQ(captionOf(path, 1), wxS("Saved"));
}

TEST_F(FileCommandsTest, SecondWindowWithoutStoredLayoutCascades) {
    frame->SetSize(100, 80, 700, 500);
    ASSERT_TRUE(frame->openOrCreate(makeDocument(dir.file(wxS("one.q2db")))));
    const wxString second = makeDocument(dir.file(wxS("two.q2db")));
    ASSERT_TRUE(frame->openOrCreate(second));
    MainFrame* other = frameForPath(second);
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(test::pumpUntil([&] { return other->GetRect() == wxRect(130, 110, 700, 500); }))
        << "at " << other->GetRect().x << "," << other->GetRect().y << " size "
        << other->GetRect().width << "x" << other->GetRect().height;
}

// A window opened for a document takes the keys in its tree: the arrow
// keys move through the notes, they do not change the toolbar's font size.
TEST_F(FileCommandsTest, ASecondWindowStartsWithTheFocusInItsTree) {
    frame->SetSize(0, 0, 600, 400);
    ASSERT_TRUE(frame->openOrCreate(makeDocument(dir.file(wxS("one.q2db")))));
    const wxString second = makeDocument(dir.file(wxS("two.q2db")));
    ASSERT_TRUE(frame->openOrCreate(second));
    MainFrame* other = frameForPath(second);
    ASSERT_NE(other, nullptr);
    test::pump();
    // Without a window manager the keys go to the window under the pointer.
    wxUIActionSimulator sim;
    sim.MouseMove(other->GetScreenRect().GetBottomRight() - wxPoint(40, 40));
    wxWindow* tree = other->treePanel();
    auto inTree = [tree] {
        for (wxWindow* w = wxWindow::FindFocus(); w; w = w->GetParent())
            if (w == tree) return true;
        return false;
    };
    EXPECT_TRUE(test::pumpUntil(inTree))
        << "focus: "
        << (wxWindow::FindFocus() ? wxWindow::FindFocus()->GetClassInfo()->GetClassName()
                                  : wxS("none"));
}

// A further window never hides another by opening exactly on top of it:
// not with a stored layout that names the front window's place, not for a
// new document placed by the settings.
TEST_F(FileCommandsTest, NewWindowsOpenOffsetFromTheOthers) {
    test::SettingOverride flags(wxS("currentWinPosSizeOnOpen"), wxS("0"));
    test::SettingOverride window(wxS("window"), wxS("100,80,700,500,200"));
    frame->SetSize(100, 80, 700, 500);
    ASSERT_TRUE(frame->openOrCreate(makeDocument(dir.file(wxS("one.q2db")))));
    const wxString second = makeDocument(dir.file(wxS("two.q2db")), wxS("100,80,700,500,200,0,0"));
    ASSERT_TRUE(frame->openOrCreate(second));
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    std::vector<wxPoint> places;
    for (const FrameEntry& e : registeredFrames())
        places.push_back(e.frame->GetPosition());
    ASSERT_EQ(places.size(), 3u);
    EXPECT_EQ(places[0], wxPoint(100, 80));
    for (size_t i = 0; i < places.size(); ++i)
        for (size_t j = i + 1; j < places.size(); ++j)
            EXPECT_NE(places[i], places[j]) << i << " and " << j;
}

// The file dialogs start in the shown document's folder.
class ExpectFileDialogIn : public wxExpectModalBase<wxFileDialog, ExpectFileDialogIn> {
public:
    explicit ExpectFileDialogIn(const wxString& folder) : folder_(folder) {}

protected:
    int OnInvoked(wxFileDialog* dialog) const override {
        EXPECT_EQ(dialog->GetDirectory(), folder_);
        return wxID_CANCEL;
    }

private:
    wxString folder_;
};

TEST_F(FileCommandsTest, FileDialogsStartInTheDocumentsFolder) {
    std::filesystem::create_directory((dir.path() + wxS("inner")).utf8_string());
    const wxString path = makeDocument(dir.path() + wxS("inner/doc.q2db"));
    ASSERT_TRUE(frame->openOrCreate(path));
    const wxString folder = wxFileName(path).GetPath();
    wxTEST_DIALOG(command(frame, ID_OPEN), ExpectFileDialogIn(folder));
    wxTEST_DIALOG(command(frame, ID_SAVE_AS), ExpectFileDialogIn(folder));
}

TEST_F(FileCommandsTest, FailedSaveIsReportedAndKeepsTheWindowAndItsChanges) {
    test::SettingOverride flags(wxS("save"), wxS("1111"));
    const wxString path = makeDocument(dir.file(wxS("locked.q2db")));
    ASSERT_TRUE(frame->openOrCreate(path));
    frame->database().getBlock(1)->setString(K_cap, wxS("Unsaved"));

    // Another program holds the file.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.utf8_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
    wxString seen;
    {
        wxLogNull quiet;
        wxTEST_DIALOG(command(frame, ID_SAVE),
                      ExpectMyMessage::containing(msg("s.SaveFailed"), MSG_OK, &seen));
    }
    EXPECT_TRUE(seen.Contains(path));
    EXPECT_TRUE(seen.Contains(wxS("locked"))) << seen;
    EXPECT_TRUE(frame->database().isModified());

    {
        wxLogNull quiet;
        wxTEST_DIALOG(frame->Close(), ExpectMyMessage::containing(msg("s.SaveFailed")));
    }
    wxTheApp->ProcessIdle();
    ASSERT_EQ(registeredFrames().size(), 1u) << "the window stays open";
    EXPECT_TRUE(frame->isDocumentOpen());

    sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    command(frame, ID_SAVE);
    EXPECT_FALSE(frame->database().isModified());
    EXPECT_EQ(captionOf(path, 1), wxS("Unsaved"));

    // A new document whose file cannot be made asks for a name again.
    command(frame, ID_CLOSE);
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    {
        wxLogNull quiet;
        wxTEST_DIALOG(command(frame, ID_SAVE),
                      wxExpectModal<wxFileDialog>(dir.file(wxS("no/such/folder/x.q2db"))),
                      ExpectMyMessage::containing(msg("s.SaveFailed")));
    }
    EXPECT_TRUE(frame->database().path().empty());
    EXPECT_EQ(frame->GetTitle(), msg("s.Title-New"));
    EXPECT_TRUE(frame->database().isModified());
}

TEST_F(FileCommandsTest, OptimizeWithAndWithoutBackup) {
    for (int keep : {MSG_YES, MSG_NO}) {
        const wxString path = makeDocument(dir.file(wxS("opt.q2db")));
        const wxString backup = path + wxS(".bak");
        if (wxFileExists(backup)) wxRemoveFile(backup);
        ASSERT_TRUE(frame->openOrCreate(path));
        frame->database().getBlock(1)->setString(K_cap, wxS("Optimized"));
        wxTEST_DIALOG(command(frame, ID_OPTIMIZE),
                      ExpectMyMessage::containing(
                          wxString::Format(msg("s.KeepBackup"), wxS("opt.q2db.bak")), keep),
                      ExpectMyMessage::containing(msg("s.Optimized")));
        EXPECT_EQ(wxFileExists(backup), keep == MSG_YES);
        EXPECT_FALSE(wxFileExists(path + wxS(".$$$")));
        EXPECT_EQ(captionOf(path, 1), wxS("Optimized"));
        // The window goes on with the rewritten file.
        frame->database().getBlock(1)->setString(K_cap, wxS("After"));
        command(frame, ID_SAVE);
        EXPECT_EQ(captionOf(path, 1), wxS("After"));
        command(frame, ID_CLOSE);
    }
}

TEST_F(FileCommandsTest, OptimizeOfANewDocumentOnlySavesIt) {
    const wxString path = dir.file(wxS("fresh.q2db"));
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    wxTEST_DIALOG(command(frame, ID_OPTIMIZE), wxExpectModal<wxFileDialog>(path));
    EXPECT_EQ(frame->database().path(), path);
    EXPECT_FALSE(frame->database().isModified());
    EXPECT_FALSE(wxFileExists(path + wxS(".bak")));
}

TEST_F(FileCommandsTest, SaveLayoutFollowsTheSaveSetting) {
    for (const wxString save : {wxS("1110"), wxS("0110")}) {
        SCOPED_TRACE(save.utf8_string());
        test::SettingOverride flags(wxS("save"), save);
        const wxString path =
            makeDocument(dir.file(wxS("keep.q2db")), wxS("10,20,500,400,150,0,0"));
        ASSERT_TRUE(frame->openOrCreate(path));
        frame->SetSize(30, 40, 600, 450);
        ASSERT_TRUE(test::pumpUntil([&] { return frame->GetRect() == wxRect(30, 40, 600, 450); }));
        frame->saveLayout();
        const std::vector<int> stored = frame->database().getIntList(K_window);
        if (save == wxS("1110")) {
            ASSERT_EQ(stored.size(), 7u);
            EXPECT_EQ(std::vector<int>(stored.begin(), stored.begin() + 4),
                      (std::vector<int>{30, 40, 600, 450}));
        } else {
            EXPECT_EQ(stored, (std::vector<int>{10, 20, 500, 400, 150, 0, 0}));
        }
        test::discard(frame);
    }
}

TEST_F(FileCommandsTest, OptimizeThatCannotKeepTheBackupLeavesTheDocumentAlone) {
    const wxString path = makeDocument(dir.file(wxS("stuck.q2db")));
    // A folder in the backup's place cannot be replaced.
    std::filesystem::create_directories((path + wxS(".bak/keep")).utf8_string());
    ASSERT_TRUE(frame->openOrCreate(path));
    wxString seen;
    wxTEST_DIALOG(command(frame, ID_OPTIMIZE),
                  ExpectMyMessage::containing(
                      wxString::Format(msg("s.KeepBackup"), wxS("stuck.q2db.bak")), MSG_YES),
                  ExpectMyMessage::containing(msg("s.FailedToOptimize"), MSG_OK, &seen));
    EXPECT_TRUE(seen.Contains(wxS("the backup cannot be kept"))) << seen;
    EXPECT_FALSE(wxFileExists(path + wxS(".$$$")));
    EXPECT_FALSE(wxFileExists(path + wxS(".bak.$$$")));
    EXPECT_EQ(frame->database().path(), path);
    frame->database().getBlock(1)->setString(K_cap, wxS("Still works"));
    command(frame, ID_SAVE);
    EXPECT_EQ(captionOf(path, 1), wxS("Still works"));
}

// A copy that cannot be written (here a file-size limit stops it, as a full
// disk would) fails the optimize with the document's name and the reason.
TEST_F(FileCommandsTest, OptimizeThatCannotWriteItsCopySaysWhy) {
    const wxString path = makeDocument(dir.file(wxS("full.q2db")));
    {
        Database db;
        ASSERT_EQ(db.open(path), 0);
        db.getBlock(2)->setText(wxString(wxS('x'), 1 << 20));
        ASSERT_TRUE(db.save());
    }
    ASSERT_TRUE(frame->openOrCreate(path));
    command(frame, ID_SAVE); // the layout, and the session's backup, before the limit
    ASSERT_FALSE(frame->database().isModified());
    const auto size = static_cast<rlim_t>(wxFileName::GetSize(path).GetValue());
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit small{size / 2, old.rlim_max};
    auto* const oldSignal = std::signal(SIGXFSZ, SIG_IGN); // a failed write, not an ended test
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    wxString seen;
    wxTEST_DIALOG(command(frame, ID_OPTIMIZE),
                  ExpectMyMessage::containing(
                      wxString::Format(msg("s.KeepBackup"), wxS("full.q2db.bak")), MSG_NO),
                  ExpectMyMessage::containing(msg("s.FailedToOptimize"), MSG_OK, &seen));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_TRUE(seen.Contains(path)) << seen;
    EXPECT_TRUE(seen.Contains(wxS("the disk"))) << seen;
    EXPECT_FALSE(wxFileExists(path + wxS(".$$$")));
    EXPECT_EQ(captionOf(path, 2), wxS("A"));
}

TEST_F(FileCommandsTest, ChangingTheIdOfAnUnprotectedDocument) {
    const wxString path = makeDocument(dir.file(wxS("id.q2db")));
    ASSERT_TRUE(frame->openOrCreate(path));
    const wxString before = frame->database().dbid();

    wxTEST_DIALOG(command(frame, ID_CHANGE_FILE_ID),
                  ExpectMyMessage::containing(msg("s.changeDbId"), MSG_NO));
    EXPECT_EQ(frame->database().dbid(), before);

    wxTEST_DIALOG(command(frame, ID_CHANGE_FILE_ID),
                  ExpectMyMessage::containing(msg("s.changeDbId"), MSG_YES),
                  ExpectMyMessage::containing(
                      wxString::Format(msg("s.KeepBackup"), wxS("id.q2db.bak")), MSG_NO),
                  ExpectMyMessage::containing(msg("s.Optimized")));
    const wxString after = frame->database().dbid();
    EXPECT_NE(after, before);
    EXPECT_FALSE(frame->database().isModified());
    Database check;
    ASSERT_EQ(check.open(path), Database::OPEN_OK);
    EXPECT_EQ(check.dbid(), after);
    EXPECT_EQ(QudbFSHandler::documentFor(after), &frame->database());
    EXPECT_EQ(QudbFSHandler::documentFor(before), nullptr);
}

// A copy that takes a new id takes its links to its own objects along, in
// the same save and with one question; links into other documents, and the
// original file, stay as they were.
TEST_F(FileCommandsTest, ACopyWithANewIdKeepsItsOwnObjectLinks) {
    const wxString path = dir.file(wxS("pictures.q2db"));
    const wxString copy = dir.file(wxS("pictures-copy.q2db"));
    wxString oldId;
    int stored = 0;
    {
        Database db;
        db.newDocument();
        oldId = db.dbid();
        Block* a = addChild(db, 1, wxS("A"));
        a->setText(wxS("<img src=\"qudb:") + oldId + wxS("/5.png\"> and qudb:") + oldId +
                   wxS("/7 and qudb:OTHER-DOC/5.png"));
        stored = a->id();
        db.setPath(path);
        ASSERT_TRUE(db.save());
    }
    ASSERT_TRUE(frame->openOrCreate(path));
    // One article only in memory, one shown in the editor.
    Block* edited = addChild(frame->database(), 1, wxS("B"));
    edited->setText(wxS("qudb:") + oldId + wxS("/9.jpg"));
    const int inMemory = edited->id();
    frame->treePanel()->SelectItem(frame->treePanel()->locateNode(stored, false));
    ASSERT_EQ(frame->articleWindow()->node(), frame->database().getBlock(stored));
    // A floating window on the other, with an edit not stored yet.
    frame->openFloating(inMemory);
    FloatingWin* floating = nullptr;
    for (wxWindow* child : frame->GetChildren())
        if (auto* win = dynamic_cast<FloatingWin*>(child)) floating = win;
    ASSERT_NE(floating, nullptr);
    TextWindow* floatingEditor = floating->article()->editor();
    floatingEditor->SetInsertionPointEnd();
    floatingEditor->WriteText(wxS(" qudb:") + oldId + wxS("/3"));
    floatingEditor->MarkDirty(); // as typing does

    wxTEST_DIALOG(command(frame, ID_SAVE_AS), wxExpectModal<wxFileDialog>(copy),
                  ExpectMyMessage::containing(msg("s.sameDbIdCreated"), MSG_YES));
    Database& db = frame->database();
    const wxString newId = db.dbid();
    ASSERT_NE(newId, oldId);
    EXPECT_FALSE(db.isModified());
    EXPECT_EQ(QudbFSHandler::documentFor(newId), &db);
    const wxString expected = wxS("<img src=\"qudb:") + newId + wxS("/5.png\"> and qudb:") +
                              newId + wxS("/7 and qudb:OTHER-DOC/5.png");
    EXPECT_EQ(frame->articleWindow()->editor()->GetValue(), expected);
    {
        Database check;
        ASSERT_EQ(check.open(copy), Database::OPEN_OK);
        EXPECT_EQ(check.dbid(), newId);
        EXPECT_EQ(check.getBlock(stored)->text(), expected);
        EXPECT_EQ(check.getBlock(inMemory)->text(),
                  wxS("qudb:") + newId + wxS("/9.jpg qudb:") + newId + wxS("/3"));
    }
    EXPECT_EQ(floatingEditor->GetValue(),
              wxS("qudb:") + newId + wxS("/9.jpg qudb:") + newId + wxS("/3"));
    Database original;
    ASSERT_EQ(original.open(path), Database::OPEN_OK);
    EXPECT_EQ(original.dbid(), oldId);
    EXPECT_TRUE(original.getBlock(stored)->text().StartsWith(wxS("<img src=\"qudb:") + oldId));

    // The id command does the same for the document in place.
    wxTEST_DIALOG(command(frame, ID_CHANGE_FILE_ID),
                  ExpectMyMessage::containing(msg("s.changeDbId"), MSG_YES),
                  ExpectMyMessage::containing(
                      wxString::Format(msg("s.KeepBackup"), wxS("pictures-copy.q2db.bak")),
                      MSG_NO),
                  ExpectMyMessage::containing(msg("s.Optimized")));
    const wxString third = db.dbid();
    Database check;
    ASSERT_EQ(check.open(copy), Database::OPEN_OK);
    EXPECT_TRUE(check.getBlock(inMemory)->text().StartsWith(wxS("qudb:") + third + wxS("/9.jpg")));
}

// Save As is the way out when the document's own file cannot take the
// changes: the copy gets them, the window goes on with the copy.
TEST_F(FileCommandsTest, SaveAsRescuesTheChangesOfADeletedFile) {
    const wxString path = makeDocument(dir.file(wxS("gone.q2db")));
    const wxString copy = dir.file(wxS("rescued.q2db"));
    ASSERT_TRUE(frame->openOrCreate(path));
    frame->database().getBlock(1)->setString(K_cap, wxS("Rescued"));
    ASSERT_TRUE(wxRemoveFile(path));
    {
        wxLogNull quiet;
        wxTEST_DIALOG(command(frame, ID_SAVE_AS), wxExpectModal<wxFileDialog>(copy),
                      ExpectMyMessage::containing(msg("s.sameDbIdCreated"), MSG_NO));
    }
    EXPECT_EQ(frame->database().path(), copy);
    EXPECT_EQ(framePath(frame), copy);
    EXPECT_FALSE(frame->database().isModified());
    EXPECT_EQ(captionOf(copy, 1), wxS("Rescued"));
    EXPECT_FALSE(wxFileName::FileExists(path));
    frame->database().getBlock(1)->setString(K_cap, wxS("Later"));
    command(frame, ID_SAVE);
    EXPECT_EQ(captionOf(copy, 1), wxS("Later"));
}

TEST_F(FileCommandsTest, SaveAsWritesACopyAndWorksOnIt) {
    const wxString path = makeDocument(dir.file(wxS("source.q2db")));
    const wxString copy = dir.file(wxS("target.q2db"));
    ASSERT_TRUE(frame->openOrCreate(path));
    frame->database().getBlock(1)->setString(K_cap, wxS("In the copy"));
    wxTEST_DIALOG(command(frame, ID_SAVE_AS), wxExpectModal<wxFileDialog>(copy),
                  ExpectMyMessage::containing(msg("s.sameDbIdCreated"), MSG_NO));
    EXPECT_EQ(frame->database().path(), copy);
    EXPECT_EQ(framePath(frame), copy);
    EXPECT_EQ(frame->GetTitle(), msg("s.Title-") + copy);
    // Pending changes are saved before the copy is made.
    EXPECT_EQ(captionOf(copy, 1), wxS("In the copy"));
    EXPECT_EQ(captionOf(path, 1), wxS("In the copy"));
    frame->database().getBlock(1)->setString(K_cap, wxS("Saved later"));
    command(frame, ID_SAVE);
    EXPECT_EQ(captionOf(copy, 1), wxS("Saved later"));
    EXPECT_EQ(captionOf(path, 1), wxS("In the copy"));

    // Save As onto its own path does nothing.
    wxTEST_DIALOG(command(frame, ID_SAVE_AS), wxExpectModal<wxFileDialog>(copy));
    EXPECT_EQ(frame->database().path(), copy);
}

TEST_F(FileCommandsTest, HelpOpensTheHelpDocument) {
    command(frame, ID_HELP);
    ASSERT_TRUE(frame->isDocumentOpen());
    EXPECT_EQ(frame->database().path(), appFile(msg("s.HelpFile")));
    TreePanel* tree = frame->treePanel();
    EXPECT_EQ(tree->GetItemText(tree->GetRootItem()), wxS("Quillnest help"));
    EXPECT_EQ(frame->captionBar()->caption(), wxS("Quillnest help"));
    EXPECT_TRUE(tree->IsExpanded(tree->GetRootItem()));
    EXPECT_GE(tree->GetChildrenCount(tree->GetRootItem(), false), 5u);
    EXPECT_FALSE(frame->database().isModified());
}

// Closing and File > Password after another program added a note: only
// the layout is written over the other program's change, and the password
// is not changed from this window's older reading (which would orphan the
// note and leave it unprotected).
TEST_F(FileCommandsTest, CloseAndPasswordLeaveAnotherProgramsNoteAlone) {
    const wxString path = makeDocument(dir.file(wxS("shared.q2db")));
    ASSERT_TRUE(frame->openOrCreate(path));
    int theirs = 0;
    {
        Database other;
        ASSERT_EQ(other.open(path), Database::OPEN_OK);
        ASSERT_EQ(other.beginWrite(), Database::WriteStart::Ready);
        Block* n = other.newNode(1);
        theirs = n->id();
        other.getBlock(1)->editChildren(theirs, CH_APPEND);
        ASSERT_TRUE(other.save());
    }
    auto listed = [&] {
        Database check;
        EXPECT_EQ(check.open(path), Database::OPEN_OK);
        const std::vector<int> ch = check.getBlock(1)->getIntList(K_ch);
        return !check.isProtected() && std::count(ch.begin(), ch.end(), theirs) == 1;
    };
    wxTEST_DIALOG(frame->changePassword(),
                  ExpectMyMessage(msg("s.ChangedOnDiskNoRewrite")));
    EXPECT_TRUE(listed());
    auto storedLayout = [&] {
        Database check;
        EXPECT_EQ(check.open(path), Database::OPEN_OK);
        return check.getIntList(K_window);
    };
    const std::vector<int> layoutBefore = storedLayout();
    frame->SetSize(frame->GetSize() + wxSize(40, 30)); // a layout to store
    ASSERT_TRUE(frame->closeDocument(false));
    EXPECT_TRUE(listed());
    // The layout itself is stored over the other program's change.
    EXPECT_NE(storedLayout(), layoutBefore);
}

// After another program changed the file, or deleted it, the user may
// save this window's version under the document's own name (confirming
// the replace in the file dialog): it is written there, with whatever the
// other program added to the file.  The question says which happened.
TEST_F(FileCommandsTest, SavingUnderItsOwnNameAfterAnotherProgramWritesThere) {
    for (const bool deleted : {false, true}) {
        for (const int command_id : {int(ID_SAVE), int(ID_SAVE_AS)}) {
            SCOPED_TRACE(std::string(deleted ? "deleted" : "changed") +
                         (command_id == ID_SAVE ? ", Save" : ", Save As"));
            const wxString path = makeDocument(dir.file(wxS("own.q2db")));
            ASSERT_TRUE(frame->openOrCreate(path));
            Database& db = frame->database();
            db.getBlock(1)->setString(K_cap, wxS("Mine"));
            int theirs = 0;
            if (deleted) {
                ASSERT_TRUE(wxRemoveFile(path));
            } else {
                Database other;
                ASSERT_EQ(other.open(path), Database::OPEN_OK);
                Block* n = other.newNode(1);
                theirs = n->id();
                n->setString(K_cap, wxS("Theirs"));
                ASSERT_TRUE(other.save());
            }
            if (command_id == ID_SAVE) {
                wxTEST_DIALOG(command(frame, ID_SAVE),
                              ExpectMyMessage::containing(
                                  msg(deleted ? "s.DeletedOnDisk" : "s.ChangedOnDisk"), MSG_YES),
                              wxExpectModal<wxFileDialog>(path));
            } else {
                wxTEST_DIALOG(command(frame, ID_SAVE_AS), wxExpectModal<wxFileDialog>(path));
            }
            EXPECT_FALSE(db.isModified());
            EXPECT_EQ(db.path(), path);
            EXPECT_EQ(captionOf(path, 1), wxS("Mine"));
            if (theirs) {
                EXPECT_EQ(captionOf(path, theirs), wxS("Theirs"));
            }
            // And the next save asks nothing.
            db.getBlock(1)->setString(K_cap, wxS("Mine again"));
            command(frame, ID_SAVE);
            EXPECT_EQ(captionOf(path, 1), wxS("Mine again"));
            test::discard(frame);
            wxRemoveFile(path);
        }
    }
}

// A document that another program changed on disk since it was opened is
// never overwritten silently: saving asks, and either waits or writes the
// edits into a copy of the file as it is now.
TEST_F(FileCommandsTest, SavingOverAnotherProgramsChangeAsksFirst) {
    const wxString path = makeDocument(dir.file(wxS("shared.q2db")));
    ASSERT_TRUE(frame->openOrCreate(path));
    Database& db = frame->database();
    db.getBlock(1)->setString(K_cap, wxS("Mine"));
    {
        Database other;
        ASSERT_EQ(other.open(path), Database::OPEN_OK);
        other.getBlock(1)->setString(K_cap, wxS("Theirs"));
        ASSERT_TRUE(other.save());
    }

    wxTEST_DIALOG(command(frame, ID_SAVE),
                  ExpectMyMessage::containing(msg("s.ChangedOnDisk"), MSG_NO));
    EXPECT_EQ(captionOf(path, 1), wxS("Theirs"));
    EXPECT_TRUE(db.isModified());

    const wxString copy = dir.file(wxS("mine.q2db"));
    wxTEST_DIALOG(command(frame, ID_SAVE),
                  ExpectMyMessage::containing(msg("s.ChangedOnDisk"), MSG_YES),
                  wxExpectModal<wxFileDialog>(copy));
    EXPECT_EQ(captionOf(path, 1), wxS("Theirs"));
    EXPECT_EQ(captionOf(copy, 1), wxS("Mine"));
    EXPECT_EQ(db.path(), copy);
    EXPECT_FALSE(db.isModified());

    // The copy is this window's own: saving it again asks nothing.
    db.getBlock(1)->setString(K_cap, wxS("Mine again"));
    command(frame, ID_SAVE);
    EXPECT_EQ(captionOf(copy, 1), wxS("Mine again"));

    // Save As after another program's change leaves that change where it is.
    db.getBlock(1)->setString(K_cap, wxS("Mine, third"));
    {
        Database other;
        ASSERT_EQ(other.open(copy), Database::OPEN_OK);
        other.getBlock(1)->setString(K_cap, wxS("Theirs again"));
        ASSERT_TRUE(other.save());
    }
    const wxString third = dir.file(wxS("third.q2db"));
    wxTEST_DIALOG(command(frame, ID_SAVE_AS), wxExpectModal<wxFileDialog>(third),
                  ExpectMyMessage::containing(msg("s.sameDbIdCreated"), MSG_NO));
    EXPECT_EQ(captionOf(copy, 1), wxS("Theirs again"));
    EXPECT_EQ(captionOf(third, 1), wxS("Mine, third"));
    EXPECT_EQ(db.path(), third);
    EXPECT_FALSE(db.isModified());
}

// A new document and its new notes carry a title to see and click on
// until the user renames them.
TEST_F(FileCommandsTest, NewNotesShowTheDefaultTitle) {
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    TreePanel* tree = frame->treePanel();
    const wxTreeItemId root = tree->GetRootItem();
    ASSERT_TRUE(root.IsOk());
    EXPECT_EQ(tree->GetItemText(root), wxS("Untitled"));
    tree->SelectItem(root);
    ASSERT_TRUE(tree->runNodeCommand(ID_NODE_NEW_CHILD_BOTTOM));
    wxTreeItemIdValue cookie;
    const wxTreeItemId child = tree->GetFirstChild(root, cookie);
    ASSERT_TRUE(child.IsOk());
    EXPECT_EQ(tree->GetItemText(child), wxS("Untitled"));
}

} // namespace
} // namespace qn
