// Carried out for one main window: the file dialogs, questions and
// reports around the document engine's open, save, copy and close.
#include "frame/document_commands.h"

#include "app/app_config.h"
#include "app/file_list.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "article/article_history.h"
#include "article/article_window.h"
#include "article/caption_bar.h"
#include "article/floating_win.h"
#include "article/qudb_fs_handler.h"
#include "backup/backup_commands.h"
#include "convert/db_conv.h"
#include "frame/file_commands.h"
#include "frame/font_choice.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "frame/password_dialog.h"
#include "frame/recovery_keeper.h"
#include "objects/object_rows.h"
#include "objects/object_viewer.h"
#include "store/safe_file.h"
#include "tree/group_container.h"
#include "tree/save_setting.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"
#include "ui/my_message.h"

#include <wx/filedlg.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/utils.h>

#include <cerrno>
#include <optional>
#include <vector>

namespace qn {

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

// Why a document could not be opened: the file, and the reason when known.
void reportOpenFailure(wxWindow* parent, const wxString& path, const wxString& reason) {
    wxString message = text(wxS("s.OpenErrorNotFound")) + wxS("\n\n") + path;
    if (!reason.empty()) message << wxS("\n\n") << reason;
    ask(parent, message, MSG_OK | MSG_ICON_ERROR);
}

// The reason a file that is not there gives.
wxString missingFileReason() {
    return wxSysErrorMsgStr(ENOENT);
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
    // Nothing of it is the user's yet: closing it asks nothing.
    db.markUntouched();
    frame.SetTitle(text(wxS("s.Title-New")));
}

// A window opened for a document starts with the keyboard in its tree, as
// the first window does; left alone, the toolkit gives the focus to the
// first control of the toolbar, the font-size box, where the arrow keys
// would change the article's font.
void showWithTreeFocus(MainFrame* frame) {
    frame->Show();
    frame->treePanel()->SetFocus();
}

} // namespace

Database& DocumentCommands::db() {
    return frame_.database();
}

bool DocumentCommands::openOrCreate(const wxString& path) {
    if (path.empty()) {
        MainFrame* target = &frame_;
        if (frame_.isDocumentOpen()) {
            target = MainFrame::createFromSettings(text(wxS("s.Title")));
            target->moveOffOtherWindows();
            showWithTreeFocus(target);
        }
        startNewDocument(*target);
        return true;
    }

    // Documents of the older format go through the converter, which asks
    // this window to open the new document when it succeeds.
    if (path.Lower().EndsWith(wxS(".qudb"))) {
        if (!wxFileExists(path)) {
            reportOpenFailure(&frame_, path, missingFileReason());
            return false;
        }
        DBConv converter(&frame_, path);
        converter.ShowModal();
        return false;
    }
    // The same file under another spelling of its path, or through a link,
    // raises its window too: two windows on one file would save over each
    // other.
    if (MainFrame* shown = frameShowingFile(path)) {
        if (shown->IsIconized()) shown->Iconize(false);
        shown->Raise();
        return true;
    }
    MainFrame* target = &frame_;
    if (frame_.isDocumentOpen()) {
        // Cascaded from this window; a layout stored in the document wins.
        const wxRect r = frame_.GetRect();
        target = new MainFrame(text(wxS("s.Title")), r.GetPosition() + wxPoint(30, 30), r.GetSize(),
                               windowGeometryFromSettings().sash);
    }
    if (target->openDocument(path)) {
        if (target != &frame_) target->moveOffOtherWindows(); // also over a stored layout
        showWithTreeFocus(target);
        return true;
    }
    if (target != &frame_) target->Destroy();
    return false;
}

