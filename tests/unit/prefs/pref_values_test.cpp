// The rules of the preferences dialog without a window: number fields,
// "save" flags and the favourites text.
#include "prefs/pref_values.h"

#include "app/file_list.h"
#include "app/ini_file.h"

#include "test_util.h"

#include <wx/ffile.h>

#include <gtest/gtest.h>

using namespace qn;

namespace {

TEST(PrefValues, NumberFields) {
    const struct {
        const char* text;
        int min, max;
        bool ok;
        int value;
    } cases[] = {
        // text, range, accepted, value
        {"30", 0, 1000, true, 30},
        {" 7 ", 0, 1000, true, 7},
        {"0", 0, 1000, true, 0},
        {"1000", 0, 1000, true, 1000},
        {"1001", 0, 1000, false, 0},
        {"0", 1, 100, false, 0},
        {"", 0, 1000, false, 0},
        {"1o", 1, 100, false, 0}, // the typo that would cut the recent list to one
        {"-3", 0, 1000, false, 0},
        {"+3", 0, 1000, false, 0},
        {"2.5", 0, 1000, false, 0},
        {"99999999999999999999", 0, 1000000, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int value = -1;
        EXPECT_EQ(parseNumberField(wxString::FromUTF8(c.text), c.min, c.max, value), c.ok);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
    }
}

TEST(PrefValues, SaveFlags) {
    const struct {
        const char* save;
        std::array<bool, 4> flags;
        const char* written;
    } cases[] = {
        // stored value, the four boxes, value written
        {"1010", {true, true, true, true}, "1111"},
        {"1111", {false, false, false, false}, "0000"},
        {"", {true, false, false, true}, "1001"}, // padded before the flags are set
        {"1", {false, true, false, false}, "0100"},
        {"101011", {false, false, false, false}, "000011"}, // further characters kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.save);
        EXPECT_EQ(withSaveFlags(wxString::FromUTF8(c.save), c.flags),
                  wxString::FromUTF8(c.written));
    }
    // Shown checked: 1, 0, 1, 0 checks positions 0 and 2; beyond the end
    // reads as not checked.
    const bool shown[] = {saveFlag(wxS("1010"), 0), saveFlag(wxS("1010"), 1),
                          saveFlag(wxS("1010"), 2), saveFlag(wxS("1010"), 3),
                          saveFlag(wxS("1"), 3)};
    EXPECT_EQ(std::vector<bool>(std::begin(shown), std::end(shown)),
              (std::vector<bool>{true, false, true, false, false}));
}

TEST(PrefValues, NothingIsWrittenUnlessEveryNumberIsValid) {
    IniFile store;
    const std::string text = "maxTextHistory=30\nmaxrecent=10\nmaxSearchCount=500\nsave=1010\n"
                             "backupCount=5\nbackupLocation=0\nremoteImages=0\n";
    store.loadBytes(text.data(), text.size());
    SettingsPageValues v;
    v.numbers = {wxS("40"), wxS("1o"), wxS("600"), wxS("0")};
    v.backupsInDataFolder = true;
    v.loadRemoteImages = true;
    v.flags = {true, true, true, true};
    EXPECT_EQ(firstInvalidNumber(v), 1);
    EXPECT_FALSE(writeSettingsPage(store, v));
    EXPECT_FALSE(store.isChanged());
    EXPECT_EQ(store.get(wxS("maxTextHistory")), wxS("30"));
    EXPECT_EQ(store.get(wxS("save")), wxS("1010"));
    EXPECT_EQ(store.get(wxS("backupLocation")), wxS("0"));
    EXPECT_EQ(store.get(wxS("remoteImages")), wxS("0"));

    v.numbers[1] = wxS(" 12");
    EXPECT_EQ(firstInvalidNumber(v), -1);
    EXPECT_TRUE(writeSettingsPage(store, v));
    EXPECT_EQ(store.get(wxS("maxTextHistory")), wxS("40"));
    EXPECT_EQ(store.get(wxS("maxrecent")), wxS("12")); // stored as a number
    EXPECT_EQ(store.get(wxS("maxSearchCount")), wxS("600"));
    EXPECT_EQ(store.get(wxS("save")), wxS("1111"));
    EXPECT_EQ(store.get(wxS("backupCount")), wxS("0")); // backups off
    EXPECT_EQ(store.get(wxS("backupLocation")), wxS("1"));
    EXPECT_EQ(store.get(wxS("remoteImages")), wxS("1"));

    v.numbers[3] = wxS("1001"); // beyond the backup limit
    EXPECT_EQ(firstInvalidNumber(v), 3);
}

TEST(PrefValues, FavouritesFromText) {
    IniFile store;
    store.loadBytes("", 0);
    FileList favourites(store, wxS("favourite"));
    favourites.append(wxS("/old.q2db"));
    // Two paths with an empty line between them, Windows line ends too.
    // A line of blanks is no path either.
    replaceFavourites(favourites, wxS("/a b.q2db\n\n  \t\n/c.q2db\r\n"));
    EXPECT_EQ(favourites.entries(), (std::vector<wxString>{wxS("/a b.q2db"), wxS("/c.q2db")}));
    EXPECT_TRUE(favourites.isChanged());
    EXPECT_TRUE(favouriteLines(wxString()).empty());

    // Paths that lead nowhere are named.
    qn::test::TempDir dir;
    const wxString there = dir.file("there.q2db");
    wxFFile(there, wxS("wb")).Write(wxS("x"));
    EXPECT_EQ(missingFavourites(there + wxS("\n/nowhere/gone.q2db\n")),
              (std::vector<wxString>{wxS("/nowhere/gone.q2db")}));

    EXPECT_EQ(fieldName(wxS("Recent files:")), wxS("Recent files"));
    EXPECT_EQ(fieldName(wxS("&Size")), wxS("Size"));
}

} // namespace
