#include "frame/workflow_commands.h"

#include "app/text_constants.h"
#include "article/article_window.h"
#include "backup/backup_commands.h"
#include "frame/command_ids.h"
#include "frame/main_frame.h"
#include "goto/goto_dialog.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"

#include <wx/menu.h>

#include <algorithm>
#include <vector>

namespace qn {

namespace {

wxString label(const char* key) {
    const wxString s = text(key);
    return s.empty() ? wxString::FromUTF8(key) : s;
}

bool isInside(wxWindow* w, wxWindow* pane) {
    for (; w; w = w->GetParent())
        if (w == pane) return true;
    return false;
}

// The first shown window inside `w` (or `w`) that takes the focus.
bool focusFirstIn(wxWindow* w) {
    if (!w || !w->IsShown()) return false;
    for (wxWindow* child : w->GetChildren())
        if (focusFirstIn(child)) return true;
    if (!w->AcceptsFocus() && !w->CanAcceptFocus()) return false;
    w->SetFocus();
    return true;
}

std::vector<wxWindow*> focusPanes(MainFrame* frame) {
    std::vector<wxWindow*> panes = {frame->treePanel(), frame->articleWindow()};
    GroupContainer* bar = frame->categoryBar();
    if (bar && bar->IsShownOnScreen()) panes.push_back(bar);
    return panes;
}

void focusPane(wxWindow* pane, MainFrame* frame) {
    if (pane == frame->treePanel()) {
        frame->treePanel()->SetFocus();
    } else if (pane == frame->articleWindow()) {
        ArticleWindow* article = frame->articleWindow();
        if (!focusFirstIn(article)) article->SetFocus();
    } else {
        // The bar itself takes the keys (arrows switch the category).
        pane->SetFocus();
        if (wxWindow::FindFocus() != pane) {
            for (wxWindow* child : pane->GetChildren())
                if (child->IsShown()) {
                    child->SetFocus();
                    break;
                }
        }
    }
}

// Arrow keys in the category bar choose the previous or next category.
bool categoryKey(MainFrame* frame, int key) {
    GroupContainer* bar = frame->categoryBar();
    if (!bar || !bar->IsShownOnScreen() || !isInside(wxWindow::FindFocus(), bar)) return false;
    const std::vector<int> ids = bar->categoryIds();
    if (ids.empty()) return false;
    auto at = std::find(ids.begin(), ids.end(), bar->currentCategoryId());
    long index = at == ids.end() ? 0 : static_cast<long>(at - ids.begin());
    switch (key) {
    case WXK_LEFT: case WXK_UP: --index; break;
    case WXK_RIGHT: case WXK_DOWN: ++index; break;
    case WXK_HOME: index = 0; break;
    case WXK_END: index = static_cast<long>(ids.size()) - 1; break;
    default: return false;
    }
    index = std::clamp(index, 0L, static_cast<long>(ids.size()) - 1);
    bar->selectCategoryById(ids[static_cast<size_t>(index)]);
    return true;
}

// Inserts `item` after the item `afterId` of the menu that holds it.
void insertAfter(wxMenuBar* bar, int afterId, wxMenuItem* item) {
    wxMenu* menu = nullptr;
    if (!bar->FindItem(afterId, &menu) || !menu) {
        delete item;
        return;
    }
    const wxMenuItemList& items = menu->GetMenuItems();
    size_t pos = 0;
    for (wxMenuItem* it : items) {
        ++pos;
        if (it->GetId() == afterId) break;
    }
    menu->Insert(pos, item);
}

} // namespace

void cycleFocus(MainFrame* frame, bool backwards) {
    const std::vector<wxWindow*> panes = focusPanes(frame);
    wxWindow* focus = wxWindow::FindFocus();
    size_t current = panes.size();
    for (size_t i = 0; i < panes.size(); ++i)
        if (isInside(focus, panes[i])) current = i;
    size_t next;
    if (current == panes.size())
        next = backwards ? panes.size() - 1 : 0;
    else
        next = (current + (backwards ? panes.size() - 1 : 1)) % panes.size();
    focusPane(panes[next], frame);
}

void addWorkflowCommands(MainFrame* frame) {
    wxMenuBar* bar = frame->GetMenuBar();
    if (bar) {
        insertAfter(bar, ID_EXPORT_TEXT,
                    new wxMenuItem(nullptr, ID_OPEN_BACKUP, label("m.OpenBackup")));
        insertAfter(bar, ID_FIND, new wxMenuItem(nullptr, ID_GOTO_NODE, label("m.GotoNode")));
    }
    frame->Bind(wxEVT_MENU, [frame](wxCommandEvent&) { showGotoNode(frame); }, ID_GOTO_NODE);
    frame->Bind(wxEVT_MENU, [frame](wxCommandEvent&) { showOpenBackup(frame); }, ID_OPEN_BACKUP);
    frame->Bind(wxEVT_CHAR_HOOK, [frame](wxKeyEvent& event) {
        const int key = event.GetKeyCode();
        const int mods = event.GetModifiers();
        if (key == WXK_F6 && (mods == wxMOD_NONE || mods == wxMOD_SHIFT)) {
            cycleFocus(frame, mods == wxMOD_SHIFT);
            return;
        }
        if (mods == wxMOD_NONE && categoryKey(frame, key)) return;
        event.Skip();
    });
}

} // namespace qn
