// The main window: menus, toolbars, enabling rules, status bar, the View
// commands, notifications and the About box.
#include "frame_test_util.h"

#include "app/app_config.h"
#include "app/file_list.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "article/article_history.h"
#include "article/article_window.h"
#include "article/caption_bar.h"
#include "article/html_window.h"
#include "frame/command_table.h"
#include "frame/font_choice.h"
#include "frame/main_frame.h"
#include "prefs/preferences_dialog.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/colordlg.h>
#include <wx/combobox.h>
#include <wx/display.h>
#include <wx/fontdlg.h>
#include <wx/filedlg.h>
#include <wx/menu.h>
#include <wx/splitter.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/versioninfo.h>

#include <sqlite3.h>

#include <set>

namespace qn::test {
namespace {

constexpr int SEP = wxID_SEPARATOR;

class Frame : public ::testing::Test {
protected:
    void SetUp() override {
        dir.fillShipped();
        extraSettings();
        ASSERT_TRUE(loadConfig(dir.path(), wxString()) == ConfigStatus::Ok);
        frame = new MainFrame(text(wxS("s.Title")), wxPoint(0, 0), wxSize(900, 600), 250);
        frame->Show();
        wxTheApp->Yield(true);
    }
    void TearDown() override {
        destroyAllWindows();
        unloadConfig();
    }
    virtual void extraSettings() {}

    // Runs the enabling rules of every menu as the toolkit does when a menu
    // opens, then reads the item.
    bool enabled(int id) {
        wxMenuBar* bar = frame->GetMenuBar();
        for (size_t i = 0; i < bar->GetMenuCount(); ++i)
            bar->GetMenu(i)->UpdateUI(frame);
        return bar->IsEnabled(id);
    }
    bool checked(int id) {
        enabled(id);
        return frame->GetMenuBar()->IsChecked(id);
    }
    void send(int id, const wxString& text = wxString(), long value = 0) {
        wxCommandEvent event(wxEVT_MENU, id);
        event.SetString(text);
        event.SetExtraLong(value);
        frame->ProcessWindowEvent(event);
    }
    Block* newDocument() {
        Block* root = frame->database().newDocument();
        frame->enableDocumentMenus(true);
        return root;
    }

