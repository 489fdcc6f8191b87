// Hostile and failing documents: a locked file, huge bodies, rows that
// vanish, damaged child lists, ids at the edge.  In every case the engine
// either does the right thing or says it failed; it never writes what it
// could not read.
#include "store/database.h"
#include "raw_sql.h"
#include "tree_fixture.h"
#include "test_util.h"

#include <wx/filename.h>
#include <wx/log.h>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

using namespace qn;
using qn::test::rawExec;
using qn::test::rawValue;
using qn::test::TempDir;
using qn::test::makeTree;
using qn::test::outline;

namespace {

std::string fileText(const wxString& path) {
    std::ifstream in(path.fn_str().data(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Another program holding the document's exclusive lock for a scope.
class ForeignLock {
public:
    explicit ForeignLock(const wxString& path) {
        EXPECT_EQ(sqlite3_open(path.utf8_str(), &db_), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db_, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~ForeignLock() {
        sqlite3_exec(db_, "rollback", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }

private:
    sqlite3* db_ = nullptr;
};

} // namespace

// While another program holds the lock, reads fail; what they failed to
// read must not be used or saved once the lock is gone.
TEST(EngineFaults, LockedFileReadsFailAndNothingEmptyIsWritten) {
    TempDir dir;
    const wxString path = makeTree(dir);
    ASSERT_EQ(outline(path), "1:Root/-1/2,3/;2:Alpha/1/4/Alpha quokk;3:Beta/1//Beta quokka;"
                             "4:Gamma/2//gamma quokk;");
    wxLogNull quiet;

    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    db.setBusyTimeout(20);
    {
        ForeignLock lock(path);
        // search: an error, never "no hits"
        EXPECT_TRUE(db.search(wxS("quokka"), false).empty());
        ASSERT_TRUE(db.lastError());
        EXPECT_TRUE(db.lastError().message.Contains(wxS("another program"))) << db.lastError().message;
        // a node edit: nothing changes on the strength of an unread header
        Block* root = db.getBlock(1);
        ASSERT_NE(root, nullptr);
        EXPECT_TRUE(root->headerFailed());
        Block* n = db.newNode(1);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(root->editChildren(n->id(), CH_APPEND), -1);
        root->setString(K_cap, wxS("renamed"));
        EXPECT_EQ(root->dirty() & DIRTY_HEADER, 0);
        db.deleteBlock(n->id());
        // an article that cannot be read is read-only, never an empty article
        Block* beta = db.findBlock(3);
        EXPECT_EQ(beta->text(), wxS(""));
        EXPECT_TRUE(beta->bodyFailed());
        EXPECT_TRUE(beta->isDamaged());
        // protecting fails instead of writing empty headers
        EXPECT_FALSE(db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxS("rr")), wxS("pw")));
        EXPECT_FALSE(db.isProtected());
    }
    // The lock is gone: every operation reads afresh.
    EXPECT_FALSE(db.isModified());
    EXPECT_EQ(db.search(wxS("quokka"), false).size(), 3u);
    EXPECT_FALSE(db.lastError());
    Block* root = db.getBlock(1);
    Block* n = db.newNode(1);
    n->setString(K_cap, wxS("Delta"));
    EXPECT_EQ(root->editChildren(n->id(), CH_APPEND), 3);
    EXPECT_EQ(n->id(), 6); // 5 went to the node made during the lock
    ASSERT_TRUE(db.save());
    ASSERT_TRUE(db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxS("rr")), wxS("pw")));
    db.close();
    EXPECT_EQ(outline(path, wxS("pw")), "1:Root/-1/2,3,6/;2:Alpha/1/4/Alpha quokk;"
                                        "3:Beta/1//Beta quokka;4:Gamma/2//gamma quokk;"
                                        "6:Delta/1//;");
}

TEST(EngineFaults, LockedFileFailsSaveAndProtectWithoutLoss) {
    TempDir dir;
    const wxString path = makeTree(dir);
    wxLogNull quiet;
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    db.setBusyTimeout(20);
    db.getBlock(3)->setText(wxS("edited"));
    {
        ForeignLock lock(path);
        EXPECT_FALSE(db.save());
        EXPECT_TRUE(db.lastError());
        EXPECT_FALSE(db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxS("")), wxS("pw")));
    }
    EXPECT_TRUE(db.isModified());
    ASSERT_TRUE(db.save());
    db.close();
    Database check;
    ASSERT_EQ(check.open(path), Database::OPEN_OK);
    EXPECT_EQ(check.getBlock(3)->text(), wxS("edited"));
    EXPECT_EQ(check.getBlock(1)->getIntList(K_ch), (std::vector<int>{2, 3}));
}

