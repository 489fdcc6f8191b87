#include "unit/legacy/legacy_writer.h"

#include "store/database.h"
#include "store/legacy.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <wx/log.h>

#include <filesystem>
#include <fstream>
#include <map>

using namespace qn;
using qn::testing::LegacyFileBuilder;
using qn::testing::Pairs;
namespace fs = std::filesystem;

namespace {

class LegacyTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qn_legacy_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    wxString path(const std::string& name) const {
        return wxString::FromUTF8((dir / name).string().c_str());
    }
    std::string spath(const std::string& name) const { return (dir / name).string(); }

    int openFile(const LegacyFileBuilder& b, LegacyReader& reader) {
        EXPECT_TRUE(b.write(spath("in.qudb")));
        return reader.open(path("in.qudb"));
    }

    // The rows of the project table of a converted document.
    std::map<std::string, std::string> projectRows(const std::string& file) {
        std::map<std::string, std::string> rows;
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "select name, value from project", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            rows[reinterpret_cast<const char*>(sqlite3_column_text(st, 0))] =
                reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        sqlite3_finalize(st);
        sqlite3_close(db);
        return rows;
    }
    // id -> (type, attr)
    std::map<int, std::pair<int, int>> blockRows(const std::string& file) {
        std::map<int, std::pair<int, int>> rows;
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "select id, type, attr from block", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            rows[sqlite3_column_int(st, 0)] = {sqlite3_column_int(st, 1),
                                               sqlite3_column_int(st, 2)};
        sqlite3_finalize(st);
        sqlite3_close(db);
        return rows;
    }
    // The stored body of block `id`.
    std::string rawBody(const std::string& file, int id) {
        std::string out;
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "select body from block where id=?", -1, &st, nullptr);
        sqlite3_bind_int(st, 1, id);
        if (sqlite3_step(st) == SQLITE_ROW)
            out.assign(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                       sqlite3_column_bytes(st, 0));
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }
    std::vector<std::string> filesInDir() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

std::string u8(const wxString& s) {
    return std::string(s.utf8_str());
}

} // namespace

TEST_F(LegacyTest, HeaderLineVariants) {
    struct Case {
        const char* what;
        std::string line;
        int result;
    };
    const std::string id = "5b0c6c9e-1d2f-4a3b-8c4d-5e6f7a8b9c0d";
    const std::string app = LegacyFileBuilder::kAppId;
    const Case cases[] = {
        {"tabs", "quil-db\t" + app + "\t1.10\t" + id + "\n\n", 0},
        {"line feeds", "quil-db\n" + app + "\n1.10\n" + id + "\n\n", 0},
        {"extra field", "quil-db\t" + app + "\t1.0\t" + id + "\tmore\n\n", 0},
        {"other app id", "quil-db\tsomething-else\t1.10\t" + id + "\n\n", 0},
        {"1.2 sorts after 1.10", "quil-db\t" + app + "\t1.2\t" + id + "\n\n", 2},
        {"wrong tag", "quil-dc\t" + app + "\t1.10\t" + id + "\n\n", 4},
        {"empty file", "", 4},
    };
    for (const Case& c : cases) {
        LegacyFileBuilder b;
        b.setHeaderLine(c.line);
        if (!c.line.empty()) b.settings({{"comp", "0"}});
        LegacyReader reader;
        EXPECT_EQ(openFile(b, reader), c.result) << c.what;
        if (c.result == 0) {
            EXPECT_EQ(u8(reader.dbid()), id) << c.what;
            ASSERT_NE(reader.getBlock(0), nullptr) << c.what;
            EXPECT_EQ(u8(reader.getBlock(0)->getString(K_comp)), "0") << c.what;
        }
    }

    // A missing document id gets a fresh one.
    LegacyFileBuilder b;
    b.setHeaderLine("quil-db\t" + app + "\t1.10\t\n\n");
    LegacyReader reader;
    ASSERT_EQ(openFile(b, reader), 0);
    EXPECT_EQ(reader.dbid().length(), 36u);
}

