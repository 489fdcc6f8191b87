// Two programs on one document: whatever one of them commits, the other
// never writes over it from what it read before; a compaction keeps every
// commit; a full disk ends a save at its first failure.
#include "store/database.h"
#include "store/safe_file.h"
#include "raw_sql.h"
#include "tree_fixture.h"
#include "test_util.h"

#include <wx/log.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <functional>
#include <string>

#include <sys/stat.h>

using namespace qn;
using qn::test::makeTree;
using qn::test::outline;
using qn::test::rawCount;
using qn::test::rawValue;
using qn::test::TempDir;

namespace {

// What another program does in between: a node added under the root.
int addElsewhere(const wxString& path, const wxString& password = wxString()) {
    Database other;
    EXPECT_EQ(other.open(path), Database::OPEN_OK);
    if (other.isProtected()) {
        EXPECT_EQ(unlockDocument(other, password), Unlock::Ok);
    }
    EXPECT_EQ(other.beginWrite(), Database::WriteStart::Ready);
    Block* n = other.newNode(1);
    n->setString(K_cap, wxS("Theirs"));
    n->setText(wxS("their note"));
    other.getBlock(1)->editChildren(n->id(), CH_APPEND);
    EXPECT_TRUE(other.save()) << other.lastError().message;
    return n->id();
}

std::string rootChildren(const wxString& path, const wxString& password = wxString()) {
    Database db;
    if (db.open(path) != Database::OPEN_OK) return "cannot open";
    if (db.isProtected() && unlockDocument(db, password) != Unlock::Ok) return "locked";
    return std::string(db.getBlock(1)->getString(K_ch).utf8_str());
}

mode_t modeOf(const wxString& path) {
    struct stat st {};
    return ::stat(path.fn_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

ino_t inodeOf(const wxString& path) {
    struct stat st {};
    return ::stat(path.fn_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

// A writer that read the document before another program committed a node
// never writes from that reading: it is refused, or (a program without
// changes of its own) reads the file again under the write lock and then
// builds on it.
TEST(TwoWriters, NothingIsWrittenOverAnotherProgramsCommit) {
    struct Case {
        const char* what;
        std::function<bool(Database&)> write; // the writer's whole action
        bool succeeds;                        // and whether it may go ahead
    };
    const Case cases[] = {
        {"save of an edit",
         [](Database& db) {
             db.getBlock(2)->setString(K_cap, wxS("Mine"));
             return db.save();
         },
         false},
        {"save of the window layout alone",
         [](Database& db) {
             db.setIntList(K_window, {1, 2, 300, 200});
             return db.save();
         },
         false},
        {"password change",
         [](Database& db) {
             return db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxString()), wxS("pw"));
         },
         false},
        {"lock without reading again",
         [](Database& db) { return db.beginWrite() != Database::WriteStart::Failed; }, false},
        {"add after reading again under the lock",
         [](Database& db) {
             if (db.beginWrite(Database::Reload::IfUnchanged) != Database::WriteStart::Reloaded)
                 return false;
             Block* n = db.newNode(1);
             n->setString(K_cap, wxS("Mine"));
             db.getBlock(1)->editChildren(n->id(), CH_APPEND);
             return db.save();
         },
         true},
        {"password change after reading again under the lock",
         [](Database& db) {
             if (db.beginWrite(Database::Reload::IfUnchanged) != Database::WriteStart::Reloaded)
                 return false;
             return db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxString()), wxS("pw"));
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const wxString path = makeTree(dir);
        wxLogNull quiet;
        Database mine;
        ASSERT_EQ(mine.open(path), Database::OPEN_OK);
        ASSERT_NE(mine.getBlock(1), nullptr); // read before the other program writes
        const int theirs = addElsewhere(path);
        const std::string before = outline(path);
        // Another program's add leaves the protection alone: reading goes on.
        ASSERT_TRUE(mine.getBlock(4)->loadHeader());
        EXPECT_EQ(mine.getBlock(4)->getString(K_cap), wxS("Gamma"));

        EXPECT_EQ(c.write(mine), c.succeeds) << mine.lastError().message;
        const bool protect = c.succeeds && mine.isProtected();
        const wxString pw = protect ? wxS("pw") : wxString();
        const std::string after = outline(path, pw);
        EXPECT_NE(after.find(std::to_string(theirs) + ":Theirs/1//their note;"), std::string::npos)
            << after;
        EXPECT_NE(rootChildren(path, pw).find(std::to_string(theirs)), std::string::npos);
        if (!c.succeeds) {
            EXPECT_EQ(after, before);
            EXPECT_TRUE(mine.lastError().message.Contains(wxS("another program")))
                << mine.lastError().message;
        }
        if (protect) { // every block, theirs too, is sealed with the new key
            EXPECT_EQ(rawCount(path, "select count(*) from block where attr & 2 = 0"), 0);
        }
    }
}

// Closing a window after another program's change: only the layout and
// view-state values are written, over the file as it is now.
TEST(TwoWriters, TheViewStateIsMergedIntoAnotherProgramsChange) {
    for (const bool protect : {false, true}) {
        SCOPED_TRACE(protect ? "protected" : "plain");
        TempDir dir;
        const wxString path = makeTree(dir);
        const wxString pw = protect ? wxS("pw") : wxString();
        if (protect) {
            Database db;
            ASSERT_EQ(db.open(path), Database::OPEN_OK);
            ASSERT_TRUE(db.changeCipher(makeDocumentCipher(db, pw, wxString()), pw));
        }
        Database mine;
        ASSERT_EQ(mine.open(path), Database::OPEN_OK);
        if (protect) {
            ASSERT_EQ(unlockDocument(mine, pw), Unlock::Ok);
        }
        mine.setIntList(K_window, {5, 6, 700, 500});
        mine.getBlock(1)->setIntList(K_grpexp, {1, 2});
        mine.getBlock(2)->setInt(K_grpsel, 4);
        const int theirs = addElsewhere(path, pw);
        ASSERT_TRUE(mine.changedOnDisk());
        // Anything beyond the view state is never merged.
        {
            Database other;
            ASSERT_EQ(other.open(path), Database::OPEN_OK);
            if (protect) {
                ASSERT_EQ(unlockDocument(other, pw), Unlock::Ok);
            }
            other.getBlock(3)->setText(wxS("not merged"));
            other.deleteBlock(4);
            EXPECT_FALSE(other.mergeKeys({K_window}, {K_grpexp}));
        }
        ASSERT_TRUE(mine.mergeKeys({K_window, K_grps, K_grp}, {K_grpsel, K_grpexp}))
            << mine.lastError().message;
        EXPECT_FALSE(mine.isModified());
        Database check;
        ASSERT_EQ(check.open(path), Database::OPEN_OK);
        if (protect) {
            ASSERT_EQ(unlockDocument(check, pw), Unlock::Ok);
        }
        EXPECT_EQ(check.getIntList(K_window), (std::vector<int>{5, 6, 700, 500}));
        Block* root = check.getBlock(1);
        EXPECT_EQ(root->getIntList(K_grpexp), (std::vector<int>{1, 2}));
        EXPECT_EQ(root->getIntList(K_ch), (std::vector<int>{2, 3, theirs}));
        EXPECT_EQ(check.getBlock(2)->getInt(K_grpsel), 4);
        EXPECT_EQ(check.getBlock(2)->getString(K_cap), wxS("Alpha"));
        EXPECT_EQ(check.getBlock(theirs)->text(), wxS("their note"));
    }
}

// A program that opened a protected document while another program changes
// the password: it reads no header or article with the old key (which
// would show scrambled bytes as blank titles), and reading the document
// again under the lock drops the old cipher, never used to seal a block the
// others can then not read.
TEST(TwoWriters, ANewPasswordElsewhereDropsTheCipher) {
    // Under either scheme: the sealed one changes its salt and verifier.
    for (const bool compatible : {true, false}) {
        SCOPED_TRACE(compatible ? "legacy" : "sealed");
        auto cipher = [compatible](const Database& db, const wxString& pw) {
            Protection how;
            how.compatible = compatible;
            how.limits = KdfLimits::minimum();
            return makeProtection(db, pw, how);
        };
        TempDir dir;
        const wxString path = makeTree(dir);
        {
            Database db;
            ASSERT_EQ(db.open(path), Database::OPEN_OK);
            ASSERT_TRUE(db.changeCipher(cipher(db, wxS("old")), wxS("old")));
        }
        Database mine;
        ASSERT_EQ(mine.open(path), Database::OPEN_OK);
        ASSERT_EQ(unlockDocument(mine, wxS("old")), Unlock::Ok);
        {
            Database other;
            ASSERT_EQ(other.open(path), Database::OPEN_OK);
            ASSERT_EQ(unlockDocument(other, wxS("old")), Unlock::Ok);
            ASSERT_TRUE(other.changeCipher(cipher(other, wxS("new")), wxS("new")));
        }
        {
            wxLogNull quiet;
            Block* alpha = mine.getBlock(2);
            ASSERT_NE(alpha, nullptr);
            EXPECT_FALSE(alpha->loadHeader());
            EXPECT_FALSE(alpha->hasHeader());
            EXPECT_TRUE(mine.lastError().message.Contains(wxS("password")))
                << mine.lastError().message;
            EXPECT_TRUE(mine.getBlock(3)->body().bytes.empty());
            EXPECT_TRUE(mine.getBlock(3)->bodyFailed());
        }
        ASSERT_EQ(mine.beginWrite(Database::Reload::IfUnchanged), Database::WriteStart::Reloaded);
        EXPECT_EQ(mine.cipher(), nullptr);
        EXPECT_EQ(unlockDocument(mine, wxS("old")), Unlock::WrongPassword);
        EXPECT_EQ(unlockDocument(mine, wxS("new")), Unlock::Ok);
    }
}

// Optimize rebuilds the file in place: a program that had the document
// open before goes on writing into the same file, a backup and the file
// keep the document's mode, and the content is all there.
TEST(TwoWriters, CompactionKeepsTheFileAndEveryCommit) {
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "with backup" : "without backup");
        TempDir dir;
        const wxString path = makeTree(dir);
        ASSERT_EQ(::chmod(path.fn_str(), 0600), 0);
        const ino_t inode = inodeOf(path);
        const std::string before = outline(path);
        Database writer; // opened before the optimize, writes after it
        ASSERT_EQ(writer.open(path), Database::OPEN_OK);
        {
            Database db;
            ASSERT_EQ(db.open(path), Database::OPEN_OK);
            wxString why;
            ASSERT_EQ(db.compact(keep, why), Database::Compact::Done) << why;
        }
        EXPECT_EQ(inodeOf(path), inode);
        EXPECT_EQ(modeOf(path), 0600u);
        EXPECT_EQ(outline(path), before);
        if (keep) {
            EXPECT_EQ(modeOf(optimizeBackupPath(path)), 0600u);
            EXPECT_EQ(outline(optimizeBackupPath(path)), before);
        }
        EXPECT_FALSE(wxFileExists(optimizeCopyPath(path)));
        ASSERT_EQ(writer.beginWrite(Database::Reload::IfUnchanged), Database::WriteStart::Reloaded);
        Block* n = writer.newNode(1);
        n->setString(K_cap, wxS("After"));
        writer.getBlock(1)->editChildren(n->id(), CH_APPEND);
        ASSERT_TRUE(writer.save()) << writer.lastError().message;
        EXPECT_NE(outline(path).find(":After/1/"), std::string::npos);
        EXPECT_EQ(rawValue(path, "pragma integrity_check"), "ok");
    }
}

// Save As and a password change keep a private document private.
TEST(TwoWriters, RewritesKeepTheDocumentsMode) {
    TempDir dir;
    const wxString path = makeTree(dir);
    ASSERT_EQ(::chmod(path.fn_str(), 0600), 0);
    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    ASSERT_TRUE(db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxString()), wxS("pw")));
    EXPECT_EQ(modeOf(path), 0600u);
    const wxString copy = dir.file("copy.q2db");
    ASSERT_TRUE(db.copyTo(copy));
    EXPECT_EQ(modeOf(copy), 0600u);
    wxString why;
    ASSERT_TRUE(db.reopen());
    ASSERT_TRUE(db.moveToCopy(dir.file("moved.q2db"), why)) << why;
    EXPECT_EQ(modeOf(dir.file("moved.q2db")), 0600u);
}

