#include "prefs/font_box.h"

#include "app/text_constants.h"
#include "ui/node_model.h"

#include <wx/dc.h>
#include <wx/fontdlg.h>
#include <wx/settings.h>

namespace qn {

FontBox::FontBox(wxWindow* parent, wxWindowID id) : PickerBox(parent, id, wxSize(200, -1)) {
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW));
    const int height = GetCharHeight() + 10;
    SetMinSize(wxSize(200, height));
    SetSize(wxSize(200, height));
}

void FontBox::setFont(const wxString& faceName, int pointSize, const wxString& styleLetters) {
    font_ = fontFromValues(faceName, pointSize, styleLetters);
    showLabel();
}

void FontBox::showLabel() {
    label_ = wxString::Format(wxS(" %s, %d"), font_.GetFaceName(), font_.GetPointSize());
    if (font_.GetWeight() >= wxFONTWEIGHT_BOLD) label_ += wxS(", ") + text("pref.Bold");
    if (font_.GetStyle() == wxFONTSTYLE_ITALIC || font_.GetStyle() == wxFONTSTYLE_SLANT)
        label_ += wxS(", ") + text("pref.Italic");
    SetToolTip(label_);
    Refresh();
}

void FontBox::paintInside(wxDC& dc, const wxRect& inner) {
    // The label in the box's own size, in the font's weight and slant.
    wxFont shown = GetFont();
    if (font_.IsOk()) {
        shown.SetWeight(font_.GetWeight() >= wxFONTWEIGHT_BOLD ? wxFONTWEIGHT_BOLD
                                                               : wxFONTWEIGHT_NORMAL);
        shown.SetStyle(font_.GetStyle());
        shown.SetUnderlined(font_.GetUnderlined());
    }
    dc.SetFont(shown);
    dc.SetTextForeground(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT));
    dc.DrawLabel(label_, inner, wxALIGN_LEFT | wxALIGN_CENTER_VERTICAL);
}

void FontBox::choose() {
    wxFontData data;
    data.SetInitialFont(font_);
    data.SetChosenFont(font_);
    wxFontDialog dialog(this, data);
    if (dialog.ShowModal() != wxID_OK) return;
    const wxFont picked = dialog.GetFontData().GetChosenFont();
    if (!picked.IsOk()) return;
    font_ = picked;
    showLabel();
    changed_ = true;
}

} // namespace qn
