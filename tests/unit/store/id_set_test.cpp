#include "store/id_set.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>

using namespace qn;

// Dense ids, ids far beyond them and odd values all behave like a std::set.
TEST(IdSet, ActsAsASetOfAnyId) {
    const int ids[] = {1, 2, 64, 63, 65, 1, 100000, 2, (1 << 24) - 1, 1 << 24, INT_MAX,
                       INT_MAX,  0, -1, INT_MIN, 100000, 4096, 1 << 24};
    IdSet set;
    std::set<int> want;
    for (int id : ids) {
        EXPECT_EQ(set.contains(id), want.count(id) == 1) << id;
        EXPECT_EQ(set.insert(id), want.insert(id).second) << id;
        EXPECT_TRUE(set.contains(id)) << id;
    }
    for (int id : {3, 62, 99999, (1 << 24) + 1, INT_MAX - 1, -2})
        EXPECT_FALSE(set.contains(id)) << id;
}
