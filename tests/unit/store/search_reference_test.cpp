// The global search against a plain reference written here: random documents
// (protected or not, compressed or not, HTML bodies, excluded nodes, objects,
// edits that are not saved yet) must give exactly the hits of the reference.
#include "store/database.h"
#include "store/utf8_text.h"
#include "raw_sql.h"
#include "test_util.h"

#include <utf8proc.h>

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace qn;
using qn::test::TempDir;

namespace {

struct RefNode {
    std::wstring cap, body;
    bool excluded = false;
};

// Node, position, length of the hit in the text, snippet.
using Hit = std::tuple<int, int, int, std::wstring>;

// Unicode's full case folding of one character, straight from utf8proc,
// with the one exception the search makes: the dotted capital I is a plain
// i.  (The test runs in the "C" locale: the engine must not depend on it.)
std::wstring folded(wchar_t c) {
    if (c == 0x130) return L"i";
    utf8proc_int32_t buf[8];
    int boundclass = 0;
    const auto n = utf8proc_decompose_char(c, buf, 8, UTF8PROC_CASEFOLD, &boundclass);
    return std::wstring(buf, buf + n);
}

// The end of a match of `needle` (folded unless case-sensitive) that starts
// at `i` of `text`, covering whole foldings; npos when none.
size_t matchEnd(const std::wstring& text, size_t i, const std::wstring& needle,
                bool caseSensitive) {
    if (caseSensitive) return text.compare(i, needle.size(), needle) == 0 ? i + needle.size()
                                                                          : std::wstring::npos;
    size_t k = 0;
    while (k < needle.size()) {
        if (i >= text.size()) return std::wstring::npos;
        const std::wstring f = folded(text[i++]);
        if (needle.compare(k, f.size(), f) != 0) return std::wstring::npos;
        k += f.size();
    }
    return i;
}

// What the search promises, written as plainly as possible.
std::vector<Hit> referenceSearch(const std::map<int, RefNode>& nodes, const std::wstring& text,
                                 bool caseSensitive, int limit) {
    std::vector<Hit> hits;
    std::wstring needle;
    for (wchar_t c : text)
        needle += caseSensitive ? std::wstring(1, c) : folded(c);
    auto contains = [&](const std::wstring& s) {
        for (size_t i = 0; i < s.size(); ++i)
            if (matchEnd(s, i, needle, caseSensitive) != std::wstring::npos) return true;
        return false;
    };
    size_t count = 0;
    for (const auto& [id, n] : nodes) {
        if (n.excluded) continue;
        if (contains(n.cap)) {
            hits.emplace_back(id, -1, 0, std::wstring());
            ++count;
        }
        for (size_t pos = 0; pos < n.body.size();) {
            const size_t stop = matchEnd(n.body, pos, needle, caseSensitive);
            if (stop == std::wstring::npos) {
                ++pos;
                continue;
            }
            size_t start = pos, end = stop;
            for (int k = 0; k < 15 && start > 0 && n.body[start - 1] != L'\n'; ++k)
                --start;
            for (int k = 0; k < 15 && end < n.body.size() && n.body[end] != L'\n'; ++k)
                ++end;
            hits.emplace_back(id, static_cast<int>(pos), static_cast<int>(stop - pos),
                              n.body.substr(start, end - start));
            ++count;
            pos = stop;
        }
        if (limit > 0 && count >= static_cast<size_t>(limit)) break;
    }
    return hits;
}

const char* const kWords[] = {"quokka",
                              "Quokka",
                              "QUOKKA",
                              "Grüße",
                              "GRÜSSE",
                              "straße",
                              "Ελλάδα",
                              "ελλάδα",
                              "Москва",
                              "москва",
                              "東京",
                              "apple",
                              "line",
                              "a",
                              "é",
                              "Ünïcödé",
                              "pple-pie",
                              "İSTANBUL",
                              "\xE2\x84\xAA"
                              "ELVIN",
                              "Kelvin",
                              "\xCE\x9B\xCE\x8C\xCE\x93\xCE\x9F\xCE\xA3", // ΛΌΓΟΣ
                              "\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82", // λόγος
                              "STRASSE",
                              "\xEF\xAC\x81le"}; // with the fi ligature
const char* const kNeedles[] = {"quokka",  "grüße", "ελλάδα", "Москва",   "東京",  "e", "pple", "ß",
                                "a\nline", "ünï",   "kelvin", "istanbul", "PPLE-P", "ss",
                                "STRASSE", "\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82", "file",
                                "s"};

// A caption is one line: the engine stores line feeds in values as spaces.
std::wstring oneLine(std::wstring s) {
    for (wchar_t& c : s)
        if (c == L'\n') c = L' ';
    return s;
}

std::wstring randomText(std::mt19937& rng, int words) {
    std::wstring out;
    for (int i = 0; i < words; ++i) {
        out += wxString::FromUTF8(kWords[rng() % std::size(kWords)]).ToStdWstring();
        out += rng() % 6 == 0 ? L'\n' : L' ';
    }
    return out;
}

} // namespace

