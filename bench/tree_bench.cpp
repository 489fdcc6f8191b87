// Opening a node with 10,000 children in the desktop tree, on a document of
// the realistic mix (about 1 KB per note): the time from the expand request
// until every child row is inserted and the tree is drawn again.  Each run
// opens another node, so that every header is read from the file and none
// comes from memory.  Beside it, on the same file in the same run, the floor:
// SQLite alone reading the same 10,000 headers in one statement.
//
//   xvfb-run -a tree_bench [NODES] [RUNS]        (default 100000 and 3)
#include "gen_doc.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/text_constants.h"
#include "frame/main_frame.h"
#include "store/database.h"
#include "tree/tree_panel.h"

#include <wx/app.h>
#include <wx/init.h>

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

constexpr int kFanout = 10000;

double seconds(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// The headers of the children of `parent`, read by SQLite alone: the
// parent's header names them, one statement reads them all.
double sqliteFloor(const std::string& file, const std::vector<int>& ids) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    const auto t0 = Clock::now();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "select hdr from block where id between ?1 and ?2", -1, &st, nullptr);
    sqlite3_bind_int(st, 1, *std::min_element(ids.begin(), ids.end()));
    sqlite3_bind_int(st, 2, *std::max_element(ids.begin(), ids.end()));
    size_t rows = 0, bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        ++rows;
        bytes += static_cast<size_t>(sqlite3_column_bytes(st, 0));
    }
    sqlite3_finalize(st);
    const double s = seconds(t0);
    sqlite3_close(db);
    return rows == ids.size() && bytes > 0 ? s : -1;
}

} // namespace

int main(int argc, char** argv) {
    const int nodes = argc > 1 ? std::max(3 * kFanout, std::atoi(argv[1])) : 100000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "tree_bench needs a display (run it under xvfb-run -a)\n");
        return 2;
    }
    setenv("GSETTINGS_BACKEND", "memory", 0);
    setenv("NO_AT_BRIDGE", "1", 0);

    char homeTmpl[] = "/tmp/qn-tree-bench-XXXXXX";
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
            o.fanout = kFanout; // the root's children have 10,000 each
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
    TreePanel* tree = frame->treePanel();
    Database* db = &frame->database();

    const int available = std::min(runs, nodes / kFanout - 1);
    for (int run = 0; run < available; ++run) {
        const int parentId = 2 + run; // the root's children come first
        const wxTreeItemId item = tree->locateNode(parentId, false);
        Block* parent = item.IsOk() ? db->findBlock(parentId) : nullptr;
        if (!parent) {
            std::fprintf(stderr, "node %d is not in the tree\n", parentId);
            return 1;
        }
        const std::vector<int> ids = parent->getIntList(K_ch);
        // What the expand handler does first, timed on its own: the rows
        // inserted with their headers read; then the control lays out and
        // draws them.
        const auto t0 = Clock::now();
        tree->populateChildren(item);
        const double insert = seconds(t0);
        tree->Expand(item);
        tree->Update();
        wxTheApp->Yield(true);
        const double expand = seconds(t0);
        const size_t shown = tree->GetChildrenCount(item, false);
        const double floor = sqliteFloor(doc, ids);
        std::printf("expand %zu children: %.3f s (rows inserted %.3f s, laid out and drawn "
                    "%.3f s)   floor, SQLite reading their %zu headers: %.3f s\n",
                    shown, expand, insert, expand - insert, ids.size(), floor);
        tree->Collapse(item);
        wxTheApp->Yield(true);
    }

    frame->Destroy();
    wxTheApp->Yield(true);
    wxTheApp->OnExit();
    wxEntryCleanup();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
