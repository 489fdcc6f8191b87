// The node commands of the navigation tree: new, delete, rename, move and
// sort nodes, their look, and their properties; reached through the context
// menu, the keyboard and the navigation toolbar.
#include "tree/tree_panel.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "objects/image_selector.h"
#include "tree/group_container.h"
#include "tree/group_dnd.h"
#include "ui/article_side.h"
#include "ui/command_ids.h"
#include "ui/my_message.h"
#include "ui/node_model.h"
#include "ui/tree_icons.h"

#include <wx/arrstr.h>
#include <wx/colordlg.h>
#include <wx/ffile.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/display.h>
#include <wx/fontdlg.h>
#include <wx/menu.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace qn {

namespace {
int ask(wxWindow* parent, const wxString& message, long style) {
    return showMessage(message, text(wxS("s.Title")), style, parent);
}

size_t indexOfItem(const wxTreeCtrl& tree, const wxTreeItemId& item) {
    size_t index = 0;
    for (wxTreeItemId prev = tree.GetPrevSibling(item); prev.IsOk();
         prev = tree.GetPrevSibling(prev))
        ++index;
    return index;
}
} // namespace

void TreePanel::bindNodeCommands() {
    // Every node command ends here, implemented or not: their numbers are
    // also the frame's own commands, which must never run instead.
    Bind(wxEVT_MENU, &TreePanel::onNodeCommand, this, ID_NODE_NEW_CHILD_BOTTOM, ID_NODE_PROPERTIES);
    Bind(wxEVT_KEY_DOWN, &TreePanel::onNodeKey, this);
    Bind(wxEVT_TREE_ITEM_MENU, &TreePanel::onItemMenu, this);
    // The node menu's rows share their numbers with the main window's
    // commands, whose update rules (check marks among them) are not theirs:
    // the node menu's updates end here.
    Bind(
        wxEVT_UPDATE_UI,
        [this](wxUpdateUIEvent& event) {
            auto* menu = wxDynamicCast(event.GetEventObject(), wxMenu);
            while (menu && menu->GetParent())
                menu = menu->GetParent(); // the font submenu's rows too
            if (!menu || menu->GetInvokingWindow() != this) event.Skip();
        },
        ID_NODE_NEW_CHILD_BOTTOM, ID_NODE_PROPERTIES);
    // A node dragged onto the category bar becomes a category there.
    Bind(wxEVT_TREE_BEGIN_DRAG, [this](wxTreeEvent& event) {
        Block* node = nodeOf(event.GetItem());
        if (!node) return;
        startGroupDrag(this, {windowToken(wxGetTopLevelParent(this)), DRAG_NODE,
                              static_cast<uint32_t>(node->id())});
    });
}

void TreePanel::onNodeCommand(wxCommandEvent& event) {
    runNodeCommand(event.GetId());
}

