#include "backup/backup_store.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "store/keys.h"
#include "store/safe_file.h"
#include "store/sqlite.h"

#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/log.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace qn {

namespace {

const int kDefaultKeep = 5;
// Another program writing the document: the save that follows waits too.
const int kBusyMs = 1000;

wxString absolutePath(const wxString& path) {
    wxFileName f(path);
    f.MakeAbsolute();
    f.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE);
    return f.GetFullPath();
}

// FNV-1a of the path's bytes: short, and the same in every run.
wxString pathHash(const wxString& path) {
    wxScopedCharBuffer bytes = path.utf8_str();
    std::uint32_t h = 2166136261u;
    for (size_t i = 0; i < bytes.length(); ++i) {
        h ^= static_cast<unsigned char>(bytes.data()[i]);
        h *= 16777619u;
    }
    return wxString::Format(wxS("%08x"), h);
}

// "<name> YYYY-MM-DD HH-MM-SS" with an optional "-N" and the document's
// extension: the time of the backup, or an invalid time for another file.
wxDateTime parseBackupTime(const wxString& fileName, const wxString& docName, const wxString& ext,
                           long& sequence) {
    sequence = 1;
    wxString rest;
    if (!fileName.StartsWith(docName + wxS(" "), &rest)) return wxDateTime();
    const wxString suffix = ext.empty() ? wxString() : wxS(".") + ext;
    if (!rest.EndsWith(suffix, &rest)) return wxDateTime();
    if (rest.length() < 19) return wxDateTime();
    // "-2" of a second copy in the same second.
    const wxString extra = rest.Mid(19);
    if (!extra.empty() && (extra[0] != '-' || extra.length() < 2 || !extra.Mid(1).IsNumber() ||
                           !extra.Mid(1).ToLong(&sequence)))
        return wxDateTime();
    rest = rest.Left(19);
    wxDateTime when;
    wxString::const_iterator end;
    if (!when.ParseFormat(rest, wxS("%Y-%m-%d %H-%M-%S"), &end) || end != rest.end())
        return wxDateTime();
    return when;
}

// In words: SQLite's own text ("cannot commit - no transaction is active")
// stays in the log.
wxString sqliteWhy(sqlite3* db, int rc) {
    if (db) wxLogMessage(wxS("backup: %d %s"), rc, wxString::FromUTF8(sqlite3_errmsg(db)));
    return sqliteReason(rc);
}

std::string fsName(const wxString& path) {
    return std::string(path.fn_str());
}

// Backups hold the whole document: they go only into a folder that is the
// user's own and that nobody else can write into (or swap for a link to
// somewhere else).  A missing folder is made private.
bool privateFolder(const wxString& folder, wxString& why) {
    const std::string name = fsName(folder);
    if (::mkdir(name.c_str(), 0700) != 0 && errno != EEXIST) {
        const int err = errno;
        why = wxString::Format(wxS("the folder %s could not be created: %s"), folder,
                               errnoReason(err));
        return false;
    }
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0) {
        const int err = errno;
        why = wxString::Format(wxS("the folder %s cannot be used: %s"), folder, errnoReason(err));
        return false;
    }
    wxString problem;
    if (S_ISLNK(st.st_mode))
        problem = wxS("it is a link to another place");
    else if (!S_ISDIR(st.st_mode))
        problem = wxS("it is not a folder");
    else if (st.st_uid != ::geteuid())
        problem = wxS("it belongs to another user");
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        problem = wxS("other users can write into it");
    if (problem.empty()) return true;
    why = wxString::Format(wxS("no backup is written into %s: %s"), folder, problem);
    return false;
}

// The backup folder of `doc` and, in the data folder, the "backups" folder
// above it, each made when missing and checked.
bool prepareFolder(const wxString& doc, const BackupPolicy& policy, wxString& why) {
    const wxString folder = backupFolder(doc, policy);
    if (policy.inDataFolder) {
        {
            wxLogNull quiet; // the checks below say why
            wxFileName::Mkdir(policy.dataFolder, 0700, wxPATH_MKDIR_FULL);
        }
        if (!privateFolder(wxFileName(folder).GetPath(), why)) return false;
    }
    return privateFolder(folder, why);
}

