#include "store/keys.h"

#include "store/utf8_avx2.h"
#include "store/utf8_text.h"

#include <wx/datetime.h>

#include <uuid/uuid.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <array>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qn {

const char* const kAppName = "quillnest";
const char* const kAppId = "6A3F0C2E-94B1-4d7a-B5C8-2E71D0F4A9B3";
const char* const kFormatVersion = "2.0";

const std::vector<KeyEntry>& keyTable() {
    // Lookup order of the file format: ref and fname come after sz.
    static const std::vector<KeyEntry> table = {
        {1, "window"},       {2, "charset"}, {3, "selected"}, {4, "expanded"}, {5, "grps"},
        {6, "grp"},          {7, "h_algo"},  {8, "c_algo"},   {9, "pwd"},      {10, "comp"},
        {11, "appname"},     {12, "appid"},  {13, "version"}, {14, "dbid"},    {15, "tools"},
        {16, "Tbg"},         {17, "Tbmp"},   {18, "m"},       {19, "c"},       {20, "s"},
        {21, "i"},           {22, "cap"},    {23, "NFname"},  {24, "NFsize"},  {25, "Nfc"},
        {26, "Nhi"},         {27, "NFattr"}, {28, "bg"},      {29, "Fname"},   {30, "Fsize"},
        {31, "fc"},          {32, "hi"},     {33, "Fattr"},   {34, "bmp"},     {35, "vert"},
        {36, "ro"},          {37, "tabs"},   {40, "p"},       {41, "ch"},      {42, "grpsel"},
        {43, "grpexp"},      {44, "url"},    {45, "sz"},      {38, "ref"},     {39, "fname"},
        {46, "c_salt"},      {47, "c_ops"},  {48, "c_mem"},
        {K_terminator, "!"},
    };
    return table;
}

namespace {
// Name to code, built once from the table (the terminator excluded): the
// names by their first byte, a handful each, compared as they stand.  The
// names are the table's own static texts, so views of them stay valid.
using CodeBucket = std::vector<std::pair<std::string_view, int>>;
const std::array<CodeBucket, 256>& codeIndex() {
    static const std::array<CodeBucket, 256> index = [] {
        std::array<CodeBucket, 256> buckets;
        for (const auto& e : keyTable()) {
            if (e.code == K_terminator) continue;
            const std::string_view name(e.name);
            CodeBucket& b = buckets[static_cast<unsigned char>(name[0])];
            // The first entry of a name wins, as a map's emplace keeps it.
            if (std::none_of(b.begin(), b.end(), [&](const auto& x) { return x.first == name; }))
                b.emplace_back(name, e.code);
        }
        return buckets;
    }();
    return index;
}

int codeOfBytes(const char* p, size_t n) {
    if (n == 0) return 0;
    const std::string_view name(p, n);
    for (const auto& [known, code] : codeIndex()[static_cast<unsigned char>(p[0])])
        if (known == name) return code;
    return 0;
}
} // namespace

int keyCodeOf(const wxString& name) {
    Bytes u = toUtf8(name);
    return codeOfBytes(u.data(), u.size());
}

const char* keyNameBytes(int code) {
    static const std::vector<const char*> names = [] {
        std::vector<const char*> v(K_lastKey + 1, nullptr);
        for (const auto& e : keyTable())
            if (e.code != K_terminator) v[e.code] = e.name;
        return v;
    }();
    return code > 0 && code < static_cast<int>(names.size()) ? names[code] : nullptr;
}

wxString keyNameOf(int code) {
    if (code == K_terminator) return wxString();
    for (const auto& e : keyTable())
        if (e.code == code) return wxString::FromAscii(e.name);
    return wxString();
}