    TestDir dir;
    MainFrame* frame = nullptr;
};

TEST_F(Frame, MenusHoldTheCommandsInOrderWithTheirLabels) {
    struct Menu {
        const char* title;
        std::vector<std::pair<int, const char*>> items;
    };
    const Menu menus[] = {
        {"m.File",
         {{ID_NEW, "m.New"},
          {ID_OPEN, "m.Open"},
          {ID_FAVOURITES_MENU, "m.OpenFavourite"},
          {ID_RECENT_MENU, "m.OpenRecent"},
          {SEP, ""},
          {ID_SAVE, "m.Save"},
          {ID_SAVE_AS, "m.SaveAs"},
          {ID_EXPORT_TEXT, "m.ExportText"},
          {ID_OPEN_BACKUP, "m.OpenBackup"},
          {ID_OPTIMIZE, "m.Optimize"},
          {ID_PASSWORD, "m.Password"},
          {SEP, ""},
          {ID_CLOSE, "m.Close"},
          {SEP, ""},
          {ID_EXIT, "m.Exit"}}},
        {"m.Edit",
         {{ID_UNDO, "m.Undo"},
          {ID_REDO, "m.Redo"},
          {SEP, ""},
          {ID_COPY, "m.Copy"},
          {ID_CUT, "m.Cut"},
          {ID_PASTE, "m.Paste"},
          {ID_DELETE, "m.Delete"},
          {SEP, ""},
          {ID_SELECT_ALL, "m.SelectAll"}}},
        {"m.Search",
         {{ID_FIND, "m.Find"},
          {ID_GOTO_NODE, "m.GotoNode"},
          {ID_FIND_NEXT, "m.FindNext"},
          {ID_FIND_PREV, "m.FindPrev"},
          {ID_VIEW_SEARCH_LIST, "m.ViewSearchList"},
          {SEP, ""},
          {ID_REPLACE, "m.Replace"}}},
        {"m.View",
         {{ID_SHOW_IN_FLOATING_WIN, "m.ShowInFloatingWin"},
          {ID_VIEW_OBJECTS, "m.ViewObjects"},
          {ID_VIEW_SEARCH_LIST, "m.ViewSearchList"},
          {SEP, ""},
          {ID_TOGGLE_PLAIN_HTML, "m.TogglePlainHTML"},
          {ID_VIEW_NAV_AND_TEXT, "m.ViewNavAndText"},
          {ID_SPLIT_NAVI, "m.SplitNavi"},
          {SEP, ""},
          {ID_GO_BACK, "m.GoBack"},
          {ID_GO_FORWARD, "m.GoForward"},
          {ID_GO_HISTORY, "m.GoHistory"}}},
        {"m.Text",
         {{ID_PLAIN_TEXT, "m.PlainText"},
          {ID_HTML, "m.HTML"},
          {SEP, ""},
          {ID_WORD_WRAP, "m.WordWrap"},
          {ID_READ_ONLY, "m.ReadOnly"},
          {SEP, ""},
          {ID_FONT, "m.Font"},
          {ID_TEXT_COLOUR, "m.TextColour"},
          {ID_BACKGROUND_COLOUR, "m.BackgroundColour"},
          {ID_TEXT_REVERT, "m.TextRevert"}}},
        {"m.Tools",
         {{ID_PREFERENCES, "m.Preferences"},
          {ID_CREATE_DIARY, "m.CreateDiary"},
          {ID_CHANGE_FILE_ID, "m.ChangeFileID"}}},
        {"m.Help", {{ID_HELP, "m.Help"}, {ID_ABOUT, "m.About"}}},
    };
    wxMenuBar* bar = frame->GetMenuBar();
    ASSERT_EQ(bar->GetMenuCount(), WXSIZEOF(menus));
    for (size_t m = 0; m < WXSIZEOF(menus); ++m) {
        SCOPED_TRACE(menus[m].title);
        EXPECT_EQ(bar->GetMenuLabel(m), text(wxString::FromUTF8(menus[m].title)));
        const wxMenuItemList& items = bar->GetMenu(m)->GetMenuItems();
        ASSERT_EQ(items.size(), menus[m].items.size());
        size_t i = 0;
        for (const wxMenuItem* item : items) {
            const auto& [id, key] = menus[m].items[i++];
            if (id == SEP) {
                EXPECT_TRUE(item->IsSeparator()) << "position " << i;
                continue;
            }
            EXPECT_EQ(item->GetId(), id);
            EXPECT_FALSE(item->GetItemLabel().empty()) << key;
            EXPECT_EQ(item->GetItemLabel(), text(wxString::FromUTF8(key)));
            // No help text reaches the status bar while the item is highlighted.
            frame->SetStatusText(wxS("before"), 0);
            wxMenuEvent highlight(wxEVT_MENU_HIGHLIGHT, id, bar->GetMenu(m));
            frame->ProcessWindowEvent(highlight);
            EXPECT_EQ(frame->GetStatusBar()->GetStatusText(0), wxString()) << key;
        }
    }
    // Kinds and the default-look submenu.
    EXPECT_TRUE(bar->FindItem(ID_PLAIN_TEXT)->IsRadio());
    EXPECT_TRUE(bar->FindItem(ID_HTML)->IsRadio());
    EXPECT_TRUE(bar->FindItem(ID_WORD_WRAP)->IsCheckable());
    EXPECT_TRUE(bar->FindItem(ID_READ_ONLY)->IsCheckable());
    wxMenu* revert = bar->FindItem(ID_TEXT_REVERT)->GetSubMenu();
    ASSERT_NE(revert, nullptr);
    std::vector<int> ids;
    for (const wxMenuItem* item : revert->GetMenuItems())
        ids.push_back(item->GetId());
    EXPECT_EQ(ids, (std::vector<int>{ID_DEFAULT_FONT, ID_DEFAULT_TEXT_COLOUR,
                                     ID_DEFAULT_BACKGROUND_COLOUR}));
}

// Every command of the table, menu item or tool, reaches a handler of this
// window.
TEST_F(Frame, EveryCommandOfTheTableHasAHandler) {
    for (const CommandRow& row : commandRows()) {
        if (row.kind == CommandKind::Submenu) continue;
        EXPECT_TRUE(frame->handlesCommand(row.id))
            << "command " << row.id << " (" << (row.label ? row.label : row.toolLabel) << ")";
    }
    // The file-list submenus' entries and a number the window does not know.
    EXPECT_TRUE(frame->handlesCommand(ID_FAVOURITE_FIRST + 3));
    EXPECT_TRUE(frame->handlesCommand(ID_RECENT_LAST));
    EXPECT_FALSE(frame->handlesCommand(4999));
}

// A geometry from a larger screen (the shipped default is 1040 wide) is
// brought onto this one, whole.
TEST_F(Frame, AWindowLargerThanTheScreenIsFittedOnIt) {
    const wxRect area = wxDisplay(0u).GetClientArea();
    auto* big = new MainFrame(text(wxS("s.Title")), wxPoint(60, 40),
                              wxSize(area.width + 300, area.height + 200), 250);
    big->Show();
    EXPECT_TRUE(pumpUntil([&] { return area.Contains(big->GetRect()); }))
        << big->GetRect().x << "," << big->GetRect().y << " " << big->GetRect().width << "x"
        << big->GetRect().height;
    // One that fits stays where it was put.
    EXPECT_EQ(frame->GetRect(), wxRect(0, 0, 900, 600));
}

TEST_F(Frame, ToolbarsHoldTheirToolsWithBitmapsAndTips) {
    struct Tool {
        int id;
        const char* label;
        const char* tip;
    };
    const Tool mainTools[] = {
        {ID_NEW, "t.NewDoc", "t.NewDoc2"},
        {ID_OPEN, "t.OpenDoc", "t.OpenDoc2"},
        {ID_SAVE, "t.SaveDoc", "t.SaveDoc2"},
        {SEP, "", ""},
        {ID_COPY, "t.Copy", "t.Copy"},
        {ID_CUT, "t.Cut", "t.Cut"},
        {ID_PASTE, "t.Paste", "t.Paste"},
        {SEP, "", ""},
        {ID_VIEW_OBJECTS, "m.ViewObjects", "m.ViewObjects"},
        {ID_SHOW_IN_FLOATING_WIN, "m.ShowInFloatingWin", "m.ShowInFloatingWin"},
        {ID_FIND, "m.Search", "m.Search"},
        {SEP, "", ""},
        {ID_BACKGROUND_COLOUR, "t.TextBackground", "t.TextBackground"},
        {ID_TEXT_COLOUR, "t.TextColour", "t.TextColour"},
        {ID_FONT_CHOICE, nullptr, nullptr},
        {ID_FONT_SIZE, nullptr, nullptr},
    };
    const Tool naviTools[] = {
        {ID_TB_NEW_CHILD, "t.NewChild", "t.NewChild"},
        {ID_TB_NEW_SIBLING, "t.NewSibling", "t.NewSibling"},
        {ID_TB_DELETE_NODE, "t.DeleteNode", "t.DeleteNode"},
        {ID_TB_NODE_DOWN, "t.Down", "t.Down"},
        {ID_TB_NODE_UP, "t.Up", "t.Up"},
        {ID_TB_NODE_RIGHT, "t.Right", "t.Right2"},
        {ID_TB_NODE_LEFT, "t.Left", "t.Left2"},
        {SEP, "", ""},
        {ID_TB_NODE_ICON, "t.Icon", "t.Icon"},
    };
    auto check = [](wxToolBar* bar, const Tool* tools, size_t count) {
        ASSERT_EQ(bar->GetToolsCount(), count);
        for (size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            const wxToolBarToolBase* tool = bar->GetToolByPos(static_cast<int>(i));
            if (tools[i].id == SEP) {
                EXPECT_TRUE(tool->IsSeparator());
                continue;
            }
            EXPECT_EQ(tool->GetId(), tools[i].id);
            if (!tools[i].label) {
                EXPECT_TRUE(tool->IsControl());
                continue;
            }
            EXPECT_EQ(tool->GetLabel(), text(wxString::FromUTF8(tools[i].label)));
            EXPECT_EQ(tool->GetShortHelp(), text(wxString::FromUTF8(tools[i].tip)));
            EXPECT_FALSE(tool->GetShortHelp().empty());
            EXPECT_TRUE(tool->GetLongHelp().empty());
            // Every bitmap of the shipped archive arrived, at the configured size.
            const wxBitmap bitmap = tool->GetNormalBitmap();
            EXPECT_TRUE(bitmap.IsOk());
            EXPECT_EQ(bitmap.GetSize(), wxSize(16, 16));
        }
    };
    check(frame->mainToolBar(), mainTools, WXSIZEOF(mainTools));
    check(frame->navigationToolBar(), naviTools, WXSIZEOF(naviTools));
    EXPECT_EQ(frame->mainToolBar()->GetName(), wxS("toolbar"));
    EXPECT_EQ(frame->navigationToolBar()->GetName(), wxS("toolbar"));

    // The font boxes.
    EXPECT_TRUE(frame->fontChoice()->HasFlag(wxCB_READONLY));
    EXPECT_EQ(frame->fontChoice()->GetValue(), wxString());
    EXPECT_EQ(frame->fontChoice()->GetStrings(), FontChoice::faceNames());
    wxArrayString sizes;
    for (const char* s : {"8", "9", "10", "11", "12", "13", "14", "15", "16", "18", "20", "22",
                          "24", "26", "28", "36", "48", "72"})
        sizes.Add(wxString::FromUTF8(s));
    EXPECT_EQ(frame->fontSizeBox()->GetStrings(), sizes);
    EXPECT_EQ(frame->fontSizeBox()->GetValue(), wxS("10"));
    frame->showFontInToolbar(wxS("DejaVu Serif"), 14);
    EXPECT_EQ(frame->fontChoice()->GetValue(), wxS("DejaVu Serif"));
    EXPECT_EQ(frame->fontSizeBox()->GetValue(), wxS("14"));
}

TEST(FontChoiceNames, SortedWithoutVerticalFaces) {
    wxArrayString in;
    for (const char* s : {"b", "@MS Gothic", "DejaVu Sans", "a", "B", "@x"})
        in.Add(wxString::FromUTF8(s));
    wxArrayString expected;
    for (const char* s : {"B", "DejaVu Sans", "a", "b"})
        expected.Add(wxString::FromUTF8(s));
    EXPECT_EQ(FontChoice::filterFaceNames(in), expected);
    // The installed faces follow the same rule.
    const wxArrayString& faces = FontChoice::faceNames();
    EXPECT_FALSE(faces.empty());
    EXPECT_EQ(FontChoice::filterFaceNames(faces), faces);
}

TEST_F(Frame, EnablingRulesFollowTheDocument) {
    // Items and whether they are enabled: without a document, with a new one.
    struct Rule {
        int id;
        bool empty;
        bool newDoc;
    };
    const Rule rules[] = {
        {ID_NEW, true, true},
        {ID_OPEN, true, true},
        {ID_SAVE, false, true},
        {ID_SAVE_AS, false, true},
        {ID_EXPORT_TEXT, false, true},
        {ID_OPTIMIZE, false, false},    // never saved: nothing to optimize
        {ID_OPEN_BACKUP, false, false}, // nor backups of it
        {ID_PASSWORD, false, true},
        {ID_CLOSE, false, true},
        {ID_EXIT, true, true},
        {ID_UNDO, false, false},
        {ID_REDO, false, false},
        {ID_CUT, false, false},
        {ID_PASTE, false, false},
        {ID_DELETE, false, false},
        {ID_SELECT_ALL, true, true},
        {ID_FIND, false, true},
        {ID_FIND_NEXT, false, false},
        {ID_FIND_PREV, false, false},
        {ID_REPLACE, false, false},
        {ID_VIEW_SEARCH_LIST, false, false},
        {ID_SHOW_IN_FLOATING_WIN, false, true},
        {ID_VIEW_OBJECTS, false, true},
        {ID_TOGGLE_PLAIN_HTML, false, false},
        {ID_VIEW_NAV_AND_TEXT, false, false}, // both sides are shown
        {ID_SPLIT_NAVI, true, true},
        {ID_WORD_WRAP, false, false},
        {ID_READ_ONLY, false, false},
        {ID_FONT, false, false},
        {ID_TEXT_COLOUR, false, false},
        {ID_BACKGROUND_COLOUR, false, false},
        {ID_TEXT_REVERT, false, false},
        {ID_PREFERENCES, true, true},
        {ID_CREATE_DIARY, false, true},
        {ID_CHANGE_FILE_ID, false, true},
        {ID_HELP, true, true},
        {ID_ABOUT, true, true},
    };
    wxMenuBar* bar = frame->GetMenuBar();
    for (bool withDocument : {false, true}) {
        SCOPED_TRACE(withDocument ? "new document" : "no document");
        if (withDocument) newDocument();
        for (const Rule& r : rules)
            EXPECT_EQ(enabled(r.id), withDocument ? r.newDoc : r.empty) << "item " << r.id;
        // Edit, Search and Text follow the document as a whole.
        for (size_t pos : {1u, 2u, 4u})
            EXPECT_EQ(bar->IsEnabledTop(pos), withDocument);
        for (size_t pos : {0u, 3u, 5u, 6u})
            EXPECT_TRUE(bar->IsEnabledTop(pos));
        // The rules never touch the tools: copy, cut and paste stay usable.
        frame->mainToolBar()->UpdateWindowUI();
        for (int id : {ID_SAVE, ID_COPY, ID_CUT, ID_PASTE, ID_FIND, ID_TEXT_COLOUR})
            EXPECT_TRUE(frame->mainToolBar()->GetToolEnabled(id)) << "tool " << id;
    }
    // Pressing the tools without a document does nothing harmful; with a
    // document closed again the menus go back.
    frame->database().close();
    frame->enableDocumentMenus(false);
    for (int id : {ID_COPY, ID_CUT, ID_PASTE})
        send(id);
    EXPECT_FALSE(enabled(ID_SAVE));
    EXPECT_FALSE(bar->IsEnabledTop(1));
}

TEST_F(Frame, EditorRulesFollowTheShownArticle) {
    Block* root = newDocument();
    Block* plain = frame->database().newNode(root->id());
    plain->setMime(wxS("text/plain"));
    plain->setText(wxS("first line\nsecond line"));
    Block* html = frame->database().newNode(root->id());
    html->setMime(wxS("text/html"));
    html->setText(wxS("<p>page</p>"));
    ArticleWindow* article = frame->articleWindow();

    article->showArticle(plain);
    ASSERT_EQ(article->mode(), ArticleWindow::MODE_EDITOR);
    for (int id : {ID_FIND_NEXT, ID_FIND_PREV, ID_REPLACE, ID_WORD_WRAP, ID_READ_ONLY, ID_FONT,
                   ID_TEXT_COLOUR, ID_BACKGROUND_COLOUR, ID_TEXT_REVERT, ID_SELECT_ALL})
        EXPECT_TRUE(enabled(id)) << id;
    EXPECT_FALSE(enabled(ID_TOGGLE_PLAIN_HTML));
    EXPECT_FALSE(enabled(ID_UNDO)); // nothing typed yet
    EXPECT_TRUE(checked(ID_PLAIN_TEXT));
    EXPECT_FALSE(checked(ID_HTML));
    EXPECT_EQ(checked(ID_WORD_WRAP), article->isWordWrapped());
    EXPECT_FALSE(checked(ID_READ_ONLY));
    send(ID_READ_ONLY);
    EXPECT_TRUE(checked(ID_READ_ONLY));

    article->showArticle(html);
    ASSERT_EQ(article->mode(), ArticleWindow::MODE_HTML);
    EXPECT_TRUE(enabled(ID_TOGGLE_PLAIN_HTML));
    EXPECT_TRUE(checked(ID_HTML));
    for (int id : {ID_CUT, ID_PASTE, ID_UNDO, ID_REDO, ID_DELETE, ID_FIND_NEXT, ID_WORD_WRAP,
                   ID_READ_ONLY, ID_FONT, ID_TEXT_COLOUR})
        EXPECT_FALSE(enabled(id)) << id;
}

// The HTML view shares window id 1 with the font-name box: after the idle
// passes that run the enabling rules, the view stays usable while the font
// boxes are disabled.
TEST_F(Frame, HtmlViewStaysEnabledAfterIdle) {
    Block* root = newDocument();
    Block* html = frame->database().newNode(root->id());
    html->setMime(wxS("text/html"));
    html->setText(wxS("<p><a href=\"qudb:1\">link</a></p>"));
    frame->articleWindow()->showArticle(html);
    wxWindow* view = frame->articleWindow()->htmlView();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->GetId(), ID_FONT_CHOICE);
    for (int i = 0; i < 3; ++i) {
        wxTheApp->ProcessIdle();
        wxTheApp->Yield(true);
    }
    EXPECT_TRUE(view->IsEnabled());
    EXPECT_FALSE(frame->fontChoice()->IsEnabled());
    EXPECT_FALSE(frame->fontSizeBox()->IsEnabled());
}

TEST_F(Frame, StatusBarFields) {
    wxStatusBar* bar = frame->GetStatusBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetName(), wxS("status_line"));
    ASSERT_EQ(bar->GetFieldsCount(), 5);
    // Two shared fields, then three fixed ones at least as wide as asked and
    // as their texts.
    EXPECT_EQ(bar->GetStatusWidth(0), -1);
    EXPECT_EQ(bar->GetStatusWidth(1), -1);
    EXPECT_GE(bar->GetStatusWidth(2), 120);
    EXPECT_GE(bar->GetStatusWidth(3), 40);
    EXPECT_GE(bar->GetStatusWidth(4), 50);
    EXPECT_GT(bar->GetStatusWidth(3), bar->GetTextExtent(text(wxS("s.RW"))).x);
    EXPECT_EQ(bar->GetStatusText(0), text(wxS("m.Welcome")));

