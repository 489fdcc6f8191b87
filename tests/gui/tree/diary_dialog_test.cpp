// "Create diary" through the Tools command: the dialog's main path, a year
// it refuses, and Cancel.
#include "tree_gui_util.h"

#include "app/text_constants.h"
#include "diary/create_diary.h"
#include "frame/main_frame.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <wx/combobox.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>

#include <functional>

template <>
class wxExpectModal<qn::CreateDiary> : public wxExpectModalBase<qn::CreateDiary> {
public:
    explicit wxExpectModal(std::function<int(qn::CreateDiary*)> answer)
        : answer_(std::move(answer)) {}

protected:
    int OnInvoked(qn::CreateDiary* dialog) const override { return answer_(dialog); }

private:
    std::function<int(qn::CreateDiary*)> answer_;
};

namespace qn {
namespace {

using test::ExpectMyMessage;

class DiaryDialog : public test::NewDocumentTest {
protected:
    void runCommand() {
        wxCommandEvent event(wxEVT_MENU, ID_CREATE_DIARY);
        frame->ProcessWindowEvent(event);
    }
    // Fills the dialog's fields as a user would.
    static void fill(CreateDiary* d, const wxString& year, int month) {
        static_cast<wxTextCtrl*>(d->FindWindow(CreateDiary::ID_YEAR))->SetValue(year);
        if (month >= 0) {
            static_cast<wxRadioButton*>(d->FindWindow(CreateDiary::ID_MONTHLY))->SetValue(true);
            static_cast<wxComboBox*>(d->FindWindow(CreateDiary::ID_MONTH))->SetSelection(month);
        }
    }
};

TEST_F(DiaryDialog, AMonthUnderTheSelectedNode) {
    // The top node has a child and its branch is open.
    test::addChild(*db, 1, wxS("older"));
    tree->SetItemHasChildren(tree->GetRootItem(), true);
    tree->Expand(tree->GetRootItem());
    ASSERT_TRUE(tree->IsExpanded(tree->GetRootItem()));
    tree->SelectItem(tree->GetRootItem());
    const bool titled = !db->getBlock(1)->getString(K_cap).empty();
    wxTEST_DIALOG(runCommand(), wxExpectModal<CreateDiary>([&](CreateDiary* d) {
                      fill(d, wxS("2023"), 1);
                      bool built = false;
                      // A titled node is renamed only when the user agrees.
                      if (titled) {
                          wxTEST_DIALOG(built = d->build(),
                                        ExpectMyMessage::containing(text("febF"), MSG_YES));
                      } else {
                          built = d->build();
                      }
                      return built ? wxID_OK : wxID_CANCEL;
                  }));
    Block* root = db->getBlock(1);
    EXPECT_EQ(root->getString(K_cap), text("febF"));
    EXPECT_EQ(root->getIntList(K_ch).size(), 29u);
    // The open branch shows the new days at once, after the older child.
    EXPECT_EQ(tree->GetChildrenCount(tree->GetRootItem(), false), 29u);
    EXPECT_EQ(tree->GetItemText(tree->GetRootItem()), text("febF"));
    EXPECT_TRUE(db->isModified());
}

TEST_F(DiaryDialog, ARefusedYearKeepsTheDialogAndCancelMakesNothing) {
    tree->SelectItem(tree->GetRootItem());
    wxTEST_DIALOG(runCommand(), wxExpectModal<CreateDiary>([](CreateDiary* d) {
                      fill(d, wxS("0"), -1);
                      bool built = true;
                      wxTEST_DIALOG(built = d->build(),
                                    ExpectMyMessage(text("s.DiaryYearInvalid")));
                      EXPECT_FALSE(built);
                      return wxID_CANCEL;
                  }));
    EXPECT_TRUE(db->getBlock(1)->getIntList(K_ch).empty());
    EXPECT_EQ(db->blocks().size(), 1u);
}

// A note the user titled is renamed only when the user agrees; made again,
// the calendar fills in and never doubles.
TEST_F(DiaryDialog, ATitledNoteIsAskedBeforeItIsRenamed) {
    db->getBlock(1)->setString(K_cap, wxS("My journal"));
    tree->SelectItem(tree->GetRootItem());
    auto make = [&](int answer) {
        bool built = false;
        wxTEST_DIALOG(runCommand(), wxExpectModal<CreateDiary>([&](CreateDiary* d) {
                          fill(d, wxS("2023"), 1);
                          wxTEST_DIALOG(built = d->build(),
                                        ExpectMyMessage::containing(wxS("\"My journal\""), answer));
                          return built ? wxID_OK : wxID_CANCEL;
                      }));
        return built;
    };
    // Cancel: the dialog stays and nothing is made.
    EXPECT_FALSE(make(MSG_CANCEL));
    EXPECT_TRUE(db->getBlock(1)->getIntList(K_ch).empty());
    // No: the days are made under the title the note had.
    EXPECT_TRUE(make(MSG_NO));
    EXPECT_EQ(db->getBlock(1)->getString(K_cap), wxS("My journal"));
    EXPECT_EQ(db->getBlock(1)->getIntList(K_ch).size(), 28u);
    // Again, now renamed: the month is not made a second time.
    EXPECT_TRUE(make(MSG_YES));
    EXPECT_EQ(db->getBlock(1)->getString(K_cap), text("febF"));
    EXPECT_EQ(db->getBlock(1)->getIntList(K_ch).size(), 28u);
}

} // namespace
} // namespace qn
