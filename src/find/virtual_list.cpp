#include "find/virtual_list.h"

#include "app/text_constants.h"

namespace qn {

VirtualList::VirtualList(wxWindow* parent)
    : wxListCtrl(parent, ID_LIST, wxDefaultPosition, wxDefaultSize,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL, wxDefaultValidator,
                 wxS("listCtrl")) {
    AppendColumn(text("sch.No"), wxLIST_FORMAT_LEFT, 40);
    AppendColumn(text("sch.node"), wxLIST_FORMAT_LEFT, 120);
    AppendColumn(text("sch.string"), wxLIST_FORMAT_LEFT, 300);
}

void VirtualList::setRows(std::unique_ptr<SearchRows> rows) {
    rows_ = rows && !rows->empty() ? std::move(rows) : nullptr;
    SetItemCount(static_cast<long>(rowCount()));
    Refresh();
}

wxString VirtualList::OnGetItemText(long item, long column) const {
    if (!rows_ || !db_ || item < 0) return wxString();
    return rows_->cellText(static_cast<size_t>(item), static_cast<int>(column), *db_);
}

} // namespace qn
