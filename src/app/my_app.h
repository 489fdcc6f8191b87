// The application object: start-up, shutdown and the registry of main
// windows (one per open document).
#pragma once

#include <wx/app.h>
#include <wx/string.h>

#include <memory>
#include <vector>

class wxSingleInstanceChecker;

namespace qn {

class MainFrame;
class DDEServer;

// One main window and the document it shows ("" while it shows none or a
// never-saved document).
struct FrameEntry {
    wxString path;
    MainFrame* frame = nullptr;
};

// The registry lives beside the application object rather than in it, so
// that main windows also work under a test's own application object.
void registerFrame(MainFrame* frame);
void unregisterFrame(MainFrame* frame);
// The window of the first entry whose path equals `path` exactly, or null.
MainFrame* frameForPath(const wxString& path);
// The window whose document is the file at `path`, however either path is
// written (relative, with "." or ".."); null when none.
MainFrame* frameShowingFile(const wxString& path);
// Nothing happens for a window that is not registered.
void setFramePath(MainFrame* frame, const wxString& path);
// The path registered for the window; "" when none or not registered.
wxString framePath(MainFrame* frame);
// Lets every registered window, in registry order, process a menu command
// with this id and no payload (ID_FAVOURITES_CHANGED to
// ID_CAPTION_COLOURS_CHANGED).
void broadcastCommand(int id);
const std::vector<FrameEntry>& registeredFrames();

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

    void registerFrame(MainFrame* frame) { qn::registerFrame(frame); }
    void unregisterFrame(MainFrame* frame) { qn::unregisterFrame(frame); }
    MainFrame* frameForPath(const wxString& path) { return qn::frameForPath(path); }
    void setFramePath(MainFrame* frame, const wxString& path) { qn::setFramePath(frame, path); }
    void broadcastCommand(int id) { qn::broadcastCommand(id); }

private:
    std::unique_ptr<wxSingleInstanceChecker> checker_;
    std::unique_ptr<DDEServer> server_;
    MainFrame* firstFrame_ = nullptr;
    bool started_ = false;
    bool forwarded_ = false; // this start handed its document to another instance
};

// Geometry of a new main window from the setting "window" (x, y, width,
// height, sash); missing or unusable numbers take sensible defaults.
struct WindowGeometry {
    int x, y, width, height, sash;
};
WindowGeometry windowGeometryFromSettings();

// Installs the image decoders the program uses (JPEG, GIF, PNG, ICO;
// BMP is built in). Safe to call more than once.
void addImageHandlers();

} // namespace qn

wxDECLARE_APP(qn::MyApp);
