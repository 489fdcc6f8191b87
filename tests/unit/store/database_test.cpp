#include "store/database.h"
#include "store/legacy.h"
#include "store/safe_file.h"
#include "raw_sql.h"
#include "test_util.h"

#include <wx/ffile.h>
#include <wx/log.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

#include <sys/stat.h>

using namespace qn;
using qn::test::LogCapture;
using qn::test::rawCount;
using qn::test::rawExec;
using qn::test::rawValue;
using qn::test::TempDir;

namespace {

std::unique_ptr<BlockCipher> makeCipher(Database& db, const wxString& pw, const wxString& opts) {
    return makeDocumentCipher(db, pw, opts);
}

// Opens a document, installing the cipher for the password when protected.
int openWith(Database& db, const wxString& path, const wxString& pw = wxString()) {
    int rc = db.open(path);
    if (rc == 0 && db.isProtected()) {
        EXPECT_EQ(unlockDocument(db, pw), Unlock::Ok);
    }
    return rc;
}

// A small document: root with two children, one with a long text body.
wxString makeDocument(const TempDir& dir, bool comp, const char* name = "doc.q2db") {
    Database db({{wxS("comp"), comp ? wxS("1") : wxS("0")},
                 {wxS("Fname"), wxS("Sans")},
                 {wxS("nonsense"), wxS("ignored")}});
    Block* root = db.newDocument();
    root->setString(K_cap, wxS("Root"));
    Block* a = db.newNode(1);
    a->setString(K_cap, wxS("Alpha"));
    a->setText(wxString::FromUTF8("Grüße, ") + wxString(wxS('a'), 400));
    root->editChildren(a->id(), CH_APPEND);
    Block* b = db.newNode(1);
    b->setString(K_cap, wxS("Beta"));
    b->setText(wxS("short"));
    root->editChildren(b->id(), CH_APPEND);
    db.setPath(dir.file(name));
    EXPECT_TRUE(db.save());
    return db.path();
}

} // namespace

TEST(Database, NewDocumentContent) {
    Database db({{wxS("comp"), wxS("1")}, {wxS("version"), wxS("9.9")}, {wxS("zz"), wxS("x")}});
    Block* root = db.newDocument();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->id(), 1);
    EXPECT_EQ(root->parent(), -1);
    EXPECT_EQ(root->getString(K_m), wxS("text/plain"));
    EXPECT_EQ(root->getString(K_ch), wxS(""));
    EXPECT_EQ(db.getString(K_appname), wxS("quillnest"));
    EXPECT_EQ(db.getString(K_appid), wxS("6A3F0C2E-94B1-4d7a-B5C8-2E71D0F4A9B3"));
    // defaults replace what was set before
    EXPECT_EQ(db.getString(K_version), wxS("9.9"));
    EXPECT_EQ(db.getInt(K_comp), 1);
    EXPECT_EQ(db.dbid().length(), 36u);
    EXPECT_TRUE(db.isNew());
    EXPECT_TRUE(db.isOpen());
    EXPECT_TRUE(db.isModified());
    // block attributes fall back to project settings
    EXPECT_EQ(root->getInt(K_comp), 1);
}

TEST(Database, RoundTripPlainAndCompressed) {
    for (bool comp : {false, true}) {
        TempDir dir;
        wxString path = makeDocument(dir, comp);
        EXPECT_EQ(rawValue(path, "select sql from sqlite_master where name='block'"),
                  "CREATE TABLE block (id INTEGER PRIMARY KEY, type SMALLINT, attr INTEGER, "
                  "hdr BLOB, body BLOB)");
        EXPECT_EQ(rawCount(path, "select attr from block where id=2"), comp ? ATTR_COMPRESSED : 0);
        EXPECT_EQ(rawCount(path, "select count(*) from project where name='nonsense'"), 0);

        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        EXPECT_FALSE(db.isModified());
        EXPECT_EQ(db.maxId(), 3);
        Block* root = db.getBlock(1);
        EXPECT_EQ(root->getIntList(K_ch), (std::vector<int>{2, 3}));
        Block* a = db.getBlock(2);
        EXPECT_EQ(a->getString(K_cap), wxS("Alpha"));
        EXPECT_EQ(a->text(), wxString::FromUTF8("Grüße, ") + wxString(wxS('a'), 400));
        // sz is the byte length of the UTF-8 body
        EXPECT_EQ(a->size(), 409u);
        EXPECT_EQ(db.getBlock(3)->text(), wxS("short"));
        EXPECT_FALSE(a->isDamaged());
        EXPECT_EQ(db.getString(K_s).length(), 19u);
    }
}

