// qn_gendoc OUT [--nodes N] [--fanout F] [--body BYTES] [--comp] [--password P]
#include "gen_doc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: qn_gendoc OUT [--nodes N] [--fanout F] [--body BYTES] [--comp] "
                     "[--password P]\n");
        return 2;
    }
    qn::bench::GenOptions o;
    for (int i = 2; i < argc; ++i) {
        auto arg = [&](const char* name) {
            return std::strcmp(argv[i], name) == 0 && i + 1 < argc;
        };
        if (arg("--nodes"))
            o.nodes = std::atoi(argv[++i]);
        else if (arg("--fanout"))
            o.fanout = std::atoi(argv[++i]);
        else if (arg("--body"))
            o.bodyBytes = std::atoi(argv[++i]);
        else if (arg("--password"))
            o.password = wxString::FromUTF8(argv[++i]);
        else if (std::strcmp(argv[i], "--comp") == 0)
            o.compressed = true;
        else {
            std::fprintf(stderr, "qn_gendoc: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    if (!qn::bench::generateDocument(wxString::FromUTF8(argv[1]), o)) {
        std::fprintf(stderr, "qn_gendoc: could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
