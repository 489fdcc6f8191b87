#include "store/utf8_text.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qn {

namespace {
bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

constexpr uint64_t kHigh = 0x8080808080808080ULL;
constexpr uint64_t kOnes = 0x0101010101010101ULL;

// Lower-cases A-Z of eight ASCII bytes at once.
uint64_t lowerAscii8(uint64_t x) {
    const uint64_t geA = x + (0x80 - 'A') * kOnes; // high bit: byte >= 'A'
    const uint64_t gtZ = x + (0x7F - 'Z') * kOnes; // high bit: byte > 'Z'
    return x | (((geA ^ gtZ) & kHigh) >> 2);       // 0x20 for every upper-case letter
}
} // namespace

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

bool FoldedText::fold(std::string_view in) {
    shifts_.clear();
    out_.resize(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    size_t i = 0, o = 0; // read and write offsets
    while (i < n) {
        if (i + 8 <= n) {
            uint64_t x;
            std::memcpy(&x, p + i, 8);
            if ((x & kHigh) == 0) {
                x = lowerAscii8(x);
                std::memcpy(out_.data() + o, &x, 8);
                i += 8;
                o += 8;
                continue;
            }
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            out_[o++] = static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
            ++i;
            continue;
        }
        const size_t len = utf8SequenceLength(p + i, n - i);
        if (len == 0) return false;
        utf8proc_int32_t cp = 0;
        utf8proc_iterate(p + i, static_cast<utf8proc_ssize_t>(len), &cp);
        const utf8proc_int32_t low = utf8proc_tolower(cp);
        if (low == cp) {
            std::memcpy(out_.data() + o, p + i, len);
            o += len;
        } else {
            utf8proc_uint8_t buf[4];
            const size_t flen = static_cast<size_t>(utf8proc_encode_char(low, buf));
            if (o + flen > out_.size()) out_.resize(o + flen + (n - i));
            std::memcpy(out_.data() + o, buf, flen);
            o += flen;
            if (flen != len) shifts_.emplace_back(o, i + len);
        }
        i += len;
    }
    out_.resize(o);
    return true;
}

size_t FoldedText::original(size_t at) const {
    auto it = std::upper_bound(shifts_.begin(), shifts_.end(), std::make_pair(at, SIZE_MAX));
    if (it == shifts_.begin()) return at;
    --it;
    return it->second + (at - it->first);
}

size_t countChars(const char* p, size_t n) {
    size_t count = 0, i = 0;
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
