#include "desktop/my_app.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/platform.h"
#include "app/program_log.h"
#include "app/session_signals.h"
#include "app/text_constants.h"
#include "article/qudb_fs_handler.h"
#include "desktop/dde_server.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "frame/recovery_keeper.h"
#include "ui/image_archive.h"
#include "ui/tree_icons.h"

#include <wx/evtloop.h>
#include <wx/evtloopsrc.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/msgdlg.h>
#include <wx/snglinst.h>
#include <wx/timer.h>
#include <wx/uilocale.h>

#include <algorithm>

#ifdef __WXGTK__
#include <dlfcn.h>
#endif

namespace qn {

namespace {

// The signal pipe became readable: the session-end work is queued for the
// event loop (the same in a dialog's nested loop).
class SessionEndWatch : public wxEventLoopSourceHandler {
public:
    explicit SessionEndWatch(MyApp& app) : app_(app) {}
    void OnReadWaiting() override {
        if (takeSessionEndSignal() != 0) app_.CallAfter(&MyApp::endSession);
    }
    void OnWriteWaiting() override {}
    void OnExceptionWaiting() override {}

private:
    MyApp& app_;
};

#ifdef __WXGTK__
// Whether the toolkit has put the window on the screen (GTK looked up at
// run time: no GTK headers are needed).
bool isMapped(wxWindow* window) {
    using GetMapped = int (*)(void*);
    static auto getMapped =
        reinterpret_cast<GetMapped>(dlsym(RTLD_DEFAULT, "gtk_widget_get_mapped"));
    void* widget = window->GetHandle();
    return !getMapped || !widget || getMapped(widget) != 0;
}
#else
bool isMapped(wxWindow* window) {
    return window->IsShownOnScreen();
}
#endif

} // namespace

MyApp::MyApp() = default;
MyApp::~MyApp() = default;

bool MyApp::OnInit() {
    // No call to the base: the command line is ours (a document path).
    std::vector<wxString> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    if (startUp(args)) return true;
    // A start that handed its document on ends without a window but with
    // success; a missing configuration file is a failure.
    return forwarded_;
}

int MyApp::OnRun() {
    // A session that ended during start-up has no window left to run.
    return forwarded_ || ending_ ? 0 : wxApp::OnRun();
}

int MyApp::OnExit() {
    shutDown();
    return wxApp::OnExit();
}

bool MyApp::startUp(const std::vector<wxString>& args) {
    wxUILocale::UseDefault();
    SetAppName(wxS("quillnest"));

    // The application data directory; a fresh user gets the shipped files,
    // an older one the files of this version.
    const wxString appDir = appDataDir();
    prepareAppDataDir(appDir);

    // Log lines go to standard error and a file, never into a window of
    // the toolkit's that would show the engine's words above our messages.
    // (Asking for the active target would make the toolkit create its own.)
    wxLog* previous = wxLog::SetActiveTarget(new ProgramLog(programLogFile(appDir)));
    if (dynamic_cast<ProgramLog*>(previous)) {
        delete wxLog::SetActiveTarget(previous); // a second start-up in one process
    } else {
        previousLog_ = previous;
        ownLog_ = true;
    }

    // One instance per user; the lock sits in the user's private folder.
    checker_ = std::make_unique<wxSingleInstanceChecker>();
    const wxString runtimeDir = userRuntimeDir();
    if (!checker_->Create(instanceName(), runtimeDir)) checker_.reset();

    // Another instance runs: hand it the document and end.
    if (checker_ && checker_->IsAnotherRunning()) {
        forwarded_ = sendToRunningInstance(args.empty() ? wxString() : args.front());
        checker_.reset();
        return false;
    }

    // Serve later starts; failing is silent.
    const wxString service = ipcServiceName();
    if (!service.empty()) {
        server_ = std::make_unique<DDEServer>();
        if (!server_->Create(service)) server_.reset();
    }

    // Project defaults, settings, text constants, the two file lists. A
    // missing file ends the program with a message naming it.
    const ConfigStatus status = loadConfig(appDir, systemLanguageCode());
    if (status != ConfigStatus::Ok) {
        wxMessageBox(configStatusMessage(status), wxS("Quillnest"), wxOK | wxICON_ERROR, nullptr);
        server_.reset();
        checker_.reset();
        return false;
    }

    // Image decoders, the internal URL handler, tree icons.
    addImageHandlers();
    registerQudbHandler();
    loadTreeIcons(appDir);
    started_ = true;

    // From now on a session end keeps the user's work, also while a dialog
    // is open.
    trackModalDialogs();
    if (installSessionEndSignals()) {
        signalHandler_ = std::make_unique<SessionEndWatch>(*this);
        signalSource_ = wxEventLoopBase::AddSourceForFD(sessionEndFd(), signalHandler_.get(),
                                                        wxEVENT_SOURCE_INPUT);
        if (!signalSource_) removeSessionEndSignals();
    }

    // The first main window, placed by the setting "window".
    const WindowGeometry g = windowGeometryFromSettings();
    firstFrame_ =
        new MainFrame(text(wxS("s.Title")), wxPoint(g.x, g.y), wxSize(g.width, g.height), g.sash);
    firstFrame_->Show();
    SetTopWindow(firstFrame_);

    // Unsaved changes of a session that ended without a save are offered
    // first, so that a document named on the command line finds its
    // restored window instead of opening without them.  Both wait until
    // the window is on the screen: a window manager stacks the window
    // above a question (an open error, the converter) shown before it, and
    // the question, modal, would leave the program looking frozen.
    const bool recovered = hasRecoveryFiles();
    whenFrameOnScreen([this, args, recovered] {
        if (recovered) offerRecoveredDocuments(firstFrame_, [this] { return endRequested_; });
        if (!endRequested_) openCommandLine(args);
    });
    return true;
}

void MyApp::whenFrameOnScreen(std::function<void()> then) {
    // Under a window manager the toolkit shows a new frame only once the
    // manager has told the size of its decorations: some event-loop passes
    // after Show().  Without a manager it is on the screen at once.  Two
    // seconds at most: the question is never lost.
    afterShown_ = std::move(then);
    showWait_ = std::make_unique<wxTimer>();
    showWait_->Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        constexpr int kMostTicks = 100;
        const bool there = firstFrameAlive();
        if (++showTicks_ < kMostTicks && there && !endRequested_ && !isMapped(firstFrame_))
            return;
        showWait_->Stop();
        CallAfter([this] {
            showWait_.reset();
            std::function<void()> then;
            then.swap(afterShown_);
            if (then && firstFrameAlive() && !endRequested_) then();
        });
    });
    showWait_->Start(20);
}

