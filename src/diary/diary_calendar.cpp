#include "diary/diary_calendar.h"

#include <wx/wxcrt.h>

namespace qn {

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 0 || month > 11) return 0;
    return month == 1 && isLeapYear(year) ? 29 : days[month];
}

int weekdayOf(int year, int month, int day) {
    // Sakamoto's method: pure arithmetic, no time zone or C library date.
    static const int offset[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 2) --year;
    const long y = year;
    return static_cast<int>(((y + y / 4 - y / 100 + y / 400 + offset[month] + day) % 7 + 7) % 7);
}

long parseYear(const wxString& text) {
    size_t i = 0;
    while (i < text.length() && wxIsspace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.length() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long value = 0;
    bool any = false;
    for (; i < text.length() && text[i] >= '0' && text[i] <= '9'; ++i) {
        any = true;
        if (value < 100000000) value = value * 10 + (text[i] - '0'); // far beyond any year
    }
    if (!any) return 0;
    return negative ? -value : value;
}

wxString dayTitle(const wxString& pattern, const CalendarNames& names, int month, int weekday,
                  int day) {
    wxString out;
    for (size_t i = 0; i < pattern.length(); ++i) {
        const wxUniChar c = pattern[i];
        if (c != '%') {
            out += c;
            continue;
        }
        const wxUniChar next = i + 1 < pattern.length() ? pattern[i + 1] : wxUniChar(0);
        ++i; // the character after "%" is used up either way
        if (next == 'M')
            out += names.monthFull[month];
        else if (next == 'm')
            out += names.monthShort[month];
        else if (next == 'W')
            out += names.dayFull[weekday];
        else if (next == 'w')
            out += names.dayShort[weekday];
        else if (next == 'd')
            out += wxString::Format(wxS("%d"), day);
        else
            out += '%';
    }
    return out;
}

namespace {
// A new node with its title and icon, appended to `parent`'s children.
Block* addNode(Database& db, Block& parent, const wxString& title, const wxString& icon) {
    Block* node = db.newNode(parent.id());
    if (!node) return nullptr;
    node->setString(K_cap, title);
    node->setString(K_i, icon);
    if (parent.editChildren(node->id(), CH_APPEND) < 0) {
        db.deleteBlock(node->id()); // never in the file: gone at once
        return nullptr;
    }
    return node;
}
} // namespace

int fillMonth(Database& db, Block& monthNode, int year, int month, int weekday,
              const DiaryLook& look) {
    const int days = daysInMonth(year, month);
    for (int d = 1; d <= days; ++d) {
        const wxString& icon = weekday == 0 && look.markSundays     ? look.iconSunday
                               : weekday == 6 && look.markSaturdays ? look.iconSaturday
                                                                    : look.iconDay;
        if (!addNode(db, monthNode, dayTitle(look.pattern, look.names, month, weekday, d), icon))
            return -1;
        weekday = (weekday + 1) % 7;
    }
    return weekday;
}

bool fillYear(Database& db, Block& yearNode, int year, const DiaryLook& look) {
    int weekday = weekdayOf(year, 0, 1);
    for (int m = 0; m < 12; ++m) {
        Block* month = addNode(db, yearNode, look.names.monthFull[m], look.iconMonth);
        if (!month) return false;
        weekday = fillMonth(db, *month, year, m, weekday, look);
        if (weekday < 0) return false;
    }
    return true;
}

} // namespace qn