TEST(SearchReference, RandomDocumentsMatchTheReference) {
    TempDir dir;
    int compared = 0;
    for (unsigned seed = 1; seed <= 30; ++seed) {
        std::mt19937 rng(seed);
        const bool comp = rng() % 2, protect = rng() % 2;
        const wxString path = dir.file(("doc" + std::to_string(seed) + ".q2db").c_str());
        std::map<int, RefNode> model;
        {
            Database db(Database::Defaults{{wxS("comp"), comp ? wxS("1") : wxS("0")}});
            db.newDocument();
            model[1] = RefNode{};
            const int count = 5 + static_cast<int>(rng() % 30);
            for (int i = 0; i < count; ++i) {
                if (rng() % 8 == 0) {
                    Block* obj = db.newObject(wxS("image/png"));
                    obj->setBytes(Bytes("quokka bytes"));
                    continue;
                }
                Block* n = db.newNode(1);
                RefNode r;
                r.cap = oneLine(randomText(rng, 1 + static_cast<int>(rng() % 3)));
                r.body = randomText(rng, static_cast<int>(rng() % 120));
                if (rng() % 3 == 0) {
                    n->setMime(wxS("text/html"));
                    r.body = L"<p>" + r.body + L"</p>";
                }
                r.excluded = rng() % 7 == 0;
                n->setString(K_cap, wxString(r.cap));
                n->setText(wxString(r.body));
                n->setExcluded(r.excluded);
                db.getBlock(1)->editChildren(n->id(), CH_APPEND);
                model[n->id()] = r;
            }
            db.setPath(path);
            ASSERT_TRUE(db.save());
            if (protect) {
                ASSERT_TRUE(db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxS("rr")), wxS("pw")));
            }
        }
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        if (protect) {
            ASSERT_EQ(unlockDocument(db, wxS("pw")), Unlock::Ok);
        }
        // Unsaved edits: new captions and bodies, a deleted node, a new one.
        for (auto& [id, r] : model) {
            if (id == 1 || rng() % 4 != 0) continue;
            Block* n = db.getBlock(id);
            r.body = randomText(rng, static_cast<int>(rng() % 40));
            n->setText(wxString(r.body));
            if (rng() % 2) {
                r.cap = oneLine(randomText(rng, 2));
                n->setString(K_cap, wxString(r.cap));
            }
        }
        if (model.size() > 2) {
            const int victim = std::next(model.begin(), 1)->first;
            db.deleteBlock(victim);
            model.erase(victim);
        }
        Block* fresh = db.newNode(1);
        model[fresh->id()] = RefNode{L"quokka new", L"a fresh quokka\nline", false};
        fresh->setString(K_cap, wxS("quokka new"));
        fresh->setText(wxS("a fresh quokka\nline"));

        for (const char* needleText : kNeedles) {
            const std::wstring needle = wxString::FromUTF8(needleText).ToStdWstring();
            const bool caseSensitive = rng() % 2;
            const int limit = rng() % 3 == 0 ? 1 + static_cast<int>(rng() % 20) : 0;
            db.setMaxSearchCount(limit);
            std::vector<Hit> got;
            for (const SearchHit& h : db.search(wxString(needle), caseSensitive))
                got.emplace_back(h.id, h.pos, h.length, h.snippet().ToStdWstring());
            ASSERT_FALSE(db.lastError()) << db.lastError().message;
            EXPECT_EQ(got, referenceSearch(model, needle, caseSensitive, limit))
                << "seed " << seed << " needle " << needleText << " case " << caseSensitive
                << " limit " << limit << " comp " << comp << " protect " << protect;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 30 * static_cast<int>(std::size(kNeedles)));
}