// The first window may have been closed (or the session ended) meanwhile.
bool MyApp::firstFrameAlive() const {
    if (!firstFrame_) return false;
    for (const FrameEntry& entry : registeredFrames())
        if (entry.frame == firstFrame_) return true;
    return false;
}

void MyApp::openCommandLine(const std::vector<wxString>& args) {
    // The document of the command line; further arguments are ignored.
    // A relative name is taken against our working folder, so that the
    // window registry and the recent files hold a path that stays valid.
    // An empty argument asks for a new document, as it does when handed on.
    if (args.empty() || !firstFrame_) return;
    if (args.front().empty()) {
        firstFrame_->openOrCreate(wxString());
    } else {
        wxFileName name(args.front());
        if (!name.IsAbsolute()) name.MakeAbsolute();
        firstFrame_->openOrCreate(name.GetFullPath());
    }
}

void MyApp::endSession() {
    if (!started_ || ending_) return;
    endRequested_ = true;
    // The lists and settings first: the system may not wait for the rest.
    saveConfigNow();
    // Inside a dialog a command may be half done: the edits are only kept,
    // the dialog is cancelled, and this runs again once it has closed.
    const bool inDialog = wxEventLoopBase::GetActive() != GetMainLoop();
    keepEditsOfAllWindows(!inDialog);
    if (inDialog) {
        cancelModalDialogs();
        if (!retry_) {
            retry_ = std::make_unique<wxTimer>(this);
            Bind(wxEVT_TIMER, [this](wxTimerEvent&) { endSession(); });
        }
        retry_->StartOnce(100);
        return;
    }
    ending_ = true;
    // The windows go; the last one ends the event loop, and shutdown
    // writes the settings again with their geometry.
    destroyAllWindows();
}

void MyApp::shutDown() {
    // A log that was there before start-up (a test's) takes over again;
    // otherwise ours stays to the end, so that nothing logged while the
    // program ends opens a window.
    if (ownLog_ && previousLog_) {
        delete wxLog::SetActiveTarget(previousLog_);
        previousLog_ = nullptr;
        ownLog_ = false;
    }
    if (!started_) return;
    started_ = false;
    retry_.reset();
    showWait_.reset();
    afterShown_ = nullptr;
    if (signalSource_) {
        delete signalSource_;
        signalSource_ = nullptr;
    }
    removeSessionEndSignals();
    checker_.reset();
    server_.reset();
    destroyTreeIcons();
    // Favourites and recent files go into the settings store before the
    // store is written.
    saveAndUnloadConfig();
    firstFrame_ = nullptr;
}

} // namespace qn
