#include "prefs/pref_values.h"

#include "app/file_list.h"
#include "app/ini_file.h"

#include <wx/filename.h>
#include <wx/tokenzr.h>

namespace qn {

const std::array<NumberSetting, 4>& numberSettings() {
    // The history keeps one entry more than its limit; the recent files
    // keep at least one; a search limit of 0 lists every hit; 0 backups
    // turns them off.
    static const std::array<NumberSetting, 4> table = {{
        {"maxTextHistory", "pref.MaxArticleHistory", 0, 1000},
        {"maxrecent", "pref.MaxRecentFiles", 1, 100},
        {"maxSearchCount", "pref.MaxSearchCount", 0, 1000000},
        {"backupCount", "pref.BackupCount", 0, 1000},
    }};
    return table;
}

bool parseNumberField(const wxString& text, int min, int max, int& value) {
    wxString t = text;
    t.Trim(true).Trim(false);
    if (t.empty() || t.length() > 9) return false;
    long n = 0;
    for (wxUniChar c : t) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c.GetValue() - '0');
    }
    if (n < min || n > max) return false;
    value = static_cast<int>(n);
    return true;
}

int firstInvalidNumber(const SettingsPageValues& values) {
    const auto& table = numberSettings();
    for (size_t i = 0; i < table.size(); ++i) {
        int n;
        if (!parseNumberField(values.numbers[i], table[i].min, table[i].max, n))
            return static_cast<int>(i);
    }
    return -1;
}

bool saveFlag(const wxString& save, int position) {
    return position >= 0 && static_cast<size_t>(position) < save.length() &&
           save[static_cast<size_t>(position)] == '1';
}

wxString withSaveFlags(const wxString& save, const std::array<bool, 4>& flags) {
    wxString out = save;
    while (out.length() < flags.size())
        out += wxS("0");
    for (size_t i = 0; i < flags.size(); ++i)
        out[i] = flags[i] ? '1' : '0';
    return out;
}

bool writeSettingsPage(IniFile& settings, const SettingsPageValues& values) {
    if (firstInvalidNumber(values) >= 0) return false;
    const auto& table = numberSettings();
    for (size_t i = 0; i < table.size(); ++i) {
        int n = 0;
        parseNumberField(values.numbers[i], table[i].min, table[i].max, n);
        settings.setInt(wxString::FromAscii(table[i].key), n);
    }
    settings.set(wxS("save"), withSaveFlags(settings.get(wxS("save")), values.flags));
    settings.setInt(wxS("backupLocation"), values.backupsInDataFolder ? 1 : 0);
    settings.setInt(wxS("remoteImages"), values.loadRemoteImages ? 1 : 0);
    return true;
}

std::vector<wxString> favouriteLines(const wxString& text) {
    std::vector<wxString> lines;
    wxStringTokenizer tokens(text, wxS("\r\n"), wxTOKEN_STRTOK);
    while (tokens.HasMoreTokens()) {
        // A line of blanks is no path (it would be an empty menu item).
        wxString line = tokens.GetNextToken();
        if (!line.Strip(wxString::both).empty()) lines.push_back(line);
    }
    return lines;
}

std::vector<wxString> missingFavourites(const wxString& text) {
    std::vector<wxString> missing;
    for (const wxString& line : favouriteLines(text))
        if (!wxFileName::FileExists(line)) missing.push_back(line);
    return missing;
}

void replaceFavourites(FileList& favourites, const wxString& text) {
    favourites.clear();
    for (const wxString& line : favouriteLines(text))
        favourites.append(line);
}

wxString fieldName(const wxString& label) {
    wxString name = label;
    name.Trim(true);
    if (name.EndsWith(wxS(":"))) name.RemoveLast();
    name.Trim(true);
    name.Replace(wxS("&"), wxString());
    return name;
}

} // namespace qn
