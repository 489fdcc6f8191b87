#include "article/text_search.h"

#include "store/utf8_text.h"

#include <string_view>

namespace qn {

namespace {

bool matchesExactly(const wxString& text, const wxString& pattern, size_t p) {
    return text.compare(p, pattern.length(), pattern) == 0;
}

} // namespace

long findForward(const wxString& text, const wxString& pattern, long start, bool caseSensitive,
                 long* length) {
    if (pattern.empty()) return -1;
    if (start < 0) start = 0;
    if (start > static_cast<long>(text.length())) return -1;
    size_t pos = wxString::npos, end = 0;
    if (caseSensitive) {
        pos = text.find(pattern, static_cast<size_t>(start));
        end = pos + pattern.length();
    } else {
        const FoldedFinder finder(pattern);
        pos = finder.find(text, static_cast<size_t>(start), end);
        if (pos == std::string_view::npos) pos = wxString::npos;
    }
    if (pos == wxString::npos) return -1;
    if (length) *length = static_cast<long>(end - pos);
    return static_cast<long>(pos);
}

long findBackward(const wxString& text, const wxString& pattern, long last, bool caseSensitive,
                  long* length) {
    const long n = static_cast<long>(text.length());
    if (pattern.empty() || last < 0) return -1;
    if (last > n - 1) last = n - 1;
    if (caseSensitive) {
        const long m = static_cast<long>(pattern.length());
        for (long p = last - m + 1; p >= 0; --p)
            if (matchesExactly(text, pattern, static_cast<size_t>(p))) {
                if (length) *length = m;
                return p;
            }
        return -1;
    }
    const FoldedFinder finder(pattern);
    for (long p = last; p >= 0; --p) {
        size_t end = 0;
        if (finder.matchesAt(text, static_cast<size_t>(p), end) &&
            static_cast<long>(end) <= last + 1) {
            if (length) *length = static_cast<long>(end) - p;
            return p;
        }
    }
    return -1;
}

} // namespace qn