// A temporary file of a backup of the document named `docName` (.partial
// after a backup name, or the journal SQLite keeps beside it): one that a
// run killed while copying left behind.
bool isOwnPartial(wxString fileName, const wxString& docName, const wxString& ext) {
    for (const wxChar* journal : {wxS("-journal"), wxS("-wal"), wxS("-shm")})
        if (fileName.EndsWith(journal, &fileName)) break;
    wxString backup;
    if (!fileName.EndsWith(wxS(".partial"), &backup)) return false;
    long sequence = 1;
    return parseBackupTime(backup, docName, ext, sequence).IsValid();
}

void removeStalePartials(const wxString& folder, const wxFileName& doc) {
    wxDir dir(folder);
    if (!dir.IsOpened()) return;
    std::vector<wxString> stale;
    wxString name;
    for (bool more = dir.GetFirst(&name, wxEmptyString, wxDIR_FILES); more;
         more = dir.GetNext(&name))
        if (isOwnPartial(name, doc.GetName(), doc.GetExt()))
            stale.push_back(wxFileName(folder, name).GetFullPath());
    wxLogNull quiet; // one already gone with its partial copy is no failure
    for (const wxString& path : stale)
        wxRemoveFile(path);
}

// Whether the document is protected by a password (its setting "pwd" is
// not empty).  A file that cannot be asked counts as protected: the copy is
// then kept private.
bool protectedFile(const wxString& doc) {
    Connection db;
    if (db.open(doc, SQLITE_OPEN_READONLY) != SQLITE_OK) return true;
    db.setBusyTimeout(kBusyMs);
    Stmt st(db.get(), "select value from project where name = ?");
    if (!st || st.bindText(1, toUtf8(keyNameOf(K_pwd))) != SQLITE_OK) return true;
    const int rc = st.step();
    if (rc == SQLITE_DONE) return false;
    return rc != SQLITE_ROW || !st.view(0).empty();
}

// An empty file for the copy, as private as the document: with the
// document's permissions whatever the umask says, and readable by its owner
// alone when the document is protected.
bool createLikeDocument(const wxString& doc, const wxString& copy, wxString& why) {
    struct stat st {};
    if (::stat(fsName(doc).c_str(), &st) != 0) {
        const int err = errno;
        why = errnoReason(err);
        return false;
    }
    const mode_t mode = st.st_mode & (protectedFile(doc) ? 0600 : 0666);
    const int fd =
        ::open(fsName(copy).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        const int err = errno;
        why = errnoReason(err);
        return false;
    }
    const bool ok = ::fchmod(fd, mode) == 0;
    const int err = errno;
    ::close(fd);
    if (!ok) {
        why = errnoReason(err);
        removeWithJournal(copy);
    }
    return ok;
}

// The whole database at `from` into the new empty file `to` through
// SQLite's own backup, so that a copy is never taken in the middle of a write.
bool copyDocumentFile(const wxString& from, const wxString& to, wxString& why) {
    Connection src, dst;
    int rc = src.open(from, SQLITE_OPEN_READONLY);
    if (rc != SQLITE_OK) {
        why = sqliteWhy(nullptr, rc);
        return false;
    }
    src.setBusyTimeout(kBusyMs);
    rc = dst.open(to, SQLITE_OPEN_READWRITE);
    if (rc != SQLITE_OK) {
        why = sqliteWhy(nullptr, rc);
        return false;
    }
    rc = copyDatabase(src.get(), dst.get());
    if (rc != SQLITE_OK) {
        why = sqliteWhy(dst.get(), rc);
        return false;
    }
    return true;
}

} // namespace

BackupPolicy backupPolicyFromSettings(const wxString& dataFolder) {
    BackupPolicy p;
    const wxString count = settings().get(wxS("backupCount"));
    long n = kDefaultKeep;
    if (!count.empty() && !count.ToLong(&n)) n = kDefaultKeep;
    p.keep = static_cast<int>(std::clamp(n, 0L, 1000L));
    p.inDataFolder = settings().getInt(wxS("backupLocation")) == 1;
    p.dataFolder = dataFolder;
    return p;
}

