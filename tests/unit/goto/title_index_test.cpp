// Finding a note by part of its title or of its parents' titles.
#include "goto/title_index.h"

#include "store/database.h"

#include <gtest/gtest.h>

#include <vector>

using namespace qn;

namespace {

class TitleIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.newDocument()->setString(K_cap, wxS("Notes"));
        projects = add(1, "Projects");
        alpha = add(projects, "Alpha Plan");
        beta = add(projects, "Beta");
        archive = add(1, "Archive");
        old = add(archive, "Old plan");
        db.getBlock(old)->setExcluded(true);
        keep = add(old, "Kept under an excluded note");
        unicode = add(1, "\xc3\x9cn\xc3\xaf"
                         "code Stra\xc3\x9f"
                         "e");
        // A child list that loops back to an ancestor.
        db.getBlock(beta)->editChildren(projects, CH_APPEND);
    }
    int add(int parent, const char* title) {
        Block* n = db.newNode(parent);
        n->setString(K_cap, wxString::FromUTF8(title));
        db.getBlock(parent)->editChildren(n->id(), CH_APPEND);
        return n->id();
    }
    std::vector<int> ids(TitleIndex& index, const char* query) {
        std::vector<int> out;
        for (std::uint32_t e : index.filter(wxString::FromUTF8(query)))
            out.push_back(index.nodeId(e));
        return out;
    }

    Database db;
    int projects, alpha, beta, archive, old, keep, unicode;
};

} // namespace

TEST_F(TitleIndexTest, MatchesTitlesThenParentPaths) {
    TitleIndex index(db);
    ASSERT_TRUE(index.readMore(1000));
    EXPECT_TRUE(index.error().empty());
    struct Case {
        const char* query;
        std::vector<int> expected; // title matches first, then path matches
    };
    const Case cases[] = {
        {"", {1, projects, alpha, beta, archive, keep, unicode}},
        {"PLAN", {alpha, keep}},               // "Old plan" is excluded, its child is not
        {"projects", {projects, alpha, beta}}, // the children match by their path
        {"notes / projects / al", {alpha}},    // across the separator
        {"\xc3\x9cN\xc3\x8f", {unicode}},      // case folded beyond ASCII
        {"old plan", {keep}},                  // an excluded parent still names its children
        {"nothing like it", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ids(index, c.query), c.expected) << c.query;
    const std::uint32_t hit = index.filter(wxS("alpha"))[0];
    EXPECT_EQ(index.parentPath(hit), wxS("Notes / Projects"));
    EXPECT_EQ(index.parentPath(hit, false), wxS("Projects"));
    EXPECT_EQ(index.title(index.filter(wxS("alpha"))[0]), wxS("Alpha Plan"));
}

TEST_F(TitleIndexTest, TypingAndErasingGiveWhatAFreshSearchGives) {
    TitleIndex typed(db);
    ASSERT_TRUE(typed.readMore(1000));
    const char* const steps[] = {"a", "ar", "arc", "ar", "a", "", "p", "pr", "r", "e", "et"};
    for (const char* q : steps) {
        TitleIndex fresh(db);
        fresh.readMore(1000);
        EXPECT_EQ(ids(typed, q), ids(fresh, q)) << q;
    }
}

TEST_F(TitleIndexTest, ReadInSlicesFindsWhatArrivesLater) {
    TitleIndex index(db);
    EXPECT_FALSE(index.readMore(2)); // Notes, Projects
    EXPECT_EQ(ids(index, "plan"), std::vector<int>{});
    while (!index.readMore(1)) {
    }
    // The same query again: the entries read since are looked at too.
    EXPECT_EQ(ids(index, "plan"), (std::vector<int>{alpha, keep}));
    EXPECT_EQ(ids(index, "plan s"), std::vector<int>{});
}

TEST(TitleIndexDeep, ADeepTreeKeepsItsNearestParents) {
    Database db;
    db.newDocument()->setString(K_cap, wxS("top"));
    int parent = 1;
    for (int i = 0; i < 3000; ++i) {
        Block* n = db.newNode(parent);
        n->setString(K_cap, wxString::Format(wxS("n%d"), i));
        db.getBlock(parent)->editChildren(n->id(), CH_APPEND);
        parent = n->id();
    }
    TitleIndex index(db);
    while (!index.readMore(500)) {
    }
    ASSERT_EQ(index.size(), 3001u);
    const auto& m = index.filter(wxS("n2997 / n2998 / n2999"));
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(index.title(m[0]), wxS("n2999"));
}