TEST(Database, ProtectedRoundTripEachOptionCase) {
    for (const char* opts : {"", "r", "rr", "xr"}) {
        TempDir dir;
        wxString path = makeDocument(dir, true);
        {
            Database db;
            ASSERT_EQ(db.open(path), Database::OPEN_OK);
            db.setString(K_dbid, wxS("{3f2504e0-4f89-11d3-9a0c-0305e82c3301}"));
            ASSERT_TRUE(db.changeCipher(makeCipher(db, wxS("secret"), wxString::FromAscii(opts)),
                                        wxS("secret")));
            EXPECT_EQ(db.getString(K_c_algo), wxS("arcfour,md5,") + wxString::FromAscii(opts));
            // MD5("secret" + dbid), worked out with another MD5.
            EXPECT_EQ(db.getString(K_pwd), wxS("43aa3b07ac2b6e7eace323c1f79791b5"));
            EXPECT_TRUE(db.isOpen());
            // still usable after the squeeze
            db.getBlock(3)->setText(wxS("changed"));
            EXPECT_TRUE(db.save());
        }
        EXPECT_EQ(rawCount(path, "select attr & 2 from block where id=2"), ATTR_ENCRYPTED);
        EXPECT_EQ(rawValue(path, "select hdr from block where id=3").find("cap"),
                  std::string::npos);
        Database db;
        ASSERT_EQ(openWith(db, path, wxS("secret")), Database::OPEN_OK);
        EXPECT_EQ(db.getBlock(2)->getString(K_cap), wxS("Alpha"));
        EXPECT_EQ(db.getBlock(2)->text().Left(7), wxString::FromUTF8("Grüße, "));
        EXPECT_EQ(db.getBlock(3)->text(), wxS("changed"));
        EXPECT_FALSE(db.getBlock(2)->isDamaged()) << opts;
        // a wrong password and unknown algorithms are refused
        {
            Database other;
            ASSERT_EQ(other.open(path), Database::OPEN_OK);
            EXPECT_EQ(unlockDocument(other, wxS("Secret")), Unlock::WrongPassword);
            EXPECT_EQ(other.cipher(), nullptr);
            other.setString(K_c_algo, wxS("aes,md5,rr"));
            EXPECT_EQ(unlockDocument(other, wxS("secret")), Unlock::Unsupported);
        }
        // freeing the document again
        ASSERT_TRUE(db.changeCipher(nullptr, wxString()));
        db.close();
        EXPECT_EQ(db.open(path), Database::OPEN_OK);
        EXPECT_FALSE(db.isProtected());
        EXPECT_EQ(db.getBlock(3)->text(), wxS("changed"));
    }
}

TEST(Database, ChangeCipherOnNewDocumentOnlySetsKeys) {
    TempDir dir;
    Database db;
    db.newDocument();
    db.getBlock(1)->setText(wxS("hello"));
    ASSERT_TRUE(db.changeCipher(makeCipher(db, wxS("pw"), wxS("rr")), wxS("pw")));
    EXPECT_TRUE(db.isNew());
    EXPECT_TRUE(db.isProtected());
    db.setPath(dir.file("n.q2db"));
    ASSERT_TRUE(db.save());
    db.close();
    ASSERT_EQ(openWith(db, dir.file("n.q2db"), wxS("pw")), Database::OPEN_OK);
    EXPECT_EQ(db.getBlock(1)->text(), wxS("hello"));
}

