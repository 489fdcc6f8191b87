// Key=value configuration files: the settings store, the project defaults
// and the text constants.
#pragma once

#include <wx/colour.h>
#include <wx/string.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace qn {

// Orders keys by their UTF-16 code units (ordinal, case-sensitive), so the
// written file has the same order on every platform.
struct Utf16Less {
    bool operator()(const wxString& a, const wxString& b) const;
};

class IniFile {
public:
    using Entries = std::map<wxString, wxString, Utf16Less>;

    IniFile() = default;
    explicit IniFile(const wxString& path) { load(path); }

    // Reads the file in the system multibyte code page. Never fails: check
    // isLoaded(). Lines end at LF, CR LF or CR; "#" and ";" start comments;
    // nothing is trimmed; a key ending in "$" has backslash-n and
    // backslash-t in its value turned into a line break and a tab.
    void load(const wxString& path);
    // The same parse over bytes already in memory (path stays empty, so
    // save() does nothing). Marks the object loaded.
    void loadBytes(const char* data, std::size_t size);

    bool isLoaded() const { return loaded_; }
    bool isChanged() const { return changed_; }
    const wxString& path() const { return path_; }
    const Entries& entries() const { return entries_; }

    // A missing key yields "" and is inserted with an empty value (without
    // marking the file changed), so the next save writes it.
    wxString get(const wxString& key);
    // Whether the key is present; inserts nothing.
    bool has(const wxString& key) const;
    // 0 unless the whole value is a decimal number.
    int getInt(const wxString& key);
    // Splits the value at "," and stores up to `slots` numbers (each from
    // its leading decimal digits, 0 without any) into dest; returns how many
    // were stored. Slots beyond the stored count keep the caller's values,
    // so fill dest with defaults first.
    int getIntArray(const wxString& key, int* dest, int slots = 4);
    // Every piece of the value as a number; empty value: empty list.
    std::vector<int> getIntList(const wxString& key);
    // First six characters as RRGGBB hexadecimal, opaque; empty: black.
    wxColour getColour(const wxString& key);

    void set(const wxString& key, const wxString& value);
    void setInt(const wxString& key, int n);
    void setIntArray(const wxString& key, const int* values, int count);
    void setIntArray(const wxString& key, const std::vector<int>& values);
    void setColour(const wxString& key, const wxColour& colour);
    // Removes the key; marks the file changed when it was there.
    void remove(const wxString& key);

    // Writes the file when it was loaded and changed: path + ".$$$" first,
    // then path becomes path + ".OLD" and the new file takes its name.
    // Returns false when something failed; the old file is then left whole
    // (either still under its name or, if only the last rename failed, put
    // back). Returns true when there was nothing to write.
    bool save();

private:
    void parse(const std::vector<wxString>& lines);

    Entries entries_;
    wxString path_;
    bool loaded_ = false;
    bool changed_ = false;
};

// Helpers shared with other readers of the system code page.
// Bytes to text: UTF-8 when the bytes are valid UTF-8 (the shipped files),
// else the locale's multibyte code page, else Latin-1, so no line is ever
// dropped.
wxString decodeLocalBytes(const char* data, std::size_t size);
// Text to bytes: the locale's code page, else UTF-8 (so text the code page
// cannot hold is not lost).
std::string encodeLocalText(const wxString& text);

} // namespace qn
