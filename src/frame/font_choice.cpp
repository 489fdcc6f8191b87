#include "frame/font_choice.h"

#include <wx/fontenum.h>

#include <algorithm>

namespace qn {

wxArrayString FontChoice::filterFaceNames(const wxArrayString& names) {
    std::vector<wxString> kept;
    for (const wxString& n : names)
        if (!n.StartsWith(wxS("@"))) kept.push_back(n);
    // Ordinal comparison: the order does not depend on the locale.
    std::sort(kept.begin(), kept.end(),
              [](const wxString& a, const wxString& b) { return a.compare(b) < 0; });
    wxArrayString out;
    for (const wxString& n : kept)
        out.Add(n);
    return out;
}

const wxArrayString& FontChoice::faceNames() {
    static const wxArrayString names = filterFaceNames(wxFontEnumerator::GetFacenames());
    return names;
}

FontChoice::FontChoice(wxWindow* parent, wxWindowID id)
    : wxComboBox(parent, id, wxString(), wxDefaultPosition, wxDefaultSize, faceNames(),
                 wxCB_READONLY, wxDefaultValidator, wxS("comboBox")) {}

void FontChoice::clearValue() {
    SetSelection(wxNOT_FOUND);
    wxTextEntry::ChangeValue(wxString());
}

} // namespace qn
