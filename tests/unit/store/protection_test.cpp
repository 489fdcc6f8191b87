// Protection schemes against every operation that writes them, checked
// against independent readings of the stored bytes: the legacy scheme
// against its reference (RC4 keyed with MD5, optional reversal), the sealed
// scheme against libsodium called directly with the documented layout.
#include "store/database.h"
#include "raw_sql.h"
#include "test_util.h"

#include <nettle/arcfour.h>
#include <nettle/md5.h>
#include <sodium.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <wx/filefn.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

using namespace qn;
using qn::test::rawExec;
using qn::test::rawValue;
using qn::test::TempDir;

namespace {

// Tests derive keys with the smallest limits: the cost is not what is tested.
[[maybe_unused]] const bool kCheapKeys = [] {
    setDefaultKdfLimits(KdfLimits::minimum());
    return true;
}();

std::string u8(const wxString& s) {
    return std::string(s.utf8_str());
}

// A scheme as the table names it.
struct Scheme {
    const char* name;
    bool sealed;
    const char* options; // legacy option letters
};
const Scheme kSchemes[] = {
    {"legacy", false, ""},           {"legacy-r", false, "r"}, {"legacy-rr", false, "rr"},
    {"legacy-xr", false, "xr"},      {"sealed", true, ""},
};

std::unique_ptr<BlockCipher> cipherFor(const Database& db, const Scheme& s, const wxString& pw) {
    Protection how;
    how.compatible = !s.sealed;
    how.options = wxString::FromAscii(s.options);
    how.limits = KdfLimits::minimum();
    return makeProtection(db, pw, how);
}

// What the document holds: caption and article of every block.
const std::map<int, std::pair<std::string, std::string>> kContent = {
    {1, {"Root", ""}},
    {2, {"Alpha", "alpha " + std::string(400, 'a')}}, // stored deflated
    {3, {"Twin", "the same words"}},
    {4, {"Twin", "the same words"}},
    {5, {"", "\x89PNG object bytes"}},
};

wxString makeDoc(const TempDir& dir, const char* name) {
    Database db(Database::Defaults{{wxS("comp"), wxS("1")}});
    Block* root = db.newDocument();
    root->setString(K_cap, wxS("Root"));
    for (int id = 2; id <= 4; ++id) {
        Block* n = db.newNode(1);
        EXPECT_EQ(n->id(), id);
        n->setString(K_cap, wxString::FromUTF8(kContent.at(id).first.c_str()));
        n->setTextUtf8(kContent.at(id).second);
        root->editChildren(id, CH_APPEND);
    }
    Block* o = db.newObject(wxS("image/png"));
    EXPECT_EQ(o->id(), 5);
    o->setBytes(kContent.at(5).second);
    db.setPath(dir.file(name));
    EXPECT_TRUE(db.save());
    return db.path();
}

struct Row {
    int type = 0, attr = 0;
    std::string hdr, body;
};
std::map<int, Row> rows(const wxString& path) {
    std::map<int, Row> out;
    sqlite3* db = nullptr;
    sqlite3_open(path.utf8_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "select id, type, attr, hdr, body from block", -1, &st, nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        Row r;
        r.type = sqlite3_column_int(st, 1);
        r.attr = sqlite3_column_int(st, 2);
        for (int c : {3, 4}) {
            const void* p = sqlite3_column_blob(st, c);
            (c == 3 ? r.hdr : r.body)
                .assign(static_cast<const char*>(p ? p : ""), sqlite3_column_bytes(st, c));
        }
        out[sqlite3_column_int(st, 0)] = r;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

void setBlob(const wxString& path, int id, const char* column, const std::string& bytes) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.utf8_str(), &db), SQLITE_OK);
    const std::string sql = std::string("update block set ") + column + "=? where id=?";
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK);
    sqlite3_bind_blob(st, 1, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 2, id);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