HeaderValues HeaderValues::parse(const char* data, size_t n) {
    HeaderValues h;
    h.text_.reserve(n);
    h.slots_.reserve(static_cast<size_t>(std::count(data, data + n, '\n')) + 1);
    forEachHeaderLine(data, n, [&](std::string_view name, std::string_view value) {
        const int code = codeOfBytes(name.data(), name.size());
        if (code <= 0 || code > 0xFFFF) return;
        if (!h.slots_.empty() && code <= h.slots_.back().code) {
            h.set(code, value); // out of order, or given twice
            return;
        }
        // The order the file is written in; a value read up to a line feed
        // holds none.
        h.slots_.push_back(Slot{static_cast<uint16_t>(code), static_cast<uint32_t>(h.text_.size()),
                                static_cast<uint32_t>(value.size())});
        h.text_.append(value.data(), value.size());
    });
    return h;
}

Bytes HeaderValues::format() const {
    Bytes out;
    out.reserve(text_.size() - garbage_ + slots_.size() * 8);
    for (const Slot& s : slots_) {
        const char* name = keyNameBytes(s.code);
        if (!name) continue;
        out += name;
        out += '=';
        out.append(text_.data() + s.offset, s.length);
        out += '\n';
    }
    return out;
}

const HeaderValues::Slot* HeaderValues::find(int code) const {
    auto it = std::lower_bound(slots_.begin(), slots_.end(), code,
                               [](const Slot& s, int c) { return s.code < c; });
    return it != slots_.end() && it->code == code ? &*it : nullptr;
}

bool HeaderValues::get(int code, std::string_view& out) const {
    const Slot* s = find(code);
    if (!s) return false;
    out = std::string_view(text_.data() + s->offset, s->length);
    return true;
}

void HeaderValues::set(int code, std::string_view utf8) {
    if (code <= 0 || code > 0xFFFF) return;
    auto it = std::lower_bound(slots_.begin(), slots_.end(), code,
                               [](const Slot& s, int c) { return s.code < c; });
    const bool exists = it != slots_.end() && it->code == code;
    if (exists && it->length == utf8.size()) {
        std::memcpy(text_.data() + it->offset, utf8.data(), utf8.size());
    } else {
        if (exists) garbage_ += it->length;
        Slot s{static_cast<uint16_t>(code), static_cast<uint32_t>(text_.size()),
               static_cast<uint32_t>(utf8.size())};
        text_.append(utf8.data(), utf8.size());
        if (exists)
            *it = s;
        else
            it = slots_.insert(it, s);
    }
    // A value is one line: "\r\n" and "\n" read as one space each.
    char* v = text_.data() + it->offset;
    if (std::memchr(v, '\n', it->length)) {
        uint32_t out = 0;
        for (uint32_t i = 0; i < it->length; ++i) {
            if (v[i] == '\r' && i + 1 < it->length && v[i + 1] == '\n') continue;
            v[out++] = v[i] == '\n' ? ' ' : v[i];
        }
        garbage_ += it->length - out;
        it->length = out;
    }
    if (garbage_ > 256 && garbage_ > text_.size() / 2) compact();
}

bool HeaderValues::erase(int code) {
    auto it = std::lower_bound(slots_.begin(), slots_.end(), code,
                               [](const Slot& s, int c) { return s.code < c; });
    if (it == slots_.end() || it->code != code) return false;
    garbage_ += it->length;
    slots_.erase(it);
    return true;
}

void HeaderValues::compact() {
    Bytes text;
    text.reserve(text_.size() - garbage_);
    for (Slot& s : slots_) {
        const uint32_t at = static_cast<uint32_t>(text.size());
        text.append(text_.data() + s.offset, s.length);
        s.offset = at;
    }
    text_.swap(text);
    garbage_ = 0;
}

bool HeaderValues::operator==(const HeaderValues& o) const {
    if (slots_.size() != o.slots_.size()) return false;
    for (size_t i = 0; i < slots_.size(); ++i) {
        const Slot &a = slots_[i], &b = o.slots_[i];
        if (a.code != b.code ||
            std::string_view(text_.data() + a.offset, a.length) !=
                std::string_view(o.text_.data() + b.offset, b.length))
            return false;
    }
    return true;
}

