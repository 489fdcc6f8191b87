// The program-wide configuration objects, loaded at start-up and written
// back at shutdown. Window-free.
#pragma once

#include <wx/string.h>

namespace qn {

class IniFile;
class FileList;

// "project.ini": defaults copied into every new document; never written.
IniFile& projectDefaults();
// "settings.ini": the settings store; written at shutdown when changed.
IniFile& settings();
// Favourites ("favourite1", ...) and recent files ("recentfile1", ...) in
// the settings store. Valid after loadConfig() succeeded.
FileList& favourites();
FileList& recentFiles();

enum class ConfigStatus { Ok, ProjectMissing, SettingsMissing, ConstantsMissing };

// Loads, in this order, "project.ini", "settings.ini" and the text
// constants of the language (see text_constants.h) from appDir, then the
// favourites and the recent files (limit "maxrecent"). Stops at the first
// file that cannot be opened, unloads what was loaded and says which.
ConfigStatus loadConfig(const wxString& appDir, const wxString& language);

// The start-up message for a missing file ("Settings.ini file not found.");
// "" for Ok. Shown in a plain message box with the caption "Quillnest".
wxString configStatusMessage(ConfigStatus status);

// Shutdown: favourites and recent files into the settings store, then the
// settings store to disk (when changed), then everything unloaded. Returns
// false when "settings.ini" could not be written (the old file stays).
bool saveAndUnloadConfig();

// The same writes without unloading anything: favourites and recent files
// into the settings store, the store to disk when changed (a session that
// ends writes them before it does anything else).
bool saveConfigNow();

// Drops everything without writing (start-up failure, tests).
void unloadConfig();

} // namespace qn
