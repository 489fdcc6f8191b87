#include "frame/recovery_keeper.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "article/article_window.h"
#include "article/text_window.h"
#include "backup/backup_commands.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "objects/object_viewer.h"
#include "store/database.h"
#include "store/safe_file.h"
#include "tree/save_setting.h"
#include "ui/my_message.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/dir.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/wxcrtvararg.h>
#include <wx/treectrl.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace qn {

namespace {
constexpr int kDefaultSeconds = 120;
} // namespace

RecoveryKeeper::RecoveryKeeper(MainFrame& frame) : frame_(frame), timer_(this) {
    Bind(wxEVT_TIMER, &RecoveryKeeper::onTimer, this);
    // What may change the document: typing, menu commands, the tree's
    // in-place rename and drag and drop.  The handlers only look; the event
    // goes on to its real handler.
    frame_.Bind(wxEVT_TEXT, &RecoveryKeeper::onEditEvent, this);
    frame_.Bind(wxEVT_MENU, &RecoveryKeeper::onEditEvent, this);
    frame_.Bind(wxEVT_TREE_END_LABEL_EDIT, &RecoveryKeeper::onEditEvent, this);
    frame_.Bind(wxEVT_TREE_END_DRAG, &RecoveryKeeper::onEditEvent, this);
}

RecoveryKeeper::~RecoveryKeeper() {
    timer_.Stop();
    joinWriter();
    frame_.Unbind(wxEVT_TEXT, &RecoveryKeeper::onEditEvent, this);
    frame_.Unbind(wxEVT_MENU, &RecoveryKeeper::onEditEvent, this);
    frame_.Unbind(wxEVT_TREE_END_LABEL_EDIT, &RecoveryKeeper::onEditEvent, this);
    frame_.Unbind(wxEVT_TREE_END_DRAG, &RecoveryKeeper::onEditEvent, this);
}

int RecoveryKeeper::intervalSeconds() {
    const int seconds = settings().getInt(wxS("recoverySeconds"));
    return seconds > 0 ? seconds : kDefaultSeconds;
}

void RecoveryKeeper::onEditEvent(wxEvent& event) {
    event.Skip();
    noteEdit();
}

void RecoveryKeeper::noteEdit() {
    changed_ = true;
    if (!timer_.IsRunning()) timer_.StartOnce(intervalSeconds() * 1000);
}

bool RecoveryKeeper::hasUnsavedEdits() const {
    if (!frame_.isDocumentOpen()) return false;
    const ArticleWindow* article = frame_.articleWindow();
    const Database& db = frame_.database();
    return (db.isModified() && !db.isUntouched()) || (article && article->isModified());
}

void RecoveryKeeper::onTimer(wxTimerEvent&) {
    if (!hasUnsavedEdits()) {
        discard(); // saved or closed meanwhile
        return;
    }
    if (!changed_ && !path_.empty()) return; // kept already; the next edit starts again
    if (writing_) {
        timer_.StartOnce(1000); // the last copy is still being written
        return;
    }
    writeInBackground();
}

namespace {

// The editor's text not yet committed to its node: it goes into the file,
// not into the document, so that keeping it changes nothing the window holds.
bool pendingText(MainFrame& frame, Database::PendingArticle& out) {
    ArticleWindow* article = frame.articleWindow();
    TextWindow* editor = article ? article->editor() : nullptr;
    if (!article || !article->isModified() || !editor || !editor->node() || editor->isLocked())
        return false;
    out.nodeId = editor->node()->id();
    out.text = editor->GetValue();
    return true;
}

} // namespace

bool RecoveryKeeper::writeNow(wxString* why) {
    joinWriter(); // one writer of the file at a time
    if (!frame_.isDocumentOpen()) return true;
    if (path_.empty()) path_ = recoveryDir() + newGuidText() + wxS(".q2rec");
    Database::PendingArticle pending;
    const bool withPending = pendingText(frame_, pending);
    wxString reason;
    bool ok;
    {
        wxLogNull quiet; // the reason is reported by the caller
        ok = frame_.database().writeRecovery(path_, withPending ? &pending : nullptr, reason);
    }
    if (ok) changed_ = false;
    if (why) *why = reason;
    return ok;
}