TEST(Database, HeaderOnlySaveKeepsBodyAndStamps) {
    TempDir dir;
    wxString path = makeDocument(dir, true);
    std::string bodyBefore = rawValue(path, "select body from block where id=2");
    rawExec(path, "update project set value='0' where name='comp'");
    {
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        Block* a = db.getBlock(2);
        a->setString(K_s, wxS("2010-01-02 03:04:05"));
        a->setString(K_cap, wxS("Renamed"));
        ASSERT_TRUE(db.save());
        EXPECT_FALSE(a->hasBody());
    }
    // compression bit and body bytes untouched although comp is now off
    EXPECT_EQ(rawCount(path, "select attr from block where id=2"), ATTR_COMPRESSED);
    EXPECT_EQ(rawValue(path, "select body from block where id=2"), bodyBefore);
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    wxString s = db.getBlock(2)->getString(K_s);
    EXPECT_TRUE(s.StartsWith(wxS("2010-01-02 03:04:05;"))) << s;
    EXPECT_EQ(s.length(), 39u);
    db.getBlock(2)->setString(K_cap, wxS("Again"));
    // a block without s gets the plain time, no leading ";"
    db.getBlock(3)->removeKey(K_s);
    ASSERT_TRUE(db.save());
    db.close();
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    EXPECT_TRUE(db.getBlock(2)->getString(K_s).StartsWith(wxS("2010-01-02 03:04:05;")));
    wxString s3 = db.getBlock(3)->getString(K_s);
    EXPECT_EQ(s3.length(), 19u) << s3;
}

TEST(Database, DeletionsBeforeAndAfterFirstSave) {
    TempDir dir;
    wxString path = makeDocument(dir, false);
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    Block* fresh = db.newNode(1);
    int freshId = fresh->id();
    db.deleteBlock(freshId);
    db.deleteBlock(3);
    EXPECT_TRUE(db.isModified());
    EXPECT_EQ(db.findBlock(3), nullptr);
    ASSERT_TRUE(db.save());
    EXPECT_EQ(rawCount(path, "select count(*) from block"), 2);
    EXPECT_EQ(rawCount(path, "select count(*) from block where id=3"), 0);
    // ids are not reused while the document is open
    EXPECT_EQ(db.newNode(1)->id(), freshId + 1);
}

TEST(Database, SaveWithNothingChangedDropsBodies) {
    TempDir dir;
    wxString path = makeDocument(dir, false);
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    EXPECT_EQ(db.getBlock(3)->text(), wxS("short"));
    EXPECT_TRUE(db.getBlock(3)->hasBody());
    EXPECT_TRUE(db.save());
    EXPECT_FALSE(db.getBlock(3)->hasBody());
}

TEST(Database, OpenResults) {
    TempDir dir;
    wxString good = makeDocument(dir, false);
    Database db;
    EXPECT_EQ(db.open(dir.file("missing.q2db")), Database::OPEN_NOT_OPENABLE);
    ASSERT_EQ(db.open(good), Database::OPEN_OK);
    EXPECT_EQ(db.open(good), Database::OPEN_NOT_OPENABLE); // already open: untouched
    EXPECT_EQ(db.path(), good);
    db.close();

    for (const char* v : {"2.1", "2.0.1"}) {
        TempDir d2;
        wxString p = makeDocument(d2, false);
        rawExec(p,
                (std::string("update project set value='") + v + "' where name='version'").c_str());
        Database dbv;
        EXPECT_EQ(dbv.open(p), Database::OPEN_VERSION) << v;
        EXPECT_FALSE(dbv.isOpen());
        EXPECT_EQ(Database::storedVersion(p), wxString::FromAscii(v));
    }
    // What a refused file is, as the store tells it.
    {
        const wxString legacy = dir.file("old.qudb"), text = dir.file("notes.txt");
        std::ofstream(legacy.utf8_string(), std::ios::binary) << "quil-db\x01rest of a header";
        std::ofstream(text.utf8_string(), std::ios::binary) << "quil-d";
        Database d;
        EXPECT_EQ(d.open(legacy), Database::OPEN_NOT_DOCUMENT);
        EXPECT_TRUE(isLegacyFile(legacy));
        for (const wxString& other : {text, good, dir.file("missing.q2db")}) {
            EXPECT_FALSE(isLegacyFile(other)) << other;
            EXPECT_EQ(Database::storedVersion(other), other == good ? wxS("2.0") : wxS(""));
        }
    }
    {
        wxString p = dir.file("empty.q2db");
        rawExec(p, "create table project (name TEXT, value TEXT); create table block (id "
                   "INTEGER PRIMARY KEY, type SMALLINT, attr INTEGER, hdr BLOB, body BLOB)");
        Database d;
        ASSERT_EQ(d.open(p), Database::OPEN_OK);
        EXPECT_EQ(d.maxId(), 0);
        EXPECT_EQ(d.newNode(-1)->id(), 1);
    }
}

