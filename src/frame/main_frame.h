// The window of one document: navigation tree and category bar on the left,
// caption bar and article on the right, menus, two toolbars, status bar.
#pragma once

#include "store/database.h"
#include "frame/sash_keeper.h"
#include "ui/chosen_file.h"

#include <wx/colour.h>
#include <wx/font.h>
#include <wx/frame.h>

#include <memory>

class wxComboBox;
class wxMenu;
class wxPanel;
class wxSplitterWindow;
class wxToolBar;
class wxUpdateUIEvent;

namespace qn {

class ArticleHistory;
class ArticleWindow;
class CaptionBar;
class DocumentCommands;
struct FindTargets;
class FontChoice;
class FrameArticleSide;
class GroupContainer;
class ImageArchive;
class RecoveryKeeper;
class TreePanel;
struct RecoveryInfo;

struct PreferencesChoice;

class MainFrame : public wxFrame {
public:
    // The smallest width (height in the navigation side) a pane keeps
    // while the window shows both.
    static constexpr int kMinimumPaneSize = 80;

    // Builds the whole window (not shown yet) and registers it with the
    // application. `sashPosition` is the outer splitter's sash.
    MainFrame(const wxString& title, const wxPoint& pos, const wxSize& size, int sashPosition);
    ~MainFrame() override;

    // A window placed by the setting "window", as start-up makes the first.
    static MainFrame* createFromSettings(const wxString& title);

    // --- The parts of the window (owned by the window or by the toolkit) ---
    Database& database() { return *db_; }
    TreePanel* treePanel() const { return tree_; }
    GroupContainer* categoryBar() const { return groups_; }
    CaptionBar* captionBar() const { return caption_; }
    ArticleWindow* articleWindow() const { return article_; }
    ArticleHistory& articleHistory() { return *history_; }
    // The recovery file of this window's unsaved edits.
    RecoveryKeeper& recovery() { return *recovery_; }
    // The global search result window; null until the first global search.
    wxWindow* searchList() const { return searchList_; }
    void setSearchList(wxWindow* list) { searchList_ = list; }

    wxSplitterWindow* outerSplitter() const { return outer_; }
    wxSplitterWindow* innerSplitter() const { return inner_; }
    wxPanel* navigationPanel() const { return naviPanel_; }
    wxPanel* articlePanel() const { return articlePanel_; }
    wxToolBar* mainToolBar() const { return mainTools_; }
    wxToolBar* navigationToolBar() const { return naviTools_; }
    FontChoice* fontChoice() const { return fontChoice_; }
    wxComboBox* fontSizeBox() const { return fontSize_; }
    wxMenu* favouritesMenu() const { return favMenu_; }
    wxMenu* recentMenu() const { return recentMenu_; }

    // --- State ---
    // A file is open or the window holds a new document.
    bool isDocumentOpen() const { return db_->isOpen(); }
    // The title is shown with a leading "*" while the document has changes
    // that are not saved; GetTitle() gives what is shown.
    void SetTitle(const wxString& title) override;
    // Puts the mark on or off as the document's state asks (while idle).
    void refreshTitleMark();
    // The article window shows a node in its plain-text editor.
    bool isEditorShown() const;
    // Writes pending editor changes into the shown node; true when it did.
    bool commitArticle();
    // The question before the document writes a node's external article
    // file: Yes, Save all or No (the message-box codes).
    int askBeforeWritingFile(const wxString& path);

    // --- Operations of the window ---
    // Enables or disables the Edit, Search and Text menus.
    void enableDocumentMenus(bool on);
    // Status fields 2 to 4 from the editor (emptied without a document).
    void updateStatusBar();
    void showFontInToolbar(const wxString& faceName, int pointSize);
    // Shows the node in a new floating window.
    void openFloating(int nodeId);
    // Floating windows of this window: all of them (nullptr), or those
    // showing one of `ids`; their geometry is not recorded.
    void closeFloatingWindows(const std::vector<int>* ids = nullptr);
    // Rebuilds the favourites / recent-files submenus from their lists (the
    // first 20 entries: the submenus have 20 ids each).
    void rebuildFavouritesMenu();
    void rebuildRecentMenu();
    // True when this window's event table carries out the menu command.
    bool handlesCommand(int id) const;
    // Shows the About box.
    void showAbout();
    // The password command: protect, change or remove the document's
    // password.
    void changePassword();
    // Carries out a confirmed preferences dialog: every window re-reads the
    // program settings, the document keeps its new default look.
    void applyPreferences(const PreferencesChoice& choice);
    // Shows the history entry at `index` (nothing for a negative index).
    void goHistory(int index);

    // --- Document file commands (carried out by DocumentCommands) ---
    bool openOrCreate(const wxString& path);
    bool openDocument(const wxString& path);
    bool saveDocument();
    bool saveCopyAs(const wxString& path);
    // False when the close was abandoned or saving failed.
    bool closeDocument(bool withCancel);
    // Shows the edits kept in a recovery file (this window has no document).
    bool restoreRecovered(const wxString& recoveryFile, const RecoveryInfo& info);
    void saveLayout();
    void applyLayout();
    // Moves a new window down and right until it covers no other window
    // exactly.
    void moveOffOtherWindows();

protected:
    void DoGiveHelp(const wxString& text, bool show) override;

private:
    // Built from the command table (command_bars.cpp).
    void buildMenus();
    void buildMainToolBar(ImageArchive& archive);
    void buildNavigationToolBar(ImageArchive& archive);
    void buildStatusBar();

