// The rows of the global search list, without a window: one per hit, kept
// by node id (never by a pointer into the document), so that a row whose
// node was deleted stays harmless.
#pragma once

#include "store/database.h"

#include <wx/string.h>

#include <utility>
#include <vector>

namespace qn {

class SearchRows {
public:
    struct Row {
        int nodeId = 0; // 0 once the node was deleted
        int pos = -1;   // character position in the article; -1 for the title
        Bytes snippet;  // UTF-8
    };

    void add(const SearchHit& hit);
    size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    const Row& at(size_t i) const { return rows_[i]; }

    // The text of a cell: column 0 the row number (from 1), 1 the node's
    // title (empty once the node is gone), 2 the text around the hit.
    wxString cellText(size_t row, int column, Database& db) const;

    // The rows of these nodes lead nowhere any more.
    void forgetNodes(const std::vector<int>& ids);

    // The node a row leads to: null when it is gone, or is no longer a node
    // shown in the tree.
    Block* nodeOf(size_t row, Database& db) const;

    // What to select for a hit at `pos` of a search text of `length`
    // characters in a text of `textLength`: the text may have changed since
    // the search, so both ends are kept inside it.
    static std::pair<long, long> selection(long pos, long length, long textLength);

private:
    std::vector<Row> rows_;
};

} // namespace qn
