// The start of every GUI test program: a real toolkit application under
// Xvfb, with asserts, log messages and stray dialogs turned into test
// failures or standard error output instead of boxes that wait forever.
#include "gui_test_support.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

namespace qn::test {
namespace {

// The application object of programs that do not declare their own.
class TestApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

void failOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE() << "wx assertion " << cond.utf8_string() << " (" << msg.utf8_string() << ") at "
                  << file.utf8_string() << ":" << line << " in " << func.utf8_string();
}

// Asked after the hooks of wxTEST_DIALOG, so it only sees dialogs that no
// test expects.
class UnexpectedDialogHook : public wxModalDialogHook {
protected:
    int Enter(wxDialog* dialog) override {
        wxString texts = dialogTexts(dialog);
        if (auto* box = dynamic_cast<wxMessageDialog*>(dialog)) texts = box->GetMessage();
        ADD_FAILURE() << "unexpected dialog: " << dialog->GetTitle().utf8_string() << " / "
                      << texts.utf8_string();
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}
};

} // namespace

int runGuiTests(int argc, char** argv, const GuiTestProgram& program) {
    ::testing::InitGoogleTest(&argc, argv);
    wxSetAssertHandler(failOnAssert);
    const bool ownApp = !wxApp::GetInitializerFunction();
    if (ownApp) wxApp::SetInstance(new TestApp);
    if (!wxEntryStart(argc, argv)) return 1;
    if (ownApp) wxTheApp->CallOnInit();
    delete wxLog::SetActiveTarget(new wxLogStderr);
    UnexpectedDialogHook unexpected;
    if (program.failUnexpectedDialogs) unexpected.Register();

    int rc = 1;
    if (!program.setUp || program.setUp()) {
        rc = RUN_ALL_TESTS();
        destroyAllWindows();
        if (program.tearDown) program.tearDown();
    }
    if (ownApp) wxTheApp->OnExit();
    wxEntryCleanup();
    return rc;
}

} // namespace qn::test
