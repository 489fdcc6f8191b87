#include "ui/popup_layout.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(PopupLayout, RowSizeHasAMinimumWidth) {
    EXPECT_EQ(popupRowSize(10, 14).w, 75);
    EXPECT_EQ(popupRowSize(10, 14).h, 18);
    EXPECT_EQ(popupRowSize(100, 14).w, 130);
}

TEST(PopupLayout, RowsStackWithGapsAndShareTheWidestWidth) {
    // One short label: 75 + 6 wide.
    PopupLayout one = layoutPopupRows({popupRowSize(10, 14)});
    EXPECT_EQ(one.width, 81);
    EXPECT_EQ(one.height, 2 + 18 + 4);
    ASSERT_EQ(one.rows.size(), 1u);
    EXPECT_EQ(one.rows[0].x, 2);
    EXPECT_EQ(one.rows[0].y, 2);
    EXPECT_EQ(one.rows[0].w, 75);

    PopupLayout three =
        layoutPopupRows({popupRowSize(10, 14), popupRowSize(120, 14), popupRowSize(40, 14)});
    EXPECT_EQ(three.width, 150 + 6);
    EXPECT_EQ(three.height, 2 + 3 * (18 + 4));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(three.rows[i].y, 2 + static_cast<int>(i) * 22);
        EXPECT_EQ(three.rows[i].w, 150);
        EXPECT_EQ(three.rows[i].h, 18);
    }
    PopupLayout none = layoutPopupRows({});
    EXPECT_EQ(none.width, 2);
    EXPECT_EQ(none.height, 2);
}

TEST(PopupLayout, KeyboardSkipsInactiveRowsAndWraps) {
    std::vector<bool> active{true, false, true, false};
    EXPECT_EQ(nextActiveRow(active, -1, +1), 0);
    EXPECT_EQ(nextActiveRow(active, -1, -1), 2);
    EXPECT_EQ(nextActiveRow(active, 0, +1), 2);
    EXPECT_EQ(nextActiveRow(active, 2, +1), 0);
    EXPECT_EQ(nextActiveRow(active, 0, -1), 2);
    EXPECT_EQ(nextActiveRow({false, false}, -1, +1), -1);
    EXPECT_EQ(nextActiveRow({}, -1, +1), -1);
}