    // The link under the mouse goes to field 1.
    send(ID_SHOW_LINK, wxS("http://example.org/"));
    EXPECT_EQ(bar->GetStatusText(1), wxS("http://example.org/"));

    // Without a document the editor fields are empty.
    for (int i = 2; i < 5; ++i)
        frame->SetStatusText(wxS("stale"), i);
    send(ID_UPDATE_STATUS);
    for (int i = 2; i < 5; ++i)
        EXPECT_EQ(bar->GetStatusText(i), wxString()) << i;

    // With the editor: line and column from 1, editable, insert mode.
    Block* root = newDocument();
    Block* node = frame->database().newNode(root->id());
    node->setMime(wxS("text/plain"));
    node->setText(wxS("first line\nsecond line"));
    ArticleWindow* article = frame->articleWindow();
    article->showArticle(node);
    long pos = 0;
    article->setSelection(14, 14); // "sec|ond": line 2, column 4
    pos = article->getInsertionPoint();
    ASSERT_EQ(pos, 14);
    send(ID_UPDATE_STATUS);
    EXPECT_EQ(bar->GetStatusText(2), wxString::Format(text(wxS("s.LineCol")), 2, 4));
    EXPECT_EQ(bar->GetStatusText(3), text(wxS("s.RW")));
    EXPECT_EQ(bar->GetStatusText(4), text(wxS("s.INS")));
    send(ID_READ_ONLY); // refreshes the fields itself
    EXPECT_EQ(bar->GetStatusText(3), text(wxS("s.RO")));
}

