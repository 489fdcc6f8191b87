#include "frame/text_exporter.h"

#include "frame/export_reading.h"
#include "frame/markdown_exporter.h"
#include "store/database.h"

#include <wx/log.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>

using namespace qn;
namespace fs = std::filesystem;

namespace {

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qn_export_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        out = wxString::FromUTF8((dir / "out.txt").string().c_str());
    }
    void TearDown() override { fs::remove_all(dir); }

    Block* add(int parent, const char* title, const char* body, const char* icon = "") {
        Block* n = db.newNode(parent);
        n->setString(K_cap, wxString::FromUTF8(title));
        n->setString(K_i, wxString::FromUTF8(icon));
        n->setText(wxString::FromUTF8(body));
        db.getBlock(parent)->editChildren(n->id(), CH_APPEND);
        return n;
    }
    // A saved document: bodies are read back from the file by the export.
    void saveAndReopen() {
        const wxString file = wxString::FromUTF8((dir / "doc.q2db").string().c_str());
        db.setPath(file);
        ASSERT_TRUE(db.save());
        db.close();
        ASSERT_EQ(db.open(file), Database::OPEN_OK);
    }
    std::string exported(TextExporter::Encoding enc = TextExporter::ENC_UTF8) {
        TextExporter ex(db, enc);
        EXPECT_TRUE(ex.exportToFile(out)) << ex.error();
        substituted = ex.substituted();
        std::ifstream f(dir / "out.txt", std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), {});
    }

    // With another program holding the document exclusively, the export
    // fails and says so; the lock is let go afterwards.
    void expectExportFailsWhileAnotherProgramHoldsTheFile() {
        db.setBusyTimeout(20);
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open((dir / "doc.q2db").string().c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
        {
            wxLogNull quiet;
            TextExporter ex(db, TextExporter::ENC_UTF8);
            EXPECT_FALSE(ex.exportToFile(out));
            EXPECT_TRUE(ex.error().Contains(wxS("another program"))) << ex.error();
        }
        sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }

    fs::path dir;
    wxString out;
    Database db;
    size_t substituted = 0;
};

std::string record(const std::string& icon, const std::string& prefix, const std::string& title,
                   const std::string& body) {
    return "{{{i=" + icon + "}}}\n" + prefix + title + "\n" + std::string(40, '-') + "\n" + body +
           "\n\n";
}

} // namespace

TEST_F(ExportTest, WritesTheOutlineInDocumentOrder) {
    Block* root = db.newDocument();
    root->setString(K_cap, wxS("Notes"));
    root->setString(K_i, wxS("book"));
    root->setText(wxS("top text"));
    add(1, "One", "first\nsecond line", "star");
    Block* two = add(1, "Two", "");
    add(two->id(), "Two-A", "a");
    Block* twoB = add(two->id(), "Two-B", "b");
    add(twoB->id(), "Deep", "d");
    add(1, "Three", "caf\xc3\xa9");
    saveAndReopen();

    const std::string expected =
        record("book", "[ROOT] ", "Notes", "top text") +
        record("star", "1. ", "One", "first\nsecond line") + record("", "2. ", "Two", "") +
        record("", "2.1. ", "Two-A", "a") + record("", "2.2. ", "Two-B", "b") +
        record("", "2.2.1. ", "Deep", "d") + record("", "3. ", "Three", "caf\xc3\xa9");
    EXPECT_EQ(exported(), expected); // no byte-order mark, plain line feeds
    EXPECT_EQ(substituted, 0u);
    // Bodies read for the export are not kept, nor are the headers below the
    // top node, so a large document is exported in little memory.
    for (const auto& [id, block] : db.blocks()) {
        EXPECT_FALSE(block->hasBody()) << id;
        if (id != 1) {
            EXPECT_FALSE(block->hasHeader()) << id;
        }
    }
}

TEST_F(ExportTest, TopNodeAloneAndUnsavedEdits) {
    Block* root = db.newDocument();
    EXPECT_EQ(exported(), record("", "[ROOT] ", "", ""));
    root->setText(wxS("edited, not saved"));
    EXPECT_EQ(exported(), record("", "[ROOT] ", "", "edited, not saved"));
    EXPECT_TRUE(root->hasBody()); // an edited body stays in memory
}

// The system code page here is plain ASCII: characters it cannot hold are
// replaced one by one and counted; the rest of the title and article stays.
TEST_F(ExportTest, SubstitutesWhatTheCodePageCannotHold) {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "C");
    db.newDocument()->setString(K_cap, wxString::FromUTF8("Caf\xc3\xa9 \xe2\x82\xac"));
    add(1, "plain", "na\xc3\xafve text \xe4\xb8\xad");
    const std::string text = exported(TextExporter::ENC_SYSTEM);
    std::setlocale(LC_CTYPE, saved.c_str());
    EXPECT_EQ(text,
              record("", "[ROOT] ", "Caf? ?", "") + record("", "1. ", "plain", "na?ve text ?"));
    EXPECT_EQ(substituted, 4u);
}

