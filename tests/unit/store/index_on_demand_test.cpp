// Documents opened with the block index read on first use: what searches and
// lookups give must be what they give with the index read at open.
#include "store/database.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qn;
using qn::test::TempDir;

namespace {

wxString u8(const char* s) {
    return wxString::FromUTF8(s);
}

// Root, four nodes (one excluded, one long enough to be stored deflated,
// one with a child) and an object between them.
wxString makeDocument(const TempDir& dir) {
    Database db(Database::Defaults{{wxS("comp"), wxS("1")}});
    Block* root = db.newDocument();
    root->setString(K_cap, wxS("Quokka home"));
    root->setText(wxS("root text"));
    auto add = [&](int parent, const char* title, const wxString& text) {
        Block* n = db.newNode(parent);
        n->setString(K_cap, u8(title));
        n->setText(text);
        db.getBlock(parent)->editChildren(n->id(), CH_APPEND);
        return n;
    };
    Block* a = add(1, "Alpha", u8("a quokka, QUOKKA and Quokka in ελλάδα"));
    db.newObject(wxS("image/png"))->setBytes("\x89PNG quokka");
    add(a->id(), "Child", wxString(wxS('x'), 3000) + wxS(" quokka ") + u8("ΕΛΛΆΔΑ"));
    add(1, "Hidden", wxS("quokka"))->setExcluded(true);
    add(1, "Grüße", wxS("no such animal"));
    db.setPath(dir.file("doc.q2db"));
    EXPECT_TRUE(db.save());
    return db.path();
}

std::vector<std::string> describe(const std::vector<SearchHit>& hits) {
    std::vector<std::string> out;
    for (const SearchHit& h : hits)
        out.push_back(std::to_string(h.id) + "@" + std::to_string(h.pos) + " " +
                      h.captionUtf8 + " [" + h.snippetUtf8 + "]");
    return out;
}

} // namespace

TEST(IndexOnDemand, SearchFindsWhatAnIndexReadAtOpenFinds) {
    TempDir dir;
    const wxString path = makeDocument(dir);
    struct Case {
        const char* needle;
        bool caseSensitive;
        int max;
    } cases[] = {{"quokka", false, 0}, {"Quokka", true, 0}, {"ελλάδα", false, 0},
                 {"quokka", false, 2}, {"absent", false, 0}};
    for (const Case& c : cases) {
        Database atOpen, onDemand;
        ASSERT_EQ(atOpen.open(path), Database::OPEN_OK);
        ASSERT_EQ(onDemand.open(path, Database::IndexMode::OnDemand), Database::OPEN_OK);
        atOpen.setMaxSearchCount(c.max);
        onDemand.setMaxSearchCount(c.max);
        const auto want = describe(atOpen.search(u8(c.needle), c.caseSensitive));
        // Twice: the second search meets the blocks the lookups below kept.
        for (int round = 0; round < 2; ++round) {
            const auto hits = onDemand.search(u8(c.needle), c.caseSensitive);
            EXPECT_EQ(describe(hits), want) << c.needle << " round " << round;
            for (const SearchHit& h : hits) {
                const Block* b = onDemand.findBlock(h.id);
                EXPECT_TRUE(b && b->isNode()) << "hit in node " << h.id;
            }
        }
        EXPECT_FALSE(onDemand.lastError());
        // The rest of the index comes on first use; new ids stay new.
        EXPECT_EQ(onDemand.blocks().size(), atOpen.blocks().size()) << c.needle;
        EXPECT_EQ(onDemand.newNode(1)->id(), atOpen.newNode(1)->id()) << c.needle;
    }
}

TEST(IndexOnDemand, LookupsReadOneRowAndKeepTheirBlocks) {
    TempDir dir;
    const wxString path = makeDocument(dir);
    Database db;
    ASSERT_EQ(db.open(path, Database::IndexMode::OnDemand), Database::OPEN_OK);
    EXPECT_EQ(db.findBlock(99), nullptr);
    EXPECT_EQ(db.findBlock(0), nullptr);
    // Header alone, then the body on its own read.
    Block* alpha = db.getBlock(2);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->getString(K_cap), wxS("Alpha"));
    EXPECT_EQ(alpha->text(), u8("a quokka, QUOKKA and Quokka in ελλάδα"));
    // Header and body in one read, the body stored deflated.
    Block* child = db.findBlock(4);
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(child->compressed());
    ASSERT_TRUE(child->loadHeaderAndBody());
    EXPECT_EQ(child->getString(K_cap), wxS("Child"));
    EXPECT_TRUE(child->text().EndsWith(wxS(" quokka ") + u8("ΕΛΛΆΔΑ")));
    EXPECT_TRUE(db.findBlock(5)->excluded());
    EXPECT_TRUE(db.findBlock(3)->isObject());
    // The whole index keeps the blocks already handed out.
    EXPECT_EQ(db.blocks().size(), 6u);
    EXPECT_EQ(db.blocks().at(2).get(), alpha);
    EXPECT_EQ(db.blocks().at(4).get(), child);
    EXPECT_FALSE(db.isModified());
}
