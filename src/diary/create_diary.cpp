#include "diary/create_diary.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"
#include "ui/my_message.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/datetime.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <algorithm>

namespace qn {

namespace {
const char* const kMonthFull[12] = {"janF", "febF", "marF", "aprF", "mayF", "junF",
                                    "julF", "augF", "sepF", "octF", "novF", "decF"};
const char* const kMonthShort[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                     "jul", "aug", "sep", "oct", "nov", "dec"};
const char* const kDayFull[7] = {"sunF", "monF", "tueF", "wedF", "thuF", "friF", "satF"};
const char* const kDayShort[7] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
} // namespace

DiaryLook currentDiaryLook(bool markSundays, bool markSaturdays) {
    DiaryLook look;
    for (int m = 0; m < 12; ++m) {
        look.names.monthFull[m] = text(kMonthFull[m]);
        look.names.monthShort[m] = text(kMonthShort[m]);
    }
    for (int d = 0; d < 7; ++d) {
        look.names.dayFull[d] = text(kDayFull[d]);
        look.names.dayShort[d] = text(kDayShort[d]);
    }
    IniFile& s = settings();
    look.pattern = s.get(wxS("s.DayItemFormat"));
    look.iconYear = s.get(wxS("iconYear"));
    look.iconMonth = s.get(wxS("iconMonth"));
    look.iconDay = s.get(wxS("iconDay"));
    look.iconSunday = s.get(wxS("iconSunday"));
    look.iconSaturday = s.get(wxS("iconSaturday"));
    look.markSundays = markSundays;
    look.markSaturdays = markSaturdays;
    return look;
}

CreateDiary::CreateDiary(wxWindow* parent, wxWindowID id, TreePanel& tree, Database& db)
    : wxDialog(parent, id, text("s.Title")), tree_(tree), db_(db) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(new wxStaticText(this, wxID_ANY, text("s.CreateCalendar")), 0, wxALL, 5);

    auto* grid = new wxFlexGridSizer(2, 5, 5);
    annual_ = new wxRadioButton(this, ID_ANNUAL, text("s.Annual"), wxDefaultPosition,
                                wxDefaultSize, wxRB_GROUP);
    annual_->SetValue(true);
    year_ = new wxTextCtrl(this, ID_YEAR,
                           wxString::Format(wxS("%d"), wxDateTime::Now().GetYear()),
                           wxDefaultPosition, wxSize(65, -1));
    monthly_ = new wxRadioButton(this, ID_MONTHLY, text("s.Monthly"));
    wxArrayString months;
    for (const char* key : kMonthFull)
        months.Add(text(key));
    month_ = new wxComboBox(this, ID_MONTH, months[0], wxDefaultPosition, wxDefaultSize, months,
                            wxCB_READONLY);
    month_->SetSelection(0);
    month_->Enable(false);
    sundays_ = new wxCheckBox(this, ID_SUNDAYS, text("s.SundayColour"));
    sundays_->SetValue(true);
    saturdays_ = new wxCheckBox(this, ID_SATURDAYS, text("s.SaturdayColour"));
    saturdays_->SetValue(true);
    grid->Add(annual_, 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(year_);
    grid->Add(monthly_, 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(month_);
    grid->Add(sundays_);
    grid->AddSpacer(0);
    grid->Add(saturdays_);
    top->Add(grid, 0, wxALL, 5);
    top->AddSpacer(5);
    addButtonRow(this, top, MSG_OK | MSG_CANCEL);
    SetSizerAndFit(top);
    Centre();

    // Enter and Escape answer the dialog like its buttons.
    SetAffirmativeId(MSG_ID_OK);
    SetEscapeId(MSG_ID_CANCEL);
    if (auto* ok = dynamic_cast<wxButton*>(FindWindow(MSG_ID_OK))) ok->SetDefault();

    Bind(wxEVT_RADIOBUTTON, &CreateDiary::onKind, this, ID_ANNUAL);
    Bind(wxEVT_RADIOBUTTON, &CreateDiary::onKind, this, ID_MONTHLY);
    Bind(wxEVT_BUTTON, &CreateDiary::onOk, this, MSG_ID_OK);
    Bind(wxEVT_BUTTON, &CreateDiary::onCancel, this, MSG_ID_CANCEL);
}

void CreateDiary::onKind(wxCommandEvent&) {
    if (annual_->GetValue()) month_->SetSelection(0);
    month_->Enable(monthly_->GetValue());
}

void CreateDiary::onCancel(wxCommandEvent&) {
    EndModal(wxID_CANCEL);
}

void CreateDiary::onOk(wxCommandEvent&) {
    const wxTreeItemId item = tree_.GetSelection();
    if (!item.IsOk() || !tree_.nodeOf(item)) {
        EndModal(wxID_CANCEL);
        return;
    }
    if (build()) EndModal(wxID_OK);
}

bool CreateDiary::build() {
    const long year = parseYear(year_->GetValue());
    if (year < kFirstDiaryYear || year > kLastDiaryYear) {
        showMessage(text("s.DiaryYearInvalid"), text("s.Title"), MSG_OK | MSG_ICON_WARNING, this);
        year_->SetFocus();
        return false;
    }
    const wxTreeItemId item = tree_.GetSelection();
    Block* node = item.IsOk() ? tree_.nodeOf(item) : nullptr;
    if (!node) return false;
    // No choice counts as January.
    const int month = std::max(0, month_->GetSelection());
    const DiaryLook look = currentDiaryLook(sundays_->GetValue(), saturdays_->GetValue());

    const bool annual = annual_->GetValue();
    const wxString title =
        annual ? wxString::Format(wxS("%ld"), year) : look.names.monthFull[month];
    // A note the user titled keeps its title unless the user agrees.
    bool rename = true;
    const wxString oldTitle = node->getString(K_cap);
    if (!oldTitle.empty() && oldTitle != title) {
        const int answer = showMessage(fillPlaceholders(text("s.DiaryRename"), {oldTitle, title}),
                                       text("s.Title"),
                                       MSG_YES | MSG_NO | MSG_CANCEL | MSG_ICON_QUESTION, this);
        if (answer == MSG_CANCEL) return false;
        rename = answer == MSG_YES;
    }

    wxBusyCursor busy;
    const bool wasExpanded = tree_.IsExpanded(item);
    const wxString newTitle = rename ? title : oldTitle;
    bool made;
    if (annual) {
        tree_.setTitleAndIcon(item, newTitle, look.iconYear);
        made = fillYear(db_, *node, static_cast<int>(year), look);
    } else {
        tree_.setTitleAndIcon(item, newTitle, look.iconMonth);
        made = fillMonth(db_, *node, static_cast<int>(year), month,
                         weekdayOf(static_cast<int>(year), month, 1), look) >= 0;
    }
    tree_.SetItemHasChildren(item, true);
    // A category of this node shows its new title.
    if (tree_.groupContainer()) tree_.groupContainer()->refreshCategory(node);
    // An open branch shows only the items it loaded: load it again so the
    // new nodes appear now.
    if (wasExpanded) {
        tree_.Collapse(item);
        tree_.DeleteChildren(item);
        tree_.SetItemHasChildren(item, true);
        tree_.Expand(item);
    }
    if (!made) {
        const StoreError& e = db_.lastError();
        showMessage(text("s.DiaryIncomplete") + (e ? wxS("\n\n") + e.message : wxString()),
                    text("s.Title"), MSG_OK | MSG_ICON_ERROR, this);
    }
    return true;
}

} // namespace qn
