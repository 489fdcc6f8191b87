// The history menu of the caption bar's icon button.
#pragma once

#include <cstdint>

class wxWindow;

namespace qn {

class ArticleHistory;
class Database;
class QuilMenu;

// Rows the menu can address: ID_HISTORY_FIRST to ID_HISTORY_LAST.
constexpr int kHistoryMenuRows = 90;

// Lists the entries nearest to the current one, newest first, each with its
// node's icon and title; the node shown now is listed but cannot be chosen.
// Entries whose node is gone are left out.  Nothing opens for an empty
// history.  Commands go to `target`; the menu opens 25 pixels below
// `anchor`.  Returns the menu shown (it destroys itself), or null.
QuilMenu* showHistoryMenu(wxWindow* target, wxWindow* anchor, ArticleHistory& history, Database& db,
                          uint32_t shownNodeId);

// The history index a menu command id stands for; -1 when it names none.
int historyIndexForCommand(const ArticleHistory& history, int commandId);

} // namespace qn
