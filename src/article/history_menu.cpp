#include "article/history_menu.h"

#include "article/article_history.h"
#include "store/database.h"
#include "ui/command_ids.h"
#include "ui/node_model.h"
#include "ui/quil_menu.h"
#include "ui/tree_icons.h"

#include <wx/imaglist.h>

namespace qn {

QuilMenu* showHistoryMenu(wxWindow* target, wxWindow* anchor, ArticleHistory& history, Database& db,
                          uint32_t shownNodeId) {
    if (history.empty()) return nullptr;
    const std::vector<int> indices = historyMenuIndices(history, kHistoryMenuRows);
    int base = indices.back();
    history.setMenuBase(base);
    auto* menu = new QuilMenu(target);
    wxImageList* images = treeImageList();
    for (int index : indices) {
        const ArticleHistory::Entry& entry = history.at(static_cast<size_t>(index));
        Block* node = db.findBlock(static_cast<int>(entry.nodeId));
        if (!node || !node->isNode()) continue;
        wxBitmap icon;
        const int image = iconIndexOf(node->getString(K_i));
        if (images && image >= 0 && image < images->GetImageCount())
            icon = images->GetBitmap(image);
        menu->addItem(ID_HISTORY_FIRST + (index - base), node->getString(K_cap), icon,
                      entry.nodeId != shownNodeId);
    }
    if (menu->items().empty()) {
        menu->Destroy();
        return nullptr;
    }
    menu->popup(anchor->GetScreenPosition() + wxPoint(0, 25));
    return menu;
}

int historyIndexForCommand(const ArticleHistory& history, int commandId) {
    if (commandId < ID_HISTORY_FIRST || commandId > ID_HISTORY_LAST) return -1;
    const int index = history.menuBase() + (commandId - ID_HISTORY_FIRST);
    return index < static_cast<int>(history.size()) ? index : -1;
}

} // namespace qn
