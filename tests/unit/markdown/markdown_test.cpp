// The Markdown export: the layout of the file and the folder tree, the
// images beside them, the escaping that keeps text as text, and failures
// that leave nothing half written.
#include "frame/markdown_exporter.h"
#include "frame/text_exporter.h"

#include "store/database.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qn;
namespace fs = std::filesystem;

namespace {

// A real 2 by 1 PNG.
const std::string kPng("\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00"
                       "\x00\x02\x00\x00\x00\x01\x08\x02\x00\x00\x00\x7b\x40\xe8\xdd\x00\x00\x00"
                       "\x0d\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf\x00\x04\xff\x01\x07\x00\x01\xff"
                       "\xe2\x23\x9e\x59\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
                       70);

std::string readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

class MarkdownTest : public ::testing::Test {
protected:
    Block* add(int parent, const std::string& title, const std::string& body, bool html = false) {
        Block* n = db.newNode(parent);
        n->setString(K_cap, wxString::FromUTF8(title.c_str()));
        n->setTextUtf8(body);
        if (html) n->setMime(wxS("text/html"));
        db.getBlock(parent)->editChildren(n->id(), CH_APPEND);
        return n;
    }
    int addImage() {
        Block* o = db.newObject(wxS("image/png"));
        o->setBytes(kPng);
        return o->id();
    }
    std::string img(int id, const char* ext = ".png") {
        return "<img src=\"qudb:" + std::string(db.dbid().utf8_str()) + "/" + std::to_string(id) +
               ext + "\">";
    }
    // Saved and opened again: the export reads bodies from the file.
    void saveAndReopen() {
        const wxString file = tmp.file("doc.q2db");
        db.setPath(file);
        ASSERT_TRUE(db.save());
        db.close();
        ASSERT_EQ(db.open(file), 0);
    }
    fs::path at(const char* name) const { return fs::path(tmp.path()) / name; }

    test::TempDir tmp;
    Database db;
};

} // namespace

TEST_F(MarkdownTest, OneFileHasTheTreeAsHeadingsAndTheImagesBesideIt) {
    Block* root = db.newDocument();
    root->setString(K_cap, wxS("Notes"));
    root->setText(wxS("top"));
    const int image = addImage();
    Block* a = add(1, "A *star*", "plain\nnext");
    add(a->id(), "A1",
        "<html><head><title>x</title></head><body>\n<p>one</p>\n\n<p>" + img(image) +
            img(image, "") + "<img src=\"qudb:other-doc/" + std::to_string(image) +
            ".png\"><img src=\"qudb:" + std::string(db.dbid().utf8_str()) +
            "/999.png\"></p>\n</body></html>",
        true);
    // Deeper than Markdown's six heading levels.
    int parent = a->id();
    for (int depth = 3; depth <= 7; ++depth)
        parent = add(parent, "L" + std::to_string(depth), "")->id();
    add(1, "B", "");
    saveAndReopen();

    MarkdownExporter ex(db, MarkdownExporter::ONE_FILE);
    ASSERT_TRUE(ex.exportTo(tmp.file("out.md"))) << ex.error();
    const std::string md = readAll(at("out.md"));
    const std::string html =
        "<div>\n<p>one</p>\n<!-- -->\n<p><img src=\"out.files/" + std::to_string(image) +
        ".png\"><img src=\"out.files/" + std::to_string(image) +
        ".png\"><img src=\"qudb:other-doc/" + std::to_string(image) +
        ".png\"><img src=\"qudb:" + std::string(db.dbid().utf8_str()) + "/999.png\"></p>\n</div>\n";
    EXPECT_EQ(md, "# Notes\n\ntop\n\n"
                  "## A \\*star\\*\n\nplain\\\nnext\n\n"
                  "### A1\n\n" +
                      html +
                      "\n"
                      "### L3\n\n#### L4\n\n##### L5\n\n###### L6\n\n###### L7\n\n"
                      "## B\n\n");
    // The object is written once, byte for byte, although linked twice.
    EXPECT_EQ(readAll(at("out.files") / (std::to_string(image) + ".png")), kPng);
    EXPECT_EQ(ex.imagesWritten(), 1u);
    EXPECT_FALSE(fs::exists(at("out.md.partial")));
}

