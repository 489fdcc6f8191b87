// Shared by the tree and file-command tests: settings for one test, small
// builders of documents and of main windows, and a fixture over a new
// document.
#pragma once

#include "frame_test_program.h"
#include "gui_test_support.h"

#include "store/database.h"

#include <wx/choicdlg.h>

// A choice dialog answered with OK on the item at `choice`.
template <>
class wxExpectModal<wxSingleChoiceDialog> : public wxExpectModalBase<wxSingleChoiceDialog> {
public:
    explicit wxExpectModal(int choice) : choice_(choice) {}

protected:
    int OnInvoked(wxSingleChoiceDialog* dialog) const override {
        dialog->SetSelection(choice_);
        return wxID_OK;
    }

private:
    int choice_;
};

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
