#include "search/find_history.h"

namespace qn {

wxArrayString& FindHistory::searchHistory() {
    static wxArrayString list;
    return list;
}

wxArrayString& FindHistory::replaceHistory() {
    static wxArrayString list;
    return list;
}

void FindHistory::addToHistory(wxArrayString& list, const wxString& text) {
    if (list.Index(text, true) == wxNOT_FOUND) list.Insert(text, 0);
}

bool& FindHistory::caseSensitive() {
    static bool flag = false;
    return flag;
}

bool& FindHistory::global() {
    static bool flag = true;
    return flag;
}

} // namespace qn