wxString backupFolder(const wxString& doc, const BackupPolicy& policy) {
    const wxFileName file(absolutePath(doc));
    if (policy.inDataFolder) {
        wxFileName dir = wxFileName::DirName(policy.dataFolder);
        dir.AppendDir(wxS("backups"));
        dir.AppendDir(file.GetName() + wxS("-") + pathHash(file.GetFullPath()));
        return dir.GetPath();
    }
    wxFileName dir = wxFileName::DirName(file.GetPath());
    dir.AppendDir(wxS("backups"));
    return dir.GetPath();
}

wxString backupName(const wxString& doc, const wxDateTime& when) {
    const wxFileName file(doc);
    wxString name = file.GetName() + wxS(" ") + when.Format(wxS("%Y-%m-%d %H-%M-%S"));
    if (file.HasExt()) name += wxS(".") + file.GetExt();
    return name;
}

std::vector<BackupEntry> listBackups(const wxString& doc, const BackupPolicy& policy) {
    std::vector<BackupEntry> out;
    const wxString folder = backupFolder(doc, policy);
    if (!wxDirExists(folder)) return out;
    wxDir dir(folder);
    if (!dir.IsOpened()) return out;
    const wxFileName file(doc);
    wxString name;
    for (bool more = dir.GetFirst(&name, wxEmptyString, wxDIR_FILES); more;
         more = dir.GetNext(&name)) {
        long sequence = 1;
        const wxDateTime when = parseBackupTime(name, file.GetName(), file.GetExt(), sequence);
        if (!when.IsValid()) continue;
        BackupEntry e;
        e.path = wxFileName(folder, name).GetFullPath();
        e.when = when;
        e.sequence = sequence;
        const wxULongLong size = wxFileName::GetSize(e.path);
        e.size = size == wxInvalidSize ? 0 : size.GetValue();
        out.push_back(e);
    }
    // Newest first; of two copies made in the same second, the later one.
    std::sort(out.begin(), out.end(), [](const BackupEntry& a, const BackupEntry& b) {
        if (a.when != b.when) return a.when > b.when;
        return a.sequence > b.sequence;
    });
    return out;
}

bool makeBackup(const wxString& doc, const BackupPolicy& policy, wxString* made, wxString* why,
                const wxDateTime& when) {
    wxString reason;
    auto fail = [&](const wxString& r) {
        if (why) *why = r;
        return false;
    };
    if (policy.keep <= 0) return fail(wxS("backups are turned off"));
    if (!wxFileExists(doc)) return fail(doc + wxS(" does not exist"));
    const wxString folder = backupFolder(doc, policy);
    if (!prepareFolder(doc, policy, reason)) return fail(reason);
    // What a run killed in the middle of a copy left (only our own names).
    removeStalePartials(folder, wxFileName(doc));
    wxString target = wxFileName(folder, backupName(doc, when)).GetFullPath();
    for (int n = 2; wxFileExists(target); ++n) {
        const wxFileName base(folder, backupName(doc, when));
        target = wxFileName(folder, base.GetName() + wxString::Format(wxS("-%d"), n), base.GetExt())
                     .GetFullPath();
    }
    const wxString temp = target + wxS(".partial");
    removeWithJournal(temp);
    if (!createLikeDocument(doc, temp, reason)) return fail(reason);
    if (!copyDocumentFile(doc, temp, reason)) {
        removeWithJournal(temp);
        const wxString problem = folderWriteProblem(temp, wxFileName::GetSize(doc).GetValue());
        return fail(problem.empty() ? reason : problem);
    }
    if (!renameIntoPlace(temp, target, &reason)) {
        removeWithJournal(temp);
        return fail(reason);
    }
    if (made) *made = target;
    // The oldest beyond the number kept go; a copy that cannot be removed
    // stays (it is only one more backup).
    const std::vector<BackupEntry> all = listBackups(doc, policy);
    wxLogNull quiet;
    for (size_t i = static_cast<size_t>(policy.keep); i < all.size(); ++i)
        wxRemoveFile(all[i].path);
    return true;
}

bool BackupSession::pending(const wxString& doc) const {
    return done_.count(absolutePath(doc)) == 0;
}

void BackupSession::done(const wxString& doc) {
    done_.insert(absolutePath(doc));
}

BackupSession& BackupSession::instance() {
    static BackupSession session;
    return session;
}

} // namespace qn