namespace {

// A file system that fails one chosen write with "the disk is full", as a
// disk that fills up does in the middle of a save; everything else goes to
// the real one.
struct FullDisk {
    static sqlite3_vfs* real;
    static sqlite3_vfs vfs;
    static sqlite3_io_methods methods;
    static int writes;
    static int failAt; // 0: never

    struct File {
        sqlite3_file base; // our methods
        sqlite3_file* inner() { return reinterpret_cast<sqlite3_file*>(this + 1); }
    };
    static File* self(sqlite3_file* f) { return reinterpret_cast<File*>(f); }

    static int open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* out) {
        File* file = self(f);
        std::memset(file, 0, sizeof(File));
        const int rc = real->xOpen(real, name, file->inner(), flags, out);
        file->base.pMethods = file->inner()->pMethods ? &methods : nullptr;
        return rc;
    }
    static int close(sqlite3_file* f) { return self(f)->inner()->pMethods->xClose(self(f)->inner()); }
    static int read(sqlite3_file* f, void* p, int n, sqlite3_int64 at) {
        return self(f)->inner()->pMethods->xRead(self(f)->inner(), p, n, at);
    }
    static int write(sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
        if (++writes == failAt) return SQLITE_FULL;
        return self(f)->inner()->pMethods->xWrite(self(f)->inner(), p, n, at);
    }
    static int truncate(sqlite3_file* f, sqlite3_int64 n) {
        return self(f)->inner()->pMethods->xTruncate(self(f)->inner(), n);
    }
    static int sync(sqlite3_file* f, int flags) {
        return self(f)->inner()->pMethods->xSync(self(f)->inner(), flags);
    }
    static int size(sqlite3_file* f, sqlite3_int64* n) {
        return self(f)->inner()->pMethods->xFileSize(self(f)->inner(), n);
    }
    static int lock(sqlite3_file* f, int l) { return self(f)->inner()->pMethods->xLock(self(f)->inner(), l); }
    static int unlock(sqlite3_file* f, int l) {
        return self(f)->inner()->pMethods->xUnlock(self(f)->inner(), l);
    }
    static int reserved(sqlite3_file* f, int* r) {
        return self(f)->inner()->pMethods->xCheckReservedLock(self(f)->inner(), r);
    }
    static int control(sqlite3_file* f, int op, void* arg) {
        return self(f)->inner()->pMethods->xFileControl(self(f)->inner(), op, arg);
    }
    static int sector(sqlite3_file* f) { return self(f)->inner()->pMethods->xSectorSize(self(f)->inner()); }
    static int device(sqlite3_file* f) {
        return self(f)->inner()->pMethods->xDeviceCharacteristics(self(f)->inner());
    }