bool DocumentCommands::openDocument(const wxString& path, const wxString& recovery) {
    Database& db = frame_.database();
    if (db.isOpen()) return false; // one document per window
    int result;
    {
        wxBusyCursor busy;
        result = db.open(path);
    }
    if (result != Database::OPEN_OK) {
        wxString reason;
        if (result == Database::OPEN_VERSION)
            reason = text(wxS("s.OpenErrorVersion"));
        else if (result == Database::OPEN_CORRUPT)
            reason = text(wxS("s.OpenErrorCorrupted"));
        else if (result == Database::OPEN_NOT_DOCUMENT)
            reason = text(wxS("s.OpenErrorNotQuil"));
        else if (!wxFileExists(path))
            reason = missingFileReason();
        else
            reason = db.lastError().message;
        if (!db.isOpen()) db.close(); // forget the path a failed open keeps
        reportOpenFailure(&frame_, path, reason);
        return false;
    }
    if (!unlockDocument(&frame_, db)) return false; // closed again, reported when needed
    if (!recovery.empty()) {
        wxString why;
        if (db.applyRecovery(recovery, why) != Database::Recovered::Applied) {
            db.close();
            ask(&frame_, wxString::Format(text(wxS("s.RestoreFailed")), why),
                MSG_OK | MSG_ICON_ERROR);
            return false;
        }
        frame_.recovery().adopt(recovery);
    }

    setFramePath(&frame_, path);
    frame_.SetTitle(text(wxS("s.Title-")) + path);
    if (settings().getInt(wxS("currentWinPosSizeOnOpen")) == 0) frame_.applyLayout();

    const bool registered = QudbFSHandler::registerDocument(db.dbid(), &db);

    frame_.categoryBar()->createCategories(db.getIntList(K_grps));
    frame_.treePanel()->applyTreeLook();
    // The top node always has a panel: the tree falls back to it when a
    // node lies outside the current category. Without a stored current
    // category the top node's is current.
    frame_.categoryBar()->ensureCategory(1);
    int current = static_cast<int>(db.getInt(K_grp));
    if (current == 0 || !frame_.categoryBar()->selectCategoryById(current))
        frame_.categoryBar()->selectCategoryById(1);

    addRecent(path);
    frame_.enableDocumentMenus(true);
    if (!registered) ask(&frame_, text(wxS("s.sameDbIdOpend")), MSG_OK | MSG_ICON_WARNING);
    return true;
}

bool DocumentCommands::saveDocument() {
    Database& db = frame_.database();
    if (!db.isModified()) return true;
    const bool firstSave = db.path().empty();
    std::optional<BackupBeforeSave> backup;
    if (firstSave) {
        const wxString path = askSavePath(&frame_, db);
        if (path.empty() || !mayWriteFile(&frame_, path)) return false;
        db.setPath(path);
        frame_.SetTitle(text(wxS("s.Title-")) + path);
    } else if (db.changedOnDisk()) {
        // Someone else's change is never overwritten silently: the edits go
        // to a copy of the file as it is now, or wait.  The copy may take
        // the document's own name when the user confirms replacing it.
        const wxString question =
            text(db.fileMoved() ? wxS("s.DeletedOnDisk") : wxS("s.ChangedOnDisk"));
        if (ask(&frame_, question, MSG_YES | MSG_NO | MSG_ICON_WARNING) != MSG_YES) return false;
        const wxString other = askSavePath(&frame_, db);
        if (other.empty()) return false;
        wxString why;
        if (!db.moveToCopy(other, why)) {
            reportSaveFailure(&frame_, other, why);
            return false;
        }
        frame_.SetTitle(text(wxS("s.Title-")) + other);
        setFramePath(&frame_, other);
        addRecent(other);
    } else {
        backup.emplace(&frame_, db.path()); // never stops the save
    }

    bool saved;
    {
        wxBusyCursor busy;
        saved = db.save();
    }
    const wxString path = db.path();
    if (!saved && db.saveCancelled()) return false; // the user stopped it: nothing to report
    if (!saved) {
        if (firstSave && db.isNew()) {
            // No file was made: the next save asks for a name again.
            db.setPath(wxString());
            frame_.SetTitle(text(wxS("s.Title-New")));
        }
        reportSaveFailure(&frame_, path, db.lastError().message);
        return false;
    }
    if (firstSave) {
        setFramePath(&frame_, path);
        addRecent(path);
    }
    frame_.recovery().discard();
    if (backup) backup->saved();
    frame_.refreshTitleMark();
    return true;
}

