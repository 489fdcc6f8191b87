// Automatic backups: before the first save of a session overwrites a
// document, a copy of the file as it is goes into a backup folder, and only
// the newest copies are kept.
#pragma once

#include <wx/datetime.h>
#include <wx/string.h>

#include <set>
#include <vector>

namespace qn {

struct BackupPolicy {
    int keep = 5;              // copies kept per document; 0 or less: no backups
    bool inDataFolder = false; // in the user's data folder instead of beside the document
    wxString dataFolder;       // the user's data folder (ends with a separator)
};

// The policy from the settings "backupCount" (a missing key means the
// default) and "backupLocation" (1: the data folder).
BackupPolicy backupPolicyFromSettings(const wxString& dataFolder);

// Where the backups of `doc` go: the folder "backups" beside the document,
// or in the data folder "backups/<name>-<hash of the document's path>", so
// that documents of the same name in different folders stay apart.
wxString backupFolder(const wxString& doc, const BackupPolicy& policy);

// The file name of a backup made at `when`: "<name> YYYY-MM-DD HH-MM-SS.<ext>".
wxString backupName(const wxString& doc, const wxDateTime& when);

struct BackupEntry {
    wxString path;
    wxDateTime when;
    long sequence = 1; // 2, 3, ... for further copies made in the same second
    unsigned long long size = 0;
};
// The backups of `doc`, newest first.
std::vector<BackupEntry> listBackups(const wxString& doc, const BackupPolicy& policy);

// Copies `doc` (an SQLite file, read through its own connection so the copy
// is consistent) into its backup folder, then removes the oldest backups
// beyond policy.keep. The copy is written beside its final name and renamed
// when complete. False when no backup was made: `why` says why, and the
// document is untouched in every case. `made` receives the backup's path.
bool makeBackup(const wxString& doc, const BackupPolicy& policy, wxString* made, wxString* why,
                const wxDateTime& when = wxDateTime::Now());

// The documents whose first save in this run of the program has happened:
// each gets one backup, before that save.
class BackupSession {
public:
    // True until done() for the document (by its absolute path).
    bool pending(const wxString& doc) const;
    void done(const wxString& doc);
    static BackupSession& instance();

private:
    std::set<wxString> done_;
};

} // namespace qn
