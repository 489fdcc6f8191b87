#include "frame_test_program.h"

#include "gui_test_support.h"

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
#include <vector>

wxIMPLEMENT_APP_NO_MAIN(qn::MyApp);

namespace qn::test {

SettingOverride::SettingOverride(const wxString& key, const wxString& value)
    : key_(key), old_(settings().get(key)) {
    settings().set(key, value);
}

SettingOverride::~SettingOverride() {
    settings().set(key_, old_);
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

int runFrameTests(int argc, char** argv) {
    TestDir home;
    GuiTestProgram program;
    program.setUp = [&home] {
        wxString error;
        if (!prepareAppDataDir(home.path(), &error)) {
            std::fprintf(stderr, "no application data directory: %s\n",
                         error.utf8_string().c_str());
            return false;
        }
        setAppDataDir(home.path());
        if (loadConfig(appDataDir(), wxS("en")) != ConfigStatus::Ok) {
            std::fprintf(stderr, "the configuration did not load\n");
            return false;
        }
        addImageHandlers();
        loadTreeIcons();
        registerQudbHandler();
        return true;
    };
    program.tearDown = [] {
        unloadConfig();
        destroyTreeIcons();
    };
    return runGuiTests(argc, argv, program);
}

} // namespace qn::test
