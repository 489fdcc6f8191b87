// The colour accessors of IniFile live apart from the rest of it: wxColour
// belongs to the window library, and the command-line tool reads the same
// files without it.
#include "app/ini_file.h"

#include "store/keys.h"

#include <wx/colour.h>

namespace qn {

wxColour IniFile::getColour(const wxString& key) {
    const Colour c = parseColour(get(key));
    return c.ok ? wxColour(c.r, c.g, c.b) : wxColour(0, 0, 0);
}

void IniFile::setColour(const wxString& key, const wxColour& colour) {
    Colour c;
    c.ok = true;
    c.r = colour.Red();
    c.g = colour.Green();
    c.b = colour.Blue();
    set(key, formatColour(c));
}

} // namespace qn
