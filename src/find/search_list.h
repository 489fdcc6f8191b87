// The window of the global search results: the list of hits and the
// buttons Clear, Go to and Close.  Activating a row shows the hit's node
// (switching to the top category when needed) and selects the hit.
#pragma once

#include "find/virtual_list.h"

#include <wx/minifram.h>

#include <memory>
#include <vector>

namespace qn {

class ArticleWindow;
class TreePanel;

class SearchList : public wxMiniFrame {
public:
    static constexpr int ID_CLEAR = 5034;
    static constexpr int ID_JUMP = 301;
    static constexpr int ID_CLOSE_LIST = 5001;

    // `ownerSlot` is the main window's reference to this window: the
    // window empties it when it goes away by itself (closed while empty).
    SearchList(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
               wxWindow** ownerSlot);

    // The parts of the main window a jump uses (not owned).
    void setContext(TreePanel* tree, ArticleWindow* article, Database* db);
    // New hits for the search text `searchText`; the old ones go.
    void setResults(std::unique_ptr<SearchRows> rows, const wxString& searchText,
                    bool caseSensitive);
    // Shows the node of row `row` and selects its hit.
    void jumpTo(long row);
    // These nodes were deleted: their rows lead nowhere.
    void forgetNodes(const std::vector<int>& ids);
    // The main window goes away without this window: it must not be told.
    void releaseOwner() { owner_ = nullptr; }

    VirtualList* list() const { return list_; }

private:
    void onActivated(wxListEvent& event);
    void onClear(wxCommandEvent& event);
    void onJump(wxCommandEvent& event);
    void onCloseButton(wxCommandEvent& event);
    void onClose(wxCloseEvent& event);

    VirtualList* list_ = nullptr;
    wxString searchText_;
    bool caseSensitive_ = false;
    TreePanel* tree_ = nullptr;
    ArticleWindow* article_ = nullptr;
    Database* db_ = nullptr;
    wxWindow** owner_ = nullptr;
};

} // namespace qn
