#include "article/caption_bar.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "ui/command_ids.h"
#include "ui/image_archive.h"
#include "ui/image_button.h"

#include <wx/button.h>
#include <wx/image.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

namespace qn {

namespace {

wxBitmap loadDefaultIcon() {
    wxImage image;
    const wxString path = appFile(wxS("images/quil16.bmp"));
    if (!wxFileExists(path) || !image.LoadFile(path, wxBITMAP_TYPE_BMP)) return wxBitmap();
    image.SetMaskColour(255, 255, 255);
    return wxBitmap(image);
}

bool hasColour(const wxString& key) {
    return settings().has(key) && !settings().get(key).empty();
}

} // namespace

CaptionBar::CaptionBar(wxWindow* parent, wxWindow* mainFrame, ImageArchive& archive)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_SUNKEN | wxTAB_TRAVERSAL,
              wxS("panel")),
      mainFrame_(mainFrame) {
    const wxBitmap backBitmap = archive.bitmap(wxS("toolbar/histBack.bmp"));
    if (backBitmap.IsOk()) {
        back_ = new ImageButton(this, ID_HISTORY_BACK, backBitmap);
        back_->setClickButtons(true, false);
    }
    const wxBitmap forwardBitmap = archive.bitmap(wxS("toolbar/histFwd.bmp"));
    if (forwardBitmap.IsOk()) {
        forward_ = new ImageButton(this, ID_HISTORY_FORWARD, forwardBitmap);
        forward_->setClickButtons(true, false);
    }
    icon_ = new ImageButton(this, ID_HISTORY_MENU);
    icon_->setClickButtons(true, false);
    // Long titles are cut with an ellipsis rather than pushing the switch
    // button out of the bar.
    text_ = new wxStaticText(this, wxID_ANY, text("s.Welcome"), wxDefaultPosition, wxDefaultSize,
                             wxST_ELLIPSIZE_END);
    wxFont bold = text_->GetFont();
    bold.MakeBold();
    text_->SetFont(bold);
    defaultIcon_ = loadDefaultIcon();
    icon_->setBitmap(defaultIcon_);

    toggle_ = new wxButton(this, ID_TOGGLE_PLAIN_HTML, wxS("---"));
    toggle_->Disable();
    setToggle(wxS("---"), false);

    auto* row = new wxBoxSizer(wxHORIZONTAL);
    if (back_) row->Add(back_, 0, wxLEFT | wxALIGN_CENTER_VERTICAL, 1);
    if (forward_) row->Add(forward_, 0, wxALIGN_CENTER_VERTICAL);
    row->Add(icon_, 0, wxLEFT | wxALIGN_CENTER_VERTICAL, 5);
    row->Add(text_, 1, wxALL | wxALIGN_CENTER_VERTICAL, 8);
    row->Add(toggle_, 0, wxALIGN_BOTTOM | wxFIXED_MINSIZE);
    SetSizer(row);

    applyColours();

    Bind(wxEVT_BUTTON, &CaptionBar::onImageButton, this, ID_HISTORY_MENU, ID_HISTORY_FORWARD);
    Bind(wxEVT_BUTTON, &CaptionBar::onToggle, this, ID_TOGGLE_PLAIN_HTML);
    Bind(wxEVT_SIZE, &CaptionBar::onSize, this);
}

void CaptionBar::setIcon(const wxBitmap& bitmap) {
    icon_->setBitmap(bitmap.IsOk() ? bitmap : defaultIcon_);
    Layout();
}

void CaptionBar::setCaption(const wxString& caption) {
    // "&" would otherwise be taken as a mnemonic marker.
    text_->SetLabelText(caption);
    Layout();
}

wxString CaptionBar::caption() const {
    return text_->GetLabelText();
}

void CaptionBar::resetCaption() {
    icon_->setBitmap(defaultIcon_);
    setCaption(text("s.DefaultCaption"));
    setToggle(wxS("---"), false); // no node, nothing to switch
}

void CaptionBar::setTextColour(const wxColour& colour) {
    text_->SetForegroundColour(colour);
    text_->Refresh();
}

void CaptionBar::applyColours() {
    if (hasColour(wxS("c.caption.text")))
        setTextColour(settings().getColour(wxS("c.caption.text")));
    if (hasColour(wxS("c.caption.back")))
        SetBackgroundColour(settings().getColour(wxS("c.caption.back")));
    Refresh();
}

void CaptionBar::setToggle(const wxString& label, bool enabled) {
    toggle_->SetLabel(label);
    toggle_->Enable(enabled);
    // At least 40 pixels, wider when a translated label needs it.
    toggle_->SetMinSize(wxDefaultSize);
    const int width = std::max(40, toggle_->GetBestSize().x);
    toggle_->SetMinSize(wxSize(width, -1));
    Layout();
}

void CaptionBar::onImageButton(wxCommandEvent& event) {
    if (mainFrame_) mainFrame_->GetEventHandler()->ProcessEvent(event);
}

void CaptionBar::onToggle(wxCommandEvent&) {
    if (!mainFrame_) return;
    wxCommandEvent command(wxEVT_MENU, ID_TOGGLE_PLAIN_HTML);
    command.SetEventObject(this);
    mainFrame_->GetEventHandler()->ProcessEvent(command);
}

void CaptionBar::onSize(wxSizeEvent& event) {
    Layout();
    event.Skip();
}

} // namespace qn
