// Searching inside an article's text.  Positions are character indices, the
// same as the editor control's positions.
#pragma once

#include <wx/string.h>

namespace qn {

// Smallest position p >= start where the pattern occurs; -1 when none.
long findForward(const wxString& text, const wxString& pattern, long start, bool caseSensitive);
// Start of the rightmost occurrence whose last character lies at or before
// `last`; -1 when none.
long findBackward(const wxString& text, const wxString& pattern, long last, bool caseSensitive);

} // namespace qn
