// Test program of the converter, preferences and object windows: one
// toolkit application, a private copy of the shipped configuration.
#include "windows_gui_util.h"

#include "frame/frame_registry.h"
#include "frame/main_frame.h"

namespace qn::test {

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
    return qn::test::runFrameTests(argc, argv);
}
