// Where the program's configuration lives.
#pragma once

#include <wx/string.h>

namespace qn {

// The application data directory, ending with a path separator. Every
// configuration file, the icons and the help document are looked for here
// and nowhere else. Computed by defaultAppDataDir() on first use unless set.
wxString appDataDir();
void setAppDataDir(const wxString& dir);
// appDataDir() + name.
wxString appFile(const wxString& name);

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
// copy of the shipped data. An existing directory is left alone unless it
// is empty. Returns false (and a reason) when the directory could not be
// created or filled; start-up then reports the missing files as usual.
bool prepareAppDataDir(const wxString& dir, wxString* error = nullptr);

} // namespace qn
