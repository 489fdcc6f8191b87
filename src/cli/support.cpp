// Shared pieces of the commands: text at the process boundary, passwords,
// opening documents, configuration files.
#include "cli/cli.h"

#include "app/app_paths.h"
#include "app/ini_file.h"
#include "store/database.h"
#include "store/legacy.h"
#include "store/safe_file.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace qn::cli {

void fail(const wxString& message) {
    throw Failure{EXIT_FAILED, message};
}
void usageError(const wxString& message) {
    throw Failure{EXIT_USAGE, message};
}

wxString Invocation::value(const char* name, const wxString& fallback) const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
}

wxString argText(const char* arg) {
    return decodeLocalBytes(arg, std::strlen(arg));
}

void writeOut(const std::string& bytes) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void printLine(const wxString& line) {
    wxScopedCharBuffer b = line.utf8_str();
    std::fwrite(b.data(), 1, b.length(), stdout);
    std::fputc('\n', stdout);
}

void printError(const wxString& line) {
    wxScopedCharBuffer b = line.utf8_str();
    std::fwrite(b.data(), 1, b.length(), stderr);
    std::fputc('\n', stderr);
}

bool readFileBytes(const wxString& path, std::string& out, size_t limit, bool* tooLarge) {
    out.clear();
    if (tooLarge) *tooLarge = false;
    std::FILE* f = path == wxS("-") ? stdin : std::fopen(path.fn_str(), "rb");
    if (!f) return false;
    char buf[1 << 16];
    size_t n;
    bool ok = true;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (n > limit - out.size()) {
            if (tooLarge) *tooLarge = true;
            ok = false;
            break;
        }
        out.append(buf, n);
    }
    ok = ok && !std::ferror(f);
    if (f != stdin) std::fclose(f);
    return ok;
}

// --- passwords ------------------------------------------------------------

