// Every node title of a document with the titles of its parents, for
// finding a note by typing part of its name.  The titles are read in slices
// (readMore), so that a window can read a large document between events
// without ever blocking; filtering works on what has been read so far.
#pragma once

#include <wx/string.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qn {

class Database;

class TitleIndex {
public:
    explicit TitleIndex(Database& document);

    // Reads the titles of up to `budget` more nodes, in document order
    // (depth first from the top node).  True when every node is read.
    // Headers loaded only for this are let go again.
    bool readMore(std::size_t budget);
    bool complete() const { return complete_; }
    // A header that could not be read ends the reading early; the index
    // keeps what it has and says why.
    const wxString& error() const { return error_; }

    std::size_t size() const { return entries_.size(); }
    int nodeId(std::size_t entry) const { return entries_[entry].id; }
    wxString title(std::size_t entry) const;
    // The titles of the entry's parents from the top, joined by " / ";
    // without the top node's when `withTop` is false (it is every path's).
    wxString parentPath(std::size_t entry, bool withTop = true) const;

    // The entries whose title or parent path contain `query` (case folded
    // the same in every locale): those matching in the title first, then
    // those matching only in the path, each in document order.  An empty
    // query matches everything.  A query that extends the previous one is
    // looked for only among the previous matches.
    const std::vector<std::uint32_t>& filter(const wxString& query);
    const std::vector<std::uint32_t>& matches() const { return matches_; }

private:
    struct Entry {
        int id;
        std::int32_t parent;     // entry of the parent; -1 for the top
        std::uint32_t textStart; // in text_: the folded path, " / " and title
        std::uint32_t titleStart;
        std::uint32_t textEnd;
        std::uint32_t rawStart; // in raw_: the title as stored (UTF-8)
        std::uint32_t rawEnd;
    };
    struct Level {
        std::vector<int> children;
        std::size_t next;
        std::int32_t parentEntry;
    };

    Database& doc_;
    std::vector<Entry> entries_;
    std::string text_; // folded texts of all entries, one after another
    std::string raw_;  // titles as stored
    std::vector<Level> stack_;
    std::vector<char> seen_;            // by node id, for child lists that loop
    std::vector<std::uint32_t> hidden_; // excluded nodes' entries, ascending
    bool started_ = false;
    bool complete_ = false;
    wxString error_;

    std::string lastNeedle_;
    bool haveLast_ = false;
    std::size_t scanned_ = 0; // entries the last filter looked at
    std::vector<std::uint32_t> titleHits_, pathHits_, matches_;
};

} // namespace qn
