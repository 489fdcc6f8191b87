// The walk of the interactive replace over a text, without a window: it
// finds each exact occurrence of the search text from a start position,
// asks what to do with it and carries the answer out through the caller.
#pragma once

#include <wx/string.h>

#include <functional>

namespace qn {

// Answers for one occurrence (the button ids of the replace question).
enum ReplaceAnswer {
    REPLACE_YES = 5103,  // replace it and go on
    REPLACE_NO = 5104,   // leave it and go on
    REPLACE_LAST = 3,    // replace it and stop
    REPLACE_ALL = 4,     // replace it and every later one without asking
    REPLACE_QUIT = 5101, // stop
};

struct ReplaceCalls {
    // Shows the occurrence at `pos` and returns a ReplaceAnswer.
    std::function<int(long pos)> ask;
    // Replaces the occurrence at `pos` in the text (Yes and Last); false
    // when it could not (the walk then stops there).
    std::function<bool(long pos)> replaceOne;
    // After All: replaces the characters [from, to) of the text, as it was
    // when All was chosen, with `with`; called once.
    std::function<void(long from, long to, const wxString& with)> replaceRest;
};

// Walks `text` from `start`; returns the position of the occurrence the walk
// stopped at (Last, Quit or an unknown answer), or -1 when it ran out of
// occurrences.  The search goes on after an inserted replacement, so a
// replacement that holds the search text never loops.
long replaceWalk(const wxString& text, const wxString& search, const wxString& replacement,
                 long start, const ReplaceCalls& calls);

} // namespace qn