TEST_F(Frame, ViewCommandsSplitOnlyWhenNeeded) {
    wxSplitterWindow* outer = frame->outerSplitter();
    wxSplitterWindow* inner = frame->innerSplitter();
    ASSERT_TRUE(outer->IsSplit());
    const int sash = outer->GetSashPosition();

    // 56 while split: nothing changes.
    send(ID_VIEW_NAV_AND_TEXT);
    EXPECT_EQ(outer->GetSashPosition(), sash);

    // Only the article shown: 56 brings the tree back at a third of the width.
    outer->Unsplit(frame->innerSplitter());
    EXPECT_TRUE(enabled(ID_VIEW_NAV_AND_TEXT));
    EXPECT_FALSE(enabled(ID_SPLIT_NAVI)); // the navigation side is hidden
    send(ID_VIEW_NAV_AND_TEXT);
    ASSERT_TRUE(outer->IsSplit());
    EXPECT_EQ(outer->GetWindow1(), inner);
    EXPECT_NEAR(outer->GetSashPosition(), frame->GetClientSize().GetWidth() / 3, 2);

    // 57: the category bar below the tree at two thirds, once.
    EXPECT_FALSE(inner->IsSplit());
    EXPECT_FALSE(frame->categoryBar()->IsShown());
    send(ID_SPLIT_NAVI);
    ASSERT_TRUE(inner->IsSplit());
    EXPECT_EQ(inner->GetSplitMode(), wxSPLIT_HORIZONTAL);
    EXPECT_EQ(inner->GetWindow2(), reinterpret_cast<wxWindow*>(frame->categoryBar()));
    EXPECT_TRUE(frame->categoryBar()->IsShown());
    const int innerSash = inner->GetSashPosition();
    EXPECT_NEAR(innerSash, inner->GetClientSize().GetHeight() * 2 / 3, 2);
    EXPECT_FALSE(enabled(ID_SPLIT_NAVI));
    inner->SetSashPosition(innerSash - 40);
    send(ID_SPLIT_NAVI);
    EXPECT_EQ(inner->GetSashPosition(), innerSash - 40);
}