AttrMap parseHeaderBytes(const char* data, size_t n) {
    AttrMap map;
    forEachHeaderLine(data, n, [&](std::string_view name, std::string_view value) {
        int code = codeOfBytes(name.data(), name.size());
        if (code > 0) map[code] = fromUtf8(value.data(), value.size());
    });
    return map;
}

AttrMap parseHeader(const wxString& text) {
    Bytes u = toUtf8(text);
    return parseHeaderBytes(u.data(), u.size());
}

wxString formatHeaderText(const AttrMap& map) {
    wxString out;
    for (const auto& [code, value] : map) {
        wxString name = keyNameOf(code);
        if (name.empty()) continue; // only keys of the table are written
        out << name << wxS('=') << sanitizeValue(value) << wxS('\n');
    }
    return out;
}

Bytes formatHeader(const AttrMap& map) {
    return toUtf8(formatHeaderText(map));
}

wxString timeStamp() {
    return wxDateTime::Now().ToUTC().Format(wxS("%Y-%m-%d %H:%M:%S"));
}

wxString newGuidText() {
    uuid_t u;
    uuid_generate(u);
    char buf[37];
    uuid_unparse_lower(u, buf);
    return wxString::FromAscii(buf);
}

MimeInfo mimeForExtension(const wxString& ext) {
    static const struct {
        const char* ext;
        const char* mime;
        ImageType type;
    } table[] = {
        {"jpg", "image/jpeg", ImageType::Jpeg}, {"jpeg", "image/jpeg", ImageType::Jpeg},
        {"bmp", "image/bmp", ImageType::Bmp},   {"gif", "image/gif", ImageType::Gif},
        {"png", "image/png", ImageType::Png},   {"ico", "image/x-icon", ImageType::Ico},
    };
    wxString e = ext.Lower();
    for (const auto& row : table)
        if (e == wxString::FromAscii(row.ext))
            return {wxString::FromAscii(row.mime), row.type, true};
    return {wxS("application/octet-stream"), ImageType::None, false};
}

wxString extensionForMime(const wxString& mime) {
    static const char* const table[][2] = {
        {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"}, {"bmp", "image/bmp"},
        {"gif", "image/gif"},  {"png", "image/png"},   {"ico", "image/x-icon"},
    };
    for (const auto& row : table)
        if (mime == wxString::FromAscii(row[1])) return wxString::FromAscii(row[0]);
    return wxString();
}

namespace {
// Leading decimal digits with an optional sign, saturating instead of
// overflowing; text without leading digits is 0.
// The number at the start of a text, as wide characters or as UTF-8 (the
// same answer: digits, signs and commas are ASCII in both).
template <class Text> long long leadingNumber(const Text& text, size_t i, size_t n) {
    bool neg = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        neg = text[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < n; ++i) {
        const auto c = static_cast<uint32_t>(text[i]);
        if (c < '0' || c > '9') break;
        if (v < 10000000000000LL) v = v * 10 + (c - '0');
    }
    return neg ? -v : v;
}

long clampInt(long long v) {
    if (v > 2147483647LL) v = 2147483647LL;
    if (v < -2147483648LL) v = -2147483648LL;
    return static_cast<long>(v);
}

unsigned long clampUInt(long long v) {
    if (v < 0) return static_cast<unsigned long>(static_cast<unsigned int>(v));
    if (v > 4294967295LL) v = 4294967295LL;
    return static_cast<unsigned long>(v);
}

// Comma-separated numbers; an empty last piece is left out.
template <class Text> std::vector<int> numberList(const Text& text, size_t n) {
    std::vector<int> out;
    size_t start = 0;
    while (start < n) {
        size_t comma = start;
        while (comma < n && text[comma] != ',')
            ++comma;
        if (comma == n) {
            out.push_back(static_cast<int>(clampInt(leadingNumber(text, start, n))));
            break;
        }
        out.push_back(static_cast<int>(clampInt(leadingNumber(text, start, comma))));
        start = comma + 1;
    }
    return out;
}

struct WideText {
    const wxString& s;
    uint32_t operator[](size_t i) const { return s[i].GetValue(); }
};
struct ByteText {
    std::string_view s;
    uint32_t operator[](size_t i) const { return static_cast<unsigned char>(s[i]); }
};
} // namespace

long parseInt(const wxString& text) {
    return clampInt(leadingNumber(WideText{text}, 0, text.length()));
}

unsigned long parseUInt(const wxString& text) {
    return clampUInt(leadingNumber(WideText{text}, 0, text.length()));
}

std::vector<int> parseIntList(const wxString& text) {
    return numberList(WideText{text}, text.length());
}

long parseIntUtf8(std::string_view text) {
    return clampInt(leadingNumber(ByteText{text}, 0, text.size()));
}

unsigned long parseUIntUtf8(std::string_view text) {
    return clampUInt(leadingNumber(ByteText{text}, 0, text.size()));
}

std::vector<int> parseIntListUtf8(std::string_view text) {
    return numberList(ByteText{text}, text.size());
}

wxString formatIntList(const std::vector<int>& list) {
    wxString out;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i) out << wxS(',');
        out << list[i];
    }
    return out;
}

