#include "store/safe_file.h"

#include <wx/log.h>

#include <sqlite3.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace qn {

namespace {

std::string fsName(const wxString& path) {
    return std::string(path.fn_str());
}

wxString folderOf(const wxString& path) {
    const std::string p = fsName(path);
    const size_t slash = p.rfind('/');
    if (slash == std::string::npos) return wxS(".");
    if (slash == 0) return wxS("/");
    return wxString(p.substr(0, slash).c_str(), wxConvFile);
}

wxString systemText(int err) {
    return wxString(std::strerror(err), wxConvLibc);
}

std::atomic<int> lastFailure{0};

bool isSerious(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG:
        return true;
    default:
        return false;
    }
}

extern "C" void onSqliteLog(void*, int rc, const char*) {
    if (isSerious(rc)) lastFailure = rc;
}

bool unlinkQuietly(const wxString& path) {
    return ::unlink(fsName(path).c_str()) == 0 || errno == ENOENT;
}

// A durable byte copy, for file systems without hard links.
bool copyFile(const wxString& from, const wxString& to, wxString* why) {
    int in = ::open(fsName(from).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (why) *why = errnoReason(errno);
        return false;
    }
    struct stat st {};
    ::fstat(in, &st);
    int out = ::open(fsName(to).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                     st.st_mode & 07777);
    if (out < 0) {
        if (why) *why = errnoReason(errno);
        ::close(in);
        return false;
    }
    char buf[1 << 16];
    int err = 0;
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) {
                err = errno;
                break;
            }
            done += w;
        }
        if (err) break;
    }
    if (!err && ::fsync(out) != 0) err = errno;
    if (::close(out) != 0 && !err) err = errno;
    ::close(in);
    if (err) {
        unlinkQuietly(to);
        if (why) *why = errnoReason(err);
        return false;
    }
    return true;
}

} // namespace

wxString errnoReason(int err) {
    wxString human;
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        human = wxS("the disk is full");
        break;
    case EACCES:
    case EPERM:
        human = wxS("the file is read-only");
        break;
    case EROFS:
        human = wxS("the disk is read-only");
        break;
    case EIO:
        human = wxS("the disk reported an error");
        break;
    case ENOENT:
        human = wxS("the file or its folder does not exist");
        break;
    default:
        return systemText(err);
    }
    return human + wxS(" (") + systemText(err) + wxS(")");
}

wxString sqliteReason(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_FULL:
        return wxS("the disk is full");
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return wxS("the file is read-only");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return wxS("another program is writing this document");
    case SQLITE_IOERR:
        return wxS("the disk reported an error");
    case SQLITE_CANTOPEN:
        return wxS("the file cannot be opened");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return wxS("the document is damaged");
    case SQLITE_NOMEM:
        return wxS("there is not enough memory");
    case SQLITE_TOOBIG:
        return wxS("a note or object is too large to be stored");
    default:
        return wxString::FromUTF8(sqlite3_errstr(rc));
    }
}

void installSqliteFailureWatch() {
    static bool installed = false;
    if (installed) return;
    installed = sqlite3_config(SQLITE_CONFIG_LOG, onSqliteLog, nullptr) == SQLITE_OK;
}

int lastSqliteFailure() {
    return lastFailure;
}

void resetSqliteFailure() {
    lastFailure = 0;
}

bool replaceTarget(const wxString& path, wxString& target, wxString* why) {
    target = path;
    struct stat st {};
    if (::lstat(fsName(path).c_str(), &st) != 0) return true; // nothing there yet
    if (S_ISLNK(st.st_mode)) {
        // What the link leads to: nothing (a dangling link, which the new
        // file replaces), or something that may have no name to resolve
        // (/dev/stdout to a pipe), which must never be replaced.
        if (::stat(fsName(path).c_str(), &st) != 0) return true;
        if (!S_ISREG(st.st_mode)) {
            if (why) *why = wxS("it is not a regular file");
            return false;
        }
        char* real = ::realpath(fsName(path).c_str(), nullptr);
        if (!real) {
            if (why) *why = wxS("the file it links to has no name");
            return false;
        }
        target = wxString(real, wxConvFile);
        std::free(real);
    }
    if (S_ISREG(st.st_mode)) return true;
    if (why) *why = wxS("it is not a regular file");
    return false;
}

