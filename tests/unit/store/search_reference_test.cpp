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

using Hit = std::tuple<int, int, std::wstring>;

// Lower case from the C library's tables for a UTF-8 locale (the test
// itself runs in the "C" locale, where the C library lowers ASCII only: the
// engine must not depend on either).
std::wstring lowered(std::wstring s) {
    static const std::locale utf8("C.UTF-8");
    std::use_facet<std::ctype<wchar_t>>(utf8).tolower(s.data(), s.data() + s.size());
    return s;
}

// What the search promises, written as plainly as possible.
std::vector<Hit> referenceSearch(const std::map<int, RefNode>& nodes, const std::wstring& text,
                                 bool caseSensitive, int limit) {
    std::vector<Hit> hits;
    const std::wstring needle = caseSensitive ? text : lowered(text);
    size_t count = 0;
    for (const auto& [id, n] : nodes) {
        if (n.excluded) continue;
        const std::wstring cap = caseSensitive ? n.cap : lowered(n.cap);
        if (cap.find(needle) != std::wstring::npos) {
            hits.emplace_back(id, -1, std::wstring());
            ++count;
        }
        const std::wstring hay = caseSensitive ? n.body : lowered(n.body);
        for (size_t pos = hay.find(needle); pos != std::wstring::npos;
             pos = hay.find(needle, pos + needle.size())) {
            size_t start = pos, end = pos + needle.size();
            for (int k = 0; k < 15 && start > 0 && n.body[start - 1] != L'\n'; ++k)
                --start;
            for (int k = 0; k < 15 && end < n.body.size() && n.body[end] != L'\n'; ++k)
                ++end;
            hits.emplace_back(id, static_cast<int>(pos), n.body.substr(start, end - start));
            ++count;
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
                              "Kelvin"};
const char* const kNeedles[] = {"quokka",  "grüße", "ελλάδα", "Москва",   "東京",  "e", "pple", "ß",
                                "a\nline", "ünï",   "kelvin", "istanbul", "PPLE-P"};

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
                got.emplace_back(h.id, h.pos, h.snippet().ToStdWstring());
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
    };
    const char* const needles[] = {"project", "PROJECT", "\xc3\xa9", "\xc3\xbf"};
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
                    got.emplace_back(h.id, h.pos, h.snippet().ToStdWstring());
                EXPECT_EQ(got, referenceSearch(model, needle, caseSensitive, 0))
                    << needleText << " case " << caseSensitive;
            }
    }
}

// Case-insensitive matching lowers both sides with Unicode's simple mapping,
// the same in every locale; positions count characters.
TEST(SearchReference, FoldingIsTheSameInEveryLocale) {
    struct Case {
        const char* body;
        const char* needle;
        std::vector<int> positions; // of the hits in the body
    } cases[] = {
        {"STRAẞE straße", "straße", {0, 7}},      // capital sharp s lowers to ß
        {"strasse", "straße", {}},                 // no expansion to "ss"
        {"ΟΔΟΣ οδος", "οδοσ", {0}},                // Σ lowers to σ, final ς stays
        {"İstanbul Istanbul", "istanbul", {0, 9}}, // dotted İ and I both lower to i
        {"KARANLIK", "ı", {}},                     // dotless ı is not I's lower case
        {"МОСКВА и москва", "Москва", {0, 9}},
        {"\xF0\x90\x90\x80x\xF0\x90\x90\xA8", "\xF0\x90\x90\xA8", {0, 2}}, // Deseret, beyond the BMP
        {"caf\xC3\xA9 \xE2\x84\xAA" "ELVIN", "kelvin", {5}}, // the Kelvin sign lowers to k
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
            std::vector<int> got;
            for (const SearchHit& h : db.search(wxString::FromUTF8(cases[i].needle), false))
                if (h.id == ids[i]) got.push_back(h.pos);
            EXPECT_EQ(got, cases[i].positions) << cases[i].body << " / " << cases[i].needle
                                               << " in " << loc;
        }
    }
    std::setlocale(LC_ALL, "C");
}

// The finder looks for a needle's first character in its upper and title
// case forms plus a short list of exceptions: the list must hold every
// character that folds to something those forms miss.
TEST(SearchReference, FoldExceptionsAreComplete) {
    std::vector<char32_t> found;
    for (char32_t c = 0; c < 0x110000; ++c) {
        if (c >= 0xD800 && c < 0xE000) continue;
        const auto cp = static_cast<utf8proc_int32_t>(c);
        const utf8proc_int32_t low = utf8proc_tolower(cp);
        if (low != cp && utf8proc_toupper(low) != cp && utf8proc_totitle(low) != cp)
            found.push_back(c);
    }
    EXPECT_EQ(found, foldExceptions());
}
