// User-visible texts by key.
//
// Every text the user sees is looked up with qn::text("key") -- always this
// one function, always with the key as a string literal at the call site
// (text("s.Title"), wxString::Format(text("s.LineCol"), line, col)). A test
// scans the sources for text("...") and checks each key exists in every
// shipped language file, and that format keys get as many arguments as
// their texts expect. Keys built at run time escape that check: list them
// in the test instead.
//
// Key prefixes: "m." menu labels, "t." toolbar tips, "b." button labels,
// "s." messages, titles and labels, "pref." preferences dialog, "sch."
// search window, "c." calendar (diary) words.
#pragma once

#include <wx/string.h>

namespace qn {

class IniFile;

// The text of key in the loaded constants file; "" when the key is missing
// or no constants file is loaded yet.
wxString text(const wxString& key);
// The same for a literal key (keys are ASCII): text("s.Title").
wxString text(const char* key);

// The process-wide text constants object.
IniFile& textConstants();

// Two-letter ISO 639 code of the system language ("de" for de_DE), or ""
// when the toolkit does not know the language.
wxString systemLanguageCode();

// appDir + "constants_" + language + ".ini" when that file exists and the
// language is not empty, else appDir + "constants.ini". appDir ends with a
// path separator.
wxString constantsFileFor(const wxString& appDir, const wxString& language);

// Loads the constants file chosen for the language into textConstants();
// false when that file cannot be opened.
bool loadTextConstants(const wxString& appDir, const wxString& language);

} // namespace qn
