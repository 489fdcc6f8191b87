// The object manager's window-free part: list texts, the offered export
// name, the preview's scale, the articles that show an object, and files
// written whole.
#include "objects/object_rows.h"

#include "store/database.h"

#include <gtest/gtest.h>
#include <wx/ffile.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include <filesystem>
#include <sys/stat.h>

using namespace qn;
namespace fs = std::filesystem;

namespace {

TEST(ObjectRows, Texts) {
    EXPECT_EQ(objectIdText(12, wxS("image/png")), wxS("12.png"));
    EXPECT_EQ(objectIdText(5, wxS("image/jpeg")), wxS("5.jpg"));
    EXPECT_EQ(objectIdText(3, wxS("application/octet-stream")), wxS("3."));
    EXPECT_EQ(objectBytesText(0), wxS("(0)"));
    EXPECT_EQ(objectBytesText(1234), wxS("1234"));
    EXPECT_EQ(pictureSizeText(40, 20), wxS("W40 H20"));
    EXPECT_EQ(pictureSizeText(-1, -1), wxS("--")); // not a picture
    EXPECT_EQ(pictureSizeText(0, 0), wxS("--"));
    EXPECT_EQ(imageTag(wxS("ab-cd"), wxS("12.png")), wxS("<img src=\"qudb:ab-cd/12.png\">\n"));
}

TEST(ObjectRows, ExportNameIsTheFileNameOnly) {
    const struct {
        const char* stored;
        const char* offered;
    } cases[] = {
        // stored "fname", name offered in the save dialog
        {"photo.png", "photo.png"},
        {"../../.bashrc", ".bashrc"},
        {"/etc/cron.d/job.png", "job.png"},
        {"C:\\Users\\me\\y.jpg", "y.jpg"},
        {"C:z.gif", "z.gif"},
        {"dir/", ""},
        {"..", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(exportFileName(wxString::FromUTF8(c.stored)), wxString::FromUTF8(c.offered));
    }
}

TEST(ObjectRows, PreviewScale) {
    const struct {
        int w, h, cw, ch;
        int sw, sh;
    } cases[] = {
        // picture, panel, shown
        {300, 150, 150, 150, 150, 75},  {100, 50, 150, 150, 100, 50}, // never scaled up
        {299, 10, 150, 150, 150, 5}, // a factor under 2 still scales
        {151, 151, 150, 150, 150, 150}, {3000, 1, 150, 150, 150, 1}, // at least one pixel
        {300, 200, 0, 0, 300, 200},                                  // a panel without area
        {0, 0, 150, 150, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h << " in " << c.cw << "x" << c.ch);
        const PixelSize s = previewSize(c.w, c.h, c.cw, c.ch);
        EXPECT_EQ(s.width, c.sw);
        EXPECT_EQ(s.height, c.sh);
    }
}

TEST(ObjectRows, ArticlesReferring) {
    const fs::path dir = fs::temp_directory_path() / ("qn_objrefs_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const wxString file = wxString::FromUTF8((dir / "doc.q2db").string().c_str());
    Database db;
    db.newDocument();
    db.setInt(K_comp, 1); // long articles are stored compressed
    const std::string dbid(db.dbid().utf8_str());
    auto article = [&](const std::string& body) {
        Block* node = db.newNode(1);
        node->setTextUtf8(body);
        db.getBlock(1)->editChildren(node->id(), CH_APPEND);
        return node;
    };
    const std::string filler(300, 'x');
    article("<img src=\"qudb:" + dbid + "/12.png\"> and <img src=\"qudb:" + dbid + "/12.png\">" +
            filler);
    article("qudb:" + dbid + "/123.png");  // another object
    article("qudb:other-document/12.png"); // another document
    article("see qudb:" + dbid + "/7");    // object 7, at the very end
    Block* hidden = article("excluded from search: qudb:" + dbid + "/7.gif");
    hidden->setExcluded(true);
    article("plain text");
    // The same counts in memory and, read from the file, both compressed and
    // plain articles.
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "in memory" : "from the file");
        EXPECT_EQ(articlesReferring(db, {12}), 1);
        EXPECT_EQ(articlesReferring(db, {12, 7}), 3);
        EXPECT_EQ(articlesReferring(db, {1}), 0);
        EXPECT_EQ(articlesReferring(db, {}), 0);
        if (pass == 0) {
            db.setPath(file);
            ASSERT_TRUE(db.save());
            db.close();
            ASSERT_EQ(db.open(file), Database::OPEN_OK);
        }
    }
    db.close();
    fs::remove_all(dir);
}

TEST(ObjectRows, FilesAreWrittenWhole) {
    const fs::path dir = fs::temp_directory_path() / ("qn_objrows_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const wxString path = wxString::FromUTF8((dir / "out.png").string().c_str());
    wxString why;
    ASSERT_TRUE(writeWholeFile(path, "old", why)) << why;
    ASSERT_TRUE(writeWholeFile(path, std::string("new\0bytes", 9), why)) << why;
    wxFFile f(path, wxS("rb"));
    std::string back(32, '\0');
    back.resize(f.Read(back.data(), back.size()));
    EXPECT_EQ(back, std::string("new\0bytes", 9));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // An object of a protected document is for its owner alone, also where
    // an older file was open to others; the others keep the file's mode.
    struct Case {
        bool privateFile;
        mode_t before, after;
    } cases[] = {{true, 0644, 0600}, {false, 0640, 0640}};
    for (const Case& c : cases) {
        ::chmod(path.fn_str(), c.before);
        ASSERT_TRUE(writeWholeFile(path, "bytes", why, c.privateFile)) << why;
        struct stat st {};
        ASSERT_EQ(::stat(path.fn_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.after);
    }

    const wxString nowhere = wxString::FromUTF8((dir / "missing" / "x.png").string().c_str());
    EXPECT_FALSE(writeWholeFile(nowhere, "x", why));
    EXPECT_FALSE(why.empty());
    fs::remove_all(dir);
}

} // namespace