void RecoveryKeeper::writeInBackground() {
    joinWriter(); // finished already: writing_ is false
    if (!frame_.isDocumentOpen()) return;
    if (path_.empty()) path_ = recoveryDir() + newGuidText() + wxS(".q2rec");
    Database::PendingArticle pending;
    const bool withPending = pendingText(frame_, pending);
    wxString why;
    std::shared_ptr<RecoverySnapshot> snapshot;
    {
        wxLogNull quiet;
        snapshot = frame_.database().recoverySnapshot(withPending ? &pending : nullptr, why);
    }
    if (!snapshot) {
        writerDone(false, why);
        return;
    }
    changed_ = false;
    writing_ = true;
    writerGeneration_ = generation_;
    writerPath_ = path_;
    writer_ = std::thread([this, snapshot, path = path_] {
        wxString reason;
        const bool ok = snapshot->write(path, reason);
        writing_ = false;
        CallAfter([this, ok, reason] { writerDone(ok, reason); });
    });
}

void RecoveryKeeper::joinWriter() {
    if (!writer_.joinable()) return;
    writer_.join();
    writing_ = false;
    // Saved or thrown away while the copy was being written: it goes too.
    if (writerGeneration_ != generation_ && !writerPath_.empty()) removeWithJournal(writerPath_);
    writerPath_.clear();
}

void RecoveryKeeper::writerDone(bool ok, const wxString& why) {
    joinWriter();
    if (!ok) {
        changed_ = true; // tried again with the next edit
        frame_.SetStatusText(wxString::Format(text(wxS("s.RecoveryNotKept")), why), 0);
    }
}

void RecoveryKeeper::discard() {
    timer_.Stop();
    changed_ = false;
    ++generation_;
    if (path_.empty()) return;
    removeWithJournal(path_);
    path_.clear();
}

bool RecoveryKeeper::endSession(bool maySave, wxString& why) {
    why.clear();
    if (!frame_.isDocumentOpen()) return true;
    Database& db = frame_.database();
    frame_.commitArticle();
    const bool userChanges = db.isModified() && !db.isUntouched();
    frame_.saveLayout();
    if (!db.isModified() || (db.isNew() && !userChanges)) {
        discard();
        return true;
    }
    // A save that needs no question: a file of its own that nobody else
    // changed meanwhile and that can be written.  Only the layout changed:
    // saved the same way, as closing does, and dropped otherwise.
    const bool quietSave = maySave && !db.isNew() && !db.path().empty() && !db.changedOnDisk() &&
                           wxFileName::IsFileWritable(db.path());
    const bool wanted = !userChanges || saveSettingChar(SAVE_WITHOUT_ASKING) != L'0';
    if (quietSave && wanted) {
        wxLogNull quiet;
        // The session's first save keeps its backup as any save does; a
        // failure to make it is not reported now (nobody could answer).
        BackupBeforeSave backup(nullptr, db.path());
        if (db.save()) {
            discard();
            return true;
        }
    }
    if (!userChanges) {
        discard();
        return true;
    }
    return writeNow(&why);
}

// ---------------------------------------------------------------------------
// The whole session

void keepEditsOfAllWindows(bool maySave) {
    const std::vector<FrameEntry> frames = registeredFrames(); // a copy: saving renames
    for (const FrameEntry& entry : frames) {
        wxString why;
        if (!entry.frame->recovery().endSession(maySave, why))
            wxFprintf(stderr, wxS("quillnest: the unsaved changes of %s could not be kept: %s\n"),
                      entry.frame->database().path(), why);
    }
}

namespace {
// Every dialog shown modally, as it is shown: native ones (the file
// dialogs) are not among the toolkit's top-level windows.
class ModalDialogs : public wxModalDialogHook {
public:
    ModalDialogs() { Register(); }
    std::vector<wxDialog*> shown;

protected:
    int Enter(wxDialog* dialog) override {
        shown.push_back(dialog);
        return wxID_NONE; // shown as usual
    }
    void Exit(wxDialog* dialog) override {
        shown.erase(std::remove(shown.begin(), shown.end(), dialog), shown.end());
        if (shown.empty()) runWaiting();
    }

public:
    std::vector<std::function<void()>> waiting;
    // From the event loop: the dialog's caller goes on first, and may open
    // the next dialog, under which the work waits again.
    void runWaiting() {
        if (waiting.empty() || !wxTheApp) return;
        wxTheApp->CallAfter([this] {
            std::vector<std::function<void()>> now;
            now.swap(waiting);
            for (auto& then : now) then();
        });
    }
};
ModalDialogs& modalDialogs() {
    static ModalDialogs dialogs;
    return dialogs;
}
} // namespace