namespace {

int ttyFd = -1;
termios savedTerm;
bool termChanged = false;

void restoreTerminal() {
    if (termChanged) {
        tcsetattr(ttyFd, TCSAFLUSH, &savedTerm);
        termChanged = false;
    }
}

extern "C" void onSignal(int sig) {
    restoreTerminal();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// One line from the terminal with echo switched off; false without a
// terminal.
bool askTerminal(const wxString& prompt, std::string& line) {
    ttyFd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (ttyFd < 0) return false;
    wxScopedCharBuffer p = prompt.utf8_str();
    if (::write(ttyFd, p.data(), p.length()) < 0) {
    }
    if (tcgetattr(ttyFd, &savedTerm) == 0) {
        termios quiet = savedTerm;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGHUP, onSignal);
        if (tcsetattr(ttyFd, TCSAFLUSH, &quiet) == 0) termChanged = true;
    }
    line.clear();
    char c;
    bool gotAny = false;
    for (;;) {
        ssize_t n = ::read(ttyFd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        gotAny = true;
        line += c;
    }
    (void)gotAny;
    restoreTerminal();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
    ::close(ttyFd);
    ttyFd = -1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

} // namespace

wxString readPassword(const Invocation& inv, const char* fileOption, const wxString& prompt) {
    std::string bytes;
    if (inv.has(fileOption)) {
        const wxString file = inv.value(fileOption);
        if (!readFileBytes(file, bytes))
            fail(wxString::Format(wxS("cannot read the password file %s"), file));
        size_t end = bytes.find('\n');
        if (end != std::string::npos) bytes.resize(end);
        if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    } else if (!askTerminal(prompt, bytes)) {
        fail(wxString::Format(wxS("a password is needed: no terminal to ask on; use --%s FILE"),
                              wxASCII_STR(fileOption)));
    }
    // Passwords are UTF-8 in the key material; accept the locale's text too.
    wxString pw = wxString::FromUTF8(bytes.data(), bytes.size());
    if (pw.empty() && !bytes.empty()) pw = decodeLocalBytes(bytes.data(), bytes.size());
    return pw;
}

// --- documents --------------------------------------------------------------

void openDocument(Database& db, const wxString& path, const Invocation& inv, bool unlock,
                  Database::IndexMode index, wxString* password) {
    if (!wxFileExists(path)) {
        if (wxDirExists(path)) fail(path + wxS(": is a folder, not a document"));
        fail(path + wxS(": no such file"));
    }
    // The CLI never overwrites an external article file unasked.
    db.setUrlWriteQuestion([](const wxString&) { return int(ANSWER_NO); });
    switch (db.open(path, index)) {
    case Database::OPEN_OK:
        break;
    case Database::OPEN_VERSION:
        fail(wxString::Format(wxS("%s: document format %s is newer than this program"), path,
                              Database::storedVersion(path)));
    case Database::OPEN_NOT_DOCUMENT:
        if (isLegacyFile(path))
            fail(path + wxS(": not a Quillnest document (an older format: use 'convert')"));
        fail(path + wxS(": not a Quillnest document"));
    default:
        fail(path + wxS(": cannot open the document") +
             (db.lastError() ? wxS(": ") + db.lastError().message : wxString()));
    }
    if (!unlock || !db.isProtected()) return;

    if (!hasSupportedAlgorithms(db)) {
        const wxString algo = db.getString(K_c_algo);
        db.close();
        fail(path + wxS(": protected with an unsupported algorithm (") + algo + wxS(")"));
    }
    // A typed password may be retried; one from a file is taken once.
    const int tries = inv.has("password-file") ? 1 : 3;
    for (int i = 0;; ++i) {
        const wxString pw = readPassword(inv, "password-file", wxS("Password: "));
        const Unlock u = unlockDocument(db, pw);
        if (u == Unlock::Ok) {
            if (password) *password = pw;
            return;
        }
        if (u != Unlock::WrongPassword) {
            db.close();
            fail(path + wxS(": ") + unlockProblem(u));
        }
        if (i + 1 >= tries) {
            db.close();
            fail(path + wxS(": wrong password"));
        }
        printError(wxS("wrong password"));
    }
}

void beginWriting(Database& db, const wxString& path, const wxString& password,
                  bool protection) {
    const wxString verifierWas = db.getString(K_pwd);
    resetSqliteFailure();
    switch (db.beginWrite(Database::Reload::IfUnchanged)) {
    case Database::WriteStart::Ready:
        return;
    case Database::WriteStart::Failed:
        fail(path + wxS(": cannot change the document: ") + writeFailureReason(path, 0, &db) +
             wxS("; nothing was changed"));
    case Database::WriteStart::Reloaded:
        break;
    }
    // Read again under the lock: the protection may have changed meanwhile.
    if (protection && db.getString(K_pwd) != verifierWas)
        fail(path + wxS(": another program changed the document's protection meanwhile; nothing "
                        "was changed"));
    if (!db.isProtected() || db.cipher()) return;
    if (password.empty())
        fail(path + wxS(": another program protected the document with a password meanwhile; "
                        "nothing was changed"));
    if (unlockDocument(db, password) != Unlock::Ok)
        fail(path + wxS(": another program changed the document's password meanwhile; nothing "
                        "was changed"));
}

wxString writeFailureReason(const wxString& path, unsigned long long bytes, const Database* db) {
    if (const int rc = lastSqliteFailure()) return sqliteReason(rc);
    // A lock that could not be had is not in SQLite's error log.
    if (db && db->handle()) {
        const int rc = sqlite3_errcode(db->handle());
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return sqliteReason(rc);
    }
    if (db && db->lastError()) return db->lastError().message;
    const wxString folder = folderWriteProblem(path, bytes);
    return folder.empty() ? wxString(wxS("the file could not be written")) : folder;
}

// --- configuration -------------------------------------------------------

wxString configFile(const wxString& name) {
    const wxString user = appFile(name);
    if (wxFileExists(user)) return user;
    const wxString shipped = shippedDataDir();
    if (!shipped.empty() && wxFileExists(shipped + name)) return shipped + name;
    return wxString();
}

wxString configValue(const wxString& file, const wxString& key) {
    if (file.empty()) return wxString();
    IniFile ini(file);
    return ini.isLoaded() && ini.has(key) ? ini.get(key) : wxString();
}

} // namespace qn::cli