// Articles whose bytes are not all valid UTF-8 (written by another program)
// are searched as the article window shows them, each stray byte one
// character: wherever the bad bytes sit, before, between or after the hits
// or inside a snippet, the hits are those of the decoded text.
TEST(SearchReference, TextsThatAreNotValidUtf8SearchAsShown) {
    const std::string bodies[] = {
        "\xff project and Project, project",         // before every hit
        "project and Project \xe2\x82 then project", // a cut sequence between hits
        "project, project and PROJECT\n\xc0\xaf",   // an overlong slash after them
        "caf\xe9 project caf\xc3\xa9 \x80project",    // inside snippets; a lone \xe9
        "\xce\xb1\x80\xce\xb2 " + std::string(40, 'x') + " project",
        "gro\xdf und GROSS, stra\xc3\x9f" "e",           // a stray Latin-1 sharp s
    };
    const char* const needles[] = {"project", "PROJECT", "\xc3\xa9", "\xc3\xbf", "ss", "GRO\xc3\x9f"};
    TempDir dir;
    const wxString path = dir.file("stray.q2db");
    std::map<int, RefNode> model;
    {
        Database db;
        db.newDocument();
        model[1] = RefNode{};
        for (size_t i = 0; i < std::size(bodies); ++i) {
            Block* n = db.newNode(1);
            n->setText(wxS("written over below"));
            db.getBlock(1)->editChildren(n->id(), CH_APPEND);
            model[n->id()].body = fromUtf8(bodies[i].data(), bodies[i].size()).ToStdWstring();
        }
        db.setPath(path);
        ASSERT_TRUE(db.save());
    }
    int id = 2;
    for (const std::string& b : bodies) {
        std::string hex;
        for (unsigned char c : b)
            hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
        const std::string sql = "update block set attr=0, body=x'" + hex +
                                "' where id=" + std::to_string(id++);
        qn::test::rawExec(path, sql.c_str());
    }
    for (const auto mode : {Database::IndexMode::AtOpen, Database::IndexMode::OnDemand}) {
        Database db;
        ASSERT_EQ(db.open(path, mode), Database::OPEN_OK);
        for (const char* needleText : needles)
            for (const bool caseSensitive : {false, true}) {
                const std::wstring needle = wxString::FromUTF8(needleText).ToStdWstring();
                std::vector<Hit> got;
                for (const SearchHit& h : db.search(wxString(needle), caseSensitive))
                    got.emplace_back(h.id, h.pos, h.length, h.snippet().ToStdWstring());
                EXPECT_EQ(got, referenceSearch(model, needle, caseSensitive, 0))
                    << needleText << " case " << caseSensitive;
            }
    }
}

