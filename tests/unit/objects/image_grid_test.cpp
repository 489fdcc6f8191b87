// The icon selector's grid arithmetic and its remembered rectangle.
#include "objects/image_grid.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(ImageGrid, LayoutAndResizing) {
    ImageGrid g;
    // 16-pixel pictures, 21-pixel cells: 4 columns in 5 + 4 * 21 = 89 pixels.
    g.setPictures(10, 16, 16, 89);
    EXPECT_EQ(g.columns(), 4);
    EXPECT_EQ(g.rows(), 3);
    EXPECT_EQ(g.virtualHeight(), 3 * 21 + 5);
    EXPECT_EQ(g.virtualWidth(), 4 * 21 + 5);
    EXPECT_EQ(g.cell(5).x, 5 + 21);
    EXPECT_EQ(g.cell(5).y, 5 + 21);
    EXPECT_FALSE(g.resize(89 + 20)); // less than a cell wider: the same columns
    EXPECT_TRUE(g.resize(10));       // narrower than a cell: still one column
    EXPECT_EQ(g.columns(), 1);
    EXPECT_EQ(g.rows(), 10);
    ImageGrid empty;
    empty.setPictures(0, 0, 0, 300);
    EXPECT_EQ(empty.hitTest(10, 10), -1);
    EXPECT_EQ(empty.rows(), 0);
}

TEST(ImageGrid, HitsOnlyPictures) {
    ImageGrid g;
    g.setPictures(10, 16, 16, 89 + 15); // a strip of 15 pixels right of the last column
    struct Case {
        int x, y, index;
    } cases[] = {
        {5, 5, 0},         {20, 20, 0},  {21, 5, -1},  // the gap after the first picture
        {26, 5, 1},        {2, 10, -1},  {10, 2, -1},  // the margins
        {5 + 4 * 21 + 3, 8, -1},                       // the strip right of the last column
        {5, 5 + 2 * 21, 8}, {26 + 21, 5 + 2 * 21, -1}, // past the last picture
    };
    for (const Case& c : cases)
        EXPECT_EQ(g.hitTest(c.x, c.y), c.index) << c.x << "," << c.y;
}

TEST(ImageGrid, RememberedRectangleIsUsable) {
    const GridRect screen{0, 0, 1280, 1024}, fallback{20, 20, 300, 240};
    struct Case {
        std::vector<int> stored;
        GridRect want;
    } cases[] = {
        {{100, 100, 300, 240}, {100, 100, 300, 240}},
        {{}, {20, 20, 300, 240}},                       // nothing stored
        {{100, 100}, {20, 20, 300, 240}},               // too short
        {{-5000, 5000, 300, 240}, {0, 1024 - 240, 300, 240}},
        {{100, 100, 0, 5}, {100, 100, 80, 80}},         // at least a usable size
        {{0, 0, 5000, 5000}, {0, 0, 1280, 1024}},       // no larger than the screen
    };
    for (const Case& c : cases) {
        const GridRect r = usableRect(c.stored, screen, fallback);
        EXPECT_EQ(r.x, c.want.x);
        EXPECT_EQ(r.y, c.want.y);
        EXPECT_EQ(r.width, c.want.width);
        EXPECT_EQ(r.height, c.want.height);
    }
}
