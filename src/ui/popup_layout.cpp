#include "ui/popup_layout.h"

#include <algorithm>

namespace qn {

RowSize popupRowSize(int labelW, int labelH) {
    return {std::max(labelW + 30, 75), labelH + 4};
}

PopupLayout layoutPopupRows(const std::vector<RowSize>& rows) {
    PopupLayout out;
    int y = 2, widest = 2, lastH = 0;
    for (const RowSize& r : rows) {
        out.rows.push_back({2, y, r.w, r.h});
        widest = std::max(widest, r.w + 6);
        y += r.h + 4;
        lastH = r.h;
    }
    out.width = widest;
    out.height = y;
    for (RowRect& r : out.rows) {
        r.w = widest - 6;
        r.h = lastH;
    }
    return out;
}

int nextActiveRow(const std::vector<bool>& active, int from, int step) {
    const int n = static_cast<int>(active.size());
    if (n == 0) return -1;
    int i = from;
    if (i < 0) i = step > 0 ? -1 : n;
    for (int k = 0; k < n; ++k) {
        i = ((i + step) % n + n) % n;
        if (active[i]) return i;
    }
    return -1;
}

} // namespace qn
