#include "tree/group_container.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "tree/group_dnd.h"
#include "tree/save_setting.h"
#include "tree/tree_panel.h"
#include "ui/article_side.h"
#include "ui/command_ids.h"
#include "ui/node_model.h"
#include "ui/tree_icons.h"

#include <wx/dcclient.h>
#include <wx/imaglist.h>
#include <wx/menu.h>
#include <wx/renderer.h>
#include <wx/settings.h>
#include <wx/sizer.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace qn {

namespace {

int categoryHeight() {
    const int h = settings().getInt(wxS("cat.height"));
    return h > 0 ? h : 24;
}

} // namespace

// ---------------------------------------------------------------------------

// clang-format off
wxBEGIN_EVENT_TABLE(GroupPanel, wxPanel)
    EVT_PAINT(GroupPanel::onPaint)
    EVT_LEFT_DOWN(GroupPanel::onLeftDown)
    EVT_MOTION(GroupPanel::onMotion)
    EVT_RIGHT_DOWN(GroupPanel::onRightDown)
    EVT_MENU(ID_REMOVE_CATEGORY, GroupPanel::onRemove)
wxEND_EVENT_TABLE()
// clang-format on

GroupPanel::GroupPanel(GroupContainer* container, Block* node)
    : wxPanel(container, ID_GROUP_PANEL, wxDefaultPosition, wxSize(-1, categoryHeight()),
              wxBORDER_DOUBLE, wxS("panel")),
      container_(container), nodeId_(node->id()) {
    SetMinSize(wxSize(-1, categoryHeight()));
    SetBackgroundColour(settings().getColour(wxS("cat.back")));
    SetCursor(wxCursor(wxCURSOR_HAND));
    SetCanFocus(false); // the bar takes the keyboard
}

Block* GroupPanel::node() const {
    // Looked up each time: the node may have been deleted in the tree.
    Block* block = container_->database().findBlock(nodeId_);
    return block && block->isNode() ? container_->database().getBlock(nodeId_) : nullptr;
}

void GroupPanel::setSelected(bool selected) {
    selected_ = selected;
    SetForegroundColour(settings().getColour(selected ? wxS("cat.selected") : wxS("cat.text")));
    SetBackgroundColour(settings().getColour(selected ? wxS("cat.selback") : wxS("cat.back")));
    wxFont font = GetFont();
    font.SetWeight(selected ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL);
    SetFont(font);
    Refresh();
}

void GroupPanel::onPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    Block* block = node();
    if (!block) return;
    dc.SetTextForeground(settings().getColour(selected_ ? wxS("cat.selected") : wxS("cat.text")));
    dc.SetTextBackground(settings().getColour(selected_ ? wxS("cat.selback") : wxS("cat.back")));

    const int size = settings().getInt(wxS("cat.fontsize"));
    wxFont font(wxFontInfo(size > 0 ? size : GetFont().GetPointSize())
                    .Family(wxFONTFAMILY_DEFAULT)
                    .FaceName(settings().get(wxS("cat.font"))));
    if (font.IsOk()) {
        font.SetWeight(selected_ ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL);
        dc.SetFont(font);
    } else {
        dc.SetFont(GetFont());
    }

    wxBitmap icon;
    if (wxImageList* images = treeImageList()) {
        const int index = iconIndexOf(block->getString(K_i));
        if (index < images->GetImageCount()) icon = images->GetBitmap(index);
    }
    wxRect rect(GetClientSize());
    rect.Deflate(2, 0);
    const wxString caption = block->getString(K_cap);
    if (icon.IsOk())
        dc.DrawLabel(wxS(" ") + caption, icon, rect, wxALIGN_LEFT | wxALIGN_CENTER_VERTICAL);
    else
        dc.DrawLabel(caption, rect, wxALIGN_LEFT | wxALIGN_CENTER_VERTICAL);
    // The keyboard's place when the bar has it.
    if (selected_ && container_->HasFocus())
        wxRendererNative::Get().DrawFocusRect(this, dc, wxRect(GetClientSize()).Deflate(1));
}

