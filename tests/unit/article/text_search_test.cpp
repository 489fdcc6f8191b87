#include "article/text_search.h"

#include <gtest/gtest.h>

using qn::findBackward;
using qn::findForward;

TEST(TextSearch, Forward) {
    struct {
        const char* text;
        const char* pattern;
        long start;
        bool cs;
        long want;
    } cases[] = {
        {"abc abc", "abc", 0, true, 0},  {"abc abc", "abc", 1, true, 4},
        {"abc abc", "abc", 5, true, -1}, {"Hello", "hello", 0, true, -1},
        {"Hello", "hello", 0, false, 0}, {"hello", "HELLO", 0, false, 0},
        {"abc", "abcd", 0, false, -1}, // pattern longer than the rest
        {"abc", "c", 2, true, 2},        {"abc", "", 0, true, -1},
        {"abc", "a", 10, true, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findForward(wxString(wxASCII_STR(c.text)), wxString(wxASCII_STR(c.pattern)),
                              c.start, c.cs),
                  c.want)
            << c.text << " / " << c.pattern << " from " << c.start;
}

TEST(TextSearch, Backward) {
    struct {
        const char* text;
        const char* pattern;
        long last;
        bool cs;
        long want;
    } cases[] = {
        {"abc abc", "abc", 6, true, 4},
        {"abc abc", "abc", 5, true, 0}, // the second one ends after `last`
        {"abc abc", "abc", 2, true, 0},
        {"abc abc", "abc", 1, true, -1},
        {"xABC", "abc", 3, false, 1},
        {"xABC", "abc", 3, true, -1},
        {"abc", "abc", 99, true, 0},
        {"abc", "a", -1, true, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findBackward(wxString(wxASCII_STR(c.text)), wxString(wxASCII_STR(c.pattern)),
                               c.last, c.cs),
                  c.want)
            << c.text << " / " << c.pattern << " up to " << c.last;
}

TEST(TextSearch, PositionsAreCharactersNotBytes) {
    // Umlauts and an emoji count one position each, as in the editor.
    wxString text = wxString::FromUTF8("\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80 \xC3\x84rger");
    EXPECT_EQ(findForward(text, wxString::FromUTF8("\xC3\xA4rger"), 0, false), 5);
    EXPECT_EQ(findForward(text, wxString::FromUTF8("\xC3\xA4rger"), 0, true), -1);
    EXPECT_EQ(findBackward(text, wxString::FromUTF8("\xC3\x9C"), 9, false), 0);
}

// Without case both sides are folded fully: a hit may be longer or shorter
// than the pattern, and its length in the text is what gets selected.
TEST(TextSearch, FullFoldingGivesTheHitsLengthInTheText) {
    struct {
        const char* text;
        const char* pattern;
        long pos, length; // forward from 0; -1 when none
    } cases[] = {
        {"Die STRASSE", "stra\xC3\x9F" "e", 4, 7},         // ß is ss
        {"x stra\xC3\x9F" "e", "STRASSE", 2, 6},           // and the other way round
        {"\xCE\x9B\xCE\x8C\xCE\x93\xCE\x9F\xCE\xA3", "\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82", 0, 5}, // final sigma
        {"ma\xC3\x9F", "mas", -1, 0},                      // never half a folding
        {"x \xEF\xAC\x81le", "file", 2, 3},                 // the fi ligature
        {"KARANLIK", "\xC4\xB1", -1, 0},                   // dotless i stays itself
        {"\xC4\xB0stanbul", "istanbul", 0, 8},             // dotted İ is i
    };
    for (const auto& c : cases) {
        const wxString text = wxString::FromUTF8(c.text), pattern = wxString::FromUTF8(c.pattern);
        long length = 0;
        EXPECT_EQ(findForward(text, pattern, 0, false, &length), c.pos) << c.text << " / " << c.pattern;
        if (c.pos >= 0) {
            EXPECT_EQ(length, c.length) << c.text;
            long backLength = 0;
            EXPECT_EQ(findBackward(text, pattern, static_cast<long>(text.length()) - 1, false,
                                   &backLength),
                      c.pos)
                << c.text;
            EXPECT_EQ(backLength, c.length) << c.text;
        }
        EXPECT_EQ(findForward(text, pattern, 0, true), -1) << c.text; // every case differs
    }
}
