// Keeps one main window's unsaved edits in a recovery file in the user's
// data folder, so that a session that ends without a save (logout, kill,
// power cut) loses at most the last few minutes of typing, and offers them
// back at the next start.
#pragma once

#include <wx/event.h>
#include <wx/string.h>
#include <wx/timer.h>

#include <atomic>
#include <functional>
#include <thread>

namespace qn {

class MainFrame;

class RecoveryKeeper : public wxEvtHandler {
public:
    explicit RecoveryKeeper(MainFrame& frame);
    ~RecoveryKeeper() override;
    RecoveryKeeper(const RecoveryKeeper&) = delete;
    RecoveryKeeper& operator=(const RecoveryKeeper&) = delete;

    // Something may have been edited: the timer starts unless it runs.  It
    // runs only while there are edits not yet kept.
    void noteEdit();
    // Writes the recovery file now, with the editor's text not yet
    // committed, and waits for it; false (and `why`) when it could not be
    // written.
    bool writeNow(wxString* why = nullptr);
    // The same without waiting: the edits are taken now, the copy of the
    // document is written on a thread of its own (a large document takes
    // a second), and a failure shows in the status bar.
    void writeInBackground();
    // A write on its thread is running.
    bool writing() const { return writing_; }
    // The document was saved or its changes were thrown away: the file goes.
    void discard();
    // A restored window goes on with the file it was restored from.
    void adopt(const wxString& path) { path_ = path; }
    const wxString& path() const { return path_; }
    bool timerRunning() const { return timer_.IsRunning(); }
    // The document or the article being edited has changes that are not
    // saved (a new document nobody touched has none).
    bool hasUnsavedEdits() const;

    // The session ends: the article being edited is committed; then the
    // document is saved when the setting "save" says closing saves without
    // asking and `maySave` (no dialog is open) and the save is possible
    // without a question; otherwise the edits go into the recovery file.
    // Nothing is asked.  False when neither worked (the edits would be
    // lost; `why` says why).
    bool endSession(bool maySave, wxString& why);

    // Seconds of editing before the edits are kept: the setting
    // "recoverySeconds", 120 when unset or not a positive number.
    static int intervalSeconds();

private:
    void onTimer(wxTimerEvent& event);
    void onEditEvent(wxEvent& event);
    // Waits for the thread; a file it wrote after discard() goes.
    void joinWriter();
    void writerDone(bool ok, const wxString& why);

    MainFrame& frame_;
    wxTimer timer_;
    wxString path_;        // "" until the first file was written
    bool changed_ = false; // edits since the file was last written
    std::thread writer_;
    std::atomic<bool> writing_{false};
    unsigned generation_ = 0; // counts discard()s
    unsigned writerGeneration_ = 0;
    wxString writerPath_;
};

// The session ends, for every main window: its edits are saved or kept in
// its recovery file (see RecoveryKeeper::endSession); with `maySave` false
// (a dialog is open) only kept.  Failures are written to the standard error
// output: nobody is there to answer a message.
void keepEditsOfAllWindows(bool maySave);
// Starts keeping the list of modal dialogs that cancelModalDialogs() closes
// (call once at start-up, before any dialog).
void trackModalDialogs();
// Ends every open modal dialog as Cancel; true when there was one.
bool cancelModalDialogs();
// Whether a modal dialog is open (tracked since trackModalDialogs()).
bool modalDialogOpen();
// Runs `then` from the event loop once no modal dialog is open any more
// (soon, when none is).
void whenNoModalDialog(std::function<void()> then);
// Then the windows go, without a question.
void destroyAllWindows();

// Whether the user's data folder holds recovery files to offer.
bool hasRecoveryFiles();

// At start-up: for every recovery file in the user's data folder, asks
// whether its document's unsaved changes should be restored.  Yes shows
// them in `first` (when it shows no document) or in a new window, No
// removes the file; a box closed otherwise keeps it for the next start.
// Stops asking once `stop` says so (the session is ending).
void offerRecoveredDocuments(MainFrame* first, const std::function<bool()>& stop);

} // namespace qn