// Bodies beyond the article limit are read up to it and shown as damaged;
// they never make the reader allocate what the document claims.
TEST(EngineFaults, OversizedArticlesAreCutAndReadOnly) {
    TempDir dir;
    const wxString path = dir.file("big.q2db");
    const wxString huge = dir.file("huge.txt");
    {
        // An external file of 10 GB that occupies no disk.
        std::ofstream(huge.fn_str().data()) << "start of a huge file";
        ASSERT_EQ(::truncate(huge.fn_str(), 10LL << 30), 0);
    }
    std::string bomb(4 << 20, 'a'); // inflates to 4 MB from a few KB
    {
        Database db(Database::Defaults{{wxS("comp"), wxS("1")}});
        db.newDocument();
        Block* ext = db.newNode(1);
        ext->setString(K_url, huge);
        ext->setString(K_cap, wxS("external"));
        Block* big = db.newNode(1);
        big->setString(K_cap, wxS("bomb"));
        big->setText(wxString::FromAscii(bomb.c_str()));
        db.getBlock(1)->setIntList(K_ch, {2, 3});
        db.setPath(path);
        db.setUrlWriteQuestion([](const wxString&) { return int(ANSWER_NO); });
        ASSERT_TRUE(db.save());
    }
    EXPECT_EQ(std::filesystem::file_size(huge.fn_str().data()), 10ULL << 30);
    wxLogNull quiet;
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    db.setArticleLimit(1 << 20);
    Block* ext = db.getBlock(2);
    EXPECT_EQ(ext->text().length(), 1u << 20);
    EXPECT_TRUE(ext->text().StartsWith(wxS("start of a huge file")));
    EXPECT_TRUE(ext->isDamaged());
    Block* big = db.getBlock(3);
    EXPECT_EQ(big->text().length(), 1u << 20);
    EXPECT_TRUE(big->isDamaged());
    // One node adds a bounded number of hits.
    size_t fromBomb = 0;
    for (const SearchHit& h : db.search(wxS("a"), false))
        fromBomb += h.id == 3;
    EXPECT_EQ(fromBomb, kMaxHitsPerNode);
    // A header edit leaves the stored bytes and the external file alone.
    const std::string stored = rawValue(path, "select body from block where id=3");
    big->setString(K_cap, wxS("renamed"));
    ext->setString(K_cap, wxS("renamed"));
    ASSERT_TRUE(db.save());
    EXPECT_EQ(rawValue(path, "select body from block where id=3"), stored);
    EXPECT_EQ(std::filesystem::file_size(huge.fn_str().data()), 10ULL << 30);
}

// What SQLite cannot store fails the save; nothing is written empty.
TEST(EngineFaults, TooLargeForTheFileFailsTheSave) {
    TempDir dir;
    const wxString path = makeTree(dir);
    wxLogNull quiet;
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    db.setInt(K_comp, 0);
    ASSERT_TRUE(db.save());
    const std::string stored = rawValue(path, "select body from block where id=3");
    sqlite3_limit(db.handle(), SQLITE_LIMIT_LENGTH, 10000);
    db.getBlock(3)->setText(wxString(wxS('z'), 20000));
    EXPECT_FALSE(db.save());
    EXPECT_TRUE(db.isModified());
    EXPECT_TRUE(db.lastError().message.Contains(wxS("too large"))) << db.lastError().message;
    EXPECT_EQ(rawValue(path, "select body from block where id=3"), stored);

    // An object beyond the limit is refused before anything is read.
    const wxString file = dir.file("big.bin");
    std::ofstream(file.fn_str().data()) << "x";
    ASSERT_EQ(::truncate(file.fn_str(), static_cast<off_t>(kMaxObjectBytes) + 1), 0);
    Block* obj = db.newObject(wxS("application/octet-stream"));
    EXPECT_FALSE(obj->importFile(file));
    EXPECT_FALSE(obj->hasBody());
    EXPECT_EQ(db.lastError().operation, wxS("importFile"));
}

// A row that another program removed is not "saved" by an update that
// touches nothing.
TEST(EngineFaults, UpdateOfAVanishedRowFails) {
    TempDir dir;
    const wxString path = makeTree(dir);
    wxLogNull quiet;
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    db.getBlock(3)->setText(wxS("my edit"));
    rawExec(path, "delete from block where id=3");
    EXPECT_FALSE(db.save());
    EXPECT_TRUE(db.isModified());
    EXPECT_EQ(db.getBlock(3)->text(), wxS("my edit"));
    EXPECT_TRUE(db.lastError().message.Contains(wxS("another program"))) << db.lastError().message;
}

