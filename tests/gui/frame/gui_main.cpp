// Test program of the main window and the application shell. One
// application object for all tests; with "--second-instance [ARG]" the
// program plays a second start of the desktop program instead.
#include "frame_test_util.h"

#include "desktop/my_app.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

wxIMPLEMENT_APP_NO_MAIN(qn::MyApp);

namespace {

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
        if (!d) {
            std::cerr << "no temporary directory" << std::endl;
            return 1;
        }
        setenv("QN_TEST_RUNTIME", d, 1);
        setenv("XDG_RUNTIME_DIR", d, 1);
    }
    setenv("QUILLNEST_HOME", "/nonexistent-quillnest-home", 0);

    if (argc > 1 && std::string(argv[1]) == "--second-instance")
        return runSecondInstance(argc, argv);

    const int rc = qn::test::runGuiTests(argc, argv);
    std::error_code ec;
    std::filesystem::remove_all(getenv("QN_TEST_RUNTIME"), ec);
    return rc;
}
