// quillnest-cli run as a process: each command's main path and its errors.
#include "unit/legacy/legacy_writer.h"

#include "cli/cli.h"
#include "store/database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <zlib.h>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <set>

extern char** environ;

using namespace qn;
using qn::cli::EXIT_FAILED;
using qn::cli::EXIT_OK;
using qn::cli::EXIT_USAGE;
namespace fs = std::filesystem;

namespace {

struct Result {
    int code = -1;
    std::string out, err;
};

std::string readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

void writeAll(const fs::path& p, const std::string& s) {
    std::ofstream f(p, std::ios::binary);
    f << s;
}

std::string u8(const wxString& s) {
    return std::string(s.utf8_str());
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qn_cli_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
        // Keys derived at the smallest cost: the tests are not about it.
        writeAll(dir / "home" / "settings.ini", "cryptopt=rr\ncryptlimits=1,8192\n");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string p(const std::string& name) const { return (dir / name).string(); }

    // Runs the tool in a session of its own (no controlling terminal), with
    // an empty application data directory and the shipped configuration.
    Result run(std::vector<std::string> args, const std::string& input = std::string()) {
        return finish(start(std::move(args), input));
    }

    // Starts the tool without waiting; `tag` names its output files, so
    // that several can run at once.
    struct Started {
        pid_t pid = -1;
        std::string tag;
    };
    Started start(std::vector<std::string> args, const std::string& input = std::string(),
                  const std::string& tag = "std") {
        writeAll(dir / (tag + "in"), input);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "QUILLNEST_", 10) != 0) env.push_back(*e);
        env.push_back("QUILLNEST_HOME=" + p("home"));
        env.push_back("LC_ALL=C.UTF-8");
        std::vector<char*> envp, argv;
        for (auto& s : env)
            envp.push_back(s.data());
        envp.push_back(nullptr);
        std::string exe = QN_CLI_PATH;
        argv.push_back(exe.data());
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        const std::string in = p(tag + "in"), out = p(tag + "out"), err = p(tag + "err");
        posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
        Started started;
        started.tag = tag;
        if (posix_spawn(&started.pid, exe.c_str(), &fa, &attr, argv.data(), envp.data()) != 0)
            started.pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
        return started;
    }

    Result finish(const Started& started) {
        Result r;
        if (started.pid > 0) {
            int status = 0;
            waitpid(started.pid, &status, 0);
            r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        r.out = readAll(dir / (started.tag + "out"));
        r.err = readAll(dir / (started.tag + "err"));
        return r;
    }

    // new + add, checked on the way.
    std::string makeDoc(const std::string& name) {
        const std::string doc = p(name);
        EXPECT_EQ(run({"new", doc}).code, EXIT_OK);
        EXPECT_EQ(run({"add", doc, "--parent", "1", "--title", "Alpha", "--body",
                       "first line\nthe apple tree"})
                      .out,
                  "2\n");
        EXPECT_EQ(run({"add", doc, "--parent", "2", "--title", "Beta", "--body", "Apple pie"}).out,
                  "3\n");
        EXPECT_EQ(run({"add", doc, "--parent", "1", "--title", "Gamma"}).out, "4\n");
        return doc;
    }

    // The tool with files limited to `bytes`: a write beyond fails as it
    // does on a full disk (with "file too large" instead of "no space").
    Result runWithFileLimit(std::vector<std::string> args, rlim_t bytes) {
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const rlimit small{bytes, old.rlim_max};
        // Ignored here, ignored in the tool: a failed write instead of a kill.
        auto* const oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        writeAll(dir / "stdin", std::string());
        ::setrlimit(RLIMIT_FSIZE, &small);
        Started started = start(std::move(args));
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldSignal);
        return finish(started);
    }

    fs::path dir;
};

