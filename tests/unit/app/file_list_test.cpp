#include "app/file_list.h"
#include "app/ini_file.h"

#include <gtest/gtest.h>

namespace qn {
namespace {

IniFile storeWith(const std::vector<const char*>& paths, const char* prefix = "recentfile") {
    std::string bytes;
    int n = 1;
    for (const char* p : paths)
        bytes += std::string(prefix) + std::to_string(n++) + "=" + p + "\n";
    IniFile ini;
    ini.loadBytes(bytes.data(), bytes.size());
    return ini;
}

std::vector<std::string> names(const FileList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count(); ++i)
        out.push_back(list.entry(i).utf8_string());
    return out;
}

TEST(FileList, AddMovesOrInsertsAtTheFront) {
    struct Case {
        const char* name;
        std::vector<const char*> start;
        int limit; // 0: keep the default
        std::vector<const char*> added;
        std::vector<std::string> expected;
        bool lastResult;
    };
    const Case cases[] = {
        {"opening B of A,B,C", {"A", "B", "C"}, 0, {"B"}, {"B", "A", "C"}, true},
        {"then D with limit 3", {"A", "B", "C"}, 3, {"B", "D"}, {"D", "B", "A"}, true},
        {"the first entry again changes nothing", {"A", "B"}, 0, {"A"}, {"A", "B"}, false},
        {"last entry moves to the front", {"A", "B", "C"}, 0, {"C"}, {"C", "A", "B"}, true},
        {"case matters", {"A"}, 0, {"a"}, {"a", "A"}, true},
        {"limit 1 keeps only the newest", {}, 1, {"A", "B"}, {"B"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IniFile store = storeWith(c.start);
        FileList list(store, wxS("recentfile"));
        if (c.limit) list.setLimit(c.limit);
        bool result = false;
        for (const char* p : c.added)
            result = list.add(wxString::FromUTF8(p));
        EXPECT_EQ(result, c.lastResult);
        EXPECT_EQ(names(list), c.expected);
    }
}

TEST(FileList, LoadStopsAtTheFirstGapAndRaisesTheLimit) {
    IniFile gap;
    const std::string bytes = "recentfile1=A\nrecentfile2=B\nrecentfile4=D\nfavourite1=F\n";
    gap.loadBytes(bytes.data(), bytes.size());
    FileList list(gap, wxS("recentfile"));
    EXPECT_EQ(names(list), (std::vector<std::string>{"A", "B"}));
    EXPECT_FALSE(gap.has(wxS("recentfile3"))) << "the probe must not insert the key";
    EXPECT_FALSE(list.isChanged());

    std::vector<const char*> many(12, "x");
    IniFile big = storeWith(many);
    FileList bigList(big, wxS("recentfile"));
    EXPECT_EQ(bigList.limit(), 12);
    EXPECT_EQ(bigList.count(), 12);
}

TEST(FileList, SetLimit) {
    const std::pair<int, int> cases[] = {{3, 3}, {0, 1}, {-4, 1}, {10, 5}};
    for (const auto& [limit, expectedCount] : cases) {
        SCOPED_TRACE(limit);
        IniFile store = storeWith({"A", "B", "C", "D", "E"});
        FileList list(store, wxS("recentfile"));
        list.setLimit(limit);
        EXPECT_EQ(list.count(), expectedCount);
        EXPECT_EQ(list.limit(), std::max(limit, 1));
    }
}

TEST(FileList, SaveRewritesNumbersAndRemovesTheRest) {
    IniFile store = storeWith({"A", "B", "C", "D", "E"});
    FileList list(store, wxS("recentfile"));
    list.setLimit(2);
    list.add(wxS("E"));
    list.save();
    EXPECT_EQ(store.get(wxS("recentfile1")), wxS("E"));
    EXPECT_EQ(store.get(wxS("recentfile2")), wxS("A"));
    for (const char* gone : {"recentfile3", "recentfile4", "recentfile5"})
        EXPECT_FALSE(store.has(wxString::FromUTF8(gone))) << gone;
    EXPECT_TRUE(store.isChanged());
}

TEST(FileList, ClearAppendAndUnchangedSave) {
    IniFile store = storeWith({"A", "B"}, "favourite");
    FileList fav(store, wxS("favourite"));
    fav.save();
    EXPECT_FALSE(store.isChanged()) << "an unchanged list writes nothing";

    fav.clear();
    EXPECT_TRUE(fav.isChanged());
    fav.append(wxS("X"));
    fav.append(wxS("Y"));
    fav.append(wxS("Z"));
    EXPECT_EQ(names(fav), (std::vector<std::string>{"X", "Y", "Z"}));
    fav.save();
    EXPECT_EQ(store.get(wxS("favourite3")), wxS("Z"));
    EXPECT_EQ(fav.entry(3), wxString());
    EXPECT_EQ(fav.entry(-1), wxString());

    FileList appendOnly(store, wxS("favourite"));
    appendOnly.append(wxS("W"));
    EXPECT_FALSE(appendOnly.isChanged());
}

} // namespace
} // namespace qn
