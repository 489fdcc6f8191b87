// The favourites and the recent files, kept in the settings store as the
// numbered keys prefix + "1", prefix + "2", ...
#pragma once

#include <wx/string.h>

#include <vector>

namespace qn {

class IniFile;

class FileList {
public:
    // Loads prefix1, prefix2, ... until the first missing number.
    FileList(IniFile& store, const wxString& prefix);

    // Moves or inserts the path at the front; false when it already was
    // the first entry (nothing changes).
    bool add(const wxString& path);
    // Values below 1 count as 1; entries beyond the limit are dropped.
    void setLimit(int n);
    int limit() const { return limit_; }

    int count() const { return static_cast<int>(entries_.size()); }
    // The entry at index (0 = first); "" for an index out of range.
    wxString entry(int index) const;
    const std::vector<wxString>& entries() const { return entries_; }

    // For the favourites editor: clear() marks the list changed, append()
    // adds at the end without limit check and without marking it.
    void clear();
    void append(const wxString& path);

    bool isChanged() const { return changed_; }
    const wxString& prefix() const { return prefix_; }

    // Writes the entries into the store (when changed) and removes the
    // numbered keys beyond the count. The store is written to disk later.
    void save();

private:
    IniFile& store_;
    wxString prefix_;
    std::vector<wxString> entries_;
    int limit_ = 10;
    bool changed_ = false;
};

} // namespace qn
