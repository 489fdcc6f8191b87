// Test program of the article pane: one application object for all tests.
#include "article_gui_util.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/image_archive.h"
#include "app/tree_icons.h"
#include "article/qudb_fs_handler.h"
#include "frame/command_ids.h"

#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/modalhook.h>
#include <wx/sizer.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

namespace qn::test {

HostFrame::HostFrame(bool isMain)
    : wxFrame(nullptr, wxID_ANY, wxS("article test"), wxPoint(0, 0), wxSize(700, 500)) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    ImageArchive archive(toolbarArchivePath());
    if (isMain) {
        caption = new CaptionBar(this, this, archive);
        sizer->Add(caption, 0, wxEXPAND);
    }
    article = new ArticleWindow(
        this, isMain ? static_cast<int>(ID_ARTICLE_WINDOW) : static_cast<int>(wxID_ANY), isMain);
    sizer->Add(article, 1, wxEXPAND);
    SetSizer(sizer);
    db.newDocument();
    article->setContext(this, &db);
    if (isMain) article->setHistory(&history, [] { return 1; });
    Bind(wxEVT_MENU, [this](wxCommandEvent& e) {
        notices.push_back({e.GetId(), e.GetString(), e.GetExtraLong()});
    });
    Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) { buttons.push_back(e.GetId()); });
    Show();
    Layout();
    pump();
}

HostFrame::~HostFrame() {
    QudbFSHandler::unregisterDatabase(&db);
}

std::vector<Notice> HostFrame::received(int id) const {
    std::vector<Notice> out;
    for (const Notice& n : notices)
        if (n.id == id) out.push_back(n);
    return out;
}

Block* HostFrame::addNode(const wxString& caption, const wxString& mime, const wxString& body) {
    Block* node = db.newNode(1);
    db.getBlock(1)->editChildren(node->id(), CH_APPEND);
    node->setString(K_cap, caption);
    node->setMime(mime);
    node->setText(body);
    return node;
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

void pump() {
    for (int i = 0; i < 5; ++i) {
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
}

wxString shippedDir() {
    return appDataDir();
}

} // namespace qn::test

namespace {

class TestApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

void failOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE() << "wx assertion " << cond.utf8_string() << " (" << msg.utf8_string() << ") at "
                  << file.utf8_string() << ":" << line << " in " << func.utf8_string();
}

// Outside wxTEST_DIALOG any modal dialog is a failure, answered at once so
// the test goes on instead of waiting for a click.
class UnexpectedDialogHook : public wxModalDialogHook {
protected:
    int Enter(wxDialog* dialog) override {
        ADD_FAILURE() << "unexpected dialog: " << dialog->GetTitle().utf8_string() << " / "
                      << qn::test::windowTexts(dialog).utf8_string();
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}
};

} // namespace

wxIMPLEMENT_APP_NO_MAIN(TestApp);

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wxSetAssertHandler(failOnAssert);
    if (!wxEntryStart(argc, argv)) return 1;
    wxTheApp->CallOnInit();
    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxInitAllImageHandlers();
    qn::registerQudbHandler();
    UnexpectedDialogHook unexpected;
    unexpected.Register();

    // The shipped configuration of the build tree: texts, settings, icons.
    const char* bin = getenv("QN_BINARY_DIR");
    const wxString dir = wxString::FromUTF8(bin ? bin : ".") + wxS("/share/quillnest/");
    qn::setAppDataDir(dir);
    if (qn::loadConfig(dir, wxString()) != qn::ConfigStatus::Ok) {
        fprintf(stderr, "the shipped configuration was not found in %s\n", dir.utf8_str().data());
        return 1;
    }
    qn::loadTreeIcons(dir);

    const int rc = RUN_ALL_TESTS();
    while (!wxTopLevelWindows.empty()) {
        for (wxWindow* w : wxTopLevelWindows)
            w->Destroy();
        wxTheApp->ProcessIdle();
    }
    qn::destroyTreeIcons();
    qn::unloadConfig();
    wxEntryCleanup();
    return rc;
}
