#include "app/placeholders.h"

namespace qn {

wxString fillPlaceholders(const wxString& format, const std::vector<wxString>& fields) {
    wxString out;
    size_t next = 0;
    const size_t n = format.length();
    for (size_t i = 0; i < n; ++i) {
        if (format[i] != '%' || i + 1 >= n) {
            out += format[i];
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        size_t k = i + 1;
        if (format[k] == 'l' && k + 1 < n) ++k;
        const wxUniChar kind = format[k];
        if (kind == 's' || kind == 'd' || kind == 'u') {
            if (next < fields.size()) out += fields[next];
            ++next;
            i = k;
        } else {
            out += format[i];
        }
    }
    return out;
}

} // namespace qn