std::string project(const wxString& path, const char* name) {
    return rawValue(path, (std::string("select value from project where name='") + name + "'")
                              .c_str());
}

// The legacy reference: RC4 keyed with the MD5 digest of dbid + password + c,
// the keystream from its start for every part, reversal before it.
std::string legacyOpen(std::string stored, const std::string& material, bool reversed) {
    uint8_t key[MD5_DIGEST_SIZE];
    md5_ctx m;
    md5_init(&m);
    md5_update(&m, material.size(), reinterpret_cast<const uint8_t*>(material.data()));
    md5_digest(&m, sizeof key, key);
    arcfour_ctx rc4;
    arcfour_set_key(&rc4, sizeof key, key);
    auto* p = reinterpret_cast<uint8_t*>(stored.data());
    arcfour_crypt(&rc4, stored.size(), p, p);
    if (reversed) std::reverse(stored.begin(), stored.end());
    return stored;
}

std::string md5hex(const std::string& text) {
    uint8_t d[MD5_DIGEST_SIZE];
    md5_ctx m;
    md5_init(&m);
    md5_update(&m, text.size(), reinterpret_cast<const uint8_t*>(text.data()));
    md5_digest(&m, sizeof d, d);
    char out[2 * MD5_DIGEST_SIZE + 1];
    for (int i = 0; i < MD5_DIGEST_SIZE; ++i)
        std::snprintf(out + 2 * i, 3, "%02x", d[i]);
    return out;
}

// The sealed layout read with libsodium alone: nonce | ciphertext | tag,
// associated data "QNB1", part, kind, id (little-endian).
bool sealedOpen(const std::string& stored, const unsigned char key[32], char part, int type,
                int id, std::string& plain) {
    if (stored.size() < 40) return false;
    const unsigned char ad[10] = {'Q',
                                  'N',
                                  'B',
                                  '1',
                                  static_cast<unsigned char>(part),
                                  static_cast<unsigned char>(type),
                                  static_cast<unsigned char>(id),
                                  static_cast<unsigned char>(id >> 8),
                                  static_cast<unsigned char>(id >> 16),
                                  static_cast<unsigned char>(id >> 24)};
    plain.assign(stored.size() - 40, '\0');
    unsigned long long len = 0;
    const auto* in = reinterpret_cast<const unsigned char*>(stored.data());
    return crypto_aead_xchacha20poly1305_ietf_decrypt(
               reinterpret_cast<unsigned char*>(plain.data()), &len, nullptr, in + 24,
               stored.size() - 24, ad, sizeof ad, in, key) == 0;
}

std::string inflated(const std::string& stored, bool compressed) {
    if (!compressed) return stored;
    Bytes out;
    EXPECT_TRUE(inflateBytes(stored, out));
    return out;
}

std::string headerValue(const std::string& header, const char* name) {
    const std::string key = std::string("\n") + name + "=";
    const std::string h = "\n" + header;
    const size_t at = h.find(key);
    if (at == std::string::npos) return "";
    const size_t from = at + key.size();
    return h.substr(from, h.find('\n', from) - from);
}

