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

#include <wx/frame.h>
#include <wx/log.h>
#include <wx/progdlg.h>
#include <wx/utils.h>

#include <chrono>

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
    long length = 0;
    const long pos =
        findForward(article->node()->text(), pattern, 0, article->caseSensitive(), &length);
    if (pos < 0) {
        showMessage(fillPlaceholders(text("s.NotFound"), {pattern}), text("s.Title"),
                    MSG_OK | MSG_ICON_ERROR, article);
        return -1;
    }
    // The hit is shown where it can be selected: in the source.
    article->setView(ArticleWindow::MODE_EDITOR);
    article->showPosition(pos);
    article->setSelection(pos, pos + length);
    article->notifyStateChanged();
    return pos;
}

SearchList* runGlobalSearch(const FindTargets& t, const wxString& searchText, bool caseSensitive) {
    auto rows = std::make_unique<SearchRows>();
    rows->setGoneLabel(text("sch.gone"));
    bool cancelled = false;
    {
        wxBusyCursor busy;
        // The limit is read before every search: the preferences may have
        // changed it.
        t.db->setMaxSearchCount(settings().getInt(wxS("maxSearchCount")));
        // A search that takes a while shows how far it got and may be
        // cancelled (its button or Escape).
        using Clock = std::chrono::steady_clock;
        const Clock::time_point started = Clock::now();
        Clock::time_point shown;
        std::unique_ptr<wxGenericProgressDialog> progress;
        size_t nodes = 0;
        auto keepGoing = [&](size_t hits) {
            if (++nodes % 64 != 0) return true;
            const Clock::time_point now = Clock::now();
            if (!progress) {
                if (now - started < std::chrono::milliseconds(400)) return true;
                progress = std::make_unique<wxGenericProgressDialog>(
                    text("s.Title"), fillPlaceholders(text("s.Searching"), {searchText}), 100,
                    t.frame, wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_ELAPSED_TIME);
            } else if (now - shown < std::chrono::milliseconds(100)) {
                return true;
            }
            shown = now;
            const wxString count = wxString::Format(wxS("%zu"), hits);
            const wxString found = hits == 1 ? fillPlaceholders(text("s.SearchingHit1"), {count})
                                             : fillPlaceholders(text("s.SearchingHits"), {count});
            if (!progress->Pulse(found)) cancelled = true;
            return !cancelled;
        };
        t.db->search(
            searchText, caseSensitive, [&](const SearchHit& hit) { rows->add(hit); }, keepGoing);
    }
    const StoreError failure = t.db->lastError();
    const bool noHits = rows->empty();
    if (cancelled) wxLogMessage(wxS("search cancelled by the user after %zu hits"), rows->size());

    auto* list = dynamic_cast<SearchList*>(*t.searchList);
    if (!list) {
        int r[4] = {140, 420, 640, 260};
        settings().getIntArray(wxS("schframe"), r, 4);
        list = new SearchList(t.frame, wxID_ANY, wxPoint(r[0], r[1]), wxSize(r[2], r[3]),
                              t.searchList);
        *t.searchList = list;
    }
    list->setContext(t.tree, t.article, t.db);
    list->setResults(std::move(rows), searchText, caseSensitive);
    list->Show();
    list->Raise();
    // The user goes through the hits with the keyboard at once.
    list->list()->SetFocus();
    // The hits found before a read failed are shown, and the user is told
    // that the list is not complete.
    if (failure) {
        showMessage(failure.message, text("s.Title"), MSG_OK | MSG_ICON_ERROR, t.frame);
    } else if (cancelled) {
        if (auto* frame = dynamic_cast<wxFrame*>(t.frame))
            frame->SetStatusText(text("s.SearchCancelled"), 0);
    } else if (noHits) {
        showMessage(fillPlaceholders(text("s.NotFound"), {searchText}), text("s.Title"),
                    MSG_OK | MSG_ICON_INFO, list);
    }
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
