// How a node looks in the tree: its per-item data, its icon and its font.
#pragma once

#include "store/database.h"

#include <wx/colour.h>
#include <wx/font.h>
#include <wx/treebase.h>

namespace qn {

// Per-item data of the navigation tree: points at the node, never owns it.
class TreeItem : public wxTreeItemData {
public:
    explicit TreeItem(Block* node) : node_(node) {}
    Block* node() const { return node_; }

private:
    Block* node_;
};

// Index of an icon name in the shared tree image list; 0 for an unknown name.
int iconIndexOf(const wxString& name);
// The first name (in name order) with that index; "0" when there is none.
wxString iconNameOf(int index);

// The title font of a node: size NFsize, style letters NFattr, face NFname,
// each falling back to the document's value.
wxFont nodeFont(Block& node);
// The same rule over the document's own values: the tree's default font.
wxFont projectNodeFont(const Database& db);
// Font from the three stored values (used by both of the above).
wxFont fontFromValues(const wxString& face, long size, const wxString& styleLetters);

// Toolkit colour of a stored colour; wxNullColour for "no colour".
wxColour toWxColour(const Colour& c);
Colour fromWxColour(const wxColour& c);

} // namespace qn