TEST(Database, HostileFilesNeverCrash) {
    TempDir dir;
    LogCapture log;
    // random bytes
    {
        wxString p = dir.file("random.q2db");
        std::ofstream(p.fn_str().data()) << std::string(3000, '\x5a');
        Database db;
        EXPECT_EQ(db.open(p), Database::OPEN_NOT_DOCUMENT);
        EXPECT_FALSE(db.isOpen());
    }
    // an SQLite file without our tables
    {
        wxString p = dir.file("other.q2db");
        rawExec(p, "create table t (x)");
        Database db;
        EXPECT_EQ(db.open(p), Database::OPEN_NOT_DOCUMENT);
    }
    // a truncated document
    {
        wxString src = makeDocument(dir, true, "big.q2db");
        {
            Database db;
            ASSERT_EQ(db.open(src), Database::OPEN_OK);
            for (int i = 0; i < 200; ++i)
                db.newNode(1)->setText(wxString(wxS('q'), 3000));
            ASSERT_TRUE(db.save());
        }
        wxFFile f(src, wxS("rb"));
        std::string data(static_cast<size_t>(f.Length()), '\0');
        f.Read(data.data(), data.size());
        f.Close();
        wxString p = dir.file("trunc.q2db");
        std::ofstream(p.fn_str().data(), std::ios::binary) << data.substr(0, data.size() / 3);
        Database db;
        int rc = db.open(p);
        if (rc == 0) {
            for (const auto& [id, b] : db.blocks()) {
                Block* blk = db.getBlock(id);
                blk->body();
            }
            db.search(wxS("q"), false);
        }
    }
    // NULL and text in hdr/body, an absurd sz, unknown types
    {
        wxString p = makeDocument(dir, true, "odd.q2db");
        rawExec(p,
                "update block set hdr=NULL, body=NULL where id=3;"
                "insert into block values (7, 1, 1, 'cap=text hdr\nsz=999999999\n', 'plain text');"
                "insert into block values (8, 2, 0, X'', NULL);");
        Database db;
        ASSERT_EQ(db.open(p), Database::OPEN_OK);
        EXPECT_EQ(db.getBlock(3)->text(), wxS(""));
        Block* b7 = db.getBlock(7);
        EXPECT_EQ(b7->getString(K_cap), wxS("text hdr"));
        EXPECT_TRUE(b7->text().empty());
        EXPECT_TRUE(b7->isDamaged()); // marked compressed, but not a zlib stream
        EXPECT_TRUE(db.getBlock(8)->body().bytes.empty());
        db.getBlock(8)->setString(K_cap, wxS("x"));
        EXPECT_TRUE(db.save());
    }
}

TEST(Database, CopyToAndReopenStates) {
    TempDir dir;
    wxString path = makeDocument(dir, true);
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    db.getBlock(3)->setText(wxS("edited before copy"));
    wxString copy = dir.file("copy.q2db");
    ASSERT_TRUE(db.copyTo(copy));
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(rawValue(copy, "select body from block where id=2"),
              rawValue(path, "select body from block where id=2"));
    db.setPath(copy);
    ASSERT_TRUE(db.reopen());
    EXPECT_TRUE(db.isOpen());
    EXPECT_EQ(db.getBlock(3)->text(), wxS("edited before copy"));
    db.getBlock(3)->setText(wxS("edited in copy"));
    ASSERT_TRUE(db.save());
    Database orig;
    ASSERT_EQ(orig.open(path), Database::OPEN_OK);
    EXPECT_EQ(orig.getBlock(3)->text(), wxS("edited before copy"));
    // a copy onto an unwritable place fails and leaves the document open
    EXPECT_FALSE(db.copyTo(dir.file("no/such/dir/x.q2db")));
    EXPECT_TRUE(db.isOpen());
}

