#include "gen_doc.h"

#include "store/database.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace qn::bench {

const char* const kRareWord = "quokka";
const char* const kCommonWord = "project";

namespace {
// The mix of the notes our speed goals are measured on: prose, lists and
// dates with about 6 % non-ASCII words (accented Latin, Greek, Cyrillic,
// CJK, Hangul); the rare word in about 1 % of the articles.
const char* const kWords[] = {
    "the", "of", "and", "to", "in", "is", "for", "on", "with", "as", "by", "at", "from", "that",
    "this", "it", "be", "are", "was", "note", "project", "meeting", "plan", "draft", "idea",
    "review", "budget", "schedule", "release", "design", "test", "build", "report", "summary",
    "question", "answer", "follow-up", "deadline", "customer", "feature", "issue", "fix",
    "backlog", "sprint", "roadmap", "estimate", "risk", "owner", "status", "update", "decision",
    "agenda", "minutes", "action", "item", "priority", "milestone", "server", "client",
    "database", "index", "query", "cache", "export", "import", "search", "tree", "node", "title",
    "body", "window", "menu", "dialog", "option", "setting", "file", "folder", "path", "monday",
    "tuesday", "wednesday", "thursday", "friday", "morning", "afternoon", "evening", "remember",
    "check", "call", "email", "send", "write", "read", "close", "open", "share", "garden",
    "recipe", "travel", "book", "film", "music", "paper", "letter", "invoice", "receipt",
    "quickly", "carefully", "later", "tomorrow", "yesterday", "soon", "again", "maybe",
    "probably"};
const char* const kNonAscii[] = {
    "café", "naïve", "résumé", "crème brûlée", "Zürich", "façade", "über", "São Paulo", "Ærø",
    "smørrebrød", "jalapeño", "coöperate", "déjà vu", "Kraków", "Škoda", "İstanbul", "Ελλάδα",
    "Москва", "привет", "東京", "会议记录", "日本語のメモ", "北京", "한국어", "中文笔记",
    "€12,50", "±5 %", "naïveté", "Ångström", "piñata"};
const char* const kTitleHeads[] = {"Meeting notes", "Project plan", "Ideas", "Reading list",
                                   "Recipe", "Travel", "Budget", "Journal", "Research", "Todo",
                                   "Contacts", "Réunion", "Übersicht", "会议", "Notizen",
                                   "Résumé draft", "Archive"};

struct Rng {
    unsigned s;
    unsigned next() {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
    double unit() { return (next() & 0xFFFFFF) / double(0x1000000); }
    template <size_t N>
    const char* pick(const char* const (&list)[N]) {
        return list[next() % N];
    }
};

std::string sentence(Rng& rng, int nmin, int nmax) {
    const int n = nmin + static_cast<int>(rng.next() % (nmax - nmin + 1));
    std::string out;
    for (int i = 0; i < n; ++i) {
        if (i) out += ' ';
        out += rng.unit() < 0.06 ? rng.pick(kNonAscii) : rng.pick(kWords);
    }
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') out[0] = static_cast<char>(out[0] - 32);
    static const char* const ends[] = {".", ".", ".", "?", "!", ";"};
    return out + rng.pick(ends);
}

std::string makeBody(Rng& rng, int target) {
    const size_t want = static_cast<size_t>(target * (0.7 + 0.6 * rng.unit()));
    std::string out;
    if (rng.unit() < 0.5) {
        char date[32];
        std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u\n\n", 2015 + rng.next() % 10,
                      1 + rng.next() % 12, 1 + rng.next() % 28, rng.next() % 24, rng.next() % 60);
        out += date;
    }
    bool marker = rng.unit() < 0.01;
    while (out.size() < want) {
        const double kind = rng.unit();
        std::vector<std::string> block;
        if (kind < 0.6) {
            // One paragraph wrapped at about 72 columns.
            std::string para;
            const int count = 2 + static_cast<int>(rng.next() % 4);
            for (int i = 0; i < count; ++i)
                para += (i ? " " : "") + sentence(rng, 6, 16);
            std::string line;
            size_t start = 0;
            while (start < para.size()) {
                size_t sp = para.find(' ', start);
                std::string word = para.substr(start, sp == std::string::npos ? sp : sp - start);
                if (!line.empty() && line.size() + 1 + word.size() > 72) {
                    block.push_back(line);
                    line.clear();
                }
                line += (line.empty() ? "" : " ") + word;
                if (sp == std::string::npos) break;
                start = sp + 1;
            }
            if (!line.empty()) block.push_back(line);
        } else if (kind < 0.85) {
            const int count = 2 + static_cast<int>(rng.next() % 4);
            for (int i = 0; i < count; ++i)
                block.push_back("- " + sentence(rng, 3, 8));
        } else {
            const int count = 1 + static_cast<int>(rng.next() % 4);
            for (int i = 0; i < count; ++i)
                block.push_back(std::string(rng.next() % 2 ? "[x] " : "[ ] ") + sentence(rng, 3, 7));
        }
        if (marker) {
            block[0] += std::string(" ") + kRareWord;
            marker = false;
        }
        for (const std::string& l : block)
            out += l + "\n";
        out += "\n";
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

std::string makeTitle(Rng& rng, int id) {
    std::string tail;
    const int count = 1 + static_cast<int>(rng.next() % 3);
    for (int i = 0; i < count; ++i)
        tail += (i ? " " : "") + std::string(rng.pick(kWords));
    if (rng.unit() < 0.15) tail += std::string(" ") + rng.pick(kNonAscii);
    return std::string(rng.pick(kTitleHeads)) + ": " + tail + " (" + std::to_string(id) + ")";
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
            const std::string title = makeTitle(rng, n->id());
            const std::string body = makeBody(rng, opt.bodyBytes);
            n->setString(K_cap, wxString::FromUTF8(title.data(), title.size()));
            n->setString(K_i, wxS("page"));
            n->setText(wxString::FromUTF8(body.data(), body.size()));
            children.push_back(n->id());
            parents.push_back(n->id());
        }
        db.getBlock(parent)->setIntList(K_ch, children);
    }
    db.setPath(path);
    return db.save();
}

} // namespace qn::bench
