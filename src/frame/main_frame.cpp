#include "frame/main_frame.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/file_list.h"
#include "app/ini_file.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "article/article_history.h"
#include "article/article_window.h"
#include "article/caption_bar.h"
#include "article/floating_win.h"
#include "article/history_menu.h"
#include "article/qudb_fs_handler.h"
#include "find/search_list.h"
#include "frame/document_commands.h"
#include "frame/font_choice.h"
#include "frame/frame_article_side.h"
#include "frame/frame_registry.h"
#include "frame/password_dialog.h"
#include "frame/recovery_keeper.h"
#include "frame/workflow_commands.h"
#include "objects/image_grid.h"
#include "prefs/preferences_dialog.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"
#include "ui/image_archive.h"
#include "ui/my_message.h"
#include "ui/node_model.h"

#include <wx/app.h>
#include <wx/colordlg.h>
#include <wx/display.h>
#include <wx/combobox.h>
#include <wx/filefn.h>
#include <wx/fontdlg.h>
#include <wx/image.h>
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
#include <vector>

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

} // namespace

MainFrame::MainFrame(const wxString& title, const wxPoint& pos, const wxSize& size,
                     int sashPosition)
    : wxFrame(nullptr, wxID_ANY, title, pos, size, wxDEFAULT_FRAME_STYLE, wxS("frame")) {
    // The stored or cascaded geometry may be larger than this screen.
    const wxRect fitted = fitOnDisplay(wxRect(pos, size));
    if (fitted != wxRect(pos, size)) SetSize(fitted);
    // The window icon; white is the transparent colour of the BMP.
    const wxString iconFile = appFile(wxS("images/quil16.bmp"));
    if (wxFileExists(iconFile)) {
        wxImage image(iconFile, wxBITMAP_TYPE_BMP);
        if (image.IsOk()) {
            image.SetMaskColour(255, 255, 255);
            wxIcon icon;
            icon.CopyFromBitmap(wxBitmap(image));
            SetIcon(icon);
        }
    }

    buildMenus();

    // The image archive supplies every toolbar and caption-bar bitmap; it
    // stays open only while the window is built.
    ImageArchive archive(toolbarArchivePath());
    buildMainToolBar(archive);

    // The document, reused for every file this window shows. Before the engine rewrites a node's
    // external article file (its `url`), the user is asked: the file may be anything.
    db_ = std::make_unique<Database>(projectDefaultsList());
    db_->setUrlWriteQuestion([this](const wxString& path) { return askBeforeWritingFile(path); });
    documents_ = std::make_unique<DocumentCommands>(*this);
    recovery_ = std::make_unique<RecoveryKeeper>(*this);

    // Navigation side (tree, optionally the category bar below it) and the
    // article side, each in a splitter.
    outer_ = new wxSplitterWindow(this, ID_OUTER_SPLITTER, wxDefaultPosition, wxDefaultSize,
                                  wxSP_3D | wxSP_LIVE_UPDATE, wxS("splitter"));
    inner_ = new wxSplitterWindow(outer_, ID_INNER_SPLITTER, wxDefaultPosition, wxDefaultSize,
                                  wxSP_3D | wxSP_LIVE_UPDATE, wxS("splitter"));
    naviPanel_ = new wxPanel(inner_, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                             wxTAB_TRAVERSAL | wxBORDER_NONE, wxS("panel"));

    buildNavigationToolBar(archive);

    // The tree fills the navigation panel below its toolbar.
    tree_ = new TreePanel(naviPanel_, *db_);
    auto* naviSizer = new wxBoxSizer(wxVERTICAL);
    naviSizer->Add(naviTools_, 0, wxEXPAND);
    naviSizer->AddSpacer(5);
    naviSizer->Add(tree_, 1, wxEXPAND);
    naviPanel_->SetSizer(naviSizer);

    // Category bar, hidden until asked for.
    groups_ = new GroupContainer(inner_, wxID_ANY, tree_, *db_);
    groups_->Hide();
    inner_->Initialize(naviPanel_);

    // Article panel: caption bar above the article window.
    articlePanel_ = new wxPanel(outer_, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxTAB_TRAVERSAL | wxBORDER_NONE, wxS("panel"));
    caption_ = new CaptionBar(articlePanel_, this, archive);
    article_ = new ArticleWindow(articlePanel_, ID_ARTICLE_WINDOW, true);
    article_->setContext(this, db_.get());
    article_->setCaptionBar(caption_);
    auto* articleSizer = new wxBoxSizer(wxVERTICAL);
    articleSizer->Add(caption_, 0, wxEXPAND);
    articleSizer->Add(article_, 1, wxEXPAND);
    articlePanel_->SetSizer(articleSizer);

    // Navigation side left, article right. Neither pane can be squeezed
    // away by a narrow window: the sash moves instead.
    outer_->SetMinimumPaneSize(kMinimumPaneSize);
    inner_->SetMinimumPaneSize(kMinimumPaneSize);
    outer_->SplitVertically(inner_, articlePanel_, sashPosition);
    outerSash_ = std::make_unique<SashKeeper>(outer_);
    innerSash_ = std::make_unique<SashKeeper>(inner_);
    outerSash_->request(sashPosition);

    // The tree and the category bar drive the article pane; the editor's
    // font shows in the toolbar.
    articleSide_ = std::make_unique<FrameArticleSide>(*article_, *caption_);
    tree_->setArticleSide(articleSide_.get());
    tree_->setGroupContainer(groups_);
    groups_->setArticleSide(articleSide_.get());
    article_->setFontListener(
        [this](const wxString& face, int size) { showFontInToolbar(face, size); });

    // The history records every node the article window shows.
    history_ = std::make_unique<ArticleHistory>(
        static_cast<size_t>(std::max(0, settings().getInt(wxS("maxTextHistory")))) + 1);
    articleSide_->setHistory(history_.get());
    article_->setHistory(history_.get(), [this] { return tree_->rootNodeId(); });
    // Floating windows showing a deleted node close with it.
    tree_->setDeletedListener([this](const std::vector<int>& ids) {
        closeFloatingWindows(&ids);
        if (auto* list = dynamic_cast<SearchList*>(searchList_)) list->forgetNodes(ids);
    });
    // A note's text must not be a document open in the program.
    tree_->setLinkCheck([this](const wxString& path) { return mayWriteFile(this, path); });

    buildStatusBar();
    addWorkflowCommands(this);
    plainTitle_ = title;
    Bind(wxEVT_IDLE, [this](wxIdleEvent& event) {
        event.Skip();
        refreshTitleMark();
    });

    // Known to the application from now on (window registry, broadcasts).
    registerFrame(this);
    // Files the other windows write are checked against the open documents.
    setOpenDocumentCheck([](const wxString& path) { return frameShowingFile(path) != nullptr; });
}

