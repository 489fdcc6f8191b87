// Texts from the constants files with placeholders filled in.  A translated
// text may hold other or fewer placeholders than the program expects: the
// filler never reads past its fields and never crashes.
#pragma once

#include <wx/string.h>

#include <vector>

namespace qn {

// Replaces each "%s", "%d", "%u" (also with an "l" between: "%ld", "%lu")
// in order with the next of `fields`, already formatted; "%%" gives "%";
// a placeholder without a field left gives nothing.  Any other "%" is kept.
wxString fillPlaceholders(const wxString& format, const std::vector<wxString>& fields);

} // namespace qn
