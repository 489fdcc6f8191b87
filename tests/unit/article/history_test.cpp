#include "article/article_history.h"

#include <gtest/gtest.h>

#include <string>

using qn::ArticleHistory;

namespace {

// Nodes are letters: 'A' is id 65.
std::string ids(const ArticleHistory& h) {
    std::string s;
    for (const auto& e : h.entries())
        s += static_cast<char>(e.nodeId);
    return s;
}

struct Step {
    char op; // 's' show, 'b' back, 'f' forward, 'r' remove, 'c' clear
    char node;
};

struct HistoryCase {
    const char* name;
    size_t limit;
    std::vector<Step> steps;
    std::string list;
    int current;
};

} // namespace

TEST(ArticleHistory, Sequences) {
    const HistoryCase cases[] = {
        {"back then show inserts after current",
         10,
         {{'s', 'A'}, {'s', 'B'}, {'s', 'C'}, {'b', 0}, {'s', 'D'}},
         "ABDC",
         2},
        {"showing a listed node moves it",
         10,
         {{'s', 'A'}, {'s', 'B'}, {'s', 'C'}, {'b', 0}, {'s', 'D'}, {'s', 'A'}},
         "BDAC",
         2},
        {"current node shown again changes nothing",
         10,
         {{'s', 'A'}, {'s', 'B'}, {'s', 'B'}},
         "AB",
         1},
        {"limit drops the oldest", 3, {{'s', 'A'}, {'s', 'B'}, {'s', 'C'}, {'s', 'D'}}, "BCD", 2},
        {"back at the start stays", 10, {{'s', 'A'}, {'b', 0}, {'b', 0}}, "A", 0},
        {"forward at the end stays", 10, {{'s', 'A'}, {'s', 'B'}, {'f', 0}}, "AB", 1},
        {"back and forward",
         10,
         {{'s', 'A'}, {'s', 'B'}, {'s', 'C'}, {'b', 0}, {'b', 0}, {'f', 0}},
         "ABC",
         1},
        {"removing the last entry moves the index back",
         10,
         {{'s', 'A'}, {'s', 'B'}, {'s', 'C'}, {'r', 'C'}},
         "AB",
         1},
        {"removing an earlier entry keeps the shown node current",
         10,
         {{'s', 'A'}, {'s', 'B'}, {'s', 'C'}, {'b', 0}, {'r', 'A'}},
         "BC",
         0},
        {"removing an unknown node", 10, {{'s', 'A'}, {'r', 'Z'}}, "A", 0},
        {"removing the only entry", 10, {{'s', 'A'}, {'r', 'A'}}, "", 0},
        {"clear", 10, {{'s', 'A'}, {'s', 'B'}, {'c', 0}}, "", 0},
        {"a cleared history starts again", 10, {{'s', 'A'}, {'c', 0}, {'s', 'B'}}, "B", 0},
    };
    for (const auto& c : cases) {
        ArticleHistory h(c.limit);
        for (const Step& s : c.steps) {
            switch (s.op) {
            case 's':
                h.add(static_cast<uint32_t>(s.node), 1);
                break;
            case 'b':
                h.back();
                break;
            case 'f':
                h.forward();
                break;
            case 'r':
                h.remove(static_cast<uint32_t>(s.node));
                break;
            case 'c':
                h.clear();
                break;
            }
        }
        EXPECT_EQ(ids(h), c.list) << c.name;
        EXPECT_EQ(h.current(), c.current) << c.name;
    }
}

TEST(ArticleHistory, BackForwardResultsAndGroups) {
    ArticleHistory h(10);
    EXPECT_EQ(h.back(), -1);
    EXPECT_EQ(h.forward(), -1);
    h.add('A', 1);
    h.add('B', 7);
    EXPECT_EQ(h.back(), 0);
    EXPECT_EQ(h.back(), -1);
    EXPECT_EQ(h.forward(), 1);
    EXPECT_EQ(h.forward(), -1);
    EXPECT_EQ(h.at(1).groupId, 7);
    // A node shown again from another group keeps one entry, with the new group.
    h.add('A', 9);
    EXPECT_EQ(ids(h), "BA");
    EXPECT_EQ(h.at(1).groupId, 9);
}

TEST(ArticleHistory, LoweringTheLimitDropsOneEntryPerInsertion) {
    ArticleHistory h(10);
    for (char c : std::string("ABCDE"))
        h.add(c, 1);
    h.setLimit(3);
    EXPECT_EQ(ids(h), "ABCDE");
    h.add('F', 1);
    EXPECT_EQ(ids(h), "BCDEF");
    EXPECT_EQ(h.current(), 4);
}

TEST(ArticleHistory, MenuListsTheNearestEntriesNewestFirst) {
    ArticleHistory h(500);
    for (uint32_t i = 1; i <= 200; ++i)
        h.add(i, 1);
    // Current is the last entry (index 199): the 90 newest.
    auto idx = qn::historyMenuIndices(h, 90);
    ASSERT_EQ(idx.size(), 90u);
    EXPECT_EQ(idx.front(), 199);
    EXPECT_EQ(idx.back(), 110);
    // Walk back to the middle: the window follows the current entry.
    for (int i = 0; i < 100; ++i)
        h.back();
    idx = qn::historyMenuIndices(h, 90);
    ASSERT_EQ(idx.size(), 90u);
    EXPECT_LE(idx.back(), h.current());
    EXPECT_GE(idx.front(), h.current());
    EXPECT_EQ(idx.front() - idx.back(), 89);
    // Short lists are listed whole.
    ArticleHistory small(10);
    small.add(1, 1);
    small.add(2, 1);
    EXPECT_EQ(qn::historyMenuIndices(small, 90), (std::vector<int>{1, 0}));
    EXPECT_TRUE(qn::historyMenuIndices(ArticleHistory(10), 90).empty());
}
