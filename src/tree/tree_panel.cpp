#include "tree/tree_panel.h"

#include "app/text_constants.h"
#include "tree/group_container.h"
#include "ui/article_side.h"
#include "ui/command_ids.h"
#include "ui/node_model.h"
#include "ui/tree_icons.h"

#include <wx/imaglist.h>
#include <wx/wupdlock.h>

#include <set>

namespace qn {

wxBEGIN_EVENT_TABLE(TreePanel, wxTreeCtrl)
    EVT_TREE_ITEM_COLLAPSED(TreePanel::ID_TREE, TreePanel::onCollapsed)
    EVT_TREE_ITEM_EXPANDING(TreePanel::ID_TREE, TreePanel::onExpanding)
    EVT_TREE_SEL_CHANGED(TreePanel::ID_TREE, TreePanel::onSelChanged)
    EVT_TREE_ITEM_ACTIVATED(TreePanel::ID_TREE, TreePanel::onActivated)
    EVT_TREE_END_LABEL_EDIT(TreePanel::ID_TREE, TreePanel::onEndLabelEdit)
wxEND_EVENT_TABLE()

TreePanel::TreePanel(wxWindow* parent, Database& db)
    : wxTreeCtrl(parent, ID_TREE, wxDefaultPosition, wxDefaultSize,
                 wxTR_HAS_BUTTONS | wxTR_EDIT_LABELS | wxTR_SINGLE, wxDefaultValidator,
                 wxS("treeCtrl")),
      db_(db) {
    if (wxImageList* images = treeImageList()) SetImageList(images); // shared, not owned
    bindNodeCommands();
}

Block* TreePanel::nodeOf(const wxTreeItemId& item) const {
    if (!item.IsOk()) return nullptr;
    auto* data = static_cast<TreeItem*>(GetItemData(item));
    return data ? data->node() : nullptr;
}

int TreePanel::selectedNodeId() const {
    Block* node = nodeOf(GetSelection());
    return node ? node->id() : -1;
}

int TreePanel::rootNodeId() const {
    Block* node = nodeOf(GetRootItem());
    return node ? node->id() : -1;
}

void TreePanel::applyNodeLook(const wxTreeItemId& item, Block& node) {
    SetItemFont(item, nodeFont(node));
    SetItemTextColour(item, toWxColour(node.getColour(K_Nfc)));
    SetItemBackgroundColour(item, toWxColour(node.getColour(K_Nhi)));
}

void TreePanel::applyNewItemLook(const wxTreeItemId& item, Block& node, FontCache& fonts) {
    // A new item has no look of its own yet: it shows the control's font and
    // colours.  Giving it a font equal to the control's, or a colour that is
    // not set, changes nothing on screen but makes the control measure the
    // row again, which dominates the opening of a node with many children.
    const wxString face = node.getString(K_NFname);
    const long size = node.getInt(K_NFsize);
    const wxString style = node.getString(K_NFattr);
    const wxString key = face + wxS('\x1f') + wxString::Format(wxS("%ld"), size) + wxS('\x1f') + style;
    auto found = fonts.find(key);
    if (found == fonts.end()) {
        wxFont font = fontFromValues(face, size, style);
        const bool same = font == GetFont();
        found = fonts.emplace(key, std::make_pair(std::move(font), same)).first;
    }
    if (!found->second.second) SetItemFont(item, found->second.first);
    const Colour text = node.getColour(K_Nfc);
    if (text.ok && toWxColour(text) != GetForegroundColour()) SetItemTextColour(item, toWxColour(text));
    const Colour back = node.getColour(K_Nhi);
    if (back.ok) SetItemBackgroundColour(item, toWxColour(back));
}

void TreePanel::relayoutRows() {
    // The control measures only the changed item and repaints only its old
    // row, while a taller font makes every row taller: the rows below are
    // left where they were drawn and the scroll range stays as short as
    // before, so the last rows cannot be reached.  Marking the layout stale
    // places and paints all rows again and fits the scroll bars.
    SetIndent(GetIndent());
    Refresh();
}

wxTreeItemId TreePanel::appendNodeItem(const wxTreeItemId& parent, size_t pos, Block& node) {
    FontCache fonts;
    return appendNodeItem(parent, pos, node, fonts);
}

wxTreeItemId TreePanel::appendNodeItem(const wxTreeItemId& parent, size_t pos, Block& node,
                                       FontCache& fonts) {
    wxTreeItemId item = InsertItem(parent, pos, node.getString(K_cap),
                                   iconIndexOf(node.getString(K_i)), -1, new TreeItem(&node));
    applyNewItemLook(item, node, fonts);
    if (!node.getIntList(K_ch).empty()) SetItemHasChildren(item, true);
    return item;
}

int TreePanel::populateChildren(const wxTreeItemId& item) {
    Block* node = nodeOf(item);
    if (!node) return 0;
    const std::vector<int> ids = node->getIntList(K_ch);
    // One read transaction for all the children's headers instead of one
    // per header, and no drawing until every row is in.
    ReadBatch batch(db_);
    wxWindowUpdateLocker frozen(this);
    FontCache fonts;
    size_t n = 0;
    for (int id : ids) {
        Block* child = id > 0 ? db_.getBlock(id) : nullptr;
        if (!child || !child->isNode()) continue; // dangling ids are skipped
        appendNodeItem(item, n, *child, fonts);
        ++n;
    }
    return static_cast<int>(n);
}

wxTreeItemId TreePanel::locateNode(int id, bool expandTarget) {
    wxTreeItemId current = GetRootItem();
    if (!current.IsOk()) return wxTreeItemId();
    const int rootId = rootNodeId();

    // Ancestors below the root, nearest first.  A damaged document may link
    // parents in a circle: each id is visited once.
    std::vector<int> chain;
    std::set<int> seen;
    int walk = id;
    while (walk != rootId && walk != -1) {
        Block* block = db_.getBlock(walk);
        if (!block || !block->isNode() || !seen.insert(walk).second) return wxTreeItemId();
        chain.push_back(walk);
        walk = block->parent();
    }
    if (walk == -1) return wxTreeItemId();

    while (!chain.empty()) {
        if (!IsExpanded(current)) {
            if (GetChildrenCount(current, false) == 0 && populateChildren(current) == 0)
                return wxTreeItemId();
            Expand(current);
        }
        const int want = chain.back();
        chain.pop_back();
        wxTreeItemIdValue cookie;
        wxTreeItemId child = GetFirstChild(current, cookie);
        while (child.IsOk()) {
            Block* node = nodeOf(child);
            if (node && node->id() == want) break;
            child = GetNextChild(current, cookie);
        }
        if (!child.IsOk()) return wxTreeItemId();
        current = child;
    }
    if (expandTarget && !IsExpanded(current)) {
        if (GetChildrenCount(current, false) > 0 || populateChildren(current) > 0) Expand(current);
    }
    return current;
}

void TreePanel::loadTree(Block* root) {
    if (!root) return;
    Freeze();
    if (GetRootItem().IsOk()) {
        DeleteAllItems();
        if (side_) side_->clearArticle();
    }
    wxTreeItemId rootItem =
        AddRoot(root->getString(K_cap), iconIndexOf(root->getString(K_i)), -1, new TreeItem(root));
    applyNodeLook(rootItem, *root);
    // The button shows while the root's children are not loaded yet.
    if (!root->getIntList(K_ch).empty()) SetItemHasChildren(rootItem, true);

    std::vector<int> expanded = root->getIntList(K_grpexp);
    if (expanded.empty() && root->id() == 1) expanded = root->getIntList(K_expanded);
    for (int id : expanded)
        locateNode(id, true);

    long selId = root->getInt(K_grpsel);
    if (selId == 0) selId = root->getInt(K_selected);
    if (selId == 0) selId = root->id();
    Block* selected = db_.getBlock(static_cast<int>(selId));
    if (!selected || !selected->isNode()) {
        selected = root;
        selId = root->id();
    }
    if (side_) side_->showArticle(selected);
    // The caption follows the article even when the selection below does
    // not change (a new root item may come selected already).
    updateCaption(*selected);
    wxTreeItemId item = locateNode(static_cast<int>(selId), false);
    if (item.IsOk()) {
        SelectItem(item);
        EnsureVisible(item);
    } else {
        // The saved node lies outside this category.  The control keeps one
        // item selected at all times (it picks the root when idle), so the
        // root is selected now and shown, and tree and article agree.
        Unselect();
        SelectItem(GetRootItem());
    }
    Thaw();
}

void TreePanel::clearTree() {
    DeleteAllItems();
    if (side_) {
        side_->clearArticle();
        side_->clearHistory();
    }
}

void TreePanel::collectExpanded(const wxTreeItemId& item, std::vector<int>& out) const {
    if (!IsExpanded(item)) return;
    if (Block* node = nodeOf(item)) out.push_back(node->id());
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = GetFirstChild(item, cookie); child.IsOk();
         child = GetNextChild(item, cookie))
        collectExpanded(child, out);
}

