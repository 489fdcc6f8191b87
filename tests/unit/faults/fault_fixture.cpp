// Writes the legacy document the fault-injection sweep starts from:
//   fault_fixture OUT.qudb NODES BODY_BYTES
// Node bodies are varied text (with non-ASCII) so that pages differ and a
// torn write shows in the content; every third body is compressed.
#include "unit/legacy/legacy_writer.h"

#include <cstdlib>
#include <fstream>
#include <iostream>

using namespace qn::testing;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: fault_fixture OUT.qudb NODES BODY_BYTES\n";
        return 2;
    }
    const int nodes = std::atoi(argv[2]);
    const size_t bodyBytes = static_cast<size_t>(std::atol(argv[3]));
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
    std::ofstream out(argv[1], std::ios::binary);
    out << b.bytes();
    return out ? 0 : 1;
}
