#include "app/app_config.h"

#include "app/file_list.h"
#include "app/ini_file.h"
#include "app/text_constants.h"

#include <memory>

namespace qn {

namespace {
std::unique_ptr<FileList>& favouritesSlot() {
    static std::unique_ptr<FileList> list;
    return list;
}
std::unique_ptr<FileList>& recentSlot() {
    static std::unique_ptr<FileList> list;
    return list;
}
} // namespace

IniFile& projectDefaults() {
    static IniFile project;
    return project;
}

IniFile& settings() {
    static IniFile store;
    return store;
}

FileList& favourites() {
    auto& slot = favouritesSlot();
    if (!slot) slot = std::make_unique<FileList>(settings(), wxS("favourite"));
    return *slot;
}

FileList& recentFiles() {
    auto& slot = recentSlot();
    if (!slot) slot = std::make_unique<FileList>(settings(), wxS("recentfile"));
    return *slot;
}

ConfigStatus loadConfig(const wxString& appDir, const wxString& language) {
    unloadConfig();
    projectDefaults().load(appDir + wxS("project.ini"));
    if (!projectDefaults().isLoaded()) {
        unloadConfig();
        return ConfigStatus::ProjectMissing;
    }
    settings().load(appDir + wxS("settings.ini"));
    if (!settings().isLoaded()) {
        unloadConfig();
        return ConfigStatus::SettingsMissing;
    }
    if (!loadTextConstants(appDir, language)) {
        unloadConfig();
        return ConfigStatus::ConstantsMissing;
    }
    favouritesSlot() = std::make_unique<FileList>(settings(), wxS("favourite"));
    recentSlot() = std::make_unique<FileList>(settings(), wxS("recentfile"));
    recentSlot()->setLimit(settings().getInt(wxS("maxrecent")));
    return ConfigStatus::Ok;
}

wxString configStatusMessage(ConfigStatus status) {
    switch (status) {
    case ConfigStatus::ProjectMissing:
        return wxS("Project.ini file not found.");
    case ConfigStatus::SettingsMissing:
        return wxS("Settings.ini file not found.");
    case ConfigStatus::ConstantsMissing:
        return wxS("Constants.ini file not found.");
    case ConfigStatus::Ok:
        break;
    }
    return wxString();
}

bool saveConfigNow() {
    if (favouritesSlot()) favouritesSlot()->save();
    if (recentSlot()) recentSlot()->save();
    return settings().save();
}

bool saveAndUnloadConfig() {
    const bool ok = saveConfigNow();
    unloadConfig();
    return ok;
}

void unloadConfig() {
    favouritesSlot().reset();
    recentSlot().reset();
    projectDefaults() = IniFile();
    settings() = IniFile();
    textConstants() = IniFile();
}

} // namespace qn
