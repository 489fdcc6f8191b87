// Figures for the command-line side: plain-text export of 10,000 and 100,000
// nodes, conversion of a legacy file of 10,000 nodes, and `quillnest-cli
// search` as a whole process on 100,000 nodes, with peak memory.
//
//   cli_bench [--quick]        (--quick: 10,000 nodes everywhere)
#include "gen_doc.h"
#include "unit/legacy/legacy_writer.h"

#include "frame/text_exporter.h"
#include "store/database.h"
#include "store/legacy.h"

#include <wx/filename.h>
#include <wx/init.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

using namespace qn;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double mb(double bytes) {
    return bytes / 1e6;
}

struct ProcessRun {
    double seconds = 0;
    long peakKb = 0;
    int code = -1;
};

// Runs the tool with stdout into `out`; wall time and peak resident memory.
ProcessRun runTool(std::vector<std::string> args, const std::string& out = "/dev/null") {
    std::vector<char*> argv;
    std::string exe = QN_CLI_PATH;
    argv.push_back(exe.data());
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ProcessRun r;
    pid_t pid;
    auto t0 = Clock::now();
    if (posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage ru{};
        wait4(pid, &status, 0, &ru);
        r.seconds = secondsSince(t0);
        r.peakKb = ru.ru_maxrss;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    return r;
}

ProcessRun bestRun(int runs, const std::vector<std::string>& args,
                   const std::string& out = "/dev/null") {
    ProcessRun best;
    best.seconds = 1e30;
    for (int i = 0; i < runs; ++i) {
        ProcessRun r = runTool(args, out);
        if (r.code != 0) {
            std::fprintf(stderr, "quillnest-cli %s failed (%d)\n", args[0].c_str(), r.code);
            return r;
        }
        if (r.seconds < best.seconds) best = r;
    }
    return best;
}

long lineCount(const std::string& file) {
    std::FILE* f = std::fopen(file.c_str(), "r");
    if (!f) return 0;
    long n = 0;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        n += c == '\n';
    std::fclose(f);
    return n;
}

void row(const char* what, double secs, const std::string& note = std::string()) {
    std::printf("  %-52s %9.1f ms  %s\n", what, secs * 1000, note.c_str());
}

std::string docFor(int nodes) {
    std::string file = "/tmp/qn-cli-bench-" + std::to_string(nodes) + ".q2db";
    if (access(file.c_str(), R_OK) == 0) return file;
    // Generated in a child, so that this process stays small: a spawned
    // tool's peak memory starts from its parent's.
    auto t0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        bench::GenOptions opt;
        opt.nodes = nodes;
        _exit(bench::generateDocument(wxString::FromUTF8(file.c_str()), opt) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::string();
    std::printf("(generated %s in %.1f s)\n", file.c_str(), secondsSince(t0));
    return file;
}

std::string processNote(const ProcessRun& r, const std::string& extra = std::string()) {
    char note[160];
    std::snprintf(note, sizeof note, "peak RSS %6.1f MB%s", r.peakKb / 1024.0, extra.c_str());
    return note;
}

const char* const kExportOut = "/tmp/qn-cli-bench-export.txt";
const char* const kLegacyIn = "/tmp/qn-cli-bench-legacy.qudb";
const char* const kConvertOut = "/tmp/qn-cli-bench-conv.q2db";

double fileMb(const std::string& file) {
    return mb(wxFileName::GetSize(wxString::FromUTF8(file.c_str())).ToDouble());
}

// A legacy file of `nodes` nodes of ~1 KB, ten children each, half the
// bodies compressed.
void writeLegacy(int nodes) {
    testing::LegacyFileBuilder b;
    b.settings({{"comp", "1"}, {"window", "0,0,800,600,200,0"}});
    std::string body;
    for (int i = 0; body.size() < 1000; ++i)
        body += "word" + std::to_string(i % 37) + (i % 9 == 8 ? "\n" : " ");
    const int fanout = 10;
    for (int id = 1; id <= nodes; ++id) {
        std::string ch;
        for (int c = id * fanout - fanout + 2; c <= id * fanout + 1 && c <= nodes; ++c)
            ch += (ch.empty() ? "" : ",") + std::to_string(c);
        const int parent = id == 1 ? -1 : (id - 2) / fanout + 1;
        b.node(id, parent,
               {{"cap", "node " + std::to_string(id)}, {"ch", ch}, {"mime", "text/plain"}}, body,
               id % 2 == 0);
    }
    b.write(kLegacyIn);
}

void processExport(const std::string& doc, int nodes) {
    ProcessRun r = bestRun(3, {"export", doc, kExportOut});
    char extra[96];
    std::snprintf(extra, sizeof extra, ", %.0f MB document, %.0f MB written", fileMb(doc),
                  fileMb(kExportOut));
    row((std::to_string(nodes) + " nodes: quillnest-cli export").c_str(), r.seconds,
        processNote(r, extra));
    std::remove(kExportOut);
}

void processConvert(int nodes) {
    ProcessRun best;
    best.seconds = 1e30;
    for (int i = 0; i < 3; ++i) {
        std::remove(kConvertOut);
        ProcessRun r = runTool({"convert", kLegacyIn, kConvertOut});
        if (r.code != 0) {
            std::fprintf(stderr, "convert failed (%d)\n", r.code);
            return;
        }
        if (r.seconds < best.seconds) best = r;
    }
    char extra[96];
    std::snprintf(extra, sizeof extra, ", %.1f MB legacy file", fileMb(kLegacyIn));
    row((std::to_string(nodes) + " nodes: quillnest-cli convert").c_str(), best.seconds,
        processNote(best, extra));
    std::remove(kConvertOut);
}

void processSearch(const std::string& doc, int nodes) {
    const std::string out = "/tmp/qn-cli-bench-search.txt";
    struct Case {
        const char* what;
        std::vector<std::string> args;
    } cases[] = {
        {"rare word (1 article in 100)", {"search", doc, bench::kRareWord}},
        {"rare word, --case", {"search", doc, bench::kRareWord, "--case"}},
        {"common word, every hit", {"search", doc, "garden"}},
        {"common word, --max 100", {"search", doc, "garden", "--max", "100"}},
        {"absent word", {"search", doc, "zzzzzz"}},
    };
    for (auto& c : cases) {
        ProcessRun r = bestRun(3, c.args, out);
        char extra[64];
        std::snprintf(extra, sizeof extra, ", %ld hits", lineCount(out));
        row((std::to_string(nodes) + " nodes: search, " + c.what).c_str(), r.seconds,
            processNote(r, extra));
    }
    std::remove(out.c_str());
}

void inProcessExport(const std::string& doc, int nodes) {
    for (auto enc : {TextExporter::ENC_UTF8, TextExporter::ENC_SYSTEM}) {
        double best = 1e30;
        for (int i = 0; i < 3; ++i) {
            Database db;
            db.open(wxString::FromUTF8(doc.c_str()));
            auto t0 = Clock::now();
            TextExporter ex(db, enc);
            if (!ex.exportToFile(wxString::FromUTF8(kExportOut))) {
                std::fprintf(stderr, "export failed\n");
                return;
            }
            best = std::min(best, secondsSince(t0));
        }
        char note[64];
        std::snprintf(note, sizeof note, "%.0f MB/s of output", fileMb(kExportOut) / best);
        std::string what = std::to_string(nodes) + " nodes: TextExporter, " +
                           (enc == TextExporter::ENC_UTF8 ? "UTF-8" : "system code page");
        row(what.c_str(), best, note);
    }
    std::remove(kExportOut);
}

void inProcessConvert(int nodes) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        std::remove(kConvertOut);
        auto t0 = Clock::now();
        LegacyReader reader;
        if (reader.open(wxString::FromUTF8(kLegacyIn)) != 0 ||
            reader.convert(wxString::FromUTF8(kConvertOut)) != 0) {
            std::fprintf(stderr, "conversion failed\n");
            return;
        }
        best = std::min(best, secondsSince(t0));
    }
    row((std::to_string(nodes) + " nodes: LegacyReader open + convert").c_str(), best);
    std::remove(kConvertOut);
}

} // namespace

int main(int argc, char** argv) {
    wxInitializer init;
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int large = quick ? 10000 : 100000;
    const std::string small = docFor(10000), big = docFor(large);
    if (small.empty() || big.empty()) return 1;
    writeLegacy(10000);

    std::printf("\nWhole processes (best of 3; peak resident memory of the process)\n");
    processExport(small, 10000);
    if (!quick) processExport(big, large);
    processConvert(10000);
    processSearch(big, large);

    std::printf("\nIn this process (best of 3)\n");
    inProcessExport(small, 10000);
    if (!quick) inProcessExport(big, large);
    inProcessConvert(10000);
    std::remove(kLegacyIn);
    return 0;
}
