#include "frame/main_frame.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/file_list.h"
#include "app/image_archive.h"
#include "app/ini_file.h"
#include "app/my_app.h"
#include "app/text_constants.h"
#include "article/article_history.h"
#include "frame/command_ids.h"
#include "frame/font_choice.h"
#include "frame/password_dialog.h"
#include "search/my_message.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"

#include <wx/colordlg.h>
#include <wx/combobox.h>
#include <wx/fontdlg.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/splitter.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/utils.h>
#include <wx/versioninfo.h>

#include <sqlite3.h>

#include <algorithm>

namespace qn {

namespace {

// Program version shown in the About box.
const wxString kVersion = wxS("2.0.0");
const wxString kReleaseDate = wxS("2024");

Database::Defaults projectDefaultsList() {
    Database::Defaults out;
    for (const auto& entry : projectDefaults().entries())
        out.emplace_back(entry.first, entry.second);
    return out;
}

// Update events of menu items come from a menu; the toolbar asks for its
// tools with the same ids, and tools are never disabled by these rules.
bool fromMenu(const wxUpdateUIEvent& event) {
    return wxDynamicCast(event.GetEventObject(), wxToolBarBase) == nullptr;
}

} // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(MainFrame, wxFrame)
    // File
    EVT_MENU(ID_NEW, MainFrame::onNew)
    EVT_MENU(ID_OPEN, MainFrame::onOpen)
    EVT_MENU_RANGE(ID_FAVOURITE_FIRST, ID_FAVOURITE_LAST, MainFrame::onFavourite)
    EVT_MENU_RANGE(ID_RECENT_FIRST, ID_RECENT_LAST, MainFrame::onRecent)
    EVT_MENU(ID_SAVE, MainFrame::onSave)
    EVT_MENU(ID_SAVE_AS, MainFrame::onSaveAs)
    EVT_MENU(ID_OPTIMIZE, MainFrame::onOptimize)
    EVT_MENU(ID_PASSWORD, MainFrame::onPassword)
    EVT_MENU(ID_CLOSE, MainFrame::onCloseDocument)
    EVT_MENU(ID_EXIT, MainFrame::onExit)
    // Edit
    EVT_MENU(ID_UNDO, MainFrame::onEditCommand)
    EVT_MENU(ID_REDO, MainFrame::onEditCommand)
    EVT_MENU(ID_COPY, MainFrame::onEditCommand)
    EVT_MENU(ID_CUT, MainFrame::onEditCommand)
    EVT_MENU(ID_PASTE, MainFrame::onEditCommand)
    EVT_MENU(ID_DELETE, MainFrame::onEditCommand)
    EVT_MENU(ID_SELECT_ALL, MainFrame::onEditCommand)
    // View
    EVT_MENU(ID_SHOW_IN_FLOATING_WIN, MainFrame::onShowInFloatingWin)
    EVT_MENU(ID_VIEW_NAV_AND_TEXT, MainFrame::onViewNavAndText)
    EVT_MENU(ID_SPLIT_NAVI, MainFrame::onSplitNavi)
    // Text
    EVT_MENU(ID_WORD_WRAP, MainFrame::onWordWrap)
    EVT_MENU(ID_READ_ONLY, MainFrame::onReadOnly)
    EVT_MENU(ID_FONT, MainFrame::onFont)
    EVT_MENU(ID_TEXT_COLOUR, MainFrame::onColour)
    EVT_MENU(ID_BACKGROUND_COLOUR, MainFrame::onColour)
    EVT_MENU(ID_DEFAULT_FONT, MainFrame::onTextRevert)
    EVT_MENU(ID_DEFAULT_TEXT_COLOUR, MainFrame::onTextRevert)
    EVT_MENU(ID_DEFAULT_BACKGROUND_COLOUR, MainFrame::onTextRevert)
    // Tools, Help
    EVT_MENU(ID_CHANGE_FILE_ID, MainFrame::onChangeFileId)
    EVT_MENU(ID_HELP, MainFrame::onHelp)
    EVT_MENU(ID_ABOUT, MainFrame::onAbout)
    // Navigation toolbar
    EVT_MENU(ID_TB_NEW_CHILD, MainFrame::onNaviTool)
    EVT_MENU(ID_TB_NEW_SIBLING, MainFrame::onNaviTool)
    EVT_MENU(ID_TB_DELETE_NODE, MainFrame::onNaviTool)
    EVT_MENU(ID_TB_NODE_DOWN, MainFrame::onNaviTool)
    EVT_MENU(ID_TB_NODE_UP, MainFrame::onNaviTool)
    EVT_MENU(ID_TB_NODE_RIGHT, MainFrame::onNaviTool)
    EVT_MENU(ID_TB_NODE_LEFT, MainFrame::onNaviTool)
    EVT_MENU(ID_TB_NODE_ICON, MainFrame::onNaviTool)
    // Font boxes
    EVT_COMBOBOX(ID_FONT_CHOICE, MainFrame::onFontFace)
    EVT_COMBOBOX(ID_FONT_SIZE, MainFrame::onFontSize)
    // Notifications
    EVT_MENU(ID_SELECT_IN_TOP_CATEGORY, MainFrame::onSelectInTopCategory)
    EVT_MENU(ID_OPEN_PATH, MainFrame::onOpenPath)
    EVT_MENU(ID_OPEN_FLOATING, MainFrame::onOpenFloatingNotice)
    EVT_MENU(ID_SELECT_NODE, MainFrame::onSelectNodeNotice)
    EVT_MENU(ID_SHOW_LINK, MainFrame::onShowLink)
    EVT_MENU(ID_UPDATE_STATUS, MainFrame::onUpdateStatus)
    EVT_MENU(ID_FAVOURITES_CHANGED, MainFrame::onFavouritesChanged)
    EVT_MENU(ID_RECENT_CHANGED, MainFrame::onRecentChanged)
    EVT_MENU(ID_HISTORY_LIMIT_CHANGED, MainFrame::onHistoryLimitChanged)
    EVT_MENU(ID_CAPTION_COLOURS_CHANGED, MainFrame::onCaptionColoursChanged)
    // Enabling rules
    EVT_UPDATE_UI(ID_SAVE, MainFrame::onUpdateDocumentOpen)
    EVT_UPDATE_UI(ID_SAVE_AS, MainFrame::onUpdateDocumentOpen)
    EVT_UPDATE_UI(ID_EXPORT_TEXT, MainFrame::onUpdateDocumentOpen)
    EVT_UPDATE_UI(ID_OPTIMIZE, MainFrame::onUpdateOptimize)
    EVT_UPDATE_UI(ID_PASSWORD, MainFrame::onUpdateDocumentOpen)
    EVT_UPDATE_UI(ID_CLOSE, MainFrame::onUpdateDocumentOpen)
    EVT_UPDATE_UI(ID_UNDO, MainFrame::onUpdateEditItem)
    EVT_UPDATE_UI(ID_REDO, MainFrame::onUpdateEditItem)
    EVT_UPDATE_UI(ID_COPY, MainFrame::onUpdateEditItem)
    EVT_UPDATE_UI(ID_CUT, MainFrame::onUpdateEditItem)
    EVT_UPDATE_UI(ID_PASTE, MainFrame::onUpdateEditItem)
    EVT_UPDATE_UI(ID_DELETE, MainFrame::onUpdateEditItem)
    EVT_UPDATE_UI(ID_FIND, MainFrame::onUpdateDocumentOpen)
    EVT_UPDATE_UI(ID_FIND_NEXT, MainFrame::onUpdateEditorAndDocument)
    EVT_UPDATE_UI(ID_FIND_PREV, MainFrame::onUpdateEditorAndDocument)
    EVT_UPDATE_UI(ID_REPLACE, MainFrame::onUpdateEditorAndDocument)
    EVT_UPDATE_UI(ID_VIEW_SEARCH_LIST, MainFrame::onUpdateSearchList)
    EVT_UPDATE_UI(ID_SHOW_IN_FLOATING_WIN, MainFrame::onUpdateDocumentOpen)
    EVT_UPDATE_UI(ID_VIEW_OBJECTS, MainFrame::onUpdateDocumentOpen)
    EVT_UPDATE_UI(ID_TOGGLE_PLAIN_HTML, MainFrame::onUpdateTogglePlainHtml)
    EVT_UPDATE_UI(ID_VIEW_NAV_AND_TEXT, MainFrame::onUpdateViewNavAndText)
    EVT_UPDATE_UI(ID_SPLIT_NAVI, MainFrame::onUpdateSplitNavi)
    EVT_UPDATE_UI(ID_PLAIN_TEXT, MainFrame::onUpdateFormat)
    EVT_UPDATE_UI(ID_HTML, MainFrame::onUpdateFormat)
    EVT_UPDATE_UI(ID_WORD_WRAP, MainFrame::onUpdateWordWrap)
    EVT_UPDATE_UI(ID_READ_ONLY, MainFrame::onUpdateReadOnly)
    EVT_UPDATE_UI(ID_FONT, MainFrame::onUpdateEditorShown)
    EVT_UPDATE_UI(ID_TEXT_COLOUR, MainFrame::onUpdateEditorShown)
    EVT_UPDATE_UI(ID_BACKGROUND_COLOUR, MainFrame::onUpdateEditorShown)
    EVT_UPDATE_UI(ID_TEXT_REVERT, MainFrame::onUpdateEditorShown)
    EVT_UPDATE_UI(ID_CREATE_DIARY, MainFrame::onUpdateDocumentOpen)
    EVT_UPDATE_UI(ID_CHANGE_FILE_ID, MainFrame::onUpdateDocumentOpen)
    EVT_UPDATE_UI(ID_FONT_CHOICE, MainFrame::onUpdateFontBoxes)
    EVT_UPDATE_UI(ID_FONT_SIZE, MainFrame::onUpdateFontBoxes)
    EVT_CLOSE(MainFrame::onClose)
wxEND_EVENT_TABLE()
    // clang-format on

