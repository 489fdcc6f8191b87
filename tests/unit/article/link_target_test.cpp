#include "article/link_target.h"

#include <wx/filename.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <unistd.h>

using qn::LinkAction;
using qn::LinkContext;

namespace {

LinkContext context(const char* documentPath) {
    LinkContext c;
    c.documentPath = wxString::FromUTF8(documentPath);
    static const std::set<wxString> dirs{wxS("/docs"), wxS("/shared/folder"),
                                         wxS("smb://server/share")};
    c.isDirectory = [](const wxString& p) { return dirs.count(p) != 0; };
    return c;
}

const char* kindName(LinkAction::Kind k) {
    switch (k) {
    case LinkAction::Nothing:
        return "nothing";
    case LinkAction::ShowNode:
        return "node";
    case LinkAction::OpenDocument:
        return "document";
    case LinkAction::OpenExternal:
        return "opener";
    }
    return "?";
}

} // namespace

TEST(LinkTarget, Grammar) {
    struct Case {
        const char* url;
        const char* doc;
        const char* kind;
        unsigned node;
        const char* path;
        const char* op;
        const char* params;
        const char* dir;
    } cases[] = {
        // Node links.
        {"file:*12", "", "node", 12, "", "", "", ""},
        {"qudb:12", "", "node", 12, "", "", "", ""},
        {"qudb:12.png", "", "node", 12, "", "", "", ""},
        {"file:*12.png", "", "nothing", 0, "", "", "", ""},
        {"file:*", "", "nothing", 0, "", "", "", ""},
        {"file:*-3", "", "nothing", 0, "", "", "", ""},
        {"qudb:abc", "", "nothing", 0, "", "", "", ""},
        {"file:*99999999999", "", "nothing", 0, "", "", "", ""}, // beyond any id
        // Absolute paths, parameters and working directory.
        {"file:///docs/a.txt", "", "opener", 0, "/docs/a.txt", "open", "", "/docs"},
        {"file:///docs/a.txt::-x::/work", "", "opener", 0, "/docs/a.txt", "open", "-x", "/work"},
        {"file:///docs/a.txt ::  -x -y ", "", "opener", 0, "/docs/a.txt", "open", "-x -y ",
         "/docs"},
        {"file:///docs/a.txt :: -x :: /work/dir ", "", "opener", 0, "/docs/a.txt", "open", "-x",
         "/work/dir "},
        {"file:///docs", "", "opener", 0, "/docs", "explore", "", ""},
        {"file:///docs/b.q2db", "", "document", 0, "/docs/b.q2db", "open", "", "/docs"},
        {"file:///docs/b.Q2DB", "", "opener", 0, "/docs/b.Q2DB", "open", "", "/docs"},
        // Network and local hosts.
        {"file://server/share", "", "opener", 0, "smb://server/share", "explore", "", ""},
        {"file://server/share/x.txt", "", "opener", 0, "smb://server/share/x.txt", "open", "", ""},
        {"file://localhost/docs/a.txt", "", "opener", 0, "/docs/a.txt", "open", "", ""},
        // Relative to the document.
        {"file:notes/b.txt", "/x/doc.q2db", "opener", 0, "/x/notes/b.txt", "open", "", "/x/notes"},
        {"file:../b.txt", "/x/y/doc.q2db", "opener", 0, "/x/b.txt", "open", "", "/x"},
        {"file:other.q2db", "/x/doc.q2db", "document", 0, "/x/other.q2db", "open", "", "/x"},
        {"file:notes/b.txt", "", "nothing", 0, "", "", "", ""},
        // Everything else goes to the opener unchanged.
        {"file:/abc", "", "opener", 0, "file:/abc", "open", "", ""},
        {"https://example.org/a?b=1;c", "", "opener", 0, "https://example.org/a?b=1;c", "open", "",
         ""},
        {"mailto:me@example.org", "", "opener", 0, "mailto:me@example.org", "open", "", ""},
        {"\\\\server\\share", "", "nothing", 0, "", "", "", ""},
        {"/docs/c.q2db", "", "document", 0, "/docs/c.q2db", "open", "", ""},
    };
    for (const Case& c : cases) {
        const wxString url = wxString::FromUTF8(c.url);
        LinkAction a = qn::resolveLink(url, context(c.doc));
        SCOPED_TRACE(c.url);
        EXPECT_STREQ(kindName(a.kind), c.kind);
        if (a.kind == LinkAction::ShowNode) {
            EXPECT_EQ(a.nodeId, c.node);
        }
        if (a.kind == LinkAction::OpenDocument || a.kind == LinkAction::OpenExternal) {
            EXPECT_EQ(a.path, wxString::FromUTF8(c.path));
            EXPECT_EQ(a.operation, wxString::FromUTF8(c.op));
            EXPECT_EQ(a.parameters, wxString::FromUTF8(c.params));
            EXPECT_EQ(a.workingDir, wxString::FromUTF8(c.dir));
        }
    }

    // A bare relative document link names the file in the current folder, as
    // before, but by its full path: the window that has it open already is
    // found, instead of a second window on the same file.
    for (const char* url : {"x.q2db", "sub/../x.q2db"}) {
        SCOPED_TRACE(url);
        LinkAction a = qn::resolveLink(wxString::FromUTF8(url), context(""));
        EXPECT_STREQ(kindName(a.kind), "document");
        EXPECT_EQ(a.path, wxFileName::GetCwd() + wxS("/x.q2db"));
    }
}

