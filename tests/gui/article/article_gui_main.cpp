// Test program of the article pane: one application object for all tests.
#include "article_gui_util.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "article/qudb_fs_handler.h"
#include "ui/command_ids.h"
#include "ui/image_archive.h"
#include "ui/tree_icons.h"

#include <wx/image.h>
#include <wx/sizer.h>

#include <cstdio>
#include <cstdlib>

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

wxString shippedDir() {
    return appDataDir();
}

} // namespace qn::test

int main(int argc, char** argv) {
    qn::test::GuiTestProgram program;
    program.setUp = [] {
        wxInitAllImageHandlers();
        qn::registerQudbHandler();
        // The shipped configuration of the build tree: texts, settings, icons.
        const char* bin = getenv("QN_BINARY_DIR");
        const wxString dir = wxString::FromUTF8(bin ? bin : ".") + wxS("/share/quillnest/");
        qn::setAppDataDir(dir);
        if (qn::loadConfig(dir, wxString()) != qn::ConfigStatus::Ok) {
            fprintf(stderr, "the shipped configuration was not found in %s\n",
                    dir.utf8_str().data());
            return false;
        }
        qn::loadTreeIcons(dir);
        return true;
    };
    program.tearDown = [] {
        qn::destroyTreeIcons();
        qn::unloadConfig();
    };
    return qn::test::runGuiTests(argc, argv, program);
}
