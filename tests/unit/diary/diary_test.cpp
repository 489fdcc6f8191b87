// The diary's calendar: dates, titles and the nodes it makes.
#include "diary/diary_calendar.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace qn;

TEST(Diary, CalendarArithmetic) {
    struct Case {
        int year, month, day, weekday;
    } days[] = {
        {2024, 0, 1, 1},  {2024, 1, 1, 4},  {2024, 1, 29, 4}, {2023, 9, 1, 0},
        {2000, 1, 29, 2}, {1900, 2, 1, 4},  {1, 0, 1, 1},     {9999, 11, 31, 5},
        {1970, 0, 1, 4},  {2038, 0, 19, 2},
    };
    for (const Case& c : days)
        EXPECT_EQ(weekdayOf(c.year, c.month, c.day), c.weekday)
            << c.year << "-" << c.month + 1 << "-" << c.day;
    struct Leap {
        int year;
        bool leap;
    } leaps[] = {{1900, false}, {2000, true}, {2023, false}, {2024, true}, {2100, false}, {4, true}};
    for (const Leap& l : leaps) {
        EXPECT_EQ(isLeapYear(l.year), l.leap) << l.year;
        EXPECT_EQ(daysInMonth(l.year, 1), l.leap ? 29 : 28) << l.year;
    }
    EXPECT_EQ(daysInMonth(2024, 3), 30);
    EXPECT_EQ(daysInMonth(2024, 11), 31);
}

TEST(Diary, YearText) {
    struct Case {
        const char* text;
        long year;
    } cases[] = {{"2024", 2024}, {"  2024", 2024}, {"2024 AD", 2024}, {"+12", 12},
                 {"-5", -5},     {"abc", 0},       {"", 0}};
    for (const Case& c : cases)
        EXPECT_EQ(parseYear(wxString::FromUTF8(c.text)), c.year) << c.text;
    // Far too many digits: out of range, never wrapped into a valid year.
    EXPECT_GT(parseYear(wxS("99999999999999999999")), kLastDiaryYear);
}