// A window manager sizes a new window after it was built, often through a
// smaller size first, which pushes the sash left.  The position asked for
// comes back once there is room, and it is what the window stores; a drag
// by the user gives the sash a new home.
TEST_F(Frame, TheSashAskedForSurvivesASqueezeUntilTheUserMovesIt) {
    wxSplitterWindow* outer = frame->outerSplitter();
    auto resize = [&](int width) {
        frame->SetSize(width, 600);
        pumpUntil([] { return false; }, 150);
    };
    ASSERT_EQ(outer->GetSashPosition(), 250);
    resize(300);
    EXPECT_LT(outer->GetSashPosition(), 250);
    resize(900);
    EXPECT_EQ(outer->GetSashPosition(), 250);

    // Closed while squeezed: what was asked for is stored.
    resize(300);
    frame->Destroy();
    frame = nullptr;
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(settings().get(wxS("window")).BeforeLast(wxS(',')).AfterLast(wxS(',')),
              wxS("250"));

    frame = new MainFrame(text(wxS("s.Title")), wxPoint(0, 0), wxSize(900, 600), 250);
    frame->Show();
    outer = frame->outerSplitter();
    pumpUntil([] { return false; }, 100);
    wxSplitterEvent drag(wxEVT_SPLITTER_SASH_POS_CHANGING, outer);
    drag.SetSashPosition(400);
    outer->ProcessWindowEvent(drag);
    outer->SetSashPosition(400);
    resize(600);
    resize(900);
    EXPECT_EQ(outer->GetSashPosition(), 400);
}

TEST_F(Frame, NavigationToolsReachTheTreeOnlyWithADocument) {
    const std::pair<int, int> forwards[] = {
        {ID_TB_NEW_CHILD, ID_NODE_NEW_CHILD_TOP},
        {ID_TB_NEW_SIBLING, ID_NODE_NEW_SIBLING_BELOW},
        {ID_TB_DELETE_NODE, ID_NODE_DELETE},
        {ID_TB_NODE_DOWN, ID_NODE_DOWN},
        {ID_TB_NODE_UP, ID_NODE_UP},
        {ID_TB_NODE_RIGHT, ID_NODE_RIGHT},
        {ID_TB_NODE_LEFT, ID_NODE_LEFT},
        {ID_TB_NODE_ICON, ID_NODE_ICON},
    };
    // The tree's numbers overlap the frame's own (102 is also word wrap):
    // record what the tree and the frame each receive.
    std::vector<int> toTree, toFrame;
    class Recorder : public wxEvtHandler {
    public:
        explicit Recorder(std::vector<int>& out) : out_(out) {}
        bool TryBefore(wxEvent& e) override {
            if (e.GetEventType() == wxEVT_MENU && e.GetId() >= 101 && e.GetId() <= 128) {
                out_.push_back(e.GetId());
                return true;
            }
            return false;
        }

    private:
        std::vector<int>& out_;
    };
    Recorder treeRecorder(toTree), frameRecorder(toFrame);
    test::ScopedHandler onTree(frame->treePanel(), &treeRecorder);
    test::ScopedHandler onFrame(frame, &frameRecorder);
    for (const auto& [tool, command] : forwards)
        send(tool);
    EXPECT_TRUE(toTree.empty()); // no document: nothing happens
    newDocument();
    for (const auto& [tool, command] : forwards) {
        toTree.clear();
        send(tool);
        EXPECT_EQ(toTree, std::vector<int>{command}) << "tool " << tool;
    }
    EXPECT_TRUE(toFrame.empty());
}