// Records whose lengths do not fit their own fields or the file: open must
// fail with 3 (and return), whatever the record type.
TEST_F(LegacyTest, InconsistentRecordLengthsAreCorrupt) {
    struct Case {
        const char* what;
        void (*build)(LegacyFileBuilder&);
    };
    const Case cases[] = {
        {"zero length", [](LegacyFileBuilder& b) { b.rawBytes(std::string(8, '\0')); }},
        {"length 4 cannot hold flags",
         [](LegacyFileBuilder& b) { b.rawBytes(std::string("\x04\0\0\0\0\0\0\0", 8)); }},
        {"node shorter than its fixed part",
         [](LegacyFileBuilder& b) { b.rawRecord(17, 2, 5, 0, 0); }},
        {"node header past its length",
         [](LegacyFileBuilder& b) { b.rawRecord(21 + 4, 2, 5, 8, 0, std::string(8, 'x')); }},
        {"object body past its length",
         [](LegacyFileBuilder& b) { b.rawRecord(17 + 4, 3, 5, 0, 9, std::string(9, 'x')); }},
        {"record past the end of the file",
         [](LegacyFileBuilder& b) { b.rawRecord(17 + 100, 3, 5, 0, 100, std::string(10, 'x')); }},
        {"lengths that overflow 32 bits",
         [](LegacyFileBuilder& b) {
             b.rawRecord(17 + 16, 3, 5, 0xFFFFFFF8u, 0x18u, std::string(16, 'x'));
         }},
        {"other type past its length", [](LegacyFileBuilder& b) { b.rawRecord(17, 7, 5, 4, 0); }},
        {"free record past the end",
         [](LegacyFileBuilder& b) { b.rawBytes(std::string("\xff\0\0\0\0", 5)); }},
    };
    for (const Case& c : cases) {
        LegacyFileBuilder b;
        b.settings({{"comp", "1"}});
        c.build(b);
        LegacyReader reader;
        EXPECT_EQ(openFile(b, reader), LegacyReader::LEGACY_CORRUPT) << c.what;
        EXPECT_FALSE(reader.isOpen()) << c.what;
    }

    // A few stray bytes after the last record are not a record.
    LegacyFileBuilder b;
    b.settings({});
    b.rawBytes("abc");
    LegacyReader reader;
    EXPECT_EQ(openFile(b, reader), 0);
}

