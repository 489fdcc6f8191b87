// The category bar: one panel per category, the current one shown in the
// navigation tree.
#pragma once

#include "store/database.h"

#include <wx/panel.h>
#include <wx/scrolwin.h>

#include <vector>

class wxBoxSizer;

namespace qn {

class ArticleSide;
class GroupContainer;
class TreePanel;

class GroupPanel : public wxPanel {
public:
    GroupPanel(GroupContainer* container, Block* node);

    int nodeId() const { return nodeId_; }
    // The category's root node, or nullptr once it was deleted.
    Block* node() const;
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    // The bar takes the keyboard as a whole, not each panel.
    bool AcceptsFocus() const override { return false; }

private:
    void onPaint(wxPaintEvent& event);
    void onLeftDown(wxMouseEvent& event);
    void onMotion(wxMouseEvent& event);
    void onRightDown(wxMouseEvent& event);
    void onRemove(wxCommandEvent& event);

    GroupContainer* container_;
    int nodeId_;
    bool selected_ = false;
    wxPoint pressedAt_ = wxDefaultPosition; // where the left button went down

    wxDECLARE_EVENT_TABLE();
};

class GroupContainer : public wxScrolledWindow {
public:
    GroupContainer(wxWindow* parent, wxWindowID id, TreePanel* tree, Database& db);

    void setArticleSide(ArticleSide* side) { side_ = side; }
    TreePanel* tree() const { return tree_; }
    Database& database() const { return db_; }

    // Panels for the ids whose blocks exist, appended with a 1-pixel border.
    void createCategories(const std::vector<int>& ids);
    // A new panel for the node at `position` (negative or past the end:
    // appended); the category starts with its own node selected.
    GroupPanel* addCategory(int id, int position);
    // Appends a panel for the node unless one shows it already; the node's
    // stored view state is kept, so the document stays unmodified.
    GroupPanel* ensureCategory(int id);
    // Moves the first panel of the node before the panel at `position`
    // (negative: to the end).
    void moveCategory(int id, int position);
    void movePanel(GroupPanel* panel, int position);
    void removeCategory(GroupPanel* panel);
    void selectCategory(GroupPanel* panel);
    bool selectCategoryById(int id);
    // Stores the tree's selection and expanded nodes in the current
    // category's root node when the "save" setting allows it.
    void saveCategoryState();
    std::vector<int> categoryIds() const;
    // The current category's node id, 0 when there is none.
    int currentCategoryId() const;
    GroupPanel* currentPanel() const { return current_; }
    int categoryIndexAt(int x, int y) const;
    // Where a drop at a point of the bar inserts: before the panel under
    // it, else at the nearest gap between panels (the end below the last).
    int insertionIndexAt(int x, int y) const;
    // A category drag started on `panel`: a drop moves that very panel,
    // even when another panel shows the same node.
    void setDraggedPanel(GroupPanel* panel) { dragged_ = panel; }
    void moveDraggedCategory(int id, int position);
    void refreshCategory(Block* node);
    void pruneCategories();
    void clearCategories();

    int count() const { return static_cast<int>(panels_.size()); }
    GroupPanel* panel(int index) const { return panels_.at(index); }

private:
    void relayout();
    // The keyboard: Up and Down switch to the category above or below, Home
    // and End to the first or last; Enter and Space go on in its tree.
    void onKeyDown(wxKeyEvent& event);
    // Takes the panel out of the bar and destroys it.
    void dropPanel(GroupPanel* panel);

    std::vector<GroupPanel*> panels_; // display order; children of this window
    GroupPanel* current_ = nullptr;
    GroupPanel* dragged_ = nullptr;
    TreePanel* tree_;
    ArticleSide* side_ = nullptr;
    Database& db_;
    wxBoxSizer* sizer_;
};

} // namespace qn
