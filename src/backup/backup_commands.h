// The main window's side of the automatic backups.
#pragma once

#include "backup/backup_store.h"

#include <wx/dialog.h>
#include <wx/string.h>

#include <vector>

class wxListBox;

namespace qn {

class Database;

// Made before a save overwrites `doc`: until a save of the document has
// succeeded in this run of the program, a backup is made as the settings
// say. saved() then ends the document's first save; a failed backup is
// reported there, once, and never stops the save. Without saved() (the save
// failed, nothing was overwritten) the next save tries again.
class BackupBeforeSave {
public:
    BackupBeforeSave(wxWindow* parent, const wxString& doc);
    void saved();

private:
    wxWindow* parent_;
    wxString doc_;
    wxString failure_; // why the backup could not be made
};

// The backups of one document, newest first; OK opens the selected one.
class OpenBackupDialog : public wxDialog {
public:
    OpenBackupDialog(wxWindow* parent, const std::vector<BackupEntry>& backups);
    wxListBox* list() const { return list_; }
    // The backup chosen; empty when none is selected.
    wxString chosen() const;

private:
    std::vector<BackupEntry> backups_;
    wxListBox* list_;
};

// "File > Open backup...": lists the backups of the window's document and
// opens the chosen one in a window of its own.
void showOpenBackup(wxWindow* frame, Database& db);

} // namespace qn