TEST_F(LegacyTest, ConvertsSettingsNodesAndObjects) {
    const std::string incompressible = [] {
        std::string s;
        uint32_t x = 12345;
        for (int i = 0; i < 200; ++i) {
            x = x * 1103515245u + 12345u;
            s += char(x >> 24);
        }
        return s;
    }();
    const std::string text(400, 'a');
    LegacyFileBuilder b;
    b.settings({{"window", "1,2,3,4,5,1"},
                {"comp", "1"},
                {"selected", "3"},
                {"expanded", "1,2"},
                {"n.f.name", "Sans"},
                {"v.tabs", "x"}});
    b.node(1, -1, {{"cap", "Top"}, {"ch", "2,3"}, {"mime", "text/plain"}}, "root text");
    b.node(2, 1, {{"cap", "first version"}}, "old");
    b.freeRecord(40);
    b.node(3, 1, {{"cap", "Compressible"}, {"b.f.name", "Serif"}, {"n.fc", "FF0000"}}, text, true);
    b.node(2, 1, {{"cap", "Second"}, {"i", "star"}}, incompressible, false, true);
    b.object(4, {{"mime", "image/png"}, {"fname", "a.png"}}, "PNGDATA");
    b.node(5, 1, {{"cap", "no mime"}}, "");

    LegacyReader reader;
    ASSERT_EQ(openFile(b, reader), 0);
    EXPECT_EQ(reader.maxId(), 5);
    EXPECT_EQ(reader.freeRecords().size(), 1u);
    ASSERT_EQ(reader.convert(path("out.q2db")), 0);
    reader.close();

    auto project = projectRows(spath("out.q2db"));
    EXPECT_EQ(project["window"], "1,2,3,4,5,1,0");
    EXPECT_EQ(project["appname"], "quillnest");
    EXPECT_EQ(project["version"], "2.0");
    EXPECT_EQ(project["dbid"], b.dbid());
    EXPECT_EQ(project["grps"], "1");
    EXPECT_EQ(project["grp"], "1");
    EXPECT_EQ(project["tools"], "1000000000");
    EXPECT_EQ(project["NFname"], "Sans");
    EXPECT_EQ(project["m"], "text/plain");
    EXPECT_EQ(project.count("v.tabs"), 0u);

    auto rows = blockRows(spath("out.q2db"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[1], std::make_pair(1, 0));
    EXPECT_EQ(rows[2], std::make_pair(1, 4)); // later duplicate wins, excluded, stored plain
    EXPECT_EQ(rows[3], std::make_pair(1, 1)); // compressed
    EXPECT_EQ(rows[4], std::make_pair(2, 0));

    Database db;
    ASSERT_EQ(db.open(path("out.q2db")), Database::OPEN_OK);
    Block* root = db.getBlock(1);
    EXPECT_EQ(u8(root->getString(K_grpsel)), "3");
    EXPECT_EQ(u8(root->getString(K_grpexp)), "1,2");
    EXPECT_EQ(root->getInt(K_p), -1);
    EXPECT_EQ(u8(root->text()), "root text");
    Block* second = db.getBlock(2);
    EXPECT_EQ(u8(second->getString(K_cap)), "Second");
    EXPECT_EQ(u8(second->getString(K_i)), "star");
    EXPECT_EQ(second->getInt(K_sz), 200);
    Block* third = db.getBlock(3);
    EXPECT_EQ(u8(third->getString(K_Fname)), "Serif");
    EXPECT_EQ(u8(third->getString(K_Nfc)), "FF0000");
    EXPECT_EQ(u8(third->text()), text);
    Block* obj = db.getBlock(4);
    EXPECT_FALSE(obj->hasOwn(K_p));
    EXPECT_EQ(u8(obj->getString(K_m)), "image/png");
    EXPECT_EQ(obj->body().bytes, "PNGDATA");
    EXPECT_EQ(u8(db.getBlock(5)->getString(K_m)), "text/plain");
}

TEST_F(LegacyTest, WindowPlacementSuffix) {
    const std::pair<const char*, const char*> cases[] = {
        {"1,2,3,4,5,1", "1,2,3,4,5,1,0"},
        {"1,2,3,4,5,1,7", "1,2,3,4,5,1,7"},
        {"", nullptr},
    };
    for (const auto& [before, after] : cases) {
        LegacyFileBuilder b;
        b.settings(*before ? Pairs{{"window", before}} : Pairs{});
        b.node(1, -1, {}, "");
        LegacyReader reader;
        ASSERT_EQ(openFile(b, reader), 0);
        fs::remove(spath("out.q2db"));
        ASSERT_EQ(reader.convert(path("out.q2db")), 0);
        auto project = projectRows(spath("out.q2db"));
        if (after)
            EXPECT_EQ(project["window"], after) << before;
        else
            EXPECT_EQ(project.count("window"), 0u) << "a missing placement stays missing";
    }
}

TEST_F(LegacyTest, ProtectedFileIsReprotected) {
    const std::string created = "2009-05-06 07:08:09";
    LegacyFileBuilder b;
    // MD5("secret" + the builder's dbid), worked out with another MD5.
    const wxString verifier = wxS("278b412f037d1f25f316388eff2ea0d5");
    b.settings({{"pwd", u8(verifier)},
                {"h_algo", "md5"},
                {"c_algo", "arcfour"},
                {"c", created},
                {"comp", "1"}});
    b.protect("secret", created);
    b.node(1, -1, {{"cap", "Locked"}, {"ch", "2"}}, std::string(300, 'z'), true);
    b.node(2, 1, {{"cap", "Inner"}}, "hidden words");

    LegacyReader reader;
    ASSERT_EQ(openFile(b, reader), 0);
    ASSERT_TRUE(reader.isProtected());
    ASSERT_TRUE(reader.algorithmsSupported());
    EXPECT_FALSE(reader.checkPassword(wxS("wrong")));
    ASSERT_TRUE(reader.checkPassword(wxS("secret")));
    reader.unlock(wxS("secret"), wxS("rr"));
    ASSERT_EQ(reader.convert(path("out.q2db")), 0);

    auto project = projectRows(spath("out.q2db"));
    EXPECT_EQ(project["c_algo"], "arcfour,md5,rr");
    EXPECT_EQ(project.count("h_algo"), 0u);
    EXPECT_EQ(project["pwd"], u8(verifier));
    for (const auto& [id, row] : blockRows(spath("out.q2db")))
        EXPECT_TRUE(row.second & ATTR_ENCRYPTED) << id;

    // The engine opens it with the same password and the stored options.
    Database db;
    ASSERT_EQ(db.open(path("out.q2db")), Database::OPEN_OK);
    auto cipher = std::make_unique<BlockCipher>();
    cipher->setKey(cipherKeyMaterial(db.dbid(), wxS("secret"), db.getString(K_c)));
    cipher->setOptions(wxS("rr"));
    db.setCipher(std::move(cipher));
    EXPECT_EQ(u8(db.getBlock(1)->getString(K_cap)), "Locked");
    EXPECT_EQ(u8(db.getBlock(1)->text()), std::string(300, 'z'));
    EXPECT_EQ(u8(db.getBlock(2)->text()), "hidden words");
}

// The default conversion seals the new document with a key derived from the
// password: nothing of the legacy protection is left in it.
TEST_F(LegacyTest, ProtectedFileIsSealedByDefault) {
    const std::string created = "2009-05-06 07:08:09";
    LegacyFileBuilder b;
    const wxString verifier = wxS("278b412f037d1f25f316388eff2ea0d5"); // as above
    b.settings({{"pwd", u8(verifier)},
                {"h_algo", "md5"},
                {"c_algo", "arcfour"},
                {"c", created},
                {"comp", "1"}});
    b.protect("secret", created);
    b.node(1, -1, {{"cap", "Locked"}, {"ch", "2 3"}}, std::string(300, 'z'), true);
    b.node(2, 1, {{"cap", "Twin"}}, "hidden words");
    b.node(3, 1, {{"cap", "Twin"}}, "hidden words");

    LegacyReader reader;
    ASSERT_EQ(openFile(b, reader), 0);
    ASSERT_TRUE(reader.checkPassword(wxS("secret")));
    ASSERT_TRUE(reader.unlockSealed(wxS("secret"), KdfLimits::minimum()));
    ASSERT_EQ(reader.convert(path("out.q2db")), 0);

    auto project = projectRows(spath("out.q2db"));
    EXPECT_EQ(project["c_algo"], kSealedAlgo);
    EXPECT_EQ(project.count("h_algo"), 0u);
    EXPECT_NE(project["pwd"], u8(verifier));
    EXPECT_EQ(project["c_salt"].size(), 32u);
    for (const auto& [id, row] : blockRows(spath("out.q2db")))
        EXPECT_TRUE(row.second & ATTR_ENCRYPTED) << id;
    EXPECT_NE(rawBody(spath("out.q2db"), 2), rawBody(spath("out.q2db"), 3));

    Database db;
    ASSERT_EQ(db.open(path("out.q2db")), Database::OPEN_OK);
    EXPECT_EQ(unlockDocument(db, wxS("Secret")), Unlock::WrongPassword);
    ASSERT_EQ(unlockDocument(db, wxS("secret")), Unlock::Ok);
    EXPECT_EQ(u8(db.getBlock(1)->getString(K_cap)), "Locked");
    EXPECT_EQ(u8(db.getBlock(1)->text()), std::string(300, 'z'));
    EXPECT_EQ(u8(db.getBlock(3)->text()), "hidden words");
}

TEST_F(LegacyTest, UnprotectedFileKeepsItsAlgorithmNames) {
    LegacyFileBuilder b;
    b.settings({{"h_algo", "md5"}, {"c_algo", "arcfour"}});
    b.node(1, -1, {}, "plain");
    LegacyReader reader;
    ASSERT_EQ(openFile(b, reader), 0);
    EXPECT_FALSE(reader.isProtected());
    ASSERT_EQ(reader.convert(path("out.q2db")), 0);
    auto project = projectRows(spath("out.q2db"));
    EXPECT_EQ(project["h_algo"], "md5");
    EXPECT_EQ(project["c_algo"], "arcfour");
}

// A conversion that fails part-way leaves neither a partial document nor a
// temporary file, and an existing destination keeps its content.
TEST_F(LegacyTest, FailedConversionLeavesNothingBehind) {
    LegacyFileBuilder b;
    b.settings({});
    b.node(1, -1, {{"cap", "a"}}, std::string(100, 'a'));
    b.node(2, 1, {{"cap", "b"}}, std::string(100, 'b'));
    LegacyReader reader;
    ASSERT_EQ(openFile(b, reader), 0);
    {
        std::ofstream keep(spath("out.q2db"));
        keep << "previous";
    }
    // The source shrinks under the reader: the second body cannot be read.
    fs::resize_file(dir / "in.qudb", b.bytes().size() - 50);
    EXPECT_EQ(reader.convert(path("out.q2db")), LegacyReader::CONVERT_FAILED);
    EXPECT_FALSE(reader.messages().empty());
    std::ifstream kept(spath("out.q2db"));
    std::string content((std::istreambuf_iterator<char>(kept)), {});
    EXPECT_EQ(content, "previous");
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"in.qudb", "out.q2db"}));

    // No settings block: nothing to convert.
    LegacyFileBuilder empty;
    empty.node(1, -1, {}, "");
    LegacyReader r2;
    ASSERT_EQ(openFile(empty, r2), 0);
    EXPECT_EQ(r2.convert(path("new.q2db")), LegacyReader::CONVERT_FAILED);
    EXPECT_FALSE(fs::exists(dir / "new.q2db"));

    // A destination folder that does not exist.
    LegacyReader r3;
    ASSERT_EQ(openFile(b, r3), 0);
    EXPECT_EQ(r3.convert(path("missing/out.q2db")), LegacyReader::CONVERT_FAILED);
}

