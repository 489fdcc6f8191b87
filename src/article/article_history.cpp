#include "article/article_history.h"

#include <algorithm>

namespace qn {

int ArticleHistory::indexOf(uint32_t nodeId) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].nodeId == nodeId) return static_cast<int>(i);
    return -1;
}

void ArticleHistory::add(uint32_t nodeId, int32_t groupId) {
    if (!entries_.empty()) {
        int found = indexOf(nodeId);
        if (found == current_) return;
        if (found >= 0) {
            if (current_ > 0 && found < current_) --current_;
            entries_.erase(entries_.begin() + found);
        }
    }
    if (entries_.empty()) {
        entries_.push_back({nodeId, groupId});
        current_ = 0;
        return;
    }
    entries_.insert(entries_.begin() + current_ + 1, {nodeId, groupId});
    ++current_;
    if (entries_.size() > limit_) {
        entries_.erase(entries_.begin());
        --current_;
    }
}

int ArticleHistory::back() {
    if (current_ > 0) return --current_;
    return -1;
}

int ArticleHistory::forward() {
    if (!entries_.empty() && current_ < static_cast<int>(entries_.size()) - 1) return ++current_;
    return -1;
}

void ArticleHistory::remove(uint32_t nodeId) {
    int found = indexOf(nodeId);
    if (found < 0) return;
    entries_.erase(entries_.begin() + found);
    // Keep the index on the node shown when an earlier entry goes.
    if (found < current_) --current_;
    if (current_ > 0 && current_ >= static_cast<int>(entries_.size())) --current_;
}

void ArticleHistory::clear() {
    entries_.clear();
    current_ = 0;
}

std::vector<int> historyMenuIndices(const ArticleHistory& history, size_t maxItems) {
    std::vector<int> out;
    const int n = static_cast<int>(history.size());
    if (n == 0 || maxItems == 0) return out;
    // A window of maxItems entries around the current one, pushed back inside
    // the list at either end.
    const int count = std::min<int>(n, static_cast<int>(maxItems));
    int first = history.current() - count / 2;
    first = std::max(0, std::min(first, n - count));
    for (int i = first + count - 1; i >= first; --i)
        out.push_back(i);
    return out;
}

} // namespace qn
