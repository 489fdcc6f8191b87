#include "ui/node_model.h"

#include "ui/tree_icons.h"

namespace qn {

int iconIndexOf(const wxString& name) {
    const TreeIconMap& map = treeIconMap();
    auto it = map.find(name);
    return it == map.end() ? 0 : it->second;
}

wxString iconNameOf(int index) {
    // The map is ordered by name, so the first match is the first name.
    for (const auto& [name, i] : treeIconMap())
        if (i == index) return name;
    return wxS("0");
}

wxFont fontFromValues(const wxString& face, long size, const wxString& styleLetters) {
    const FontStyle style = parseStyle(styleLetters);
    wxFontInfo info(static_cast<double>(size > 0 ? size : wxNORMAL_FONT->GetPointSize()));
    info.Family(wxFONTFAMILY_DEFAULT)
        .Style(style.italic ? wxFONTSTYLE_ITALIC : wxFONTSTYLE_NORMAL)
        .Weight(style.bold ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL)
        .Underlined(style.underline);
    if (!face.empty()) info.FaceName(face);
    return wxFont(info);
}

wxFont nodeFont(Block& node) {
    return fontFromValues(node.getString(K_NFname), node.getInt(K_NFsize),
                          node.getString(K_NFattr));
}

wxFont projectNodeFont(const Database& db) {
    return fontFromValues(db.getString(K_NFname), db.getInt(K_NFsize), db.getString(K_NFattr));
}

wxColour toWxColour(const Colour& c) {
    return c.ok ? wxColour(c.r, c.g, c.b) : wxNullColour;
}

Colour fromWxColour(const wxColour& c) {
    Colour out;
    if (!c.IsOk()) return out;
    out.ok = true;
    out.r = c.Red();
    out.g = c.Green();
    out.b = c.Blue();
    return out;
}

} // namespace qn
