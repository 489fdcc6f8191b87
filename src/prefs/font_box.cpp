#include "prefs/font_box.h"

#include "ui/node_model.h"

#include <wx/fontdlg.h>

namespace qn {

FontBox::FontBox(wxWindow* parent, wxWindowID id)
    : wxStaticText(parent, id, wxString(), wxDefaultPosition, wxSize(200, -1),
                   wxBORDER_SIMPLE | wxST_NO_AUTORESIZE) {
    SetMinSize(wxSize(200, -1));
    SetCursor(wxCursor(wxCURSOR_HAND));
    Bind(wxEVT_LEFT_UP, &FontBox::onLeftUp, this);
}

void FontBox::setFont(const wxString& faceName, int pointSize, const wxString& styleLetters) {
    font_ = fontFromValues(faceName, pointSize, styleLetters);
    showLabel();
}

void FontBox::showLabel() {
    SetLabel(wxString::Format(wxS(" %s, %d"), font_.GetFaceName(), font_.GetPointSize()));
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

void FontBox::onLeftUp(wxMouseEvent& event) {
    event.Skip();
    choose();
}

} // namespace qn
