// Helpers of the fault-injection sweeps (scripts/faults.sh).
//
//   fault_fixture OUT.qudb NODES BODY_BYTES
// writes the legacy document the sweeps start from.  Node bodies are varied
// text (with non-ASCII) so that pages differ and a torn write shows in the
// content; every third body is compressed.
//
//   fault_fixture --walk DOC [PASSWORD_FILE]
// reads the whole document as the program does: every node reachable from
// the top node, its header and its body.  One line a node, in tree order:
// id, tab, title, tab, body length, tab, a digest of the body.  Exits 1 with
// a line on standard error when the password does not open the document, a
// header or body cannot be read or decoded, a child list names a missing
// block, or a node block is in the file but not in the tree (a lost note).
#include "store/database.h"
#include "unit/legacy/legacy_writer.h"

#include <wx/init.h>
#include <wx/log.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <vector>

using namespace qn::testing;

namespace {

int writeLegacy(const char* out, int nodes, size_t bodyBytes) {
    LegacyFileBuilder b;
    b.settings({{"window", "10,10,800,600,200,0"}, {"comp", "1"}, {"selected", "2"}});
    std::string children;
    for (int id = 2; id < nodes + 2; ++id)
        children += (children.empty() ? "" : ",") + std::to_string(id);
    b.node(1, -1, {{"cap", "Top"}, {"ch", children}, {"mime", "text/plain"}}, "top of the tree");
    unsigned state = 12345;
    for (int id = 2; id < nodes + 2; ++id) {
        std::string body = "note " + std::to_string(id) + " caf\xc3\xa9 \xe6\x97\xa5\xe8\xa8\x98\n";
        while (body.size() < bodyBytes) {
            state = state * 1103515245u + 12345u;
            body += static_cast<char>('a' + (state >> 16) % 26);
            if ((state >> 8) % 9 == 0) body += ' ';
        }
        b.node(id, 1, {{"cap", "Node " + std::to_string(id)}, {"i", "page"}}, body, id % 3 == 0);
    }
    std::ofstream f(out, std::ios::binary);
    f << b.bytes();
    return f ? 0 : 1;
}

// FNV-1a: enough to tell two bodies apart in a comparison of walks.
uint64_t digest(const std::string& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

int walkFailed(const std::string& why) {
    std::cerr << "walk: " << why << "\n";
    return 1;
}

int walk(const char* path, const char* passwordFile) {
    wxInitializer init;
    wxLog::EnableLogging(false); // the engine's own log lines are not the verdict
    qn::Database db;
    if (db.open(wxString::FromUTF8(path)) != qn::Database::OPEN_OK)
        return walkFailed("the document does not open");
    if (db.isProtected()) {
        if (!passwordFile) return walkFailed("the document is protected");
        std::ifstream pf(passwordFile);
        std::string pw;
        std::getline(pf, pw);
        if (qn::unlockDocument(db, wxString::FromUTF8(pw.c_str())) != qn::Unlock::Ok)
            return walkFailed("the password does not open the document");
    }
    std::ostringstream out;
    std::set<int> seen;
    std::vector<int> todo{1};
    while (!todo.empty()) {
        const int id = todo.back();
        todo.pop_back();
        if (!seen.insert(id).second)
            return walkFailed("node " + std::to_string(id) + " is listed twice");
        qn::Block* b = db.getBlock(id);
        if (!b) return walkFailed("node " + std::to_string(id) + " is in a child list but missing");
        if (!b->isNode())
            return walkFailed("block " + std::to_string(id) + " in a child list is no node");
        if (!b->loadHeader())
            return walkFailed("the header of node " + std::to_string(id) + " cannot be read");
        const qn::Body& body = b->body();
        if (b->bodyFailed() || b->isDamaged())
            return walkFailed("the body of node " + std::to_string(id) + " cannot be read");
        char line[64];
        std::snprintf(line, sizeof line, "\t%zu\t%016" PRIx64 "\n", body.bytes.size(),
                      digest(body.bytes));
        out << id << '\t' << b->getString(qn::K_cap).utf8_str().data() << line;
        std::vector<int> ch = b->getIntList(qn::K_ch);
        b->freeHeader();
        b->freeBody();
        for (auto it = ch.rbegin(); it != ch.rend(); ++it)
            todo.push_back(*it);
    }
    for (const auto& [id, block] : db.blocks())
        if (block->isNode() && !seen.count(id))
            return walkFailed("node " + std::to_string(id) + " is not reachable from the top");
    std::cout << out.str();
    return std::cout ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--walk") == 0)
        return walk(argv[2], argc == 4 ? argv[3] : nullptr);
    if (argc != 4) {
        std::cerr << "usage: fault_fixture OUT.qudb NODES BODY_BYTES\n"
                     "       fault_fixture --walk DOC [PASSWORD_FILE]\n";
        return 2;
    }
    return writeLegacy(argv[1], std::atoi(argv[2]), static_cast<size_t>(std::atol(argv[3])));
}