TEST(LinkTarget, MenuTargetCutsNothingAtTheDot) {
    struct {
        const char* url;
        bool ok;
        unsigned id;
    } cases[] = {
        {"file:*12", true, 12}, {"qudb:12", true, 12},  {"qudb:12.png", false, 0},
        {"file:*x", false, 0},  {"http://1", false, 0}, {"qudb:", false, 0},
    };
    for (const auto& c : cases) {
        uint32_t id = 0;
        EXPECT_EQ(qn::linkMenuTarget(wxString::FromUTF8(c.url), id), c.ok) << c.url;
        if (c.ok) {
            EXPECT_EQ(id, c.id) << c.url;
        }
    }
}

TEST(LinkTarget, OpenerGetsTheLinkAsOneArgument) {
    // Shell syntax in a link stays inside the single path argument.
    const char* hostile[] = {"https://x.org/$(touch /tmp/pwned)", "a.txt; rm -rf ~",
                             "file:///tmp/a`id`.txt::--foo::/tmp"};
    for (const char* url : hostile) {
        LinkAction a = qn::resolveLink(wxString::FromUTF8(url), context(""));
        ASSERT_EQ(a.kind, LinkAction::OpenExternal) << url;
        auto argv = qn::openerArgv(a);
        ASSERT_EQ(argv.size(), 2u) << url;
        EXPECT_EQ(argv[0], wxS("xdg-open"));
        EXPECT_EQ(argv[1], a.path);
    }
}

TEST(LinkTarget, QudbLocations) {
    struct {
        const char* loc;
        bool ok;
        const char* doc;
        unsigned id;
    } cases[] = {
        {"qudb:abc-1/12.png", true, "abc-1", 12},
        {"qudb:abc-1/12", true, "abc-1", 12},
        {"qudb:abc-1/12.x.y", true, "abc-1", 12},
        {"qudb:abc-1/x.png", true, "abc-1", 0},
        {"qudb:abc-1", false, "", 0},
        {"http:abc/12", false, "", 0},
    };
    for (const auto& c : cases) {
        qn::QudbLocation loc;
        EXPECT_EQ(qn::parseQudbLocation(wxString::FromUTF8(c.loc), loc), c.ok) << c.loc;
        if (c.ok) {
            EXPECT_EQ(loc.documentId, wxString::FromUTF8(c.doc)) << c.loc;
            EXPECT_EQ(loc.objectId, c.id) << c.loc;
        }
    }
}

TEST(LinkTarget, LinksFoundInEditorText) {
    struct {
        const char* text;
        long pos;
        bool found;
        const char* link;
    } cases[] = {
        {"see file:*12 here", 6, true, "file:*12"},
        {"see file:*12 here", 11, true, "file:*12"},
        {"see file:*12 here", 12, false, ""},
        {"(qudb:7).", 3, true, "qudb:7"},
        {"go to https://x.org/a, then", 10, true, "https://x.org/a"},
        {"file:notes/b.txt", 0, true, "file:notes/b.txt"},
        {"plain words only", 3, false, ""},
        {"file:", 2, false, ""},
        {"<file:a.txt>", 3, true, "file:a.txt"},
    };
    for (const auto& c : cases) {
        const wxString text = wxString::FromUTF8(c.text);
        long s = 0, e = 0;
        EXPECT_EQ(qn::findLinkAt(text, c.pos, s, e), c.found) << c.text << " @" << c.pos;
        if (c.found) {
            EXPECT_EQ(text.Mid(s, e - s), wxString::FromUTF8(c.link)) << c.text;
        }
    }
}

TEST(LinkTarget, QuotedLinksRunToTheClosingQuote) {
    const wxString text = wxS("open \"file:///tmp/my notes.txt\" now\n\"file:///a b\tc");
    long s = 6;
    // The control stops at the space; the quote widens it.
    EXPECT_EQ(text.Mid(s, qn::extendQuotedLink(text, s, 22) - s), wxS("file:///tmp/my notes.txt"));
    s = text.Find(wxS("file:///a"));
    EXPECT_EQ(text.Mid(s, qn::extendQuotedLink(text, s, s + 9) - s), wxS("file:///a b"));
    // Without a quote before it nothing changes.
    EXPECT_EQ(qn::extendQuotedLink(wxS("x file:a b"), 2, 8), 8);
    // An unterminated quote runs to the end.
    EXPECT_EQ(qn::extendQuotedLink(wxS("\"file:a b"), 1, 7), 9);
}

