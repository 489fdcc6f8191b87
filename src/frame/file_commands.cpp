// The main window's document file commands: new, open, save, save as,
// optimize, close, document id, and the window layout kept in a document.
#include "frame/file_commands.h"

#include "app/app_config.h"
#include "app/file_list.h"
#include "app/ini_file.h"
#include "app/my_app.h"
#include "app/text_constants.h"
#include "article/article_history.h"
#include "article/article_window.h"
#include "article/caption_bar.h"
#include "article/qudb_fs_handler.h"
#include "frame/command_ids.h"
#include "frame/font_choice.h"
#include "frame/main_frame.h"
#include "frame/password_dialog.h"
#include "search/my_message.h"
#include "store/safe_file.h"
#include "tree/group_container.h"
#include "tree/save_setting.h"
#include "tree/tree_panel.h"

#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/panel.h>
#include <wx/splitter.h>
#include <wx/utils.h>

#include <algorithm>

namespace qn {

// ---------------------------------------------------------------------------
// Window-free rules

int mainSashCode(bool outerSplit, int sashPosition, bool navigationShown) {
    if (!outerSplit || sashPosition <= 2) return navigationShown ? -1 : 0;
    return sashPosition;
}

std::vector<int> layoutValue(const LayoutNow& now) {
    return {now.x,        now.y, now.width, now.height, now.sashCode, now.maximized ? 1 : 0,
            now.innerSash};
}

bool layoutToStore(const std::vector<int>& stored, const LayoutNow& now, std::vector<int>& out) {
    if (now.maximized) {
        if (stored.size() >= 6) {
            if (stored[5] != 0) return false;
            out = stored;
            out[5] = 1;
            return true;
        }
        // Too short to carry the flag: a complete value, keeping whatever
        // normal geometry was stored.
        out = layoutValue(now);
        for (size_t i = 0; i < stored.size() && i < 4; ++i)
            out[i] = stored[i];
        return true;
    }
    out = layoutValue(now);
    return out != stored;
}

wxString withDefaultExtension(const wxString& path, int filterIndex, const wxString& extension) {
    if (path.empty() || filterIndex != 0) return path;
    wxFileName name(path);
    if (name.HasExt()) return path;
    name.SetExt(extension);
    return name.GetFullPath();
}

wxString chosenPath(const wxString& path, const wxString& folder, const wxString& name) {
    if (!path.empty()) return path;
    if (name.empty()) return wxString();
    return wxFileName(folder, name).GetFullPath();
}

// ---------------------------------------------------------------------------

namespace {

const wxString kSaveFilter = wxS("Quillnest files (*.q2db)|*.q2db|All files (*.*)|*.*");
const wxString kOpenFilter =
    wxS("Quillnest files (*.q2db, *.qudb)|*.q2db;*.qudb|All files (*.*)|*.*");

int ask(wxWindow* parent, const wxString& message, long style) {
    return showMessage(message, text(wxS("s.Title")), style, parent);
}

void addRecent(const wxString& path) {
    if (recentFiles().add(path)) broadcastCommand(ID_RECENT_CHANGED);
}

// The folder a file dialog starts in: the shown document's, if it has a file.
wxString dialogFolder(const Database& db) {
    return db.isOpen() && !db.path().empty() ? wxFileName(db.path()).GetPath() : wxString();
}

// Save dialog; "" when cancelled.
wxString askSavePath(wxWindow* parent, const Database& db) {
    wxFileDialog dialog(parent, text(wxS("s.EnterFilename")), dialogFolder(db), wxString(),
                        kSaveFilter, wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return wxString();
    return withDefaultExtension(
        chosenPath(dialog.GetPath(), dialog.GetDirectory(), dialog.GetFilename()),
        dialog.GetFilterIndex(), wxS("q2db"));
}

// The file and, when the engine said so, why it could not be written.
void reportSaveFailure(wxWindow* parent, const wxString& path, const wxString& reason) {
    wxString message = text(wxS("s.SaveFailed")) + wxS("\n\n") + path;
    if (!reason.empty()) message << wxS("\n") << reason;
    ask(parent, message, MSG_OK | MSG_ICON_ERROR);
}

// A new document in this window: category 1 shows the top node.
void startNewDocument(MainFrame& frame) {
    Database& db = frame.database();
    frame.SetTitle(text(wxS("s.Title-New")));
    db.newDocument();
    QudbFSHandler::registerDocument(db.dbid(), &db); // a refusal changes nothing here
    frame.categoryBar()->addCategory(1, -1);
    frame.treePanel()->applyTreeLook();
    frame.categoryBar()->selectCategoryById(1);
    frame.enableDocumentMenus(true);
}

} // namespace

bool mayWriteFile(wxWindow* parent, const wxString& path) {
    if (!frameShowingFile(path)) return true;
    ask(parent, text(wxS("s.FileIsOpen")) + wxS("\n\n") + path, MSG_OK | MSG_ICON_ERROR);
    return false;
}

// ---------------------------------------------------------------------------
// Operations

bool MainFrame::openOrCreate(const wxString& path) {
    if (path.empty()) {
        MainFrame* target = this;
        if (isDocumentOpen()) {
            target = createFromSettings(text(wxS("s.Title")));
            target->moveOffOtherWindows();
            target->Show();
        }
        startNewDocument(*target);
        return true;
    }

    if (MainFrame* shown = frameForPath(path)) {
        if (shown->IsIconized()) shown->Iconize(false);
        shown->Raise();
        return true;
    }
    MainFrame* target = this;
    if (isDocumentOpen()) {
        // Cascaded from this window; a layout stored in the document wins.
        const wxRect r = GetRect();
        target = new MainFrame(text(wxS("s.Title")), r.GetPosition() + wxPoint(30, 30), r.GetSize(),
                               windowGeometryFromSettings().sash);
    }
    if (target->openDocument(path)) {
        if (target != this) target->moveOffOtherWindows(); // also over a stored layout
        target->Show();
        return true;
    }
    if (target != this) target->Destroy();
    return false;
}

bool MainFrame::openDocument(const wxString& path) {
    Database& db = *db_;
    if (db.isOpen()) return false; // one document per window
    int result;
    {
        wxBusyCursor busy;
        result = db.open(path);
    }
    if (result != Database::OPEN_OK) {
        if (!db.isOpen()) db.close(); // forget the path a failed open keeps
        const wxString key = result == Database::OPEN_VERSION        ? wxS("s.OpenErrorVersion")
                             : result == Database::OPEN_CORRUPT      ? wxS("s.OpenErrorCorrupted")
                             : result == Database::OPEN_NOT_DOCUMENT ? wxS("s.OpenErrorNotQuil")
                                                                     : wxS("s.OpenErrorNotFound");
        ask(this, text(key), MSG_OK | MSG_ICON_ERROR);
        return false;
    }
    if (!unlockDocument(this, db)) return false; // closed again, reported when needed
    db.rememberFileState();

    setFramePath(this, path);
    SetTitle(text(wxS("s.Title-")) + path);
    if (settings().getInt(wxS("currentWinPosSizeOnOpen")) == 0) applyLayout();

    const bool registered = QudbFSHandler::registerDocument(db.dbid(), &db);

    groups_->createCategories(db.getIntList(K_grps));
    tree_->applyTreeLook();
    // The top node always has a panel: the tree falls back to it when a
    // node lies outside the current category. Without a stored current
    // category the top node's is current.
    groups_->ensureCategory(1);
    int current = static_cast<int>(db.getInt(K_grp));
    if (current == 0 || !groups_->selectCategoryById(current)) groups_->selectCategoryById(1);

    addRecent(path);
    enableDocumentMenus(true);
    if (!registered) ask(this, text(wxS("s.sameDbIdOpend")), MSG_OK | MSG_ICON_WARNING);
    return true;
}

bool MainFrame::saveDocument() {
    Database& db = *db_;
    if (!db.isModified()) return true;
    const bool firstSave = db.path().empty();
    if (firstSave) {
        const wxString path = askSavePath(this, db);
        if (path.empty() || !mayWriteFile(this, path)) return false;
        db.setPath(path);
        SetTitle(text(wxS("s.Title-")) + path);
    } else if (db.changedOnDisk()) {
        // Someone else's change is never overwritten silently: the edits go
        // to a copy of the file as it is now, or wait.
        if (ask(this, text(wxS("s.ChangedOnDisk")), MSG_YES | MSG_NO | MSG_ICON_WARNING) !=
            MSG_YES)
            return false;
        const wxString other = askSavePath(this, db);
        if (other.empty() || other == db.path()) return false;
        wxString why;
        if (!db.moveToCopy(other, why)) {
            reportSaveFailure(this, other, why);
            return false;
        }
        SetTitle(text(wxS("s.Title-")) + other);
        setFramePath(this, other);
        addRecent(other);
    }

    bool saved;
    {
        wxBusyCursor busy;
        saved = db.save();
    }
    const wxString path = db.path();
    if (!saved) {
        if (firstSave && db.isNew()) {
            // No file was made: the next save asks for a name again.
            db.setPath(wxString());
            SetTitle(text(wxS("s.Title-New")));
        }
        reportSaveFailure(this, path, db.lastError().message);
        return false;
    }
    if (firstSave) {
        setFramePath(this, path);
        addRecent(path);
    }
    return true;
}

bool MainFrame::saveCopyAs(const wxString& path) {
    commitArticle();
    saveLayout();
    wxBusyCursor busy;
    return db_->copyTo(path);
}

bool MainFrame::closeDocument(bool withCancel) {
    Database& db = *db_;
    if (!db.isOpen()) return true;
    commitArticle();
    const bool userChanges = db.isModified();
    saveLayout();
    if (db.isModified() && !userChanges) {
        // Only the window layout and the view state changed: nothing the
        // user would be asked about. They go into a saved document that can
        // be written and are dropped otherwise.
        if (!db.isNew() && !db.path().empty() && wxFileName::IsFileWritable(db.path())) {
            wxLogNull quiet;
            db.save();
        }
    } else if (db.isModified()) {
        if (saveSettingChar(SAVE_WITHOUT_ASKING) == L'0') {
            wxString question = text(wxS("s.SaveChanges?"));
            if (!db.path().empty()) question << wxS("\n\n") << db.path();
            const int answer =
                ask(this, question,
                    MSG_YES | MSG_NO | (withCancel ? long(MSG_CANCEL) : 0L) | MSG_ICON_QUESTION);
            if (answer == MSG_YES) {
                if (!saveDocument()) return false;
            } else if (answer != MSG_NO) {
                return false; // Cancel, or the box was closed
            }
        } else if (!saveDocument()) {
            return false;
        }
    }

    // Floating windows show nodes of this document.
    closeFloatingWindows();
    // Every id this document was registered under, also a changed one.
    QudbFSHandler::unregisterDatabase(&db);
    setFramePath(this, wxString());
    groups_->clearCategories();
    // The tree and the article point into the document: empty them first.
    tree_->clearTree();
    db.close();
    if (searchList_) {
        searchList_->Destroy();
        searchList_ = nullptr;
    }
    return true;
}

void MainFrame::saveLayout() {
    Database& db = *db_;
    if (!db.isOpen()) return;
    if (!IsIconized() && settings().getInt(wxS("currentWinPosSizeOnOpen")) == 0 &&
        saveSettingIsOne(SAVE_WINDOW_LAYOUT)) {
        LayoutNow now;
        const wxRect r = GetRect();
        now.x = r.x;
        now.y = r.y;
        now.width = r.width;
        now.height = r.height;
        const bool navigationShown = outer_->IsSplit() || outer_->GetWindow1() == inner_;
        now.sashCode = mainSashCode(outer_->IsSplit(), outer_->GetSashPosition(), navigationShown);
        now.maximized = IsMaximized();
        now.innerSash = inner_->IsSplit() ? inner_->GetSashPosition() : 0;
        std::vector<int> value;
        if (layoutToStore(db.getIntList(K_window), now, value)) db.setIntList(K_window, value);
    }

    groups_->saveCategoryState();
    const std::vector<int> ids = groups_->categoryIds();
    if (ids != db.getIntList(K_grps)) db.setIntList(K_grps, ids);
    const int current = groups_->currentCategoryId();
    if (saveSettingIsOne(SAVE_VIEW_STATE) && current != 0 && current != db.getInt(K_grp))
        db.setInt(K_grp, current);
}

void MainFrame::applyLayout() {
    const std::vector<int> v = db_->getIntList(K_window);
    if (v.size() < 4) return; // not even a position and a size
    SetSize(v[0], v[1], v[2], v[3]);

    if (v.size() >= 5) {
        const int code = v[4];
        const bool showBar = v.size() > 6 && v[6] > 0;
        auto showCategoryBar = [&]() {
            if (!showBar) return; // a 0 never hides a shown bar
            if (!inner_->IsSplit()) {
                naviPanel_->Show();
                groups_->Show();
                inner_->SplitHorizontally(naviPanel_, groups_, v[6]);
            } else {
                inner_->SetSashPosition(v[6]);
            }
        };
        if (code < 0) {
            // Only the navigation side.
            if (outer_->IsSplit()) {
                outer_->Unsplit(articlePanel_);
            } else if (outer_->GetWindow1() == articlePanel_) {
                inner_->Show();
                outer_->SplitVertically(inner_, articlePanel_, 5);
                outer_->Unsplit(articlePanel_);
            }
            showCategoryBar();
        } else if (code < 3) {
            // Only the article.
            if (outer_->IsSplit()) {
                outer_->Unsplit(inner_);
            } else if (outer_->GetWindow1() == inner_) {
                articlePanel_->Show();
                outer_->SplitVertically(inner_, articlePanel_, 5);
                outer_->Unsplit(inner_);
            }
        } else {
            if (!outer_->IsSplit()) {
                inner_->Show();
                articlePanel_->Show();
                outer_->SplitVertically(inner_, articlePanel_, code);
            } else {
                outer_->SetSashPosition(code);
            }
            articlePanel_->Layout();
            showCategoryBar();
        }
    }
    if (v.size() > 5) {
        if (v[5] == 1 && !IsMaximized()) Maximize(true);
        if (v[5] == 0 && IsMaximized()) Maximize(false);
    }
}

void MainFrame::moveOffOtherWindows() {
    // A window exactly on top of another hides it completely: the user
    // would not see that a second one opened.
    constexpr int kStep = 30;
    wxPoint pos = GetPosition();
    for (size_t tries = 0; tries < registeredFrames().size(); ++tries) {
        bool covered = false;
        for (const FrameEntry& e : registeredFrames())
            if (e.frame != this && e.frame->IsShown() && e.frame->GetPosition() == pos)
                covered = true;
        if (!covered) break;
        pos += wxPoint(kStep, kStep);
    }
    if (pos != GetPosition()) Move(pos);
}

// ---------------------------------------------------------------------------
// Commands

void MainFrame::onNew(wxCommandEvent&) {
    openOrCreate(wxString());
}

void MainFrame::onOpen(wxCommandEvent&) {
    wxFileDialog dialog(this, text(wxS("s.SelectFile")), dialogFolder(*db_), wxString(),
                        kOpenFilter, wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return;
    openOrCreate(chosenPath(dialog.GetPath(), dialog.GetDirectory(), dialog.GetFilename()));
}

// The layout goes with the save, so that closing right afterwards finds
// nothing left to write.
void MainFrame::onSave(wxCommandEvent&) {
    if (!isDocumentOpen()) return;
    commitArticle();
    saveLayout();
    if (db_->isModified()) saveDocument();
}

void MainFrame::onSaveAs(wxCommandEvent&) {
    if (!isDocumentOpen()) return;
    commitArticle();
    saveLayout();
    if (db_->path().empty()) {
        saveDocument();
        return;
    }
    const wxString path = askSavePath(this, *db_);
    if (path.empty() || path == db_->path() || !mayWriteFile(this, path)) return;
    if (db_->changedOnDisk()) {
        // Copying saves first, which would overwrite another program's
        // change: the copy starts from the file as it is now and takes this
        // window's edits, and the file itself is left alone.
        wxString why;
        if (!db_->moveToCopy(path, why)) {
            reportSaveFailure(this, path, why);
            return;
        }
        if (!db_->save()) reportSaveFailure(this, path, db_->lastError().message);
    } else if (!saveCopyAs(path)) {
        db_->reopen(); // a failed copy may have let go of the file
        db_->rememberFileState();
        reportSaveFailure(this, path, wxString());
        return;
    }
    db_->setPath(path);
    SetTitle(text(wxS("s.Title-")) + path);
    db_->reopen();
    db_->rememberFileState();
    setFramePath(this, path);
    addRecent(path);
    if (ask(this, text(wxS("s.sameDbIdCreated")), MSG_YES | MSG_NO | MSG_ICON_WARNING) == MSG_YES) {
        wxCommandEvent change(wxEVT_MENU, ID_CHANGE_FILE_ID);
        ProcessWindowEvent(change);
    }
}

void MainFrame::onOptimize(wxCommandEvent&) {
    Database& db = *db_;
    if (!isDocumentOpen()) return;
    commitArticle();
    saveLayout();
    if (db.isModified()) {
        const bool wasNew = db.isNew();
        if (!saveDocument() || wasNew) return; // a first save already writes a compact file
    }
    if (db.isNew() || db.path().empty()) return;

    const wxString original = db.path();
    const wxString backupName = wxFileName(original).GetFullName() + wxS(".bak");
    const bool keep = ask(this, wxString::Format(text(wxS("s.KeepBackup")), backupName),
                          MSG_YES | MSG_NO | MSG_ICON_QUESTION) == MSG_YES;
    wxString why;
    Database::Compact result;
    {
        wxBusyCursor busy;
        result = db.compact(keep, why);
    }
    if (result == Database::Compact::CopyFailed)
        why.clear(); // the copy's own words stay in the log
    if (result != Database::Compact::Done) {
        ask(this, text(wxS("s.FailedToOptimize")) + (why.empty() ? wxString() : wxS("\n\n") + why),
            MSG_OK | MSG_ICON_ERROR);
        return;
    }
    ask(this, text(wxS("s.Optimized")), MSG_OK | MSG_ICON_INFO);
}

void MainFrame::onCloseDocument(wxCommandEvent&) {
    if (isDocumentOpen() && !closeDocument(false)) return;
    history_->clear();
    tree_->SetBackgroundColour(*wxWHITE);
    article_->SetBackgroundColour(*wxWHITE);
    updateStatusBar();
    enableDocumentMenus(false);
    SetTitle(text(wxS("s.Title")));
    // Nothing of the old document stays in sight: the window looks as it
    // did at start.
    showFontInToolbar(wxString(), 10);
    fontChoice_->clearValue();
    caption_->resetCaption();
    SetStatusText(text(wxS("m.Welcome")), 0);
    SetStatusText(wxString(), 1);
}

void MainFrame::onChangeFileId(wxCommandEvent&) {
    Database& db = *db_;
    if (!isDocumentOpen()) return;
    if (ask(this, text(wxS("s.changeDbId")), MSG_YES | MSG_NO | MSG_ICON_QUESTION) != MSG_YES)
        return;
    if (!db.getString(K_pwd).empty()) {
        // The cipher key depends on the id: it changes with the password.
        if (ask(this, text(wxS("s.changeDbId2")), MSG_YES | MSG_NO | MSG_ICON_QUESTION) ==
            MSG_YES) {
            wxCommandEvent password(wxEVT_MENU, ID_PASSWORD);
            ProcessWindowEvent(password);
        }
        return;
    }
    db.newDbid();
    // Object links of this window follow the document under its new id.
    QudbFSHandler::unregisterDatabase(&db);
    QudbFSHandler::registerDocument(db.dbid(), &db);
    wxCommandEvent optimize(wxEVT_MENU, ID_OPTIMIZE);
    ProcessWindowEvent(optimize);
}

} // namespace qn
