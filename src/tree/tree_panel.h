// The navigation tree: the nodes below the current category's root, loaded
// lazily as branches are opened.
#pragma once

#include "store/database.h"

#include <wx/treectrl.h>

class wxMenu;

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace qn {

class ArticleSide;
class GroupContainer;

// The question asked before a node goes: its title, and how many notes
// below it go with it.
wxString deleteNodeQuestion(const wxString& title, size_t notesBelow);

class TreePanel : public wxTreeCtrl {
public:
    static constexpr int ID_TREE = 100;

    TreePanel(wxWindow* parent, Database& db);

    // The parts of the main window the tree talks to (not owned; any may be
    // absent, the tree then skips the calls).
    void setArticleSide(ArticleSide* side) { side_ = side; }
    void setGroupContainer(GroupContainer* groups) { groups_ = groups; }
    // Asked before a node is linked to a file; false refuses it (a document
    // open in the program).
    void setLinkCheck(std::function<bool(const wxString&)> check) { linkCheck_ = std::move(check); }
    // Told the ids of the nodes a delete removes, before they go.
    void setDeletedListener(std::function<void(const std::vector<int>&)> listener) {
        deletedListener_ = std::move(listener);
    }
    ArticleSide* articleSide() const { return side_; }
    GroupContainer* groupContainer() const { return groups_; }
    Database& database() const { return db_; }

    // Shows the tree of `root` with that root's saved selection and
    // expanded branches.
    void loadTree(Block* root);
    // Empties the tree, the article, the caption and the history.
    void clearTree();
    // Selected node id (-1 for none) and the expanded nodes in pre-order,
    // descending only into expanded items.
    void collectViewState(int& selectedId, std::vector<int>& expanded) const;
    // Selects the node's item below the current root; a node outside asks
    // the main window (queued ID_SELECT_IN_TOP_CATEGORY) to switch to the top category.
    void selectNode(Block* node);
    void setTitleAndIcon(const wxTreeItemId& item, const wxString& title, const wxString& iconName);
    int selectedNodeId() const;
    int rootNodeId() const;

    void applyTreeLook();
    void refreshNodeLooks();
    void setTreeBackground(const wxColour& colour);
    // Check marks of the node menu; unchanged when nothing is selected.
    void selectedFontFlags(bool& bold, bool& italic, bool& underline) const;

    // Inserts the children of an item from its node's child list; returns
    // how many were inserted.
    int populateChildren(const wxTreeItemId& item);
    // The item showing the node, opening the branches on the way (and the
    // node itself when expandTarget); invalid when the node is not below
    // the root.
    wxTreeItemId locateNode(int id, bool expandTarget);
    void applyNodeLook(const wxTreeItemId& item, Block& node);
    // Places and paints every row again after item fonts changed.
    void relayoutRows();
    void updateCaption(Block& node);

    // The node of an item (nullptr for an invalid item).
    Block* nodeOf(const wxTreeItemId& item) const;
    // Starts in-place editing of the selected node's title.
    void renameSelected();

    // Runs a node command (ID_NODE_...) on the selected node; false when it
    // changed nothing.
    bool runNodeCommand(int id);
    // The node context menu (the caller owns it).
    wxMenu* makeNodeMenu() const;
    // The node context menu beside the selected item, as the keyboard opens
    // it (the Menu key, Shift+F10).
    void showMenuAtSelection();

private:
    void bindNodeCommands();
    bool newChild(const wxTreeItemId& item, Block& node, bool atTop);
    bool newSibling(const wxTreeItemId& item, Block& node, bool above);
    bool deleteNode(const wxTreeItemId& item, Block& node);
    bool moveUpDown(const wxTreeItemId& item, Block& node, bool up);
    bool moveLeft(const wxTreeItemId& item, Block& node);
    bool moveRight(const wxTreeItemId& item, Block& node);
    bool sortChildren(const wxTreeItemId& item, Block& node);
    void showProperties(Block& node);
    bool chooseIcon(const wxTreeItemId& item, Block& node);
    bool linkToFile(const wxTreeItemId& item, Block& node);
    void onNodeCommand(wxCommandEvent& event);
    void onNodeKey(wxKeyEvent& event);
    void onItemMenu(wxTreeEvent& event);

    // Fonts built for new items, by face, size and style, with whether each
    // is the control's own font.
    using FontCache = std::map<wxString, std::pair<wxFont, bool>>;
    wxTreeItemId appendNodeItem(const wxTreeItemId& parent, size_t pos, Block& node);
    wxTreeItemId appendNodeItem(const wxTreeItemId& parent, size_t pos, Block& node,
                                FontCache& fonts);
    // The node's look on an item just inserted (which shows the control's
    // font and colours): only what differs from those is set.
    void applyNewItemLook(const wxTreeItemId& item, Block& node, FontCache& fonts);
    void collectExpanded(const wxTreeItemId& item, std::vector<int>& out) const;

    void onCollapsed(wxTreeEvent& event);
    void onExpanding(wxTreeEvent& event);
    void onSelChanged(wxTreeEvent& event);
    void onActivated(wxTreeEvent& event);
    void onEndLabelEdit(wxTreeEvent& event);

    Database& db_;
    ArticleSide* side_ = nullptr;
    GroupContainer* groups_ = nullptr;
    std::function<void(const std::vector<int>&)> deletedListener_;
    std::function<bool(const wxString&)> linkCheck_;

    wxDECLARE_EVENT_TABLE();
};

} // namespace qn
