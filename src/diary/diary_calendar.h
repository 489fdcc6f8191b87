// The calendar behind "Create diary": dates, day titles and the nodes of a
// year or a month, built in the document.  Window-free, so the tests reach
// every rule without a display.
#pragma once

#include "store/database.h"

#include <wx/string.h>

#include <array>

namespace qn {

// Proleptic Gregorian calendar; months 0 (January) to 11, weekdays
// 0 (Sunday) to 6.
bool isLeapYear(int year);
int daysInMonth(int year, int month);
int weekdayOf(int year, int month, int day);

// The year typed by the user: leading white space, a sign and digits; text
// that does not start with a number gives 0, anything after the number is
// ignored.
long parseYear(const wxString& text);
constexpr long kFirstDiaryYear = 1, kLastDiaryYear = 9999;

// Names of months and weekdays (from the text constants in the program).
struct CalendarNames {
    std::array<wxString, 12> monthFull, monthShort;
    std::array<wxString, 7> dayFull, dayShort;
};

// A day node's title: the pattern with "%M" (month), "%m" (short month),
// "%W" (weekday), "%w" (short weekday) and "%d" (day number) replaced; any
// other "%x", and a "%" at the end, gives a single "%".
wxString dayTitle(const wxString& pattern, const CalendarNames& names, int month, int weekday,
                  int day);

struct DiaryLook {
    CalendarNames names;
    wxString pattern; // of day titles
    wxString iconYear, iconMonth, iconDay, iconSunday, iconSaturday;
    bool markSundays = true, markSaturdays = true;
};

// Gives `monthNode` one child per day of `month`, the first on `weekday`;
// returns the weekday after the last day.  Days it has already (a child
// with the day's title, from a calendar made before) are kept and only the
// missing ones are made, each in its place among them.  -1 when a node
// could not be made (no id left, the month node unreadable).
int fillMonth(Database& db, Block& monthNode, int year, int month, int weekday,
              const DiaryLook& look);
// Gives `yearNode` its twelve month nodes, each filled with its days; as
// with days, months it has already are filled up rather than made again.
// False when a node could not be made.
bool fillYear(Database& db, Block& yearNode, int year, const DiaryLook& look);

} // namespace qn