TEST(Database, FailedSaveKeepsEverything) {
    TempDir dir;
    wxString path = makeDocument(dir, false);
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    db.getBlock(3)->setText(wxS("unsaved work"));
    db.getBlock(2)->setString(K_cap, wxS("new title"));
    Block* n = db.newNode(1);
    n->setText(wxS("new node"));
    db.deleteBlock(2);
    db.setInt(K_grp, 1);

    // Another program holds the file locked.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.utf8_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        LogCapture log;
        EXPECT_FALSE(db.save());
        EXPECT_TRUE(log.contains(wxS("Database::"))) << log.text();
    }
    EXPECT_EQ(db.lastError().operation, wxS("save"));
    EXPECT_EQ(db.lastError().code & 0xFF, SQLITE_BUSY);
    EXPECT_FALSE(db.lastError().message.empty());
    EXPECT_TRUE(db.isModified());
    EXPECT_EQ(db.getBlock(3)->text(), wxS("unsaved work"));
    sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    // The file is untouched, and a later save writes every change.
    EXPECT_EQ(rawCount(path, "select count(*) from block"), 3);
    ASSERT_TRUE(db.save());
    EXPECT_FALSE(db.isModified());
    Database check;
    ASSERT_EQ(check.open(path), Database::OPEN_OK);
    EXPECT_EQ(check.getBlock(3)->text(), wxS("unsaved work"));
    EXPECT_EQ(check.getBlock(n->id())->text(), wxS("new node"));
    EXPECT_EQ(check.findBlock(2), nullptr);
    EXPECT_EQ(check.getInt(K_grp), 1);
}

TEST(Database, FirstSaveIntoAMissingFolderIsExplained) {
    TempDir dir;
    Database db;
    db.newDocument();
    db.setPath(dir.file("no/such/folder/doc.q2db"));
    EXPECT_FALSE(db.save());
    EXPECT_EQ(db.lastError().operation, wxS("save"));
    EXPECT_FALSE(db.lastError().message.empty());
    EXPECT_TRUE(db.isNew()); // nothing was made: the next save tries again
}

TEST(Database, CompactReplacesTheFileAndKeepsItOpen) {
    for (bool keep : {false, true}) {
        TempDir dir;
        const wxString path = makeDocument(dir, true);
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        db.getBlock(3)->setText(wxS("unsaved before compact"));
        wxString why;
        ASSERT_EQ(db.compact(keep, why), Database::Compact::Done) << why;
        EXPECT_TRUE(db.isOpen());
        EXPECT_FALSE(db.isModified());
        EXPECT_EQ(db.getBlock(3)->text(), wxS("unsaved before compact"));
        db.getBlock(2)->setString(K_cap, wxS("after"));
        EXPECT_TRUE(db.save()) << "the compacted file is the one in use";
        EXPECT_FALSE(wxFileExists(optimizeCopyPath(path)));
        EXPECT_EQ(wxFileExists(optimizeBackupPath(path)), keep);
        Database check;
        ASSERT_EQ(check.open(path), Database::OPEN_OK);
        EXPECT_EQ(check.getBlock(2)->getString(K_cap), wxS("after"));
        EXPECT_EQ(check.getBlock(3)->text(), wxS("unsaved before compact"));
    }
}

// A second optimize while one runs (in another program) leaves the first
// one's copy alone and says why, instead of writing the same copy.
TEST(Database, OneCompactAtATime) {
    TempDir dir;
    const wxString path = makeDocument(dir, true);
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    wxString why;
    {
        const OptimizeGuard running(path);
        ASSERT_FALSE(running.busy());
        {
            std::ofstream copy(optimizeCopyPath(path).utf8_string());
            copy << "the other run's copy, half written";
        }
        EXPECT_EQ(db.compact(false, why), Database::Compact::CannotReplace);
        EXPECT_NE(why.find(wxS("another program")), wxString::npos) << why;
        EXPECT_TRUE(wxFileExists(optimizeCopyPath(path)));
        EXPECT_TRUE(db.isOpen());
        EXPECT_EQ(db.getBlock(2)->getString(K_cap), wxS("Alpha"));
    }
    ASSERT_EQ(db.compact(false, why), Database::Compact::Done) << why;
    EXPECT_FALSE(wxFileExists(optimizeCopyPath(path)));
}

