// Text as UTF-8 bytes: case folding that is the same in every locale, and
// the character arithmetic the search needs without widening whole texts.
#pragma once

#include "store/keys.h"

#include <string_view>
#include <utility>
#include <vector>

namespace qn {

// The simple lower-case mapping of one code point (Unicode's, not the C
// library's, so the result never depends on the locale).
char32_t foldChar(char32_t c);
wxString foldCase(const wxString& text);
// Valid UTF-8 folded into UTF-8, with what it takes to find an offset of the
// folded text in the original: a few characters (U+0130, U+212A and some
// more) fold to another length in bytes.
class FoldedText {
public:
    // False when `in` is not valid UTF-8.
    bool fold(std::string_view in);
    std::string_view text() const { return out_; }
    // The offset in the original text of offset `at` of the folded one (a
    // character boundary).
    size_t original(size_t at) const;

private:
    Bytes out_;
    // (folded, original) offsets just after each character whose folded
    // form has another length; between two of them offsets differ by a
    // constant.
    std::vector<std::pair<size_t, size_t>> shifts_;
};
// UTF-8 of foldCase(text).
Bytes foldedUtf8(const wxString& text);

// Characters (code points) of valid UTF-8: the bytes that start one.
size_t countChars(const char* p, size_t n);
// Byte offset of the character before / after the one at `pos`.
size_t prevChar(std::string_view s, size_t pos);
size_t nextChar(std::string_view s, size_t pos);

} // namespace qn
