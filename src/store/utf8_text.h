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

// The simple lower-case mapping of one code point (Unicode's, not the C
// library's, so the result never depends on the locale).
char32_t foldChar(char32_t c);
wxString foldCase(const wxString& text);
// UTF-8 of foldCase(text).
Bytes foldedUtf8(const wxString& text);

// Finds a folded needle in UTF-8 text without folding the text: candidates
// are the places where a character that folds to the needle's first one
// starts (found with memchr), and only those are folded and compared.
class FoldedFinder {
public:
    explicit FoldedFinder(const wxString& needle);
    // The first match at or after `from` (a character boundary) in valid
    // UTF-8 `text`: its start, and in `end` the offset just after it;
    // npos when there is none.
    size_t find(std::string_view text, size_t from, size_t& end) const;

private:
    bool matchesAt(std::string_view text, size_t at, size_t& end) const;

    std::u32string folded_;       // the needle, folded
    std::vector<Bytes> starters_; // every character that folds to folded_[0]
};

// Characters whose lower case is neither the lower case of their upper nor
// of their title case form (U+0130 and the like): what FoldedFinder adds to
// the upper and title case of a needle's first character.
const std::vector<char32_t>& foldExceptions();

// Characters (code points) of valid UTF-8: the bytes that start one.
size_t countChars(const char* p, size_t n);
// Byte offset of the character before / after the one at `pos`.
size_t prevChar(std::string_view s, size_t pos);
size_t nextChar(std::string_view s, size_t pos);

} // namespace qn
