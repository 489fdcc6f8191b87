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
    // A row is small (a search for one letter may give millions): the text
    // around a hit is read from the note when the row is shown.
    struct Row {
        int nodeId = 0; // 0 once the node was deleted
        int pos = -1;   // character position in the article; -1 for the title
        int length = 0; // characters of the hit in the article
    };

    void add(const SearchHit& hit);
    size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    const Row& at(size_t i) const { return rows_[i]; }

    // The text of a cell: column 0 the row number (from 1), 1 the node's
    // title (the gone label once the node is gone), 2 the text around the
    // hit in the note as it is now: up to 15 characters on either side,
    // stopping at line ends.
    wxString cellText(size_t row, int column, Database& db) const;
    // What the title column shows for a node that was deleted.
    void setGoneLabel(const wxString& label) { goneLabel_ = label; }

    // The rows of these nodes lead nowhere any more.
    void forgetNodes(const std::vector<int>& ids);

    // The node a row leads to: null when it is gone, or is no longer a node
    // shown in the tree.
    Block* nodeOf(size_t row, Database& db) const;

    // What to select for a hit found at `pos` (`length` characters) in
    // `text` as it is now: the text may have been edited since the search.
    // The hit where it was when the search text is still there; otherwise
    // the occurrence nearest to it; {-1, -1} when the text holds none.
    static std::pair<long, long> currentHit(const wxString& text, const wxString& searchText,
                                            bool caseSensitive, long pos, long length);

    // Where a jumped-to hit's line goes, as a fraction of the editor's
    // height (0 the top, 1 the bottom): the middle, or the middle of the
    // larger part the list window leaves free when it covers the editor's
    // middle.  Screen rows: the editor from `top`, `height` rows; the list
    // from `coverTop` to `coverBottom` (exclusive; an empty range when it
    // does not cover the editor).
    static double hitLineAlignment(int top, int height, int coverTop, int coverBottom);

private:
    std::vector<Row> rows_;
    wxString goneLabel_;
};

} // namespace qn