TEST(Database, DeleteSubtreeOrderAndCycles) {
    Database db;
    Block* root = db.newDocument();
    Block* a = db.newNode(1);
    Block* a1 = db.newNode(a->id());
    Block* a2 = db.newNode(a->id());
    root->editChildren(a->id(), CH_APPEND);
    a->editChildren(a1->id(), CH_APPEND);
    a->editChildren(a2->id(), CH_APPEND);
    // a damaged list: a2 names its grandparent and itself
    a2->setIntList(K_ch, {a->id(), a2->id()});
    const int aId = a->id();
    db.deleteSubtree(aId);
    EXPECT_EQ(db.findBlock(aId), nullptr);
    EXPECT_EQ(db.blocks().size(), 1u);
}

TEST(Database, EditChildrenOps) {
    Database db;
    Block* r = db.newDocument();
    r->setIntList(K_ch, {1, 2, 3});
    struct {
        int id, op, ref;
        std::vector<int> expect;
    } cases[] = {
        {9, CH_PREPEND, 0, {9, 1, 2, 3}},       {9, CH_APPEND, 0, {1, 2, 3, 9}},
        {2, CH_MOVE_UP, 0, {2, 1, 3}},          {2, CH_MOVE_DOWN, 0, {1, 3, 2}},
        {9, CH_INSERT_BEFORE, 3, {1, 2, 9, 3}}, {9, CH_INSERT_BEFORE, 7, {1, 2, 3, 9}},
        {9, CH_INSERT_AFTER, 1, {1, 9, 2, 3}},  {2, CH_REMOVE, 0, {1, 3}},
    };
    for (const auto& c : cases) {
        r->setIntList(K_ch, {1, 2, 3});
        EXPECT_EQ(r->editChildren(c.id, c.op, c.ref), static_cast<int>(c.expect.size()));
        EXPECT_EQ(r->getIntList(K_ch), c.expect) << "op " << c.op;
    }
}

TEST(Database, SearchSnippetsLimitsAndExclusions) {
    Database db;
    Block* root = db.newDocument();
    root->setString(K_cap, wxS("Word in title"));
    root->setText(wxS("ab\ncdefgh"));
    Block* n = db.newNode(1);
    n->setText(wxS("word word WORD word word"));
    Block* ex = db.newNode(1);
    ex->setText(wxS("word"));
    ex->setExcluded(true);

    auto hits = db.search(wxS("c"), true);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].pos, 3);
    EXPECT_EQ(hits[0].snippet(), wxS("cdefgh"));

    EXPECT_TRUE(db.search(wxS(""), false).empty());

    hits = db.search(wxS("word"), false);
    EXPECT_EQ(hits.size(), 6u); // caption of the root + five in node 2, none in the excluded
    EXPECT_EQ(hits[0].pos, -1);
    EXPECT_EQ(db.search(wxS("WORD"), true).size(), 1u);

    db.setMaxSearchCount(2);
    hits = db.search(wxS("word"), false);
    EXPECT_EQ(hits.size(), 6u) << "the node that reaches the limit keeps all its hits";
    db.setMaxSearchCount(1);
    EXPECT_EQ(db.search(wxS("word"), false).size(), 1u);
    db.setMaxSearchCount(0);
    EXPECT_EQ(db.search(wxS("word"), false).size(), 6u);

    // letters fold, the neighbours of A-Z in ASCII do not
    Block* edges = db.newNode(1);
    edges->setText(wxS("A@Z[a`z{"));
    hits = db.search(wxS("z["), false);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].pos, 2);
    EXPECT_EQ(db.search(wxS("`"), false).size(), 1u);
    db.deleteBlock(edges->id());

    // snippets stop 15 characters either side
    n->setText(wxString(wxS('x'), 40) + wxS("HIT") + wxString(wxS('y'), 40));
    hits = db.search(wxS("HIT"), true);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].snippet(), wxString(wxS('x'), 15) + wxS("HIT") + wxString(wxS('y'), 15));
}

