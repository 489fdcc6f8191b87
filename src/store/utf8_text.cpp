#include "store/utf8_text.h"

#include <utf8proc.h>

#include <langinfo.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qn {

namespace {
bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

constexpr uint64_t kHigh = 0x8080808080808080ULL;

} // namespace

bool systemCodePageIsUtf8() {
    const char* set = nl_langinfo(CODESET);
    return set && (std::strcmp(set, "UTF-8") == 0 || std::strcmp(set, "utf8") == 0);
}

char32_t foldChar(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(c)));
}

wxString foldCase(const wxString& text) {
    std::wstring out;
    out.reserve(text.length());
    for (wxString::const_iterator it = text.begin(); it != text.end(); ++it)
        out += static_cast<wchar_t>(foldChar(static_cast<char32_t>((*it).GetValue())));
    return wxString(out);
}

Bytes foldedUtf8(const wxString& text) {
    return toUtf8(foldCase(text));
}


const std::vector<char32_t>& foldExceptions() {
    // Every code point c with tolower(c) != c whose lower case maps back
    // neither to c by upper nor by title case (checked by the tests against
    // the whole code space).
    static const std::vector<char32_t> list = {0x130, 0x3F4, 0x2126, 0x212A, 0x212B};
    return list;
}

namespace {
Bytes utf8Of(char32_t c) {
    utf8proc_uint8_t buf[4];
    const auto n = utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), buf);
    return Bytes(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
}

// The code point at `at` of valid UTF-8 and its length.
char32_t decodeAt(std::string_view s, size_t at, size_t& len) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    len = utf8SequenceLength(p, s.size() - at);
    if (len == 0) return 0xFFFFFFFF; // matches nothing a needle holds
    if (len == 1) return p[0];
    char32_t cp = p[0] & (0xFF >> (len + 1));
    for (size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (p[k] & 0x3F);
    return cp;
}
} // namespace

FoldedFinder::FoldedFinder(const wxString& needle) {
    for (wxString::const_iterator it = needle.begin(); it != needle.end(); ++it)
        folded_ += foldChar(static_cast<char32_t>((*it).GetValue()));
    if (folded_.empty()) return;
    const char32_t first = folded_[0];
    std::vector<char32_t> starts = {
        first, static_cast<char32_t>(utf8proc_toupper(static_cast<utf8proc_int32_t>(first))),
        static_cast<char32_t>(utf8proc_totitle(static_cast<utf8proc_int32_t>(first)))};
    for (char32_t c : foldExceptions())
        if (foldChar(c) == first) starts.push_back(c);
    for (char32_t c : starts) {
        if (foldChar(c) != first) continue; // an upper case that does not fold back
        Bytes u = utf8Of(c);
        if (std::find(starters_.begin(), starters_.end(), u) == starters_.end())
            starters_.push_back(std::move(u));
    }
}

bool FoldedFinder::matchesAt(std::string_view text, size_t at, size_t& end) const {
    for (char32_t want : folded_) {
        if (at >= text.size()) return false;
        size_t len = 0;
        const char32_t c = decodeAt(text, at, len);
        if (len == 0 || foldChar(c) != want) return false;
        at += len;
    }
    end = at;
    return true;
}

size_t FoldedFinder::find(std::string_view text, size_t from, size_t& end) const {
    size_t best = std::string_view::npos;
    for (const Bytes& s : starters_) {
        size_t at = from;
        while (at < text.size() && at < best) {
            const void* p = std::memchr(text.data() + at, static_cast<unsigned char>(s[0]),
                                        std::min(text.size(), best) - at);
            if (!p) break;
            const size_t pos = static_cast<size_t>(static_cast<const char*>(p) - text.data());
            size_t e = 0;
            if (text.compare(pos, s.size(), s) == 0 && matchesAt(text, pos, e)) {
                best = pos;
                end = e;
                break;
            }
            at = pos + 1;
        }
    }
    return best;
}

size_t countChars(const char* p, size_t n) {
    size_t count = 0, i = 0;
#ifdef __SSE2__
    // Continuation bytes are 0x80..0xBF: as signed bytes, below -64.
    const __m128i limit = _mm_set1_epi8(-64), one = _mm_set1_epi8(1), zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // One for each continuation byte, summed by the two halves.
        const __m128i sums = _mm_sad_epu8(_mm_and_si128(_mm_cmplt_epi8(v, limit), one), zero);
        const size_t cont = static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
                            static_cast<size_t>(_mm_extract_epi16(sums, 4));
        count += 16 - cont;
    }
#endif
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        std::memcpy(&x, p + i, 8);
        if ((x & kHigh) == 0) {
            count += 8;
            continue;
        }
        for (size_t k = 0; k < 8; ++k)
            count += !isContinuation(static_cast<unsigned char>(p[i + k]));
    }
    for (; i < n; ++i)
        count += !isContinuation(static_cast<unsigned char>(p[i]));
    return count;
}

size_t prevChar(std::string_view s, size_t pos) {
    if (pos == 0) return 0;
    --pos;
    while (pos > 0 && isContinuation(static_cast<unsigned char>(s[pos])))
        --pos;
    return pos;
}

size_t nextChar(std::string_view s, size_t pos) {
    if (pos >= s.size()) return s.size();
    ++pos;
    while (pos < s.size() && isContinuation(static_cast<unsigned char>(s[pos])))
        ++pos;
    return pos;
}

} // namespace qn