// The font dialog answered with a chosen font.
class ExpectFont : public wxExpectModalBase<wxFontDialog, ExpectFont> {
public:
    explicit ExpectFont(const wxFont& font) : font_(font) {}

protected:
    int OnInvoked(wxFontDialog* dlg) const override {
        EXPECT_TRUE(dlg->GetTitle().empty());
        dlg->GetFontData().SetChosenFont(font_);
        return wxID_OK;
    }

private:
    wxFont font_;
};

class ExpectColour : public wxExpectModalBase<wxColourDialog, ExpectColour> {
public:
    explicit ExpectColour(const wxColour& colour) : colour_(colour) {}

protected:
    int OnInvoked(wxColourDialog* dlg) const override {
        EXPECT_TRUE(dlg->GetTitle().empty());
        dlg->GetColourData().SetColour(colour_);
        return wxID_OK;
    }

private:
    wxColour colour_;
};

TEST_F(Frame, TextLookCommandsReachTheShownNode) {
    Block* root = newDocument();
    Block* node = frame->database().newNode(root->id());
    node->setMime(wxS("text/plain"));
    node->setText(wxS("text"));
    frame->articleWindow()->showArticle(node);

    // Font dialog: the node keeps the font and the toolbar boxes show it.
    const wxFont chosen(wxFontInfo(13).FaceName(wxS("DejaVu Serif")).Bold());
    wxTEST_DIALOG(send(ID_FONT), ExpectFont(chosen));
    EXPECT_EQ(node->getString(K_Fname), wxS("DejaVu Serif"));
    EXPECT_EQ(node->getInt(K_Fsize), 13);
    EXPECT_EQ(frame->fontChoice()->GetValue(), wxS("DejaVu Serif"));
    EXPECT_EQ(frame->fontSizeBox()->GetValue(), wxS("13"));

    // Colour dialogs: text colour and background.
    wxTEST_DIALOG(send(ID_TEXT_COLOUR), ExpectColour(wxColour(255, 128, 0)));
    EXPECT_TRUE(node->hasOwn(K_fc));
    wxTEST_DIALOG(send(ID_BACKGROUND_COLOUR), ExpectColour(wxColour(0, 0, 64)));
    EXPECT_TRUE(node->hasOwn(K_bg));
    send(ID_DEFAULT_TEXT_COLOUR);
    EXPECT_FALSE(node->hasOwn(K_fc));
    send(ID_DEFAULT_BACKGROUND_COLOUR);
    EXPECT_FALSE(node->hasOwn(K_bg));
    send(ID_DEFAULT_FONT);
    EXPECT_FALSE(node->hasOwn(K_Fname));

    // The boxes: a size picked from the list applies, typed text and sizes
    // outside 5 to 100 do not.
    auto box = [&](wxEventType type, int id, const char* value) {
        wxCommandEvent event(type, id);
        event.SetString(wxString::FromUTF8(value));
        frame->ProcessWindowEvent(event);
    };
    box(wxEVT_COMBOBOX, ID_FONT_SIZE, "18");
    EXPECT_EQ(node->getInt(K_Fsize), 18);
    struct Ignored {
        wxEventType type;
        const char* value;
    };
    for (const Ignored& c :
         {Ignored{wxEVT_TEXT, "20"}, Ignored{wxEVT_TEXT_ENTER, "22"}, Ignored{wxEVT_COMBOBOX, "4"},
          Ignored{wxEVT_COMBOBOX, "101"}, Ignored{wxEVT_COMBOBOX, "x"}}) {
        box(c.type, ID_FONT_SIZE, c.value);
        EXPECT_EQ(node->getInt(K_Fsize), 18) << c.value;
    }
    box(wxEVT_COMBOBOX, ID_FONT_CHOICE, "DejaVu Sans Mono");
    EXPECT_EQ(node->getString(K_Fname), wxS("DejaVu Sans Mono"));
}

TEST_F(Frame, NotificationsSelectNodes) {
    ASSERT_TRUE(frame->openOrCreate(wxString())); // a new document in this window
    Database& db = frame->database();
    Block* root = db.getBlock(1);
    Block* child = db.newNode(1);
    root->editChildren(child->id(), CH_APPEND);
    Block* hidden = db.newNode(1);
    root->editChildren(hidden->id(), CH_APPEND);
    hidden->setExcluded(true);
    TreePanel* tree = frame->treePanel();
    tree->loadTree(root);

    // 202: a live node is selected; an excluded or missing one is not.
    send(ID_SELECT_NODE, wxString(), child->id());
    EXPECT_EQ(tree->selectedNodeId(), child->id());
    for (long id : {static_cast<long>(hidden->id()), 9999L}) {
        send(ID_SELECT_NODE, wxString(), id);
        EXPECT_EQ(tree->selectedNodeId(), child->id()) << id;
    }

    // 76: back to the top category, then the node is selected there.
    GroupContainer* groups = frame->categoryBar();
    groups->addCategory(child->id(), -1);
    ASSERT_TRUE(groups->selectCategoryById(child->id()));
    ASSERT_EQ(tree->rootNodeId(), child->id());
    send(ID_SELECT_IN_TOP_CATEGORY, wxString(), 1);
    EXPECT_EQ(groups->currentCategoryId(), 1);
    EXPECT_EQ(tree->rootNodeId(), 1);
    EXPECT_EQ(tree->selectedNodeId(), 1);
}