// Broken compressed data is carried over as stored instead of being cut
// short: the new document holds exactly what the old one did.
TEST_F(LegacyTest, DamagedCompressedBodyIsCarriedOver) {
    std::string packed = deflateBytes(std::string(500, 'q'));
    packed.resize(packed.size() / 2);
    LegacyFileBuilder b;
    b.settings({{"comp", "1"}});
    b.node(1, -1, {{"cap", "top"}}, "");
    // A node record with the compressed flag and a truncated stream.
    std::string hdr = "cap=broken body\n";
    std::string rec;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            rec += char((v >> (8 * i)) & 0xFF);
    };
    put32(uint32_t(21 + hdr.size() + packed.size()));
    rec += char(2 | 0x20);
    put32(2);
    put32(1);
    put32(uint32_t(hdr.size()));
    put32(uint32_t(packed.size()));
    b.rawBytes(rec + hdr + packed);

    LegacyReader reader;
    ASSERT_EQ(openFile(b, reader), 0);
    ASSERT_EQ(reader.convert(path("out.q2db")), 0);
    EXPECT_EQ(reader.damagedBodies(), 1);
    EXPECT_TRUE(blockRows(spath("out.q2db"))[2].second & ATTR_COMPRESSED);

    wxLogNull quiet;
    Database db;
    ASSERT_EQ(db.open(path("out.q2db")), Database::OPEN_OK);
    Block* node = db.getBlock(2);
    node->body();
    EXPECT_TRUE(node->isDamaged());
    EXPECT_EQ(u8(node->getString(K_cap)), "broken body");
}

TEST(LegacyKeys, NamesMapBothWays) {
    EXPECT_EQ(legacyKeyCodeOf(wxS("n.f.name")), K_NFname);
    EXPECT_EQ(legacyKeyCodeOf(wxS("mime")), K_m);
    EXPECT_EQ(legacyKeyCodeOf(wxS("NFname")), 0); // current names are not legacy names
    EXPECT_EQ(legacyKeyCodeOf(wxS("!")), 0);
    EXPECT_EQ(legacyKeyNameOf(K_tools), wxS("v.tabs"));
    EXPECT_EQ(legacyKeyNameOf(77), wxS("undef?"));
    // A last line without its line feed ends the header.
    AttrMap m = parseLegacyHeader(wxS("cap=a\nt.bg=FFFFFF\ni=x"));
    EXPECT_EQ(m.size(), 2u);
    EXPECT_EQ(m[K_Tbg], wxS("FFFFFF"));
}
