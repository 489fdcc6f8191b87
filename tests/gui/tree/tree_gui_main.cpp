// Test program of the navigation tree, the category bar and the document
// file commands: one toolkit application, a private copy of the shipped
// configuration.
#include "tree_gui_util.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "article/qudb_fs_handler.h"
#include "desktop/my_app.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"
#include "ui/image_archive.h"
#include "ui/tree_icons.h"

#include <cstdio>

wxIMPLEMENT_APP_NO_MAIN(qn::MyApp);

namespace qn::test {

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

void NewDocumentTest::SetUp() {
    frame = newFrame();
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    db = &frame->database();
    tree = frame->treePanel();
    groups = frame->categoryBar();
}

} // namespace qn::test

int main(int argc, char** argv) {
    // A private application data directory filled with the shipped files.
    qn::test::TestDir home;
    qn::test::GuiTestProgram program;
    program.setUp = [&home] {
        wxString error;
        if (!qn::prepareAppDataDir(home.path(), &error)) {
            std::fprintf(stderr, "no application data directory: %s\n",
                         error.utf8_string().c_str());
            return false;
        }
        qn::setAppDataDir(home.path());
        if (qn::loadConfig(qn::appDataDir(), wxS("en")) != qn::ConfigStatus::Ok) {
            std::fprintf(stderr, "the configuration did not load\n");
            return false;
        }
        qn::addImageHandlers();
        qn::loadTreeIcons();
        qn::registerQudbHandler();
        return true;
    };
    program.tearDown = [] {
        qn::unloadConfig();
        qn::destroyTreeIcons();
    };
    return qn::test::runGuiTests(argc, argv, program);
}
