// Backups before a save: real copies of the document, the newest N kept,
// other files left alone, and failures that say why and touch nothing.
#include "backup/backup_store.h"

#include "store/database.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace qn;
namespace fs = std::filesystem;

namespace {

class BackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        docPath = tmp.file("notes.q2db");
        Database db;
        db.newDocument()->setString(K_cap, wxS("Version 1"));
        db.setPath(docPath);
        ASSERT_TRUE(db.save());
        db.close();
    }
    static wxDateTime at(int minute, int second = 0) {
        return wxDateTime(11, wxDateTime::Dec, 2026, 9, minute, second);
    }
    static wxString topTitle(const wxString& path) {
        Database db;
        if (db.open(path) != 0) return wxS("(cannot open)");
        return db.getBlock(1)->getString(K_cap);
    }
    void setTitle(const wxString& title) {
        Database db;
        ASSERT_EQ(db.open(docPath), 0);
        db.getBlock(1)->setString(K_cap, title);
        ASSERT_TRUE(db.save());
    }
    fs::path backups() const { return fs::path(tmp.path()) / "backups"; }

    test::TempDir tmp;
    wxString docPath;
    BackupPolicy policy{3, false, wxString()};
};

} // namespace

TEST_F(BackupTest, KeepsTheNewestCopiesAndNothingElseIsTouched) {
    fs::create_directories(backups());
    std::ofstream(backups() / "notes.txt") << "mine";
    std::ofstream(backups() / "other 2026-12-11 08-00-00.q2db") << "another document's";
    std::ofstream(backups() / "notes 2026-12-11 08-00-00-x.q2db") << "not a backup name";
    for (int i = 1; i <= 5; ++i) {
        setTitle(wxString::Format(wxS("Version %d"), i));
        wxString made, why;
        ASSERT_TRUE(makeBackup(docPath, policy, &made, &why, at(i))) << why;
        char name[64];
        std::snprintf(name, sizeof name, "notes 2026-12-11 09-%02d-00.q2db", i);
        EXPECT_EQ(made, wxString::FromUTF8((backups() / name).string().c_str()));
    }
    const std::vector<BackupEntry> list = listBackups(docPath, policy);
    ASSERT_EQ(list.size(), 3u);
    // Newest first, each a whole document as it was.
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].when, at(5 - static_cast<int>(i)));
        EXPECT_EQ(topTitle(list[i].path),
                  wxString::Format(wxS("Version %d"), 5 - static_cast<int>(i)));
        EXPECT_GT(list[i].size, 0u);
    }
    EXPECT_TRUE(fs::exists(backups() / "notes.txt"));
    EXPECT_TRUE(fs::exists(backups() / "other 2026-12-11 08-00-00.q2db"));
    EXPECT_TRUE(fs::exists(backups() / "notes 2026-12-11 08-00-00-x.q2db"));
    EXPECT_EQ(topTitle(docPath), wxS("Version 5"));
}

TEST_F(BackupTest, TwoBackupsInOneSecondAreBothKept) {
    ASSERT_TRUE(makeBackup(docPath, policy, nullptr, nullptr, at(1)));
    setTitle(wxS("Version 2"));
    wxString second;
    ASSERT_TRUE(makeBackup(docPath, policy, &second, nullptr, at(1)));
    EXPECT_TRUE(second.EndsWith(wxS("notes 2026-12-11 09-01-00-2.q2db"))) << second;
    const std::vector<BackupEntry> list = listBackups(docPath, policy);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(topTitle(list[0].path), wxS("Version 2"));
}

