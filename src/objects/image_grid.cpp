#include "objects/image_grid.h"

#include <algorithm>

namespace qn {

int ImageGrid::columnsFor(int clientWidth) const {
    if (cellWidth() <= 0) return 1;
    return std::max(1, (clientWidth - kMargin) / cellWidth());
}

void ImageGrid::setPictures(int count, int width, int height, int clientWidth) {
    count_ = std::max(0, count);
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    columns_ = columnsFor(clientWidth);
    layOut();
}

bool ImageGrid::resize(int clientWidth) {
    const int columns = columnsFor(clientWidth);
    if (columns == columns_) return false;
    columns_ = columns;
    layOut();
    return true;
}

void ImageGrid::layOut() {
    cells_.assign(static_cast<size_t>(count_), GridRect{});
    for (int i = 0; i < count_; ++i) {
        const int column = i % columns_, row = i / columns_;
        cells_[static_cast<size_t>(i)] = {kMargin + column * cellWidth(),
                                          kMargin + row * cellHeight(), width_, height_};
    }
}

int ImageGrid::rows() const {
    return (count_ + columns_ - 1) / columns_;
}

int ImageGrid::hitTest(int x, int y) const {
    if (count_ == 0 || cellWidth() <= 0 || cellHeight() <= 0) return -1;
    if (x < kMargin || y < kMargin) return -1;
    const int column = (x - kMargin) / cellWidth(), row = (y - kMargin) / cellHeight();
    if (column >= columns_) return -1;
    const int index = row * columns_ + column;
    if (index >= count_) return -1;
    const GridRect& c = cells_[static_cast<size_t>(index)];
    // The gap after a picture belongs to none.
    if (x >= c.x + c.width || y >= c.y + c.height) return -1;
    return index;
}

GridRect usableRect(const std::vector<int>& stored, const GridRect& screen,
                    const GridRect& fallback, int minSize) {
    GridRect r = fallback;
    if (stored.size() >= 4) r = {stored[0], stored[1], stored[2], stored[3]};
    r.width = std::min(std::max(r.width, minSize), std::max(screen.width, minSize));
    r.height = std::min(std::max(r.height, minSize), std::max(screen.height, minSize));
    r.x = std::clamp(r.x, screen.x, std::max(screen.x, screen.x + screen.width - r.width));
    r.y = std::clamp(r.y, screen.y, std::max(screen.y, screen.y + screen.height - r.height));
    return r;
}

} // namespace qn
