#include "convert/converter_rules.h"

#include "store/legacy.h"
#include "store/safe_file.h"

#include <wx/filefn.h>
#include <wx/filename.h>

#include <sys/stat.h>

namespace qn {

wxString converterTextsFile(const wxString& appDir, const wxString& language) {
    if (!language.empty()) {
        const wxString localised = appDir + wxS("DBConv_const_") + language + wxS(".ini");
        if (wxFileExists(localised)) return localised;
    }
    return appDir + wxS("DBConv_const.ini");
}

wxString convertedName(const wxString& source) {
    if (source.empty()) return wxString();
    wxFileName name(source);
    name.SetExt(wxS("q2db"));
    return name.GetFullPath();
}

bool sameFile(const wxString& a, const wxString& b) {
    if (a.empty() || b.empty()) return false;
    wxFileName fa(a), fb(b);
    fa.MakeAbsolute();
    fb.MakeAbsolute();
    if (fa.SameAs(fb)) return true;
    // Different names can still lead to one file (links, "..", bind mounts).
    struct stat sa, sb;
    return ::stat(fa.GetFullPath().fn_str(), &sa) == 0 &&
           ::stat(fb.GetFullPath().fn_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

ConversionPaths checkConversionPaths(const wxString& source, const wxString& destination) {
    if (source.empty() || destination.empty()) return ConversionPaths::MISSING;
    if (sameFile(source, destination)) return ConversionPaths::SAME_FILE;
    // Old documents are only ever read: a new one under the old extension
    // would be sent back to the converter when opened.
    if (destination.Lower().EndsWith(wxS(".qudb"))) return ConversionPaths::LEGACY_TARGET;
    return ConversionPaths::OK;
}

bool validOptionLetters(const wxString& letters) {
    return letters.Find(',') == wxNOT_FOUND;
}

wxString conversionFailureReason(const LegacyReader& reader, int sqliteRc) {
    wxString why;
    if (sqliteRc != 0) why = sqliteReason(sqliteRc);
    for (const wxString& line : reader.messages()) {
        if (!why.empty()) why += wxS("\n");
        why += line;
    }
    return why;
}

} // namespace qn
