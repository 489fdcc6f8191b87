// Searching inside an article's text.  Positions are character indices, the
// same as the editor control's positions.  Without case the text and the
// pattern are folded fully, the same in every locale, so a hit may be
// longer or shorter than the pattern ("STRASSE" for "straße"): `length`,
// when given, receives the hit's length in the text.
#pragma once

#include <wx/string.h>

namespace qn {

// Smallest position p >= start where the pattern occurs; -1 when none.
long findForward(const wxString& text, const wxString& pattern, long start, bool caseSensitive,
                 long* length = nullptr);
// Start of the rightmost occurrence whose last character lies at or before
// `last`; -1 when none.
long findBackward(const wxString& text, const wxString& pattern, long last, bool caseSensitive,
                  long* length = nullptr);

} // namespace qn