bool TreePanel::runNodeCommand(int id) {
    const wxTreeItemId item = GetSelection();
    Block* node = nodeOf(item);
    if (!node) return false;
    switch (id) {
    case ID_NODE_NEW_CHILD_BOTTOM:
    case ID_NODE_NEW_CHILD_TOP:
        return newChild(item, *node, id == ID_NODE_NEW_CHILD_TOP);
    case ID_NODE_NEW_SIBLING_BELOW:
    case ID_NODE_NEW_SIBLING_ABOVE:
        return newSibling(item, *node, id == ID_NODE_NEW_SIBLING_ABOVE);
    case ID_NODE_DELETE:
        return deleteNode(item, *node);
    case ID_NODE_RENAME:
        EditLabel(item);
        return true;
    case ID_NODE_ICON:
        return chooseIcon(item, *node);
    case ID_NODE_FONT: {
        wxFontData data;
        // Starts from the font of the article shown.
        data.SetInitialFont(side_ ? side_->articleFont() : nodeFont(*node));
        wxFontDialog dialog(this, data);
        dialog.SetTitle(wxString());
        if (dialog.ShowModal() != wxID_OK) return false;
        const wxFont font = dialog.GetFontData().GetChosenFont();
        node->setString(K_NFname, font.GetFaceName());
        node->setInt(K_NFsize, font.GetPointSize());
        wxString letters;
        if (font.GetWeight() >= wxFONTWEIGHT_BOLD) letters += wxS("B");
        if (font.GetUnderlined()) letters += wxS("U");
        if (font.GetStyle() == wxFONTSTYLE_ITALIC || font.GetStyle() == wxFONTSTYLE_SLANT)
            letters += wxS("I");
        node->setString(K_NFattr, letters);
        applyNodeLook(item, *node);
        relayoutRows();
        return true;
    }
    case ID_NODE_COLOUR:
    case ID_NODE_HIGHLIGHT: {
        wxColourDialog dialog(this);
        dialog.SetTitle(wxString());
        if (dialog.ShowModal() != wxID_OK) return false;
        const wxColour c = dialog.GetColourData().GetColour();
        node->setColour(id == ID_NODE_COLOUR ? K_Nfc : K_Nhi, fromWxColour(c));
        applyNodeLook(item, *node);
        return true;
    }
    case ID_NODE_BOLD:
    case ID_NODE_ITALIC:
    case ID_NODE_UNDERLINE: {
        const wxString letter = id == ID_NODE_BOLD     ? wxS("B")
                                : id == ID_NODE_ITALIC ? wxS("I")
                                                       : wxS("U");
        wxString letters = node->getString(K_NFattr);
        if (letters.Contains(letter))
            letters.Replace(letter, wxString());
        else
            letters += letter;
        node->setString(K_NFattr, letters);
        applyNodeLook(item, *node);
        relayoutRows();
        return true;
    }
    case ID_NODE_DEFAULT_FONT:
        node->removeKey(K_NFname);
        node->removeKey(K_NFsize);
        node->removeKey(K_NFattr);
        applyNodeLook(item, *node);
        relayoutRows();
        return true;
    case ID_NODE_DEFAULT_COLOUR:
        node->removeKey(K_Nfc);
        node->removeKey(K_Nhi);
        applyNodeLook(item, *node);
        return true;
    case ID_NODE_UP:
    case ID_NODE_DOWN:
        return moveUpDown(item, *node, id == ID_NODE_UP);
    case ID_NODE_LEFT:
        return moveLeft(item, *node);
    case ID_NODE_RIGHT:
        return moveRight(item, *node);
    case ID_NODE_SORT_CHILDREN:
        return sortChildren(item, *node);
    case ID_NODE_PROPERTIES:
        showProperties(*node);
        return true;
    case ID_NODE_LINK_FILE:
        return linkToFile(item, *node);
    case ID_NODE_FLOATING: {
        // The main window opens floating windows.
        wxCommandEvent open(wxEVT_MENU, ID_OPEN_FLOATING);
        open.SetExtraLong(node->id());
        open.SetEventObject(this);
        wxGetTopLevelParent(this)->GetEventHandler()->ProcessEvent(open);
        return true;
    }
    default:
        return false;
    }
}

bool TreePanel::newChild(const wxTreeItemId& item, Block& node, bool atTop) {
    Block* child = db_.newNode(node.id());
    if (!child) return false;
    if (node.editChildren(child->id(), atTop ? CH_PREPEND : CH_APPEND) < 0) {
        db_.deleteBlock(child->id());
        return false;
    }
    if (IsExpanded(item)) {
        appendNodeItem(item, atTop ? 0 : GetChildrenCount(item, false), *child);
    } else {
        if (GetChildrenCount(item, false) == 0) {
            SetItemHasChildren(item, true);
        } else {
            // Loaded but collapsed: load again so the new child is in place.
            DeleteChildren(item);
            SetItemHasChildren(item, true);
        }
        Expand(item);
    }
    return true;
}

bool TreePanel::newSibling(const wxTreeItemId& item, Block& node, bool above) {
    const wxTreeItemId parentItem = GetItemParent(item);
    Block* parent = nodeOf(parentItem);
    if (!parentItem.IsOk() || !parent) {
        ask(this, text(wxS("s.RootNode")), MSG_OK | MSG_ICON_WARNING);
        return false;
    }
    Block* sibling = db_.newNode(parent->id());
    if (!sibling) return false;
    if (parent->editChildren(sibling->id(), above ? CH_INSERT_BEFORE : CH_INSERT_AFTER, node.id()) <
        0) {
        db_.deleteBlock(sibling->id());
        return false;
    }
    const size_t at = indexOfItem(*this, item) + (above ? 0 : 1);
    const wxTreeItemId added = appendNodeItem(parentItem, at, *sibling);
    SelectItem(added);
    // The new node's title is typed next.
    EditLabel(added);
    return true;
}