TEST_F(Frame, PreferencesReachEveryWindowAndTheDocument) {
    auto* other = new MainFrame(wxS("other"), wxPoint(0, 0), wxSize(500, 400), 150);
    newDocument();
    settings().set(wxS("maxTextHistory"), wxS("6"));
    settings().set(wxS("maxrecent"), wxS("2"));
    for (const char* p : {"/a.q2db", "/b.q2db", "/c.q2db"})
        recentFiles().add(wxString::FromUTF8(p));
    favourites().clear();
    favourites().append(wxS("/fav.q2db"));

    PreferencesChoice choice;
    choice.favouritesEdited = true;
    choice.articleFont = wxFont(wxFontInfo(12).FaceName(wxS("DejaVu Serif")).Italic().Bold());
    choice.articleText = wxColour(0x11, 0x22, 0x33);
    choice.navigationFont = wxFont(wxFontInfo(9).FaceName(wxS("DejaVu Sans")).Underlined());
    choice.navigationBackground = wxColour(0xEE, 0xEE, 0xCC);
    choice.captionText = wxColour(0xFF, 0x80, 0x00);
    frame->applyPreferences(choice);

    // Every window re-read the program settings.
    for (MainFrame* f : {frame, other}) {
        EXPECT_EQ(f->articleHistory().limit(), 7u);
        ASSERT_EQ(f->favouritesMenu()->GetMenuItemCount(), 1u);
    }
    EXPECT_EQ(recentFiles().count(), 2);
    // The document keeps the default look.
    Database& db = frame->database();
    EXPECT_EQ(db.getString(K_Fname), wxS("DejaVu Serif"));
    EXPECT_EQ(db.getInt(K_Fsize), 12);
    EXPECT_EQ(db.getString(K_Fattr), wxS("IB"));
    EXPECT_EQ(formatColour(db.getColour(K_fc)), wxS("112233"));
    EXPECT_EQ(db.getString(K_NFattr), wxS("U"));
    EXPECT_EQ(formatColour(db.getColour(K_Tbg)), wxS("EEEECC"));
    EXPECT_TRUE(db.isModified());
    EXPECT_EQ(other->database().isOpen(), false);
    // Caption colours are settings.
    EXPECT_EQ(settings().get(wxS("c.caption.text")), wxS("FF8000"));

    // Nothing chosen: nothing stored.
    const wxString before = db.getString(K_Fname);
    frame->applyPreferences(PreferencesChoice());
    EXPECT_EQ(db.getString(K_Fname), before);
}

TEST_F(Frame, CloseEventKeepsTheWindowWhenSavingFails) {
    Block* root = newDocument();
    root->setString(K_cap, wxS("unsaved"));
    ASSERT_TRUE(frame->database().isModified());
    // Yes to saving, then no file name: the window and its document stay.
    wxTEST_DIALOG(frame->Close(), ExpectMyMessage(text(wxS("s.SaveChanges?")), MSG_YES),
                  wxExpectModal<wxFileDialog>(wxString(), wxID_CANCEL));
    wxTheApp->ProcessIdle();
    ASSERT_EQ(wxTopLevelWindows.size(), 1u);
    EXPECT_TRUE(frame->isDocumentOpen());
    // No: the window goes without saving.
    wxTEST_DIALOG(frame->Close(), ExpectMyMessage(text(wxS("s.SaveChanges?")), MSG_NO));
    wxTheApp->ProcessIdle();
    EXPECT_TRUE(wxTopLevelWindows.empty());
    frame = nullptr;
}

TEST_F(Frame, AboutBoxShowsTheVersionsInUse) {
    const wxString wx = wxGetLibraryVersionInfo().GetVersionString();
    const wxString sqlite = wxS("SQLite ") + wxString::FromUTF8(sqlite3_libversion());
    wxTEST_DIALOG(send(ID_ABOUT), ExpectMyMessage([&](const wxString& texts) {
                      EXPECT_NE(texts.Find(wx), wxNOT_FOUND) << texts.utf8_string();
                      EXPECT_NE(texts.Find(sqlite), wxNOT_FOUND) << texts.utf8_string();
                      EXPECT_NE(texts.Find(wxS("Silk")), wxNOT_FOUND);
                      EXPECT_EQ(texts.Find(wxS("%s")), wxNOT_FOUND);
                      EXPECT_EQ(texts.Find(wxS("2.8.10")), wxNOT_FOUND);
                  }));
}

// A narrow window keeps both panes: the sash moves, neither side vanishes.
TEST_F(Frame, NarrowWindowKeepsBothPanes) {
    // Until the window has its new size and the splitter is laid out in it
    // with both panes at their smallest or wider (the checks below say
    // which failed when that never happens).
    auto settle = [this](const wxSize& size) {
        pumpUntil(
            [&] {
                return frame->GetSize() == size &&
                       frame->outerSplitter()->GetSize().x == frame->GetClientSize().x &&
                       frame->articlePanel()->GetSize().x >= MainFrame::kMinimumPaneSize &&
                       frame->innerSplitter()->GetSize().x >= MainFrame::kMinimumPaneSize;
            },
            2000);
    };
    for (const wxSize size : {wxSize(260, 400), wxSize(180, 400)}) {
        SCOPED_TRACE(size.x);
        frame->SetSize(size);
        settle(size);
        ASSERT_TRUE(frame->outerSplitter()->IsSplit());
        EXPECT_GE(frame->articlePanel()->GetSize().x, MainFrame::kMinimumPaneSize);
        EXPECT_GE(frame->innerSplitter()->GetSize().x, MainFrame::kMinimumPaneSize);
    }
    frame->SetSize(wxSize(900, 600));
    settle(wxSize(900, 600));
    EXPECT_GE(frame->articlePanel()->GetSize().x, MainFrame::kMinimumPaneSize);
}