TEST_F(MarkdownTest, TextStaysText) {
    struct Case {
        const char* in;  // a plain-text article
        const char* out; // its Markdown
    };
    const Case cases[] = {
        {"", ""},
        {"a_b *c* `d` [e](f) <b> &amp; #g",
         "a\\_b \\*c\\* \\`d\\` \\[e\\](f) \\<b\\> \\&amp; \\#g\n"},
        {"# not a heading\n- not a list\n+ nor\n1. nor\n2) this\n===",
         "\\# not a heading\\\n\\- not a list\\\n\\+ nor\\\n1\\. nor\\\n2\\) this\\\n\\===\n"},
        {"    indented\n\tcode",
         "&nbsp;&nbsp;&nbsp;&nbsp;indented\\\n&nbsp;&nbsp;&nbsp;&nbsp;code\n"},
        {"one\r\n\r\ntwo  \n\n\n", "one\n\ntwo\n"},
        {"ends with \\", "ends with \\\\\n"},
        {"caf\xc3\xa9 \xe6\x97\xa5\xe8\xa8\x98", "caf\xc3\xa9 \xe6\x97\xa5\xe8\xa8\x98\n"},
        {"bad \xff byte", "bad \xc3\xbf byte\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MarkdownExporter::plainText(c.in), c.out) << c.in;
    EXPECT_EQ(MarkdownExporter::headingText("two\nlines # [x]"), "two lines \\# \\[x\\]");
    EXPECT_EQ(MarkdownExporter::htmlBlock("<p>a</p>\n\n<pre>x\n\ny</pre>"),
              "<div>\n<p>a</p>\n<!-- -->\n<pre>x\n<!-- -->\ny</pre>\n</div>\n");
    EXPECT_EQ(MarkdownExporter::htmlBlock("<HTML><BODY class=x>\n<b>b</b>\n</BODY></HTML>"),
              "<div>\n<b>b</b>\n</div>\n");
}

TEST_F(MarkdownTest, FilePerNoteFollowsTheTree) {
    db.newDocument()->setString(K_cap, wxS("Top"));
    const int image = addImage();
    Block* a = add(1, "a/b: c?", "x");
    add(a->id(), "Same", "first");
    add(a->id(), "same", "second");
    add(a->id(), "", "<p>" + img(image) + "</p>", true);
    add(1, "..", "");
    add(1, "pics.files", "");
    saveAndReopen();

    MarkdownExporter ex(db, MarkdownExporter::FILE_PER_NOTE);
    ASSERT_TRUE(ex.exportTo(tmp.file("tree"))) << ex.error();
    const fs::path t = at("tree");
    EXPECT_EQ(readAll(t / "Top.md"), "# Top\n\n");
    EXPECT_EQ(readAll(t / "Top" / "a_b_ c_.md"), "# a/b: c?\n\nx\n\n");
    EXPECT_EQ(readAll(t / "Top" / "a_b_ c_" / "Same.md"), "# Same\n\nfirst\n\n");
    EXPECT_EQ(readAll(t / "Top" / "a_b_ c_" / "same (2).md"), "# same\n\nsecond\n\n");
    EXPECT_EQ(readAll(t / "Top" / "a_b_ c_" / "untitled.md"),
              "#\n\n<div>\n<p><img src=\"untitled.files/" + std::to_string(image) +
                  ".png\"></p>\n</div>\n\n");
    EXPECT_EQ(readAll(t / "Top" / "a_b_ c_" / "untitled.files" / (std::to_string(image) + ".png")),
              kPng);
    EXPECT_TRUE(fs::exists(t / "Top" / "untitled.md")); // ".." is no name
    EXPECT_TRUE(fs::exists(t / "Top" / "pics.files_.md"));
    EXPECT_EQ(ex.nodesWritten(), 7u);

    // A folder with something in it is not written into.
    MarkdownExporter again(db, MarkdownExporter::FILE_PER_NOTE);
    EXPECT_FALSE(again.exportTo(tmp.file("tree")));
    EXPECT_NE(again.error().Find(wxS("not an empty folder")), wxNOT_FOUND);
    EXPECT_EQ(readAll(t / "Top.md"), "# Top\n\n");
    EXPECT_FALSE(fs::exists(at("tree.partial")));
}

// Notes whose names would take one another's file or folder ("a.md" wants
// the folder "a.md", "a" the file "a.md") get names of their own, in either
// order.
TEST_F(MarkdownTest, NamesOfFilesAndFoldersNeverClash) {
    for (const bool folderFirst : {true, false}) {
        SCOPED_TRACE(folderFirst ? "the folder first" : "the file first");
        db.close();
        db.newDocument()->setString(K_cap, wxS("Top"));
        if (!folderFirst) add(1, "a", "file");
        add(add(1, "a.md", "folder")->id(), "child", "inside");
        if (folderFirst) add(1, "a", "file");
        const char* name = folderFirst ? "first" : "second";
        MarkdownExporter ex(db, MarkdownExporter::FILE_PER_NOTE);
        ASSERT_TRUE(ex.exportTo(tmp.file(name))) << ex.error();
        EXPECT_EQ(ex.nodesWritten(), 4u);
        size_t files = 0;
        for (const auto& e : fs::recursive_directory_iterator(at(name)))
            files += e.is_regular_file();
        EXPECT_EQ(files, 4u);
    }
}

namespace {

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 0777) : mode_t(-1);
}

} // namespace