void GroupPanel::onLeftDown(wxMouseEvent& event) {
    pressedAt_ = event.GetPosition();
    container_->selectCategory(this);
    // The keyboard goes on in the tree that shows the category; the panel
    // itself has no use for keys.
    if (TreePanel* tree = container_->tree()) tree->SetFocus();
}

void GroupPanel::onMotion(wxMouseEvent& event) {
    event.Skip();
    if (!event.LeftIsDown() || pressedAt_ == wxDefaultPosition) return;
    // Not a drag until the pointer has moved as far as the system asks.
    const wxPoint moved = event.GetPosition() - pressedAt_;
    if (std::abs(moved.x) < std::max(1, wxSystemSettings::GetMetric(wxSYS_DRAG_X)) &&
        std::abs(moved.y) < std::max(1, wxSystemSettings::GetMetric(wxSYS_DRAG_Y)))
        return;
    pressedAt_ = wxDefaultPosition;
    container_->setDraggedPanel(this);
    startGroupDrag(this, {windowToken(wxGetTopLevelParent(this)), DRAG_CATEGORY,
                          static_cast<uint32_t>(nodeId_)});
    container_->setDraggedPanel(nullptr);
}

void GroupPanel::onRightDown(wxMouseEvent& event) {
    if (nodeId_ == 1) return; // the whole document always keeps its category
    wxMenu menu;
    menu.Append(ID_REMOVE_CATEGORY, text(wxS("m.RemoveCat")));
    PopupMenu(&menu, event.GetPosition());
}

void GroupPanel::onRemove(wxCommandEvent&) {
    // This panel is destroyed by the removal: leave its handler first.
    GroupContainer* container = container_;
    GroupPanel* self = this;
    container->CallAfter([container, self] {
        for (int i = 0; i < container->count(); ++i)
            if (container->panel(i) == self) container->removeCategory(self);
    });
}

// ---------------------------------------------------------------------------

GroupContainer::GroupContainer(wxWindow* parent, wxWindowID id, TreePanel* tree, Database& db)
    : wxScrolledWindow(parent, id, wxDefaultPosition, wxDefaultSize, wxVSCROLL, wxS("panel")),
      tree_(tree), db_(db) {
    SetScrollRate(0, categoryHeight());
    SetBackgroundColour(settings().getColour(wxS("cat.pane.back")));
    sizer_ = new wxBoxSizer(wxVERTICAL);
    SetSizer(sizer_);
    // Nodes dragged from the tree, panels dragged within the bar.
    SetDropTarget(new GroupDropTarget(this));
    Bind(wxEVT_KEY_DOWN, &GroupContainer::onKeyDown, this);
    // The focus frame on the current panel follows the keyboard.
    auto focusChanged = [this](wxFocusEvent& event) {
        if (current_) current_->Refresh();
        event.Skip();
    };
    Bind(wxEVT_SET_FOCUS, focusChanged);
    Bind(wxEVT_KILL_FOCUS, focusChanged);
}

void GroupContainer::onKeyDown(wxKeyEvent& event) {
    if (event.HasAnyModifiers() || panels_.empty()) {
        event.Skip();
        return;
    }
    const auto at = std::find(panels_.begin(), panels_.end(), current_);
    const int index = at == panels_.end() ? -1 : static_cast<int>(at - panels_.begin());
    int target = -1;
    switch (event.GetKeyCode()) {
    case WXK_UP:
    case WXK_NUMPAD_UP:
        target = index - 1;
        break;
    case WXK_DOWN:
    case WXK_NUMPAD_DOWN:
        target = index + 1;
        break;
    case WXK_HOME:
    case WXK_NUMPAD_HOME:
        target = 0;
        break;
    case WXK_END:
    case WXK_NUMPAD_END:
        target = count() - 1;
        break;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
    case WXK_SPACE:
        if (tree_) tree_->SetFocus();
        return;
    default:
        event.Skip();
        return;
    }
    if (target < 0 || target >= count() || target == index) return;
    GroupPanel* next = panels_[target];
    selectCategory(next);
    // Scrolled into view when the bar is shorter than its panels.
    const wxRect shown = next->GetRect();
    if (shown.GetTop() < 0 || shown.GetBottom() > GetClientSize().y) Scroll(wxDefaultCoord, target);
}

