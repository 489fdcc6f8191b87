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

int foldFull(char32_t c, char32_t* out) {
    if (c < 0x80) {
        out[0] = (c >= 'A' && c <= 'Z') ? c + 32 : c;
        return 1;
    }
    if (c == 0x130) { // "İ": see the header
        out[0] = 'i';
        return 1;
    }
    const auto cp = static_cast<utf8proc_int32_t>(c);
    if (c > 0x10FFFF || utf8proc_get_property(cp)->casefold_seqindex == UINT16_MAX) {
        out[0] = c;
        return 1;
    }
    utf8proc_int32_t buf[kMaxFold];
    int boundclass = 0;
    const utf8proc_ssize_t n =
        utf8proc_decompose_char(cp, buf, kMaxFold, UTF8PROC_CASEFOLD, &boundclass);
    if (n < 1 || n > kMaxFold) {
        out[0] = c;
        return 1;
    }
    for (utf8proc_ssize_t k = 0; k < n; ++k)
        out[k] = static_cast<char32_t>(buf[k]);
    return static_cast<int>(n);
}

wxString foldCase(const wxString& text) {
    std::wstring out;
    out.reserve(text.length());
    char32_t f[kMaxFold];
    for (wxString::const_iterator it = text.begin(); it != text.end(); ++it) {
        const int n = foldFull(static_cast<char32_t>((*it).GetValue()), f);
        for (int k = 0; k < n; ++k)
            out += static_cast<wchar_t>(f[k]);
    }
    return wxString(out);
}

Bytes foldedUtf8(const wxString& text) {
    return toUtf8(foldCase(text));
}


const std::vector<char32_t>& foldExceptions() {
    // Every code point c whose folding differs from c and starts with a
    // character f of which c is neither the upper nor the title case form
    // (checked by the tests against the whole code space).
    static const std::vector<char32_t> list = [] {
        static constexpr std::pair<char32_t, char32_t> ranges[] = {
            {0xB5, 0xB5},     {0xDF, 0xDF},     {0x130, 0x130},   {0x149, 0x149},
            {0x17F, 0x17F},   {0x1F0, 0x1F0},   {0x345, 0x345},   {0x390, 0x390},
            {0x3B0, 0x3B0},   {0x3C2, 0x3C2},   {0x3D0, 0x3D1},   {0x3D5, 0x3D6},
            {0x3F0, 0x3F1},   {0x3F4, 0x3F5},   {0x587, 0x587},   {0x13F8, 0x13FD},
            {0x1C80, 0x1C88}, {0x1E96, 0x1E9B}, {0x1E9E, 0x1E9E}, {0x1F50, 0x1F50},
            {0x1F52, 0x1F52}, {0x1F54, 0x1F54}, {0x1F56, 0x1F56}, {0x1F80, 0x1FAF},
            {0x1FB2, 0x1FB4}, {0x1FB6, 0x1FB7}, {0x1FBC, 0x1FBC}, {0x1FBE, 0x1FBE},
            {0x1FC2, 0x1FC4}, {0x1FC6, 0x1FC7}, {0x1FCC, 0x1FCC}, {0x1FD2, 0x1FD3},
            {0x1FD6, 0x1FD7}, {0x1FE2, 0x1FE4}, {0x1FE6, 0x1FE7}, {0x1FF2, 0x1FF4},
            {0x1FF6, 0x1FF7}, {0x1FFC, 0x1FFC}, {0x2126, 0x2126}, {0x212A, 0x212B},
            {0xAB70, 0xABBF}, {0xFB00, 0xFB06}, {0xFB13, 0xFB17}};
        std::vector<char32_t> out;
        for (const auto& [lo, hi] : ranges)
            for (char32_t c = lo; c <= hi; ++c)
                out.push_back(c);
        return out;
    }();
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

// Compares the folding of `c` with folded[k...]; moves k past it.
inline bool foldMatches(char32_t c, const std::u32string& folded, size_t& k) {
    if (c < 0x80) {
        if (static_cast<char32_t>(c >= 'A' && c <= 'Z' ? c + 32 : c) != folded[k]) return false;
        ++k;
        return true;
    }
    char32_t f[kMaxFold];
    const int n = foldFull(c, f);
    if (k + static_cast<size_t>(n) > folded.size()) return false;
    for (int j = 0; j < n; ++j)
        if (f[j] != folded[k + static_cast<size_t>(j)]) return false;
    k += static_cast<size_t>(n);
    return true;
}
} // namespace

FoldedFinder::FoldedFinder(const wxString& needle) {
    char32_t f[kMaxFold];
    for (wxString::const_iterator it = needle.begin(); it != needle.end(); ++it) {
        const int n = foldFull(static_cast<char32_t>((*it).GetValue()), f);
        folded_.append(f, static_cast<size_t>(n));
    }
    if (folded_.empty()) return;
    const char32_t first = folded_[0];
    std::vector<char32_t> candidates = {
        first, static_cast<char32_t>(utf8proc_toupper(static_cast<utf8proc_int32_t>(first))),
        static_cast<char32_t>(utf8proc_totitle(static_cast<utf8proc_int32_t>(first)))};
    candidates.insert(candidates.end(), foldExceptions().begin(), foldExceptions().end());
    for (char32_t c : candidates) {
        // Only characters whose whole folding begins the needle can start
        // a match ("ß" for "ss...", not for "s" alone).
        size_t k = 0;
        if (!foldMatches(c, folded_, k)) continue;
        if (std::find(starts_.begin(), starts_.end(), c) != starts_.end()) continue;
        starts_.push_back(c);
        starters_.push_back(utf8Of(c));
    }
}

bool FoldedFinder::startsMatch(char32_t c) const {
    return std::find(starts_.begin(), starts_.end(), c) != starts_.end();
}

bool FoldedFinder::matchesAt(std::string_view text, size_t at, size_t& end) const {
    size_t k = 0;
    while (k < folded_.size()) {
        if (at >= text.size()) return false;
        size_t len = 0;
        const char32_t c = decodeAt(text, at, len);
        if (len == 0 || !foldMatches(c, folded_, k)) return false;
        at += len;
    }
    end = at;
    return true;
}

bool FoldedFinder::matchesAt(const wxString& text, size_t at, size_t& end) const {
    if (folded_.empty()) return false;
    const wchar_t* p = text.wc_str();
    const size_t n = text.length();
    size_t k = 0;
    while (k < folded_.size()) {
        if (at >= n || !foldMatches(static_cast<char32_t>(p[at]), folded_, k)) return false;
        ++at;
    }
    end = at;
    return true;
}

size_t FoldedFinder::find(const wxString& text, size_t from, size_t& end) const {
    const wchar_t* p = text.wc_str();
    const size_t n = text.length();
    for (size_t at = from; at < n; ++at)
        if (startsMatch(static_cast<char32_t>(p[at])) && matchesAt(text, at, end)) return at;
    return std::string_view::npos;
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