TEST(Database, SearchDropsCleanBodies) {
    TempDir dir;
    wxString path = makeDocument(dir, true);
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    EXPECT_EQ(db.search(wxString::FromUTF8("grüße"), false).size(), 1u);
    for (const auto& [id, b] : db.blocks())
        EXPECT_FALSE(b->hasBody()) << id;
}

TEST(Database, DamagedBodyNeverOverwritten) {
    TempDir dir;
    wxString path = makeDocument(dir, true);
    // cut the stored zlib stream in half
    rawExec(path, "update block set body=substr(body, 1, length(body)/2) where id=2");
    std::string stored = rawValue(path, "select body from block where id=2");
    {
        Database db;
        LogCapture log;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        Block* a = db.getBlock(2);
        a->body();
        EXPECT_TRUE(a->isDamaged());
        EXPECT_TRUE(log.contains(wxS("Database::readBody"))) << log.text();
        a->setString(K_cap, wxS("title edit"));
        ASSERT_TRUE(db.save());
        EXPECT_EQ(rawValue(path, "select body from block where id=2"), stored);
        // re-keying carries the stored bytes over
        ASSERT_TRUE(db.changeCipher(makeCipher(db, wxS("pw"), wxS("rr")), wxS("pw")));
    }
    Database db;
    ASSERT_EQ(openWith(db, path, wxS("pw")), Database::OPEN_OK);
    Bytes raw = rawValue(path, "select body from block where id=2");
    DecodedBody d = decodeBody(raw, false, db.cipher(), {2, BT_NODE});
    EXPECT_EQ(d.plain, stored);
    EXPECT_EQ(db.getBlock(2)->getString(K_cap), wxS("title edit"));
}

TEST(Database, UnknownProjectRowsAndBlockTypesKept) {
    TempDir dir;
    wxString path = makeDocument(dir, false);
    rawExec(path, "insert into project values ('future1', 'a');"
                  "insert into project values ('future2', 'b');"
                  "insert into block values (50, 7, 0, X'01', X'0203');");
    {
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        db.setInt(K_grp, 1);
        db.getBlock(1)->setString(K_cap, wxS("x"));
        ASSERT_TRUE(db.save());
    }
    EXPECT_EQ(rawValue(path, "select value from project where name='future1'"), "a");
    EXPECT_EQ(rawValue(path, "select value from project where name='future2'"), "b");
    EXPECT_EQ(rawCount(path, "select count(*) from project where name=''"), 0);
    EXPECT_EQ(rawValue(path, "select body from block where id=50"), "\x02\x03");
    EXPECT_EQ(rawCount(path, "select type from block where id=50"), 7);
}

TEST(Database, BodiesWrittenWholeAndSzIsBytes) {
    TempDir dir;
    Database db;
    db.newDocument();
    wxString withNul = wxS("before");
    withNul += wxUniChar(0);
    withNul += wxString::FromUTF8("after ü");
    db.getBlock(1)->setText(withNul);
    Block* obj = db.newObject(wxS("application/octet-stream"));
    obj->setBytes(Bytes("\x00\x01\x02", 3));
    obj->setString(K_sz, wxS("99999")); // a stale size must not matter
    const int objId = obj->id();
    db.setPath(dir.file("nul.q2db"));
    ASSERT_TRUE(db.save());
    db.close();
    ASSERT_EQ(db.open(dir.file("nul.q2db")), Database::OPEN_OK);
    EXPECT_EQ(db.getBlock(1)->text(), withNul);
    EXPECT_EQ(db.getBlock(1)->size(), 15u);
    EXPECT_EQ(db.getBlock(objId)->body().bytes, Bytes("\x00\x01\x02", 3));
    EXPECT_EQ(db.getBlock(objId)->size(), 3u);
}

