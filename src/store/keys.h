// Attribute and setting names, their codes, and the value formats of the
// document file.
#pragma once

#include <wx/string.h>

#include <cstdint>
#include <map>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace qn {

// Raw bytes (bodies of RTF nodes and objects, stored blobs).
using Bytes = std::string;

// Codes of the key table.  Only the names reach the file.
enum KeyCode : int {
    K_window = 1,
    K_charset = 2,
    K_selected = 3,
    K_expanded = 4,
    K_grps = 5,
    K_grp = 6,
    K_h_algo = 7,
    K_c_algo = 8,
    K_pwd = 9,
    K_comp = 10,
    K_appname = 11,
    K_appid = 12,
    K_version = 13,
    K_dbid = 14,
    K_tools = 15,
    K_Tbg = 16,
    K_Tbmp = 17,
    K_m = 18,
    K_c = 19,
    K_s = 20,
    K_i = 21,
    K_cap = 22,
    K_NFname = 23,
    K_NFsize = 24,
    K_Nfc = 25,
    K_Nhi = 26,
    K_NFattr = 27,
    K_bg = 28,
    K_Fname = 29,
    K_Fsize = 30,
    K_fc = 31,
    K_hi = 32,
    K_Fattr = 33,
    K_bmp = 34,
    K_vert = 35,
    K_ro = 36,
    K_tabs = 37,
    K_ref = 38,
    K_fname = 39,
    K_p = 40,
    K_ch = 41,
    K_grpsel = 42,
    K_grpexp = 43,
    K_url = 44,
    K_sz = 45,
    // The sealed protection: Argon2id salt (hex) and limits (passes, bytes).
    K_c_salt = 46,
    K_c_ops = 47,
    K_c_mem = 48,
    K_lastKey = K_c_mem,
    K_terminator = 9999,
};

// Map from key code to value text, ordered by code.
using AttrMap = std::map<int, wxString>;

extern const char* const kAppName;       // "quillnest"
extern const char* const kAppId;         // "6A3F0C2E-94B1-4d7a-B5C8-2E71D0F4A9B3"
extern const char* const kFormatVersion; // "2.0"

// Code of a key name (exact, case-sensitive); 0 when unknown.  The
// terminator "!" is not an attribute name and also gives 0.
int keyCodeOf(const wxString& name);
// Name of a code; empty when unknown (and for the terminator).
wxString keyNameOf(int code);
// The same as bytes; nullptr when unknown.
const char* keyNameBytes(int code);
// The key table in lookup order, terminator included (49 entries).
struct KeyEntry {
    int code;
    const char* name;
};
const std::vector<KeyEntry>& keyTable();

// Calls f(name, value) for each line of stored header bytes, both as
// std::string_view into `data`: from the current position, the name runs to
// the next "=", the value from there to the next line feed (or the end).
// "=" and line feed are single bytes in UTF-8, so the bytes can be split
// before they are decoded.
template <class F> void forEachHeaderLine(const char* data, size_t n, F&& f) {
    // Lines are short: a plain loop beats a library call per separator.
    size_t i = 0;
    while (i < n) {
        size_t eq = i;
        while (eq < n && data[eq] != '=')
            ++eq;
        if (eq == n) break;
        size_t lf = eq + 1;
        while (lf < n && data[lf] != '\n')
            ++lf;
        f(std::string_view(data + i, eq - i), std::string_view(data + eq + 1, lf - eq - 1));
        if (lf == n) break;
        i = lf + 1;
    }
}

// A block's attributes as the file stores them: UTF-8 values by key code,
// ascending, kept in one buffer.  A loaded header costs its text and about
// a dozen bytes a value, where a map of wide strings cost over a kilobyte.
class HeaderValues {
public:
    // Only codes of the key table are kept; a key given twice keeps its
    // last value.
    static HeaderValues parse(const char* data, size_t n);
    // "name=value\n" per value, ascending code.
    Bytes format() const;