void TreePanel::collectViewState(int& selectedId, std::vector<int>& expanded) const {
    selectedId = selectedNodeId();
    expanded.clear();
    wxTreeItemId root = GetRootItem();
    if (root.IsOk()) collectExpanded(root, expanded);
}

void TreePanel::selectNode(Block* node) {
    if (!node) return;
    wxTreeItemId item = locateNode(node->id(), false);
    if (item.IsOk()) {
        SelectItem(item);
        EnsureVisible(item);
        return;
    }
    const int rootId = rootNodeId();
    if (rootId == 1 || rootId == -1) return; // never a loop of requests
    wxCommandEvent request(wxEVT_MENU, ID_SELECT_IN_TOP_CATEGORY);
    request.SetExtraLong(node->id());
    if (wxWindow* top = wxGetTopLevelParent(this)) wxQueueEvent(top, request.Clone());
}

void TreePanel::setTitleAndIcon(const wxTreeItemId& item, const wxString& title,
                                const wxString& iconName) {
    Block* node = nodeOf(item);
    if (!node) return;
    node->setString(K_cap, title);
    node->setString(K_i, iconName);
    SetItemText(item, title);
    SetItemImage(item, iconIndexOf(iconName));
    if (item == GetSelection()) updateCaption(*node);
}

void TreePanel::applyTreeLook() {
    SetBackgroundColour(toWxColour(db_.getColour(K_Tbg)));
    SetForegroundColour(toWxColour(db_.getColour(K_Nfc)));
    SetFont(projectNodeFont(db_));
    Refresh();
}

