// The application object: start-up and shutdown.
#pragma once

#include <wx/app.h>
#include <wx/string.h>

#include <functional>
#include <memory>
#include <vector>

class wxEventLoopSource;
class wxEventLoopSourceHandler;
class wxLog;
class wxSingleInstanceChecker;
class wxTimer;

namespace qn {

class MainFrame;
class DDEServer;

class MyApp : public wxApp {
public:
    MyApp();
    ~MyApp() override;

    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;

    // The start-up steps, with the command-line arguments after the
    // program name. False ends the program at once (another instance took
    // the request, or a configuration file is missing).
    bool startUp(const std::vector<wxString>& args);
    // The shutdown steps: lists and settings written, everything released.
    void shutDown();
    // The session ends (SIGTERM, SIGHUP): settings and lists are written,
    // every window's edits saved or kept in a recovery file, and the
    // program ends without a question.  Runs in the event loop, never in
    // the signal handler.
    void endSession();

    // The first main window created by start-up (null before, or when it
    // did not get that far).
    MainFrame* firstFrame() const { return firstFrame_; }
    bool hasServer() const { return server_ != nullptr; }

private:
    void openCommandLine(const std::vector<wxString>& args);
    // Runs `then` from the event loop once the first window is on the
    // screen.
    void whenFrameOnScreen(std::function<void()> then);
    bool firstFrameAlive() const;

    std::unique_ptr<wxSingleInstanceChecker> checker_;
    std::unique_ptr<DDEServer> server_;
    MainFrame* firstFrame_ = nullptr;
    std::unique_ptr<wxEventLoopSourceHandler> signalHandler_;
    wxEventLoopSource* signalSource_ = nullptr;
    bool started_ = false;
    std::unique_ptr<wxTimer> retry_; // the session end, again after a dialog
    bool endRequested_ = false;      // the session ends: no more questions
    bool ending_ = false;            // the windows are going
    bool forwarded_ = false;         // this start handed its document to another instance
    bool ownLog_ = false;            // start-up installed the program's log target
    wxLog* previousLog_ = nullptr;
    std::unique_ptr<wxTimer> showWait_; // until the first window is on the screen
    std::function<void()> afterShown_;
    int showTicks_ = 0;
};

} // namespace qn

wxDECLARE_APP(qn::MyApp);
