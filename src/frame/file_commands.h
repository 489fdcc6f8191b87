// Window-free rules of the document file commands (the commands themselves
// are MainFrame operations, in file_commands.cpp).
#pragma once

#include "ui/chosen_file.h"

#include <wx/string.h>

#include <vector>

namespace qn {

// The main window's layout as the "window" value describes it.
struct LayoutNow {
    int x = 0, y = 0, width = 0, height = 0;
    int sashCode = 0; // outer sash; -1 only the navigation side, 0 only the article
    bool maximized = false;
    int innerSash = 0; // 0 when the category bar is not shown
};

// The main sash code: the outer splitter's sash when both sides are shown,
// -1 when only the navigation side is, 0 when only the article is.
int mainSashCode(bool outerSplit, int sashPosition, bool navigationShown);

// The seven numbers of the "window" value.
std::vector<int> layoutValue(const LayoutNow& now);

// Whether saveLayout stores a new "window" value, and which.  A maximized
// window only sets the stored maximized flag and keeps the stored normal
// geometry; a stored value too short for that is completed from the window.
bool layoutToStore(const std::vector<int>& stored, const LayoutNow& now, std::vector<int>& out);


} // namespace qn
