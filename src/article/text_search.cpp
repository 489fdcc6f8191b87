#include "article/text_search.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace qn {

namespace {

// Lowering that does not depend on the process locale: a program still in
// the "C" locale would otherwise compare only ASCII letters without case.
wchar_t lower(wchar_t c) {
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (utf8) return static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), utf8));
    return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

bool matchesAt(const wxString& text, const wxString& pattern, size_t p, bool caseSensitive) {
    for (size_t k = 0; k < pattern.length(); ++k) {
        wxUniChar a = text[p + k], b = pattern[k];
        if (a == b) continue;
        if (caseSensitive) return false;
        if (lower(static_cast<wchar_t>(a.GetValue())) != lower(static_cast<wchar_t>(b.GetValue())))
            return false;
    }
    return true;
}

} // namespace

long findForward(const wxString& text, const wxString& pattern, long start, bool caseSensitive) {
    const long n = static_cast<long>(text.length()), m = static_cast<long>(pattern.length());
    if (m == 0) return -1;
    if (start < 0) start = 0;
    for (long p = start; p + m <= n; ++p)
        if (matchesAt(text, pattern, static_cast<size_t>(p), caseSensitive)) return p;
    return -1;
}

long findBackward(const wxString& text, const wxString& pattern, long last, bool caseSensitive) {
    const long n = static_cast<long>(text.length()), m = static_cast<long>(pattern.length());
    if (m == 0 || last < 0) return -1;
    if (last > n - 1) last = n - 1;
    for (long p = last - m + 1; p >= 0; --p)
        if (matchesAt(text, pattern, static_cast<size_t>(p), caseSensitive)) return p;
    return -1;
}

} // namespace qn
