// The program's popup menu and the history menu built with it.
#include "article_gui_util.h"

#include "article/history_menu.h"
#include "ui/command_ids.h"
#include "ui/quil_menu.h"

#include <wx/uiaction.h>
#include <wx/weakref.h>

using namespace qn;
using namespace qn::test;

namespace {

// Records each command together with whether the menu still existed.
struct Receiver {
    std::vector<std::pair<int, bool>> got;
    wxWeakRef<QuilMenu> menu;
    void attach(wxWindow* w) {
        w->Bind(wxEVT_MENU, [this](wxCommandEvent& e) {
            got.emplace_back(e.GetId(), menu.get() != nullptr && menu->IsShown());
        });
    }
};

bool gone(const wxWeakRef<QuilMenu>& menu) {
    return pumpUntil([&] { return menu.get() == nullptr; }, 2000);
}

} // namespace

TEST(QuilMenu, SizesAndColours) {
    HostFrame f;
    auto* menu = new QuilMenu(&f);
    QuilMenuItem* row = menu->addItem(500, wxS("A"), wxNullBitmap, true);
    menu->popup(wxPoint(50, 50));
    pump();
    // One short label: the minimum row width plus the margins.
    EXPECT_EQ(menu->GetSize().x, 75 + 6);
    EXPECT_EQ(row->GetPosition(), wxPoint(2, 2));
    EXPECT_EQ(row->GetSize().x, 75);
    EXPECT_EQ(menu->GetSize().y, 2 + row->GetSize().y + 4);
    EXPECT_EQ(menu->GetFont().GetPointSize(), 9);
    menu->dismiss();
    pump();

    auto* wide = new QuilMenu(&f);
    QuilMenuItem* a = wide->addItem(500, wxS("short"), wxNullBitmap, true);
    QuilMenuItem* b =
        wide->addItem(501, wxS("a much longer label for this row"), wxNullBitmap, false);
    wide->popup(wxPoint(50, 50));
    pump();
    EXPECT_EQ(a->GetSize(), b->GetSize());
    EXPECT_EQ(b->GetPosition().y, 2 + a->GetSize().y + 4);
    EXPECT_EQ(wide->GetSize().x, a->GetSize().x + 6);
    EXPECT_EQ(a->GetBackgroundColour(), wxColour(255, 255, 255));
    EXPECT_EQ(b->GetBackgroundColour(), wxColour(192, 192, 192));
    const int rowHeight = a->GetSize().y;
    wide->dismiss();
    pump();

    // A node without a title last in the history: its row is as tall as a
    // row with a label, and so are all the others.
    auto* untitled = new QuilMenu(&f);
    QuilMenuItem* titled = untitled->addItem(500, wxS("Titled"), wxNullBitmap, true);
    QuilMenuItem* blank = untitled->addItem(501, wxString(), wxNullBitmap, true);
    untitled->popup(wxPoint(50, 50));
    pump();
    EXPECT_EQ(titled->GetSize().y, rowHeight);
    EXPECT_EQ(blank->GetSize().y, rowHeight);
    untitled->dismiss();
    pump();
}

TEST(QuilMenu, MouseChoosesActiveRowsOnly) {
    HostFrame f;
    Receiver r;
    r.attach(&f);
    auto* menu = new QuilMenu(&f);
    r.menu = menu;
    QuilMenuItem* inactive = menu->addItem(600, wxS("current"), wxNullBitmap, false);
    QuilMenuItem* active = menu->addItem(601, wxS("other"), wxNullBitmap, true);
    menu->popup(f.ClientToScreen(wxPoint(100, 100)));
    pump();

    wxUIActionSimulator sim;
    sim.MouseMove(inactive->GetScreenRect().GetPosition() + wxPoint(10, 5));
    pump();
    EXPECT_FALSE(inactive->isHighlighted());
    sim.MouseClick();
    pump();
    EXPECT_TRUE(r.got.empty());
    ASSERT_NE(r.menu.get(), nullptr);

    sim.MouseMove(active->GetScreenRect().GetPosition() + wxPoint(10, 5));
    ASSERT_TRUE(pumpUntil([&] { return active->isHighlighted(); }));
    EXPECT_EQ(active->GetBackgroundColour(), wxColour(49, 106, 197));
    sim.MouseClick();
    ASSERT_TRUE(pumpUntil([&] { return !r.got.empty(); }));
    EXPECT_EQ(r.got[0].first, 601);
    EXPECT_TRUE(r.got[0].second); // the menu was still there
    EXPECT_TRUE(gone(r.menu));
}

