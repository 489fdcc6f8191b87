// A font sample of the preferences dialog: shows " face, size"; a click
// opens the font chooser, starting from the font the box shows.
#pragma once

#include <wx/font.h>
#include <wx/stattext.h>

namespace qn {

class FontBox : public wxStaticText {
public:
    FontBox(wxWindow* parent, wxWindowID id = wxID_ANY);

    // The stored font: face, point size and style letters ("IBU"), so that
    // a new size keeps the style.
    void setFont(const wxString& faceName, int pointSize, const wxString& styleLetters);
    const wxFont& font() const { return font_; }
    // The chosen font, or an invalid one unless the user chose one.
    wxFont fontIfChanged() const { return changed_ ? font_ : wxFont(); }

    // What a click does: the font chooser, and its choice taken.
    void choose();

private:
    void showLabel();
    void onLeftUp(wxMouseEvent& event);

    wxFont font_;
    bool changed_ = false;
};

} // namespace qn
