// Shared by the tests of the converter, preferences and object windows:
// main windows over new documents, thrown away afterwards.
#pragma once

#include "frame_test_program.h"
#include "gui_test_support.h"

#include "store/database.h"

namespace qn {
class MainFrame;
} // namespace qn

namespace qn::test {

// A main window over a new document saved as `file` (when not empty).
class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { discardAll(); }
    // Opens a new document in `frame` and saves it under `path`.
    void saveNewDocument(const wxString& path);

    TestDir dir;
    MainFrame* frame = nullptr;
    Database* db = nullptr;
};

} // namespace qn::test
