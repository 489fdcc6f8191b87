// Test program of the converter, preferences and object windows: one
// toolkit application, a private copy of the shipped configuration.
#include "windows_gui_util.h"

#include "app/app_config.h"
#include "app/app_paths.h"
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

MainFrame* newFrame() {
    MainFrame* frame = MainFrame::createFromSettings(text(wxS("s.Title")));
    frame->Show();
    return frame;
}

void discardAll() {
    for (const FrameEntry& e : std::vector<FrameEntry>(registeredFrames())) {
        Database& db = e.frame->database();
        QudbFSHandler::unregisterDatabase(&db);
        setFramePath(e.frame, wxString());
        e.frame->categoryBar()->clearCategories();
        e.frame->treePanel()->clearTree();
        db.close();
    }
    destroyAllWindows();
}

void DocumentTest::SetUp() {
    frame = newFrame();
    db = &frame->database();
}

void DocumentTest::saveNewDocument(const wxString& path) {
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    db->setPath(path);
    setFramePath(frame, path);
    ASSERT_TRUE(db->save());
}

} // namespace qn::test

int main(int argc, char** argv) {
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
