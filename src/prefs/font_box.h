// A font sample of the preferences dialog: shows " face, size" and the
// style, in that style; a click, Space or Enter opens the font chooser,
// starting from the font the box shows.
#pragma once

#include "prefs/picker_box.h"

#include <wx/font.h>

namespace qn {

class FontBox : public PickerBox {
public:
    FontBox(wxWindow* parent, wxWindowID id = wxID_ANY);

    // The stored font: face, point size and style letters ("IBU"), so that
    // a new size keeps the style.
    void setFont(const wxString& faceName, int pointSize, const wxString& styleLetters);
    const wxFont& font() const { return font_; }
    // The chosen font, or an invalid one unless the user chose one.
    wxFont fontIfChanged() const { return changed_ ? font_ : wxFont(); }
    // The text the box shows.
    const wxString& label() const { return label_; }

    // The font chooser, and its choice taken.
    void choose() override;

protected:
    void paintInside(wxDC& dc, const wxRect& inner) override;

private:
    void showLabel();

    wxFont font_;
    wxString label_;
    bool changed_ = false;
};

} // namespace qn