wxString deleteNodeQuestion(const wxString& title, size_t notesBelow) {
    wxString question = wxString::Format(text("s.DeleteNode?"), title);
    if (notesBelow == 1)
        question += text("s.DeleteNodeNB1");
    else if (notesBelow > 1)
        question += wxString::Format(text("s.DeleteNodeNB"), static_cast<int>(notesBelow));
    return question;
}

bool TreePanel::deleteNode(const wxTreeItemId& item, Block& node) {
    if (item == GetRootItem()) return false;
    // Only nodes that name their parent on the way down belong to the
    // subtree (a damaged child list cannot reach further).
    auto subtree = [this, &node] {
        std::vector<int> ids;
        std::vector<std::pair<int, int>> todo{{node.id(), node.parent()}};
        std::set<int> seen;
        while (!todo.empty()) {
            const auto [id, parentId] = todo.back();
            todo.pop_back();
            Block* b = id == 1 ? nullptr : db_.getBlock(id);
            if (!b || !b->isNode() || b->parent() != parentId || !seen.insert(id).second) continue;
            ids.push_back(id);
            for (int child : b->getIntList(K_ch))
                todo.emplace_back(child, id);
        }
        return ids;
    };
    const size_t below = std::max<size_t>(subtree().size(), 1) - 1;
    if (ask(this, deleteNodeQuestion(node.getString(K_cap), below),
            MSG_YES | MSG_NO | MSG_ICON_QUESTION) != MSG_YES)
        return false;

    // Everything that goes, before anything goes: nothing may keep pointing
    // at a deleted node.
    const std::vector<int> gone = subtree();
    const int nodeId = node.id();
    if (side_ && side_->shownNode() &&
        std::find(gone.begin(), gone.end(), side_->shownNode()->id()) != gone.end())
        side_->clearArticle();
    if (deletedListener_) deletedListener_(gone);
    if (side_) side_->forgetNodes(gone);

    const wxTreeItemId parentItem = GetItemParent(item);
    Block* parent = nodeOf(parentItem);
    wxTreeItemId next = GetNextSibling(item);
    if (!next.IsOk()) next = GetPrevSibling(item);
    if (!next.IsOk()) next = parentItem;
    Delete(item); // `node` is still alive: the store deletes it below
    if (parent && parent->editChildren(nodeId, CH_REMOVE) == 0)
        SetItemHasChildren(parentItem, false);
    db_.deleteSubtree(nodeId);
    if (groups_) groups_->pruneCategories();
    if (next.IsOk()) SelectItem(next);
    return true;
}

bool TreePanel::moveUpDown(const wxTreeItemId& item, Block& node, bool up) {
    const wxTreeItemId parentItem = GetItemParent(item);
    Block* parent = nodeOf(parentItem);
    const wxTreeItemId neighbour = up ? GetPrevSibling(item) : GetNextSibling(item);
    if (!parent || !neighbour.IsOk()) return false;
    if (parent->editChildren(node.id(), up ? CH_MOVE_UP : CH_MOVE_DOWN) < 0) return false;
    const size_t at = indexOfItem(*this, item);
    Delete(item);
    const wxTreeItemId moved = appendNodeItem(parentItem, up ? at - 1 : at + 1, node);
    SelectItem(moved);
    return true;
}

bool TreePanel::moveLeft(const wxTreeItemId& item, Block& node) {
    const wxTreeItemId parentItem = GetItemParent(item);
    if (!parentItem.IsOk() || parentItem == GetRootItem()) return false;
    const wxTreeItemId grandItem = GetItemParent(parentItem);
    Block* parent = nodeOf(parentItem);
    Block* grand = nodeOf(grandItem);
    if (!parent || !grand) return false;
    if (grand->editChildren(node.id(), CH_INSERT_AFTER, parent->id()) < 0) return false;
    if (parent->editChildren(node.id(), CH_REMOVE) == 0) SetItemHasChildren(parentItem, false);
    node.setParent(grand->id());
    Delete(item);
    SelectItem(appendNodeItem(grandItem, indexOfItem(*this, parentItem) + 1, node));
    return true;
}