// Case-insensitive matching folds both sides fully, the same in every
// locale; positions and lengths count characters of the text.
TEST(SearchReference, FoldingIsTheSameInEveryLocale) {
    struct Case {
        const char* body;
        const char* needle;
        std::vector<std::pair<int, int>> hits; // position and length in the body
    } cases[] = {
        {"STRAẞE straße", "straße", {{0, 6}, {7, 6}}},      // capital sharp s is ss too
        {"strasse STRASSE", "straße", {{0, 7}, {8, 7}}},   // ß matches ss ...
        {"Maße und MASSE", "masse", {{0, 4}, {9, 5}}},     // ... and the other way round
        {"Maß aß", "mas", {}},                               // never half of ß
        {"ΟΔΟΣ οδος", "οδοσ", {{0, 4}, {5, 4}}},           // final ς is σ
        {"ΛΌΓΟΣ", "λόγος", {{0, 5}}},
        {"İstanbul Istanbul", "istanbul", {{0, 8}, {9, 8}}}, // dotted İ and I are both i
        {"KARANLIK", "ı", {}},                               // dotless ı is not I's
        {"МОСКВА и москва", "Москва", {{0, 6}, {9, 6}}},
        {"\xF0\x90\x90\x80x\xF0\x90\x90\xA8", "\xF0\x90\x90\xA8", {{0, 1}, {2, 1}}}, // Deseret
        {"caf\xC3\xA9 \xE2\x84\xAA" "ELVIN", "kelvin", {{5, 6}}}, // the Kelvin sign is k
        {"ein \xEF\xAC\x81le: FILE", "file", {{4, 3}, {9, 4}}}, // the fi ligature is fi
    };
    const char* locales[] = {"C", "C.UTF-8"};
    for (const char* loc : locales) {
        ASSERT_NE(std::setlocale(LC_ALL, loc), nullptr) << loc;
        Database db;
        db.newDocument();
        std::vector<int> ids;
        for (const Case& c : cases) {
            Block* n = db.newNode(1);
            n->setText(wxString::FromUTF8(c.body));
            ids.push_back(n->id());
        }
        for (size_t i = 0; i < std::size(cases); ++i) {
            std::vector<std::pair<int, int>> got;
            for (const SearchHit& h : db.search(wxString::FromUTF8(cases[i].needle), false))
                if (h.id == ids[i]) got.emplace_back(h.pos, h.length);
            EXPECT_EQ(got, cases[i].hits) << cases[i].body << " / " << cases[i].needle
                                               << " in " << loc;
        }
    }
    std::setlocale(LC_ALL, "C");
}

// The finder looks for a needle's first character in its upper and title
// case forms plus a list of exceptions: the list must hold every character
// whose folding starts with something those forms miss.
TEST(SearchReference, FoldExceptionsAreComplete) {
    std::vector<char32_t> found;
    for (char32_t c = 0; c < 0x110000; ++c) {
        if (c >= 0xD800 && c < 0xE000) continue;
        char32_t f[kMaxFold];
        const int n = foldFull(c, f);
        const auto first = static_cast<utf8proc_int32_t>(f[0]);
        if ((n > 1 || f[0] != c) && c != f[0] && utf8proc_toupper(first) != static_cast<utf8proc_int32_t>(c) &&
            utf8proc_totitle(first) != static_cast<utf8proc_int32_t>(c))
            found.push_back(c);
    }
    EXPECT_EQ(found, foldExceptions());
    // The folding itself is utf8proc's full case folding, dotted İ aside.
    for (char32_t c = 0; c < 0x110000; ++c) {
        if ((c >= 0xD800 && c < 0xE000) || c == 0x130) continue;
        char32_t f[kMaxFold];
        const int n = foldFull(c, f);
        utf8proc_int32_t want[8];
        int boundclass = 0;
        const auto m = utf8proc_decompose_char(static_cast<utf8proc_int32_t>(c), want, 8,
                                               UTF8PROC_CASEFOLD, &boundclass);
        ASSERT_EQ(n, m) << std::hex << c;
        for (int k = 0; k < n; ++k)
            ASSERT_EQ(f[k], static_cast<char32_t>(want[k])) << std::hex << c;
    }
}
