#include "article/replace_walk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qn;

namespace {

struct Walked {
    std::string text;        // after the walk
    long result;             // what the walk returned
    std::vector<long> asked; // positions shown to the user
    int calls = 0;           // replaceOne + replaceRest calls (one undo step each)
};

Walked walk(const char* text, const char* search, const char* replacement, long start,
            std::vector<int> answers) {
    Walked run;
    wxString t = wxString::FromUTF8(text);
    const wxString s = wxString::FromUTF8(search), r = wxString::FromUTF8(replacement);
    size_t next = 0;
    ReplaceCalls calls;
    calls.ask = [&](long pos) {
        run.asked.push_back(pos);
        return next < answers.size() ? answers[next++] : REPLACE_QUIT;
    };
    calls.replaceOne = [&](long pos) {
        // The text seen by the walk is the text being changed.
        EXPECT_EQ(t.substr(static_cast<size_t>(pos), s.length()), s);
        t.replace(static_cast<size_t>(pos), s.length(), r);
        ++run.calls;
        return true;
    };
    calls.replaceRest = [&](long from, long to, const wxString& with) {
        t.replace(static_cast<size_t>(from), static_cast<size_t>(to - from), with);
        ++run.calls;
    };
    run.result = replaceWalk(t, s, r, start, calls);
    run.text = t.utf8_string();
    return run;
}

constexpr int Y = REPLACE_YES, N = REPLACE_NO, L = REPLACE_LAST, A = REPLACE_ALL, Q = REPLACE_QUIT;

} // namespace

TEST(ReplaceWalk, AnswersDecideEachOccurrence) {
    const struct {
        const char* name;
        const char* text;
        const char* search;
        const char* replacement;
        long start;
        std::vector<int> answers;
        const char* after;
        long result;
        std::vector<long> asked;
        int calls;
    } cases[] = {
        {"yes to each", "a-a-a", "a", "bb", 0, {Y, Y, Y}, "bb-bb-bb", -1, {0, 3, 6}, 3},
        {"no skips", "a-a-a", "a", "b", 0, {N, Y, N}, "a-b-a", -1, {0, 2, 4}, 1},
        {"last stops after replacing", "a-a-a", "a", "b", 0, {N, L}, "a-b-a", 2, {0, 2}, 1},
        {"quit stops", "a-a-a", "a", "b", 0, {Y, Q}, "b-a-a", 2, {0, 2}, 1},
        {"all replaces the rest in one step",
         "xa-a-a-ay",
         "a",
         "BB",
         0,
         {N, A},
         "xa-BB-BB-BBy",
         -1,
         {1, 3},
         1},
        {"from the start position", "a-a-a", "a", "b", 1, {Y, Y}, "a-b-b", -1, {2, 4}, 2},
        {"exact case only", "A-a", "a", "b", 0, {Y}, "A-b", -1, {2}, 1},
        {"a replacement holding the text does not loop",
         "aa",
         "a",
         "aa",
         0,
         {A},
         "aaaa",
         -1,
         {0},
         1},
        {"a replacement holding the text, asked",
         "a a",
         "a",
         "ba",
         0,
         {Y, Y},
         "ba ba",
         -1,
         {0, 3},
         2},
        {"empty replacement", "x--y--", "--", "", 0, {A}, "xy", -1, {1}, 1},
        {"nothing found", "abc", "z", "y", 0, {}, "abc", -1, {}, 0},
        {"empty search", "abc", "", "y", 0, {}, "abc", -1, {}, 0},
        {"non-ASCII", "über über", "über", "ü", 0, {Y, A}, "ü ü", -1, {0, 2}, 2},
    };
    for (const auto& c : cases) {
        const Walked run = walk(c.text, c.search, c.replacement, c.start, c.answers);
        EXPECT_EQ(run.text, c.after) << c.name;
        EXPECT_EQ(run.result, c.result) << c.name;
        EXPECT_EQ(run.asked, c.asked) << c.name;
        EXPECT_EQ(run.calls, c.calls) << c.name;
    }
}