bool TreePanel::moveRight(const wxTreeItemId& item, Block& node) {
    const wxTreeItemId parentItem = GetItemParent(item);
    const wxTreeItemId newParentItem = GetPrevSibling(item);
    Block* parent = nodeOf(parentItem);
    Block* newParent = nodeOf(newParentItem);
    if (!parent || !newParent) return false;
    if (newParent->editChildren(node.id(), CH_APPEND) < 0) return false;
    parent->editChildren(node.id(), CH_REMOVE);
    node.setParent(newParent->id());
    Delete(item);
    if (IsExpanded(newParentItem)) {
        SelectItem(appendNodeItem(newParentItem, GetChildrenCount(newParentItem, false), node));
    } else {
        // Loaded children of a collapsed item are stale: load them afresh.
        DeleteChildren(newParentItem);
        SetItemHasChildren(newParentItem, true);
        const wxTreeItemId moved = locateNode(node.id(), false);
        if (moved.IsOk()) SelectItem(moved);
    }
    return true;
}

bool TreePanel::sortChildren(const wxTreeItemId& item, Block& node) {
    if (!ItemHasChildren(item)) return false;
    if (!IsExpanded(item)) {
        ask(this, text(wxS("s.ExpandChildren")), MSG_OK | MSG_ICON_INFO);
        return false;
    }
    // The node's own list, sorted by title as people read titles: numbers
    // by value ("9 items" before "10 items"), letters by the user's locale
    // (ä beside a, not after z), case aside.  A child without an item (an
    // id the tree skipped) keeps its place in the list instead of being lost.
    std::vector<int> ids = node.getIntList(K_ch);
    std::vector<std::pair<wxString, int>> keyed;
    for (int id : ids) {
        Block* child = id > 0 ? db_.getBlock(id) : nullptr;
        keyed.emplace_back(child && child->isNode() ? child->getString(K_cap) : wxString(), id);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return wxCmpNatural(a.first, b.first) < 0;
    });
    ids.clear();
    for (const auto& k : keyed)
        ids.push_back(k.second);
    node.setIntList(K_ch, ids);
    Collapse(item);
    DeleteChildren(item);
    SetItemHasChildren(item, true);
    Expand(item);
    return true;
}

bool TreePanel::chooseIcon(const wxTreeItemId& item, Block& node) {
    // The selector's last place, kept relative to the tree, made usable on
    // today's screen.
    const wxRect screen = wxGetClientDisplayRect();
    const wxPoint origin = ClientToScreen(wxPoint(0, 0));
    std::vector<int> stored = settings().getIntList(wxS("iconselector"));
    if (stored.size() >= 2) {
        stored[0] += origin.x;
        stored[1] += origin.y;
    }
    const GridRect r = usableRect(stored, {screen.x, screen.y, screen.width, screen.height},
                                  {origin.x + 20, origin.y + 20, 300, 240});
    ImageSelector selector(this, wxID_ANY, wxPoint(r.x, r.y), wxSize(r.width, r.height),
                           treeImageList());
    const bool picked = selector.ShowModal() == wxID_OK && selector.chosen() >= 0;
    if (picked) {
        const int index = selector.chosen();
        SetItemImage(item, index);
        node.setString(K_i, iconNameOf(index));
        updateCaption(node);
        if (groups_) groups_->refreshCategory(&node);
    }
    const wxPoint at = ScreenToClient(selector.GetPosition());
    const wxSize size = selector.GetSize();
    settings().setIntArray(wxS("iconselector"), std::vector<int>{at.x, at.y, size.x, size.y});
    return picked;
}

namespace {
// A document of this program (or any SQLite file) as a note's text would be
// read as garbage and, once edited, overwritten.
bool isDocumentFile(const wxString& path) {
    const wxString ext = wxFileName(path).GetExt().Lower();
    if (ext == wxS("q2db") || ext == wxS("qudb")) return true;
    wxFFile f;
    char head[16] = {};
    wxLogNull quiet;
    return f.Open(path, wxS("rb")) && f.Read(head, sizeof head) == sizeof head &&
           std::memcmp(head, "SQLite format 3", 16) == 0;
}
} // namespace

