// Text as UTF-8 bytes: case folding that is the same in every locale, and
// the character arithmetic the search needs without widening whole texts.
#pragma once

#include "store/keys.h"

#include <string_view>
#include <utility>
#include <vector>

namespace qn {

// Whether the system's multibyte code page (the C library's, which follows
// the locale) is UTF-8: text in UTF-8 then needs no conversion for it.
bool systemCodePageIsUtf8();

// Unicode's full case folding, the same in every locale: one code point
// gives up to kMaxFold ("ß" gives "ss", the final "ς" gives "σ"), written
// to `out`; the count is returned.  The Turkish dotted "İ" folds to a plain
// "i" (its lower case) and the dotless "ı" stays itself: pairing the two
// i's the Turkish way depends on the language of the text, which a note
// does not record.
constexpr int kMaxFold = 3;
int foldFull(char32_t c, char32_t* out);
// The whole text folded (it may grow: "STRAßE" gives "strasse").
wxString foldCase(const wxString& text);
// UTF-8 of foldCase(text).
Bytes foldedUtf8(const wxString& text);

// Finds a needle without case in text that is not folded first: candidates
// are the places where a character whose folding starts the needle's
// starts (found with memchr), and only those are folded and compared.  A
// match begins and ends between characters of the text and covers whole
// foldings: "ß" matches "SS" (two characters) and "ss" matches "ß" (one),
// but "s" alone does not match inside "ß".
class FoldedFinder {
public:
    explicit FoldedFinder(const wxString& needle);
    // The first match at or after `from` (a character boundary) in valid
    // UTF-8 `text`: its start, and in `end` the offset just after it;
    // npos when there is none.
    size_t find(std::string_view text, size_t from, size_t& end) const;
    // The same in wide text; positions are characters.
    size_t find(const wxString& text, size_t from, size_t& end) const;
    // Whether a match starts at character `at` of `text`; `end` as above.
    bool matchesAt(const wxString& text, size_t at, size_t& end) const;
    // The needle folded.
    const std::u32string& folded() const { return folded_; }

private:
    bool matchesAt(std::string_view text, size_t at, size_t& end) const;
    bool startsMatch(char32_t c) const;

    std::u32string folded_;          // the needle, folded
    std::vector<char32_t> starts_;   // every character whose folding begins folded_
    std::vector<Bytes> starters_;    // the same as UTF-8
};

// Characters whose folding starts with a character they are neither the
// upper nor the title case form of ("ß", "ς", U+0130 and the like): what
// FoldedFinder adds to the upper and title case of a needle's first
// character when it looks for places a match may start.
const std::vector<char32_t>& foldExceptions();

// Characters (code points) of valid UTF-8: the bytes that start one.
size_t countChars(const char* p, size_t n);
// Byte offset of the character before / after the one at `pos`.
size_t prevChar(std::string_view s, size_t pos);
size_t nextChar(std::string_view s, size_t pos);

} // namespace qn
