// The arithmetic of the icon selector's grid: cells, columns, hit tests and
// the remembered window rectangle.  Window-free, so the tests reach it
// without a display.
#pragma once

#include <vector>

namespace qn {

struct GridRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class ImageGrid {
public:
    static constexpr int kMargin = 5;

    // `count` pictures of `width` x `height` pixels in a client area
    // `clientWidth` wide.
    void setPictures(int count, int width, int height, int clientWidth);
    // Lays the cells out again for a new client width; false when the
    // number of columns stays the same (nothing to do).
    bool resize(int clientWidth);

    // The picture at a point of the (unscrolled) grid, or -1: the margins,
    // the gaps between pictures and the strip right of the last column
    // belong to no picture.
    int hitTest(int x, int y) const;

    int count() const { return count_; }
    int columns() const { return columns_; }
    int rows() const;
    const GridRect& cell(int index) const { return cells_.at(index); }
    int virtualWidth() const { return columns_ * cellWidth() + kMargin; }
    int virtualHeight() const { return rows() * cellHeight() + kMargin; }
    int cellWidth() const { return width_ + kMargin; }
    int cellHeight() const { return height_ + kMargin; }

private:
    int columnsFor(int clientWidth) const;
    void layOut();

    int count_ = 0, width_ = 0, height_ = 0, columns_ = 1;
    std::vector<GridRect> cells_;
};

// The remembered selector rectangle made usable: a default when the stored
// value is short or empty, at least `minSize` wide and high, and moved (and
// if need be shrunk) into `screen`.
GridRect usableRect(const std::vector<int>& stored, const GridRect& screen,
                    const GridRect& fallback, int minSize = 80);

} // namespace qn
