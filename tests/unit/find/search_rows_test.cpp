#include "find/search_rows.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(SearchRows, CellsComeFromTheDocumentByNodeId) {
    Database db;
    db.newDocument();
    Block* a = db.newNode(1);
    a->setString(K_cap, wxS("Alpha"));
    a->setText(wxS("quokka one\nquokka two"));
    Block* b = db.newNode(1);
    b->setString(K_cap, wxString::FromUTF8("Bêta quokka"));
    b->setText(wxString::FromUTF8("ein Quokka über"));

    db.setMaxSearchCount(0);
    SearchRows rows;
    db.search(wxS("quokka"), false, [&](const SearchHit& h) { rows.add(h); });
    ASSERT_EQ(rows.size(), 4u);
    const struct {
        const char* number;
        const char* title;
        const char* snippet;
        int pos;
    } want[] = {
        {"1", "Alpha", "quokka one", 0},
        {"2", "Alpha", "quokka two", 11},
        {"3", "Bêta quokka", "", -1}, // the title row comes first
        {"4", "Bêta quokka", "ein Quokka über", 4},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows.cellText(i, 0, db), wxString::FromUTF8(want[i].number));
        EXPECT_EQ(rows.cellText(i, 1, db), wxString::FromUTF8(want[i].title)) << i;
        EXPECT_EQ(rows.cellText(i, 2, db), wxString::FromUTF8(want[i].snippet)) << i;
        EXPECT_EQ(rows.at(i).pos, want[i].pos) << i;
    }

    // A deleted node: its rows keep their place, show no title and lead
    // nowhere, even when a new node gets the same id.
    const int aId = a->id();
    rows.forgetNodes({aId});
    db.deleteBlock(aId);
    EXPECT_EQ(rows.cellText(0, 1, db), wxString());
    EXPECT_EQ(rows.nodeOf(0, db), nullptr);
    EXPECT_EQ(rows.nodeOf(3, db), b);
    EXPECT_EQ(rows.cellText(3, 0, db), wxS("4"));
    EXPECT_EQ(rows.cellText(99, 1, db), wxString());
}

TEST(SearchRows, SelectionStaysInsideTheText) {
    const struct {
        long pos, length, textLength, from, to;
    } cases[] = {
        {4, 3, 20, 4, 7},    // as found
        {18, 3, 20, 18, 20}, // the text got shorter: the end is cut
        {25, 3, 20, 20, 20}, // past the end: the caret at the end
        {0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const auto [from, to] = SearchRows::selection(c.pos, c.length, c.textLength);
        EXPECT_EQ(from, c.from) << c.pos;
        EXPECT_EQ(to, c.to) << c.pos;
    }
}