Colour parseColour(const wxString& text) {
    Colour c;
    if (text.empty()) return c;
    auto part = [&](size_t pos) -> unsigned char {
        if (pos >= text.length()) return 0;
        unsigned long v = 0;
        wxString piece = text.substr(pos, 2);
        // Base-16 reading of the two characters; invalid digits end the number.
        for (wxUniChar ch : piece) {
            int d;
            if (ch >= '0' && ch <= '9')
                d = ch.GetValue() - '0';
            else if (ch >= 'A' && ch <= 'F')
                d = ch.GetValue() - 'A' + 10;
            else if (ch >= 'a' && ch <= 'f')
                d = ch.GetValue() - 'a' + 10;
            else
                break;
            v = v * 16 + d;
        }
        return static_cast<unsigned char>(v);
    };
    c.ok = true;
    c.r = part(0);
    c.g = part(2);
    c.b = part(4);
    return c;
}

wxString formatColour(const Colour& c) {
    if (!c.ok) return wxString();
    return wxString::Format(wxS("%02X%02X%02X"), c.r, c.g, c.b);
}

FontStyle parseStyle(const wxString& letters) {
    FontStyle s;
    s.bold = letters.Find(wxUniChar('B')) != wxNOT_FOUND;
    s.italic = letters.Find(wxUniChar('I')) != wxNOT_FOUND;
    s.underline = letters.Find(wxUniChar('U')) != wxNOT_FOUND;
    return s;
}

wxString formatStyle(const FontStyle& s) {
    wxString out;
    if (s.bold) out << wxS('B');
    if (s.italic) out << wxS('I');
    if (s.underline) out << wxS('U');
    return out;
}

bool isSupportedVersion(const wxString& version) {
    return version.compare(wxString::FromAscii(kFormatVersion)) <= 0;
}

wxString sanitizeValue(const wxString& value) {
    if (value.find(wxUniChar('\n')) == wxString::npos) return value;
    wxString v = value;
    v.Replace(wxS("\r\n"), wxS(" "));
    v.Replace(wxS("\n"), wxS(" "));
    return v;
}