    // File commands (file_commands.cpp).
    void onNew(wxCommandEvent& event);
    void onOpen(wxCommandEvent& event);
    void onSave(wxCommandEvent& event);
    void onSaveAs(wxCommandEvent& event);
    void onOptimize(wxCommandEvent& event);
    void onCloseDocument(wxCommandEvent& event);
    void onChangeFileId(wxCommandEvent& event);
    void onCreateDiary(wxCommandEvent& event);
    void onExportText(wxCommandEvent& event);
    void onPreferences(wxCommandEvent& event);
    void onViewObjects(wxCommandEvent& event);
    // Go to note and Open backup (workflow_commands.cpp).
    void onGotoNode(wxCommandEvent& event);
    void onOpenBackup(wxCommandEvent& event);
    // Find and Replace (find_wiring.cpp) and what they work with.
    FindTargets findTargets();
    void onFind(wxCommandEvent& event);
    void onReplace(wxCommandEvent& event);

    // Commands carried out here (main_frame.cpp).
    void onFavourite(wxCommandEvent& event);
    void onRecent(wxCommandEvent& event);
    void onHelp(wxCommandEvent& event);
    void onOpenPath(wxCommandEvent& event);
    void onPassword(wxCommandEvent& event);
    void onExit(wxCommandEvent& event);
    void onAbout(wxCommandEvent& event);
    void onEditCommand(wxCommandEvent& event);
    void onFindNext(wxCommandEvent& event);
    void onViewSearchList(wxCommandEvent& event);
    void onTogglePlainHtml(wxCommandEvent& event);
    void onFormatSwitch(wxCommandEvent& event);
    void onViewNavAndText(wxCommandEvent& event);
    void onSplitNavi(wxCommandEvent& event);
    void onShowInFloatingWin(wxCommandEvent& event);
    void onWordWrap(wxCommandEvent& event);
    void onReadOnly(wxCommandEvent& event);
    void onFont(wxCommandEvent& event);
    void onColour(wxCommandEvent& event);
    void onTextRevert(wxCommandEvent& event);
    void onNaviTool(wxCommandEvent& event);
    void onFontFace(wxCommandEvent& event);
    void onFontSize(wxCommandEvent& event);
    void onClose(wxCloseEvent& event);

    // Notifications.
    void onSelectInTopCategory(wxCommandEvent& event);
    void onOpenFloatingNotice(wxCommandEvent& event);
    void onSelectNodeNotice(wxCommandEvent& event);
    void onShowLink(wxCommandEvent& event);
    void onUpdateStatus(wxCommandEvent& event);
    void onStatusMessage(wxCommandEvent& event);
    void onFavouritesChanged(wxCommandEvent& event);
    void onRecentChanged(wxCommandEvent& event);
    void onHistoryLimitChanged(wxCommandEvent& event);
    void onCaptionColoursChanged(wxCommandEvent& event);
    void onHistoryButton(wxCommandEvent& event);
    void onHistoryItem(wxCommandEvent& event);

    // Enabling rules (command_bars.cpp): the table's rule of the event's
    // command, the edit items' own conditions, the font boxes.
    void onUpdateCommand(wxUpdateUIEvent& event);
    void updateEditItem(wxUpdateUIEvent& event);
    void onUpdateFontBoxes(wxUpdateUIEvent& event);

    std::unique_ptr<Database> db_;
    std::unique_ptr<ArticleHistory> history_;
    std::unique_ptr<FrameArticleSide> articleSide_;
    std::unique_ptr<DocumentCommands> documents_;
    std::unique_ptr<RecoveryKeeper> recovery_;
    std::unique_ptr<SashKeeper> outerSash_;
    std::unique_ptr<SashKeeper> innerSash_;

    wxString plainTitle_;
    bool titleMarked_ = false;
    wxSplitterWindow* outer_ = nullptr;
    wxSplitterWindow* inner_ = nullptr;
    wxPanel* naviPanel_ = nullptr;
    wxPanel* articlePanel_ = nullptr;
    TreePanel* tree_ = nullptr;
    GroupContainer* groups_ = nullptr;
    CaptionBar* caption_ = nullptr;
    ArticleWindow* article_ = nullptr;
    wxWindow* searchList_ = nullptr;

    wxMenu* fileMenu_ = nullptr;
    wxMenu* favMenu_ = nullptr;
    wxMenu* recentMenu_ = nullptr;
    wxToolBar* mainTools_ = nullptr;
    wxToolBar* naviTools_ = nullptr;
    FontChoice* fontChoice_ = nullptr;
    wxComboBox* fontSize_ = nullptr;

    wxDECLARE_EVENT_TABLE();
};

} // namespace qn