MainFrame::~MainFrame() {
    // Its timer must not fire into a window being taken apart; the file
    // itself stays (a closed window removed it already, a session end keeps
    // it).
    recovery_.reset();
    // The search results go first, while this window is still whole.
    if (auto* list = dynamic_cast<SearchList*>(searchList_)) {
        list->releaseOwner();
        delete list;
        searchList_ = nullptr;
    }
    unregisterFrame(this);
    // Half destroyed, this frame must not receive the parts' notifications.
    if (article_) article_->setContext(nullptr, db_.get());
    // The parts hold references to the document's blocks; let them go
    // before the document closes (the child windows outlive this body).
    if (tree_) tree_->clearTree();
    if (tree_) tree_->setArticleSide(nullptr);
    if (groups_) groups_->setArticleSide(nullptr);
    if (tree_) tree_->setDeletedListener({});
    if (tree_) tree_->setLinkCheck({});
    if (article_) article_->setHistory(nullptr, {});
    // Floating windows go with this window (without recording a geometry);
    // until then they must not show blocks of the closed document.
    for (wxWindow* child : GetChildren())
        if (auto* win = dynamic_cast<FloatingWin*>(child)) {
            win->article()->clearArticle();
            win->setContext(nullptr, nullptr);
        }
    QudbFSHandler::unregisterDatabase(db_.get()); // object links must not reach a dead document
    db_->close();
    history_.reset();
    if (!IsMaximized() && !IsIconized()) {
        const wxRect r = GetRect();
        const int values[6] = {r.x, r.y, r.width, r.height, outerSash_->position(), 0};
        settings().setIntArray(wxS("window"), values, 6);
    }
}

MainFrame* MainFrame::createFromSettings(const wxString& title) {
    const WindowGeometry g = windowGeometryFromSettings();
    return new MainFrame(title, wxPoint(g.x, g.y), wxSize(g.width, g.height), g.sash);
}

// ---------------------------------------------------------------------------
// Construction helpers

