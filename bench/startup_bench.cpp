// Start-up of the desktop program with a large document: the time from
// starting the process to a shown window that has finished its first round
// of events (tree loaded, article shown), and the peak memory then.
//
// The document has 100,000 nodes: the top node has 1,000 children with 99
// children each, and its saved view state opens the top node and three
// branches and selects a node in one of them.
//
//   xvfb-run -a startup_bench [RUNS]          (default 5)
//
// The child process runs the program's own start-up (MyApp) with the
// document on its command line, in a private application data directory.
#include "gen_doc.h"

#include "app/app_paths.h"
#include "desktop/my_app.h"
#include "frame/main_frame.h"
#include "store/database.h"
#include "tree/tree_panel.h"

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/init.h>

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

constexpr int kChildren = 1000;
constexpr int kGrandchildren = 99;

// The program, with a look at itself once the window is up.
class BenchApp : public MyApp {
public:
    bool OnInit() override {
        expectDocument_ = argc > 1;
        if (!MyApp::OnInit()) return false;
        Bind(wxEVT_IDLE, &BenchApp::onIdle, this);
        return true;
    }

private:
    void onIdle(wxIdleEvent& event) {
        MainFrame* frame = firstFrame();
        if (!frame || !frame->IsShownOnScreen() || (expectDocument_ && !frame->isDocumentOpen())) {
            event.RequestMore();
            return;
        }
        long headers = 0;
        for (const auto& entry : frame->database().blocks())
            if (entry.second->hasHeader()) ++headers;
        std::printf("ready %ld %u %ld\n", bench::peakRss(),
                    static_cast<unsigned>(frame->treePanel()->GetCount()), headers);
        std::fflush(stdout);
        std::_Exit(0); // the figures are taken; shutdown is not measured
    }

    bool expectDocument_ = false;
};

bool writeDocument(const std::string& file) {
    Database db;
    Block* root = db.newDocument();
    root->setString(K_cap, wxS("Large document"));
    const wxString body = wxString(wxS('x'), 1000);
    std::vector<int> branches;
    int selected = 0;
    for (int i = 0; i < kChildren; ++i) {
        Block* child = db.newNode(1);
        child->setString(K_cap, wxString::Format(wxS("Branch %d"), i));
        child->setText(body);
        root->editChildren(child->id(), CH_APPEND);
        std::vector<int> kids;
        for (int j = 0; j < kGrandchildren; ++j) {
            Block* leaf = db.newNode(child->id());
            leaf->setString(K_cap, wxString::Format(wxS("Note %d.%d"), i, j));
            leaf->setText(body);
            kids.push_back(leaf->id());
        }
        child->setIntList(K_ch, kids);
        if (i == 10 || i == 500 || i == 990) branches.push_back(child->id());
        if (i == 500) selected = kids[42];
    }
    std::vector<int> expanded{1};
    expanded.insert(expanded.end(), branches.begin(), branches.end());
    root->setIntList(K_grpexp, expanded);
    root->setInt(K_grpsel, selected);
    db.setString(K_grps, wxS("1"));
    db.setString(K_grp, wxS("1"));
    db.setPath(wxString::FromUTF8(file.c_str()));
    if (!db.save()) return false;
    db.close();
    return true;
}

// One start: seconds until the child reported, and what it reported.
bool startOnce(const char* self, const std::string& doc, double& seconds, long& peakBytes,
               long& items, long& headers) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        if (doc.empty())
            execl(self, self, "--child", static_cast<char*>(nullptr));
        else
            execl(self, self, "--child", doc.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char line[256] = {0};
    FILE* in = fdopen(fds[0], "r");
    const bool got = in && std::fgets(line, sizeof line, in) != nullptr;
    seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (in) fclose(in);
    int status = 0;
    waitpid(pid, &status, 0);
    return got && std::sscanf(line, "ready %ld %ld %ld", &peakBytes, &items, &headers) == 3;
}

} // namespace

// The program's application object is MyApp; this one adds the report.
qn::MyApp& wxGetApp() {
    return *static_cast<qn::MyApp*>(wxApp::GetInstance());
}
static wxAppConsole* createBenchApp() {
    wxAppConsole::CheckBuildOptions(WX_BUILD_OPTIONS_SIGNATURE, "startup_bench");
    return new BenchApp;
}
static wxAppInitializer benchAppInitializer(createBenchApp);

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--child") {
        // Without a document path: the empty window, for comparison.
        char* args[] = {argv[0], argc > 2 ? argv[2] : nullptr, nullptr};
        int n = argc > 2 ? 2 : 1;
        return wxEntry(n, args);
    }

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    wxInitializer init;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "startup_bench needs a display (run it under xvfb-run -a)\n");
        return 2;
    }

    // A private application data directory and runtime folder for the child.
    char homeTmpl[] = "/tmp/qn-startup-home-XXXXXX";
    char runTmpl[] = "/tmp/qn-startup-run-XXXXXX";
    const std::string home = mkdtemp(homeTmpl), run = mkdtemp(runTmpl);
    const wxString shipped = shippedDataDir();
    if (shipped.empty()) {
        std::fprintf(stderr, "the shipped configuration is not built\n");
        return 1;
    }
    std::error_code ec;
    std::filesystem::copy(shipped.utf8_string(), home, std::filesystem::copy_options::recursive,
                          ec);
    setenv("QUILLNEST_HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);

    const std::string doc = "/tmp/qn-startup-100000.q2db";
    if (!std::filesystem::exists(doc)) {
        const auto tg = Clock::now();
        if (!writeDocument(doc)) {
            std::fprintf(stderr, "could not write %s\n", doc.c_str());
            return 1;
        }
        std::printf("generated %s in %.1f s\n", doc.c_str(),
                    std::chrono::duration<double>(Clock::now() - tg).count());
    }
    std::printf("document: %d nodes, top node with %d children, %s bytes\n",
                1 + kChildren * (1 + kGrandchildren), kChildren,
                std::to_string(std::filesystem::file_size(doc)).c_str());

    for (const std::string& which : {doc, std::string()}) {
        std::vector<double> times;
        long peakBytes = 0, items = 0, headers = 0;
        for (int i = 0; i < runs; ++i) {
            double s = 0;
            if (!startOnce(argv[0], which, s, peakBytes, items, headers)) {
                std::fprintf(stderr, "the program did not report a usable window\n");
                return 1;
            }
            times.push_back(s);
        }
        std::sort(times.begin(), times.end());
        std::printf("%s\n",
                    which.empty() ? "without a document (for comparison):" : "with the document:");
        std::printf("  start to usable window: best %.0f ms, median %.0f ms (%d runs)\n",
                    times.front() * 1000, times[times.size() / 2] * 1000, runs);
        std::printf("  peak memory then: %.1f MB\n", peakBytes / (1024.0 * 1024.0));
        if (!which.empty())
            std::printf("  tree items loaded: %ld; node headers read: %ld\n", items, headers);
    }

    std::filesystem::remove_all(home, ec);
    std::filesystem::remove_all(run, ec);
    return 0;
}