void trackModalDialogs() {
    modalDialogs();
}

bool cancelModalDialogs() {
    std::vector<wxDialog*> dialogs = modalDialogs().shown;
    for (wxWindowList::compatibility_iterator node = wxTopLevelWindows.GetFirst(); node;
         node = node->GetNext()) {
        auto* dialog = wxDynamicCast(node->GetData(), wxDialog);
        if (dialog && std::find(dialogs.begin(), dialogs.end(), dialog) == dialogs.end())
            dialogs.push_back(dialog);
    }
    bool found = false;
    for (wxDialog* dialog : dialogs)
        if (dialog->IsModal()) {
            dialog->EndModal(wxID_CANCEL);
            found = true;
        }
    return found;
}

bool modalDialogOpen() {
    return !modalDialogs().shown.empty();
}

void whenNoModalDialog(std::function<void()> then) {
    ModalDialogs& dialogs = modalDialogs();
    dialogs.waiting.push_back(std::move(then));
    if (dialogs.shown.empty()) dialogs.runWaiting();
}

void destroyAllWindows() {
    const std::vector<FrameEntry> frames = registeredFrames();
    for (const FrameEntry& entry : frames) {
        entry.frame->closeFloatingWindows();
        ObjectViewer::closeFor(entry.frame);
        entry.frame->Destroy();
    }
}

// ---------------------------------------------------------------------------
// Start-up

namespace {

// Recovery files, oldest first; leftovers of a write that was cut short go.
std::vector<wxString> recoveryFiles() {
    std::vector<wxString> files;
    const wxString dir = recoveryDir();
    wxArrayString found;
    {
        wxLogNull quiet;
        wxDir::GetAllFiles(dir, &found, wxString(), wxDIR_FILES);
    }
    for (const wxString& f : found) {
        if (f.EndsWith(wxS(".q2rec")))
            files.push_back(f);
        else if (f.EndsWith(wxS(".partial")) || f.EndsWith(wxS(".partial-journal")))
            removeWithJournal(f);
    }
    std::sort(files.begin(), files.end(), [](const wxString& a, const wxString& b) {
        return wxFileModificationTime(a) < wxFileModificationTime(b);
    });
    return files;
}

} // namespace

bool hasRecoveryFiles() {
    return !recoveryFiles().empty();
}

void offerRecoveredDocuments(MainFrame* first, const std::function<bool()>& stop) {
    for (const wxString& file : recoveryFiles()) {
        if (stop && stop()) return;
        RecoveryInfo info;
        if (!readRecoveryInfo(file, info)) {
            // Not ours to judge: left alone and out of the way of questions.
            wxFprintf(stderr, wxS("quillnest: %s is not a readable recovery file\n"), file);
            continue;
        }
        const wxString question =
            info.document.empty()
                ? wxString::Format(text(wxS("s.RestoreAskNew")), info.written)
                : wxString::Format(text(wxS("s.RestoreAsk")), info.document, info.written);
        MyMessage box(first, question, text(wxS("s.Title")),
                      MSG_YES | MSG_NO | MSG_ESCAPE_CANCELS | MSG_ICON_QUESTION);
        // A window manager that is still placing the new main window stacks
        // it over the question: the question goes on top once it is shown.
        box.Bind(wxEVT_SHOW, [&box](wxShowEvent& event) {
            event.Skip();
            if (event.IsShown()) box.CallAfter([&box] { box.Raise(); });
        });
        const int answer = box.ShowModal();
        if (answer == MSG_NO) {
            removeWithJournal(file);
            continue;
        }
        if (answer != MSG_YES) continue; // asked again at the next start
        // A window showing that document already (a restore of an earlier
        // file) takes no second copy of it: the user is asked again later.
        if (!info.document.empty() && recoveryMatchesFile(info) && frameShowingFile(info.document))
            continue;
        // A new window is on the screen before the restore: its password
        // question and its notes are parented to it.
        MainFrame* target = first;
        if (target->isDocumentOpen()) {
            target = MainFrame::createFromSettings(text(wxS("s.Title")));
            target->moveOffOtherWindows();
            target->Show();
        }
        if (!target->restoreRecovered(file, info) && target != first) target->Destroy();
    }
}

} // namespace qn
