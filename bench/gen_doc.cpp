#include "gen_doc.h"

#include "store/database.h"

#include <cstdio>
#include <cstring>
#include <deque>

namespace qn::bench {

const char* const kRareWord = "quasar";

namespace {
const char* const kWords[] = {
    "note",  "idea",   "garden", "meeting", "river",  "paper",   "window", "market",
    "cloud", "letter", "travel", "recipe",  "summer", "project", "budget", "music",
    "phone", "school", "friend", "doctor",  "street", "coffee",  "winter", "family",
};

struct Rng {
    unsigned s;
    unsigned next() {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
};

wxString makeBody(Rng& rng, int bytes) {
    std::string out;
    out.reserve(bytes + 16);
    int col = 0;
    bool rare = rng.next() % 100 == 0;
    while (static_cast<int>(out.size()) < bytes) {
        const char* w = kWords[rng.next() % (sizeof kWords / sizeof *kWords)];
        if (rare && out.size() > static_cast<size_t>(bytes / 2)) {
            w = kRareWord;
            rare = false;
        }
        out += w;
        col += std::strlen(w) + 1;
        if (col > 70) {
            out += '\n';
            col = 0;
        } else {
            out += ' ';
        }
    }
    return wxString::FromUTF8(out.data(), out.size());
}

long readStatus(const char* key) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kb = 0;
    size_t n = std::strlen(key);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, n) == 0) kb = std::atol(line + n);
    std::fclose(f);
    return kb * 1024;
}
} // namespace

long peakRss() {
    return readStatus("VmHWM:");
}
long currentRss() {
    return readStatus("VmRSS:");
}

bool generateDocument(const wxString& path, const GenOptions& opt) {
    Database db({{wxS("comp"), opt.compressed ? wxS("1") : wxS("0")},
                 {wxS("Fname"), wxS("DejaVu Sans")},
                 {wxS("Fsize"), wxS("10")}});
    Block* root = db.newDocument();
    root->setString(K_cap, wxS("Generated document"));
    if (!opt.password.empty()) {
        auto c = std::make_unique<BlockCipher>();
        c->setKey(cipherKeyMaterial(db.dbid(), opt.password, db.getString(K_c)));
        c->setOptions(opt.options);
        db.changeCipher(std::move(c), opt.password);
    }
    Rng rng{opt.seed};
    std::deque<int> parents{1};
    std::vector<int> children;
    int made = 1;
    while (made < opt.nodes && !parents.empty()) {
        int parent = parents.front();
        parents.pop_front();
        children.clear();
        for (int k = 0; k < opt.fanout && made < opt.nodes; ++k, ++made) {
            Block* n = db.newNode(parent);
            n->setString(K_cap, wxString::Format(wxS("Note %d"), n->id()));
            n->setString(K_i, wxS("page"));
            n->setText(makeBody(rng, opt.bodyBytes));
            children.push_back(n->id());
            parents.push_back(n->id());
        }
        db.getBlock(parent)->setIntList(K_ch, children);
    }
    db.setPath(path);
    return db.save();
}

} // namespace qn::bench
