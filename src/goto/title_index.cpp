#include "goto/title_index.h"

#include "store/database.h"
#include "store/utf8_text.h"

#include <cstring>

namespace qn {

namespace {
const char kSeparator[] = " / ";
// The parent path kept for matching: its last bytes only, so that a very
// deep tree does not cost the square of its depth.
const std::size_t kMaxPathBytes = 240;
} // namespace

TitleIndex::TitleIndex(Database& document) : doc_(document) {}

bool TitleIndex::readMore(std::size_t budget) {
    if (complete_) return true;
    ReadBatch batch(doc_);
    auto seen = [this](int id) {
        if (id <= 0) return true;
        if (static_cast<std::size_t>(id) >= seen_.size())
            seen_.resize(static_cast<std::size_t>(id) + 1, 0);
        if (seen_[static_cast<std::size_t>(id)]) return true;
        seen_[static_cast<std::size_t>(id)] = 1;
        return false;
    };
    if (!started_) {
        started_ = true;
        stack_.push_back(Level{{1}, 0, -1});
    }
    std::size_t done = 0;
    while (!stack_.empty() && done < budget) {
        Level& level = stack_.back();
        if (level.next == level.children.size()) {
            stack_.pop_back();
            continue;
        }
        const int id = level.children[level.next++];
        const std::int32_t parentEntry = level.parentEntry;
        if (seen(id)) continue;
        Block* node = doc_.findBlock(id);
        if (!node || !node->isNode()) continue;
        const bool hadHeader = node->hasHeader();
        if (!node->loadHeader()) {
            const StoreError& e = doc_.lastError();
            error_ = wxString::Format(wxS("node %d could not be read: %s"), id,
                                      e ? e.message : wxString(wxS("read error")));
            stack_.clear();
            break;
        }
        ++done;
        const Bytes title = node->getUtf8(K_cap);
        std::vector<int> children = node->getIntList(K_ch);
        const bool listed = !node->excluded();
        if (!hadHeader) node->freeHeader();

        // The entry's own folded text: its parent's path, then its title.
        Entry e{};
        e.id = id;
        e.parent = parentEntry;
        e.textStart = static_cast<std::uint32_t>(text_.size());
        if (parentEntry >= 0) {
            const Entry& p = entries_[static_cast<std::size_t>(parentEntry)];
            std::size_t start = p.textStart;
            if (p.textEnd - start > kMaxPathBytes) {
                start = p.textEnd - kMaxPathBytes;
                while (start < p.textEnd &&
                       (static_cast<unsigned char>(text_[start]) & 0xC0) == 0x80)
                    ++start; // not inside a character
            }
            text_.append(text_, start, p.textEnd - start);
            text_ += kSeparator;
        }
        e.titleStart = static_cast<std::uint32_t>(text_.size());
        const wxString wide = fromUtf8(title);
        text_ += foldedUtf8(wide);
        e.textEnd = static_cast<std::uint32_t>(text_.size());
        e.rawStart = static_cast<std::uint32_t>(raw_.size());
        raw_ += title;
        e.rawEnd = static_cast<std::uint32_t>(raw_.size());
        // An excluded node is not offered, but its children are, with
        // its title in their path.
        const std::int32_t self = static_cast<std::int32_t>(entries_.size());
        entries_.push_back(e);
        if (!children.empty()) stack_.push_back(Level{std::move(children), 0, self});
        if (!listed) hidden_.push_back(static_cast<std::uint32_t>(self));
    }
    if (stack_.empty()) complete_ = true;
    return complete_;
}

wxString TitleIndex::title(std::size_t entry) const {
    const Entry& e = entries_[entry];
    return fromUtf8(raw_.data() + e.rawStart, e.rawEnd - e.rawStart);
}

wxString TitleIndex::parentPath(std::size_t entry, bool withTop) const {
    std::vector<std::size_t> chain;
    for (std::int32_t p = entries_[entry].parent; p >= 0;
         p = entries_[static_cast<std::size_t>(p)].parent)
        chain.push_back(static_cast<std::size_t>(p));
    if (!withTop && !chain.empty()) chain.pop_back();
    wxString path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin()) path += wxString::FromAscii(kSeparator);
        path += title(*it);
    }
    return path;
}

const std::vector<std::uint32_t>& TitleIndex::filter(const wxString& query) {
    const std::string needle = foldedUtf8(query);
    // Every match of a longer query is a match of a shorter one it holds.
    const bool narrowing = haveLast_ && needle.find(lastNeedle_) != std::string::npos;
    std::vector<std::uint32_t> candidates;
    if (narrowing) {
        candidates.reserve(titleHits_.size() + pathHits_.size());
        // Document order again, so that the result keeps it.
        std::size_t a = 0, b = 0;
        while (a < titleHits_.size() || b < pathHits_.size()) {
            if (b == pathHits_.size() || (a < titleHits_.size() && titleHits_[a] < pathHits_[b]))
                candidates.push_back(titleHits_[a++]);
            else
                candidates.push_back(pathHits_[b++]);
        }
    }
    const std::size_t from = narrowing ? scanned_ : 0;
    titleHits_.clear();
    pathHits_.clear();
    std::size_t h = 0; // next hidden entry
    auto consider = [&](std::uint32_t i) {
        while (h < hidden_.size() && hidden_[h] < i)
            ++h;
        if (h < hidden_.size() && hidden_[h] == i) return;
        const Entry& e = entries_[i];
        if (needle.empty()) {
            titleHits_.push_back(i);
            return;
        }
        const char* text = text_.data() + e.textStart;
        const std::size_t len = e.textEnd - e.textStart;
        const void* at = memmem(text, len, needle.data(), needle.size());
        if (!at) return;
        const std::size_t titleOffset = e.titleStart - e.textStart;
        const std::size_t pos = static_cast<const char*>(at) - text;
        // A later match may still fall in the title.
        if (pos >= titleOffset ||
            memmem(text + titleOffset, len - titleOffset, needle.data(), needle.size()))
            titleHits_.push_back(i);
        else
            pathHits_.push_back(i);
    };
    if (narrowing)
        for (std::uint32_t i : candidates)
            consider(i);
    h = 0;
    while (h < hidden_.size() && hidden_[h] < from)
        ++h;
    for (std::size_t i = from; i < entries_.size(); ++i)
        consider(static_cast<std::uint32_t>(i));
    scanned_ = entries_.size();
    lastNeedle_ = needle;
    haveLast_ = true;
    matches_ = titleHits_;
    matches_.insert(matches_.end(), pathHits_.begin(), pathHits_.end());
    return matches_;
}

} // namespace qn
