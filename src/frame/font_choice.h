// The font-name box of the main toolbar: the installed face names.
#pragma once

#include <wx/combobox.h>

#include <vector>

namespace qn {

class FontChoice : public wxComboBox {
public:
    FontChoice(wxWindow* parent, wxWindowID id);

    // Shows no face name; the list stays. (SetValue of a read-only box
    // ignores a text that is not in its list.)
    void clearValue();

    // Face names of the installed fonts in ascending order (case-sensitive),
    // without vertical-writing faces (those starting with "@"). Built once
    // per process, on the first call.
    static const wxArrayString& faceNames();
    // The same rule over a given list (sorted copy, "@" faces dropped).
    static wxArrayString filterFaceNames(const wxArrayString& names);
};

} // namespace qn