void MainFrame::buildStatusBar() {
    wxStatusBar* bar = CreateStatusBar(5, wxSTB_SIZEGRIP, wxID_ANY, wxS("status_line"));
    // The fixed fields are at least as wide as their longest texts, which
    // depend on the language and the font.
    auto fit = [bar](int width, std::initializer_list<wxString> texts) {
        for (const wxString& t : texts)
            width = std::max(width, bar->GetTextExtent(t).x + 12);
        return width;
    };
    const int widths[5] = {-1, -1, fit(120, {wxString::Format(text(wxS("s.LineCol")), 99999, 999)}),
                           fit(40, {text(wxS("s.RW")), text(wxS("s.RO"))}),
                           fit(50, {text(wxS("s.INS")), text(wxS("s.OVER"))})};
    bar->SetStatusWidths(5, widths);
    SetStatusText(text(wxS("m.Welcome")), 0);
}

// ---------------------------------------------------------------------------
// Operations

bool MainFrame::isEditorShown() const {
    return article_ && article_->mode() == ArticleWindow::MODE_EDITOR;
}

int MainFrame::askBeforeWritingFile(const wxString& path) {
    wxString question = text(wxS("s.SaveChangesToFile?"));
    question.Replace(wxS("%s"), path, false);
    // No keeps the file and drops the edit: Escape and the close box must
    // not mean that.  They cancel the save, and every edit stays.
    return showMessage(question, text(wxS("s.Title")),
                       MSG_YES | MSG_SAVE_ALL | MSG_NO | MSG_ESCAPE_CANCELS | MSG_ICON_QUESTION,
                       this);
}

bool MainFrame::commitArticle() {
    return article_ && article_->commitText();
}

// Menu items carry no help text, but the toolkit gives its stock ids (Open,
// Save, Copy ...) an English one: nothing is shown for any item.
void MainFrame::DoGiveHelp(const wxString&, bool show) {
    wxFrame::DoGiveHelp(wxString(), show);
}

void MainFrame::updateStatusBar() {
    // The fields describe the editor; the HTML view has no caret to show.
    if (!isDocumentOpen() || !isEditorShown()) {
        SetStatusText(wxString(), 2);
        SetStatusText(wxString(), 3);
        SetStatusText(wxString(), 4);
        return;
    }
    long column = 0, line = 0;
    article_->positionToXY(article_->getInsertionPoint(), &column, &line);
    SetStatusText(wxString::Format(text(wxS("s.LineCol")), static_cast<int>(line) + 1,
                                   static_cast<int>(column) + 1),
                  2);
    SetStatusText(article_->isEditable() ? text(wxS("s.RW")) : text(wxS("s.RO")), 3);
    SetStatusText(article_->isInsertMode() ? text(wxS("s.INS")) : text(wxS("s.OVER")), 4);
}

void MainFrame::showFontInToolbar(const wxString& faceName, int pointSize) {
    fontChoice_->SetValue(faceName);
    fontSize_->SetValue(wxString::Format(wxS("%d"), pointSize));
}

void MainFrame::openFloating(int nodeId) {
    if (!isDocumentOpen()) return;
    Block* node = db_->getBlock(nodeId);
    if (!node || !node->isNode() || node->excluded()) return;
    commitArticle(); // the latest text of a node being edited
    int stored[4] = {-1, -1, -1, -1};
    const int given = settings().getIntArray(wxS("miniframe"), stored, 4);
    std::vector<int> rect(stored, stored + std::max(0, given));
    const wxRect screen = wxGetClientDisplayRect();
    const wxPoint beside = GetScreenPosition() + wxPoint(60, 60);
    const GridRect r = usableRect(rect, {screen.x, screen.y, screen.width, screen.height},
                                  {beside.x, beside.y, 400, 300}, 120);
    auto* win = new FloatingWin(this, wxID_ANY, node->getString(K_cap), wxPoint(r.x, r.y),
                                wxSize(r.width, r.height));
    win->setContext(this, db_.get());
    win->show(node);
}

void MainFrame::closeFloatingWindows(const std::vector<int>* ids) {
    for (wxWindow* child : GetChildren()) {
        auto* win = dynamic_cast<FloatingWin*>(child);
        if (!win || win->IsBeingDeleted() || wxPendingDelete.Member(win)) continue;
        Block* shown = win->node();
        if (!ids || !shown || std::find(ids->begin(), ids->end(), shown->id()) != ids->end())
            win->discard();
    }
}

