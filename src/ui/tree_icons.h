// The 16x16 tree icons listed in "treeicons.txt", shared by the tree, the
// caption bar, the history menu, the category bar and the search list.
#pragma once

#include <wx/string.h>

#include <map>

class wxImageList;

namespace qn {

// Icon name (lower case, sub-folder kept, no extension) to image index.
// Ordered by name, so the first name of an index is easy to find.
using TreeIconMap = std::map<wxString, int>;

// Loads "treeicons.txt" from the directory (default: appDataDir()) into a
// fresh image list and map, replacing earlier ones. A missing file leaves
// both empty. Returns the number of icons loaded. Needs the PNG handler
// (wxInitAllImageHandlers or wxImage::AddHandler) for PNG icons.
int loadTreeIcons();
int loadTreeIcons(const wxString& dir);

// The shared image list (owned here; never null after loadTreeIcons) and
// the name-to-index map. Before loading: null and empty.
wxImageList* treeImageList();
const TreeIconMap& treeIconMap();

// Shutdown.
void destroyTreeIcons();

} // namespace qn