// What is exported from a protected document is for its owner alone: every
// file 0600 and every folder 0700, also where an earlier export left a file
// open to others; an unprotected document's follow the umask as before.
TEST_F(MarkdownTest, ExportsOfAProtectedDocumentArePrivate) {
    const mode_t oldMask = ::umask(022);
    for (const bool isProtected : {true, false}) {
        SCOPED_TRACE(isProtected ? "protected" : "unprotected");
        db.close();
        db.newDocument()->setString(K_cap, wxS("Top"));
        const int image = addImage();
        add(add(1, "pics", "<p>" + img(image) + "</p>", true)->id(), "child", "text");
        if (isProtected) {
            ASSERT_TRUE(db.changeCipher(makeDocumentCipher(db, wxS("pw"), wxString()), wxS("pw")));
        }
        const std::string sub = isProtected ? "p" : "u";
        fs::create_directories(at(sub.c_str()));
        db.setPath(wxString::FromUTF8((at(sub.c_str()) / "doc.q2db").c_str()));
        ASSERT_TRUE(db.save());
        const fs::path d = at(sub.c_str());
        const mode_t file = isProtected ? 0600 : 0644, folder = isProtected ? 0700 : 0755;

        // Over files an earlier export left open to everybody.
        std::ofstream(d / "out.txt") << "earlier";
        ::chmod((d / "out.txt").c_str(), 0644);
        fs::create_directories(d / "out.files");
        std::ofstream(d / "out.files" / (std::to_string(image) + ".png")) << "earlier";
        ::chmod((d / "out.files" / (std::to_string(image) + ".png")).c_str(), 0644);
        TextExporter text(db, TextExporter::ENC_UTF8);
        ASSERT_TRUE(text.exportToFile(wxString::FromUTF8((d / "new.txt").c_str()))) << text.error();
        ASSERT_TRUE(text.exportToFile(wxString::FromUTF8((d / "out.txt").c_str()))) << text.error();
        MarkdownExporter one(db, MarkdownExporter::ONE_FILE);
        ASSERT_TRUE(one.exportTo(wxString::FromUTF8((d / "new.md").c_str()))) << one.error();
        ASSERT_TRUE(one.exportTo(wxString::FromUTF8((d / "out.md").c_str()))) << one.error();
        MarkdownExporter split(db, MarkdownExporter::FILE_PER_NOTE);
        ASSERT_TRUE(split.exportTo(wxString::FromUTF8((d / "tree").c_str()))) << split.error();

        EXPECT_EQ(modeOf(d / "new.txt"), file);
        EXPECT_EQ(modeOf(d / "new.md"), file);
        EXPECT_EQ(modeOf(d / "new.files"), folder);
        EXPECT_EQ(modeOf(d / "new.files" / (std::to_string(image) + ".png")), file);
        EXPECT_EQ(modeOf(d / "tree"), folder);
        size_t seen = 0;
        for (const auto& e : fs::recursive_directory_iterator(d / "tree")) {
            EXPECT_EQ(modeOf(e.path()), e.is_directory() ? folder : file) << e.path();
            ++seen;
        }
        // Top.md, Top/, Top/pics.md, Top/pics.files/, the image, Top/pics/, its child.md
        EXPECT_EQ(seen, 7u);
        if (isProtected) {
            EXPECT_EQ(modeOf(d / "out.txt"), 0600u);
            EXPECT_EQ(modeOf(d / "out.files" / (std::to_string(image) + ".png")), 0600u);
        }
    }
    ::umask(oldMask);
}

TEST_F(MarkdownTest, AFailedWriteKeepsTheEarlierExport) {
    db.newDocument()->setString(K_cap, wxS("Top"));
    add(1, "pic", "<p>" + img(addImage()) + "</p>", true);
    std::ofstream(at("out.md")) << "earlier";
    std::ofstream(at("out.files")) << "a file where the image folder goes";
    MarkdownExporter ex(db, MarkdownExporter::ONE_FILE);
    EXPECT_FALSE(ex.exportTo(tmp.file("out.md")));
    EXPECT_NE(ex.error().Find(wxS("cannot create")), wxNOT_FOUND) << ex.error();
    EXPECT_EQ(readAll(at("out.md")), "earlier");
    EXPECT_FALSE(fs::exists(at("out.md.partial")));
}