TEST(QuilMenu, KeyboardAndEscape) {
    HostFrame f;
    Receiver r;
    r.attach(&f);
    auto* menu = new QuilMenu(&f);
    r.menu = menu;
    menu->addItem(700, wxS("first"), wxNullBitmap, true);
    menu->addItem(701, wxS("shown now"), wxNullBitmap, false);
    menu->addItem(702, wxS("third"), wxNullBitmap, true);
    menu->popup(f.ClientToScreen(wxPoint(100, 100)));
    pump();
    wxUIActionSimulator sim;
    sim.Char(WXK_DOWN);
    pump();
    EXPECT_EQ(menu->highlighted(), 0);
    sim.Char(WXK_DOWN); // skips the inactive row
    pump();
    EXPECT_EQ(menu->highlighted(), 2);
    sim.Char(WXK_RETURN);
    ASSERT_TRUE(pumpUntil([&] { return !r.got.empty(); }));
    EXPECT_EQ(r.got[0].first, 702);
    EXPECT_TRUE(gone(r.menu));

    auto* second = new QuilMenu(&f);
    r.menu = second;
    second->addItem(800, wxS("x"), wxNullBitmap, true);
    second->popup(f.ClientToScreen(wxPoint(100, 100)));
    pump();
    sim.Char(WXK_ESCAPE);
    EXPECT_TRUE(gone(r.menu));
    EXPECT_EQ(r.got.size(), 1u);
}

TEST(QuilMenu, ClickOutsideClosesWithoutCommand) {
    HostFrame f;
    Receiver r;
    r.attach(&f);
    auto* menu = new QuilMenu(&f);
    r.menu = menu;
    menu->addItem(900, wxS("row"), wxNullBitmap, true);
    menu->popup(f.ClientToScreen(wxPoint(100, 100)));
    pump();
    wxUIActionSimulator sim;
    sim.MouseMove(f.ClientToScreen(wxPoint(500, 400)));
    pump();
    sim.MouseClick();
    EXPECT_TRUE(gone(r.menu));
    EXPECT_TRUE(r.got.empty());
}

TEST(HistoryMenu, ListsEntriesNewestFirstWithTheShownOneInactive) {
    HostFrame f;
    Block* a = f.addNode(wxS("Alpha"), wxS("text/plain"), wxS("a"));
    Block* b = f.addNode(wxS("Beta"), wxS("text/plain"), wxS("b"));
    Block* c = f.addNode(wxS("Gamma"), wxS("text/plain"), wxS("c"));
    for (Block* n : {a, b, c})
        f.article->showArticle(n);
    f.history.back();
    f.article->showArticle(b); // the tree would show the entry gone back to
    f.db.deleteBlock(a->id()); // a deleted node is left out

    QuilMenu* menu =
        showHistoryMenu(&f, f.caption, f.history, f.db, static_cast<uint32_t>(b->id()));
    pump();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->items().size(), 2u);
    EXPECT_EQ(menu->items()[0]->label(), wxS("Gamma"));
    EXPECT_TRUE(menu->items()[0]->isActive());
    EXPECT_EQ(menu->items()[1]->label(), wxS("Beta"));
    EXPECT_FALSE(menu->items()[1]->isActive());
    EXPECT_EQ(historyIndexForCommand(f.history, menu->items()[0]->GetId()), 2);
    EXPECT_EQ(menu->GetScreenPosition().y, f.caption->GetScreenPosition().y + 25);
    menu->dismiss();
    pump();
    // An empty history opens nothing.
    f.history.clear();
    EXPECT_EQ(showHistoryMenu(&f, f.caption, f.history, f.db, 0), nullptr);
}

TEST(HistoryMenu, LongHistoriesListTheNinetyNearestEntries) {
    HostFrame f;
    f.history.setLimit(200);
    std::vector<Block*> nodes;
    for (int i = 0; i < 150; ++i)
        nodes.push_back(f.addNode(wxString::Format(wxS("Node %d"), i), wxS("text/plain"), wxS("")));
    for (Block* n : nodes)
        f.article->showArticle(n);
    for (int i = 0; i < 100; ++i)
        f.history.back();
    QuilMenu* menu = showHistoryMenu(&f, f.caption, f.history, f.db, 0);
    pump();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->items().size(), static_cast<size_t>(kHistoryMenuRows));
    for (QuilMenuItem* row : menu->items()) {
        EXPECT_GE(row->GetId(), ID_HISTORY_FIRST);
        EXPECT_LE(row->GetId(), ID_HISTORY_LAST);
    }
    // The current entry is among them, and every row names its own entry.
    bool current = false;
    for (QuilMenuItem* row : menu->items()) {
        const int index = historyIndexForCommand(f.history, row->GetId());
        ASSERT_GE(index, 0);
        EXPECT_EQ(row->label(), wxString::Format(wxS("Node %d"), index));
        current = current || index == f.history.current();
    }
    EXPECT_TRUE(current);
    menu->dismiss();
    pump();
}