TEST_F(BackupTest, DataFolderKeepsDocumentsOfTheSameNameApart) {
    BackupPolicy data{5, true, tmp.file("data/")};
    fs::create_directories(fs::path(tmp.path()) / "other");
    const wxString twin = tmp.file("other/notes.q2db");
    fs::copy_file(docPath.utf8_string(), twin.utf8_string());
    EXPECT_NE(backupFolder(docPath, data), backupFolder(twin, data));
    EXPECT_TRUE(backupFolder(docPath, data).StartsWith(tmp.file("data/backups/notes-")));
    ASSERT_TRUE(makeBackup(docPath, data, nullptr, nullptr, at(1)));
    EXPECT_EQ(listBackups(docPath, data).size(), 1u);
    EXPECT_TRUE(listBackups(twin, data).empty());
    EXPECT_FALSE(fs::exists(backups()));
}

TEST_F(BackupTest, FailuresSayWhyAndLeaveTheDocumentAlone) {
    // Something that is not a folder where the backups go.
    std::ofstream(backups()) << "a file";
    wxString why;
    EXPECT_FALSE(makeBackup(docPath, policy, nullptr, &why, at(1)));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(topTitle(docPath), wxS("Version 1"));
    fs::remove(backups());

    // Not a database: nothing half written is left.
    const wxString junk = tmp.file("junk.q2db");
    std::ofstream(junk.utf8_string()) << std::string(5000, 'x');
    why.clear();
    EXPECT_FALSE(makeBackup(junk, policy, nullptr, &why, at(1)));
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(!fs::exists(backups()) || fs::is_empty(backups()));

    BackupPolicy off{0, false, wxString()};
    EXPECT_FALSE(makeBackup(docPath, off, nullptr, nullptr, at(1)));
    EXPECT_FALSE(makeBackup(tmp.file("missing.q2db"), policy, nullptr, nullptr, at(1)));
}

namespace {

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
}

// Sets the umask for a scope.
class Umask {
public:
    explicit Umask(mode_t m) : old_(::umask(m)) {}
    ~Umask() { ::umask(old_); }

private:
    mode_t old_;
};

} // namespace

TEST_F(BackupTest, ABackupIsNoMoreOpenThanTheDocument) {
    struct Case {
        mode_t doc;      // the document's permissions
        mode_t umask;    // the process's umask
        mode_t expected; // the backup's permissions
    } cases[] = {
        {0600, 022, 0600}, // private document, usual umask
        {0600, 0, 0600},   // private document, an umask that hides nothing
        {0640, 077, 0640}, // the document's mode, not the umask's
        {0644, 022, 0644},
    };
    int minute = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << std::oct << "document " << c.doc << " umask " << c.umask);
        ASSERT_EQ(::chmod(docPath.fn_str(), c.doc), 0);
        Umask scope(c.umask);
        wxString made, why;
        ASSERT_TRUE(makeBackup(docPath, policy, &made, &why, at(++minute))) << why;
        EXPECT_EQ(modeOf(made.fn_str().data()), c.expected);
        EXPECT_EQ(topTitle(made), wxS("Version 1"));
    }
    // A protected document's backup is for its owner alone.
    {
        Database db;
        ASSERT_EQ(db.open(docPath), 0);
        ASSERT_TRUE(db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxString()), wxS("pw")));
    }
    ASSERT_EQ(::chmod(docPath.fn_str(), 0644), 0);
    wxString made, why;
    ASSERT_TRUE(makeBackup(docPath, policy, &made, &why, at(8))) << why;
    EXPECT_EQ(modeOf(made.fn_str().data()), 0600u);
    // A folder the backups made is private.
    EXPECT_EQ(modeOf(backups()), 0700u);
    BackupPolicy data{5, true, tmp.file("data/")};
    Umask open(0);
    ASSERT_TRUE(makeBackup(docPath, data, nullptr, nullptr, at(9)));
    EXPECT_EQ(modeOf(fs::path(tmp.path()) / "data" / "backups"), 0700u);
    EXPECT_EQ(modeOf(backupFolder(docPath, data).fn_str().data()), 0700u);
}