namespace {
// Appends code point `cp` as UTF-8.
void appendUtf8(Bytes& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
} // namespace

Bytes toUtf8(const wxString& s) {
    wxScopedCharBuffer buf = s.utf8_str();
    if (buf.length() > 0 || s.empty()) return Bytes(buf.data(), buf.length());
    // The conversion refuses the whole text when one character is not a valid
    // code point (a lone surrogate): write U+FFFD for that one instead of
    // losing everything.
    Bytes out;
    out.reserve(s.length());
    for (wxString::const_iterator it = s.begin(); it != s.end(); ++it) {
        uint32_t cp = static_cast<uint32_t>((*it).GetValue());
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        appendUtf8(out, cp);
    }
    return out;
}

namespace {
// Length of the well-formed UTF-8 sequence at `p` (of `n` bytes left), 0
// when there is none.  The sequences of the Unicode standard (table 3-7):
// the second byte's range depends on the first, which excludes overlong
// forms, surrogates and values beyond U+10FFFF.
inline __attribute__((always_inline)) size_t sequenceLength(const unsigned char* p, size_t n) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    if (c < 0xC2) return 0; // a continuation byte or an overlong lead (C0, C1)
    if (c < 0xE0) return n >= 2 && (p[1] & 0xC0) == 0x80 ? 2 : 0;
    if (c < 0xF0) {
        if (n < 3 || (p[2] & 0xC0) != 0x80) return 0;
        const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        return p[1] >= lo && p[1] <= hi ? 3 : 0;
    }
    if (c < 0xF5) {
        if (n < 4 || (p[2] & 0xC0) != 0x80 || (p[3] & 0xC0) != 0x80) return 0;
        const unsigned char lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        return p[1] >= lo && p[1] <= hi ? 4 : 0;
    }
    return 0; // F5-FF
}
} // namespace

size_t utf8SequenceLength(const unsigned char* p, size_t n) {
    return sequenceLength(p, n);
}

namespace {
// Checks `data` and counts its characters; kNotUtf8 when it is not valid.
// With `count` false only the check is made.
template <bool count> inline size_t walkUtf8(const char* data, size_t len) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    size_t i = 0, chars = 0;
    for (;;) {
        // Past the ASCII, sixteen bytes at a time where the machine can.
        size_t run = i;
#ifdef __SSE2__
        for (; i + 16 <= len; i += 16) {
            const unsigned high = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i))));
            if (high) {
                i += static_cast<size_t>(__builtin_ctz(high));
                break;
            }
        }
#endif
        while (i < len && p[i] < 0x80)
            ++i;
        if (count) chars += i - run;
        if (i >= len) return chars;
        // A word of another script is a run of sequences: checked in one go.
        do {
            const size_t n = sequenceLength(p + i, len - i);
            if (n == 0) return kNotUtf8;
            i += n;
            if (count) ++chars;
        } while (i < len && p[i] >= 0x80);
    }
}
} // namespace

// Long texts go thirty-two bytes at a time where the processor can.
constexpr size_t kVectorFrom = 64;

bool isValidUtf8(const char* data, size_t len) {
    if (len >= kVectorFrom && detail::haveAvx2())
        return detail::validUtf8Avx2(reinterpret_cast<const unsigned char*>(data), len);
    return walkUtf8<false>(data, len) != kNotUtf8;
}

size_t countValidUtf8(const char* data, size_t len) {
    if (len >= kVectorFrom && detail::haveAvx2())
        return detail::validUtf8Avx2(reinterpret_cast<const unsigned char*>(data), len)
                   ? countChars(data, len)
                   : kNotUtf8;
    return walkUtf8<true>(data, len);
}

wxString fromUtf8(const char* data, size_t len) {
    if (len == 0) return wxString();
    // The toolkit's decoder lets encoded surrogates through, which the
    // display cannot show: check first.
    if (isValidUtf8(data, len)) {
        wxString s = wxString::FromUTF8(data, len);
        if (!s.empty()) return s;
    }
    // Not valid UTF-8 as a whole: decode every valid sequence and take each
    // byte that is not part of one as its Latin-1 character, so one stray
    // byte costs one character, not the whole text.
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    std::wstring w;
    w.reserve(len);
    for (size_t i = 0; i < len;) {
        size_t n = utf8SequenceLength(p + i, len - i);
        if (n == 0) {
            w += static_cast<wchar_t>(p[i]);
            ++i;
            continue;
        }
        uint32_t cp = n == 1 ? p[i] : (p[i] & (0xFF >> (n + 1)));
        for (size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (p[i + k] & 0x3F);
        w += static_cast<wchar_t>(cp);
        i += n;
    }
    return wxString(w);
}

} // namespace qn
