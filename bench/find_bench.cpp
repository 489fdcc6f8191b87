// Global Find in the desktop program on a document of 50,000 notes of the
// realistic mix (about 1 KB each, 6 % non-ASCII words): the time from Enter
// in the Find dialog to the result list filled and shown, for a rare word
// (about 1 % of the notes) and for a common one without a hit limit, with
// the two SQLite floors measured on the same file in the same run.
//
// Then the editor on the same document: opening a note of 5,000,000
// characters made of the document's own articles (from selecting it to its
// first screen drawn), and key to screen (a key pressed in the middle of the
// text until the text has it and the window is drawn again) in that note
// beside a short note, in the same run.
//
//   xvfb-run -a find_bench [NODES] [RUNS]        (default 50000 and 3)
#include "gen_doc.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "article/article_window.h"
#include "article/text_window.h"
#include "find/search_list.h"
#include "frame/main_frame.h"
#include "search/find_dialogs.h"
#include "store/database.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/init.h>
#include <wx/modalhook.h>
#include <wx/uiaction.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace qn;
using Clock = std::chrono::steady_clock;

namespace {

class BenchApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

// Answers the Find dialog as the user does: the word typed, the global
// option on, Enter.  The clock starts when the dialog ends.
class EnterFind : public wxModalDialogHook {
public:
    wxString word;
    Clock::time_point enter;

protected:
    int Enter(wxDialog* dialog) override {
        auto* find = dynamic_cast<FindDialog*>(dialog);
        if (!find) return wxID_CANCEL;
        find->searchBox()->SetValue(word);
        find->globalBox()->SetValue(true);
        find->caseBox()->SetValue(false);
        find->accept();
        enter = Clock::now();
        return find->GetReturnCode();
    }
    void Exit(wxDialog*) override {}
};

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Selects the node in the tree and waits until the editor shows it and has
// drawn its first screen.
double openNote(MainFrame* frame, Block* node) {
    const auto t0 = Clock::now();
    frame->treePanel()->selectNode(node);
    ArticleWindow* article = frame->articleWindow();
    while (article->node() != node)
        wxTheApp->Yield(true);
    article->editor()->Update();
    return seconds(t0);
}

// The moment a key reaches the program (the clock of key to screen).
class KeyClock : public wxEventFilter {
public:
    Clock::time_point down;
    KeyClock() { wxEvtHandler::AddFilter(this); }
    ~KeyClock() override { wxEvtHandler::RemoveFilter(this); }
    int FilterEvent(wxEvent& event) override {
        if (event.GetEventType() == wxEVT_KEY_DOWN) down = Clock::now();
        return Event_Skip;
    }
};

// Key to screen for `keys` keys typed in the middle of the shown note
// (words of four letters and a space); the milliseconds of each key, sorted.
std::vector<double> typeKeys(TextWindow* editor, int keys) {
    editor->SetFocus();
    editor->SetInsertionPoint(editor->GetLastPosition() / 2);
    wxTheApp->Yield(true);
    wxUIActionSimulator sim;
    KeyClock clock;
    std::vector<double> ms;
    for (int i = 0; i < keys; ++i) {
        const long before = editor->GetLastPosition();
        const int key = i % 5 == 4 ? ' ' : 'a' + i % 26;
        sim.Char(key);
        while (editor->GetLastPosition() == before)
            wxTheApp->Yield(true);
        editor->Update();
        ms.push_back(seconds(clock.down) * 1000.0);
    }
    std::sort(ms.begin(), ms.end());
    return ms;
}

// Best time of a statement over the file (the floors).
double sqliteFloor(const std::string& file, const char* sql, int runs) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        sqlite3* db = nullptr;
        const auto t0 = Clock::now();
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) break;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                for (int c = 0; c < sqlite3_column_count(st); ++c)
                    (void)sqlite3_column_int64(st, c);
            }
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        best = std::min(best, seconds(t0));
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const int nodes = argc > 1 ? std::max(2, std::atoi(argv[1])) : 50000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "find_bench needs a display (run it under xvfb-run -a)\n");
        return 2;
    }
    setenv("GSETTINGS_BACKEND", "memory", 0);
    setenv("NO_AT_BRIDGE", "1", 0);

    char homeTmpl[] = "/tmp/qn-find-bench-XXXXXX";
    const std::string home = mkdtemp(homeTmpl);
    const std::string doc = home + "/notes.q2db";
    {
        // Written by a child process, so that the figures below are this
        // program's own.
        const auto tg = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            bench::GenOptions o;
            o.nodes = nodes;
            _exit(bench::generateDocument(wxString::FromUTF8(doc.c_str()), o) ? 0 : 1);
        }
        int status = 1;
        waitpid(pid, &status, 0);
        if (pid < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "could not write %s\n", doc.c_str());
            return 1;
        }
        std::printf("document: %d notes, %s bytes (generated in %.1f s)\n", nodes,
                    std::to_string(std::filesystem::file_size(doc)).c_str(), seconds(tg));
    }

    wxApp::SetInstance(new BenchApp);
    int wxArgc = 1;
    if (!wxEntryStart(wxArgc, argv)) return 1;
    wxTheApp->CallOnInit();
    const wxString dataDir = wxString::FromUTF8((home + "/data/").c_str());
    wxString error;
    if (!prepareAppDataDir(dataDir, &error)) {
        std::fprintf(stderr, "no application data directory: %s\n", error.utf8_string().c_str());
        return 1;
    }
    setAppDataDir(dataDir);
    if (loadConfig(appDataDir(), wxS("en")) != ConfigStatus::Ok) {
        std::fprintf(stderr, "the configuration did not load\n");
        return 1;
    }

    auto* frame = MainFrame::createFromSettings(text("s.Title"));
    frame->Show();
    if (!frame->openOrCreate(wxString::FromUTF8(doc.c_str()))) {
        std::fprintf(stderr, "could not open %s\n", doc.c_str());
        return 1;
    }
    wxTheApp->Yield(true);

    EnterFind hook;
    hook.Register();
    const struct {
        const char* word;
        const char* limit; // "maxSearchCount"
        const char* what;
    } searches[] = {
        {bench::kRareWord, "500", "rare word, shipped hit limit"},
        {bench::kCommonWord, "0", "common word, no hit limit"},
    };
    for (const auto& s : searches) {
        settings().set(wxS("maxSearchCount"), wxString::FromUTF8(s.limit));
        hook.word = wxString::FromUTF8(s.word);
        std::vector<double> times;
        long hits = 0;
        for (int i = 0; i < runs; ++i) {
            wxCommandEvent find(wxEVT_MENU, ID_FIND);
            frame->ProcessWindowEvent(find);
            auto* list = dynamic_cast<SearchList*>(frame->searchList());
            // Filled and on the screen, its visible rows drawn.
            while (!list || !list->IsShownOnScreen())
                wxTheApp->Yield(true);
            list->Update();
            wxTheApp->Yield(true);
            times.push_back(seconds(hook.enter));
            hits = list->list()->GetItemCount();
        }
        std::sort(times.begin(), times.end());
        std::printf("Find \"%s\" (%s): %ld hits, Enter to filled list best %.3f s, median %.3f s "
                    "(%d runs), peak memory %.0f MB\n",
                    s.word, s.what, hits, times.front(), times[times.size() / 2], runs,
                    bench::peakRss() / (1024.0 * 1024.0));
    }
    hook.Unregister();

    {
        // A long note made of the document's own articles, and a short one.
        Database& db = frame->database();
        wxString body;
        constexpr long kLong = 5000000;
        for (uint32_t id = 2; static_cast<long>(body.length()) < kLong; ++id) {
            Block* b = db.getBlock(id);
            if (!b) break;
            body += b->text();
            body += wxS("\n\n");
        }
        body.Truncate(kLong);
        Block* big = db.newNode(1);
        big->setString(K_cap, wxS("long note"));
        big->setText(body);
        db.getBlock(1)->editChildren(big->id(), CH_APPEND);
        body.clear();
        Block* shortNote = db.getBlock(2);
        const long rss0 = bench::currentRss();
        std::vector<double> opens;
        for (int i = 0; i < runs; ++i) {
            openNote(frame, shortNote);
            opens.push_back(openNote(frame, big));
        }
        std::sort(opens.begin(), opens.end());
        std::printf("open a note of %ld characters: best %.3f s, median %.3f s (%d runs), "
                    "memory +%.0f MB\n",
                    frame->articleWindow()->editor()->GetLastPosition(), opens.front(),
                    opens[opens.size() / 2], runs,
                    (bench::currentRss() - rss0) / (1024.0 * 1024.0));
        const int keys = 60;
        TextWindow* editor = frame->articleWindow()->editor();
        // Right after opening, the text view still lays out the rest of the
        // text while idle: keys then wait for those slices too.
        const std::vector<double> earlyKeys = typeKeys(editor, keys);
        const auto t0 = Clock::now();
        while (wxTheApp->Pending()) {
            wxTheApp->Dispatch();
            wxTheApp->ProcessIdle();
        }
        const double settle = seconds(t0);
        const std::vector<double> longKeys = typeKeys(editor, keys);
        editor->commitEdits();
        const double shortOpen = openNote(frame, shortNote);
        const std::vector<double> shortKeys = typeKeys(frame->articleWindow()->editor(), keys);
        std::printf("open the short note (%ld characters): %.3f s\n",
                    frame->articleWindow()->editor()->GetLastPosition(), shortOpen);
        const auto row = [&](const char* what, const std::vector<double>& ms) {
            std::printf("key to screen, %s: median %.2f ms, 90th percentile %.2f ms, "
                        "max %.2f ms (%d keys)\n",
                        what, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(), keys);
        };
        std::printf("the text view finished its layout %.3f s after the first keys\n", settle);
        row("long note, right after opening", earlyKeys);
        row("long note, layout done", longKeys);
        row("short note", shortKeys);
        std::printf("long / short (medians): %.2fx\n",
                    longKeys[longKeys.size() / 2] / shortKeys[shortKeys.size() / 2]);
        frame->articleWindow()->editor()->commitEdits();
    }

    std::printf("floors on the same file: select sum(length(body)) %.3f s; "
                "select id, type, attr %.3f s\n",
                sqliteFloor(doc, "select sum(length(body)) from block", runs),
                sqliteFloor(doc, "select id, type, attr from block", runs));

    frame->Destroy();
    wxTheApp->Yield(true);
    unloadConfig();
    wxEntryCleanup();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
