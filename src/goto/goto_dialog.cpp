#include "goto/goto_dialog.h"

#include "app/text_constants.h"
#include "store/database.h"
#include "ui/command_ids.h"

#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace qn {

namespace {
// Nodes read between two looks at the event queue.
const std::size_t kSlice = 4000;
} // namespace

// Shows the current matches of the index; asks only for visible rows.
class GotoList : public wxListCtrl {
public:
    GotoList(wxWindow* parent, TitleIndex& index)
        : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxSize(560, 320),
                     wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL),
          index_(index) {
        AppendColumn(text(wxS("s.GotoTitle")), wxLIST_FORMAT_LEFT, 240);
        AppendColumn(text(wxS("s.GotoPath")), wxLIST_FORMAT_LEFT, 300);
    }
    void update() {
        SetItemCount(static_cast<long>(index_.matches().size()));
        if (GetItemCount() > 0) {
            long sel = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
            if (sel < 0 || sel >= GetItemCount()) select(0);
        }
        Refresh();
    }
    void select(long row) {
        if (GetItemCount() == 0) return;
        row = std::max(0L, std::min<long>(row, GetItemCount() - 1));
        SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                     wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        EnsureVisible(row);
    }
    long selected() const { return GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); }

protected:
    wxString OnGetItemText(long item, long column) const override {
        const auto& m = index_.matches();
        if (item < 0 || static_cast<std::size_t>(item) >= m.size()) return wxString();
        return column == 0 ? index_.title(m[static_cast<std::size_t>(item)])
                           : index_.parentPath(m[static_cast<std::size_t>(item)], false);
    }

private:
    TitleIndex& index_;
};

GotoDialog::GotoDialog(wxWindow* parent, Database& document)
    : wxDialog(parent, wxID_ANY, text(wxS("s.GotoCaption")), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      index_(document) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, text(wxS("s.GotoPrompt"))), 0,
               wxLEFT | wxRIGHT | wxTOP, 10);
    query_ = new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                            wxTE_PROCESS_ENTER);
    sizer->Add(query_, 0, wxEXPAND | wxALL, 10);
    list_ = new GotoList(this, index_);
    sizer->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 10);
    count_ = new wxStaticText(this, wxID_ANY, wxString());
    sizer->Add(count_, 0, wxEXPAND | wxALL, 10);
    SetSizerAndFit(sizer);
    CentreOnParent();
    // The dialog has no Cancel button for the toolkit to press on Escape.
    // Outside a modal loop (a test answering the dialog) only the code is set.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() != WXK_ESCAPE || event.GetModifiers() != wxMOD_NONE)
            event.Skip();
        else if (IsModal())
            EndModal(wxID_CANCEL);
        else
            SetReturnCode(wxID_CANCEL);
    });

    query_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { refilter(); });
    query_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { accept(); });
    query_->Bind(wxEVT_KEY_DOWN, &GotoDialog::onKey, this);
    list_->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent&) { accept(); });
    Bind(wxEVT_IDLE, &GotoDialog::onIdle, this);
    // The first slice at once: a small document is complete before the
    // dialog shows; a large one goes on between events.
    index_.readMore(kSlice);
    refilter();
    query_->SetFocus();
}

GotoDialog::~GotoDialog() {
    DestroyChildren();
}

wxListCtrl* GotoDialog::list() const {
    return list_;
}

void GotoDialog::refilter() {
    index_.filter(query_->GetValue());
    list_->update();
    showCount();
}

void GotoDialog::showCount() {
    wxString line = wxString::Format(wxS("%zu / %zu"), index_.matches().size(), index_.size());
    if (!index_.complete()) line += wxS("  ") + text(wxS("s.GotoReading"));
    if (!index_.error().empty()) line += wxS("  ") + index_.error();
    count_->SetLabel(line);
}

void GotoDialog::readAll() {
    while (!index_.readMore(kSlice)) {
    }
    refilter();
}

void GotoDialog::onIdle(wxIdleEvent& event) {
    event.Skip();
    if (index_.complete()) return;
    index_.readMore(kSlice);
    refilter();
    if (!index_.complete()) event.RequestMore();
}

void GotoDialog::onKey(wxKeyEvent& event) {
    const long row = list_->selected();
    const long page = std::max(1, list_->GetCountPerPage());
    switch (event.GetKeyCode()) {
    case WXK_DOWN:
        list_->select(row + 1);
        break;
    case WXK_UP:
        list_->select(row - 1);
        break;
    case WXK_PAGEDOWN:
        list_->select(row + page);
        break;
    case WXK_PAGEUP:
        list_->select(row - page);
        break;
    default:
        event.Skip();
        break;
    }
}

int GotoDialog::chosenNode() const {
    const long row = list_->selected();
    const auto& m = index_.matches();
    if (row < 0 || static_cast<std::size_t>(row) >= m.size()) return 0;
    return index_.nodeId(m[static_cast<std::size_t>(row)]);
}

void GotoDialog::accept() {
    if (chosenNode() != 0) EndModal(wxID_OK);
}

void showGotoNode(wxWindow* frame, Database& db) {
    GotoDialog dialog(frame, db);
    if (dialog.ShowModal() != wxID_OK) return;
    // As a link does it: the whole tree's category, then the node.
    auto* select = new wxCommandEvent(wxEVT_MENU, ID_SELECT_IN_TOP_CATEGORY);
    select->SetExtraLong(dialog.chosenNode());
    frame->GetEventHandler()->QueueEvent(select);
}

} // namespace qn
