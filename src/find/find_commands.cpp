#include "find/find_commands.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "article/article_window.h"
#include "article/text_search.h"
#include "article/text_window.h"
#include "find/search_list.h"
#include "search/find_dialogs.h"
#include "store/database.h"
#include "ui/my_message.h"

#include <wx/utils.h>

#include <memory>

namespace qn {

bool canReplace(const ArticleWindow* article) {
    if (!article || article->mode() != ArticleWindow::MODE_EDITOR) return false;
    const TextWindow* editor = article->editor();
    return editor && editor->node() && !editor->isLocked() && editor->IsEditable();
}

long findInArticle(ArticleWindow* article) {
    if (article->mode() != ArticleWindow::MODE_HTML || !article->node())
        return article->findFirst();
    const wxString& pattern = article->searchText();
    const long pos = findForward(article->node()->text(), pattern, 0, article->caseSensitive());
    if (pos < 0) {
        showMessage(fillPlaceholders(text("s.NotFound"), {pattern}), text("s.Title"),
                    MSG_OK | MSG_ICON_ERROR, article);
        return -1;
    }
    // The hit is shown where it can be selected: in the source.
    article->setView(ArticleWindow::MODE_EDITOR);
    article->showPosition(pos);
    article->setSelection(pos, pos + static_cast<long>(pattern.length()));
    article->notifyStateChanged();
    return pos;
}

SearchList* runGlobalSearch(const FindTargets& t, const wxString& searchText, bool caseSensitive) {
    auto rows = std::make_unique<SearchRows>();
    {
        wxBusyCursor busy;
        // The limit is read before every search: the preferences may have
        // changed it.
        t.db->setMaxSearchCount(settings().getInt(wxS("maxSearchCount")));
        t.db->search(searchText, caseSensitive, [&](const SearchHit& hit) { rows->add(hit); });
    }
    const StoreError failure = t.db->lastError();

    auto* list = dynamic_cast<SearchList*>(*t.searchList);
    if (!list) {
        int r[4] = {140, 420, 640, 260};
        settings().getIntArray(wxS("schframe"), r, 4);
        list = new SearchList(t.frame, wxID_ANY, wxPoint(r[0], r[1]), wxSize(r[2], r[3]),
                              t.searchList);
        *t.searchList = list;
    }
    list->setContext(t.tree, t.article, t.db);
    list->setResults(std::move(rows), searchText);
    list->Show();
    list->Raise();
    // The user goes through the hits with the keyboard at once.
    list->list()->SetFocus();
    // The hits found before a read failed are shown, and the user is told
    // that the list is not complete.
    if (failure) showMessage(failure.message, text("s.Title"), MSG_OK | MSG_ICON_ERROR, t.frame);
    return list;
}

void runFindCommand(const FindTargets& t) {
    if (!t.db || !t.db->isOpen() || !t.article) return;
    wxString searchText;
    bool global = false, caseSensitive = false;
    {
        FindDialog dialog(t.frame, wxID_ANY);
        if (dialog.ShowModal() != FIND_OK) return;
        searchText = dialog.searchText();
        global = dialog.isGlobal();
        caseSensitive = dialog.isCaseSensitive();
    }
    if (searchText.empty()) return;
    t.article->commitText();
    t.article->setSearch(searchText, caseSensitive);
    if (global)
        runGlobalSearch(t, searchText, caseSensitive);
    else
        findInArticle(t.article);
}

void runReplaceCommand(const FindTargets& t) {
    if (!t.db || !t.db->isOpen() || !canReplace(t.article)) return;
    wxString searchText, replacement;
    {
        ReplaceDialog dialog(t.frame, wxID_ANY);
        if (dialog.ShowModal() != FIND_OK) return;
        searchText = dialog.searchText();
        replacement = dialog.replacementText();
    }
    if (searchText.empty()) return;
    t.article->editor()->replaceInteractive(searchText, replacement);
}

} // namespace qn
