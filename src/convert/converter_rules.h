// What the converter dialog decides without a window: which texts file it
// reads, the name it proposes for the new document, which destinations it
// refuses and how it explains a failed conversion.
#pragma once

#include <wx/string.h>

namespace qn {

class LegacyReader;

// appDir + "DBConv_const_" + language + ".ini" when that file exists,
// else appDir + "DBConv_const.ini". appDir ends with a path separator.
wxString converterTextsFile(const wxString& appDir, const wxString& language);

// The source with its extension replaced by "q2db" ("" for "").
wxString convertedName(const wxString& source);

// Whether two names mean the same file: "./a.qudb" and "a.qudb" do, and so
// do a link and the file it names.
bool sameFile(const wxString& a, const wxString& b);

// Why a pair of names cannot be converted, before anything is read.
enum class ConversionPaths {
    OK,
    MISSING,       // an entry is empty
    SAME_FILE,     // the destination is the source
    LEGACY_TARGET, // the destination has the old extension
};
ConversionPaths checkConversionPaths(const wxString& source, const wxString& destination);

// The option letters of the new protection end up in "cipher,hash,letters":
// a comma would split them.
bool validOptionLetters(const wxString& letters);

// The reasons the last convert() of `reader` gave, one a line, with the
// SQLite failure `sqliteRc` (0 for none) first.
wxString conversionFailureReason(const LegacyReader& reader, int sqliteRc);

} // namespace qn