TEST_F(MarkdownTest, CommandLine) {
    db.newDocument()->setString(K_cap, wxS("Top"));
    add(1, "Child", "text");
    saveAndReopen();
    db.close();
    const std::string cli = QN_CLI_PATH;
    const std::string doc = tmp.path() + "/doc.q2db";
    auto run = [&](const std::string& args) {
        const int rc = std::system((cli + " export " + doc + " " + args + " 2>/dev/null").c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    EXPECT_EQ(run(tmp.path() + "/a.md --format markdown"), 0);
    EXPECT_EQ(readAll(at("a.md")), "# Top\n\n## Child\n\ntext\n\n");
    EXPECT_EQ(run(tmp.path() + "/split --format markdown --split"), 0);
    EXPECT_EQ(readAll(at("split") / "Top" / "Child.md"), "# Child\n\ntext\n\n");
    EXPECT_EQ(run(tmp.path() + "/b.md --format html"), 2);
    EXPECT_EQ(run(tmp.path() + "/b.txt --split"), 2);
    EXPECT_EQ(run(tmp.path() + "/b.md --format markdown --encoding system"), 2);
    EXPECT_FALSE(fs::exists(at("b.md")));
}

// A link to a pipe, as /dev/stdout is when the output goes into a pipe: the
// text is written into the pipe, Markdown refuses, and the link stays.
TEST_F(MarkdownTest, ALinkToAPipeIsNeverReplaced) {
    db.newDocument()->setString(K_cap, wxS("Top"));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const fs::path link = at("stdout");
    fs::create_symlink("/proc/self/fd/" + std::to_string(fds[1]), link);
    const wxString path = wxString::FromUTF8(link.string().c_str());

    MarkdownExporter md(db, MarkdownExporter::ONE_FILE);
    EXPECT_FALSE(md.exportTo(path));
    EXPECT_NE(md.error().Find(wxS("not a regular file")), wxNOT_FOUND) << md.error();
    TextExporter text(db, TextExporter::ENC_UTF8);
    EXPECT_TRUE(text.exportToFile(path)) << text.error();
    ::close(fds[1]);
    char buffer[64] = {};
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer - 1);
    ::close(fds[0]);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0),
              "{{{i=}}}\n[ROOT] Top\n" + std::string(40, '-') + "\n\n\n");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(at("stdout.partial"))));
}

// The images' folder beside a one-file export may stand in a folder others
// can write to.  A link planted there, in place of the folder or of an image
// inside it, is never written through, and another user's folder is refused.
TEST_F(MarkdownTest, PlantedLinksBesideTheExportAreNeverFollowed) {
    db.newDocument()->setString(K_cap, wxS("Top"));
    const int image = addImage();
    add(1, "pic", "<p>" + img(image) + "</p>", true);
    const std::string png = std::to_string(image) + ".png";
    const fs::path shared = at("shared");
    fs::create_directories(shared);
    ::chmod(shared.c_str(), 01777);
    const fs::path victim = at("victim");
    fs::create_directories(victim);
    std::ofstream(victim / "bashrc") << "mine";
    const wxString out = wxString::FromUTF8((shared / "notes.md").c_str());

    // An image inside the folder is a link: the link is replaced by the image.
    fs::create_directories(shared / "notes.files");
    fs::create_symlink(victim / "bashrc", shared / "notes.files" / png);
    {
        MarkdownExporter ex(db, MarkdownExporter::ONE_FILE);
        ASSERT_TRUE(ex.exportTo(out)) << ex.error();
    }
    EXPECT_EQ(readAll(victim / "bashrc"), "mine");
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(shared / "notes.files" / png)));
    EXPECT_EQ(readAll(shared / "notes.files" / png), kPng);
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(shared / "notes.files"))
        entries += e.path().filename() != png; // no temporary file left behind
    EXPECT_EQ(entries, 0u);

    // The folder itself is a link, or belongs to someone else: refused, and
    // the earlier Markdown stays.
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> plant;
        const char* reason;
    };
    const Case cases[] = {
        {"link to a folder",
         [&](const fs::path& p) { fs::create_directory_symlink(victim, p); }, "link"},
        {"another user's folder",
         [&](const fs::path& p) {
             fs::create_directories(p);
             if (::geteuid() == 0) {
                 ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
             }
         },
         "another user"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.what) == "another user's folder" && ::geteuid() != 0) continue;
        const fs::path folder = shared / "other.files";
        fs::remove_all(folder);
        c.plant(folder);
        std::ofstream(shared / "other.md") << "earlier";
        MarkdownExporter ex(db, MarkdownExporter::ONE_FILE);
        EXPECT_FALSE(ex.exportTo(wxString::FromUTF8((shared / "other.md").c_str())));
        EXPECT_NE(ex.error().Find(wxString::FromUTF8(c.reason)), wxNOT_FOUND) << ex.error();
        EXPECT_EQ(readAll(shared / "other.md"), "earlier");
        EXPECT_FALSE(fs::exists(victim / png));
        EXPECT_EQ(readAll(victim / "bashrc"), "mine");
    }
}