    FullDisk() {
        real = sqlite3_vfs_find(nullptr);
        vfs = *real;
        vfs.zName = "qn-full-disk";
        vfs.szOsFile = int(sizeof(File)) + real->szOsFile;
        vfs.xOpen = open;
        methods = sqlite3_io_methods();
        methods.iVersion = 1;
        methods.xClose = close;
        methods.xRead = read;
        methods.xWrite = write;
        methods.xTruncate = truncate;
        methods.xSync = sync;
        methods.xFileSize = size;
        methods.xLock = lock;
        methods.xUnlock = unlock;
        methods.xCheckReservedLock = reserved;
        methods.xFileControl = control;
        methods.xSectorSize = sector;
        methods.xDeviceCharacteristics = device;
        writes = 0;
        failAt = 0;
        sqlite3_vfs_register(&vfs, 1);
    }
    ~FullDisk() { sqlite3_vfs_unregister(&vfs); }
};
sqlite3_vfs* FullDisk::real = nullptr;
sqlite3_vfs FullDisk::vfs;
sqlite3_io_methods FullDisk::methods;
int FullDisk::writes = 0;
int FullDisk::failAt = 0;

// Root with 40 children, each with a few kilobytes of article.
wxString makeWideTree(const TempDir& dir) {
    Database db;
    Block* root = db.newDocument();
    for (int i = 0; i < 40; ++i) {
        Block* n = db.newNode(1);
        n->setString(K_cap, wxString::Format(wxS("Node %d"), i));
        n->setText(wxString(wxUniChar('a' + i % 26), size_t(3000 + i)));
        root->editChildren(n->id(), CH_APPEND);
    }
    db.setPath(dir.file("wide.q2db"));
    EXPECT_TRUE(db.save());
    return db.path();
}

} // namespace

