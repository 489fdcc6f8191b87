#include "prefs/colour_box.h"

#include <wx/colordlg.h>

namespace qn {

ColourBox::ColourBox(wxWindow* parent, wxWindowID id)
    : wxPanel(parent, id, wxDefaultPosition, wxSize(20, 20), wxBORDER_SIMPLE) {
    SetMinSize(wxSize(20, 20));
    SetBackgroundColour(wxColour(200, 200, 200));
    SetCursor(wxCursor(wxCURSOR_HAND));
    Bind(wxEVT_LEFT_UP, &ColourBox::onLeftUp, this);
}

void ColourBox::setColour(const wxColour& colour) {
    if (!colour.IsOk()) return;
    SetBackgroundColour(colour);
    Refresh();
}

void ColourBox::choose() {
    wxColourData data;
    wxColourDialog dialog(this, &data);
    dialog.SetTitle(wxString());
    if (dialog.ShowModal() != wxID_OK) return;
    const wxColour picked = dialog.GetColourData().GetColour();
    if (!picked.IsOk()) return;
    SetBackgroundColour(picked);
    Refresh();
    changed_ = true;
}

void ColourBox::onLeftUp(wxMouseEvent& event) {
    event.Skip();
    choose();
}

} // namespace qn