// Every stored header and body of `path`, read without the engine, holds
// what the document holds, protected as `s` says.
void checkStored(const wxString& path, const std::string& pw, const Scheme& s) {
    SCOPED_TRACE(s.name);
    const std::string dbid = project(path, "dbid");
    const std::map<int, Row> all = rows(path);
    ASSERT_EQ(all.size(), kContent.size());
    unsigned char key[32];
    if (s.sealed) {
        EXPECT_EQ(project(path, "c_algo"), kSealedAlgo);
        const std::string verifier = project(path, "pwd");
        EXPECT_EQ(verifier.size(), 2u * (24 + 26 + 16)); // sealed known value, in hex
        EXPECT_NE(verifier, md5hex(pw + dbid));
        Bytes salt;
        ASSERT_TRUE(fromHexText(wxString::FromUTF8(project(path, "c_salt").c_str()), salt));
        ASSERT_EQ(salt.size(), size_t(crypto_pwhash_SALTBYTES));
        const unsigned long long ops = std::stoull(project(path, "c_ops"));
        const size_t mem = std::stoull(project(path, "c_mem"));
        EXPECT_EQ(ops, KdfLimits::minimum().ops);
        EXPECT_EQ(mem, KdfLimits::minimum().mem);
        ASSERT_EQ(crypto_pwhash(key, sizeof key, pw.data(), pw.size(),
                                reinterpret_cast<const unsigned char*>(salt.data()), ops, mem,
                                crypto_pwhash_ALG_ARGON2ID13),
                  0);
    } else {
        EXPECT_EQ(project(path, "c_algo"), std::string("arcfour,md5,") + s.options);
        EXPECT_EQ(project(path, "pwd"), md5hex(pw + dbid));
        EXPECT_EQ(project(path, "c_salt"), "");
    }
    const std::string material = dbid + pw + project(path, "c");
    const std::string letters = s.options;
    const bool revHead = letters.size() >= 1 && letters[0] == 'r';
    const bool revBody = letters.size() >= 2 && letters[1] == 'r';
    for (const auto& [id, row] : all) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(row.attr & ATTR_ENCRYPTED);
        std::string hdr, body;
        if (s.sealed) {
            ASSERT_TRUE(sealedOpen(row.hdr, key, 'H', row.type, id, hdr));
            ASSERT_TRUE(sealedOpen(row.body, key, 'B', row.type, id, body));
        } else {
            hdr = legacyOpen(row.hdr, material, revHead);
            body = legacyOpen(row.body, material, revBody);
        }
        EXPECT_EQ(headerValue(hdr, "cap"), kContent.at(id).first);
        EXPECT_EQ(inflated(body, row.attr & ATTR_COMPRESSED), kContent.at(id).second);
        // Nothing of the article shows in the stored bytes.
        if (!kContent.at(id).second.empty()) {
            EXPECT_EQ(row.body.find(kContent.at(id).second.substr(0, 8)), std::string::npos);
        }
    }
    // Equal notes: the same stored bytes under the legacy scheme (its
    // weakness), different ones under the sealed scheme.
    EXPECT_EQ(all.at(3).body == all.at(4).body, !s.sealed);
}

// Captions and articles as the engine reads them with `pw`.
std::string contents(const wxString& path, const wxString& pw, Unlock* result = nullptr) {
    Database db;
    if (db.open(path) != Database::OPEN_OK) return "cannot open";
    const Unlock u = db.isProtected() ? unlockDocument(db, pw) : Unlock::NotProtected;
    if (result) *result = u;
    if (u != Unlock::Ok && u != Unlock::NotProtected) return "locked";
    std::string out;
    for (const auto& [id, b] : db.blocks()) {
        Block* n = db.getBlock(id);
        out += std::to_string(id) + ":" + u8(n->getString(K_cap)) + "=" + n->body().bytes + ";";
        if (n->isDamaged() || n->headerFailed()) out += "DAMAGED;";
    }
    return out;
}

std::string expectedContents() {
    std::string out;
    for (const auto& [id, c] : kContent)
        out += std::to_string(id) + ":" + (id == 5 ? std::string() : c.first) + "=" + c.second + ";";
    return out;
}

} // namespace

