// The main window's list of recently shown nodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qn {

class ArticleHistory {
public:
    struct Entry {
        uint32_t nodeId = 0;
        int32_t groupId = 0; // root of the category shown with the node
    };

    explicit ArticleHistory(size_t limit = 1) : limit_(limit) {}

    // Records a shown node; a node that is already listed moves next to the
    // current entry instead of appearing twice.
    void add(uint32_t nodeId, int32_t groupId);
    // New current index, or -1 when there is nowhere to go.
    int back();
    int forward();
    void remove(uint32_t nodeId);
    void clear();

    // Largest number of entries kept; lowering it does not shorten the list
    // at once (one entry is dropped per later insertion).
    void setLimit(size_t limit) { limit_ = limit; }
    size_t limit() const { return limit_; }

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    int current() const { return current_; }
    const Entry& at(size_t index) const { return entries_.at(index); }
    const std::vector<Entry>& entries() const { return entries_; }
    // First entry index listed by the history menu that was opened last;
    // its rows carry consecutive command ids from there.
    int menuBase() const { return menuBase_; }
    void setMenuBase(int index) { menuBase_ = index; }
    // Index of the entry holding the node, or -1.
    int indexOf(uint32_t nodeId) const;

private:
    std::vector<Entry> entries_;
    int current_ = 0;
    size_t limit_;
    int menuBase_ = 0;
};

// The indices a history menu lists, newest first: at most `maxItems` entries,
// the ones nearest to the current index.
std::vector<int> historyMenuIndices(const ArticleHistory& history, size_t maxItems);

} // namespace qn