bool TreePanel::linkToFile(const wxTreeItemId& item, Block& node) {
    if (!node.getString(K_url).empty() &&
        ask(this, text(wxS("s.hasLinkToFile")), MSG_YES | MSG_NO | MSG_ICON_QUESTION) != MSG_YES)
        return false;
    if (side_) side_->commitText();
    if (node.getInt(K_sz) != 0 &&
        ask(this, text(wxS("s.hasBody")), MSG_YES | MSG_NO | MSG_ICON_QUESTION) != MSG_YES)
        return false;
    wxFileDialog dialog(this, text(wxS("s.SelectFile")), wxString(), wxString(),
                        wxS("Text files (*.txt)|*.txt|HTML files (*.html, *.htm)|*.html;*.htm|"
                            "All files (*.*)|*.*"),
                        wxFD_OPEN);
    if (dialog.ShowModal() != wxID_OK) return false;
    // A typed path is only in GetPath(); a dialog answered without one
    // names its folder and file.
    wxString path = dialog.GetPath();
    if (path.empty()) path = wxFileName(dialog.GetDirectory(), dialog.GetFilename()).GetFullPath();
    if (path.empty()) return false;
    if (isDocumentFile(path)) {
        ask(this, text(wxS("s.LinkToDocument")) + wxS("\n\n") + path, MSG_OK | MSG_ICON_ERROR);
        return false;
    }
    if (linkCheck_ && !linkCheck_(path)) return false;
    node.freeBody();
    node.setString(K_url, path);
    // The text the node held goes with the next save; its size is the file's.
    const wxULongLong size = wxFileName::GetSize(path);
    if (size != wxInvalidSize) node.setString(K_sz, size.ToString());
    if (settings().getInt(wxS("NodeToFileEditable")) == 0) node.setInt(K_ro, 1);
    const wxFileName name(path);
    node.setString(K_cap, name.GetFullName());
    SetItemText(item, name.GetFullName());
    const wxString ext = name.GetExt().Lower();
    node.setMime(ext == wxS("rtf")                         ? wxS("text/rtf")
                 : ext == wxS("html") || ext == wxS("htm") ? wxS("text/html")
                                                           : wxS("text/plain"));
    if (side_) side_->showArticle(&node);
    updateCaption(node);
    return true;
}

void TreePanel::showProperties(Block& node) {
    bool modified = (node.dirty() & DIRTY_BODY) != 0;
    if (side_ && side_->shownNode() == &node && side_->commitText()) modified = true;
    const long size = node.getInt(K_sz);
    std::vector<wxString> fields = {wxString::Format(wxS("%d"), node.id()), node.getString(K_c),
                                    node.getString(K_s).BeforeFirst(';'),
                                    // An unreadable linked file has no size.
                                    size < 0 ? wxString(wxS("?"))
                                             : wxString::Format(wxS("%ld"), size),
                                    text(modified ? wxS("s.moYes") : wxS("s.moNo"))};
    wxString format = text(wxS("s.NodeProperties1"));
    const wxString url = node.getString(K_url);
    if (!url.empty()) {
        format = text(wxS("s.NodeProperties2")) + format;
        fields.insert(fields.begin(), url);
    }
    ask(this, fillPlaceholders(format, fields), MSG_OK | MSG_ICON_INFO);
}

void TreePanel::onNodeKey(wxKeyEvent& event) {
    const bool shift = event.ShiftDown();
    int command = 0;
    switch (event.GetKeyCode()) {
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        command = ID_NODE_NEW_SIBLING_BELOW;
        break;
    case WXK_DELETE:
    case WXK_NUMPAD_DELETE:
        command = ID_NODE_DELETE;
        break;
    case WXK_INSERT:
    case WXK_NUMPAD_INSERT:
        command = ID_NODE_NEW_SIBLING_ABOVE;
        break;
    case WXK_F2:
        command = shift ? ID_NODE_ICON : ID_NODE_RENAME;
        break;
    case WXK_MENU:
    case WXK_WINDOWS_MENU:
    case WXK_F10:
        if (event.GetKeyCode() == WXK_F10 ? event.GetModifiers() == wxMOD_SHIFT
                                          : event.GetModifiers() == wxMOD_NONE) {
            showMenuAtSelection();
            return;
        }
        break;
    case WXK_UP:
        command = shift ? ID_NODE_UP : 0;
        break;
    case WXK_DOWN:
        command = shift ? ID_NODE_DOWN : 0;
        break;
    case WXK_LEFT:
        command = shift ? ID_NODE_LEFT : 0;
        break;
    case WXK_RIGHT:
        command = shift ? ID_NODE_RIGHT : 0;
        break;
    default:
        break;
    }
    if (command == 0) {
        event.Skip(); // the control's own navigation
        return;
    }
    runNodeCommand(command);
}

