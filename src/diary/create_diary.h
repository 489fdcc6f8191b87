// "Create diary": turns the node selected in the tree into a year of months
// and days, or into a month of days.
#pragma once

#include "diary/diary_calendar.h"

#include <wx/dialog.h>

class wxCheckBox;
class wxComboBox;
class wxRadioButton;
class wxTextCtrl;

namespace qn {

class TreePanel;

class CreateDiary : public wxDialog {
public:
    enum { ID_ANNUAL = 1, ID_MONTHLY = 2, ID_YEAR = 3, ID_MONTH = 4, ID_SUNDAYS = 5,
           ID_SATURDAYS = 6 };

    CreateDiary(wxWindow* parent, wxWindowID id, TreePanel& tree, Database& db);

    // Builds the calendar from the dialog's fields; false (and a message)
    // when the year is not one from 1 to 9999, so that the dialog stays.
    bool build();

private:
    void onKind(wxCommandEvent& event);
    void onOk(wxCommandEvent& event);
    void onCancel(wxCommandEvent& event);

    TreePanel& tree_;
    Database& db_;
    wxRadioButton* annual_ = nullptr;
    wxRadioButton* monthly_ = nullptr;
    wxTextCtrl* year_ = nullptr;
    wxComboBox* month_ = nullptr;
    wxCheckBox* sundays_ = nullptr;
    wxCheckBox* saturdays_ = nullptr;
};

// Names and icons of the calendar as the text constants and the settings
// give them now.
DiaryLook currentDiaryLook(bool markSundays, bool markSaturdays);

} // namespace qn
