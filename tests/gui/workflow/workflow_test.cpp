// Go to a note, backups before saving, Markdown from the export dialog, and
// the keyboard's way between the panes.
#include "tree_gui_util.h"

#include "app/text_constants.h"
#include "article/article_window.h"
#include "backup/backup_commands.h"
#include "backup/backup_store.h"
#include "desktop/my_app.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "frame/markdown_exporter.h"
#include "frame/workflow_commands.h"
#include "goto/goto_dialog.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <wx/choicdlg.h>
#include <wx/ffile.h>
#include <wx/filedlg.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/textctrl.h>

#include <filesystem>
#include <functional>

namespace qn {
namespace {

using test::addChild;
using test::ExpectMyMessage;

void command(MainFrame* frame, int id) {
    wxCommandEvent event(wxEVT_MENU, id);
    frame->ProcessWindowEvent(event);
}

wxString contents(const wxString& path) {
    wxFFile f(path, wxS("rb"));
    wxString s;
    if (f.IsOpened()) f.ReadAll(&s, wxConvUTF8);
    return s;
}

// Our own dialogs, answered by a function of the test.
template <class Dialog>
class ExpectDialog : public wxExpectModalBase<Dialog, ExpectDialog<Dialog>> {
public:
    explicit ExpectDialog(std::function<int(Dialog*)> act) : act_(std::move(act)) {}

protected:
    int OnInvoked(Dialog* dialog) const override { return act_(dialog); }

private:
    std::function<int(Dialog*)> act_;
};

// A saved document: Top with A (A1 below it) and B, B being a category of
// its own beside the whole tree.
class WorkflowTest : public test::NewDocumentTest {
protected:
    void SetUp() override {
        test::NewDocumentTest::SetUp();
        db->getBlock(1)->setString(K_cap, wxS("Top"));
        Block* a = addChild(*db, 1, wxS("Alpha"));
        a->setText(wxS("article of alpha"));
        a1 = addChild(*db, a->id(),
                      wxString::FromUTF8("Gr\xc3\xbc\xc3\x9f"
                                         "e aus Z\xc3\xbcrich"))
                 ->id();
        b = addChild(*db, 1, wxS("Beta"))->id();
        path = dir.file(wxS("doc.q2db"));
        db->setPath(path);
        ASSERT_TRUE(db->save());
        groups->ensureCategory(b);
    }
    wxString path;
    int a1 = 0, b = 0;
    test::TestDir dir;
};

TEST_F(WorkflowTest, GoToSelectsTheNoteInItsCategory) {
    groups->selectCategoryById(b);
    ASSERT_EQ(groups->currentCategoryId(), b);
    int rows = -1;
    wxTEST_DIALOG(command(frame, ID_GOTO_NODE), ExpectDialog<GotoDialog>([&](GotoDialog* d) {
                      d->readAll();
                      // Upper case and accents, matched in the title.
                      d->queryField()->SetValue(wxString::FromUTF8("Z\xc3\x9cR"));
                      rows = d->list()->GetItemCount();
                      return d->chosenNode() == a1 ? wxID_OK : wxID_CANCEL;
                  }));
    EXPECT_EQ(rows, 1);
    // Queued, like a link: the whole tree's category, then the note.
    EXPECT_TRUE(test::pumpUntil([&] { return tree->selectedNodeId() == a1; }));
    EXPECT_EQ(groups->currentCategoryId(), 1);
}

TEST_F(WorkflowTest, GoToListFollowsTheKeyboard) {
    GotoDialog dialog(frame, *db);
    dialog.readAll();
    EXPECT_EQ(dialog.list()->GetItemCount(), 4); // everything before typing
    dialog.queryField()->SetValue(wxS("alpha"));
    // "Alpha" by its title, then its child by the path.
    ASSERT_EQ(dialog.list()->GetItemCount(), 2);
    EXPECT_EQ(dialog.chosenNode(), db->getBlock(1)->getIntList(K_ch)[0]);
    wxKeyEvent down(wxEVT_KEY_DOWN);
    down.m_keyCode = WXK_DOWN;
    dialog.queryField()->GetEventHandler()->ProcessEvent(down);
    EXPECT_EQ(dialog.chosenNode(), a1);
    EXPECT_EQ(dialog.list()->GetItemText(1, 1), wxS("Alpha")); // the top is every path's
    dialog.queryField()->SetValue(wxS("no such note"));
    EXPECT_EQ(dialog.list()->GetItemCount(), 0);
    EXPECT_EQ(dialog.chosenNode(), 0);
}

// Escape cancels the dialog, which has no Cancel button.
TEST_F(WorkflowTest, EscapeCancelsGoTo) {
    int answer = -1;
    wxTEST_DIALOG(command(frame, ID_GOTO_NODE), ExpectDialog<GotoDialog>([&](GotoDialog* d) {
                      d->SetReturnCode(0);
                      wxKeyEvent escape(wxEVT_CHAR_HOOK);
                      escape.m_keyCode = WXK_ESCAPE;
                      escape.SetEventObject(d->queryField());
                      d->GetEventHandler()->ProcessEvent(escape);
                      answer = d->GetReturnCode();
                      return wxID_CANCEL;
                  }));
    EXPECT_EQ(answer, wxID_CANCEL);
}

TEST_F(WorkflowTest, TheFirstSaveOfASessionKeepsABackup) {
    db->getBlock(b)->setString(K_cap, wxS("Beta 2"));
    command(frame, ID_SAVE);
    db->getBlock(b)->setString(K_cap, wxS("Beta 3"));
    command(frame, ID_SAVE);
    const BackupPolicy policy = backupPolicyFromSettings(wxString());
    const std::vector<BackupEntry> backups = listBackups(path, policy);
    ASSERT_EQ(backups.size(), 1u); // one per session
    Database copy;
    ASSERT_EQ(copy.open(backups[0].path), 0);
    EXPECT_EQ(copy.getBlock(b)->getString(K_cap), wxS("Beta")); // the file before the save
    copy.close();

    // File > Open backup opens it in a window of its own.
    wxMenuBar* bar = frame->GetMenuBar();
    bar->GetMenu(0)->UpdateUI(frame);
    EXPECT_TRUE(bar->IsEnabled(ID_OPEN_BACKUP));
    wxTEST_DIALOG(command(frame, ID_OPEN_BACKUP),
                  ExpectDialog<OpenBackupDialog>([](OpenBackupDialog* d) {
                      return d->chosen().empty() ? wxID_CANCEL : wxID_OK;
                  }),
                  // The copy has the document's id: its images are those of the open one.
                  ExpectMyMessage::containing(text(wxS("s.sameDbIdOpend"))));
    bool opened = false;
    for (const FrameEntry& e : registeredFrames())
        if (e.frame != frame && e.frame->database().path() == backups[0].path) opened = true;
    EXPECT_TRUE(opened);
}

TEST_F(WorkflowTest, AFailedBackupIsReportedAndTheSaveGoesOn) {
    {
        wxFFile f(dir.file(wxS("backups")), wxS("w"));
        f.Write(wxS("not a folder"));
    }
    db->getBlock(b)->setString(K_cap, wxS("Beta 2"));
    wxTEST_DIALOG(command(frame, ID_SAVE),
                  ExpectMyMessage::containing(text(wxS("s.BackupFailed"))));
    EXPECT_FALSE(db->isModified());
    Database saved;
    ASSERT_EQ(saved.open(path), 0);
    EXPECT_EQ(saved.getBlock(b)->getString(K_cap), wxS("Beta 2"));
}

TEST_F(WorkflowTest, NoBackupsWhenTurnedOff) {
    test::SettingOverride off(wxS("backupCount"), wxS("0"));
    db->getBlock(b)->setString(K_cap, wxS("Beta 2"));
    command(frame, ID_SAVE);
    EXPECT_FALSE(wxDirExists(dir.file(wxS("backups"))));
}

TEST_F(WorkflowTest, MarkdownFromTheExportDialog) {
    const wxString out = dir.file(wxS("notes.md"));
    wxTEST_DIALOG(command(frame, ID_EXPORT_TEXT), wxExpectModal<wxFileDialog>(out),
                  wxExpectModal<wxSingleChoiceDialog>(0));
    MarkdownExporter reference(*db, MarkdownExporter::ONE_FILE);
    ASSERT_TRUE(reference.exportTo(dir.file(wxS("reference.md"))));
    EXPECT_EQ(contents(out), contents(dir.file(wxS("reference.md"))));
    EXPECT_TRUE(contents(out).StartsWith(wxS("# Top\n\n## Alpha\n\narticle of alpha\n")));

    // One file per note: a folder named like the file.
    wxTEST_DIALOG(command(frame, ID_EXPORT_TEXT),
                  wxExpectModal<wxFileDialog>(dir.file(wxS("tree.md"))),
                  wxExpectModal<wxSingleChoiceDialog>(1));
    EXPECT_EQ(contents(dir.file(wxS("tree/Top/Beta.md"))), wxS("# Beta\n\n"));
}

// A key as the frame's key hook receives it before the focused window.
void press(MainFrame* frame, int key, bool shift = false, bool alt = false) {
    wxKeyEvent event(wxEVT_CHAR_HOOK);
    event.m_keyCode = key;
    event.m_shiftDown = shift;
    event.m_altDown = alt;
    event.SetEventObject(wxWindow::FindFocus());
    frame->GetEventHandler()->ProcessEvent(event);
}

TEST_F(WorkflowTest, F6MovesBetweenTreeArticleAndCategoryBar) {
    frame->Raise();
    tree->SetFocus();
    ASSERT_TRUE(test::pumpUntil([&] { return wxWindow::FindFocus() == tree; }));
    auto inside = [](wxWindow* pane) {
        for (wxWindow* w = wxWindow::FindFocus(); w; w = w->GetParent())
            if (w == pane) return true;
        return false;
    };
    press(frame, WXK_F6);
    EXPECT_TRUE(test::pumpUntil([&] { return inside(frame->articleWindow()); }));
    press(frame, WXK_F6); // the category bar is hidden: back to the tree
    EXPECT_TRUE(test::pumpUntil([&] { return inside(tree); }));

    command(frame, ID_SPLIT_NAVI); // shows the category bar
    ASSERT_TRUE(test::pumpUntil([&] { return groups->IsShownOnScreen(); }));
    press(frame, WXK_F6, true); // Shift+F6 from the tree
    ASSERT_TRUE(test::pumpUntil([&] { return inside(groups); }));

    // In the bar the arrows choose the category, Delete removes one, but
    // never the whole document's.
    groups->selectCategoryById(1);
    press(frame, WXK_RIGHT);
    EXPECT_EQ(groups->currentCategoryId(), b);
    press(frame, WXK_END);
    EXPECT_EQ(groups->currentCategoryId(), b);
    press(frame, WXK_HOME);
    EXPECT_EQ(groups->currentCategoryId(), 1);
    press(frame, WXK_DELETE);
    test::pump();
    EXPECT_EQ(groups->categoryIds(), (std::vector<int>{1, b}));
    // Insert adds the tree's node after the current category; Shift+arrows move it.
    const int alpha = db->getBlock(1)->getIntList(K_ch)[0];
    tree->selectNode(db->getBlock(alpha));
    groups->selectCategoryById(1);
    press(frame, WXK_INSERT);
    EXPECT_EQ(groups->categoryIds(), (std::vector<int>{1, alpha, b}));
    EXPECT_EQ(groups->currentCategoryId(), alpha);
    press(frame, WXK_DOWN, true);
    EXPECT_EQ(groups->categoryIds(), (std::vector<int>{1, b, alpha}));
    press(frame, WXK_DOWN, true); // already the last
    press(frame, WXK_UP, true);
    EXPECT_EQ(groups->categoryIds(), (std::vector<int>{1, alpha, b}));
    press(frame, WXK_DELETE);
    EXPECT_TRUE(test::pumpUntil([&] { return groups->categoryIds() == std::vector<int>{1, b}; }));

    press(frame, WXK_F6, true);
    EXPECT_TRUE(test::pumpUntil([&] { return inside(frame->articleWindow()); }));
}

TEST_F(WorkflowTest, AltArrowsAndTheViewMenuGoBackAndForwardInTheHistory) {
    const int alpha = db->getBlock(1)->getIntList(K_ch)[0];
    tree->selectNode(db->getBlock(alpha));
    tree->selectNode(db->getBlock(b));
    ASSERT_EQ(tree->selectedNodeId(), b);
    press(frame, WXK_LEFT, false, true);
    EXPECT_EQ(tree->selectedNodeId(), alpha);
    press(frame, WXK_RIGHT, false, true);
    EXPECT_EQ(tree->selectedNodeId(), b);
    // The same steps from View > Back and Forward.
    for (const auto& [command, expected] : {std::pair{ID_GO_BACK, alpha}, {ID_GO_FORWARD, b}}) {
        wxCommandEvent menu(wxEVT_MENU, command);
        frame->ProcessWindowEvent(menu);
        EXPECT_EQ(tree->selectedNodeId(), expected) << command;
    }
}

} // namespace
} // namespace qn