    MainFrame::MainFrame(const wxString& title, const wxPoint& pos, const wxSize& size,
                         int sashPosition)
    : wxFrame(nullptr, wxID_ANY, title, pos, size, wxDEFAULT_FRAME_STYLE, wxS("frame")) {
    // 1. Icon.
    wxIcon icon;
    icon.CopyFromBitmap(wxBitmap(appFile(wxS("images/quil16.bmp")), wxBITMAP_TYPE_BMP));
    if (icon.IsOk()) SetIcon(icon);

    // 2. Menus.
    buildMenus();

    // 3. The image archive supplies every toolbar and caption-bar bitmap.
    ImageArchive archive(toolbarArchivePath());

    // 4. Main toolbar.
    buildMainToolBar(archive);

    // 5. The document.
    db_ = std::make_unique<Database>(projectDefaultsList());

    // 6. Splitters and the navigation panel.
    outer_ = new wxSplitterWindow(this, ID_OUTER_SPLITTER, wxDefaultPosition, wxDefaultSize,
                                  wxSP_3D | wxSP_LIVE_UPDATE, wxS("splitter"));
    inner_ = new wxSplitterWindow(outer_, ID_INNER_SPLITTER, wxDefaultPosition, wxDefaultSize,
                                  wxSP_3D | wxSP_LIVE_UPDATE, wxS("splitter"));
    naviPanel_ = new wxPanel(inner_, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                             wxTAB_TRAVERSAL | wxBORDER_NONE, wxS("panel"));

    // 7. Navigation toolbar.
    buildNavigationToolBar(archive);

    // 8. Navigation tree below the toolbar.
    tree_ = new TreePanel(naviPanel_, *db_);
    auto* naviSizer = new wxBoxSizer(wxVERTICAL);
    naviSizer->Add(naviTools_, 0, wxEXPAND);
    naviSizer->AddSpacer(5);
    naviSizer->Add(tree_, 1, wxEXPAND);
    naviPanel_->SetSizer(naviSizer);

    // 9. Category bar, hidden until asked for.
    groups_ = new GroupContainer(inner_, wxID_ANY, tree_, *db_);
    groups_->Hide();
    inner_->Initialize(naviPanel_);

    // 10. Article panel: caption bar above the article window.
    articlePanel_ = new wxPanel(outer_, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxTAB_TRAVERSAL | wxBORDER_NONE, wxS("panel"));
    auto* articleSizer = new wxBoxSizer(wxVERTICAL);
    articlePanel_->SetSizer(articleSizer);

    // 11. Navigation side left, article right.
    outer_->SplitVertically(inner_, articlePanel_, sashPosition);

    // 12. Connect the parts.
    tree_->setGroupContainer(groups_);

    // 13. Article history.
    history_ = std::make_unique<ArticleHistory>(
        static_cast<size_t>(std::max(0, settings().getInt(wxS("maxTextHistory")))) + 1);
    tree_->setHistory(history_.get());

    // 14. Status bar.
    buildStatusBar();

    // 15. Known to the application from now on.
    registerFrame(this);
    // 16. The archive closes here.
}

MainFrame::~MainFrame() {
    unregisterFrame(this);
    // The parts hold references to the document; let them go first.
    if (tree_) tree_->setHistory(nullptr);
    db_->close();
    history_.reset();
    if (!IsMaximized() && !IsIconized()) {
        const wxRect r = GetRect();
        const int values[6] = {r.x, r.y, r.width, r.height, outer_->GetSashPosition(), 0};
        settings().setIntArray(wxS("window"), values, 6);
    }
}

MainFrame* MainFrame::createFromSettings(const wxString& title) {
    const WindowGeometry g = windowGeometryFromSettings();
    return new MainFrame(title, wxPoint(g.x, g.y), wxSize(g.width, g.height), g.sash);
}

// ---------------------------------------------------------------------------
// Construction helpers

void MainFrame::buildMenus() {
    fileMenu_ = new wxMenu;
    favMenu_ = new wxMenu;
    recentMenu_ = new wxMenu;
    fileMenu_->Append(ID_NEW, text(wxS("m.New")));
    fileMenu_->Append(ID_OPEN, text(wxS("m.Open")));
    fileMenu_->Append(ID_FAVOURITES_MENU, text(wxS("m.OpenFavourite")), favMenu_);
    fileMenu_->Append(ID_RECENT_MENU, text(wxS("m.OpenRecent")), recentMenu_);
    fileMenu_->AppendSeparator();
    fileMenu_->Append(ID_SAVE, text(wxS("m.Save")));
    fileMenu_->Append(ID_SAVE_AS, text(wxS("m.SaveAs")));
    fileMenu_->Append(ID_EXPORT_TEXT, text(wxS("m.ExportText")));
    fileMenu_->Append(ID_OPTIMIZE, text(wxS("m.Optimize")));
    fileMenu_->Append(ID_PASSWORD, text(wxS("m.Password")));
    fileMenu_->AppendSeparator();
    fileMenu_->Append(ID_CLOSE, text(wxS("m.Close")));
    fileMenu_->AppendSeparator();
    fileMenu_->Append(ID_EXIT, text(wxS("m.Exit")));

    auto* edit = new wxMenu;
    edit->Append(ID_UNDO, text(wxS("m.Undo")));
    edit->Append(ID_REDO, text(wxS("m.Redo")));
    edit->AppendSeparator();
    edit->Append(ID_COPY, text(wxS("m.Copy")));
    edit->Append(ID_CUT, text(wxS("m.Cut")));
    edit->Append(ID_PASTE, text(wxS("m.Paste")));
    edit->Append(ID_DELETE, text(wxS("m.Delete")));
    edit->AppendSeparator();
    edit->Append(ID_SELECT_ALL, text(wxS("m.SelectAll")));

    auto* search = new wxMenu;
    search->Append(ID_FIND, text(wxS("m.Find")));
    search->Append(ID_FIND_NEXT, text(wxS("m.FindNext")));
    search->Append(ID_FIND_PREV, text(wxS("m.FindPrev")));
    search->Append(ID_VIEW_SEARCH_LIST, text(wxS("m.ViewSearchList")));
    search->AppendSeparator();
    search->Append(ID_REPLACE, text(wxS("m.Replace")));

    auto* view = new wxMenu;
    view->Append(ID_SHOW_IN_FLOATING_WIN, text(wxS("m.ShowInFloatingWin")));
    view->Append(ID_VIEW_OBJECTS, text(wxS("m.ViewObjects")));
    view->Append(ID_VIEW_SEARCH_LIST, text(wxS("m.ViewSearchList")));
    view->AppendSeparator();
    view->Append(ID_TOGGLE_PLAIN_HTML, text(wxS("m.TogglePlainHTML")));
    view->Append(ID_VIEW_NAV_AND_TEXT, text(wxS("m.ViewNavAndText")));
    view->Append(ID_SPLIT_NAVI, text(wxS("m.SplitNavi")));

    auto* textMenu = new wxMenu;
    textMenu->AppendRadioItem(ID_PLAIN_TEXT, text(wxS("m.PlainText")));
    textMenu->AppendRadioItem(ID_HTML, text(wxS("m.HTML")));
    textMenu->AppendSeparator();
    textMenu->AppendCheckItem(ID_WORD_WRAP, text(wxS("m.WordWrap")));
    textMenu->AppendCheckItem(ID_READ_ONLY, text(wxS("m.ReadOnly")));
    textMenu->AppendSeparator();
    textMenu->Append(ID_FONT, text(wxS("m.Font")));
    textMenu->Append(ID_TEXT_COLOUR, text(wxS("m.TextColour")));
    textMenu->Append(ID_BACKGROUND_COLOUR, text(wxS("m.BackgroundColour")));
    auto* revert = new wxMenu;
    revert->Append(ID_DEFAULT_FONT, text(wxS("m.DefaultFont")));
    revert->Append(ID_DEFAULT_TEXT_COLOUR, text(wxS("m.DefaultTextColour")));
    revert->Append(ID_DEFAULT_BACKGROUND_COLOUR, text(wxS("m.DefaultBackgroundColour")));
    textMenu->Append(ID_TEXT_REVERT, text(wxS("m.TextRevert")), revert);

    auto* tools = new wxMenu;
    tools->Append(ID_PREFERENCES, text(wxS("m.Preferences")));
    tools->Append(ID_CREATE_DIARY, text(wxS("m.CreateDiary")));
    tools->Append(ID_CHANGE_FILE_ID, text(wxS("m.ChangeFileID")));

    auto* help = new wxMenu;
    help->Append(ID_HELP, text(wxS("m.Help")));
    help->Append(ID_ABOUT, text(wxS("m.About")));

    auto* bar = new wxMenuBar;
    bar->Append(fileMenu_, text(wxS("m.File")));
    bar->Append(edit, text(wxS("m.Edit")));
    bar->Append(search, text(wxS("m.Search")));
    bar->Append(view, text(wxS("m.View")));
    bar->Append(textMenu, text(wxS("m.Text")));
    bar->Append(tools, text(wxS("m.Tools")));
    bar->Append(help, text(wxS("m.Help")));

    rebuildFavouritesMenu();
    rebuildRecentMenu();
    SetMenuBar(bar);
    enableDocumentMenus(false);
}

namespace {

struct ToolSpec {
    int id;
    const char* bitmap;
    const char* label;
    const char* tip;
};

// Scales a tool bitmap to the configured edge; a missing one stays empty.
wxBitmap toolBitmap(ImageArchive& archive, const char* name, int edge) {
    wxImage image = archive.image(wxString::FromUTF8(name));
    if (!image.IsOk()) {
        // The toolkit needs a bitmap of the right size for every tool.
        wxImage blank(edge, edge);
        blank.SetMaskColour(0, 0, 0);
        return wxBitmap(blank);
    }
    if (image.GetWidth() != edge || image.GetHeight() != edge)
        image.Rescale(edge, edge, wxIMAGE_QUALITY_HIGH);
    return wxBitmap(image);
}

int toolIconSize() {
    const int edge = settings().getInt(wxS("toolbarIconSize"));
    return edge > 0 ? edge : 16;
}

void addTools(wxToolBar* bar, ImageArchive& archive, const ToolSpec* specs, size_t count) {
    const int edge = toolIconSize();
    for (size_t i = 0; i < count; ++i) {
        const ToolSpec& s = specs[i];
        if (s.id == 0) {
            bar->AddSeparator();
            continue;
        }
        bar->AddTool(s.id, text(wxString::FromUTF8(s.label)), toolBitmap(archive, s.bitmap, edge),
                     text(wxString::FromUTF8(s.tip)));
    }
}

} // namespace

void MainFrame::buildMainToolBar(ImageArchive& archive) {
    mainTools_ =
        CreateToolBar(wxTB_FLAT | wxTB_HORIZONTAL | wxBORDER_NONE, wxID_ANY, wxS("toolbar"));
    const int edge = toolIconSize();
    mainTools_->SetToolBitmapSize(wxSize(edge, edge));
    // Label keys are looked up at run time; the key list is in the table.
    static const ToolSpec specs[] = {
        {ID_NEW, "toolbar/new-doc.bmp", "t.NewDoc", "t.NewDoc2"},
        {ID_OPEN, "toolbar/open-doc.bmp", "t.OpenDoc", "t.OpenDoc2"},
        {ID_SAVE, "toolbar/save-doc.bmp", "t.SaveDoc", "t.SaveDoc2"},
        {0, nullptr, nullptr, nullptr},
        {ID_COPY, "toolbar/copy.bmp", "t.Copy", "t.Copy"},
        {ID_CUT, "toolbar/cut.bmp", "t.Cut", "t.Cut"},
        {ID_PASTE, "toolbar/paste.bmp", "t.Paste", "t.Paste"},
        {0, nullptr, nullptr, nullptr},
        {ID_VIEW_OBJECTS, "toolbar/ViewObjects.bmp", "m.ViewObjects", "m.ViewObjects"},
        {ID_SHOW_IN_FLOATING_WIN, "toolbar/FloatingWin.bmp", "m.ShowInFloatingWin",
         "m.ShowInFloatingWin"},
        {ID_FIND, "toolbar/search.bmp", "m.Search", "m.Search"},
        {0, nullptr, nullptr, nullptr},
        {ID_BACKGROUND_COLOUR, "toolbar/text-backcolour.bmp", "t.TextBackground",
         "t.TextBackground"},
        {ID_TEXT_COLOUR, "toolbar/text-colour.bmp", "t.TextColour", "t.TextColour"},
    };
    addTools(mainTools_, archive, specs, WXSIZEOF(specs));

    fontChoice_ = new FontChoice(mainTools_, ID_FONT_CHOICE);
    mainTools_->AddControl(fontChoice_);
    static const char* const sizes[] = {"8",  "9",  "10", "11", "12", "13", "14", "15", "16",
                                        "18", "20", "22", "24", "26", "28", "36", "48", "72"};
    wxArrayString sizeChoices;
    for (const char* s : sizes)
        sizeChoices.Add(wxString::FromUTF8(s));
    fontSize_ = new wxComboBox(mainTools_, ID_FONT_SIZE, wxS("10"), wxDefaultPosition,
                               wxSize(45, -1), sizeChoices, 0, wxDefaultValidator, wxS("comboBox"));
    mainTools_->AddControl(fontSize_);
    mainTools_->Realize();
}

void MainFrame::buildNavigationToolBar(ImageArchive& archive) {
    naviTools_ = new wxToolBar(naviPanel_, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                               wxTB_HORIZONTAL | wxBORDER_NONE, wxS("toolbar"));
    const int edge = toolIconSize();
    naviTools_->SetToolBitmapSize(wxSize(edge, edge));
    static const ToolSpec specs[] = {
        {ID_TB_NEW_CHILD, "toolbar/new-child.bmp", "t.NewChild", "t.NewChild"},
        {ID_TB_NEW_SIBLING, "toolbar/new-sibling.bmp", "t.NewSibling", "t.NewSibling"},
        {ID_TB_DELETE_NODE, "toolbar/delete-node.bmp", "t.DeleteNode", "t.DeleteNode"},
        {ID_TB_NODE_DOWN, "toolbar/node-down.bmp", "t.Down", "t.Down"},
        {ID_TB_NODE_UP, "toolbar/node-up.bmp", "t.Up", "t.Up"},
        {ID_TB_NODE_RIGHT, "toolbar/node-right.bmp", "t.Right", "t.Right2"},
        {ID_TB_NODE_LEFT, "toolbar/node-left.bmp", "t.Left", "t.Left2"},
        {0, nullptr, nullptr, nullptr},
        {ID_TB_NODE_ICON, "toolbar/icon.bmp", "t.Icon", "t.Icon"},
    };
    addTools(naviTools_, archive, specs, WXSIZEOF(specs));
    naviTools_->Realize();
}

void MainFrame::buildStatusBar() {
    wxStatusBar* bar = CreateStatusBar(5, wxSTB_SIZEGRIP, wxID_ANY, wxS("status_line"));
    const int widths[5] = {-1, -1, 120, 40, 50};
    bar->SetStatusWidths(5, widths);
    SetStatusText(text(wxS("m.Welcome")), 0);
}

// ---------------------------------------------------------------------------
// Operations

bool MainFrame::isEditorShown() const {
    return false;
}

bool MainFrame::commitArticle() {
    return false;
}

void MainFrame::enableDocumentMenus(bool on) {
    wxMenuBar* bar = GetMenuBar();
    if (!bar) return;
    bar->EnableTop(1, on); // Edit
    bar->EnableTop(2, on); // Search
    bar->EnableTop(4, on); // Text
}

void MainFrame::updateStatusBar() {
    if (!isDocumentOpen() || !isEditorShown()) {
        SetStatusText(wxString(), 2);
        SetStatusText(wxString(), 3);
        SetStatusText(wxString(), 4);
        return;
    }
}

void MainFrame::showFontInToolbar(const wxString& faceName, int pointSize) {
    fontChoice_->SetValue(faceName);
    fontSize_->SetValue(wxString::Format(wxS("%d"), pointSize));
}

void MainFrame::openFloating(int nodeId) {
    (void)nodeId;
}

namespace {

// One item per list entry, at most as many as the submenu has ids; the
// list itself keeps every entry.
void fillFileMenu(wxMenu* menu, const FileList& list, int firstId) {
    while (menu->GetMenuItemCount() > 0)
        menu->Destroy(menu->FindItemByPosition(0));
    const int shown = std::min(list.count(), kMaxFileMenuEntries);
    for (int i = 0; i < shown; ++i) {
        // "&" would be taken as a mnemonic marker.
        wxString label = list.entry(i);
        label.Replace(wxS("&"), wxS("&&"));
        menu->Append(firstId + i, label);
    }
}

} // namespace

void MainFrame::rebuildFavouritesMenu() {
    fillFileMenu(favMenu_, favourites(), ID_FAVOURITE_FIRST);
}

void MainFrame::rebuildRecentMenu() {
    fillFileMenu(recentMenu_, recentFiles(), ID_RECENT_FIRST);
}

void MainFrame::showAbout() {
    const wxString about = wxString::Format(
        wxS("%s %s\n%s\n\n%s\n%s\n%s\n\n%s\n%s"), wxS("Quillnest"), kVersion,
        wxS("Released ") + kReleaseDate, wxS("Made by the Quillnest developers."),
        wxS("Icons: the Silk icon set by Mark James, CC BY 2.5."),
        wxS("Free software; see README.md."), wxGetLibraryVersionInfo().GetVersionString(),
        wxS("SQLite ") + wxString::FromUTF8(sqlite3_libversion()));
    showMessage(about, text(wxS("s.AboutTitle")), MSG_OK | MSG_ICON_INFO, this);
}

void MainFrame::changePassword() {
    // 1. Pending edits and the window state go into the document first.
    commitArticle();
    saveLayout();

    // 2. Ask.
    const int mode = db_->isProtected() ? PasswordDialog::MODE_CHANGE : PasswordDialog::MODE_NEW;
    wxString password;
    wxString options;
    int result;
    {
        PasswordDialog dialog(this, mode, *db_);
        result = dialog.ShowModal();
        password = dialog.password();
        options = settings().get(wxS("cryptopt"));
    }
    // 3.
    if (result != PasswordDialog::RESULT_OK) return;

    // 4. No password: the protection goes.
    std::unique_ptr<BlockCipher> cipher;
    if (!password.empty()) {
        cipher = std::make_unique<BlockCipher>();
        cipher->setKey(cipherKeyMaterial(db_->dbid(), password, db_->getString(K_c)));
        cipher->setOptions(options);
    }
    const bool protect = cipher != nullptr;

    // 5. Every block is rewritten with the new cipher.
    bool rewritten;
    {
        wxBusyCursor busy;
        rewritten = db_->changeCipher(std::move(cipher), password);
    }

    // 6.
    const wxString title = text(wxS("s.Title"));
    if (db_->isNew()) {
        if (showMessage(text(wxS("s.pwd.protect")) + wxS("\n") + text(wxS("s.SaveChanges?")), title,
                        MSG_YES | MSG_NO | MSG_ICON_QUESTION, this) == MSG_YES)
            saveDocument();
    } else if (!rewritten) {
        // The file could not be rewritten: never report a protection that
        // did not reach the disk.
        showMessage(text(wxS("s.FileOpenWriteError")), title, MSG_OK | MSG_ICON_ERROR, this);
    } else {
        showMessage(protect ? text(wxS("s.pwd.protect")) : text(wxS("s.pwd.free")), title,
                    MSG_OK | MSG_ICON_INFO, this);
    }
}

// ---------------------------------------------------------------------------
// Commands

void MainFrame::onFavourite(wxCommandEvent& event) {
    const int index = event.GetId() - ID_FAVOURITE_FIRST;
    if (index < favourites().count()) openOrCreate(favourites().entry(index));
}

void MainFrame::onRecent(wxCommandEvent& event) {
    const int index = event.GetId() - ID_RECENT_FIRST;
    if (index < recentFiles().count()) openOrCreate(recentFiles().entry(index));
}

void MainFrame::onHelp(wxCommandEvent&) {
    openOrCreate(appFile(text(wxS("s.HelpFile"))));
}

void MainFrame::onOpenPath(wxCommandEvent& event) {
    openOrCreate(event.GetString());
}

void MainFrame::onPassword(wxCommandEvent&) {
    if (isDocumentOpen()) changePassword();
}

void MainFrame::onExit(wxCommandEvent&) {
    Close();
}

void MainFrame::onAbout(wxCommandEvent&) {
    showAbout();
}

void MainFrame::onEditCommand(wxCommandEvent&) {}

void MainFrame::onViewNavAndText(wxCommandEvent&) {
    if (outer_->IsSplit()) return;
    inner_->Show();
    articlePanel_->Show();
    outer_->SplitVertically(inner_, articlePanel_, GetClientSize().GetWidth() / 3);
}

void MainFrame::onSplitNavi(wxCommandEvent&) {
    if (inner_->IsSplit()) return;
    naviPanel_->Show();
    groups_->Show();
    inner_->SplitHorizontally(naviPanel_, groups_, inner_->GetClientSize().GetHeight() * 2 / 3);
}

void MainFrame::onShowInFloatingWin(wxCommandEvent&) {
    if (!isDocumentOpen()) return;
    const int id = tree_->selectedNodeId();
    if (id > 0) openFloating(id);
}

void MainFrame::onWordWrap(wxCommandEvent&) {}

void MainFrame::onReadOnly(wxCommandEvent&) {}

void MainFrame::onFont(wxCommandEvent&) {}

void MainFrame::onColour(wxCommandEvent&) {}

void MainFrame::onTextRevert(wxCommandEvent&) {}

void MainFrame::onNaviTool(wxCommandEvent& event) {
    if (!isDocumentOpen()) return;
    int command = 0;
    switch (event.GetId()) {
    case ID_TB_NEW_CHILD:
        command = ID_NODE_NEW_CHILD_TOP;
        break;
    case ID_TB_NEW_SIBLING:
        command = ID_NODE_NEW_SIBLING_BELOW;
        break;
    case ID_TB_DELETE_NODE:
        command = ID_NODE_DELETE;
        break;
    case ID_TB_NODE_DOWN:
        command = ID_NODE_DOWN;
        break;
    case ID_TB_NODE_UP:
        command = ID_NODE_UP;
        break;
    case ID_TB_NODE_RIGHT:
        command = ID_NODE_RIGHT;
        break;
    case ID_TB_NODE_LEFT:
        command = ID_NODE_LEFT;
        break;
    case ID_TB_NODE_ICON:
        command = ID_NODE_ICON;
        break;
    default:
        return;
    }
    wxCommandEvent forward(wxEVT_MENU, command);
    forward.SetEventObject(tree_);
    // The tree's numbers overlap the frame's own commands: the event must
    // not travel back up to this window.
    forward.StopPropagation();
    tree_->GetEventHandler()->ProcessEvent(forward);
}

void MainFrame::onFontFace(wxCommandEvent&) {}

void MainFrame::onFontSize(wxCommandEvent&) {}

void MainFrame::onClose(wxCloseEvent& event) {
    if (isDocumentOpen() && !closeDocument(false) && event.CanVeto()) {
        event.Veto();
        return;
    }
    Destroy();
}

// ---------------------------------------------------------------------------
// Notifications

void MainFrame::onSelectInTopCategory(wxCommandEvent& event) {
    if (!isDocumentOpen()) return;
    groups_->selectCategoryById(1);
    if (Block* node = db_->getBlock(static_cast<int>(event.GetExtraLong())))
        tree_->selectNode(node);
}

void MainFrame::onOpenFloatingNotice(wxCommandEvent& event) {
    openFloating(static_cast<int>(event.GetExtraLong()));
}

void MainFrame::onSelectNodeNotice(wxCommandEvent& event) {
    if (!isDocumentOpen()) return;
    Block* node = db_->getBlock(static_cast<int>(event.GetExtraLong()));
    if (node && node->isNode() && !node->excluded()) tree_->selectNode(node);
}

void MainFrame::onShowLink(wxCommandEvent& event) {
    SetStatusText(event.GetString(), 1);
}

void MainFrame::onUpdateStatus(wxCommandEvent&) {
    updateStatusBar();
}

void MainFrame::onFavouritesChanged(wxCommandEvent&) {
    rebuildFavouritesMenu();
}

void MainFrame::onRecentChanged(wxCommandEvent&) {
    rebuildRecentMenu();
}

void MainFrame::onHistoryLimitChanged(wxCommandEvent&) {
    history_->setLimit(static_cast<size_t>(std::max(0, settings().getInt(wxS("maxTextHistory")))) +
                       1);
}

void MainFrame::onCaptionColoursChanged(wxCommandEvent&) {}

// ---------------------------------------------------------------------------
// Enabling rules

void MainFrame::onUpdateDocumentOpen(wxUpdateUIEvent& event) {
    if (fromMenu(event)) event.Enable(isDocumentOpen());
}

void MainFrame::onUpdateOptimize(wxUpdateUIEvent& event) {
    if (fromMenu(event)) event.Enable(isDocumentOpen() && !db_->isNew());
}

void MainFrame::onUpdateEditItem(wxUpdateUIEvent& event) {
    if (fromMenu(event)) event.Enable(false);
}

void MainFrame::onUpdateEditorAndDocument(wxUpdateUIEvent& event) {
    if (fromMenu(event)) event.Enable(isEditorShown() && isDocumentOpen());
}

void MainFrame::onUpdateEditorShown(wxUpdateUIEvent& event) {
    if (fromMenu(event)) event.Enable(isEditorShown());
}

void MainFrame::onUpdateSearchList(wxUpdateUIEvent& event) {
    if (fromMenu(event)) event.Enable(searchList_ != nullptr);
}

void MainFrame::onUpdateTogglePlainHtml(wxUpdateUIEvent& event) {
    if (fromMenu(event)) event.Enable(false);
}

void MainFrame::onUpdateViewNavAndText(wxUpdateUIEvent& event) {
    if (fromMenu(event)) event.Enable(!outer_->IsSplit());
}

void MainFrame::onUpdateSplitNavi(wxUpdateUIEvent& event) {
    if (!fromMenu(event)) return;
    const bool naviShown = !outer_->IsSplit() ? outer_->GetWindow1() == inner_ : true;
    event.Enable(naviShown && !inner_->IsSplit());
}

void MainFrame::onUpdateFormat(wxUpdateUIEvent& event) {
    (void)event;
}

void MainFrame::onUpdateWordWrap(wxUpdateUIEvent& event) {
    if (fromMenu(event)) event.Enable(isEditorShown());
}

void MainFrame::onUpdateReadOnly(wxUpdateUIEvent& event) {
    if (fromMenu(event)) event.Enable(isEditorShown());
}

void MainFrame::onUpdateFontBoxes(wxUpdateUIEvent& event) {
    event.Enable(isDocumentOpen() && isEditorShown());
}

} // namespace qn
