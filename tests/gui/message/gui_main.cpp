// Test program start: a real wx application under Xvfb, asserts and log
// messages turned into test failures or stderr output instead of dialogs.
#include <wx/app.h>
#include <wx/image.h>
#include <wx/log.h>

#include <gtest/gtest.h>

namespace {

class TestApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

void failOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE() << "wx assert " << file.utf8_string() << ":" << line << " " << func.utf8_string()
                  << " " << cond.utf8_string() << " " << msg.utf8_string();
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new TestApp);
    if (!wxEntryStart(argc, argv)) return 2;
    wxTheApp->CallOnInit();
    wxSetAssertHandler(failOnAssert);
    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxInitAllImageHandlers();
    const int rc = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return rc;
}
