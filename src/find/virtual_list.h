// The list of the global search: a virtual report list that asks its rows
// for the text of the visible cells only, so a long result costs no window
// per hit.
#pragma once

#include "find/search_rows.h"

#include <wx/listctrl.h>

#include <memory>

namespace qn {

class VirtualList : public wxListCtrl {
public:
    static constexpr int ID_LIST = 300;

    explicit VirtualList(wxWindow* parent);

    // The document the rows belong to (for the node titles).
    void setDocument(Database* db) { db_ = db; }
    // Shows these rows (the list owns them); null or empty shows none.
    void setRows(std::unique_ptr<SearchRows> rows);
    SearchRows* rows() const { return rows_.get(); }
    size_t rowCount() const { return rows_ ? rows_->size() : 0; }

protected:
    wxString OnGetItemText(long item, long column) const override;

private:
    std::unique_ptr<SearchRows> rows_;
    Database* db_ = nullptr;
};

} // namespace qn