TEST_F(BackupTest, AFolderThatIsNotTheUsersOwnIsRefused) {
    const fs::path elsewhere = fs::path(tmp.path()) / "elsewhere";
    struct Case {
        const char* what;
        // False when this user cannot make the case (only root can give a
        // folder away).
        bool (*make)(const fs::path& folder, const fs::path& elsewhere);
    } cases[] = {
        {"a link to another folder",
         [](const fs::path& f, const fs::path& e) {
             fs::create_directory_symlink(e, f);
             return true;
         }},
        {"writable by everybody",
         [](const fs::path& f, const fs::path&) {
             fs::create_directory(f);
             return ::chmod(f.c_str(), 0777) == 0;
         }},
        {"writable by the group",
         [](const fs::path& f, const fs::path&) {
             fs::create_directory(f);
             return ::chmod(f.c_str(), 0770) == 0;
         }},
        {"owned by another user",
         [](const fs::path& f, const fs::path&) {
             fs::create_directory(f);
             return ::chown(f.c_str(), ::geteuid() + 1, ::getegid()) == 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::create_directories(elsewhere);
        if (!c.make(backups(), elsewhere)) {
            fs::remove_all(backups());
            continue;
        }
        wxString why;
        EXPECT_FALSE(makeBackup(docPath, policy, nullptr, &why, at(1)));
        EXPECT_TRUE(why.Contains(wxString::FromUTF8(backups().c_str()))) << why;
        EXPECT_TRUE(fs::is_empty(elsewhere));
        if (!fs::is_symlink(backups())) {
            EXPECT_TRUE(fs::is_empty(backups()));
        }
        EXPECT_EQ(topTitle(docPath), wxS("Version 1"));
        fs::remove_all(backups());
        fs::remove_all(elsewhere);
    }
    // The "backups" folder of the data folder is checked as well.
    BackupPolicy data{5, true, tmp.file("data/")};
    fs::create_directories(fs::path(tmp.path()) / "data" / "backups");
    ::chmod((fs::path(tmp.path()) / "data" / "backups").c_str(), 0777);
    wxString why;
    EXPECT_FALSE(makeBackup(docPath, data, nullptr, &why, at(1)));
    EXPECT_TRUE(fs::is_empty(fs::path(tmp.path()) / "data" / "backups")) << why;
}

TEST_F(BackupTest, PartialCopiesOfAKilledRunGoAtTheNextBackup) {
    fs::create_directories(backups());
    const char* ours[] = {
        "notes 2026-12-11 08-00-00.q2db.partial", "notes 2026-12-11 08-00-00.q2db.partial-journal",
        "notes 2026-12-11 08-00-00-3.q2db.partial",
        "notes 2026-12-11 07-00-00.q2db.partial-journal", // its copy already gone
    };
    const char* theirs[] = {
        "notes.q2db.partial",                          // not a backup's name
        "other 2026-12-11 08-00-00.q2db.partial",      // another document's
        "notes 2026-12-11 08-00-00.q2db.partial.keep", // another kind of file
        "notes 2026-12-11 08-00-00.txt.partial",       // another extension
        "notes 2026-12-11 08-00-00.q2db",              // a finished backup
        "notes 2026-12-11 08-00-00.q2db-journal",      // a finished backup's journal
    };
    for (const char* name : ours)
        std::ofstream(backups() / name) << std::string(1000, 'x');
    for (const char* name : theirs)
        std::ofstream(backups() / name) << "keep";
    ASSERT_TRUE(makeBackup(docPath, policy, nullptr, nullptr, at(1)));
    for (const char* name : ours)
        EXPECT_FALSE(fs::exists(backups() / name)) << name;
    for (const char* name : theirs)
        EXPECT_TRUE(fs::exists(backups() / name)) << name;
}

TEST(BackupSessionTest, OneBackupPerDocumentAndRun) {
    BackupSession session;
    EXPECT_TRUE(session.pending(wxS("/tmp/a/doc.q2db")));
    session.done(wxS("/tmp/a/doc.q2db"));
    EXPECT_FALSE(session.pending(wxS("/tmp/a/../a/doc.q2db")));
    EXPECT_TRUE(session.pending(wxS("/tmp/b/doc.q2db")));
}