    bool has(int code) const { return find(code) != nullptr; }
    // False when the key is absent.
    bool get(int code, std::string_view& out) const;
    // Line feeds in a value become spaces (a value is one line).
    void set(int code, std::string_view utf8);
    bool erase(int code);
    size_t size() const { return slots_.size(); }
    template <class F> void forEach(F&& f) const {
        for (const Slot& s : slots_)
            f(static_cast<int>(s.code), std::string_view(text_.data() + s.offset, s.length));
    }
    bool operator==(const HeaderValues& o) const;

private:
    struct Slot {
        uint16_t code;
        uint32_t offset;
        uint32_t length;
    };
    const Slot* find(int code) const;
    void compact();

    Bytes text_;              // the values, back to back (replaced ones linger)
    std::vector<Slot> slots_; // ascending code
    uint32_t garbage_ = 0;    // bytes of replaced values still in text_
};

AttrMap parseHeader(const wxString& text);
// The same over UTF-8 bytes (what the file stores).
AttrMap parseHeaderBytes(const char* data, size_t n);
// Header text: name=value\n per entry, ascending code.
wxString formatHeaderText(const AttrMap& map);
// The same, encoded as UTF-8 bytes.
Bytes formatHeader(const AttrMap& map);

// Current UTC time, "%Y-%m-%d %H:%M:%S".
wxString timeStamp();
// A fresh lower-case 8-4-4-4-12 GUID text.
wxString newGuidText();

// Object MIME table.
enum class ImageType { None, Jpeg, Bmp, Gif, Png, Ico };
struct MimeInfo {
    wxString mime;
    ImageType image = ImageType::None;
    bool known = false;
};
MimeInfo mimeForExtension(const wxString& ext);
wxString extensionForMime(const wxString& mime);

// Value formats.
long parseInt(const wxString& text); // leading digits, else 0
unsigned long parseUInt(const wxString& text);
std::vector<int> parseIntList(const wxString& text);
// The same read from UTF-8, as stored.
long parseIntUtf8(std::string_view text);
unsigned long parseUIntUtf8(std::string_view text);
std::vector<int> parseIntListUtf8(std::string_view text);
wxString formatIntList(const std::vector<int>& list);

struct Colour {
    bool ok = false; // false: no colour set
    unsigned char r = 0, g = 0, b = 0;
    bool operator==(const Colour& o) const {
        return ok == o.ok && (!ok || (r == o.r && g == o.g && b == o.b));
    }
};
Colour parseColour(const wxString& text);
wxString formatColour(const Colour& c); // "" for no colour

struct FontStyle {
    bool bold = false, italic = false, underline = false;
};
FontStyle parseStyle(const wxString& letters);
wxString formatStyle(const FontStyle& s);

// Version comparison as text: true when `version` is accepted by this
// program (not greater than "2.0" character by character).
bool isSupportedVersion(const wxString& version);

// Replaces line feeds (and carriage returns) by spaces so a value can never
// break a header line.
wxString sanitizeValue(const wxString& value);

// UTF-8 helpers at the SQLite boundary.
Bytes toUtf8(const wxString& s);
// Text of UTF-8 bytes; a byte that is not part of a valid sequence becomes
// its Latin-1 character, and the rest of the text is still read as UTF-8.
wxString fromUtf8(const char* data, size_t len);
// Length of the valid UTF-8 sequence at `p` (n bytes available), 0 when none.
size_t utf8SequenceLength(const unsigned char* p, size_t n);
bool isValidUtf8(const char* data, size_t len);
// The characters (code points) of `data` when it is valid UTF-8, else
// kNotUtf8: one pass for both questions.
inline constexpr size_t kNotUtf8 = static_cast<size_t>(-1);
size_t countValidUtf8(const char* data, size_t len);
inline wxString fromUtf8(const Bytes& b) {
    return fromUtf8(b.data(), b.size());
}

} // namespace qn
