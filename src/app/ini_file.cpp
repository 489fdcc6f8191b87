#include "app/ini_file.h"

#include "store/safe_file.h"

#include <wx/filefn.h>
#include <wx/strconv.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <system_error>
#include <cstdio>
#include <unistd.h>

namespace qn {

namespace {

// UTF-16 order differs from code-point order only for characters from
// U+E000 to U+FFFF, which sort after the surrogate pairs of U+10000 and up.
unsigned long utf16Weight(wxUniChar c) {
    unsigned long v = c.GetValue();
    return (v >= 0xE000 && v <= 0xFFFF) ? v + 0x200000 : v;
}

// Splits raw bytes into lines ending at LF, CR LF or CR.
std::vector<wxString> splitLines(const char* data, std::size_t size) {
    std::vector<wxString> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    // A UTF-8 byte-order mark is never part of a key.
    if (size >= 3 && static_cast<unsigned char>(data[0]) == 0xEF &&
        static_cast<unsigned char>(data[1]) == 0xBB && static_cast<unsigned char>(data[2]) == 0xBF)
        start = i = 3;
    while (i < size) {
        char c = data[i];
        if (c == '\n' || c == '\r') {
            lines.push_back(decodeLocalBytes(data + start, i - start));
            if (c == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < size) lines.push_back(decodeLocalBytes(data + start, size - start));
    return lines;
}

// Reads optional blanks, a sign and the leading decimal digits; 0 without
// digits. Saturates instead of overflowing.
int leadingInt(const wxString& s) {
    std::size_t i = 0;
    while (i < s.length() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.length() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < s.length() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (v < 10000000000LL) v = v * 10 + (s[i].GetValue() - '0');
    }
    if (negative) v = -v;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

wxString joinInts(const int* values, int count) {
    wxString out;
    for (int i = 0; i < count; ++i) {
        if (i) out += wxS(',');
        out += wxString::Format(wxS("%d"), values[i]);
    }
    return out;
}

bool writeAll(const wxString& path, const std::string& bytes) {
    FILE* f = std::fopen(path.fn_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    // Delayed allocation may report a full disk only here.
    ok = ::fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

} // namespace

bool Utf16Less::operator()(const wxString& a, const wxString& b) const {
    std::size_t n = std::min(a.length(), b.length());
    wxString::const_iterator ia = a.begin(), ib = b.begin();
    for (std::size_t i = 0; i < n; ++i, ++ia, ++ib) {
        unsigned long wa = utf16Weight(*ia), wb = utf16Weight(*ib);
        if (wa != wb) return wa < wb;
    }
    return a.length() < b.length();
}

wxString decodeLocalBytes(const char* data, std::size_t size) {
    if (size == 0) return wxString();
    // The shipped files are UTF-8 whatever the user's code page is; text in
    // a legacy code page is practically never valid UTF-8.
    wxString s(data, wxConvUTF8, size);
    if (s.empty()) s = wxString(data, wxConvLibc, size);
    if (s.empty()) s = wxString(data, wxConvISO8859_1, size);
    return s;
}

std::string encodeLocalText(const wxString& text) {
    if (text.empty()) return std::string();
    wxCharBuffer buf = text.mb_str(wxConvLibc);
    if (buf.length() == 0) buf = text.mb_str(wxConvUTF8);
    return std::string(buf.data(), buf.length());
}

void IniFile::load(const wxString& path) {
    entries_.clear();
    path_ = path;
    loaded_ = false;
    changed_ = false;
    if (path.empty()) return;
    FILE* f = std::fopen(path.fn_str(), "rb");
    if (!f) return;
    std::string bytes;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) return;
    parse(splitLines(bytes.data(), bytes.size()));
    loaded_ = true;
}

void IniFile::loadBytes(const char* data, std::size_t size) {
    entries_.clear();
    path_.clear();
    changed_ = false;
    parse(splitLines(data, size));
    loaded_ = true;
}

void IniFile::parse(const std::vector<wxString>& lines) {
    for (const wxString& line : lines) {
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        std::size_t eq = line.find(wxS('='));
        if (eq == wxString::npos) continue;
        wxString key = line.substr(0, eq);
        wxString value = line.substr(eq + 1);
        if (!key.empty() && key.Last() == '$') {
            key.RemoveLast();
            wxString out;
            out.reserve(value.length());
            for (std::size_t i = 0; i < value.length(); ++i) {
                if (value[i] == '\\' && i + 1 < value.length()) {
                    if (value[i + 1] == 'n') {
                        out += wxS('\n');
                        ++i;
                        continue;
                    }
                    if (value[i + 1] == 't') {
                        out += wxS('\t');
                        ++i;
                        continue;
                    }
                }
                out += value[i];
            }
            value = out;
        }
        entries_[key] = value;
    }
}

wxString IniFile::get(const wxString& key) {
    return entries_[key];
}

bool IniFile::has(const wxString& key) const {
    return entries_.count(key) != 0;
}

int IniFile::getInt(const wxString& key) {
    const wxString v = get(key);
    std::size_t i = 0;
    if (i < v.length() && (v[i] == '-' || v[i] == '+')) ++i;
    if (i == v.length()) return 0;
    for (std::size_t j = i; j < v.length(); ++j)
        if (v[j] < '0' || v[j] > '9') return 0;
    long long n = 0;
    for (std::size_t j = i; j < v.length(); ++j) {
        n = n * 10 + (v[j].GetValue() - '0');
        if (n > static_cast<long long>(INT_MAX) + 1) return 0;
    }
    if (v[0] == '-') n = -n;
    if (n > INT_MAX || n < INT_MIN) return 0;
    return static_cast<int>(n);
}

int IniFile::getIntArray(const wxString& key, int* dest, int slots) {
    const wxString v = get(key);
    if (v.empty() || !dest) return 0;
    int stored = 0;
    std::size_t start = 0;
    while (stored < slots) {
        std::size_t comma = v.find(wxS(','), start);
        dest[stored++] =
            leadingInt(v.substr(start, comma == wxString::npos ? wxString::npos : comma - start));
        if (comma == wxString::npos) break;
        start = comma + 1;
    }
    return stored;
}

std::vector<int> IniFile::getIntList(const wxString& key) {
    const wxString v = get(key);
    std::vector<int> out;
    if (v.empty()) return out;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = v.find(wxS(','), start);
        out.push_back(
            leadingInt(v.substr(start, comma == wxString::npos ? wxString::npos : comma - start)));
        if (comma == wxString::npos) break;
        start = comma + 1;
    }
    return out;
}

void IniFile::set(const wxString& key, const wxString& value) {
    entries_[key] = value;
    changed_ = true;
}

void IniFile::setInt(const wxString& key, int n) {
    set(key, wxString::Format(wxS("%d"), n));
}

void IniFile::setIntArray(const wxString& key, const int* values, int count) {
    set(key, joinInts(values, values ? count : 0));
}

void IniFile::setIntArray(const wxString& key, const std::vector<int>& values) {
    set(key, joinInts(values.data(), static_cast<int>(values.size())));
}

void IniFile::remove(const wxString& key) {
    if (entries_.erase(key)) changed_ = true;
}

bool IniFile::save() {
    if (!loaded_ || !changed_ || path_.empty()) return true;
    std::string bytes;
    for (const auto& [key, value] : entries_) {
        // A value with a line break or tab would split or corrupt its line:
        // write it in the "$" form the loader turns back.
        if (value.find_first_of(wxS("\r\n\t")) != wxString::npos) {
            wxString escaped;
            for (std::size_t i = 0; i < value.length(); ++i) {
                wxUniChar c = value[i];
                if (c == '\r') {
                    if (i + 1 < value.length() && value[i + 1] == '\n') ++i;
                    escaped += wxS("\\n");
                } else if (c == '\n') {
                    escaped += wxS("\\n");
                } else if (c == '\t') {
                    escaped += wxS("\\t");
                } else {
                    escaped += c;
                }
            }
            bytes += encodeLocalText(key + wxS("$=") + escaped);
        } else {
            bytes += encodeLocalText(key + wxS("=") + value);
        }
        bytes += '\n';
    }

    const wxString tmp = path_ + wxS(".$$$");
    const wxString old = path_ + wxS(".OLD");
    if (!writeAll(tmp, bytes)) {
        wxRemoveFile(tmp);
        return false;
    }
    if (wxFileExists(path_)) {
        if (wxFileExists(old)) wxRemoveFile(old);
        // The old contents get the name ".OLD" as a second name (or a copy
        // where links are not to be had), so the settings file's own name
        // holds a whole file at every instant.  When that fails, the new
        // contents stay in ".$$$".
        if (::link(path_.fn_str(), old.fn_str()) != 0) {
            if (errno == EEXIST) return false;
            std::error_code ec;
            std::filesystem::copy_file(std::string(path_.fn_str()), std::string(old.fn_str()), ec);
            if (ec) return false;
        }
    }
    return renameIntoPlace(tmp, path_);
}

} // namespace qn
