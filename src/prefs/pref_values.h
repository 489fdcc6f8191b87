// How the preferences dialog's fields become settings, without a window:
// the number fields are checked as a whole before anything is written, the
// "save" flags keep what the dialog does not show, the favourites come from
// the lines of a text.
#pragma once

#include <wx/string.h>

#include <array>
#include <vector>

namespace qn {

class FileList;
class IniFile;

// A number field of the "pref.Settings" page.
struct NumberSetting {
    const char* key;      // in the settings store
    const char* labelKey; // its label's text key
    int min, max;         // accepted values
};
// maxTextHistory, maxrecent, maxSearchCount, backupCount, in the order
// shown.
const std::array<NumberSetting, 4>& numberSettings();

// Whether `text` is a whole decimal number from min to max (blanks around
// it allowed); the number in `value`.
bool parseNumberField(const wxString& text, int min, int max, int& value);

// What the "pref.Settings" page holds when OK is pressed.
struct SettingsPageValues {
    std::array<wxString, 4> numbers; // as typed, in numberSettings() order
    std::array<bool, 4> flags{};     // positions 0 to 3 of "save"
    bool backupsInDataFolder = false; // "backupLocation" 1, else beside the document
    bool loadRemoteImages = false;    // "remoteImages" 1: HTML articles fetch them unasked
};

// Index of the first number field that is not acceptable; -1 when all are.
int firstInvalidNumber(const SettingsPageValues& values);

// Whether position `position` of a "save" value is "1" (beyond its end:
// not set).
bool saveFlag(const wxString& save, int position);
// `save` with positions 0 to 3 set from `flags`: a shorter value is first
// padded with "0", characters after the fourth are kept.
wxString withSaveFlags(const wxString& save, const std::array<bool, 4>& flags);

// Writes the page into the settings store, numbers as whole numbers. Does
// nothing and returns false unless every number field is acceptable.
bool writeSettingsPage(IniFile& settings, const SettingsPageValues& values);

// The favourites text: one path a line; empty and blank lines are dropped.
std::vector<wxString> favouriteLines(const wxString& text);
// The lines of the favourites text that name no existing file.
std::vector<wxString> missingFavourites(const wxString& text);
// Replaces the favourites by the lines of the text.
void replaceFavourites(FileList& favourites, const wxString& text);

// A label without the colon it ends with ("Recent files:" -> "Recent
// files"), for use inside a sentence.
wxString fieldName(const wxString& label);

} // namespace qn
