#include "app/text_constants.h"

#include "app/ini_file.h"

#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/uilocale.h>

namespace qn {

IniFile& textConstants() {
    static IniFile constants;
    return constants;
}

wxString text(const wxString& key) {
    return textConstants().get(key);
}

wxString text(const char* key) {
    return textConstants().get(wxString::FromUTF8(key));
}

wxString systemLanguageCode() {
    const int lang = wxUILocale::GetSystemLanguage();
    if (lang == wxLANGUAGE_UNKNOWN || lang == wxLANGUAGE_DEFAULT) return wxString();
    const wxLanguageInfo* info = wxUILocale::GetLanguageInfo(lang);
    if (!info) return wxString();
    return info->CanonicalName.Left(2);
}

wxString constantsFileFor(const wxString& appDir, const wxString& language) {
    if (!language.empty()) {
        const wxString localized = appDir + wxS("constants_") + language + wxS(".ini");
        if (wxFileExists(localized)) return localized;
    }
    return appDir + wxS("constants.ini");
}

bool loadTextConstants(const wxString& appDir, const wxString& language) {
    textConstants().load(constantsFileFor(appDir, language));
    return textConstants().isLoaded();
}

} // namespace qn
