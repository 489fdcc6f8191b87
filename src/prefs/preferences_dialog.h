// The preferences dialog: program settings, favourite documents and the
// open document's defaults on three pages.
#pragma once

#include <wx/colour.h>
#include <wx/dialog.h>
#include <wx/font.h>

class wxNotebook;

namespace qn {

class Database;

// What a confirmed preferences dialog hands back; invalid fonts and
// colours mean "not chosen".
struct PreferencesChoice {
    bool favouritesEdited = false;
    wxFont articleFont;
    wxColour articleText, articleBackground;
    wxFont navigationFont;
    wxColour navigationText, navigationBackground;
    wxColour captionText, captionBackground;
};

class DefaultsPanel;
class FavouriteFilesPanel;
class UserSettingsPanel;

class PreferencesDialog : public wxDialog {
public:
    enum { ID_NOTEBOOK = 500 };

    PreferencesDialog(wxWindow* parent, Database& db);

    // What OK does: checks the number fields and, only when all are
    // acceptable, writes the settings, the favourites and the document's
    // compression. False (after a message) keeps the dialog open.
    bool apply();
    // The fonts and colours chosen, for MainFrame::applyPreferences.
    PreferencesChoice choice() const;

    wxNotebook* notebook() const { return notebook_; }
    UserSettingsPanel* settingsPage() const { return settingsPage_; }
    FavouriteFilesPanel* favouritesPage() const { return favouritesPage_; }
    DefaultsPanel* defaultsPage() const { return defaultsPage_; }

private:
    void onOk(wxCommandEvent& event);
    void onCancel(wxCommandEvent& event);

    Database& db_;
    wxNotebook* notebook_ = nullptr;
    UserSettingsPanel* settingsPage_ = nullptr;
    FavouriteFilesPanel* favouritesPage_ = nullptr;
    DefaultsPanel* defaultsPage_ = nullptr;
    bool favouritesEdited_ = false;
};

} // namespace qn