// Deleting half the notes and editing the rest on a disk that fills up at
// any one write: the save either succeeds whole or fails and leaves the
// file as it was.  (SQLite may roll the transaction back on its own after
// a full disk; a save that went on would commit each later statement alone.)
TEST(TwoWriters, AFullDiskAtAnyWriteLeavesTheOldDocumentOrTheNew) {
    TempDir dir;
    const wxString original = makeWideTree(dir);
    auto change = [](Database& db) {
        for (int id = 2; id <= 21; ++id) {
            db.getBlock(1)->editChildren(id, CH_REMOVE);
            db.deleteBlock(id);
        }
        for (int id = 22; id <= 41; ++id)
            db.getBlock(id)->setText(wxS("edited"));
    };
    const std::string before = outline(original);
    std::string after;
    int total = 0;
    {
        const wxString path = dir.file("count.q2db");
        ASSERT_TRUE(wxCopyFile(original, path));
        FullDisk disk;
        Database db;
        ASSERT_EQ(db.open(path), Database::OPEN_OK);
        change(db);
        FullDisk::writes = 0;
        ASSERT_TRUE(db.save());
        total = FullDisk::writes;
        db.close();
        after = outline(path);
    }
    ASSERT_GT(total, 3);
    wxLogNull quiet;
    for (int k = 1; k <= total; ++k) {
        SCOPED_TRACE(k);
        const wxString path = dir.file("run.q2db");
        wxRemoveFile(path);
        ASSERT_TRUE(wxCopyFile(original, path));
        bool saved;
        {
            FullDisk disk;
            Database db;
            ASSERT_EQ(db.open(path), Database::OPEN_OK);
            change(db);
            FullDisk::writes = 0;
            FullDisk::failAt = k;
            saved = db.save();
            if (!saved) {
                EXPECT_TRUE(db.isModified());
                EXPECT_FALSE(db.lastError().message.empty());
            }
        }
        EXPECT_EQ(rawValue(path, "pragma integrity_check"), "ok");
        EXPECT_EQ(outline(path), saved ? after : before);
    }
}