void startWriteback(int fd) {
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool syncFolderOf(const wxString& path) {
    int fd = ::open(fsName(folderOf(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0 || errno == EINVAL; // some file systems cannot sync folders
    ::close(fd);
    return ok;
}

bool renameIntoPlace(const wxString& from, const wxString& to, wxString* why) {
    if (::rename(fsName(from).c_str(), fsName(to).c_str()) != 0) {
        if (why) *why = errnoReason(errno);
        return false;
    }
    // Without this a power cut after a reported success could bring the old
    // file back under the name.
    if (!syncFolderOf(to))
        wxLogMessage(wxS("cannot sync the folder of %s: %s"), to, systemText(errno));
    return true;
}

void removeWithJournal(const wxString& path) {
    for (const wxChar* suffix : {wxS(""), wxS("-journal"), wxS("-wal"), wxS("-shm")})
        unlinkQuietly(path + suffix);
}

bool createEmptyLike(const wxString& path, const wxString& like, wxString* why) {
    struct stat st {};
    const bool replacing = !like.empty() && ::stat(fsName(like).c_str(), &st) == 0;
    const mode_t mode = replacing ? (st.st_mode & 07777) : 0666;
    removeWithJournal(path);
    int fd = ::open(fsName(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        if (why) *why = errnoReason(errno);
        return false;
    }
    if (replacing) (void)::fchmod(fd, mode); // the umask does not apply to a replaced file's mode
    ::close(fd);
    return true;
}

bool createEmptyPrivate(const wxString& path, wxString* why) {
    removeWithJournal(path);
    int fd = ::open(fsName(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int err = errno;
        if (why) *why = errnoReason(err);
        return false;
    }
    ::close(fd);
    return true;
}

wxString folderWriteProblem(const wxString& path, unsigned long long bytesNeeded) {
    const std::string folder = fsName(folderOf(path));
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return errno == EROFS ? errnoReason(EROFS) : wxString(wxS("the folder is read-only"));
    struct statvfs vfs {};
    if (::statvfs(folder.c_str(), &vfs) == 0 &&
        static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize < bytesNeeded)
        return wxS("the disk is full");
    return wxString();
}

wxString replaceProblem(const wxString& path) {
    if (::access(fsName(folderOf(path)).c_str(), W_OK | X_OK) != 0)
        return errno == EROFS ? errnoReason(EROFS) : wxString(wxS("the folder is read-only"));
    int fd = ::open(fsName(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return wxString();
    int flags = 0;
    const bool fixed = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                       (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
    ::close(fd);
    return fixed ? errnoReason(EPERM) : wxString();
}

wxString optimizeCopyPath(const wxString& doc) {
    return doc + wxS(".$$$");
}

wxString optimizeBackupPath(const wxString& doc) {
    return doc + wxS(".bak");
}

namespace {
wxString backupTempPath(const wxString& doc) {
    return doc + wxS(".bak.$$$");
}
} // namespace

OptimizeGuard::OptimizeGuard(const wxString& doc) {
    fd_ = ::open(fsName(doc).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        busy_ = errno == EWOULDBLOCK;
        ::close(fd_);
        fd_ = -1;
    }
}

OptimizeGuard::~OptimizeGuard() {
    if (fd_ >= 0) ::close(fd_); // lets go of the lock
}

void clearOptimizeLeftovers(const wxString& doc) {
    removeWithJournal(optimizeCopyPath(doc));
    unlinkQuietly(backupTempPath(doc));
}

bool installOptimizedCopy(const wxString& doc, const wxString& copy, bool keepBackup,
                          wxString& why) {
    why.clear();
    const wxString bakTemp = backupTempPath(doc);
    auto giveUp = [&](const wxString& reason) {
        why = reason;
        removeWithJournal(copy);
        unlinkQuietly(bakTemp);
        return false;
    };
    if (keepBackup) {
        unlinkQuietly(bakTemp);
        // A second name for the old file, which then takes the backup's name
        // in one step: the document's own name is never without a complete
        // document, and a backup that cannot be kept stops the optimize
        // before the document is touched.
        if (::link(fsName(doc).c_str(), fsName(bakTemp).c_str()) != 0) {
            wxString copyWhy;
            if (!copyFile(doc, bakTemp, &copyWhy))
                return giveUp(wxS("the backup cannot be made: ") + copyWhy);
        }
        wxString bakWhy;
        if (!renameIntoPlace(bakTemp, optimizeBackupPath(doc), &bakWhy))
            return giveUp(wxS("the backup cannot be kept: ") + bakWhy);
        // A backup that already was a link to the document (a run killed
        // after its backup step) makes that rename keep both names.
        unlinkQuietly(bakTemp);
    }
    wxString renameWhy;
    if (!renameIntoPlace(copy, doc, &renameWhy))
        return giveUp(wxS("the document cannot be replaced: ") + renameWhy);
    return true;
}

} // namespace qn
