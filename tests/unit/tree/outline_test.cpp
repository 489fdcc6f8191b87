// The help document's outline: parsing rules and the document it becomes.
#include "outline.h"

#include "store/database.h"

#include <gtest/gtest.h>
#include <wx/filename.h>
#include <wx/init.h>

#include <cstdio>

namespace qn {
namespace {

struct WxInit : ::testing::Environment {
    void SetUp() override { wxInitialize(); }
    void TearDown() override { wxUninitialize(); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new WxInit);

TEST(Outline, RejectsMalformedOutlines) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "the outline has no heading"},
        {"intro\n# Top\n", "line 1: text before"},
        {"## Deep\n", "line 1: the outline must start"},
        {"# Top\n# Second top\n", "line 2: only one top"},
        {"# Top\n### Skipped\n", "line 2: the heading skips"},
        {"# Top\n#NoSpace\n", "line 2: a heading needs a space"},
        {"# Top\n##   \n", "line 2: a heading without a title"},
    };
    for (const auto& c : cases) {
        std::vector<OutlineTopic> topics;
        wxString error;
        EXPECT_FALSE(parseOutline(wxString::FromUTF8(c.text), topics, error)) << c.text;
        EXPECT_TRUE(error.StartsWith(wxString::FromUTF8(c.error))) << c.text << " -> " << error;
    }
}

TEST(Outline, ParsesDepthIconAndBody) {
    const char* text = "\n# Top\n@icon book\n\nFirst line\r\n\\# not a heading\n\n\n"
                       "## A\nA body\n### A1\n@icon x\n## B\n@icon  note \n";
    std::vector<OutlineTopic> topics;
    wxString error;
    ASSERT_TRUE(parseOutline(wxString::FromUTF8(text), topics, error)) << error;
    ASSERT_EQ(topics.size(), 4u);
    EXPECT_EQ(topics[0].depth, 1);
    EXPECT_EQ(topics[0].icon, wxS("book"));
    EXPECT_EQ(topics[0].body, wxS("First line\n# not a heading"));
    EXPECT_EQ(topics[1].title, wxS("A"));
    EXPECT_EQ(topics[1].body, wxS("A body"));
    EXPECT_EQ(topics[2].depth, 3);
    EXPECT_EQ(topics[2].icon, wxS("x"));
    EXPECT_TRUE(topics[2].body.empty());
    EXPECT_EQ(topics[3].depth, 2);
    EXPECT_EQ(topics[3].icon, wxS("note"));
}

TEST(Outline, WritesTheTreeAsADocument) {
    std::vector<OutlineTopic> topics;
    wxString error;
    ASSERT_TRUE(parseOutline(wxString::FromUTF8("# Top\ntop text\n## A\n### A1\n"
                                                "a1 text \xC3\xA9\n## B\n@icon star\n"),
                             topics, error));
    const wxString path = wxFileName::CreateTempFileName(wxS("qnoutline"));
    ASSERT_TRUE(writeOutlineDocument(topics, {{wxS("grp"), wxS("1")}}, path, error)) << error;

    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    EXPECT_EQ(db.getInt(K_grp), 1);
    Block* top = db.getBlock(1);
    ASSERT_TRUE(top);
    EXPECT_EQ(top->getString(K_cap), wxS("Top"));
    EXPECT_EQ(top->text(), wxS("top text"));
    const std::vector<int> children = top->getIntList(K_ch);
    ASSERT_EQ(children.size(), 2u);
    Block* a = db.getBlock(children[0]);
    Block* b = db.getBlock(children[1]);
    EXPECT_EQ(a->getString(K_cap), wxS("A"));
    EXPECT_EQ(b->getString(K_cap), wxS("B"));
    EXPECT_EQ(b->getString(K_i), wxS("star"));
    EXPECT_EQ(b->getInt(K_p), 1);
    ASSERT_EQ(a->getIntList(K_ch).size(), 1u);
    Block* a1 = db.getBlock(a->getIntList(K_ch)[0]);
    EXPECT_EQ(a1->getInt(K_p), a->id());
    EXPECT_EQ(a1->text(), wxString::FromUTF8("a1 text \xC3\xA9"));
    db.close();
    std::remove(path.fn_str());
}

TEST(Outline, RefusesUnknownSettingNames) {
    std::vector<OutlineTopic> topics{{1, wxS("Top"), wxString(), wxString()}};
    wxString error;
    EXPECT_FALSE(writeOutlineDocument(topics, {{wxS("nonsense"), wxS("1")}},
                                      wxS("/nonexistent/x.q2db"), error));
    EXPECT_TRUE(error.Contains(wxS("nonsense")));
}

} // namespace
} // namespace qn
