// Where the program's configuration lives.
#pragma once

#include <wx/string.h>

#include <string>

namespace qn {

// The application data directory, ending with a path separator. Every
// configuration file, the icons and the help document are looked for here
// and nowhere else. Computed by defaultAppDataDir() on first use unless set.
wxString appDataDir();
void setAppDataDir(const wxString& dir);
// appDataDir() + name.
wxString appFile(const wxString& name);
// The folder of the recovery files that keep unsaved edits (appDataDir() +
// "recovery/"), made with mode 0700 when missing: only its owner may list
// it.  Ends with a path separator.
wxString recoveryDir();

// $QUILLNEST_HOME when set; otherwise the parent of the per-user XDG data
// folder of the program ($XDG_DATA_HOME or ~/.local/share, + "quillnest")
// plus "Quillnest/", i.e. ~/.local/share/Quillnest/.
wxString defaultAppDataDir();

// The configuration the program ships with: $QUILLNEST_DATA when set, else
// <exe>/../share/quillnest when it exists (installed), else the data folder
// of the build tree, else the install location. "" when none exists. Ends
// with a path separator.
wxString shippedDataDir();

// A user without an application data directory gets one, filled with a
// copy of the shipped data. An existing one is refreshed when the shipped
// data is newer (refreshAppDataDir). Returns false (and a reason) when the
// directory could not be created or filled; start-up then reports the
// missing files as usual.
bool prepareAppDataDir(const wxString& dir, wxString* error = nullptr);

// The number in the version stamp "data.version" of a configuration folder
// (its first line that is a number); 0 without one.
int dataVersion(const wxString& dir);

// Brings an existing application data directory up to the shipped data of
// a newer version: the program's own files (text constants, converter
// texts, images, icon list, help document) are replaced, and keys the
// user's "settings.ini" and "project.ini" lack are added without changing
// any value the user has. A user file that is missing stays missing. Every
// file is written beside its target and renamed over it. Nothing happens
// when the shipped version is not newer. Returns false (and a reason) when
// a file could not be written; the stamp is then left old, so the next
// start tries again.
bool refreshAppDataDir(const wxString& shipped, const wxString& dir, wxString* error = nullptr);

// The user's key=value file text with every key of the shipped text that it
// lacks appended (as its shipped line). Comments and the user's lines are
// kept as they are.
std::string addMissingKeys(const std::string& user, const std::string& shipped);

} // namespace qn
