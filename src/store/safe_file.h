// Writing files so that nothing is lost at any step: temporary files beside
// the target that are renamed into place only when complete, the folder
// synced after every rename, and failures explained in words a person can
// act on.
#pragma once

#include <wx/string.h>

namespace qn {

class Database;

// "the disk is full", "the file is read-only", ... for an errno value; the
// system's own text is added in parentheses.
wxString errnoReason(int err);
// The same for an SQLite result code (primary or extended).
wxString sqliteReason(int rc);

// SQLite reports every failure, on any connection, to one process-wide log;
// the last serious one is kept here so that a caller whose statement ran on
// a connection that is already closed can still say why it failed.
// installSqliteFailureWatch() must run before SQLite is first used; the
// others are harmless without it.
void installSqliteFailureWatch();
int lastSqliteFailure(); // 0 when none since the last reset
void resetSqliteFailure();

// The file a new version of `path` should be renamed over: `path` itself,
// or the file a link at `path` names.  False (and `why`) when something
// other than a regular file is there, also behind a link (/dev/stdout to a
// pipe): renaming over a device, a pipe or a folder would replace it, not
// write into it.
bool replaceTarget(const wxString& path, wxString& target, wxString* why = nullptr);

// Hands what has been written to `fd` so far to the disk without waiting
// for it, so that a long file is written while the rest is still being
// made and the fsync at its end waits for the last part only.  A hint: a
// failure here changes nothing (the fsync reports real ones).
void startWriteback(int fd);

// Makes the last rename or creation in the folder of `path` durable.
bool syncFolderOf(const wxString& path);

// rename(from, to) in one step (replacing `to`), then syncs the folder.
// On failure `why` says why and both files are as they were.
bool renameIntoPlace(const wxString& from, const wxString& to, wxString* why = nullptr);

// Removes a file and the journal files SQLite may have left beside it.
void removeWithJournal(const wxString& path);

// Creates an empty file for a new copy of `like`: with the mode of `like`
// when that file exists, otherwise with what the umask gives.  An old file
// at `path` is removed first.  False (and `why`) when it cannot be created.
bool createEmptyLike(const wxString& path, const wxString& like, wxString* why = nullptr);

// The same for a file only its owner may read or write (0600), whatever the
// umask or an old file's mode: what is written from a protected document.
bool createEmptyPrivate(const wxString& path, wxString* why = nullptr);

// Why a whole new copy of `bytesNeeded` bytes probably cannot be written
// into the folder of `path`: "the folder is read-only", "the disk is full";
// empty when neither is the case.
wxString folderWriteProblem(const wxString& path, unsigned long long bytesNeeded);
// Why `path` cannot be replaced by renaming another file over it (a folder
// that cannot be written, an immutable or append-only file); empty when it
// can.  Checked before a long copy is written only to be thrown away.
wxString replaceProblem(const wxString& path);

// The temporary names of optimize: the backup being made, and the copy that
// earlier versions renamed over the document.  Both are removed by
// clearOptimizeLeftovers, which every optimize runs first, so a run that was
// killed leaves nothing behind after the next one.
wxString optimizeCopyPath(const wxString& doc);   // DOC.$$$
wxString optimizeBackupPath(const wxString& doc); // DOC.bak
wxString optimizeBackupTempPath(const wxString& doc); // DOC.bak.$$$, renamed to DOC.bak
void clearOptimizeLeftovers(const wxString& doc);

// A temporary file that one program at a time writes: made empty with the
// mode of `like` (or what the umask gives), together with an advisory lock
// (flock) held for as long as the claim lives.  A file of the same name
// that a killed run left behind is taken over, its journal removed; one
// that another program is writing now is left alone and busy() is true.
// Release the claim only after the file is renamed or removed.
class FileClaim {
public:
    FileClaim(const wxString& path, const wxString& like);
    ~FileClaim();
    FileClaim(const FileClaim&) = delete;
    FileClaim& operator=(const FileClaim&) = delete;
    bool ok() const { return fd_ >= 0; }
    bool busy() const { return busy_; }
    const wxString& why() const { return why_; }

private:
    int fd_ = -1;
    bool busy_ = false;
    wxString why_;
};

// One optimize of a document at a time, across programs: the guard holds an
// advisory lock (flock) on the document for as long as it lives, waiting up
// to `waitMs` for another run to end.  Two runs at once would write the same
// temporary backup.  busy() is true only when another run holds the lock; a
// file that cannot be opened here is left to the optimize's own checks.
// (flock, not the byte-range locks SQLite takes: closing the guard's
// descriptor cannot release those.)
class OptimizeGuard {
public:
    explicit OptimizeGuard(const wxString& doc, int waitMs = 0);
    ~OptimizeGuard();
    OptimizeGuard(const OptimizeGuard&) = delete;
    OptimizeGuard& operator=(const OptimizeGuard&) = delete;
    bool busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};

} // namespace qn