// After Close the window looks as it did at start: no font name, no caption
// toggle, the welcome text in the status bar.
TEST_F(Frame, CloseLeavesNothingOfTheDocument) {
    const wxString welcome = frame->GetStatusBar()->GetStatusText(0);
    EXPECT_EQ(welcome, text(wxS("m.Welcome")));
    Block* root = newDocument();
    Block* html = frame->database().newNode(root->id());
    html->setMime(wxS("text/html"));
    html->setText(wxS("<p>page</p>"));
    frame->articleWindow()->showArticle(html);
    frame->showFontInToolbar(wxS("DejaVu Serif"), 14);
    frame->captionBar()->setToggle(text(wxS("s.Edit")), true);
    frame->SetStatusText(wxS("something"), 0);
    frame->database().close(); // nothing to ask about
    send(ID_CLOSE);
    EXPECT_EQ(frame->fontChoice()->GetValue(), wxString());
    EXPECT_EQ(frame->captionBar()->toggleButton()->GetLabel(), wxS("---"));
    EXPECT_FALSE(frame->captionBar()->toggleButton()->IsEnabled());
    EXPECT_EQ(frame->GetStatusBar()->GetStatusText(0), welcome);
}

TEST_F(Frame, EmptySubmenusShowOneDisabledItem) {
    ASSERT_EQ(favourites().count(), 0);
    ASSERT_EQ(recentFiles().count(), 0);
    for (wxMenu* menu : {frame->favouritesMenu(), frame->recentMenu()}) {
        ASSERT_EQ(menu->GetMenuItemCount(), 1u);
        wxMenuItem* item = menu->FindItemByPosition(0);
        EXPECT_EQ(item->GetItemLabelText(), wxS("(empty)"));
        enabled(item->GetId()); // the enabling rules do not wake it
        EXPECT_FALSE(item->IsEnabled());
    }
    recentFiles().add(wxS("/r/a.q2db"));
    send(ID_RECENT_CHANGED);
    ASSERT_EQ(frame->recentMenu()->GetMenuItemCount(), 1u);
    EXPECT_EQ(frame->recentMenu()->FindItemByPosition(0)->GetItemLabelText(), wxS("/r/a.q2db"));
    EXPECT_TRUE(frame->recentMenu()->FindItemByPosition(0)->IsEnabled());
}

class LongLists : public Frame {
    void extraSettings() override {
        IniFile s(dir.file(wxS("settings.ini")));
        for (int i = 1; i <= 25; ++i) {
            s.set(wxString::Format(wxS("favourite%d"), i), wxString::Format(wxS("/f/%d.q2db"), i));
            s.set(wxString::Format(wxS("recentfile%d"), i),
                  wxString::Format(wxS("/r/%d&x.q2db"), i));
        }
        s.set(wxS("maxrecent"), wxS("30"));
        ASSERT_TRUE(s.save());
    }
};

TEST_F(LongLists, SubmenusShowTwentyEntriesAndKeepTheLists) {
    struct Sub {
        wxMenu* menu;
        int firstId;
        const FileList& list;
    };
    for (const Sub& s : {Sub{frame->favouritesMenu(), ID_FAVOURITE_FIRST, favourites()},
                         Sub{frame->recentMenu(), ID_RECENT_FIRST, recentFiles()}}) {
        EXPECT_EQ(s.list.count(), 25);
        ASSERT_EQ(s.menu->GetMenuItemCount(), 20u);
        int i = 0;
        for (const wxMenuItem* item : s.menu->GetMenuItems()) {
            EXPECT_EQ(item->GetId(), s.firstId + i);
            EXPECT_EQ(item->GetItemLabelText(), s.list.entry(i)); // "&" shown as it is
            ++i;
        }
    }
    // Notification 206 rebuilds the recent files from the list.
    recentFiles().add(wxS("/new/one.q2db"));
    send(ID_RECENT_CHANGED);
    EXPECT_EQ(frame->recentMenu()->GetMenuItemCount(), 20u);
    EXPECT_EQ(frame->recentMenu()->FindItemByPosition(0)->GetItemLabelText(), wxS("/new/one.q2db"));
    favourites().clear();
    favourites().append(wxS("/only.q2db"));
    send(ID_FAVOURITES_CHANGED);
    ASSERT_EQ(frame->favouritesMenu()->GetMenuItemCount(), 1u);
    EXPECT_EQ(frame->favouritesMenu()->FindItemByPosition(0)->GetId(), ID_FAVOURITE_FIRST);
}

TEST_F(Frame, DestroyedWindowStoresItsGeometry) {
    frame->SetSize(5, 6, 610, 430);
    frame->outerSplitter()->SetSashPosition(180);
    settings().set(wxS("window"), wxS("1,2,3,4,5,0"));
    frame->Destroy();
    wxTheApp->ProcessIdle();
    EXPECT_EQ(settings().get(wxS("window")), wxS("5,6,610,430,180,0"));
}

TEST_F(Frame, DestroyedMaximizedWindowLeavesTheSettingAlone) {
    frame->Destroy();
    wxTheApp->ProcessIdle();
    frame = new MainFrame(wxS("t"), wxPoint(0, 0), wxSize(500, 400), 100);
    frame->Show();
    frame->Maximize();
    pumpUntil([&] { return frame->IsMaximized(); }, 2000);
    if (!frame->IsMaximized()) GTEST_SKIP() << "no window manager to maximize windows";
    settings().set(wxS("window"), wxS("1,2,3,4,5,0"));
    frame->Destroy();
    wxTheApp->ProcessIdle();
    EXPECT_EQ(settings().get(wxS("window")), wxS("1,2,3,4,5,0"));
}

} // namespace
} // namespace qn::test