// A document file deleted, or replaced by another program, while open: the
// save fails, says why, counts as a change on disk and keeps the edits for
// a Save As; the file at the path is left alone.
TEST(EngineFaults, SaveOfADeletedOrReplacedFileFailsAndSaysSo) {
    for (const bool replace : {false, true}) {
        SCOPED_TRACE(replace ? "replaced" : "deleted");
        TempDir dir;
        const wxString path = makeTree(dir);
        const wxString other = makeTree(dir, "other.q2db");
        wxLogNull quiet;
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        db.rememberFileState();
        db.getBlock(3)->setText(wxS("my edit"));
        EXPECT_FALSE(db.changedOnDisk());
        if (replace)
            ASSERT_TRUE(wxRenameFile(other, path, true));
        else
            ASSERT_TRUE(wxRemoveFile(path));
        EXPECT_TRUE(db.changedOnDisk());
        EXPECT_FALSE(db.save());
        EXPECT_TRUE(db.isModified());
        EXPECT_TRUE(db.lastError().message.Contains(wxS("deleted or replaced")))
            << db.lastError().message;
        if (replace) {
            EXPECT_EQ(outline(path).find("my edit"), std::string::npos);
        }
    }
}

// A document cut short (a copy that broke off, a failing disk) opens as a
// damaged document, not as a file of another kind; a file of another kind
// still is one.
TEST(EngineFaults, ACutShortDocumentOpensAsDamaged) {
    TempDir dir;
    const wxString path = dir.file("long.q2db");
    {
        Database db;
        Block* root = db.newDocument();
        for (int i = 0; i < 40; ++i) {
            Block* n = db.newNode(1);
            n->setText(wxString(wxS('x'), 1000) + wxString::Format(wxS("%d"), i));
            root->editChildren(n->id(), CH_APPEND);
        }
        db.setPath(path);
        ASSERT_TRUE(db.save());
    }
    const auto size = std::filesystem::file_size(path.fn_str().data());
    ASSERT_GT(size, 16384u);
    std::filesystem::resize_file(path.fn_str().data(), size / 2);
    wxLogNull quiet;
    for (const auto mode : {Database::IndexMode::AtOpen, Database::IndexMode::OnDemand}) {
        Database db;
        EXPECT_EQ(db.open(path, mode), Database::OPEN_CORRUPT);
        EXPECT_TRUE(db.lastError().message.Contains(wxS("damaged"))) << db.lastError().message;
        EXPECT_FALSE(db.isOpen());
    }
    std::ofstream(dir.file("text.q2db").fn_str().data()) << "just some text\n";
    Database other;
    EXPECT_EQ(other.open(dir.file("text.q2db")), Database::OPEN_NOT_DOCUMENT);
}