TEST(Protection, EveryOperationUnderEveryScheme) {
    const std::string plain = expectedContents();
    for (const Scheme& s : kSchemes) {
        SCOPED_TRACE(s.name);
        TempDir dir;
        const wxString path = makeDoc(dir, "doc.q2db");
        ASSERT_EQ(contents(path, wxString()), plain);
        // protect a saved document
        {
            Database db;
            ASSERT_EQ(db.open(path), Database::OPEN_OK);
            ASSERT_TRUE(db.changeCipher(cipherFor(db, s, wxS("first")), wxS("first")));
        }
        checkStored(path, "first", s);
        // open: the right password reads everything, a wrong one nothing
        EXPECT_EQ(contents(path, wxS("first")), plain);
        Unlock u = Unlock::Ok;
        EXPECT_EQ(contents(path, wxS("First"), &u), "locked");
        EXPECT_EQ(u, Unlock::WrongPassword);
        // re-key
        {
            Database db;
            ASSERT_EQ(db.open(path), Database::OPEN_OK);
            ASSERT_EQ(unlockDocument(db, wxS("first")), Unlock::Ok);
            ASSERT_TRUE(db.changeCipher(cipherFor(db, s, wxS("second")), wxS("second")));
        }
        checkStored(path, "second", s);
        EXPECT_EQ(contents(path, wxS("first"), &u), "locked");
        EXPECT_EQ(contents(path, wxS("second")), plain);
        // Save As: the copy is protected the same way
        const wxString copy = dir.file("copy.q2db");
        {
            Database db;
            ASSERT_EQ(db.open(path), Database::OPEN_OK);
            ASSERT_EQ(unlockDocument(db, wxS("second")), Unlock::Ok);
            ASSERT_TRUE(db.copyTo(copy));
        }
        checkStored(copy, "second", s);
        EXPECT_EQ(contents(copy, wxS("second")), plain);
        // remove
        {
            Database db;
            ASSERT_EQ(db.open(copy), Database::OPEN_OK);
            ASSERT_EQ(unlockDocument(db, wxS("second")), Unlock::Ok);
            ASSERT_TRUE(db.changeCipher(nullptr, wxString()));
        }
        for (const char* key : {"c_algo", "pwd", "c_salt", "c_ops", "c_mem"})
            EXPECT_EQ(project(copy, key), "") << key;
        for (const auto& [id, row] : rows(copy))
            EXPECT_FALSE(row.attr & ATTR_ENCRYPTED) << id;
        EXPECT_EQ(contents(copy, wxString()), plain);
        // a never-saved document protected before its first save
        {
            Database db(Database::Defaults{{wxS("comp"), wxS("1")}});
            db.newDocument()->setString(K_cap, wxS("Root"));
            ASSERT_TRUE(db.changeCipher(cipherFor(db, s, wxS("new")), wxS("new")));
            db.setPath(dir.file("new.q2db"));
            ASSERT_TRUE(db.save());
        }
        EXPECT_EQ(contents(dir.file("new.q2db"), wxS("new")), "1:Root=;");
        // re-keyed into the other scheme
        const Scheme& other = s.sealed ? kSchemes[2] : kSchemes[4];
        {
            Database db;
            ASSERT_EQ(db.open(path), Database::OPEN_OK);
            ASSERT_EQ(unlockDocument(db, wxS("second")), Unlock::Ok);
            ASSERT_TRUE(db.changeCipher(cipherFor(db, other, wxS("third")), wxS("third")));
        }
        checkStored(path, "third", other);
        EXPECT_EQ(contents(path, wxS("third")), plain);
    }
}

namespace {
// A sealed copy of the table's document.
wxString sealedDoc(const TempDir& dir, const char* name = "sealed.q2db") {
    const wxString path = makeDoc(dir, name);
    Database db;
    EXPECT_EQ(db.open(path), Database::OPEN_OK);
    EXPECT_TRUE(db.changeCipher(cipherFor(db, kSchemes[4], wxS("pw")), wxS("pw")));
    return path;
}
} // namespace

