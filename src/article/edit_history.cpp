#include "article/edit_history.h"

#include <algorithm>
#include <cwctype>

namespace qn {

namespace {

bool isWordChar(wxUniChar c) {
    const wint_t v = static_cast<wint_t>(c.GetValue());
    return c == wxUniChar('_') || std::iswalnum(v) || v > 0x7f;
}

} // namespace

bool EditHistory::joinTyping(Step& last, long pos, const wxString& removed,
                             const wxString& inserted) const {
    if (last.kind != TYPING || last.change.inserted.empty()) return false;
    if (pos != last.change.pos + static_cast<long>(last.change.inserted.length())) return false;
    const wxUniChar before = last.change.inserted.Last();
    const wxUniChar now = inserted[0];
    // A line break ends a step; so does the first letter of a new word.
    if (before == wxUniChar('\n')) return false;
    if (isWordChar(now) && !isWordChar(before)) return false;
    last.change.inserted += inserted;
    last.change.removed += removed; // overwrite mode takes a character each time
    return true;
}

bool EditHistory::joinDeleting(Step& last, long pos, const wxString& removed) const {
    if (last.kind != DELETING || removed == wxS("\n")) return false;
    if (pos + 1 == last.change.pos) { // Backspace
        last.change.pos = pos;
        last.change.removed = removed + last.change.removed;
        return true;
    }
    if (pos == last.change.pos) { // Delete
        last.change.removed += removed;
        return true;
    }
    return false;
}

void EditHistory::record(long pos, const wxString& removed, const wxString& inserted, bool typed) {
    if (removed.empty() && inserted.empty()) return;
    // A change after undoing drops what could have been redone.
    if (index_ < steps_.size()) {
        steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(index_), steps_.end());
        if (committed_ > static_cast<long>(index_)) committed_ = -1;
    }
    Kind kind = OTHER;
    if (typed && inserted.length() == 1 && removed.length() <= 1)
        kind = TYPING;
    else if (typed && inserted.empty() && removed.length() == 1)
        kind = DELETING;

    // The committed text must stay reachable: the step that leads to it is
    // never extended.
    if (kind != OTHER && !steps_.empty() && steps_.back().open && !atCommitted()) {
        Step& last = steps_.back();
        if (kind == TYPING ? joinTyping(last, pos, removed, inserted)
                           : joinDeleting(last, pos, removed))
            return;
    }
    closeStep();
    steps_.push_back(Step{Change{pos, removed, inserted}, kind, kind != OTHER});
    ++index_;
    if (steps_.size() > limit_) {
        steps_.erase(steps_.begin());
        --index_;
        if (committed_ >= 0) --committed_;
    }
}

void EditHistory::closeStep() {
    if (!steps_.empty()) steps_.back().open = false;
}

EditHistory::Change EditHistory::undo() {
    if (!canUndo()) return Change{};
    closeStep();
    const Change& c = steps_[--index_].change;
    return Change{c.pos, c.inserted, c.removed};
}

EditHistory::Change EditHistory::redo() {
    if (!canRedo()) return Change{};
    closeStep();
    return steps_[index_++].change;
}

void EditHistory::clear() {
    steps_.clear();
    index_ = 0;
    committed_ = 0;
}

void EditHistory::markCommitted() {
    closeStep();
    committed_ = static_cast<long>(index_);
}

EditHistory::Change diffTexts(const wxString& before, const wxString& after) {
    const size_t n = before.length(), m = after.length();
    size_t start = 0;
    const size_t shorter = std::min(n, m);
    const wchar_t* b = before.wc_str();
    const wchar_t* a = after.wc_str();
    while (start < shorter && b[start] == a[start])
        ++start;
    size_t end = 0; // common characters at the end, not overlapping the start
    while (end < shorter - start && b[n - 1 - end] == a[m - 1 - end])
        ++end;
    return EditHistory::Change{static_cast<long>(start), before.substr(start, n - start - end),
                               after.substr(start, m - start - end)};
}

} // namespace qn
