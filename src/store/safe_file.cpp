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

wxString optimizeBackupTempPath(const wxString& doc) {
    return doc + wxS(".bak.$$$");
}

FileClaim::FileClaim(const wxString& path, const wxString& like) {
    struct stat st {};
    const bool replacing = !like.empty() && ::stat(fsName(like).c_str(), &st) == 0;
    const mode_t mode = replacing ? (st.st_mode & 07777) : 0666;
    // Another program may rename or remove the file between the open and
    // the lock: then the lock holds a file nobody will read, and the name
    // is tried again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd =
            ::open(fsName(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, mode);
        if (fd < 0) {
            why_ = errnoReason(errno);
            return;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            busy_ = err == EWOULDBLOCK;
            why_ = busy_ ? wxString(wxS("another program is writing the same file at this moment"))
                         : errnoReason(err);
            return;
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && !S_ISREG(held.st_mode)) {
            ::close(fd);
            why_ = wxS("something other than a file is in the way");
            return;
        }
        if (::stat(fsName(path).c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev) {
            // Ours now: what a killed run left goes, its journal first (a
            // stale journal would be played back into the new file).
            for (const wxChar* suffix : {wxS("-journal"), wxS("-wal"), wxS("-shm")})
                unlinkQuietly(path + suffix);
            if (::ftruncate(fd, 0) != 0) {
                why_ = errnoReason(errno);
                ::close(fd);
                return;
            }
            // A file taken over keeps none of its old mode: that of the file
            // it replaces, or what the umask gives a new one.
            mode_t mask = ::umask(0);
            ::umask(mask);
            (void)::fchmod(fd, replacing ? mode : (mode & ~mask));
            fd_ = fd;
            return;
        }
        ::close(fd);
    }
    busy_ = true;
    why_ = wxS("another program is writing the same file at this moment");
}

FileClaim::~FileClaim() {
    if (fd_ >= 0) ::close(fd_);
}

OptimizeGuard::OptimizeGuard(const wxString& doc, int waitMs) {
    fd_ = ::open(fsName(doc).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    for (int waited = 0;; waited += 50) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
        if (errno != EWOULDBLOCK || waited >= waitMs) break;
        ::usleep(50 * 1000);
    }
    busy_ = errno == EWOULDBLOCK;
    ::close(fd_);
    fd_ = -1;
}

OptimizeGuard::~OptimizeGuard() {
    if (fd_ >= 0) ::close(fd_); // lets go of the lock
}

void clearOptimizeLeftovers(const wxString& doc) {
    removeWithJournal(optimizeCopyPath(doc));
    unlinkQuietly(optimizeBackupTempPath(doc));
}

} // namespace qn