namespace {

// One item per list entry, at most as many as the submenu has ids; the
// list itself keeps every entry.
void fillFileMenu(wxMenu* menu, const FileList& list, int firstId) {
    while (menu->GetMenuItemCount() > 0)
        menu->Destroy(menu->FindItemByPosition(0));
    const int shown = std::min(list.count(), kMaxFileMenuEntries);
    if (shown == 0) {
        // A submenu without items shows as a blank box.
        wxString empty = text(wxS("m.EmptyList"));
        if (empty.empty()) empty = wxS("(empty)");
        menu->Append(firstId, empty)->Enable(false);
        return;
    }
    for (int i = 0; i < shown; ++i) {
        // "&" would be taken as a mnemonic marker.
        wxString label = list.entry(i);
        if (label.Strip(wxString::both).empty()) continue; // a blank line is no file
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
    const std::vector<wxString> fields = {
        wxS("Quillnest"),
        kVersion,
        kReleaseDate,
        wxS("the Quillnest developers"),
        wxS("Free software."),
        wxS("See README.md for the sources and documentation."),
        wxGetLibraryVersionInfo().GetVersionString(),
        wxS("SQLite ") + wxString::FromUTF8(sqlite3_libversion()),
    };
    showMessage(fillPlaceholders(text(wxS("s.AboutTitle")), fields), text(wxS("s.Title")),
                MSG_OK | MSG_ICON_INFO, this);
}

namespace {

// "I" italic, "B" bold, "U" underlined, in this order.
wxString fontLetters(const wxFont& font) {
    wxString letters;
    if (font.GetStyle() == wxFONTSTYLE_ITALIC || font.GetStyle() == wxFONTSTYLE_SLANT)
        letters += wxS("I");
    if (font.GetWeight() >= wxFONTWEIGHT_BOLD) letters += wxS("B");
    if (font.GetUnderlined()) letters += wxS("U");
    return letters;
}

} // namespace

void MainFrame::applyPreferences(const PreferencesChoice& choice) {
    // Program settings every window reads.
    broadcastCommand(ID_HISTORY_LIMIT_CHANGED);
    recentFiles().setLimit(settings().getInt(wxS("maxrecent")));
    if (choice.favouritesEdited) broadcastCommand(ID_FAVOURITES_CHANGED);

    // The document's default look (only a document can keep it).
    if (isDocumentOpen()) {
        bool article = false;
        if (choice.articleFont.IsOk()) {
            db_->setString(K_Fname, choice.articleFont.GetFaceName());
            db_->setInt(K_Fsize, choice.articleFont.GetPointSize());
            db_->setString(K_Fattr, fontLetters(choice.articleFont));
            article = true;
        }
        if (choice.articleText.IsOk()) {
            db_->setColour(K_fc, fromWxColour(choice.articleText));
            article = true;
        }
        if (choice.articleBackground.IsOk()) {
            db_->setColour(K_bg, fromWxColour(choice.articleBackground));
            article = true;
        }
        if (article) article_->refreshArticleStyle();

        bool navigation = false;
        if (choice.navigationFont.IsOk()) {
            db_->setString(K_NFname, choice.navigationFont.GetFaceName());
            db_->setInt(K_NFsize, choice.navigationFont.GetPointSize());
            db_->setString(K_NFattr, fontLetters(choice.navigationFont));
            navigation = true;
        }
        if (choice.navigationText.IsOk()) {
            db_->setColour(K_Nfc, fromWxColour(choice.navigationText));
            navigation = true;
        }
        if (navigation) tree_->refreshNodeLooks();
        if (choice.navigationBackground.IsOk())
            tree_->setTreeBackground(choice.navigationBackground);
    }

    // Caption colours are program settings.
    bool caption = false;
    if (choice.captionText.IsOk()) {
        settings().setColour(wxS("c.caption.text"), choice.captionText);
        caption = true;
    }
    if (choice.captionBackground.IsOk()) {
        settings().setColour(wxS("c.caption.back"), choice.captionBackground);
        caption = true;
    }
    if (caption) broadcastCommand(ID_CAPTION_COLOURS_CHANGED);
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

void MainFrame::onExit(wxCommandEvent&) {
    Close();
}

void MainFrame::onAbout(wxCommandEvent&) {
    showAbout();
}

void MainFrame::onEditCommand(wxCommandEvent& event) {
    switch (event.GetId()) {
    case ID_UNDO:
        article_->undo();
        break;
    case ID_REDO:
        article_->redo();
        break;
    case ID_COPY:
        article_->copy();
        break;
    case ID_CUT:
        article_->cut();
        break;
    case ID_PASTE:
        article_->paste();
        break;
    case ID_DELETE:
        article_->deleteSelection();
        break;
    case ID_SELECT_ALL:
        article_->selectAll();
        break;
    default:
        break;
    }
}

void MainFrame::onFindNext(wxCommandEvent& event) {
    if (!isDocumentOpen()) return;
    if (event.GetId() == ID_FIND_NEXT)
        article_->findNext();
    else
        article_->findPrevious();
}

void MainFrame::onViewSearchList(wxCommandEvent&) {
    if (!searchList_) return;
    searchList_->Show();
    searchList_->Raise();
}

void MainFrame::onTogglePlainHtml(wxCommandEvent&) {
    article_->viewSwitch(caption_);
}

void MainFrame::onFormatSwitch(wxCommandEvent&) {
    article_->formatSwitch(caption_);
}

void MainFrame::onViewNavAndText(wxCommandEvent&) {
    if (outer_->IsSplit()) return;
    inner_->Show();
    articlePanel_->Show();
    outer_->SplitVertically(inner_, articlePanel_, GetClientSize().GetWidth() / 3);
    outerSash_->forget();
}

void MainFrame::onSplitNavi(wxCommandEvent&) {
    if (inner_->IsSplit()) return;
    naviPanel_->Show();
    groups_->Show();
    inner_->SplitHorizontally(naviPanel_, groups_, inner_->GetClientSize().GetHeight() * 2 / 3);
    innerSash_->forget();
}

void MainFrame::onShowInFloatingWin(wxCommandEvent&) {
    if (!isDocumentOpen()) return;
    const int id = tree_->selectedNodeId();
    if (id > 0) openFloating(id);
}

void MainFrame::onWordWrap(wxCommandEvent&) {
    if (isDocumentOpen()) article_->toggleWordWrap();
}

void MainFrame::onReadOnly(wxCommandEvent&) {
    if (!isDocumentOpen()) return;
    article_->toggleReadOnly();
    updateStatusBar();
}

void MainFrame::onFont(wxCommandEvent&) {
    if (!isDocumentOpen()) return;
    wxFontData data;
    data.SetInitialFont(article_->currentFont());
    wxFontDialog dialog(this, data);
    dialog.SetTitle(wxString());
    if (dialog.ShowModal() != wxID_OK) return;
    const wxFont font = dialog.GetFontData().GetChosenFont();
    if (!font.IsOk()) return;
    article_->applyArticleFont(font);
    showFontInToolbar(font.GetFaceName(), font.GetPointSize());
}

void MainFrame::onColour(wxCommandEvent& event) {
    if (!isDocumentOpen() || !isEditorShown()) return;
    wxColourDialog dialog(this);
    dialog.SetTitle(wxString());
    if (dialog.ShowModal() != wxID_OK) return;
    const wxColour colour = dialog.GetColourData().GetColour();
    if (!colour.IsOk()) return;
    if (event.GetId() == ID_TEXT_COLOUR)
        article_->setArticleColour(colour);
    else
        article_->setArticleBackground(colour);
}

void MainFrame::onTextRevert(wxCommandEvent& event) {
    switch (event.GetId()) {
    case ID_DEFAULT_FONT:
        article_->resetArticleStyle(K_Fname);
        break;
    case ID_DEFAULT_TEXT_COLOUR:
        article_->resetArticleStyle(K_fc);
        break;
    case ID_DEFAULT_BACKGROUND_COLOUR:
        article_->resetArticleStyle(K_bg);
        break;
    default:
        break;
    }
}

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

void MainFrame::onFontFace(wxCommandEvent& event) {
    if (isDocumentOpen()) article_->setArticleFace(event.GetString());
}

// Only a size picked from the list arrives here; typed text is ignored.
void MainFrame::onFontSize(wxCommandEvent& event) {
    long size = 0;
    if (!isDocumentOpen() || !event.GetString().ToLong(&size)) return;
    if (size >= 5 && size <= 100) article_->setArticleSize(static_cast<int>(size));
}

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
    // Without the top node's category the tree would ask again at once: a
    // request that cannot be met ends here.
    if (!groups_->selectCategoryById(1)) return;
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

void MainFrame::onStatusMessage(wxCommandEvent& event) {
    SetStatusText(event.GetString(), 0);
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

void MainFrame::onCaptionColoursChanged(wxCommandEvent&) {
    caption_->applyColours();
    caption_->Refresh();
}

// ---------------------------------------------------------------------------
// Article history

void MainFrame::goHistory(int index) {
    if (index < 0 || static_cast<size_t>(index) >= history_->size()) return;
    commitArticle();
    const ArticleHistory::Entry entry = history_->at(static_cast<size_t>(index));
    Block* node = db_->getBlock(static_cast<int>(entry.nodeId));
    if (!node) return;
    if (!groups_->selectCategoryById(entry.groupId) && !groups_->selectCategoryById(1)) return;
    tree_->selectNode(node);
}

void MainFrame::onHistoryButton(wxCommandEvent& event) {
    if (!isDocumentOpen()) return;
    switch (event.GetId()) {
    case ID_HISTORY_BACK:
    case ID_GO_BACK:
        goHistory(history_->back());
        break;
    case ID_HISTORY_FORWARD:
    case ID_GO_FORWARD:
        goHistory(history_->forward());
        break;
    default: {
        const Block* shown = article_->node();
        showHistoryMenu(this, caption_, *history_, *db_,
                        shown ? static_cast<uint32_t>(shown->id()) : 0);
        break;
    }
    }
}

void MainFrame::onHistoryItem(wxCommandEvent& event) {
    goHistory(historyIndexForCommand(*history_, event.GetId()));
}

// ---------------------------------------------------------------------------
// Event table

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
    // Search
    EVT_MENU(ID_FIND, MainFrame::onFind)
    EVT_MENU(ID_REPLACE, MainFrame::onReplace)
    EVT_MENU(ID_FIND_NEXT, MainFrame::onFindNext)
    EVT_MENU(ID_FIND_PREV, MainFrame::onFindNext)
    EVT_MENU(ID_VIEW_SEARCH_LIST, MainFrame::onViewSearchList)
    // View
    EVT_MENU(ID_SHOW_IN_FLOATING_WIN, MainFrame::onShowInFloatingWin)
    EVT_MENU(ID_VIEW_NAV_AND_TEXT, MainFrame::onViewNavAndText)
    EVT_MENU(ID_SPLIT_NAVI, MainFrame::onSplitNavi)
    EVT_MENU(ID_TOGGLE_PLAIN_HTML, MainFrame::onTogglePlainHtml)
    EVT_MENU(ID_GO_BACK, MainFrame::onHistoryButton)
    EVT_MENU(ID_GO_FORWARD, MainFrame::onHistoryButton)
    EVT_MENU(ID_GO_HISTORY, MainFrame::onHistoryButton)
    // Text
    EVT_MENU(ID_PLAIN_TEXT, MainFrame::onFormatSwitch)
    EVT_MENU(ID_HTML, MainFrame::onFormatSwitch)
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
    EVT_MENU(ID_CREATE_DIARY, MainFrame::onCreateDiary)
    EVT_MENU(ID_EXPORT_TEXT, MainFrame::onExportText)
    EVT_MENU(ID_PREFERENCES, MainFrame::onPreferences)
    EVT_MENU(ID_VIEW_OBJECTS, MainFrame::onViewObjects)
    EVT_MENU(ID_GOTO_NODE, MainFrame::onGotoNode)
    EVT_MENU(ID_OPEN_BACKUP, MainFrame::onOpenBackup)
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
    EVT_MENU(ID_STATUS_MESSAGE, MainFrame::onStatusMessage)
    EVT_MENU(ID_FAVOURITES_CHANGED, MainFrame::onFavouritesChanged)
    EVT_MENU(ID_RECENT_CHANGED, MainFrame::onRecentChanged)
    EVT_MENU(ID_HISTORY_LIMIT_CHANGED, MainFrame::onHistoryLimitChanged)
    EVT_MENU(ID_CAPTION_COLOURS_CHANGED, MainFrame::onCaptionColoursChanged)
    // Caption bar and history menu
    EVT_BUTTON(ID_HISTORY_MENU, MainFrame::onHistoryButton)
    EVT_BUTTON(ID_HISTORY_BACK, MainFrame::onHistoryButton)
    EVT_BUTTON(ID_HISTORY_FORWARD, MainFrame::onHistoryButton)
    EVT_MENU_RANGE(ID_HISTORY_FIRST, ID_HISTORY_LAST, MainFrame::onHistoryItem)
    // Enabling rules of the font boxes (the table binds the commands' rules)
    EVT_UPDATE_UI(ID_FONT_CHOICE, MainFrame::onUpdateFontBoxes)
    EVT_UPDATE_UI(ID_FONT_SIZE, MainFrame::onUpdateFontBoxes)
    EVT_CLOSE(MainFrame::onClose)
wxEND_EVENT_TABLE()
// clang-format on

} // namespace qn