// Child lists naming themselves, an ancestor, a missing block or an object:
// every node is written once and the numbering counts written nodes only.
TEST_F(ExportTest, OddChildListsEnd) {
    db.newDocument();
    Block* a = add(1, "A", "");
    Block* b = add(a->id(), "B", "");
    Block* obj = db.newObject(wxS("image/png"));
    b->setString(K_ch, wxString::Format(wxS("%d,1,%d,99,%d"), a->id(), obj->id(), b->id()));
    Block* c = add(1, "C", "");
    db.getBlock(1)->setString(K_ch, wxString::Format(wxS("%d,%d,%d"), a->id(), a->id(), c->id()));
    EXPECT_EQ(exported(), record("", "[ROOT] ", "", "") + record("", "1. ", "A", "") +
                              record("", "1.1. ", "B", "") + record("", "2. ", "C", ""));
}

TEST_F(ExportTest, ReportsFilesThatCannotBeWritten) {
    db.newDocument();
    TextExporter ex(db, TextExporter::ENC_UTF8);
    EXPECT_FALSE(ex.exportToFile(wxString::FromUTF8((dir / "no/such/dir.txt").string().c_str())));
    EXPECT_FALSE(ex.error().empty());
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(ex.exportToFile(wxS("/dev/full")));
        EXPECT_FALSE(ex.error().empty());
    }
    Database empty;
    TextExporter none(empty, TextExporter::ENC_UTF8);
    EXPECT_FALSE(none.exportToFile(out));
}