TEST(Database, ExternalFileBodies) {
    TempDir dir;
    wxString ext = dir.file("article.txt");
    wxString path = dir.file("ext.q2db");
    int id;
    {
        Database db;
        db.newDocument();
        Block* n = db.newNode(1);
        id = n->id();
        n->setString(K_url, ext);
        n->setText(wxS("line one\nline two"));
        db.setPath(path);
        int asked = 0;
        db.setUrlWriteQuestion([&](const wxString&) {
            ++asked;
            return int(ANSWER_YES);
        });
        ASSERT_TRUE(db.save());
        EXPECT_EQ(asked, 1);
    }
    EXPECT_EQ(rawValue(path, "select length(body) from block where id=2"), "0");
    {
        std::ifstream in(ext.fn_str().data());
        std::string s((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(s, "line one\nline two");
    }
    // The file vanishes: the node shows an empty stand-in that is never
    // written over the file; once the file is back its content shows.
    wxRemoveFile(ext);
    {
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        Block* n = db.getBlock(id);
        EXPECT_EQ(n->text(), wxS(""));
        EXPECT_EQ(n->getInt(K_sz), -1);
        db.setUrlWriteQuestion([](const wxString&) { return int(ANSWER_YES); });
        ASSERT_TRUE(db.save());
        EXPECT_FALSE(wxFileExists(ext));
    }
    std::ofstream(ext.fn_str().data()) << "back again\r\n";
    {
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        Block* n = db.getBlock(id);
        EXPECT_EQ(n->text(), wxS("back again\n"));
        EXPECT_NE(n->getInt(K_sz), -1);
        // answering No keeps the file as it is
        n->setText(wxS("rejected"));
        db.setUrlWriteQuestion([](const wxString&) { return int(ANSWER_NO); });
        ASSERT_TRUE(db.save());
    }
    std::ifstream in(ext.fn_str().data());
    std::string s((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(s, "back again\r\n");
}

TEST(Database, ExternalPathThatIsNoFileNeverBlocks) {
    TempDir dir;
    wxString fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.fn_str(), 0600), 0);
    Database db;
    db.newDocument();
    Block* n = db.newNode(1);
    n->setString(K_url, fifo);
    n->freeBody();
    EXPECT_EQ(n->text(), wxS("")); // would wait forever on the pipe
    EXPECT_EQ(n->getInt(K_sz), -1);
    n->setText(wxS("x"));
    bool all = true;
    EXPECT_FALSE(n->writeToUrl(fifo, all));
}

TEST(Database, ObjectsImportedAndIterated) {
    TempDir dir;
    wxString file = dir.file("Pic.PNG");
    std::ofstream(file.fn_str().data(), std::ios::binary) << std::string("\x89PNG\r\n\x1a\n", 8);
    Database db;
    db.newDocument();
    Block* o = db.newObject(wxS("application/octet-stream"));
    EXPECT_TRUE(o->importFile(file));
    EXPECT_FALSE(o->importFile(dir.file("absent.png")));
    EXPECT_EQ(o->getString(K_m), wxS("image/png"));
    EXPECT_EQ(o->getString(K_fname), wxS("Pic.PNG"));
    EXPECT_EQ(o->getInt(K_ref), 1);
    EXPECT_EQ(o->size(), 8u);
    db.newNode(1);
    Block* o2 = db.newObject(wxS("image/gif"));
    EXPECT_EQ(db.firstObject(), o);
    EXPECT_EQ(db.nextObject(), o2);
    EXPECT_EQ(db.nextObject(), nullptr);
}

// A search can be stopped between nodes: what was found stays, and a
// stopped search is no failure.
TEST(Database, SearchStopsWhenAskedToBetweenNodes) {
    Database db;
    db.newDocument();
    for (int i = 0; i < 5; ++i)
        db.newNode(1)->setText(wxS("a quokka and a quokka"));
    size_t hits = 0, asked = 0;
    db.search(
        wxS("quokka"), false, [&](const SearchHit&) { ++hits; },
        [&](size_t soFar) {
            EXPECT_EQ(soFar, hits);
            return ++asked < 3;
        });
    EXPECT_EQ(asked, 3u);
    EXPECT_EQ(hits, 4u); // the top node (none), then two nodes with all their hits
    EXPECT_FALSE(db.lastError());
}
