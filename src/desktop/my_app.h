// The application object: start-up and shutdown.
#pragma once

#include <wx/app.h>
#include <wx/string.h>

#include <memory>
#include <vector>

class wxLog;
class wxSingleInstanceChecker;

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

    // The first main window created by start-up (null before, or when it
    // did not get that far).
    MainFrame* firstFrame() const { return firstFrame_; }
    bool hasServer() const { return server_ != nullptr; }

private:
    std::unique_ptr<wxSingleInstanceChecker> checker_;
    std::unique_ptr<DDEServer> server_;
    MainFrame* firstFrame_ = nullptr;
    bool started_ = false;
    bool forwarded_ = false; // this start handed its document to another instance
    bool ownLog_ = false;    // start-up installed the program's log target
    wxLog* previousLog_ = nullptr;
};

} // namespace qn

wxDECLARE_APP(qn::MyApp);
