#include "find/search_list.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "article/article_window.h"
#include "article/text_window.h"
#include "tree/tree_panel.h"
#include "ui/my_message.h"
#include "ui/command_ids.h"

#include <wx/button.h>
#include <wx/settings.h>
#include <wx/sizer.h>

namespace qn {

SearchList::SearchList(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                       wxWindow** ownerSlot)
    : wxMiniFrame(parent, id, text("sch.Title"), pos, size, wxDEFAULT_FRAME_STYLE, wxS("frame")),
      owner_(ownerSlot) {
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_3DLIGHT));
    auto* top = new wxBoxSizer(wxVERTICAL);
    list_ = new VirtualList(this);
    top->Add(list_, 1, wxEXPAND);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxButton(this, ID_CLEAR, text("sch.clear")), 0, wxALL, 5);
    row->AddStretchSpacer();
    row->Add(new wxButton(this, ID_JUMP, text("sch.jump")), 0, wxTOP | wxBOTTOM, 5);
    row->Add(new wxButton(this, ID_CLOSE_LIST, text("sch.close")), 0, wxALL, 5);
    top->Add(row, 0, wxEXPAND);
    SetSizer(top);
    Layout();

    Bind(wxEVT_LIST_ITEM_ACTIVATED, &SearchList::onActivated, this, VirtualList::ID_LIST);
    Bind(wxEVT_BUTTON, &SearchList::onClear, this, ID_CLEAR);
    Bind(wxEVT_BUTTON, &SearchList::onJump, this, ID_JUMP);
    Bind(wxEVT_BUTTON, &SearchList::onCloseButton, this, ID_CLOSE_LIST);
    Bind(wxEVT_CLOSE_WINDOW, &SearchList::onClose, this);
    // Escape closes the window as its Close button does; the main window's
    // search keys work here as well.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        const int key = event.GetKeyCode(), mods = event.GetModifiers();
        int command = 0;
        if (key == WXK_ESCAPE && mods == wxMOD_NONE) {
            Close();
            return;
        }
        if ((key == 'F' || key == 'f') && mods == wxMOD_CONTROL)
            command = ID_FIND;
        else if (key == WXK_F3 && mods == wxMOD_NONE)
            command = ID_FIND_NEXT;
        else if (key == WXK_F3 && mods == wxMOD_SHIFT)
            command = ID_FIND_PREV;
        if (!command || !GetParent()) {
            event.Skip();
            return;
        }
        wxCommandEvent request(wxEVT_MENU, command);
        GetParent()->GetEventHandler()->ProcessEvent(request);
    });
}

void SearchList::setContext(TreePanel* tree, ArticleWindow* article, Database* db) {
    tree_ = tree;
    article_ = article;
    db_ = db;
    list_->setDocument(db);
}

void SearchList::setResults(std::unique_ptr<SearchRows> rows, const wxString& searchText,
                            bool caseSensitive) {
    searchText_ = searchText;
    caseSensitive_ = caseSensitive;
    list_->setRows(std::move(rows));
    // The first hit is the current row: Enter or Go to jumps to it, Down
    // goes to the second.
    if (list_->rowCount() > 0) {
        const long state = wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED;
        list_->SetItemState(0, state, state);
        list_->EnsureVisible(0);
    }
}

void SearchList::forgetNodes(const std::vector<int>& ids) {
    if (SearchRows* rows = list_->rows()) {
        rows->forgetNodes(ids);
        list_->Refresh();
    }
}

void SearchList::jumpTo(long row) {
    SearchRows* rows = list_->rows();
    if (!rows || row < 0 || !tree_ || !article_ || !db_) return;
    Block* node = rows->nodeOf(static_cast<size_t>(row), *db_);
    if (!node) return; // deleted since the search
    if (article_->node() != node) {
        if (tree_->locateNode(node->id(), false).IsOk()) {
            tree_->selectNode(node);
        } else if (wxWindow* frame = GetParent()) {
            // Another category: the main window switches to the top one and
            // shows the node before anything is selected.
            wxCommandEvent request(wxEVT_MENU, ID_SELECT_IN_TOP_CATEGORY);
            request.SetExtraLong(node->id());
            frame->GetEventHandler()->ProcessEvent(request);
        }
    }
    // Never select text in an article the node did not make it into.
    if (article_->node() != node) return;
    const int pos = rows->at(static_cast<size_t>(row)).pos;
    if (pos < 0) return; // a title hit only shows the node
    if (article_->getMimeType() == wxS("text/html")) article_->setView(ArticleWindow::MODE_EDITOR);
    if (article_->mode() != ArticleWindow::MODE_EDITOR || !article_->editor()) return;
    // The note may have been edited since the search: the hit is looked up
    // again in the text as it is now, nearest to where it was.
    const SearchRows::Row& hit = rows->at(static_cast<size_t>(row));
    const auto [from, to] =
        SearchRows::currentHit(article_->editor()->GetValue(), searchText_, caseSensitive_,
                               hit.pos, hit.length);
    if (from < 0) {
        showMessage(fillPlaceholders(text("s.NotFound"), {searchText_}), text("s.Title"),
                    MSG_OK | MSG_ICON_INFO, this);
        return;
    }
    article_->setSelection(from, to);
    // The hit's line goes to the middle of the editor, or of the part of it
    // this window does not cover.
    TextWindow* editor = article_->editor();
    const wxRect view = editor->GetScreenRect(), cover = GetScreenRect();
    const bool covers = IsShown() && view.Intersects(cover);
    editor->showCaretLineAt(SearchRows::hitLineAlignment(
        view.y, view.height, covers ? cover.y : 0, covers ? cover.GetBottom() + 1 : 0));
    article_->notifyStateChanged(); // the caret's line in the status bar
}

void SearchList::onActivated(wxListEvent& event) {
    jumpTo(event.GetIndex());
}

void SearchList::onClear(wxCommandEvent&) {
    list_->setRows(nullptr);
}

void SearchList::onJump(wxCommandEvent&) {
    const long row = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (row >= 0) jumpTo(row);
}

void SearchList::onCloseButton(wxCommandEvent&) {
    Close();
}

void SearchList::onClose(wxCloseEvent& event) {
    const wxRect r = GetScreenRect();
    const int values[4] = {r.x, r.y, r.width, r.height};
    settings().setIntArray(wxS("schframe"), values, 4);
    if (list_->rowCount() > 0 && event.CanVeto()) {
        Hide(); // "Search results" shows the same hits again
        return;
    }
    if (owner_ && *owner_ == this) *owner_ = nullptr;
    owner_ = nullptr;
    Destroy();
}

} // namespace qn