TEST(Protection, SealedBytesThatChangedOrMovedAreDamaged) {
    TempDir dir;
    const wxString original = sealedDoc(dir);
    const std::map<int, Row> stored = rows(original);
    struct Case {
        const char* what;
        int id;
        const char* column;
        std::function<std::string(const std::map<int, Row>&)> bytes;
    };
    std::vector<Case> cases;
    for (const auto& [id, row] : stored) {
        for (const char* column : {"hdr", "body"}) {
            // one byte flipped in the nonce, the ciphertext and the tag
            for (double where : {0.0, 0.5, 1.0}) {
                cases.push_back({"flipped", id, column, [id = id, column, where](const auto& all) {
                                     std::string b = std::string(column) == "hdr"
                                                         ? all.at(id).hdr
                                                         : all.at(id).body;
                                     b[static_cast<size_t>(where * (b.size() - 1))] ^= 0x01;
                                     return b;
                                 }});
            }
            cases.push_back({"emptied", id, column, [](const auto&) { return std::string(); }});
        }
    }
    // the blocks of one row copied into another, and one column into the other
    cases.push_back({"row 3 into 4", 4, "body", [](const auto& all) { return all.at(3).body; }});
    cases.push_back({"row 3 into 4", 4, "hdr", [](const auto& all) { return all.at(3).hdr; }});
    cases.push_back({"header as body", 2, "body", [](const auto& all) { return all.at(2).hdr; }});
    cases.push_back({"node row into object", 5, "body", [](const auto& all) { return all.at(3).body; }});

    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " " + c.column + " of " + std::to_string(c.id));
        const wxString path = dir.file("case.q2db");
        ASSERT_TRUE(wxCopyFile(original, path, true));
        setBlob(path, c.id, c.column, c.bytes(stored));
        const std::string before = std::string(c.column) == "hdr" ? rows(path).at(c.id).hdr
                                                                  : rows(path).at(c.id).body;
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        ASSERT_EQ(unlockDocument(db, wxS("pw")), Unlock::Ok);
        Block* b = db.findBlock(c.id);
        ASSERT_NE(b, nullptr);
        if (std::string(c.column) == "hdr") {
            EXPECT_FALSE(b->loadHeader());
            EXPECT_TRUE(db.lastError().message.Contains(wxS("damaged"))) << u8(db.lastError().message);
        } else {
            ASSERT_TRUE(b->loadHeader());
            EXPECT_EQ(u8(b->getString(K_cap)), kContent.at(c.id).first);
            EXPECT_TRUE(b->body().bytes.empty()); // nothing shown, never garbage
            EXPECT_TRUE(b->isDamaged());
            // An edit of the header keeps the damaged stored body as it was.
            b->setString(K_cap, wxS("renamed"));
        }
        // Another note edited and saved: the damaged bytes are not written over.
        Block* other = db.getBlock(c.id == 2 ? 3 : 2);
        ASSERT_NE(other, nullptr);
        other->setString(K_cap, wxS("edited"));
        EXPECT_TRUE(db.save());
        const std::string after = std::string(c.column) == "hdr" ? rows(path).at(c.id).hdr
                                                                 : rows(path).at(c.id).body;
        EXPECT_EQ(after, before);
    }
}

