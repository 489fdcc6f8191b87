#include "prefs/colour_box.h"

#include <wx/colordlg.h>

namespace qn {

ColourBox::ColourBox(wxWindow* parent, wxWindowID id) : PickerBox(parent, id, wxSize(20, 20)) {
    SetBackgroundColour(wxColour(200, 200, 200));
}

void ColourBox::setColour(const wxColour& colour) {
    if (!colour.IsOk()) return;
    SetBackgroundColour(colour);
    Refresh();
}

void ColourBox::choose() {
    wxColourData data;
    data.SetColour(colour()); // the chooser starts at the colour shown
    wxColourDialog dialog(this, &data);
    dialog.SetTitle(wxString());
    if (dialog.ShowModal() != wxID_OK) return;
    const wxColour picked = dialog.GetColourData().GetColour();
    if (!picked.IsOk()) return;
    SetBackgroundColour(picked);
    Refresh();
    changed_ = true;
}

} // namespace qn
