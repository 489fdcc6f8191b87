// The navigation tree: the nodes below the current category's root, loaded
// lazily as branches are opened.
#pragma once

#include "store/database.h"

#include <wx/treectrl.h>

#include <vector>

namespace qn {

class ArticleWindow;
class CaptionBar;
class GroupContainer;
class ArticleHistory;

class TreePanel : public wxTreeCtrl {
public:
    static constexpr int ID_TREE = 100;

    TreePanel(wxWindow* parent, Database& db);

    // The parts of the main window the tree talks to (not owned; any may be
    // absent, the tree then skips the calls).
    void setArticleWindow(ArticleWindow* article) { article_ = article; }
    void setCaptionBar(CaptionBar* caption) { caption_ = caption; }
    void setGroupContainer(GroupContainer* groups) { groups_ = groups; }
    void setHistory(ArticleHistory* history) { history_ = history; }
    ArticleWindow* articleWindow() const { return article_; }
    CaptionBar* captionBar() const { return caption_; }
    GroupContainer* groupContainer() const { return groups_; }
    ArticleHistory* history() const { return history_; }
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
    void updateCaption(Block& node);

    // The node of an item (nullptr for an invalid item).
    Block* nodeOf(const wxTreeItemId& item) const;
    // Starts in-place editing of the selected node's title.
    void renameSelected();

private:
    wxTreeItemId appendNodeItem(const wxTreeItemId& parent, size_t pos, Block& node);
    void collectExpanded(const wxTreeItemId& item, std::vector<int>& out) const;

    void onCollapsed(wxTreeEvent& event);
    void onExpanding(wxTreeEvent& event);
    void onSelChanged(wxTreeEvent& event);
    void onActivated(wxTreeEvent& event);
    void onEndLabelEdit(wxTreeEvent& event);
    void onRename(wxCommandEvent& event);

    Database& db_;
    ArticleWindow* article_ = nullptr;
    CaptionBar* caption_ = nullptr;
    GroupContainer* groups_ = nullptr;
    ArticleHistory* history_ = nullptr;

    wxDECLARE_EVENT_TABLE();
};

} // namespace qn
