#include "prefs/pref_panels.h"

#include "app/app_config.h"
#include "app/file_list.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "prefs/colour_box.h"
#include "prefs/font_box.h"
#include "store/database.h"
#include "ui/chosen_file.h"
#include "ui/node_model.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filedlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace qn {

namespace {

void addRow(wxWindow* parent, wxFlexGridSizer* grid, const wxString& label, wxWindow* control) {
    grid->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(control, 0, wxALIGN_CENTER_VERTICAL);
}

// The settings store's colour; an empty value leaves the box grey.
void showSettingColour(ColourBox* box, const wxString& key) {
    if (!settings().get(key).empty()) box->setColour(settings().getColour(key));
}

} // namespace

// ---------------------------------------------------------------------------

UserSettingsPanel::UserSettingsPanel(wxWindow* parent) : wxPanel(parent) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* grid = new wxFlexGridSizer(2, 5, 10);
    IniFile& s = settings();
    const auto& table = numberSettings();
    for (size_t i = 0; i < table.size(); ++i) {
        numbers_[i] = new wxTextCtrl(this, wxID_ANY, s.get(wxString::FromAscii(table[i].key)),
                                     wxDefaultPosition, wxSize(80, -1));
        addRow(this, grid, text(table[i].labelKey), numbers_[i]);
    }
    captionBack_ = new ColourBox(this);
    showSettingColour(captionBack_, wxS("c.caption.back"));
    addRow(this, grid, text("pref.CaptionBGColour"), captionBack_);
    captionText_ = new ColourBox(this);
    showSettingColour(captionText_, wxS("c.caption.text"));
    addRow(this, grid, text("pref.CaptionTextColour"), captionText_);
    top->Add(grid, 0, wxALL, 10);

    // Shown in this order; each stands for one position of "save".
    const struct {
        const char* key;
        int position;
    } boxes[] = {{"pref.AutoSaveOnExit", 3},
                 {"pref.SaveWinPosSize", 0},
                 {"pref.SaveSelectedNode", 1},
                 {"pref.SaveExpandedNodes", 2}};
    const wxString save = s.get(wxS("save"));
    for (const auto& b : boxes) {
        auto* box = new wxCheckBox(this, wxID_ANY, text(b.key));
        box->SetValue(saveFlag(save, b.position));
        flags_[static_cast<size_t>(b.position)] = box;
        top->Add(box, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    }
    backupsInDataFolder_ = new wxCheckBox(this, wxID_ANY, text("pref.BackupInDataFolder"));
    backupsInDataFolder_->SetValue(s.getInt(wxS("backupLocation")) == 1);
    top->Add(backupsInDataFolder_, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    loadRemoteImages_ = new wxCheckBox(this, wxID_ANY, text("pref.LoadRemoteImages"));
    loadRemoteImages_->SetValue(s.getInt(wxS("remoteImages")) == 1);
    top->Add(loadRemoteImages_, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    SetSizer(top);
}

SettingsPageValues UserSettingsPanel::values() const {
    SettingsPageValues v;
    for (size_t i = 0; i < numbers_.size(); ++i)
        v.numbers[i] = numbers_[i]->GetValue();
    for (size_t i = 0; i < flags_.size(); ++i)
        v.flags[i] = flags_[i]->GetValue();
    v.backupsInDataFolder = backupsInDataFolder_->GetValue();
    v.loadRemoteImages = loadRemoteImages_->GetValue();
    return v;
}

// ---------------------------------------------------------------------------

FavouriteFilesPanel::FavouriteFilesPanel(wxWindow* parent) : wxPanel(parent) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    auto* add = new wxButton(this, wxID_ADD, text("pref.Add"));
    row->Add(add, 0, wxRIGHT | wxALIGN_CENTER_VERTICAL, 10);
    row->Add(new wxStaticText(this, wxID_ANY, text("pref.FavouriteMsg")), 0,
             wxALIGN_CENTER_VERTICAL);
    top->Add(row, 0, wxALL, 10);
    for (const wxString& path : favourites().entries())
        initial_ << path << wxS("\n");
    list_ = new wxTextCtrl(this, wxID_ANY, initial_, wxDefaultPosition, wxSize(400, 150),
                           wxTE_MULTILINE | wxHSCROLL | wxTE_DONTWRAP);
    top->Add(list_, 1, wxLEFT | wxRIGHT | wxBOTTOM | wxEXPAND, 10);
    // Paths that lead nowhere are named below the list as they are typed.
    missing_ = new wxStaticText(this, wxID_ANY, wxString());
    missing_->SetForegroundColour(*wxRED);
    top->Add(missing_, 0, wxLEFT | wxRIGHT | wxBOTTOM | wxEXPAND, 10);
    SetSizer(top);
    add->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { addFavourite(); });
    list_->Bind(wxEVT_TEXT, [this](wxCommandEvent& event) {
        event.Skip();
        flagMissing();
    });
    flagMissing();
}

