// A set of block ids, for walks that must visit each node once.  The ids a
// document hands out run densely from 1, so they are kept as bits; an id far
// beyond (a damaged or hostile file) goes to a hash set instead, so that it
// cannot make the bitmap large.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace qn {

class IdSet {
public:
    // False when `id` was in the set already.
    bool insert(int id) {
        if (id >= 0 && id < kDenseLimit) {
            const std::size_t word = static_cast<size_t>(id) >> 6;
            if (word >= bits_.size()) bits_.resize(std::max(word + 1, bits_.size() * 2));
            const uint64_t bit = uint64_t(1) << (id & 63);
            if (bits_[word] & bit) return false;
            bits_[word] |= bit;
            return true;
        }
        return sparse_.insert(id).second;
    }
    bool contains(int id) const {
        if (id >= 0 && id < kDenseLimit) {
            const std::size_t word = static_cast<size_t>(id) >> 6;
            return word < bits_.size() && (bits_[word] >> (id & 63) & 1);
        }
        return sparse_.count(id) != 0;
    }

private:
    static constexpr int kDenseLimit = 1 << 24; // 2 MB of bits at most
    std::vector<uint64_t> bits_;
    std::unordered_set<int> sparse_;
};

} // namespace qn