void GroupContainer::relayout() {
    // The panels never take the focus, so the bar itself stays a stop of the
    // Tab key however many panels it holds (each new child made the toolkit
    // take it out again).
    SetCanFocus(true);
    FitInside();
    Layout();
    Refresh();
}

void GroupContainer::createCategories(const std::vector<int>& ids) {
    for (int id : ids) {
        Block* node = id > 0 ? db_.getBlock(id) : nullptr;
        if (!node || !node->isNode()) continue;
        auto* panel = new GroupPanel(this, node);
        sizer_->Add(panel, 0, wxEXPAND | wxALL, 1);
        panels_.push_back(panel);
    }
    relayout();
}

GroupPanel* GroupContainer::ensureCategory(int id) {
    for (GroupPanel* p : panels_)
        if (p->nodeId() == id) return p;
    Block* node = id > 0 ? db_.getBlock(id) : nullptr;
    if (!node || !node->isNode()) return nullptr;
    auto* panel = new GroupPanel(this, node);
    sizer_->Add(panel, 0, wxEXPAND);
    panels_.push_back(panel);
    relayout();
    return panel;
}

GroupPanel* GroupContainer::addCategory(int id, int position) {
    Block* node = id > 0 ? db_.getBlock(id) : nullptr;
    if (!node || !node->isNode()) return nullptr;
    // A node that already has a panel keeps the view state it has.
    const bool shown = std::any_of(panels_.begin(), panels_.end(),
                                   [id](GroupPanel* p) { return p->nodeId() == id; });
    if (!shown) {
        node->setInt(K_grpsel, id);
        node->setIntList(K_grpexp, {});
    }
    auto* panel = new GroupPanel(this, node);
    if (position < 0 || position >= count()) {
        sizer_->Add(panel, 0, wxEXPAND);
        panels_.push_back(panel);
    } else {
        sizer_->Insert(position, panel, 0, wxEXPAND);
        panels_.insert(panels_.begin() + position, panel);
    }
    relayout();
    return panel;
}

void GroupContainer::moveCategory(int id, int position) {
    auto it = std::find_if(panels_.begin(), panels_.end(),
                           [id](GroupPanel* p) { return p->nodeId() == id; });
    if (it != panels_.end()) movePanel(*it, position);
}

void GroupContainer::moveDraggedCategory(int id, int position) {
    GroupPanel* panel = dragged_;
    dragged_ = nullptr;
    if (panel && std::find(panels_.begin(), panels_.end(), panel) != panels_.end() &&
        panel->nodeId() == id)
        movePanel(panel, position);
    else
        moveCategory(id, position);
}

void GroupContainer::movePanel(GroupPanel* moved, int position) {
    auto it = std::find(panels_.begin(), panels_.end(), moved);
    if (it == panels_.end()) return;
    const int i = static_cast<int>(it - panels_.begin());
    if (position == i || position == i + 1) return; // dropped onto itself
    GroupPanel* panel = *it;
    // Keep the panel's own sizer flags (border or not).
    wxSizerItem* old = sizer_->GetItem(panel);
    const int flags = old ? old->GetFlag() : wxEXPAND;
    const int border = old ? old->GetBorder() : 0;
    sizer_->Detach(panel);
    panels_.erase(it);
    int target = position < 0 ? count() : (i < position ? position - 1 : position);
    target = std::min(target, count());
    sizer_->Insert(target, panel, 0, flags, border);
    panels_.insert(panels_.begin() + target, panel);
    relayout();
}

void GroupContainer::dropPanel(GroupPanel* panel) {
    sizer_->Detach(panel);
    panels_.erase(std::remove(panels_.begin(), panels_.end(), panel), panels_.end());
    if (current_ == panel) current_ = nullptr;
    if (dragged_ == panel) dragged_ = nullptr;
    panel->Destroy();
}

