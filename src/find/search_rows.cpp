#include "find/search_rows.h"

#include "article/text_search.h"

#include <algorithm>

namespace qn {

void SearchRows::add(const SearchHit& hit) {
    rows_.push_back(Row{hit.id, hit.pos, hit.length});
}

Block* SearchRows::nodeOf(size_t row, Database& db) const {
    if (row >= rows_.size() || rows_[row].nodeId <= 0) return nullptr;
    Block* node = db.getBlock(rows_[row].nodeId);
    if (!node || !node->isNode() || node->excluded()) return nullptr;
    return node;
}

wxString SearchRows::cellText(size_t row, int column, Database& db) const {
    if (row >= rows_.size()) return wxString();
    switch (column) {
    case 0:
        return wxString::Format(wxS("%zu"), row + 1);
    case 1:
        if (Block* node = nodeOf(row, db)) return node->getString(K_cap);
        return goneLabel_;
    case 2: {
        const Row& r = rows_[row];
        Block* node = nodeOf(row, db);
        if (!node || r.pos < 0) return wxString();
        const wxString& text = node->text();
        const size_t size = text.length(), pos = static_cast<size_t>(r.pos);
        if (pos > size) return wxString();
        size_t start = pos, end = std::min(size, pos + static_cast<size_t>(std::max(0, r.length)));
        for (int k = 0; k < 15 && start > 0 && text[start - 1] != '\n'; ++k)
            --start;
        for (int k = 0; k < 15 && end < size && text[end] != '\n'; ++k)
            ++end;
        return text.substr(start, end - start);
    }
    default:
        return wxString();
    }
}

void SearchRows::forgetNodes(const std::vector<int>& ids) {
    if (ids.empty()) return;
    std::vector<int> sorted(ids);
    std::sort(sorted.begin(), sorted.end());
    for (Row& r : rows_)
        if (std::binary_search(sorted.begin(), sorted.end(), r.nodeId)) r.nodeId = 0;
}

std::pair<long, long> SearchRows::currentHit(const wxString& text, const wxString& searchText,
                                             bool caseSensitive, long pos, long length) {
    const long size = static_cast<long>(text.length());
    long foundLength = 0;
    // Still in place: the search text is found at the old position.
    if (pos >= 0 && pos <= size &&
        findForward(text, searchText, pos, caseSensitive, &foundLength) == pos &&
        foundLength == length)
        return {pos, pos + length};
    // The nearest occurrence after or before the old position.
    const long start = std::clamp(pos, 0L, size);
    long afterLength = 0, beforeLength = 0;
    const long after = findForward(text, searchText, start, caseSensitive, &afterLength);
    const long before =
        start > 0 ? findBackward(text, searchText, start + length - 1, caseSensitive, &beforeLength)
                  : -1;
    if (after < 0 && before < 0) return {-1, -1};
    if (before >= 0 && (after < 0 || start - before <= after - start))
        return {before, before + beforeLength};
    return {after, after + afterLength};
}

double SearchRows::hitLineAlignment(int top, int height, int coverTop, int coverBottom) {
    if (height <= 0) return 0.5;
    const int bottom = top + height;
    coverTop = std::clamp(coverTop, top, bottom);
    coverBottom = std::clamp(coverBottom, top, bottom);
    const int middle = top + height / 2;
    if (coverBottom <= coverTop || middle < coverTop || middle >= coverBottom) return 0.5;
    // The free part above the list, or the one below it, whichever is taller.
    const int above = coverTop - top, below = bottom - coverBottom;
    if (above <= 0 && below <= 0) return 0.5; // nothing is free
    const int centre = above >= below ? top + above / 2 : coverBottom + below / 2;
    return std::clamp(static_cast<double>(centre - top) / height, 0.0, 1.0);
}

} // namespace qn