TEST(EngineFaults, ExternalFileWritesAreAtomicAndReported) {
    TempDir dir;
    const wxString path = dir.file("ext.q2db");
    const wxString target = dir.file("note.txt");
    const wxString link = dir.file("link.txt");
    std::ofstream(target.fn_str().data()) << "old text";
    ::chmod(target.fn_str(), 0640);
    ::symlink(target.fn_str(), link.fn_str());
    wxLogNull quiet;
    Database db;
    db.newDocument();
    Block* viaLink = db.newNode(1);
    viaLink->setString(K_url, link);
    Block* readOnly = db.newNode(1);
    // Readable, yet no one (root included) can write it or beside it.
    readOnly->setString(K_url, wxS("/proc/version"));
    db.setPath(path);
    db.setUrlWriteQuestion([](const wxString&) { return int(ANSWER_SAVE_ALL); });
    viaLink->setText(wxS("new text"));
    ASSERT_TRUE(db.save());
    struct stat st;
    ASSERT_EQ(::lstat(link.fn_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(target.fn_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(fileText(target), "new text");
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().string().find(".partial"), std::string::npos) << e.path();

    readOnly->setText(wxS("cannot go anywhere"));
    EXPECT_FALSE(db.save());
    EXPECT_TRUE(db.isModified());
    EXPECT_EQ(readOnly->text(), wxS("cannot go anywhere"));
}

// One stray byte costs one character; the stored bytes stay as they are
// until the article is edited.
TEST(EngineFaults, InvalidUtf8KeepsTheRestOfTheArticle) {
    struct Case {
        const char* bytes;
        const char* utf8; // what the text holds, as UTF-8
    } cases[] = {
        {"Gr\xc3\xbc\xc3\x9f" "e \xff", "Gr\xc3\xbc\xc3\x9f" "e \xc3\xbf"},
        {"\xe2\x82", "\xc3\xa2\xc2\x82"},                 // a cut sequence
        {"a\xed\xa0\x80z", "a\xc3\xad\xc2\xa0\xc2\x80z"}, // an encoded surrogate
        {"\xc0\xaf", "\xc3\x80\xc2\xaf"},                 // an overlong slash
        {"\xe0\x80\xaf", "\xc3\xa0\xc2\x80\xc2\xaf"},       // another, in three bytes
        {"\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80"}, // beyond U+10FFFF
        {"\xce\xb1\x80\xce\xb2", "\xce\xb1\xc2\x80\xce\xb2"},
    };
    for (const Case& c : cases) {
        wxString got = fromUtf8(c.bytes, std::strlen(c.bytes));
        EXPECT_EQ(std::string(got.utf8_str()), c.utf8) << c.bytes;
    }

    TempDir dir;
    const wxString path = makeTree(dir);
    rawExec(path, "update block set attr=0, body=x'4772c3bcc39f6520ff' where id=3");
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    EXPECT_EQ(db.getBlock(3)->text(), wxString::FromUTF8("Grüße ÿ"));
    db.getBlock(3)->setString(K_cap, wxS("renamed"));
    db.getBlock(3)->text();
    ASSERT_TRUE(db.save());
    EXPECT_EQ(rawValue(path, "select hex(body) from block where id=3"), "4772C3BCC39F6520FF");
}

TEST(EngineFaults, DeleteSubtreeStaysInsideItsSubtree) {
    Database db;
    db.newDocument();
    Block* a = db.newNode(1);
    Block* a1 = db.newNode(a->id());
    Block* b = db.newNode(1);
    Block* obj = db.newObject(wxS("image/png"));
    db.getBlock(1)->setIntList(K_ch, {a->id(), b->id()});
    // a's damaged list names the top node, a sibling, an object and a child
    a->setIntList(K_ch, {1, b->id(), obj->id(), a1->id()});
    const int aId = a->id(), a1Id = a1->id(); // never saved: destroyed at once
    ASSERT_TRUE(db.deleteSubtree(aId));
    EXPECT_EQ(db.findBlock(aId), nullptr);
    EXPECT_EQ(db.findBlock(a1Id), nullptr);
    EXPECT_NE(db.findBlock(1), nullptr);
    EXPECT_NE(db.findBlock(b->id()), nullptr);
    EXPECT_NE(db.findBlock(obj->id()), nullptr);
}

TEST(EngineFaults, IdsAtTheEdge) {
    TempDir dir;
    const wxString path = makeTree(dir);
    const wxString big = makeTree(dir, "big.q2db");
    // the last id in use; another row whose 64-bit id aliases block 2
    rawExec(path, "insert into block select 2147483647, type, attr, hdr, body from block where id=4");
    rawExec(big, "insert into block select 4294967298, type, attr, hdr, body from block where id=4");
    wxLogNull quiet;
    {
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        EXPECT_EQ(db.newNode(1), nullptr);
        EXPECT_EQ(db.newObject(wxS("image/png")), nullptr);
        EXPECT_FALSE(db.isModified());
    }
    {
        Database db;
        ASSERT_EQ(db.open(big), Database::OPEN_OK);
        EXPECT_EQ(db.blocks().size(), 4u);
        EXPECT_EQ(db.getBlock(2)->getString(K_cap), wxS("Alpha"));
        Block* n = db.newNode(1);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->id(), 5);
        // copies keep the damaged row as it is, never cut to 32 bits
        ASSERT_TRUE(db.copyTo(dir.file("copy.q2db")));
    }
    EXPECT_EQ(rawValue(dir.file("copy.q2db"), "select count(*) from block where id=4294967298"), "1");
    EXPECT_EQ(rawValue(dir.file("copy.q2db"), "select count(*) from block where id=2"), "1");
}

TEST(EngineFaults, ChangeCipherNeedsAnOpenFile) {
    TempDir dir;
    const wxString path = makeTree(dir);
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    ASSERT_TRUE(db.copyTo(dir.file("copy.q2db"))); // detached until reopen
    EXPECT_FALSE(db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxS("")), wxS("pw")));
    EXPECT_FALSE(db.isProtected());
    ASSERT_TRUE(db.reopen());
    EXPECT_TRUE(db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxS("")), wxS("pw")));
}