void GroupContainer::removeCategory(GroupPanel* panel) {
    if (!panel || std::find(panels_.begin(), panels_.end(), panel) == panels_.end()) return;
    if (panel == current_) {
        if (side_) side_->commitText();
        panel->setSelected(false);
        current_ = nullptr;
        // The document's own category takes over; a document without one
        // falls back to the first other category, or to an empty tree.
        GroupPanel* next = nullptr;
        for (GroupPanel* p : panels_)
            if (p != panel && p->nodeId() == 1 && p->node()) {
                next = p;
                break;
            }
        if (!next)
            for (GroupPanel* p : panels_)
                if (p != panel && p->node()) {
                    next = p;
                    break;
                }
        if (next) {
            next->setSelected(true);
            current_ = next;
            if (tree_) tree_->loadTree(next->node());
        } else if (tree_) {
            tree_->clearTree();
        }
    }
    if (Block* node = panel->node()) {
        node->removeKey(K_grpsel);
        node->removeKey(K_grpexp);
    }
    dropPanel(panel);
    relayout();
}

void GroupContainer::selectCategory(GroupPanel* panel) {
    if (!panel || panel == current_) return;
    Block* node = panel->node();
    if (!node) return;
    if (current_) {
        current_->setSelected(false);
        saveCategoryState();
    }
    panel->setSelected(true);
    current_ = panel;
    if (side_) side_->commitText();
    if (tree_) tree_->loadTree(node);
}

bool GroupContainer::selectCategoryById(int id) {
    for (GroupPanel* p : panels_)
        if (p->nodeId() == id) {
            selectCategory(p);
            return true;
        }
    return false;
}

void GroupContainer::saveCategoryState() {
    if (!current_ || !tree_ || !saveSettingIsOne(SAVE_VIEW_STATE)) return;
    Block* root = current_->node();
    if (!root) return;
    int selected = -1;
    std::vector<int> expanded;
    tree_->collectViewState(selected, expanded);
    // Written only when changed, so looking around leaves the document clean.
    if (root->getInt(K_grpsel) != selected) root->setInt(K_grpsel, selected);
    if (root->getIntList(K_grpexp) != expanded) root->setIntList(K_grpexp, expanded);
}

std::vector<int> GroupContainer::categoryIds() const {
    std::vector<int> ids;
    for (GroupPanel* p : panels_)
        ids.push_back(p->nodeId());
    return ids;
}

int GroupContainer::currentCategoryId() const {
    return current_ ? current_->nodeId() : 0;
}

int GroupContainer::insertionIndexAt(int x, int y) const {
    const int on = categoryIndexAt(x, y);
    if (on >= 0) return on;
    // Between panels: the gap nearest to the point.
    int best = count();
    int bestDistance = INT_MAX;
    for (int k = 0; k <= count(); ++k) {
        const int gapY = k == 0 ? (count() ? panels_[0]->GetRect().GetTop() : 0)
                         : k == count() ? panels_[k - 1]->GetRect().GetBottom()
                                        : (panels_[k - 1]->GetRect().GetBottom() +
                                           panels_[k]->GetRect().GetTop()) / 2;
        const int distance = std::abs(y - gapY);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = k;
        }
    }
    return best;
}

int GroupContainer::categoryIndexAt(int x, int y) const {
    for (size_t i = 0; i < panels_.size(); ++i)
        if (panels_[i]->GetRect().Contains(x, y)) return static_cast<int>(i);
    return -1;
}

void GroupContainer::refreshCategory(Block* node) {
    if (!node) return;
    for (GroupPanel* p : panels_)
        if (p->nodeId() == node->id()) {
            p->Refresh();
            return;
        }
}

void GroupContainer::pruneCategories() {
    bool removed = false;
    for (size_t i = panels_.size(); i-- > 0;) {
        GroupPanel* p = panels_[i];
        if (!db_.findBlock(p->nodeId())) {
            dropPanel(p);
            removed = true;
        }
    }
    if (removed) relayout();
}

void GroupContainer::clearCategories() {
    while (!panels_.empty())
        dropPanel(panels_.back());
    current_ = nullptr;
    relayout();
}

} // namespace qn
