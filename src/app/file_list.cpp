#include "app/file_list.h"

#include "app/ini_file.h"

#include <algorithm>

namespace qn {

namespace {
wxString numberedKey(const wxString& prefix, int n) {
    return wxString::Format(wxS("%s%d"), prefix, n);
}
} // namespace

FileList::FileList(IniFile& store, const wxString& prefix) : store_(store), prefix_(prefix) {
    for (int n = 1;; ++n) {
        const wxString key = numberedKey(prefix_, n);
        if (!store_.has(key)) break;
        entries_.push_back(store_.get(key));
    }
    if (count() > limit_) limit_ = count();
}

bool FileList::add(const wxString& path) {
    auto it = std::find(entries_.begin(), entries_.end(), path);
    if (it == entries_.begin() && it != entries_.end()) return false;
    if (it == entries_.end()) {
        entries_.insert(entries_.begin(), path);
        if (count() > limit_) entries_.pop_back();
    } else {
        std::rotate(entries_.begin(), it, it + 1);
    }
    changed_ = true;
    return true;
}

void FileList::setLimit(int n) {
    if (n < 1) n = 1;
    limit_ = n;
    if (count() > n) {
        entries_.resize(static_cast<std::size_t>(n));
        // The dropped entries must leave the settings file too.
        changed_ = true;
    }
}

wxString FileList::entry(int index) const {
    if (index < 0 || index >= count()) return wxString();
    return entries_[static_cast<std::size_t>(index)];
}

void FileList::clear() {
    entries_.clear();
    changed_ = true;
}

void FileList::append(const wxString& path) {
    entries_.push_back(path);
}

void FileList::save() {
    if (!changed_) return;
    for (int i = 0; i < count(); ++i)
        store_.set(numberedKey(prefix_, i + 1), entries_[static_cast<std::size_t>(i)]);
    for (int n = count() + 1;; ++n) {
        const wxString key = numberedKey(prefix_, n);
        if (!store_.has(key)) break;
        store_.remove(key);
    }
}

} // namespace qn