void FavouriteFilesPanel::flagMissing() {
    wxString shown;
    for (const wxString& path : missingFavourites(list_->GetValue()))
        shown += (shown.empty() ? text("pref.FavouriteMissing") + wxS(" ") : wxS(", ")) + path;
    if (shown == missing_->GetLabel()) return;
    missing_->SetLabel(shown);
    Layout();
}

bool FavouriteFilesPanel::edited() const {
    return list_->GetValue() != initial_;
}

void FavouriteFilesPanel::addFavourite() {
    wxFileDialog dialog(this, text("s.SelectFile"), wxString(), wxString(),
                        wxS("Quillnest files (*.q2db)|*.q2db|All files (*.*)|*.*"),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return;
    const wxString path = chosenPath(dialog.GetPath(), dialog.GetDirectory(), dialog.GetFilename());
    if (path.empty()) return;
    // A list typed without a final line break still gets one path a line.
    const wxString current = list_->GetValue();
    if (!current.empty() && !current.EndsWith(wxS("\n"))) list_->AppendText(wxS("\n"));
    list_->AppendText(path + wxS("\n"));
}

// ---------------------------------------------------------------------------

DefaultsPanel::DefaultsPanel(wxWindow* parent, Database& db) : wxPanel(parent) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* grid = new wxFlexGridSizer(2, 5, 10);
    articleFont_ = new FontBox(this);
    articleText_ = new ColourBox(this);
    articleBack_ = new ColourBox(this);
    navFont_ = new FontBox(this);
    navText_ = new ColourBox(this);
    navBack_ = new ColourBox(this);
    addRow(this, grid, text("pref.TextFont"), articleFont_);
    addRow(this, grid, text("pref.TextColour"), articleText_);
    addRow(this, grid, text("pref.TextBGColour"), articleBack_);
    addRow(this, grid, text("pref.NavFont"), navFont_);
    addRow(this, grid, text("pref.NavCaptionColour"), navText_);
    addRow(this, grid, text("pref.NavBGColour"), navBack_);
    top->Add(grid, 0, wxALL, 10);
    compress_ = new wxCheckBox(this, wxID_ANY, text("pref.Compress"));
    top->Add(compress_, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    SetSizer(top);

    if (!db.isOpen()) {
        Enable(false);
        return;
    }
    articleFont_->setFont(db.getString(K_Fname), static_cast<int>(db.getInt(K_Fsize)),
                          db.getString(K_Fattr));
    navFont_->setFont(db.getString(K_NFname), static_cast<int>(db.getInt(K_NFsize)),
                      db.getString(K_NFattr));
    articleText_->setColour(toWxColour(db.getColour(K_fc)));
    articleBack_->setColour(toWxColour(db.getColour(K_bg)));
    navText_->setColour(toWxColour(db.getColour(K_Nfc)));
    navBack_->setColour(toWxColour(db.getColour(K_Tbg)));
    initialCompress_ = db.getInt(K_comp) == 1;
    compress_->SetValue(initialCompress_);
}

bool DefaultsPanel::compressChanged() const {
    return IsEnabled() && compress_->GetValue() != initialCompress_;
}

} // namespace qn