// One line on standard error, starting with the program's name.
void expectOneLineError(const Result& r, int code, const std::string& text) {
    EXPECT_EQ(r.code, code) << r.err;
    EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("quillnest-cli: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

} // namespace

// Every writing command that cannot write says which document, what failed
// and why, in one line of its own words, and the document is as it was.
TEST_F(CliTest, WritesThatCannotBeMadeSayWhyAndChangeNothing) {
    const std::string doc = makeDoc("a.q2db");
    std::string body;
    for (unsigned i = 0; body.size() < (300u << 10); ++i)
        body += std::to_string(i * 2654435761u) + " "; // hardly compresses
    writeAll(dir / "body.txt", body);
    const Result added =
        run({"add", doc, "--parent", "1", "--title", "Big", "--body-file", p("body.txt")});
    ASSERT_EQ(added.code, EXIT_OK) << added.err;
    const std::string before = readAll(doc);
    const rlim_t room = before.size() + (64u << 10);
    writeAll(dir / "pw", "a-password\n");
    struct Case {
        std::vector<std::string> args;
        const char* what; // the part of the message that says what failed
        rlim_t limit;
    } cases[] = {
        {{"add", doc, "--parent", "1", "--body-file", p("body.txt")}, "cannot save", room},
        {{"passwd", doc, "--new-password-file", p("pw")}, "could not be rewritten", 4096},
        {{"optimize", doc}, "could not be written", room / 2},
        {{"export", doc, p("out.txt")}, "out.txt", room / 2},
        {{"export", doc, p("out.md"), "--format", "markdown"}, "out.md", room / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const Result r = runWithFileLimit(c.args, c.limit);
        expectOneLineError(r, EXIT_FAILED, c.args[1] + ": ");
        EXPECT_NE(r.err.find(c.what), std::string::npos) << r.err;
        // Developer words, or a reason read after it was gone.
        for (const char* word : {"Database::", "transaction", "Success", "sql", "error 0"})
            EXPECT_EQ(r.err.find(word), std::string::npos) << r.err;
        EXPECT_EQ(readAll(doc), before);
    }
    // A new document fails at whichever write comes first, and leaves no
    // file that is not a document.
    for (rlim_t limit = 1024; limit <= (16u << 10); limit += 1024) {
        SCOPED_TRACE(limit);
        const Result r = runWithFileLimit({"new", p("new.q2db")}, limit);
        if (r.code == EXIT_OK) {
            EXPECT_EQ(run({"tree", p("new.q2db")}).code, EXIT_OK);
            fs::remove(dir / "new.q2db");
            continue;
        }
        expectOneLineError(r, EXIT_FAILED, p("new.q2db") + ": cannot create the document");
        EXPECT_FALSE(fs::exists(dir / "new.q2db"));
    }
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(dir))
        left.insert(e.path().filename().string());
    for (const char* name : {"new.q2db", "out.txt", "out.md", "out.txt.partial", "out.md.partial",
                             "a.q2db.$$$", "a.q2db-journal"})
        EXPECT_EQ(left.count(name), 0u) << name;
}

TEST_F(CliTest, BadUsage) {
    const std::string doc = makeDoc("a.q2db");
    struct Case {
        std::vector<std::string> args;
        const char* text;
    };
    const Case cases[] = {
        {{"frobnicate"}, "unknown command"},
        {{"info"}, "usage: quillnest-cli info DOC"},
        {{"info", doc, "extra"}, "usage:"},
        {{"tree", doc, "--bogus"}, "unknown option --bogus"},
        {{"search", doc, "x", "--max", "many"}, "--max must be a whole number"},
        {{"search", doc, "x", "--max"}, "needs a value"},
        {{"search", doc, ""}, "search text is empty"},
        {{"cat", doc, "two"}, "ID must be a whole number"},
        {{"add", doc, "--title", "x"}, "--parent"},
        {{"add", doc, "--parent", "1", "--body", "a", "--body-file", "f"}, "not both"},
        {{"export", doc, p("o.txt"), "--encoding", "latin9"}, "utf8 or system"},
        {{"passwd", doc, "--compatible", "--options", "r,r"}, "comma"},
        {{"passwd", doc, "--options", "rr"}, "with --compatible"},
        {{"convert", "a.qudb", p("b.q2db"), "--options", "rr"}, "with --compatible"},
        {{"convert", "a.qudb", p("b.q2db"), "--case"}, "unknown option --case"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        Result r = run(args);
        if (args[0] == "frobnicate") {
            EXPECT_EQ(r.code, EXIT_USAGE);
            EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
        } else {
            expectOneLineError(r, EXIT_USAGE, c.text);
        }
    }
    EXPECT_EQ(run({}).code, EXIT_USAGE);
    Result help = run({"search", "--help"});
    EXPECT_EQ(help.code, EXIT_OK);
    EXPECT_NE(help.out.find("--max N"), std::string::npos);
    EXPECT_EQ(run({"--help"}).code, EXIT_OK);
}

TEST_F(CliTest, ReadingCommands) {
    const std::string doc = makeDoc("a.q2db");

    Result tree = run({"tree", doc});
    EXPECT_EQ(tree.code, EXIT_OK) << tree.err;
    EXPECT_EQ(tree.out, "1\t\tUntitled\n  2\t\tAlpha\n    3\t\tBeta\n  4\t\tGamma\n");

    Result cat = run({"cat", doc, "2"});
    EXPECT_EQ(cat.out, "first line\nthe apple tree");

    Result search = run({"search", doc, "apple"});
    EXPECT_EQ(search.code, EXIT_OK);
    EXPECT_EQ(search.out, "2\t15\tAlpha\tthe apple tree\n3\t0\tBeta\tApple pie\n");
    EXPECT_EQ(run({"search", doc, "apple", "--case"}).out, "2\t15\tAlpha\tthe apple tree\n");
    EXPECT_EQ(run({"search", doc, "a", "--max", "1"}).out.find("\n3\t"), std::string::npos);
    EXPECT_EQ(run({"search", doc, "beta"}).out, "3\t-1\tBeta\t\n");

    Result info = run({"info", doc});
    EXPECT_EQ(info.code, EXIT_OK);
    for (const char* line : {"protected: no\n", "nodes: 4\n", "objects: 0\n",
                             "  appname=quillnest\n", "  version=2.0\n"})
        EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;

    Result exp = run({"export", doc, p("out.txt")});
    EXPECT_EQ(exp.code, EXIT_OK) << exp.err;
    EXPECT_EQ(readAll(dir / "out.txt").rfind("{{{i=}}}\n[ROOT] Untitled\n----", 0), 0u);
    EXPECT_NE(readAll(dir / "out.txt").find("1.1. Beta\n"), std::string::npos);

    expectOneLineError(run({"cat", doc, "99"}), EXIT_FAILED, "no node or object with id 99");
}

TEST_F(CliTest, AddTakesBodiesFromFilesAndStandardInput) {
    const std::string doc = p("a.q2db");
    ASSERT_EQ(run({"new", doc}).code, EXIT_OK);
    writeAll(dir / "note.html", "<b>caf\xc3\xa9</b>\n");
    EXPECT_EQ(run({"add", doc, "--parent", "1", "--body-file", p("note.html"), "--html"}).out,
              "2\n");
    EXPECT_EQ(
        run({"add", doc, "--parent", "2", "--title", "piped", "--body-file", "-"}, "from stdin\n")
            .out,
        "3\n");
    expectOneLineError(run({"add", doc, "--parent", "7"}), EXIT_FAILED, "no node with id 7");
    expectOneLineError(run({"add", doc, "--parent", "1", "--body-file", p("nothing")}), EXIT_FAILED,
                       "cannot read");
    expectOneLineError(run({"new", doc}), EXIT_FAILED, "exists");

    Database db;
    ASSERT_EQ(db.open(wxString::FromUTF8(doc.c_str())), Database::OPEN_OK);
    EXPECT_EQ(u8(db.getBlock(2)->getString(K_m)), "text/html");
    EXPECT_EQ(u8(db.getBlock(2)->text()), "<b>caf\xc3\xa9</b>\n");
    EXPECT_EQ(u8(db.getBlock(3)->text()), "from stdin\n");
    EXPECT_EQ(u8(db.getBlock(1)->getString(K_ch)), "2");
    EXPECT_EQ(u8(db.getBlock(2)->getString(K_ch)), "3");
}

TEST_F(CliTest, OpenErrors) {
    writeAll(dir / "text.q2db", "just some text, not a database at all.......");
    qn::testing::LegacyFileBuilder legacy;
    legacy.settings({});
    legacy.write(p("old.qudb"));
    {
        sqlite3* db = nullptr;
        sqlite3_open(p("future.q2db").c_str(), &db);
        sqlite3_exec(db,
                     "create table project (name TEXT, value TEXT);"
                     "create table block (id INTEGER PRIMARY KEY, type SMALLINT, attr INTEGER, "
                     "hdr BLOB, body BLOB);"
                     "insert into project values ('version', '2.1');",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    fs::create_directories(dir / "folder");
    struct Case {
        std::string file;
        const char* text;
    };
    const Case cases[] = {
        {p("missing.q2db"), "no such file"},
        {p("text.q2db"), "not a Quillnest document"},
        {p("old.qudb"), "an older format: use 'convert'"},
        {p("future.q2db"), "document format 2.1 is newer than this program"},
        {p("folder"), "is a folder"},
    };
    for (const Case& c : cases)
        for (const char* cmd : {"info", "tree"})
            expectOneLineError(run({cmd, c.file}), EXIT_FAILED, c.text);
}

TEST_F(CliTest, PasswordProtection) {
  // The sealed scheme by default, the weak one older versions read on request.
  struct Scheme {
    std::vector<std::string> flags;
    const char* algo;
  } schemes[] = {
      {{}, "xchacha20poly1305,argon2id,1"},
      {{"--compatible"}, "arcfour,md5,rr"}, // the "cryptopt" setting
      {{"--compatible", "--options", "xr"}, "arcfour,md5,xr"},
  };
  for (const Scheme& scheme : schemes) {
    SCOPED_TRACE(scheme.algo);
    fs::remove(p("a.q2db"));
    const std::string doc = makeDoc("a.q2db");
    writeAll(dir / "pw1", "first-secret\n");
    writeAll(dir / "pw2", "second\r\n");
    writeAll(dir / "short", "ab\n");

    expectOneLineError(run({"passwd", doc, "--new-password-file", p("short")}), EXIT_FAILED,
                       "at least 3 characters");
    std::vector<std::string> protect = {"passwd", doc, "--new-password-file", p("pw1")};
    protect.insert(protect.end(), scheme.flags.begin(), scheme.flags.end());
    Result set = run(protect);
    ASSERT_EQ(set.code, EXIT_OK) << set.err;
    EXPECT_NE(run({"info", doc}).out.find(std::string("protected: yes (") + scheme.algo + ")"),
              std::string::npos);
    EXPECT_EQ(run({"info", doc}).out.find("pwd="), std::string::npos);

    // No terminal to ask on, and no file: the tool says how to give it.
    expectOneLineError(run({"tree", doc}), EXIT_FAILED, "--password-file");
    expectOneLineError(run({"tree", doc, "--password-file", p("pw2")}), EXIT_FAILED,
                       "wrong password");
    Result tree = run({"tree", doc, "--password-file", p("pw1")});
    EXPECT_EQ(tree.code, EXIT_OK) << tree.err;
    EXPECT_NE(tree.out.find("Beta"), std::string::npos);

    // Re-key: the old password no longer opens it.
    ASSERT_EQ(
        run({"passwd", doc, "--password-file", p("pw1"), "--new-password-file", p("pw2")}).code,
        EXIT_OK);
    expectOneLineError(run({"cat", doc, "3", "--password-file", p("pw1")}), EXIT_FAILED,
                       "wrong password");
    EXPECT_EQ(run({"cat", doc, "3", "--password-file", p("pw2")}).out, "Apple pie");

    ASSERT_EQ(run({"passwd", doc, "--password-file", p("pw2"), "--remove"}).code, EXIT_OK);
    EXPECT_NE(run({"info", doc}).out.find("protected: no"), std::string::npos);
    EXPECT_EQ(run({"cat", doc, "3"}).out, "Apple pie");
    for (const char* key : {"c_salt", "c_ops", "c_mem", "c_algo"})
        EXPECT_EQ(run({"info", doc}).out.find(std::string(key) + "="), std::string::npos) << key;
    expectOneLineError(run({"passwd", doc, "--remove"}), EXIT_FAILED, "not protected");
  }
}

namespace {
// The stored body of block `id`, or "" (bytes as SQLite has them).
std::string storedBody(const std::string& path, int id) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    std::string out;
    sqlite3_prepare_v2(db, "select body from block where id=?", -1, &st, nullptr);
    sqlite3_bind_int(st, 1, id);
    if (st && sqlite3_step(st) == SQLITE_ROW)
        out.assign(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                   sqlite3_column_bytes(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}
void setStoredBody(const std::string& path, int id, const std::string& bytes) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "update block set body=? where id=?", -1, &st, nullptr);
    sqlite3_bind_blob(st, 1, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 2, id);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    sqlite3_close(db);
}
} // namespace

// From outside: equal notes are stored as different bytes, and a changed
// byte is a clear failure, never garbage on standard output.
TEST_F(CliTest, SealedNotesAreDistinctAndChecked) {
    const std::string doc = makeDoc("a.q2db");
    writeAll(dir / "pw", "a-password\n");
    int ids[2] = {0, 0};
    for (int& id : ids) {
        const Result added =
            run({"add", doc, "--parent", "1", "--title", "Twin", "--body", "same words"});
        ASSERT_EQ(added.code, EXIT_OK) << added.err;
        id = std::stoi(added.out);
    }
    ASSERT_EQ(run({"passwd", doc, "--new-password-file", p("pw")}).code, EXIT_OK);
    const int last = ids[1];
    ASSERT_EQ(ids[0], last - 1);
    const std::string a = storedBody(doc, last - 1), b = storedBody(doc, last);
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(run({"cat", doc, std::to_string(last), "--password-file", p("pw")}).out, "same words");

    std::string flipped = a;
    flipped[flipped.size() / 2] ^= 0x20;
    setStoredBody(doc, last - 1, flipped);
    Result cat = run({"cat", doc, std::to_string(last - 1), "--password-file", p("pw")});
    expectOneLineError(cat, EXIT_FAILED, "damaged");
    EXPECT_EQ(cat.out, "");
    // The same row's bytes in another row do not open either.
    setStoredBody(doc, last - 1, b);
    expectOneLineError(run({"cat", doc, std::to_string(last - 1), "--password-file", p("pw")}),
                       EXIT_FAILED, "damaged");
    EXPECT_EQ(run({"cat", doc, std::to_string(last), "--password-file", p("pw")}).out, "same words");
}

TEST_F(CliTest, OptimizeReplacesTheFile) {
    const std::string doc = makeDoc("a.q2db");
    Result r = run({"optimize", doc, "--keep-backup"});
    EXPECT_EQ(r.code, EXIT_OK) << r.err;
    EXPECT_TRUE(fs::exists(p("a.q2db.bak")));
    EXPECT_FALSE(fs::exists(p("a.q2db.$$$")));
    EXPECT_EQ(run({"cat", doc, "3"}).out, "Apple pie");
    EXPECT_EQ(run({"optimize", doc}).code, EXIT_OK);
    EXPECT_EQ(run({"tree", doc}).out, "1\t\tUntitled\n  2\t\tAlpha\n    3\t\tBeta\n  4\t\tGamma\n");
    expectOneLineError(run({"optimize", p("none.q2db")}), EXIT_FAILED, "no such file");
}

TEST_F(CliTest, ConvertsLegacyDocuments) {
    qn::testing::LegacyFileBuilder b;
    const std::string created = "2008-01-02 03:04:05";
    // MD5("old-pw" + the builder's dbid), worked out with another MD5.
    b.settings({{"pwd", "9ac0c6f38803195f1c767b8bc3a80b37"},
                {"h_algo", "md5"},
                {"c_algo", "arcfour"},
                {"c", created}});
    b.protect("old-pw", created);
    b.node(1, -1, {{"cap", "Root"}, {"ch", "2"}}, "");
    b.node(2, 1, {{"cap", "Kept"}, {"i", "book"}}, "legacy words");
    ASSERT_TRUE(b.write(p("old.qudb")));
    writeAll(dir / "pw", "old-pw\n");
    writeAll(dir / "bad", "nope\n");
    // The converter's texts in the application data directory name the letters.
    writeAll(dir / "home" / "DBConv_const.ini", "title=Convert\ncipherOption=r\n");

    expectOneLineError(run({"convert", p("old.qudb"), p("new.q2db"), "--password-file", p("bad")}),
                       EXIT_FAILED, "wrong password");
    EXPECT_FALSE(fs::exists(p("new.q2db")));
    Result r = run({"convert", p("old.qudb"), p("new.q2db"), "--password-file", p("pw")});
    ASSERT_EQ(r.code, EXIT_OK) << r.err;
    // Protected again, sealed.
    EXPECT_NE(run({"info", p("new.q2db")}).out.find("protected: yes (xchacha20poly1305,argon2id,1)"),
              std::string::npos);
    EXPECT_EQ(run({"tree", p("new.q2db"), "--password-file", p("pw")}).out,
              "1\t\tRoot\n  2\tbook\tKept\n");
    // The weak form on request, with the converter's option letters.
    ASSERT_EQ(run({"convert", p("old.qudb"), p("new.q2db"), "--password-file", p("pw"),
                   "--compatible", "--force"})
                  .code,
              EXIT_OK);
    EXPECT_NE(run({"info", p("new.q2db")}).out.find("protected: yes (arcfour,md5,r)"),
              std::string::npos);
    EXPECT_EQ(run({"tree", p("new.q2db"), "--password-file", p("pw")}).out,
              "1\t\tRoot\n  2\tbook\tKept\n");

    expectOneLineError(run({"convert", p("old.qudb"), p("new.q2db"), "--password-file", p("pw")}),
                       EXIT_FAILED, "--force");
    EXPECT_EQ(run({"convert", p("old.qudb"), p("new.q2db"), "--password-file", p("pw"),
                   "--compatible", "--options", "", "--force"})
                  .code,
              EXIT_OK);
    EXPECT_NE(run({"info", p("new.q2db")}).out.find("protected: yes (arcfour,md5,)"),
              std::string::npos);
    expectOneLineError(run({"convert", p("old.qudb"), p("old.qudb")}), EXIT_FAILED, "same file");

    qn::testing::LegacyFileBuilder corrupt;
    corrupt.settings({});
    corrupt.rawBytes(std::string(8, '\0'));
    corrupt.write(p("corrupt.qudb"));
    expectOneLineError(run({"convert", p("corrupt.qudb"), p("c.q2db")}), EXIT_FAILED,
                       "a record is corrupt");
    qn::testing::LegacyFileBuilder newer("5b0c6c9e-1d2f-4a3b-8c4d-5e6f7a8b9c0d", "1.2");
    newer.settings({});
    newer.write(p("newer.qudb"));
    expectOneLineError(run({"convert", p("newer.qudb"), p("n.q2db")}), EXIT_FAILED,
                       "legacy format 1.2 is newer");
    expectOneLineError(run({"convert", p("a.q2db"), p("n.q2db")}), EXIT_FAILED, "no such file");
    EXPECT_FALSE(fs::exists(p("c.q2db")));
    EXPECT_FALSE(fs::exists(p("n.q2db")));
}

// Child lists that loop back: every node is listed once and the commands end.
TEST_F(CliTest, CyclicChildListsEnd) {
    const std::string doc = makeDoc("a.q2db");
    {
        Database db;
        ASSERT_EQ(db.open(wxString::FromUTF8(doc.c_str())), Database::OPEN_OK);
        db.getBlock(3)->setString(K_ch, wxS("1,2,3,4"));
        ASSERT_TRUE(db.save());
    }
    Result tree = run({"tree", doc});
    EXPECT_EQ(tree.code, EXIT_OK);
    EXPECT_EQ(tree.out, "1\t\tUntitled\n  2\t\tAlpha\n    3\t\tBeta\n      4\t\tGamma\n");
    Result exp = run({"export", doc, p("out.txt")});
    EXPECT_EQ(exp.code, EXIT_OK);
    const std::string text = readAll(dir / "out.txt");
    EXPECT_NE(text.find("1.1.1. Gamma\n"), std::string::npos) << text;
    size_t records = 0;
    for (size_t at = text.find("{{{i="); at != std::string::npos; at = text.find("{{{i=", at + 1))
        ++records;
    EXPECT_EQ(records, 4u);
}

// Two writers at once: each takes the write lock before it chooses the new
// node's id, so every add succeeds with an id of its own and nothing is lost.
TEST_F(CliTest, SimultaneousAddsAllSucceed) {
    const std::string doc = makeDoc("a.q2db");
    const int writers = 6;
    std::vector<Started> started;
    for (int i = 0; i < writers; ++i)
        started.push_back(start({"add", doc, "--parent", "1", "--title", "W" + std::to_string(i)},
                                "", "w" + std::to_string(i)));
    std::set<std::string> ids;
    for (const Started& s : started) {
        Result r = finish(s);
        EXPECT_EQ(r.code, EXIT_OK) << r.err;
        ids.insert(r.out);
    }
    EXPECT_EQ(ids.size(), size_t(writers));
    const std::string tree = run({"tree", doc}).out;
    for (int i = 0; i < writers; ++i)
        EXPECT_NE(tree.find("\tW" + std::to_string(i) + "\n"), std::string::npos) << tree;
}

// A writer that cannot get the lock in time says so in words and changes
// nothing.
TEST_F(CliTest, WriterLockedOutSaysAnotherProgramIsWriting) {
    const std::string doc = makeDoc("a.q2db");
    const std::string before = readAll(doc);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(doc.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "begin immediate", nullptr, nullptr, nullptr), SQLITE_OK);
    expectOneLineError(run({"add", doc, "--parent", "1", "--title", "Late"}), EXIT_FAILED,
                       "another program is writing this document");
    sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(readAll(doc), before);
    EXPECT_EQ(run({"add", doc, "--parent", "1", "--title", "Late"}).out, "5\n");
}

// The converted file gets the mode of the file it replaces, or what the
// umask gives; the leftovers of a killed run (a fixed ".partial" name and
// its journal) are gone after the next run.
TEST_F(CliTest, ConvertedFileModeAndLeftovers) {
    qn::testing::LegacyFileBuilder b;
    b.node(1, -1, {{"cap", "Root"}}, "words");
    b.settings({{"comp", "0"}});
    ASSERT_TRUE(b.write(p("old.qudb")));
    struct Case {
        mode_t umask;
        int existing; // mode of the file replaced, -1 for none
        mode_t expected;
    };
    const Case cases[] = {
        {022, -1, 0644},
        {027, -1, 0640},
        {022, 0600, 0600},
        {077, 0664, 0664},
    };
    for (const Case& c : cases) {
        const std::string out = p("new.q2db");
        fs::remove(out);
        if (c.existing >= 0) {
            writeAll(out, "an older file");
            ::chmod(out.c_str(), static_cast<mode_t>(c.existing));
        }
        writeAll(out + ".partial", "left by a killed run");
        writeAll(out + ".partial-journal", "left by a killed run");
        const mode_t old = ::umask(c.umask);
        Result r = run({"convert", p("old.qudb"), out, "--force"});
        ::umask(old);
        ASSERT_EQ(r.code, EXIT_OK) << r.err;
        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.expected) << std::oct << c.umask << " " << c.existing;
        EXPECT_FALSE(fs::exists(out + ".partial"));
        EXPECT_FALSE(fs::exists(out + ".partial-journal"));
        EXPECT_EQ(run({"cat", out, "1"}).out, "words");
    }

    // A link is followed to the file it names; something that is not a
    // regular file is never renamed over.
    fs::create_directories(dir / "real");
    writeAll(dir / "real" / "target.q2db", "an older file");
    fs::create_symlink(dir / "real" / "target.q2db", dir / "link.q2db");
    ASSERT_EQ(run({"convert", p("old.qudb"), p("link.q2db"), "--force"}).code, EXIT_OK);
    EXPECT_TRUE(fs::is_symlink(dir / "link.q2db"));
    EXPECT_EQ(run({"cat", p("real/target.q2db"), "1"}).out, "words");
    ASSERT_EQ(::mkfifo(p("pipe").c_str(), 0600), 0);
    expectOneLineError(run({"convert", p("old.qudb"), p("pipe"), "--force"}), EXIT_FAILED,
                       "not a regular file");
    EXPECT_EQ(fs::status(dir / "pipe").type(), fs::file_type::fifo);
    EXPECT_FALSE(fs::exists(p("pipe.partial")));

    // A second conversion onto the same file while one is writing it stops
    // at once and touches neither the first one's file nor the output.
    const std::string out = p("busy.q2db");
    writeAll(out, "the output as it is");
    writeAll(out + ".partial", "the other conversion, half written");
    int other = ::open((out + ".partial").c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    expectOneLineError(run({"convert", p("old.qudb"), out, "--force"}), EXIT_FAILED,
                       "another program is writing the same file");
    ::close(other);
    EXPECT_EQ(readAll(out), "the output as it is");
    EXPECT_EQ(readAll(out + ".partial"), "the other conversion, half written");
    ASSERT_EQ(run({"convert", p("old.qudb"), out, "--force"}).code, EXIT_OK);
    EXPECT_EQ(run({"cat", out, "1"}).out, "words");
    EXPECT_FALSE(fs::exists(out + ".partial"));
}

// A document that cannot be replaced (immutable): optimize says why before
// it writes a copy, and leaves neither a copy nor a backup behind.
TEST_F(CliTest, OptimizeOfAFileThatCannotBeReplaced) {
    const std::string doc = makeDoc("a.q2db");
    const std::string before = readAll(doc);
    int fd = ::open(doc.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    int flags = 0;
    bool immutable = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (immutable) {
        flags |= FS_IMMUTABLE_FL;
        immutable = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (!immutable) {
        ::close(fd);
        GTEST_SKIP() << "cannot make a file immutable here (needs root and a file system that "
                        "supports it)";
    }
    Result r = run({"optimize", doc, "--keep-backup"});
    flags &= ~FS_IMMUTABLE_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    ::close(fd);
    expectOneLineError(r, EXIT_FAILED, "the file is read-only");
    EXPECT_EQ(r.err.find("Success"), std::string::npos) << r.err;
    EXPECT_EQ(readAll(doc), before);
    EXPECT_FALSE(fs::exists(p("a.q2db.$$$")));
    EXPECT_FALSE(fs::exists(p("a.q2db.bak")));
    EXPECT_FALSE(fs::exists(p("a.q2db.bak.$$$")));
}

namespace {
void sqlExec(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}
} // namespace

// Documents the engine cannot (wholly) read: the commands say so and exit 1,
// or do their work within the article limit; nothing is written from a
// failed read.
TEST_F(CliTest, HostileDocumentsEndCleanly) {
    const std::string doc = makeDoc("a.q2db");
    const std::string tree = run({"tree", doc}).out;
    {
        // Another program holds the document locked.
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(doc.c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
        const std::vector<std::string> cmds[] = {
            {"search", doc, "apple"},
            {"export", doc, p("locked.txt")},
            {"add", doc, "--parent", "1", "--title", "Delta"},
        };
        for (const auto& cmd : cmds) {
            Result r = run(cmd);
            EXPECT_EQ(r.code, EXIT_FAILED) << cmd[0] << ": " << r.err;
            EXPECT_NE(r.err.find("another program"), std::string::npos) << cmd[0] << ": " << r.err;
        }
        sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
    EXPECT_EQ(run({"tree", doc}).out, tree);

    // A 100 GB external file (sparse) and a body that inflates to 64 MB.
    writeAll(dir / "huge.txt", "the apple of a huge file");
    fs::resize_file(dir / "huge.txt", 100ULL << 30);
    {
        Database db;
        ASSERT_EQ(db.open(wxString::FromUTF8(doc.c_str())), Database::OPEN_OK);
        db.getBlock(4)->setString(K_url, wxString::FromUTF8(p("huge.txt").c_str()));
        db.getBlock(4)->freeBody();
        ASSERT_TRUE(db.save());
    }
    {
        std::string plain(64 << 20, 'a');
        uLongf len = compressBound(plain.size());
        std::string packed(len, '\0');
        ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &len,
                            reinterpret_cast<const Bytef*>(plain.data()), plain.size(), 9),
                  Z_OK);
        packed.resize(len);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(doc.c_str(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "update block set attr=1, body=? where id=3", -1, &st, nullptr);
        sqlite3_bind_blob(st, 1, packed.data(), static_cast<int>(packed.size()), SQLITE_STATIC);
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    Result cat = run({"cat", doc, "4"});
    EXPECT_EQ(cat.code, EXIT_FAILED) << cat.err; // only part of it could be shown
    EXPECT_EQ(cat.out.size(), kMaxArticleBytes);
    EXPECT_EQ(cat.out.rfind("the apple of a huge file", 0), 0u);
    Result bomb = run({"cat", doc, "3"});
    EXPECT_EQ(bomb.code, EXIT_FAILED);
    EXPECT_EQ(bomb.out.size(), kMaxArticleBytes);
    Result search = run({"search", doc, "apple"});
    EXPECT_EQ(search.code, EXIT_OK) << search.err;
    EXPECT_NE(search.out.find("4\t4\tGamma\tthe apple of a huge"), std::string::npos) << search.out;
    Result many = run({"search", doc, "a"});
    EXPECT_EQ(many.code, EXIT_OK);
    EXPECT_LT(std::count(many.out.begin(), many.out.end(), '\n'), 3 * 1000 + 10);
    // An export never passes the start of a note for the whole of it.
    expectOneLineError(run({"export", doc, p("out.txt")}), EXIT_FAILED, "note 4 \"Gamma\"");
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
    // A note longer than the editor reads (40 MB) is exported whole.
    writeAll(dir / "huge.txt", std::string(40 << 20, 'x') + "the last line");
    Result whole = run({"export", doc, p("out.txt")});
    EXPECT_EQ(whole.code, EXIT_OK) << whole.err;
    const std::string text = readAll(dir / "out.txt");
    EXPECT_NE(text.find(std::string(40 << 20, 'x') + "the last line\n\n"), std::string::npos);
    fs::remove(dir / "out.txt");

    // No id is left after 2147483647: nothing wraps.
    sqlExec(doc, "insert into block select 2147483647, type, attr, hdr, body from block where id=2");
    expectOneLineError(run({"add", doc, "--parent", "1", "--title", "Omega"}), EXIT_FAILED,
                       "no free block id");
    EXPECT_EQ(run({"tree", doc}).code, EXIT_OK);

    // A body file larger than any note is refused before anything is added.
    writeAll(dir / "big.txt", "x");
    fs::resize_file(dir / "big.txt", kMaxArticleBytes + 1);
    sqlExec(doc, "delete from block where id=2147483647");
    expectOneLineError(run({"add", doc, "--parent", "1", "--body-file", p("big.txt")}), EXIT_FAILED,
                       "larger than");
}