bool DocumentCommands::saveCopyAs(const wxString& path) {
    frame_.commitArticle();
    frame_.saveLayout();
    wxBusyCursor busy;
    return db().copyTo(path);
}

bool DocumentCommands::closeDocument(bool withCancel) {
    Database& db = frame_.database();
    if (!db.isOpen()) return true;
    frame_.commitArticle();
    const bool userChanges = db.isModified() && !db.isUntouched();
    frame_.saveLayout();
    if (db.isModified() && !userChanges) {
        // Only the window layout and the view state changed: nothing the
        // user would be asked about. They go into a saved document that can
        // be written, and are dropped otherwise.  After another program's
        // change only these values are written over the file as it is now
        // (a save would write this window's older reading of the rest).
        if (!db.isNew() && !db.path().empty() && wxFileName::IsFileWritable(db.path())) {
            wxLogNull quiet;
            if (db.changedOnDisk())
                db.mergeKeys({K_window, K_grps, K_grp}, {K_grpsel, K_grpexp});
            else
                db.save(); // checks again under the lock
        }
    } else if (db.isModified()) {
        if (saveSettingChar(SAVE_WITHOUT_ASKING) == L'0') {
            wxString question = text(wxS("s.SaveChanges?"));
            if (!db.path().empty()) question << wxS("\n\n") << db.path();
            // Escape never stands for No here: it would throw the changes
            // away. It keeps the document open, as the close box does.
            const int answer = ask(&frame_, question,
                                   MSG_YES | MSG_NO | (withCancel ? long(MSG_CANCEL) : 0L) |
                                       MSG_ESCAPE_CANCELS | MSG_ICON_QUESTION);
            if (answer == MSG_YES) {
                if (!saveDocument()) return false;
            } else if (answer != MSG_NO) {
                return false; // Cancel, or the box was closed
            }
        } else if (!saveDocument()) {
            return false;
        }
    }

    // Floating windows and the object manager show parts of this document.
    frame_.closeFloatingWindows();
    ObjectViewer::closeFor(&frame_);
    // Every id this document was registered under, also a changed one.
    QudbFSHandler::unregisterDatabase(&db);
    setFramePath(&frame_, wxString());
    frame_.categoryBar()->clearCategories();
    // The tree and the article point into the document: empty them first.
    frame_.treePanel()->clearTree();
    db.close();
    // Saved, or the changes thrown away on purpose.
    frame_.recovery().discard();
    if (wxWindow* list = frame_.searchList()) {
        list->Destroy();
        frame_.setSearchList(nullptr);
    }
    return true;
}

bool DocumentCommands::restoreRecovered(const wxString& recovery, const RecoveryInfo& info) {
    if (db().isOpen()) return false;
    if (recoveryMatchesFile(info)) return openDocument(info.document, recovery);

    // The document changed after the edits were kept, or never had a file:
    // they come back as a new document of their own.
    Database& db = frame_.database();
    wxString why;
    int result;
    {
        wxBusyCursor busy;
        result = db.open(recovery);
    }
    if (result != Database::OPEN_OK) {
        if (!db.isOpen()) db.close();
        why = db.lastError() ? db.lastError().message : wxString();
    } else {
        if (!unlockDocument(&frame_, db)) return false; // kept for the next start
        wxBusyCursor busy;
        if (!db.detachAsNew(why)) db.close();
    }
    if (!db.isOpen()) {
        ask(&frame_, wxString::Format(text(wxS("s.RestoreFailed")), why), MSG_OK | MSG_ICON_ERROR);
        return false;
    }
    frame_.recovery().adopt(recovery);
    frame_.SetTitle(info.document.empty()
                        ? text(wxS("s.Title-New"))
                        : wxString::Format(text(wxS("s.Title-Recovered")), info.document));
    QudbFSHandler::registerDocument(db.dbid(), &db); // a refusal changes nothing here
    frame_.categoryBar()->createCategories(db.getIntList(K_grps));
    frame_.treePanel()->applyTreeLook();
    frame_.categoryBar()->ensureCategory(1);
    const int current = static_cast<int>(db.getInt(K_grp));
    if (current == 0 || !frame_.categoryBar()->selectCategoryById(current))
        frame_.categoryBar()->selectCategoryById(1);
    frame_.enableDocumentMenus(true);
    if (!info.document.empty())
        ask(&frame_, wxString::Format(text(wxS("s.RestoredAsCopy")), info.document),
            MSG_OK | MSG_ICON_INFO);
    return true;
}

