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

    // The text around a hit is read from the note as it is now.
    a->setText(wxS("quokka one\nquokka three"));
    EXPECT_EQ(rows.cellText(1, 2, db), wxS("quokka three"));

    // A deleted node: its rows keep their place, say the node is gone and
    // lead nowhere, even when a new node gets the same id.
    rows.setGoneLabel(wxS("(gone)"));
    const int aId = a->id();
    rows.forgetNodes({aId});
    db.deleteBlock(aId);
    EXPECT_EQ(rows.cellText(0, 1, db), wxS("(gone)"));
    EXPECT_EQ(rows.cellText(0, 2, db), wxString());
    EXPECT_EQ(rows.nodeOf(0, db), nullptr);
    EXPECT_EQ(rows.nodeOf(3, db), b);
    EXPECT_EQ(rows.cellText(3, 0, db), wxS("4"));
    EXPECT_EQ(rows.cellText(99, 1, db), wxString());
}

// A search for one letter over a large document gives millions of rows: a
// row holds no text of its own.
static_assert(sizeof(SearchRows::Row) <= 3 * sizeof(int), "a search row stays small");

// A row keeps the position the search found; the note may have been edited
// since, and the row must still select the search text, never whatever now
// stands at the old position.
TEST(SearchRows, AJumpSelectsTheHitInTheTextAsItIsNow) {
    const struct {
        const char* text;
        const char* search;
        bool caseSensitive;
        long pos, length, from, to;
    } cases[] = {
        {"one quokka two", "quokka", false, 4, 6, 4, 10},          // unchanged
        {"xx one quokka two", "quokka", false, 4, 6, 7, 13},       // text typed before it
        {"quokka two", "quokka", false, 4, 6, 0, 6},               // text removed before it
        {"QUOKKA a quokka", "quokka", true, 0, 6, 9, 15},          // the case must fit
        {"quokka, then far below quokka", "quokka", false, 20, 6, 23, 29}, // the nearer one
        {"no more", "quokka", false, 2, 6, -1, -1},                // gone
        {"die STRASSE", "stra\xC3\x9F" "e", false, 0, 7, 4, 11},   // a hit longer than the text
        {"", "quokka", false, 0, 6, -1, -1},
    };
    for (const auto& c : cases) {
        const auto [from, to] = SearchRows::currentHit(
            wxString::FromUTF8(c.text), wxString::FromUTF8(c.search), c.caseSensitive, c.pos, c.length);
        EXPECT_EQ(from, c.from) << c.text;
        EXPECT_EQ(to, c.to) << c.text;
    }
}

// A jumped-to hit goes to the middle of the editor, unless the list window
// covers that: then to the middle of the larger free part.
TEST(SearchRows, TheHitLineStaysClearOfTheList) {
    const struct {
        int coverTop, coverBottom;
        double want;
    } cases[] = {
        {0, 0, 0.5},       // the list is elsewhere
        {700, 900, 0.5},   // below the middle line: the middle is free
        {400, 800, 0.1875}, // over the lower half: the middle of the upper part
        {100, 600, 0.8125}, // over the upper part: the middle of the lower one
        {0, 2000, 0.5},    // covers everything: nothing better than the middle
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(SearchRows::hitLineAlignment(100, 800, c.coverTop, c.coverBottom), c.want)
            << c.coverTop << "-" << c.coverBottom;
}