// The export takes the target's name only when complete: a stale temporary
// file is replaced, a replaced file keeps its mode, a link keeps pointing at
// the file it named, and nothing but the target is left in the folder.
TEST_F(ExportTest, ReplacesTheTargetInOneStep) {
    db.newDocument();
    add(1, "A", "alpha");
    const std::string expected = record("", "[ROOT] ", "", "") + record("", "1. ", "A", "alpha");
    auto read = [](const fs::path& f) {
        std::ifstream in(f, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    };
    std::ofstream(dir / "out.txt") << "an earlier export";
    ::chmod((dir / "out.txt").c_str(), 0640);
    std::ofstream(dir / "out.txt.partial") << "left by a killed export";
    EXPECT_EQ(exported(), expected);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "out.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    fs::create_directories(dir / "real");
    std::ofstream(dir / "real" / "file.txt") << "old";
    fs::create_symlink(dir / "real" / "file.txt", dir / "link.txt");
    TextExporter ex(db, TextExporter::ENC_UTF8);
    ASSERT_TRUE(ex.exportToFile(wxString::FromUTF8((dir / "link.txt").string().c_str())))
        << ex.error();
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(read(dir / "real" / "file.txt"), expected);

    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.insert(e.path().lexically_relative(dir).string());
    EXPECT_EQ(names, (std::set<std::string>{"out.txt", "link.txt", "real", "real/file.txt"}));
}

// A document that cannot be read to the end is not exported as a shorter
// or emptier one: the export fails and says why.
TEST_F(ExportTest, ReadFailuresFailTheExport) {
    db.newDocument();
    add(1, "Alpha", "alpha body");
    add(1, "Beta", "beta body");
    saveAndReopen();
    ASSERT_NO_FATAL_FAILURE(expectExportFailsWhileAnotherProgramHoldsTheFile());
    // Read afresh once the lock is gone.
    EXPECT_NE(exported().find("2. Beta\n"), std::string::npos);
}

// With the block index read on first use, the walk looks nodes up one by one:
// the same bytes come out, and a lookup that fails fails the export.
TEST_F(ExportTest, IndexOnDemandWritesTheSameAndReportsFailedLookups) {
    db.newDocument();
    Block* a = add(1, "Alpha", "alpha ελλάδα", "star");
    add(a->id(), "Child", "child body");
    db.newObject(wxS("image/png"));
    add(1, "Beta", "beta body");
    db.getBlock(1)->editChildren(77, CH_APPEND); // names a block that is not there
    saveAndReopen();
    const std::string atOpen = exported();
    EXPECT_NE(atOpen.find("1.1. Child\n"), std::string::npos);
    const wxString file = db.path();
    db.close();
    ASSERT_EQ(db.open(file, Database::IndexMode::OnDemand), Database::OPEN_OK);
    EXPECT_EQ(exported(), atOpen);

    db.close();
    ASSERT_EQ(db.open(file, Database::IndexMode::OnDemand), Database::OPEN_OK);
    ASSERT_NO_FATAL_FAILURE(expectExportFailsWhileAnotherProgramHoldsTheFile());
    EXPECT_EQ(exported(), atOpen);
}

// An article longer than the editor takes is exported whole; one that
// cannot be read whole (longer than an export reads, or a broken stored
// stream) fails the export with the note's name, and no file is written.
TEST_F(ExportTest, LongArticlesAreExportedWholeOrNotAtAll) {
    const std::string tail = "the end of the long note";
    // Longer than the editor reads (a 40 MB note in the report that found it).
    const std::string whole = std::string(kMaxArticleBytes + (1 << 20), 'a') + tail;
    db.newDocument();
    db.setInt(K_comp, 1);
    const int longNote = add(1, "Long", "")->id();
    db.getBlock(longNote)->setTextUtf8(whole);
    const int tooLong = add(1, "Too long", "")->id();
    const int broken = add(1, "Broken", "")->id();
    saveAndReopen();
    const wxString file = db.path();
    auto sql = [&](const std::string& statement) {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(file.utf8_str(), &raw), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(raw, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(raw);
    };

    struct Case {
        const char* what;
        bool markdown;    // the Markdown export instead of the text one
        bool loadedFirst; // the editor had read the note (cut at its limit) before
    } cases[] = {
        {"text", false, false},
        {"text, shown before", false, true},
        {"markdown", true, false},
        {"markdown, shown before", true, true},
    };
    auto run = [&](bool markdown, wxString& error) {
        fs::remove(dir / "out.txt");
        if (markdown) {
            MarkdownExporter ex(db, MarkdownExporter::ONE_FILE);
            const bool ok = ex.exportTo(out);
            error = ex.error();
            return ok;
        }
        TextExporter ex(db, TextExporter::ENC_UTF8);
        const bool ok = ex.exportToFile(out);
        error = ex.error();
        return ok;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.loadedFirst) {
            Block* b = db.getBlock(longNote);
            b->body();
            ASSERT_TRUE(b->isDamaged()); // cut where the editor stops reading
        }
        wxString error;
        ASSERT_TRUE(run(c.markdown, error)) << error;
        std::ifstream f(dir / "out.txt", std::ios::binary);
        std::string text(fs::file_size(dir / "out.txt"), '\0');
        f.read(text.data(), static_cast<std::streamsize>(text.size()));
        EXPECT_GE(text.size(), whole.size());
        EXPECT_NE(text.find(tail, whole.size() - tail.size()), std::string::npos);
        EXPECT_EQ(db.articleLimit(), kMaxArticleBytes); // the editor's limit again
        db.getBlock(longNote)->releaseBody();
    }

    const std::string tooLongBody(kMaxExportArticleBytes + 1, 'b');
    {
        Database writer;
        ASSERT_EQ(writer.open(file), Database::OPEN_OK);
        writer.getBlock(tooLong)->setTextUtf8(tooLongBody);
        writer.getBlock(broken)->setTextUtf8(std::string(1 << 20, 'c') + "\x01\x02");
        ASSERT_TRUE(writer.save());
    }
    // The stored stream of "Broken" ends halfway.
    sql("update block set body=substr(body, 1, length(body) / 2) where id=" +
        std::to_string(broken));
    db.close();
    ASSERT_EQ(db.open(file), Database::OPEN_OK);
    struct Failing {
        int id;
        const char* name;   // the note's title, named in the error
        const char* reason; // part of the error
    } failing[] = {
        {tooLong, "Too long", "larger than 64 MB"},
        {broken, "Broken", "damaged"},
    };
    for (const Failing& f : failing) {
        for (const bool markdown : {false, true}) {
            SCOPED_TRACE(std::string(f.name) + (markdown ? ", markdown" : ", text"));
            wxString error;
            {
                wxLogNull quiet;
                EXPECT_FALSE(run(markdown, error));
            }
            EXPECT_TRUE(error.Contains(
                wxString::Format(wxS("note %d \"%s\""), f.id, wxString::FromUTF8(f.name))))
                << error;
            EXPECT_TRUE(error.Contains(wxString::FromUTF8(f.reason))) << error;
            EXPECT_FALSE(fs::exists(dir / "out.txt"));
            EXPECT_FALSE(fs::exists(dir / "out.txt.partial"));
        }
        // The next one fails on its own.
        Database writer;
        ASSERT_EQ(writer.open(file), Database::OPEN_OK);
        writer.getBlock(f.id)->setTextUtf8("fine");
        ASSERT_TRUE(writer.save());
        writer.close();
        db.close();
        ASSERT_EQ(db.open(file), Database::OPEN_OK);
    }
}