void DocumentCommands::open() {
    wxFileDialog dialog(&frame_, text(wxS("s.SelectFile")), dialogFolder(db()), wxString(),
                        kOpenFilter, wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return;
    openOrCreate(chosenPath(dialog.GetPath(), dialog.GetDirectory(), dialog.GetFilename()));
}

// The layout goes with the save, so that closing right afterwards finds
// nothing left to write.
void DocumentCommands::save() {
    if (!frame_.isDocumentOpen()) return;
    frame_.commitArticle();
    frame_.saveLayout();
    if (db().isModified()) saveDocument();
}

void DocumentCommands::saveAs() {
    if (!frame_.isDocumentOpen()) return;
    frame_.commitArticle();
    frame_.saveLayout();
    if (db().path().empty()) {
        saveDocument();
        return;
    }
    const wxString path = askSavePath(&frame_, db());
    if (path.empty()) return;
    const bool fileWritable =
        wxFileName::FileExists(db().path()) && wxFileName::IsFileWritable(db().path());
    if (path == db().path()) {
        // Its own name, replacing confirmed: a save; after another program's
        // change, or when the file went, the version of this window goes
        // there (a copy of the file as it is now, with this window's edits).
        if (!db().changedOnDisk() && fileWritable) {
            saveDocument();
            return;
        }
        wxString why;
        if (!db().moveToCopy(path, why))
            reportSaveFailure(&frame_, path, why);
        else if (!db().save())
            reportSaveFailure(&frame_, path, db().lastError().message);
        return;
    }
    if (!mayWriteFile(&frame_, path)) return;
    if (db().changedOnDisk() || !fileWritable) {
        // Copying saves first, which would overwrite another program's
        // change, and cannot work on a file that is read-only or was
        // deleted meanwhile: the copy starts from the file as this window
        // reads it and takes this window's edits, and the file itself is
        // left alone.
        wxString why;
        if (!db().moveToCopy(path, why)) {
            reportSaveFailure(&frame_, path, why);
            return;
        }
        if (!db().save()) reportSaveFailure(&frame_, path, db().lastError().message);
    } else if (!saveCopyAs(path)) {
        db().reopen(); // a failed copy may have let go of the file
        db().rememberFileState();
        reportSaveFailure(&frame_, path, wxString());
        return;
    }
    db().setPath(path);
    frame_.SetTitle(text(wxS("s.Title-")) + path);
    db().reopen();
    db().rememberFileState();
    setFramePath(&frame_, path);
    addRecent(path);
    if (!db().isModified()) frame_.recovery().discard();
    frame_.refreshTitleMark();
    if (ask(&frame_, text(wxS("s.sameDbIdCreated")), MSG_YES | MSG_NO | MSG_ICON_WARNING) !=
        MSG_YES)
        return;
    if (!db().getString(K_pwd).empty()) {
        // The id of a protected document goes with its password.
        wxCommandEvent change(wxEVT_MENU, ID_CHANGE_FILE_ID);
        frame_.ProcessWindowEvent(change);
        return;
    }
    // The answer was the question of the id change: the copy is new and
    // was just written whole, so there is nothing to optimize and no older
    // version to keep (the original is that).  The id and the links that
    // follow it go into the copy in one save.
    takeNewDocumentId();
    saveDocument();
}

void DocumentCommands::takeNewDocumentId() {
    Database& db = frame_.database();
    // The articles shown here and in floating windows, with their edits.
    std::vector<ArticleWindow*> articles{frame_.articleWindow()};
    for (wxWindow* child : frame_.GetChildren())
        if (auto* floating = dynamic_cast<FloatingWin*>(child))
            articles.push_back(floating->article());
    for (ArticleWindow* article : articles)
        article->commitText();
    const wxString oldId = db.dbid();
    db.newDbid();
    // Object links of this window follow the document under its new id.
    QudbFSHandler::unregisterDatabase(&db);
    QudbFSHandler::registerDocument(db.dbid(), &db);
    // So do the document's own links in its articles, which are shown
    // again with them.
    if (followNewDocumentId(db, oldId) == 0) return;
    for (ArticleWindow* article : articles)
        if (Block* shown = article->node()) article->showArticle(shown);
}

void DocumentCommands::optimize() {
    Database& db = frame_.database();
    if (!frame_.isDocumentOpen()) return;
    frame_.commitArticle();
    frame_.saveLayout();
    if (db.isModified()) {
        const bool wasNew = db.isNew();
        if (!saveDocument() || wasNew) return; // a first save already writes a compact file
    }
    if (db.isNew() || db.path().empty()) return;

    const wxString original = db.path();
    const wxString backupName = wxFileName(original).GetFullName() + wxS(".bak");
    const bool keep = ask(&frame_, wxString::Format(text(wxS("s.KeepBackup")), backupName),
                          MSG_YES | MSG_NO | MSG_ICON_QUESTION) == MSG_YES;

    wxString why;
    Database::Compact result;
    {
        wxBusyCursor busy;
        result = db.compact(keep, why);
    }
    if (result != Database::Compact::Done) {
        // The document, and why in words: the disk, the folder, another program.
        if (why.empty())
            why = folderWriteProblem(original, wxFileName::GetSize(original).GetValue());
        if (why.empty()) why = wxS("the optimized copy could not be written");
        ask(&frame_, text(wxS("s.FailedToOptimize")) + wxS("\n\n") + original + wxS("\n") + why,
            MSG_OK | MSG_ICON_ERROR);
        return;
    }
    ask(&frame_, text(wxS("s.Optimized")), MSG_OK | MSG_ICON_INFO);
}

void DocumentCommands::close() {
    if (frame_.isDocumentOpen() && !closeDocument(false)) return;
    frame_.articleHistory().clear();
    frame_.treePanel()->SetBackgroundColour(*wxWHITE);
    frame_.articleWindow()->SetBackgroundColour(*wxWHITE);
    frame_.updateStatusBar();
    frame_.enableDocumentMenus(false);
    frame_.SetTitle(text(wxS("s.Title")));
    // Nothing of the old document stays in sight: the window looks as it
    // did at start.
    frame_.showFontInToolbar(wxString(), 10);
    frame_.fontChoice()->clearValue();
    frame_.captionBar()->resetCaption();
    frame_.SetStatusText(text(wxS("m.Welcome")), 0);
    frame_.SetStatusText(wxString(), 1);
}

void DocumentCommands::changeFileId() {
    Database& db = frame_.database();
    if (!frame_.isDocumentOpen()) return;
    if (ask(&frame_, text(wxS("s.changeDbId")), MSG_YES | MSG_NO | MSG_ICON_QUESTION) != MSG_YES)
        return;
    if (!db.getString(K_pwd).empty()) {
        // The cipher key depends on the id: it changes with the password.
        if (ask(&frame_, text(wxS("s.changeDbId2")), MSG_YES | MSG_NO | MSG_ICON_QUESTION) ==
            MSG_YES) {
            wxCommandEvent password(wxEVT_MENU, ID_PASSWORD);
            frame_.ProcessWindowEvent(password);
        }
        return;
    }
    takeNewDocumentId();
    wxCommandEvent optimize(wxEVT_MENU, ID_OPTIMIZE);
    frame_.ProcessWindowEvent(optimize);
}

} // namespace qn