TEST(LinkTarget, AllLinksOfAText) {
    const wxString text =
        wxS("see file:*4, (qudb:7) and \"file:///tmp/a b.txt\" or https://x.org/p.\nplain");
    auto links = qn::findLinks(text, 0, static_cast<long>(text.length()));
    std::vector<wxString> found;
    for (const auto& [s, e] : links)
        found.push_back(text.Mid(s, e - s));
    EXPECT_EQ(found, (std::vector<wxString>{wxS("file:*4"), wxS("qudb:7"),
                                            wxS("file:///tmp/a b.txt"), wxS("https://x.org/p")}));
    // A window starting inside a link does not report it; one around it does.
    const long inside = text.Find(wxS("*4"));
    EXPECT_TRUE(qn::findLinks(text, inside, inside + 3).empty());
    EXPECT_EQ(qn::findLinks(text, inside - 8, inside + 3).size(), 1u);
}

// Which links are followed at once, which need the user's word, and which
// are never followed.  Local files are real: their type, their mode and the
// file a link leads to decide.
TEST(LinkTarget, TrustOfLinks) {
    const std::string dir = testing::TempDir() + "/link_trust_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    auto make = [&](const char* name, std::filesystem::perms mode) {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\ntouch /tmp/pwned\n";
        std::filesystem::permissions(path, mode);
        return path;
    };
    using P = std::filesystem::perms;
    const P plain = P::owner_read | P::owner_write | P::group_read | P::others_read;
    make("paper.pdf", plain);
    make("run.pdf", plain | P::owner_exec);
    make("tool.desktop", plain);
    make("script.sh", plain);
    make("page.html", plain);
    std::filesystem::create_symlink(dir + "/tool.desktop", dir + "/disguised.pdf");

    using qn::LinkTrust;
    struct Case {
        std::string url;
        LinkTrust trust;
    } cases[] = {
        {"https://example.org/a", LinkTrust::Open},
        {"HTTP://example.org/", LinkTrust::Open},
        {"mailto:me@example.org", LinkTrust::Open},
        {"file:*12", LinkTrust::Open},
        {"file:///docs/b.q2db", LinkTrust::Open},
        {"file://" + dir + "/paper.pdf", LinkTrust::Open},
        {dir + "/paper.pdf", LinkTrust::Open},
        // Could start a program: asked first.
        {"file://" + dir + "/run.pdf", LinkTrust::Ask},
        {"file://" + dir + "/tool.desktop", LinkTrust::Ask},
        {"file://" + dir + "/script.sh", LinkTrust::Ask},
        {"file://" + dir + "/page.html", LinkTrust::Ask},
        {"file://" + dir + "/disguised.pdf", LinkTrust::Ask},
        {"file://" + dir + "/missing.pdf", LinkTrust::Ask},
        {"file:///etc/shadow", LinkTrust::Ask},
        {"file:///usr/bin/xterm", LinkTrust::Ask},
        {"file://" + dir, LinkTrust::Ask},
        {"file://server/share/a.pdf", LinkTrust::Ask},
        {"ftp://example.org/x", LinkTrust::Ask},
        {"ssh://example.org", LinkTrust::Ask},
        {"relative.pdf", LinkTrust::Ask},
        {"http:/etc/shadow", LinkTrust::Ask},
        // Scripts: never.
        {"javascript:alert(1)", LinkTrust::Refuse},
        {"JavaScript:alert(1)", LinkTrust::Refuse},
        {" java\tscript:alert(1)", LinkTrust::Refuse},
        {"vbscript:msgbox(1)", LinkTrust::Refuse},
        {"data:text/html,<script>alert(1)</script>", LinkTrust::Refuse},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const wxString url = wxString::FromUTF8(c.url.c_str());
        EXPECT_EQ(static_cast<int>(qn::linkTrust(url, qn::resolveLink(url, context("")))),
                  static_cast<int>(c.trust));
    }
    std::filesystem::remove_all(dir);
}

TEST(LinkTarget, RemoteLocationsOfTheHtmlView) {
    const std::pair<const char*, bool> cases[] = {
        {"http://127.0.0.1/pixel.png", true},
        {"HTTPS://example.org/a.png", true},
        {"ftp://example.org/a.png", true},
        {"//example.org/a.png", true},
        {"file:/x/a.zip#http://example.org/b.png", true},
        {"qudb:abc/12.png", false},
        {"file:///home/u/a.png", false},
        {"/home/u/a.png", false},
        {"images/a.png", false},
        {"file:/x/a.zip#zip:b.png", false},
    };
    for (const auto& [location, remote] : cases)
        EXPECT_EQ(qn::isRemoteLocation(wxString::FromUTF8(location)), remote) << location;
}
