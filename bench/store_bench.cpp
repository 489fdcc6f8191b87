// Document engine figures for 10,000 and 100,000 nodes of about 1 KB:
// open, headers, search, one-edit save, copy, re-key, memory; beside them the
// sqlite3 shell on the same file.
//
//   store_bench [N ...]        (default: 10000 100000)
#include "gen_doc.h"

#include "store/database.h"

#include <wx/filename.h>
#include <wx/init.h>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace qn;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

template <class F> double bestOf(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        f();
        best = std::min(best, secondsSince(t0));
    }
    return best;
}

double sqliteShell(const std::string& file, const char* sql) {
    std::string cmd = "sqlite3 '" + file + "' '" + sql + "' > /dev/null";
    return bestOf(3, [&] {
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "sqlite3 failed\n");
    });
}

size_t heapInUse() {
    return mallinfo2().uordblks;
}

void report(const char* what, double secs, const char* note = "") {
    std::printf("  %-34s %9.1f ms %s\n", what, secs * 1000, note);
}

void run(int nodes) {
    std::string file = "/tmp/qn-bench-" + std::to_string(nodes) + ".q2db";
    wxString path = wxString::FromUTF8(file.c_str());
    bench::GenOptions opt;
    opt.nodes = nodes;
    auto tg = Clock::now();
    if (!bench::generateDocument(path, opt)) {
        std::fprintf(stderr, "could not generate %s\n", file.c_str());
        return;
    }
    std::printf(
        "\n%d nodes, ~%d bytes each, uncompressed, unprotected (%s, %.0f MB, made in %.1f s)\n",
        nodes, opt.bodyBytes, file.c_str(), wxFileName::GetSize(path).ToDouble() / 1e6,
        secondsSince(tg));

    double shIndex = sqliteShell(file, "select id, type, attr from block");
    double shBodies = sqliteShell(file, "select sum(length(body)) from block");
    report("sqlite3: select id, type, attr", shIndex);
    report("sqlite3: select sum(length(body))", shBodies);

    double tOpen = bestOf(3, [&] {
        Database db;
        db.open(path);
    });
    char note[128];
    std::snprintf(note, sizeof note, "(%.2fx the sqlite3 index query; goal 1.5x)", tOpen / shIndex);
    report("open", tOpen, note);

    {
        Database db;
        size_t h0 = heapInUse();
        db.open(path);
        size_t h1 = heapInUse();
        std::printf("  %-34s %9.1f bytes/block (goal < 200)\n", "heap after open",
                    double(h1 - h0) / db.blocks().size());

        double tHeaders = bestOf(1, [&] {
            ReadBatch batch(db);
            for (const auto& [id, b] : db.blocks())
                db.getBlock(id);
        });
        report("load every header", tHeaders);
        size_t h2 = heapInUse();
        std::printf("  %-34s %9.1f bytes/block\n", "heap with every header",
                    double(h2 - h0) / db.blocks().size());
        // What a loaded header costs beyond its stored text.
        double text = 0;
        Connection raw;
        if (raw.open(wxString::FromUTF8(file.c_str()), SQLITE_OPEN_READONLY) == SQLITE_OK) {
            Stmt st(raw.get(), "select avg(length(hdr)) from block");
            if (st && st.step() == SQLITE_ROW) text = sqlite3_column_double(st.get(), 0);
        }
        std::printf("  %-34s %9.1f bytes/header beyond its %.0f bytes of text (goal <= 300)\n",
                    "header cost", double(h2 - h1) / db.blocks().size() - text, text);
    }
    {
        Database db;
        db.open(path);
        size_t h0 = heapInUse();
        std::vector<SearchHit> hits;
        double tSearch =
            bestOf(1, [&] { hits = db.search(wxString::FromAscii(bench::kRareWord), false); });
        std::snprintf(note, sizeof note, "(%zu hits; %.2fx the sqlite3 body query; goal 2x)",
                      hits.size(), tSearch / shBodies);
        report("global search (first, cold headers)", tSearch, note);
        double tSearch2 =
            bestOf(2, [&] { hits = db.search(wxString::FromAscii(bench::kRareWord), false); });
        std::snprintf(note, sizeof note, "(%.2fx the sqlite3 body query)", tSearch2 / shBodies);
        report("global search (headers loaded)", tSearch2, note);
        size_t bodies = 0;
        for (const auto& [id, b] : db.blocks())
            bodies += b->hasBody();
        size_t h1 = heapInUse();
        std::printf("  %-34s %9zu bodies in memory, heap +%.1f MB (hits and headers)\n",
                    "after search", bodies, double(h1 - h0) / 1e6);
        double tCase =
            bestOf(1, [&] { hits = db.search(wxString::FromAscii(bench::kRareWord), true); });
        report("global search, case-sensitive", tCase);
    }
    {
        Database db;
        db.open(path);
        double tSave = bestOf(3, [&] {
            db.getBlock(nodes / 2)->setText(wxS("edited"));
            db.save();
        });
        std::snprintf(note, sizeof note, "(%.0f us)", tSave * 1e6);
        report("save after editing one node", tSave, note);
        // What keeping unsaved edits in a recovery file costs: the window
        // takes the edits (the snapshot), a thread of its own writes the
        // copy of the file with them; a session end does both at once.
        const std::string rec = file + ".q2rec";
        const wxString recPath = wxString::FromUTF8(rec.c_str());
        db.getBlock(nodes / 3)->setText(wxS("unsaved"));
        Database::PendingArticle pending{nodes / 2, wxS("typed, not committed")};
        wxString why;
        std::unique_ptr<RecoverySnapshot> snap;
        double tSnap = bestOf(3, [&] { snap = db.recoverySnapshot(&pending, why); });
        std::snprintf(note, sizeof note, "(%.0f us, on the window's thread)", tSnap * 1e6);
        report("recovery snapshot of the edits", tSnap, note);
        double tWrite = bestOf(3, [&] { snap->write(recPath, why); });
        std::snprintf(note, sizeof note, "(%.1f MB, on a thread of its own)",
                      double(wxFileName::GetSize(recPath).GetValue()) / 1e6);
        report("recovery file written", tWrite, note);
        double tRec = bestOf(3, [&] { db.writeRecovery(recPath, &pending, why); });
        report("recovery file at a session end", tRec);
        std::remove(rec.c_str());
        std::string copy = file + ".copy";
        double tCopy = bestOf(1, [&] { db.copyTo(wxString::FromUTF8(copy.c_str())); });
        report("copyTo", tCopy);
        db.reopen();
        auto c = std::make_unique<BlockCipher>();
        c->setKey(cipherKeyMaterial(db.dbid(), wxS("pw"), db.getString(K_c)));
        c->setOptions(wxS("rr"));
        double tKey = bestOf(1, [&] { db.changeCipher(std::move(c), wxS("pw")); });
        report("changeCipher (protect)", tKey);
        std::remove(copy.c_str());
    }
    std::printf("  %-34s %9.1f MB\n", "peak resident memory so far", bench::peakRss() / 1e6);
    std::remove(file.c_str());
}

} // namespace

int main(int argc, char** argv) {
    wxInitializer init;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {10000, 100000};
    for (int n : sizes)
        run(n);
    return 0;
}
