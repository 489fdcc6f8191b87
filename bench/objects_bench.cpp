// The object manager's question before a remove reads every article to
// count those that show the objects: its time on 10,000 and 100,000 nodes
// of about 1 KB, beside the sqlite3 shell reading every body once.
//
//   objects_bench [N ...]        (default: 10000 100000)
#include "gen_doc.h"

#include "objects/object_rows.h"
#include "store/database.h"

#include <wx/filename.h>
#include <wx/init.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace qn;
using Clock = std::chrono::steady_clock;

namespace {

template <class F> double bestOf(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

void run(int nodes, bool compressed) {
    const std::string file =
        "/tmp/qn-objects-bench-" + std::to_string(nodes) + (compressed ? "-z" : "") + ".q2db";
    const wxString path = wxString::FromUTF8(file.c_str());
    bench::GenOptions opt;
    opt.nodes = nodes;
    opt.compressed = compressed;
    if (!bench::generateDocument(path, opt)) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        return;
    }
    const std::string shell =
        "sqlite3 '" + file + "' 'select sum(length(body)) from block' > /dev/null";
    const double floor = bestOf(3, [&] {
        if (std::system(shell.c_str()) != 0) std::fprintf(stderr, "sqlite3 failed\n");
    });
    Database db;
    const double open = bestOf(1, [&] { db.open(path); });
    int found = 0;
    const double count = bestOf(3, [&] { found = articlesReferring(db, {nodes + 1}); });
    std::printf("%7d nodes%s: articles showing an object %8.1f ms (found %d; open %.1f ms); "
                "sqlite3 reading every body %8.1f ms\n",
                nodes, compressed ? ", compressed" : "", count * 1000, found, open * 1000,
                floor * 1000);
    db.close();
    wxRemoveFile(path);
}

} // namespace

int main(int argc, char** argv) {
    wxInitializer init;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {10000, 100000};
    for (int n : sizes) {
        run(n, false);
        run(n, true);
    }
}
