// Shared by the tree and file-command tests: settings for one test, small
// builders of documents and of main windows, and a fixture over a new
// document.
#pragma once

#include "frame_test_program.h"
#include "gui_test_support.h"

#include "store/database.h"

namespace qn {
class GroupContainer;
class MainFrame;
class TreePanel;
} // namespace qn

namespace qn::test {

// A new child of `parent` (appended) with a title.
Block* addChild(Database& db, int parent, const wxString& title);

// A main window over a new document; all of it is thrown away afterwards.
class NewDocumentTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { discardAll(); }

    MainFrame* frame = nullptr;
    Database* db = nullptr;
    TreePanel* tree = nullptr;
    GroupContainer* groups = nullptr;
};

} // namespace qn::test
