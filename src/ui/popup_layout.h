// Geometry of the program's popup menu: rows stacked from the top, all as
// wide as the widest one needs.
#pragma once

#include <vector>

namespace qn {

struct RowSize {
    int w = 0, h = 0;
};
struct RowRect {
    int x = 0, y = 0, w = 0, h = 0;
};

// Size of one row for a label measured at (labelW, labelH).
RowSize popupRowSize(int labelW, int labelH);

struct PopupLayout {
    int width = 0, height = 0; // the menu window
    std::vector<RowRect> rows;
};
PopupLayout layoutPopupRows(const std::vector<RowSize>& rows);

// Keyboard movement over the rows: the next active row from `from` in
// direction `step` (+1 down, -1 up), wrapping around; -1 when no row is
// active.  `from` may be -1 (nothing highlighted yet).
int nextActiveRow(const std::vector<bool>& active, int from, int step);

} // namespace qn
