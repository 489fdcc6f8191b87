#include "search/find_history.h"

#include <gtest/gtest.h>

using qn::FindHistory;

TEST(FindHistory, NewTextsGoFirstAndKnownOnesStay) {
    wxArrayString list;
    for (const char* t : {"one", "two", "one", "One", "", "two"})
        FindHistory::addToHistory(list, wxString::FromUTF8(t));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], wxString());
    EXPECT_EQ(list[1], wxS("One"));
    EXPECT_EQ(list[2], wxS("two"));
    EXPECT_EQ(list[3], wxS("one"));
}

TEST(FindHistory, OptionsStartGlobalAndWithoutCase) {
    EXPECT_TRUE(FindHistory::global());
    EXPECT_FALSE(FindHistory::caseSensitive());
    EXPECT_TRUE(FindHistory::searchHistory().empty());
    EXPECT_TRUE(FindHistory::replaceHistory().empty());
}