TEST(Protection, SealedUnlockFailures) {
    TempDir dir;
    const wxString original = sealedDoc(dir);
    const std::string salt = project(original, "c_salt");
    struct Case {
        const char* sql;
        Unlock expected;
    } cases[] = {
        {"", Unlock::WrongPassword}, // the password below is wrong
        {"update project set value=substr(value, 1, length(value) - 2) || (case when "
         "substr(value, -2) = '00' then '01' else '00' end) where name='pwd'",
         Unlock::WrongPassword},
        {"delete from project where name='c_salt'", Unlock::Damaged},
        {"update project set value='abc' where name='c_salt'", Unlock::Damaged},
        {"update project set value='0' where name='c_ops'", Unlock::Damaged},
        {"update project set value='99999999999999' where name='c_mem'", Unlock::Damaged},
        {"update project set value='xchacha20poly1305,argon2id,9' where name='c_algo'",
         Unlock::Unsupported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        const wxString path = dir.file("case.q2db");
        ASSERT_TRUE(wxCopyFile(original, path, true));
        if (*c.sql) rawExec(path, c.sql);
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        EXPECT_EQ(unlockDocument(db, *c.sql ? wxS("pw") : wxS("pW")), c.expected);
        EXPECT_EQ(db.cipher(), nullptr);
    }
    // Another salt, same password: another key, so the verifier does not open.
    const wxString path = dir.file("case.q2db");
    ASSERT_TRUE(wxCopyFile(original, path, true));
    rawExec(path, ("update project set value='" + std::string(salt.rbegin(), salt.rend()) +
                   "' where name='c_salt'")
                      .c_str());
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    EXPECT_EQ(unlockDocument(db, wxS("pw")), Unlock::WrongPassword);
}

TEST(Protection, KdfLimitsText) {
    KdfLimits l;
    EXPECT_TRUE(KdfLimits::parse(wxS("moderate"), l));
    EXPECT_EQ(l.mem, KdfLimits::moderate().mem);
    EXPECT_TRUE(KdfLimits::parse(wxS(" interactive "), l));
    EXPECT_EQ(l.ops, KdfLimits::interactive().ops);
    EXPECT_TRUE(KdfLimits::parse(wxS("0,0"), l)); // raised to the minimum
    EXPECT_EQ(l.ops, KdfLimits::minimum().ops);
    EXPECT_EQ(l.mem, KdfLimits::minimum().mem);
    EXPECT_FALSE(KdfLimits::parse(wxS("fast"), l));
    EXPECT_FALSE(KdfLimits::parse(wxS("3"), l));
    EXPECT_FALSE(KdfLimits::parse(wxS("3,99999999999999"), l)); // beyond 4 GiB
}

TEST(Protection, SealedSearchPassesOverADamagedNote) {
    TempDir dir;
    const wxString path = sealedDoc(dir);
    std::string body = rows(path).at(3).body;
    body[body.size() / 2] ^= 0x01;
    setBlob(path, 3, "body", body);
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    ASSERT_EQ(unlockDocument(db, wxS("pw")), Unlock::Ok);
    const std::vector<SearchHit> hits = db.search(wxS("same words"), false);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].id, 4);
    EXPECT_TRUE(db.findBlock(3)->isDamaged());
}

// An article kept in a file of its own stores an empty body, sealed like
// any other, through protect, edits of its header and removal.
TEST(Protection, SealedExternalArticle) {
    TempDir dir;
    const wxString path = sealedDoc(dir);
    const wxString ext = dir.file("article.txt");
    {
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        ASSERT_EQ(unlockDocument(db, wxS("pw")), Unlock::Ok);
        db.setUrlWriteQuestion([](const wxString&) { return int(ANSWER_YES); });
        Block* n = db.getBlock(3);
        n->setString(K_url, ext);
        n->setText(wxS("kept outside"));
        ASSERT_TRUE(db.save());
        db.getBlock(3)->setString(K_cap, wxS("Outside")); // a header-only change
        ASSERT_TRUE(db.save());
    }
    EXPECT_EQ(rows(path).at(3).body.size(), 40u); // nonce and tag of nothing
    {
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        ASSERT_EQ(unlockDocument(db, wxS("pw")), Unlock::Ok);
        Block* n = db.getBlock(3);
        EXPECT_EQ(n->text(), wxS("kept outside"));
        EXPECT_FALSE(n->isDamaged());
        n->removeKey(K_url); // unlinked: the header alone is written
        ASSERT_TRUE(db.save());
    }
    {
        // The empty stored body opens as empty, not as damaged.
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        ASSERT_EQ(unlockDocument(db, wxS("pw")), Unlock::Ok);
        Block* n = db.getBlock(3);
        EXPECT_EQ(n->text(), wxS(""));
        EXPECT_FALSE(n->isDamaged());
        ASSERT_TRUE(db.changeCipher(nullptr, wxString()));
    }
    EXPECT_EQ(contents(path, wxString()).find("DAMAGED"), std::string::npos);
}
