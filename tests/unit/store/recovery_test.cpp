// Recovery files: unsaved edits written beside the document and taken back
// into it, or into a new document when the file changed meanwhile.
#include "store/database.h"
#include "raw_sql.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>

using namespace qn;
using qn::test::rawExec;
using qn::test::rawValue;
using qn::test::TempDir;

namespace {

std::string fileBytes(const wxString& path) {
    std::ifstream in(path.utf8_str().data(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Root with Alpha (2), Beta (3) and Gamma (4), saved; protected with `pw`
// when it is not empty.
wxString makeDocument(const TempDir& dir, const wxString& pw) {
    Database db(Database::Defaults{{wxS("comp"), wxS("1")}});
    Block* root = db.newDocument();
    root->setString(K_cap, wxS("Root"));
    for (const char* title : {"Alpha", "Beta", "Gamma"}) {
        Block* n = db.newNode(1);
        n->setString(K_cap, wxString::FromAscii(title));
        n->setText(wxString::FromAscii(title) + wxS(" body"));
        root->editChildren(n->id(), CH_APPEND);
    }
    if (!pw.empty()) {
        EXPECT_TRUE(db.changeCipher(makeDocumentCipher(db, pw, wxS("rr")), pw));
    }
    db.setPath(dir.file("doc.q2db"));
    EXPECT_TRUE(db.save());
    return db.path();
}

int openWith(Database& db, const wxString& path, const wxString& pw) {
    const int rc = db.open(path);
    if (rc == Database::OPEN_OK && db.isProtected()) {
        EXPECT_EQ(unlockDocument(db, pw), Unlock::Ok);
    }
    return rc;
}

const wxString kTyped = wxString::FromUTF8("typed, not yet committed: Grüße");

// The edits every test makes: a caption (header only), a committed text,
// a new node, a deleted node, a project value, and the editor's pending
// text of Beta.
void makeEdits(Database& db, Database::PendingArticle& pending) {
    db.getBlock(2)->setString(K_cap, wxS("Alpha renamed"));
    Block* fresh = db.newNode(1);
    fresh->setString(K_cap, wxS("Delta"));
    fresh->setText(wxS("Delta body"));
    db.getBlock(1)->editChildren(fresh->id(), CH_APPEND);
    db.getBlock(1)->editChildren(4, CH_REMOVE);
    db.deleteBlock(4);
    db.setInt(K_grp, 7);
    pending.nodeId = 3;
    pending.text = kTyped;
}

// What the edits look like once taken back.
void expectEdits(Database& db) {
    EXPECT_EQ(db.getBlock(2)->getString(K_cap), wxS("Alpha renamed"));
    EXPECT_EQ(db.getBlock(2)->text(), wxS("Alpha body"));
    EXPECT_EQ(db.getBlock(3)->text(), kTyped);
    EXPECT_EQ(db.getBlock(3)->size(), toUtf8(kTyped).size());
    EXPECT_EQ(db.findBlock(4), nullptr);
    ASSERT_NE(db.getBlock(5), nullptr);
    EXPECT_EQ(db.getBlock(5)->getString(K_cap), wxS("Delta"));
    EXPECT_EQ(db.getBlock(5)->text(), wxS("Delta body"));
    EXPECT_EQ(db.getBlock(1)->getIntList(K_ch), (std::vector<int>{2, 3, 5}));
    EXPECT_EQ(db.getInt(K_grp), 7);
}

} // namespace

TEST(Recovery, EditsComeBackIntoTheUnchangedDocument) {
    for (const wxString& pw : {wxString(), wxString(wxS("secret"))}) {
        SCOPED_TRACE(pw.empty() ? "plain" : "protected");
        TempDir dir;
        const wxString path = makeDocument(dir, pw);
        const wxString rec = dir.file("r.q2rec");
        const std::string before = fileBytes(path);
        {
            Database db;
            ASSERT_EQ(openWith(db, path, pw), Database::OPEN_OK);
            db.rememberFileState();
            Database::PendingArticle pending;
            makeEdits(db, pending);
            wxString why;
            ASSERT_TRUE(db.writeRecovery(rec, &pending, why)) << why;
            // The document itself is as it was: file, path, unsaved state.
            EXPECT_EQ(fileBytes(path), before);
            EXPECT_EQ(db.path(), path);
            EXPECT_TRUE(db.isModified());
            EXPECT_EQ(db.getBlock(3)->text(), wxS("Beta body"));
            EXPECT_FALSE(wxFileExists(rec + wxS(".partial")));
        }
        struct stat st {};
        ASSERT_EQ(::stat(rec.utf8_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        if (!pw.empty()) {
            // Nothing of the notes can be read without the password.
            const std::string all = fileBytes(rec);
            EXPECT_EQ(all.find("Delta"), std::string::npos);
            EXPECT_EQ(all.find("typed"), std::string::npos);
            EXPECT_EQ(all.find("renamed"), std::string::npos);
        }
        RecoveryInfo info;
        ASSERT_TRUE(readRecoveryInfo(rec, info));
        EXPECT_EQ(info.document, path);
        EXPECT_TRUE(recoveryMatchesFile(info));

        Database db;
        ASSERT_EQ(openWith(db, path, pw), Database::OPEN_OK);
        wxString why;
        ASSERT_EQ(db.applyRecovery(rec, why), Database::Recovered::Applied) << why;
        EXPECT_TRUE(db.isModified());
        expectEdits(db);
        ASSERT_TRUE(db.save());
        db.close();
        ASSERT_EQ(openWith(db, path, pw), Database::OPEN_OK);
        expectEdits(db);
    }
}

// A document another program wrote to, before or after the recovery file
// was made, never takes the edits back into its file: they come back as a
// new document instead, and the file keeps the other program's change.
TEST(Recovery, ChangedDocumentGetsTheEditsAsANewDocument) {
    for (const bool changedBefore : {false, true}) {
        SCOPED_TRACE(changedBefore ? "changed under the window" : "changed after");
        TempDir dir;
        const wxString path = makeDocument(dir, wxS("pw"));
        const wxString rec = dir.file("r.q2rec");
        {
            Database db;
            ASSERT_EQ(openWith(db, path, wxS("pw")), Database::OPEN_OK);
            db.rememberFileState();
            db.getBlock(2)->getString(K_cap); // read before the other change
            if (changedBefore) rawExec(path, "update project set value='x' where name='comp'");
            Database::PendingArticle pending;
            makeEdits(db, pending);
            wxString why;
            ASSERT_TRUE(db.writeRecovery(rec, &pending, why)) << why;
        }
        if (!changedBefore) rawExec(path, "update project set value='x' where name='comp'");
        RecoveryInfo info;
        ASSERT_TRUE(readRecoveryInfo(rec, info));
        EXPECT_FALSE(recoveryMatchesFile(info));

        Database db;
        ASSERT_EQ(openWith(db, path, wxS("pw")), Database::OPEN_OK);
        wxString why;
        EXPECT_EQ(db.applyRecovery(rec, why), Database::Recovered::FileChanged);
        EXPECT_FALSE(db.isModified());
        EXPECT_EQ(db.getBlock(3)->text(), wxS("Beta body"));
        db.close();

        Database copy;
        ASSERT_EQ(openWith(copy, rec, wxS("pw")), Database::OPEN_OK);
        ASSERT_TRUE(copy.detachAsNew(why)) << why;
        EXPECT_TRUE(copy.isNew());
        EXPECT_TRUE(copy.path().empty());
        expectEdits(copy);
        copy.setPath(dir.file("saved.q2db"));
        ASSERT_TRUE(copy.save());
        copy.close();
        ASSERT_EQ(openWith(copy, dir.file("saved.q2db"), wxS("pw")), Database::OPEN_OK);
        expectEdits(copy);
        EXPECT_EQ(rawValue(path, "select value from project where name='comp'"), "x");
    }
}

TEST(Recovery, NeverSavedDocument) {
    TempDir dir;
    const wxString rec = dir.file("new.q2rec");
    {
        Database db;
        db.newDocument()->setString(K_cap, wxS("Top"));
        Block* n = db.newNode(1);
        n->setText(wxS("first words"));
        db.getBlock(1)->editChildren(n->id(), CH_APPEND);
        wxString why;
        ASSERT_TRUE(db.writeRecovery(rec, nullptr, why)) << why;
        EXPECT_TRUE(db.isNew());
        EXPECT_TRUE(db.path().empty());
    }
    RecoveryInfo info;
    ASSERT_TRUE(readRecoveryInfo(rec, info));
    EXPECT_TRUE(info.document.empty());
    EXPECT_FALSE(recoveryMatchesFile(info));
    Database db;
    ASSERT_EQ(db.open(rec), Database::OPEN_OK);
    wxString why;
    ASSERT_TRUE(db.detachAsNew(why)) << why;
    EXPECT_EQ(db.getBlock(1)->getString(K_cap), wxS("Top"));
    EXPECT_EQ(db.getBlock(2)->text(), wxS("first words"));
    EXPECT_TRUE(db.isModified());
}

// Files that are no recovery files are refused, and what cannot be written
// says why.
TEST(Recovery, BadFiles) {
    TempDir dir;
    const wxString path = makeDocument(dir, wxString());
    RecoveryInfo info;
    EXPECT_FALSE(readRecoveryInfo(path, info)); // a document, not a recovery file
    EXPECT_FALSE(readRecoveryInfo(dir.file("missing.q2rec"), info));
    {
        std::ofstream junk(dir.file("junk.q2rec").utf8_str().data());
        junk << "not a database";
    }
    EXPECT_FALSE(readRecoveryInfo(dir.file("junk.q2rec"), info));

    Database db;
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    db.getBlock(2)->setText(wxS("x"));
    wxString why;
    EXPECT_FALSE(db.writeRecovery(dir.file("no/such/folder/r.q2rec"), nullptr, why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(db.applyRecovery(dir.file("junk.q2rec"), why), Database::Recovered::Unreadable);
    EXPECT_EQ(db.getBlock(2)->text(), wxS("x"));
}

// The timed recovery file is written on another thread from a snapshot,
// through a connection of its own, so that the window need not wait for
// the copy.
TEST(Recovery, SnapshotWrittenOnAnotherThread) {
    TempDir dir;
    const wxString path = makeDocument(dir, wxS("pw"));
    const wxString rec = dir.file("r.q2rec");
    Database db;
    ASSERT_EQ(openWith(db, path, wxS("pw")), Database::OPEN_OK);
    db.rememberFileState();
    Database::PendingArticle pending;
    makeEdits(db, pending);
    wxString why;
    std::unique_ptr<RecoverySnapshot> snap = db.recoverySnapshot(&pending, why);
    ASSERT_TRUE(snap) << why;
    bool written = false;
    wxString threadWhy;
    std::thread writer([&] { written = snap->write(rec, threadWhy); });
    writer.join();
    ASSERT_TRUE(written) << threadWhy;
    EXPECT_TRUE(db.isModified());
    db.close();

    Database back;
    ASSERT_EQ(openWith(back, path, wxS("pw")), Database::OPEN_OK);
    ASSERT_EQ(back.applyRecovery(rec, why), Database::Recovered::Applied) << why;
    expectEdits(back);
}
