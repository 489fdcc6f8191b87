#include "article/replace_walk.h"

#include "article/text_search.h"

namespace qn {

long replaceWalk(const wxString& text, const wxString& search, const wxString& replacement,
                 long start, const ReplaceCalls& calls) {
    if (search.empty()) return -1;
    const long slen = static_cast<long>(search.length());
    const long rlen = static_cast<long>(replacement.length());
    wxString work = text;
    long pos = findForward(work, search, start, true);
    while (pos >= 0) {
        const int answer = calls.ask(pos);
        long next = pos;
        if (answer == REPLACE_YES || answer == REPLACE_LAST) {
            if (!calls.replaceOne(pos) || answer == REPLACE_LAST) return pos;
            work.replace(static_cast<size_t>(pos), static_cast<size_t>(slen), replacement);
            next = pos + rlen;
        } else if (answer == REPLACE_NO) {
            next = pos + slen;
        } else if (answer == REPLACE_ALL) {
            // This occurrence and every later one, without asking again:
            // built as one new span of the text, handed over at once.
            wxString rest;
            long copied = pos;
            for (long p = pos; p >= 0; p = findForward(work, search, copied, true)) {
                rest.append(work, static_cast<size_t>(copied), static_cast<size_t>(p - copied));
                rest += replacement;
                copied = p + slen;
            }
            calls.replaceRest(pos, copied, rest);
            return -1;
        } else {
            return pos;
        }
        pos = findForward(work, search, next, true);
    }
    return -1;
}

} // namespace qn