void TreePanel::refreshNodeLooks() {
    SetForegroundColour(toWxColour(db_.getColour(K_Nfc)));
    SetFont(projectNodeFont(db_));
    // Every loaded item: collapsed branches hold none, so this is the
    // expanded part of the tree, on screen or scrolled away.
    std::vector<wxTreeItemId> stack;
    if (GetRootItem().IsOk()) stack.push_back(GetRootItem());
    while (!stack.empty()) {
        wxTreeItemId item = stack.back();
        stack.pop_back();
        if (Block* node = nodeOf(item)) applyNodeLook(item, *node);
        wxTreeItemIdValue cookie;
        for (wxTreeItemId child = GetFirstChild(item, cookie); child.IsOk();
             child = GetNextChild(item, cookie))
            stack.push_back(child);
    }
    relayoutRows();
}

void TreePanel::setTreeBackground(const wxColour& colour) {
    db_.setColour(K_Tbg, fromWxColour(colour));
    SetBackgroundColour(colour);
    Refresh();
}

void TreePanel::selectedFontFlags(bool& bold, bool& italic, bool& underline) const {
    Block* node = nodeOf(GetSelection());
    if (!node) return;
    const wxString letters = node->getString(K_NFattr);
    bold = letters.Contains(wxS("B"));
    italic = letters.Contains(wxS("I"));
    underline = letters.Contains(wxS("U"));
}

void TreePanel::updateCaption(Block& node) {
    if (!side_) return;
    wxImageList* images = treeImageList();
    const int index = iconIndexOf(node.getString(K_i));
    const bool hasIcon = images && index < images->GetImageCount();
    const wxBitmap icon = hasIcon ? images->GetBitmap(index) : wxBitmap();
    const bool html = node.getString(K_m) == wxS("text/html");
    side_->showCaption(hasIcon ? &icon : nullptr, node.getString(K_cap),
                       html ? text(wxS("s.Edit")) : wxString(wxS("---")), html);
}

void TreePanel::renameSelected() {
    wxTreeItemId item = GetSelection();
    if (item.IsOk()) EditLabel(item);
}

void TreePanel::onCollapsed(wxTreeEvent& event) {
    const wxTreeItemId item = event.GetItem();
    if (item.IsOk() && ItemHasChildren(item)) {
        // Children are rebuilt from the node on the next expansion.
        DeleteChildren(item);
        SetItemHasChildren(item, true);
    }
}

void TreePanel::onExpanding(wxTreeEvent& event) {
    const wxTreeItemId item = event.GetItem();
    if (item.IsOk() && GetChildrenCount(item, false) == 0) populateChildren(item);
}

void TreePanel::onSelChanged(wxTreeEvent& event) {
    Block* node = nodeOf(event.GetItem());
    if (!node) return;
    if (side_) {
        side_->commitText();
        side_->showArticle(node);
    }
    updateCaption(*node);
}

void TreePanel::onActivated(wxTreeEvent& event) {
    const wxTreeItemId item = event.GetItem();
    if (!item.IsOk() || !ItemHasChildren(item)) return;
    if (IsExpanded(item))
        Collapse(item);
    else
        Expand(item);
}

void TreePanel::onEndLabelEdit(wxTreeEvent& event) {
    if (event.IsEditCancelled()) return;
    Block* node = nodeOf(event.GetItem());
    if (!node) return;
    node->setString(K_cap, event.GetLabel());
    updateCaption(*node);
    if (groups_) groups_->refreshCategory(node);
}

} // namespace qn
