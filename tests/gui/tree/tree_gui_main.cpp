// Test program of the navigation tree, the category bar and the document
// file commands: one toolkit application, a private copy of the shipped
// configuration.
#include "tree_gui_util.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/ini_file.h"
#include "app/my_app.h"
#include "app/text_constants.h"
#include "app/tree_icons.h"
#include "article/qudb_fs_handler.h"
#include "frame/main_frame.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/modalhook.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include <cstdlib>
#include <filesystem>

wxIMPLEMENT_APP_NO_MAIN(qn::MyApp);

namespace qn::test {

wxString dialogTexts(wxWindow* dialog) {
    wxString all;
    for (wxWindow* child : dialog->GetChildren()) {
        if (auto* label = dynamic_cast<wxStaticText*>(child)) all += label->GetLabel() + wxS("\n");
        all += dialogTexts(child);
    }
    return all;
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/qn-tree-XXXXXX";
    const char* d = mkdtemp(tmpl);
    path_ = wxString::FromUTF8(d ? d : "/tmp") + wxS("/");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_.utf8_string(), ec);
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

SettingOverride::SettingOverride(const wxString& key, const wxString& value)
    : key_(key), old_(settings().get(key)) {
    settings().set(key, value);
}

SettingOverride::~SettingOverride() {
    settings().set(key_, old_);
}

Block* addChild(Database& db, int parent, const wxString& title) {
    Block* node = db.newNode(parent);
    node->setString(K_cap, title);
    db.getBlock(parent)->editChildren(node->id(), CH_APPEND);
    return node;
}

MainFrame* newFrame() {
    MainFrame* frame = MainFrame::createFromSettings(text(wxS("s.Title")));
    frame->Show();
    return frame;
}

void discard(MainFrame* frame) {
    Database& db = frame->database();
    QudbFSHandler::unregisterDatabase(&db);
    setFramePath(frame, wxString());
    frame->categoryBar()->clearCategories();
    frame->treePanel()->clearTree();
    db.close();
}

void discardAll() {
    for (const FrameEntry& e : std::vector<FrameEntry>(registeredFrames()))
        discard(e.frame);
    destroyAllWindows();
}

} // namespace qn::test

namespace {

void failOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE() << "wx assertion " << cond.utf8_string() << " (" << msg.utf8_string() << ") at "
                  << file.utf8_string() << ":" << line << " in " << func.utf8_string();
}

// A dialog that no test expects fails the test instead of waiting for a
// click (the expectations of wxTEST_DIALOG are asked first).
class UnexpectedDialogHook : public wxModalDialogHook {
protected:
    int Enter(wxDialog* dialog) override {
        ADD_FAILURE() << "unexpected dialog: " << dialog->GetTitle().utf8_string() << " "
                      << qn::test::dialogTexts(dialog).utf8_string();
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wxSetAssertHandler(failOnAssert);
    if (!wxEntryStart(argc, argv)) return 1;
    delete wxLog::SetActiveTarget(new wxLogStderr);
    UnexpectedDialogHook unexpected;
    unexpected.Register();

    // A private application data directory filled with the shipped files.
    qn::test::TempDir home;
    const wxString shipped = qn::shippedDataDir();
    if (shipped.empty()) {
        std::fprintf(stderr, "the shipped configuration is not built\n");
        return 1;
    }
    std::error_code ec;
    std::filesystem::copy(shipped.utf8_string(), home.file(wxString()).utf8_string(),
                          std::filesystem::copy_options::recursive, ec);
    qn::setAppDataDir(home.file(wxString()));
    if (qn::loadConfig(qn::appDataDir(), wxS("en")) != qn::ConfigStatus::Ok) {
        std::fprintf(stderr, "the configuration did not load\n");
        return 1;
    }
    qn::addImageHandlers();
    qn::loadTreeIcons();
    qn::registerQudbHandler();

    const int rc = RUN_ALL_TESTS();
    qn::test::destroyAllWindows();
    qn::unloadConfig();
    qn::destroyTreeIcons();
    wxEntryCleanup();
    return rc;
}
