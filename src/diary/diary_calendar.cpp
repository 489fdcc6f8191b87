#include "diary/diary_calendar.h"

#include <wx/wxcrt.h>

#include <utility>
#include <vector>

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
// A new node with its title and icon, placed among `parent`'s children by
// `op` and `ref` (as editChildren takes them).
Block* addNode(Database& db, Block& parent, const wxString& title, const wxString& icon,
               int op = CH_APPEND, int ref = 0) {
    Block* node = db.newNode(parent.id());
    if (!node) return nullptr;
    node->setString(K_cap, title);
    node->setString(K_i, icon);
    if (parent.editChildren(node->id(), op, ref) < 0) {
        db.deleteBlock(node->id()); // never in the file: gone at once
        return nullptr;
    }
    return node;
}

// The children of `parent` by their titles: what a calendar built before
// left there.
std::vector<std::pair<wxString, int>> childTitles(Database& db, Block& parent) {
    std::vector<std::pair<wxString, int>> out;
    for (int id : parent.getIntList(K_ch))
        if (Block* c = db.getBlock(id); c && c->isNode()) out.emplace_back(c->getString(K_cap), id);
    return out;
}

int idTitled(const std::vector<std::pair<wxString, int>>& children, const wxString& title) {
    for (const auto& [t, id] : children)
        if (t == title) return id;
    return 0;
}

// Makes one node for each title in `titles` that `parent` has no child of
// that title for, in the calendar's order: after the entry before it, or
// before the first one present when none comes before.  Each entry's node
// id is written to `ids`.  False when a node could not be made.
template <class Make>
bool ensureEntries(Database& db, Block& parent, const std::vector<wxString>& titles,
                   std::vector<int>& ids, Make&& make) {
    const auto children = childTitles(db, parent);
    ids.assign(titles.size(), 0);
    for (size_t i = 0; i < titles.size(); ++i)
        ids[i] = idTitled(children, titles[i]);
    int previous = 0;
    for (size_t i = 0; i < titles.size(); ++i) {
        if (!ids[i]) {
            int op = CH_APPEND, ref = 0;
            if (previous) {
                op = CH_INSERT_AFTER;
                ref = previous;
            } else {
                for (size_t j = i + 1; j < titles.size() && !ref; ++j)
                    if (ids[j]) {
                        op = CH_INSERT_BEFORE;
                        ref = ids[j];
                    }
            }
            Block* node = make(i, op, ref);
            if (!node) return false;
            ids[i] = node->id();
        }
        previous = ids[i];
    }
    return true;
}
} // namespace

int fillMonth(Database& db, Block& monthNode, int year, int month, int weekday,
              const DiaryLook& look) {
    const int days = daysInMonth(year, month);
    std::vector<wxString> titles;
    std::vector<int> weekdays;
    for (int d = 1; d <= days; ++d) {
        titles.push_back(dayTitle(look.pattern, look.names, month, weekday, d));
        weekdays.push_back(weekday);
        weekday = (weekday + 1) % 7;
    }
    std::vector<int> ids;
    const bool made = ensureEntries(db, monthNode, titles, ids, [&](size_t i, int op, int ref) {
        const int w = weekdays[i];
        const wxString& icon = w == 0 && look.markSundays     ? look.iconSunday
                               : w == 6 && look.markSaturdays ? look.iconSaturday
                                                              : look.iconDay;
        return addNode(db, monthNode, titles[i], icon, op, ref);
    });
    return made ? weekday : -1;
}

bool fillYear(Database& db, Block& yearNode, int year, const DiaryLook& look) {
    const std::vector<wxString> titles(look.names.monthFull.begin(), look.names.monthFull.end());
    std::vector<int> ids;
    if (!ensureEntries(db, yearNode, titles, ids, [&](size_t i, int op, int ref) {
            return addNode(db, yearNode, titles[i], look.iconMonth, op, ref);
        }))
        return false;
    int weekday = weekdayOf(year, 0, 1);
    for (int m = 0; m < 12; ++m) {
        Block* month = db.getBlock(ids[static_cast<size_t>(m)]);
        if (!month) return false;
        weekday = fillMonth(db, *month, year, m, weekday, look);
        if (weekday < 0) return false;
    }
    return true;
}

} // namespace qn
