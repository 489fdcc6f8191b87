// Test program of the main window and the application shell. One
// application object for all tests; with "--second-instance [ARG]" the
// program plays a second start of the desktop program instead.
#include "frame_test_util.h"

#include "app/app_paths.h"
#include "app/my_app.h"

#include <wx/app.h>
#include <wx/dir.h>
#include <wx/evtloop.h>
#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/modalhook.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>

wxIMPLEMENT_APP_NO_MAIN(qn::MyApp);

namespace qn::test {

AppDir::AppDir() {
    char tmpl[] = "/tmp/qn-frame-XXXXXX";
    const char* d = mkdtemp(tmpl);
    path_ = wxString::FromUTF8(d ? d : "/tmp") + wxS("/");
}

AppDir::~AppDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_.utf8_string(), ec);
}

void AppDir::write(const wxString& name, const std::string& contents) const {
    const wxFileName fn(file(name));
    wxFileName::Mkdir(fn.GetPath(), 0700, wxPATH_MKDIR_FULL);
    wxFFile out(fn.GetFullPath(), wxS("wb"));
    out.Write(contents.data(), contents.size());
}

void AppDir::remove(const wxString& name) const {
    wxRemoveFile(file(name));
}

void AppDir::fillShipped() const {
    const wxString shipped = shippedDataDir();
    ASSERT_FALSE(shipped.empty()) << "the shipped configuration is not built";
    std::error_code ec;
    std::filesystem::copy(shipped.utf8_string(), path_.utf8_string(),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing,
                          ec);
    ASSERT_FALSE(ec) << ec.message();
}

bool pumpUntil(const std::function<bool()>& condition, int milliseconds) {
    wxStopWatch watch;
    while (!condition()) {
        if (watch.Time() > milliseconds) return false;
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
    return true;
}

void destroyAllWindows() {
    while (!wxTopLevelWindows.empty()) {
        for (wxWindow* w : wxTopLevelWindows)
            w->Destroy();
        wxTheApp->ProcessIdle();
    }
}

} // namespace qn::test

namespace {

void failOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE() << "wx assertion " << cond.utf8_string() << " (" << msg.utf8_string() << ") at "
                  << file.utf8_string() << ":" << line << " in " << func.utf8_string();
}

// A second start must not show anything but the busy message; any dialog
// is reported on standard error and ends the process with code 3.
class ReportingHook : public wxModalDialogHook {
protected:
    int Enter(wxDialog* dialog) override {
        wxString text = dialog->GetTitle();
        if (auto* box = dynamic_cast<wxMessageDialog*>(dialog)) text = box->GetMessage();
        std::cerr << "dialog: " << text.utf8_string() << std::endl;
        std::exit(3);
    }
    void Exit(wxDialog*) override {}
};

int runSecondInstance(int argc, char** argv) {
    int wxArgc = 1;
    if (!wxEntryStart(wxArgc, argv)) return 4;
    ReportingHook hook;
    hook.Register();
    std::vector<wxString> args;
    if (argc > 2) args.push_back(wxString::FromUTF8(argv[2]));
    const bool started = wxGetApp().startUp(args);
    const bool windows = !wxTopLevelWindows.empty();
    wxEntryCleanup();
    return started || windows ? 5 : 0;
}

} // namespace

int main(int argc, char** argv) {
    // Private places for the instance lock, the socket and the settings.
    if (!getenv("QN_TEST_RUNTIME")) {
        char tmpl[] = "/tmp/qn-run-XXXXXX";
        const char* d = mkdtemp(tmpl);
        setenv("QN_TEST_RUNTIME", d, 1);
        setenv("XDG_RUNTIME_DIR", d, 1);
    }
    setenv("QUILLNEST_HOME", "/nonexistent-quillnest-home", 0);

    if (argc > 1 && std::string(argv[1]) == "--second-instance")
        return runSecondInstance(argc, argv);

    ::testing::InitGoogleTest(&argc, argv);
    wxSetAssertHandler(failOnAssert);
    if (!wxEntryStart(argc, argv)) return 1;
    delete wxLog::SetActiveTarget(new wxLogStderr);
    const int rc = RUN_ALL_TESTS();
    wxEntryCleanup();
    std::error_code ec;
    std::filesystem::remove_all(getenv("QN_TEST_RUNTIME"), ec);
    return rc;
}
