// Shared by the tree and file-command tests: settings for one test, small
// builders of documents and of main windows, and a fixture over a new
// document.
#pragma once

#include "gui_test_support.h"

#include "store/database.h"

namespace qn {
class GroupContainer;
class MainFrame;
class TreePanel;
} // namespace qn

namespace qn::test {

// Sets a value of the settings store for one test.
class SettingOverride {
public:
    SettingOverride(const wxString& key, const wxString& value);
    ~SettingOverride();

private:
    wxString key_, old_;
};

// A new child of `parent` (appended) with a title.
Block* addChild(Database& db, int parent, const wxString& title);

// A main window, shown, as start-up makes one.
MainFrame* newFrame();
// Throws the window's document away without saving or asking.
void discard(MainFrame* frame);
// Discards every window's document and destroys the windows.
void discardAll();

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