TEST(Diary, DayTitles) {
    CalendarNames names;
    const char* full[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
                          "Saturday"};
    for (int d = 0; d < 7; ++d) {
        names.dayFull[d] = wxString::FromAscii(full[d]);
        names.dayShort[d] = wxString::FromAscii(full[d]).Left(3);
    }
    names.monthFull[1] = wxS("February");
    names.monthShort[1] = wxS("Feb");
    struct Case {
        const char* pattern;
        const char* title;
    } cases[] = {
        {"%d (%w)", "1 (Sun)"},   {"%W, %d. %M", "Sunday, 1. February"}, {"%m %d", "Feb 1"},
        {"day %", "day %"},       {"%x%d", "%1"},                       {"100%%", "100%"},
        {"plain", "plain"},       {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dayTitle(wxString::FromUTF8(c.pattern), names, 1, 0, 1), wxString::FromUTF8(c.title))
            << c.pattern;
}

namespace {
DiaryLook testLook() {
    DiaryLook look;
    for (int m = 0; m < 12; ++m)
        look.names.monthFull[m] = wxString::Format(wxS("M%d"), m + 1);
    for (int d = 0; d < 7; ++d)
        look.names.dayShort[d] = wxString::Format(wxS("w%d"), d);
    look.pattern = wxS("%d %w");
    look.iconYear = wxS("year");
    look.iconMonth = wxS("month");
    look.iconDay = wxS("day");
    look.iconSunday = wxS("sun");
    look.iconSaturday = wxS("sat");
    return look;
}
} // namespace

TEST(Diary, AYearOfMonthsAndDays) {
    Database db;
    Block* root = db.newDocument();
    Block* existing = db.newNode(1);
    root->editChildren(existing->id(), CH_APPEND);
    ASSERT_TRUE(fillYear(db, *root, 2024, testLook()));
    const std::vector<int> months = root->getIntList(K_ch);
    ASSERT_EQ(months.size(), 13u); // the child it had stays first
    EXPECT_EQ(months[0], existing->id());
    const int expected[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int m = 0; m < 12; ++m) {
        Block* month = db.getBlock(months[m + 1]);
        EXPECT_EQ(month->getString(K_cap), wxString::Format(wxS("M%d"), m + 1));
        EXPECT_EQ(month->getString(K_i), wxS("month"));
        EXPECT_EQ(month->getIntList(K_ch).size(), static_cast<size_t>(expected[m])) << m;
    }
    // 1 January 2024 is a Monday; the 7th a Sunday; 1 February a Thursday.
    const std::vector<int> jan = db.getBlock(months[1])->getIntList(K_ch);
    EXPECT_EQ(db.getBlock(jan[0])->getString(K_cap), wxS("1 w1"));
    EXPECT_EQ(db.getBlock(jan[0])->getString(K_i), wxS("day"));
    EXPECT_EQ(db.getBlock(jan[5])->getString(K_i), wxS("sat"));
    EXPECT_EQ(db.getBlock(jan[6])->getString(K_i), wxS("sun"));
    EXPECT_EQ(db.getBlock(jan[6])->parent(), months[1]);
    const std::vector<int> feb = db.getBlock(months[2])->getIntList(K_ch);
    EXPECT_EQ(db.getBlock(feb[0])->getString(K_cap), wxS("1 w4"));
}

TEST(Diary, AMonthWithoutMarkedDays) {
    Database db;
    Block* root = db.newDocument();
    DiaryLook look = testLook();
    look.markSundays = look.markSaturdays = false;
    EXPECT_EQ(fillMonth(db, *root, 2023, 1, weekdayOf(2023, 1, 1), look), 3); // March 1 2023: Wed
    const std::vector<int> days = root->getIntList(K_ch);
    ASSERT_EQ(days.size(), 28u);
    for (int id : days)
        EXPECT_EQ(db.getBlock(id)->getString(K_i), wxS("day"));
}

// A calendar made again over one made before adds only what is missing,
// each month and day in its place, and leaves the rest as it is.
TEST(Diary, MakingItAgainFillsInOnlyWhatIsMissing) {
    Database db;
    Block* root = db.newDocument();
    const DiaryLook look = testLook();
    ASSERT_TRUE(fillYear(db, *root, 2024, look));
    const size_t blocks = db.blocks().size();
    ASSERT_TRUE(fillYear(db, *root, 2024, look));
    EXPECT_EQ(db.blocks().size(), blocks); // nothing doubled
    ASSERT_EQ(root->getIntList(K_ch).size(), 12u);

    // The user deleted March, and January's first and 15th day, and wrote
    // into the 2nd.
    std::vector<int> months = root->getIntList(K_ch);
    Block* jan = db.getBlock(months[0]);
    std::vector<int> days = jan->getIntList(K_ch);
    db.getBlock(days[1])->setText(wxS("kept"));
    for (int id : {days[0], days[14]}) {
        jan->editChildren(id, CH_REMOVE);
        db.deleteBlock(id);
    }
    root->editChildren(months[2], CH_REMOVE);
    db.deleteBlock(months[2]);

    ASSERT_TRUE(fillYear(db, *root, 2024, look));
    months = root->getIntList(K_ch);
    ASSERT_EQ(months.size(), 12u);
    for (int m = 0; m < 12; ++m)
        EXPECT_EQ(db.getBlock(months[m])->getString(K_cap), wxString::Format(wxS("M%d"), m + 1));
    EXPECT_EQ(db.getBlock(months[2])->getIntList(K_ch).size(), 31u);
    days = jan->getIntList(K_ch);
    ASSERT_EQ(days.size(), 31u);
    for (int d = 0; d < 31; ++d)
        EXPECT_EQ(db.getBlock(days[d])->getString(K_cap).BeforeFirst(' '),
                  wxString::Format(wxS("%d"), d + 1));
    EXPECT_EQ(db.getBlock(days[1])->text(), wxS("kept"));
    EXPECT_EQ(db.getBlock(days[14])->getString(K_i), wxS("day")); // 15 January: a Monday
}