namespace {
// The node context menu, top to bottom; a row without a key is a separator,
// ID_NODE_FONT_MENU stands for the font submenu.
struct MenuRow {
    int id;
    const char* key;
    bool check = false;
    const char* keys = nullptr; // the tree's own key for it, shown beside it
};
const MenuRow kNodeMenu[] = {
    {ID_NODE_NEW_CHILD_BOTTOM, "m.NewChildAtBottom"},
    {ID_NODE_NEW_CHILD_TOP, "m.NewChildAtTop"},
    {ID_NODE_NEW_SIBLING_BELOW, "m.NewSiblingBelow", false, "Enter"},
    {ID_NODE_NEW_SIBLING_ABOVE, "m.NewSiblingAbove", false, "Ins"},
    {0, nullptr},
    {ID_NODE_DELETE, "m.DeleteNode", false, "Del"},
    {0, nullptr},
    {ID_NODE_RENAME, "m.RenameNode", false, "F2"},
    {ID_NODE_ICON, "m.Icon", false, "Shift+F2"},
    {ID_NODE_FONT_MENU, "m.Font>"},
    {0, nullptr},
    {ID_NODE_UP, "m.NodeUp", false, "Shift+Up"},
    {ID_NODE_DOWN, "m.NodeDown", false, "Shift+Down"},
    {ID_NODE_LEFT, "m.NodeLeft", false, "Shift+Left"},
    {ID_NODE_RIGHT, "m.NodeRight", false, "Shift+Right"},
    {ID_NODE_SORT_CHILDREN, "m.SortChildren"},
    {0, nullptr},
    {ID_NODE_FLOATING, "m.ShowInFloatingWin"},
    {0, nullptr},
    {ID_NODE_LINK_FILE, "m.Hyperlink"},
    {0, nullptr},
    {ID_NODE_PROPERTIES, "m.Properties"},
};
const MenuRow kFontMenu[] = {
    {ID_NODE_FONT, "m.Font"},
    {ID_NODE_COLOUR, "m.Colour"},
    {ID_NODE_HIGHLIGHT, "m.Highlight"},
    {0, nullptr},
    {ID_NODE_BOLD, "m.Bold", true},
    {ID_NODE_ITALIC, "m.Italic", true},
    {ID_NODE_UNDERLINE, "m.Underline", true},
    {0, nullptr},
    {ID_NODE_DEFAULT_FONT, "m.DefaultFont"},
    {ID_NODE_DEFAULT_COLOUR, "m.DefaultTextColour"},
};

template <size_t N> void appendRows(wxMenu* menu, const MenuRow (&rows)[N], wxMenu* submenu) {
    for (const MenuRow& row : rows) {
        if (!row.key)
            menu->AppendSeparator();
        else if (row.id == ID_NODE_FONT_MENU)
            menu->AppendSubMenu(submenu, text(row.key));
        else if (row.check)
            menu->AppendCheckItem(row.id, text(row.key));
        else
            menu->Append(row.id, row.keys ? text(row.key) + wxS('\t') + wxString::FromAscii(row.keys) : text(row.key));
    }
}
} // namespace

wxMenu* TreePanel::makeNodeMenu() const {
    auto* font = new wxMenu;
    appendRows(font, kFontMenu, nullptr);
    bool bold = false, italic = false, underline = false;
    selectedFontFlags(bold, italic, underline);
    font->Check(ID_NODE_BOLD, bold);
    font->Check(ID_NODE_ITALIC, italic);
    font->Check(ID_NODE_UNDERLINE, underline);
    auto* menu = new wxMenu;
    appendRows(menu, kNodeMenu, font);
    return menu;
}

void TreePanel::onItemMenu(wxTreeEvent& event) {
    if (event.GetItem().IsOk()) SelectItem(event.GetItem());
    std::unique_ptr<wxMenu> menu(makeNodeMenu());
    PopupMenu(menu.get(), event.GetPoint());
}

void TreePanel::showMenuAtSelection() {
    const wxTreeItemId item = GetSelection();
    if (!nodeOf(item)) return;
    // Beside the selected row, or at the top when it is scrolled away.
    wxRect row;
    wxPoint at(0, 0);
    if (GetBoundingRect(item, row, true) && GetClientRect().Contains(row.GetLeftTop()))
        at = wxPoint(row.GetLeft(), row.GetBottom());
    std::unique_ptr<wxMenu> menu(makeNodeMenu());
    PopupMenu(menu.get(), at);
}

} // namespace qn
