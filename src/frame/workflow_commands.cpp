#include "frame/workflow_commands.h"

#include "article/article_window.h"
#include "backup/backup_commands.h"
#include "frame/main_frame.h"
#include "goto/goto_dialog.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <algorithm>
#include <vector>

namespace qn {

namespace {

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
        // The bar itself takes the keys (arrows switch the category); a
        // panel would lose them when its category is removed.
        frame->categoryBar()->SetFocusIgnoringChildren();
        if (wxWindow::FindFocus() != pane) {
            for (wxWindow* child : pane->GetChildren())
                if (child->IsShown()) {
                    child->SetFocus();
                    break;
                }
        }
    }
}

// Keys of the category bar: the arrows (Home, End) choose the category,
// with Shift they move the current one; Insert adds the node selected in
// the tree after it, Delete removes it (as the panel's menu does; the whole
// document keeps its category).  What a mouse does by clicking and dragging.
bool categoryKey(MainFrame* frame, int key, int mods) {
    GroupContainer* bar = frame->categoryBar();
    if (!bar || !bar->IsShownOnScreen() || !isInside(wxWindow::FindFocus(), bar)) return false;
    if (mods != wxMOD_NONE && mods != wxMOD_SHIFT) return false;
    const int count = bar->count();
    if (count == 0) return false;
    GroupPanel* current = bar->currentPanel();
    int index = 0;
    for (int i = 0; i < count; ++i)
        if (bar->panel(i) == current) index = i;
    const bool backward = key == WXK_LEFT || key == WXK_UP;
    const bool forward = key == WXK_RIGHT || key == WXK_DOWN;
    if (mods == wxMOD_SHIFT) {
        if (!current || (!backward && !forward)) return false;
        if (backward && index > 0) bar->movePanel(current, index - 1);
        if (forward && index + 1 < count)
            bar->movePanel(current, index + 2 < count ? index + 2 : -1);
        return true;
    }
    int target = index;
    switch (key) {
    case WXK_HOME:
        target = 0;
        break;
    case WXK_END:
        target = count - 1;
        break;
    case WXK_INSERT:
        if (GroupPanel* added = bar->addCategory(frame->treePanel()->selectedNodeId(), index + 1))
            bar->selectCategory(added);
        return true;
    case WXK_DELETE:
        if (current && current->nodeId() != 1) {
            wxCommandEvent remove(wxEVT_MENU, ID_REMOVE_CATEGORY);
            current->GetEventHandler()->ProcessEvent(remove);
        }
        return true;
    default:
        if (backward)
            target = index - 1;
        else if (forward)
            target = index + 1;
        else
            return false;
    }
    target = std::clamp(target, 0, count - 1);
    if (target != index || !current) bar->selectCategory(bar->panel(target));
    return true;
}

} // namespace

void MainFrame::onGotoNode(wxCommandEvent&) {
    if (!isDocumentOpen()) return;
    commitArticle();
    showGotoNode(this, database());
}

void MainFrame::onOpenBackup(wxCommandEvent&) {
    showOpenBackup(this, database());
}

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
    frame->Bind(wxEVT_CHAR_HOOK, [frame](wxKeyEvent& event) {
        const int key = event.GetKeyCode();
        const int mods = event.GetModifiers();
        if (key == WXK_F6 && (mods == wxMOD_NONE || mods == wxMOD_SHIFT)) {
            cycleFocus(frame, mods == wxMOD_SHIFT);
            return;
        }
        if (categoryKey(frame, key, mods)) return;
        // The caption bar's history buttons: back, forward, the list.
        if (mods == wxMOD_ALT && (key == WXK_LEFT || key == WXK_RIGHT || key == WXK_DOWN)) {
            wxCommandEvent button(wxEVT_BUTTON, key == WXK_LEFT    ? ID_HISTORY_BACK
                                                : key == WXK_RIGHT ? ID_HISTORY_FORWARD
                                                                   : ID_HISTORY_MENU);
            frame->GetEventHandler()->ProcessEvent(button);
            return;
        }
        event.Skip();
    });
}

} // namespace qn
