// A colour swatch of the preferences dialog: a click, Space or Enter opens
// the colour chooser at the colour shown, and the caller asks afterwards
// whether a colour was chosen.
#pragma once

#include "prefs/picker_box.h"

namespace qn {

class ColourBox : public PickerBox {
public:
    ColourBox(wxWindow* parent, wxWindowID id = wxID_ANY);

    void setColour(const wxColour& colour);
    wxColour colour() const { return GetBackgroundColour(); }
    // The chosen colour, or an invalid one unless the user chose one.
    wxColour colourIfChanged() const { return changed_ ? colour() : wxColour(); }

    // The colour chooser, and its choice taken.
    void choose() override;

protected:
    void paintInside(wxDC&, const wxRect&) override {}

private:
    bool changed_ = false;
};

} // namespace qn
