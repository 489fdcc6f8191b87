#include "find/search_rows.h"

#include <algorithm>

namespace qn {

void SearchRows::add(const SearchHit& hit) {
    rows_.push_back(Row{hit.id, hit.pos, hit.snippetUtf8});
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
        return wxString();
    case 2:
        return fromUtf8(rows_[row].snippet);
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

std::pair<long, long> SearchRows::selection(long pos, long length, long textLength) {
    const long from = std::clamp(pos, 0L, std::max(0L, textLength));
    const long to = std::clamp(pos + std::max(0L, length), from, std::max(0L, textLength));
    return {from, to};
}

} // namespace qn
