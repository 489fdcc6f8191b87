// The three pages of the preferences dialog. Each builds itself from the
// current values and hands back what its fields hold; the dialog decides
// what is written.
#pragma once

#include "prefs/pref_values.h"

#include <wx/panel.h>

#include <array>

class wxCheckBox;
class wxStaticText;
class wxTextCtrl;

namespace qn {

class ColourBox;
class Database;
class FontBox;

// "pref.Settings": program settings from the settings store.
class UserSettingsPanel : public wxPanel {
public:
    explicit UserSettingsPanel(wxWindow* parent);

    SettingsPageValues values() const;
    wxTextCtrl* numberField(int index) const { return numbers_[static_cast<size_t>(index)]; }
    wxCheckBox* saveFlagBox(int position) const { return flags_[static_cast<size_t>(position)]; }
    wxCheckBox* backupsInDataFolderBox() const { return backupsInDataFolder_; }
    wxCheckBox* loadRemoteImagesBox() const { return loadRemoteImages_; }
    ColourBox* captionBackground() const { return captionBack_; }
    ColourBox* captionText() const { return captionText_; }

private:
    std::array<wxTextCtrl*, 4> numbers_{};
    std::array<wxCheckBox*, 4> flags_{};
    wxCheckBox* backupsInDataFolder_ = nullptr;
    wxCheckBox* loadRemoteImages_ = nullptr;
    ColourBox* captionBack_ = nullptr;
    ColourBox* captionText_ = nullptr;
};

// "pref.Fovourite": the favourite documents, one path a line.
class FavouriteFilesPanel : public wxPanel {
public:
    explicit FavouriteFilesPanel(wxWindow* parent);

    wxTextCtrl* list() const { return list_; }
    // The line that names the paths which lead nowhere (empty when none).
    wxStaticText* missingPaths() const { return missing_; }
    // The text differs from the list the page started with.
    bool edited() const;
    // What the Add button does: a document chosen in the open dialog is
    // appended as a line.
    void addFavourite();

private:
    void flagMissing();

    wxTextCtrl* list_ = nullptr;
    wxStaticText* missing_ = nullptr;
    wxString initial_;
};

// "pref.Defaults": the open document's default fonts, colours and
// compression; disabled without a document.
class DefaultsPanel : public wxPanel {
public:
    DefaultsPanel(wxWindow* parent, Database& db);

    FontBox* articleFont() const { return articleFont_; }
    ColourBox* articleText() const { return articleText_; }
    ColourBox* articleBackground() const { return articleBack_; }
    FontBox* navigationFont() const { return navFont_; }
    ColourBox* navigationText() const { return navText_; }
    ColourBox* navigationBackground() const { return navBack_; }
    wxCheckBox* compress() const { return compress_; }
    // The check box differs from the document's setting.
    bool compressChanged() const;

private:
    FontBox* articleFont_ = nullptr;
    ColourBox* articleText_ = nullptr;
    ColourBox* articleBack_ = nullptr;
    FontBox* navFont_ = nullptr;
    ColourBox* navText_ = nullptr;
    ColourBox* navBack_ = nullptr;
    wxCheckBox* compress_ = nullptr;
    bool initialCompress_ = false;
};

} // namespace qn
