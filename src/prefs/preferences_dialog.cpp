#include "prefs/preferences_dialog.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "prefs/colour_box.h"
#include "prefs/font_box.h"
#include "prefs/pref_panels.h"
#include "store/database.h"
#include "store/keys.h"
#include "ui/my_message.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/notebook.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>

namespace qn {

PreferencesDialog::PreferencesDialog(wxWindow* parent, Database& db)
    : wxDialog(parent, wxID_ANY, text("s.Title")), db_(db) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    notebook_ = new wxNotebook(this, ID_NOTEBOOK);
    settingsPage_ = new UserSettingsPanel(notebook_);
    favouritesPage_ = new FavouriteFilesPanel(notebook_);
    defaultsPage_ = new DefaultsPanel(notebook_, db);
    notebook_->AddPage(settingsPage_, text("pref.Settings"), true);
    notebook_->AddPage(favouritesPage_, text("pref.Fovourite"));
    notebook_->AddPage(defaultsPage_, text("pref.Defaults"));
    top->Add(notebook_, 1, wxALL | wxEXPAND, 5);
    addButtonRow(this, top, MSG_OK | MSG_CANCEL);
    SetSizerAndFit(top);
    Centre();

    SetAffirmativeId(MSG_ID_OK);
    SetEscapeId(MSG_ID_CANCEL);
    if (auto* ok = dynamic_cast<wxButton*>(FindWindow(MSG_ID_OK))) ok->SetDefault();
    Bind(wxEVT_BUTTON, &PreferencesDialog::onOk, this, MSG_ID_OK);
    Bind(wxEVT_BUTTON, &PreferencesDialog::onCancel, this, MSG_ID_CANCEL);
}

bool PreferencesDialog::apply() {
    const SettingsPageValues values = settingsPage_->values();
    const int bad = firstInvalidNumber(values);
    if (bad >= 0) {
        const NumberSetting& field = numberSettings()[static_cast<size_t>(bad)];
        notebook_->SetSelection(0);
        showMessage(
            fillPlaceholders(text("pref.NumberInvalid"), {fieldName(text(field.labelKey)),
                                                          wxString::Format(wxS("%d"), field.min),
                                                          wxString::Format(wxS("%d"), field.max)}),
            text("s.Title"), MSG_OK | MSG_ICON_ERROR, this);
        settingsPage_->numberField(bad)->SetFocus();
        settingsPage_->numberField(bad)->SelectAll();
        return false;
    }
    writeSettingsPage(settings(), values);
    favouritesEdited_ = favouritesPage_->edited();
    if (favouritesEdited_) replaceFavourites(favourites(), favouritesPage_->list()->GetValue());
    // Written only when changed: confirming without changes must not mark
    // the document modified.
    if (db_.isOpen() && defaultsPage_->compressChanged())
        db_.setInt(K_comp, defaultsPage_->compress()->GetValue() ? 1 : 0);
    return true;
}

PreferencesChoice PreferencesDialog::choice() const {
    PreferencesChoice c;
    c.favouritesEdited = favouritesEdited_;
    c.captionText = settingsPage_->captionText()->colourIfChanged();
    c.captionBackground = settingsPage_->captionBackground()->colourIfChanged();
    if (db_.isOpen()) {
        c.articleFont = defaultsPage_->articleFont()->fontIfChanged();
        c.articleText = defaultsPage_->articleText()->colourIfChanged();
        c.articleBackground = defaultsPage_->articleBackground()->colourIfChanged();
        c.navigationFont = defaultsPage_->navigationFont()->fontIfChanged();
        c.navigationText = defaultsPage_->navigationText()->colourIfChanged();
        c.navigationBackground = defaultsPage_->navigationBackground()->colourIfChanged();
    }
    return c;
}

void PreferencesDialog::onOk(wxCommandEvent&) {
    if (apply()) EndModal(wxID_OK);
}

void PreferencesDialog::onCancel(wxCommandEvent&) {
    EndModal(wxID_CANCEL);
}

} // namespace qn
