// "Go to note" on a large document: reading every title (in the slices the
// dialog reads between events) and filtering as the user types, one
// keystroke at a time, including the rows a list shows.
//
//   goto_bench [NODES]          (default 100000)
#include "gen_doc.h"

#include "goto/title_index.h"
#include "store/database.h"

#include <wx/init.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace qn;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Filters for `query` as typed (every prefix), then erased again; the time
// of each keystroke, the visible rows included.
void typeAndErase(TitleIndex& index, const wxString& query, std::vector<double>& times,
                  std::size_t& lastMatches) {
    auto keystroke = [&](const wxString& text) {
        const auto t0 = Clock::now();
        const auto& m = index.filter(text);
        // What a list of 25 visible rows asks for.
        for (std::size_t r = 0; r < std::min<std::size_t>(25, m.size()); ++r) {
            index.title(m[r]);
            index.parentPath(m[r], false);
        }
        times.push_back(msSince(t0));
        lastMatches = m.size();
    };
    for (std::size_t n = 1; n <= query.length(); ++n)
        keystroke(query.Left(n));
    const std::size_t full = lastMatches;
    for (std::size_t n = query.length(); n-- > 0;)
        keystroke(query.Left(n));
    lastMatches = full;
}

} // namespace

int main(int argc, char** argv) {
    wxInitializer init;
    const int nodes = argc > 1 ? std::atoi(argv[1]) : 100000;
    const std::string dir = "/tmp/qn_goto_bench_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const wxString path = wxString::FromUTF8((dir + "/doc.q2db").c_str());
    bench::GenOptions opt;
    opt.nodes = nodes;
    opt.bodyBytes = 256;
    if (!bench::generateDocument(path, opt)) {
        std::fprintf(stderr, "could not generate the document\n");
        return 1;
    }
    Database db;
    if (db.open(path) != 0) {
        std::fprintf(stderr, "could not open the document\n");
        return 1;
    }

    TitleIndex index(db);
    const std::size_t slice = 4000;
    double longestSlice = 0;
    const auto t0 = Clock::now();
    for (bool done = false; !done;) {
        const auto s0 = Clock::now();
        done = index.readMore(slice);
        longestSlice = std::max(longestSlice, msSince(s0));
    }
    const double readAll = msSince(t0);
    std::printf("goto_bench: %d nodes\n", nodes);
    std::printf("  read every title: %.0f ms in slices of %zu nodes, longest slice %.1f ms\n",
                readAll, slice, longestSlice);

    // Upper case against lower, accents, CJK, a miss, and a parent's title.
    const char* const queries[] = {"MEETING NOTES",
                                   "zzq",
                                   "plan",
                                   "\xc3\xbc"
                                   "BERSICHT",
                                   "\xe4\xbc\x9a\xe8\xae\xae",
                                   "(4711)"};
    std::printf("  %-28s %9s %9s %9s %9s\n", "typed, then erased", "keys", "median", "max",
                "matches");
    double worst = 0;
    for (const char* q : queries) {
        std::vector<double> times;
        std::size_t matches = 0;
        typeAndErase(index, wxString::FromUTF8(q), times, matches);
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted[sorted.size() / 2];
        worst = std::max(worst, sorted.back());
        std::printf("  %-28s %9zu %7.2f ms %6.2f ms %9zu\n", q, times.size(), median, sorted.back(),
                    matches);
    }
    std::printf("  slowest keystroke: %.2f ms (goal: 50 ms)\n", worst);
    db.close();
    std::filesystem::remove_all(dir);
    return 0;
}
