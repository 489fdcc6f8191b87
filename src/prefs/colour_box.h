// A colour swatch of the preferences dialog: a click opens the colour
// chooser, and the caller asks afterwards whether a colour was chosen.
#pragma once

#include <wx/panel.h>

namespace qn {

class ColourBox : public wxPanel {
public:
    ColourBox(wxWindow* parent, wxWindowID id = wxID_ANY);

    void setColour(const wxColour& colour);
    wxColour colour() const { return GetBackgroundColour(); }
    // The chosen colour, or an invalid one unless the user chose one.
    wxColour colourIfChanged() const { return changed_ ? colour() : wxColour(); }

    // What a click does: the colour chooser, and its choice taken.
    void choose();

private:
    void onLeftUp(wxMouseEvent& event);

    bool changed_ = false;
};

} // namespace qn
