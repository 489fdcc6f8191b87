#include "app/ini_file.h"

#include "test_util.h"

#include <wx/filefn.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace qn {
namespace {

std::string slurp(const wxString& path) {
    std::ifstream in(std::string(path.fn_str()), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spit(const wxString& path, const std::string& bytes) {
    std::ofstream out(std::string(path.fn_str()), std::ios::binary);
    out << bytes;
}

IniFile parsed(const std::string& bytes) {
    IniFile ini;
    ini.loadBytes(bytes.data(), bytes.size());
    return ini;
}

wxString U(const char* s) {
    return wxString::FromUTF8(s);
}

TEST(IniFileLoad, LinesCommentsEscapesAndKeys) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* key;
        const char* value;
        bool present;
    };
    const Case cases[] = {
        {"LF", "a=1\nb=2\n", "b", "2", true},
        {"CRLF", "a=1\r\nb=2\r\n", "b", "2", true},
        {"CR only", "a=1\rb=2\r", "b", "2", true},
        {"last line without end", "a=1\nb=2", "b", "2", true},
        {"dollar key escapes", "s.Msg$=first\\nsecond\\tx\\q\n", "s.Msg", "first\nsecond\tx\\q",
         true},
        {"without dollar the backslash stays", "s.Msg=first\\nsecond\n", "s.Msg", "first\\nsecond",
         true},
        {"dollar key is stored without the dollar", "s.Msg$=x\n", "s.Msg$", "", false},
        {"spaces around = belong to key and value", "key = value\n", "key ", " value", true},
        {"leading spaces are no comment", " #k=v\n", " #k", "v", true},
        {"hash comment", "#k=v\n", "#k", "", false},
        {"semicolon comment", ";k=v\n", ";k", "", false},
        {"section header ignored", "[general]\nk=v\n", "[general]", "", false},
        {"value keeps further =", "url=C:\\a=b.txt\n", "url", "C:\\a=b.txt", true},
        {"later line replaces earlier", "k=1\nk=2\n", "k", "2", true},
        {"empty key is a key", "=v\n", "", "v", true},
        {"utf-8 byte-order mark is skipped", "\xEF\xBB\xBFk=v\n", "k", "v", true},
        {"utf-8 text", "k=gr\xC3\xBC\xC3\x9F\n", "k", "gr\xC3\xBC\xC3\x9F", true},
        // Bytes that are not valid UTF-8 are kept (read as Latin-1).
        {"invalid utf-8 kept", "k=\xE4\n", "k", "\xC3\xA4", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IniFile ini = parsed(c.bytes);
        EXPECT_TRUE(ini.isLoaded());
        EXPECT_EQ(ini.has(U(c.key)), c.present);
        if (c.present) {
            EXPECT_EQ(ini.get(U(c.key)), U(c.value));
        }
    }
}

TEST(IniFileLoad, MissingFileStaysNotLoadedAndEmptyPathToo) {
    test::TempDir dir;
    IniFile missing(dir.file("nope.ini"));
    EXPECT_FALSE(missing.isLoaded());
    EXPECT_EQ(missing.path(), dir.file("nope.ini"));
    IniFile empty{wxString()};
    EXPECT_FALSE(empty.isLoaded());
    // Lookups still work and yield the documented defaults.
    EXPECT_EQ(missing.get(wxS("x")), wxString());
    EXPECT_EQ(missing.getInt(wxS("x")), 0);
    EXPECT_EQ(missing.getColour(wxS("x")), wxColour(0, 0, 0));
    EXPECT_TRUE(missing.getIntList(wxS("x")).empty());
}

TEST(IniFileGetters, GetInt) {
    const std::pair<const char*, int> cases[] = {
        {"12", 12},
        {"-5", -5},
        {"+7", 7},
        {"12x", 0},
        {" 12", 0},
        {"", 0},
        {"x", 0},
        {"-", 0},
        {"0", 0},
        {"2147483647", 2147483647},
        {"2147483648", 0},
        {"-2147483648", -2147483647 - 1},
        {"99999999999999999999", 0},
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value);
        IniFile ini = parsed(std::string("k=") + value + "\n");
        EXPECT_EQ(ini.getInt(wxS("k")), expected);
    }
}

TEST(IniFileGetters, GetIntArrayAndList) {
    struct Case {
        const char* value;
        int stored;
        std::vector<int> slots; // the four slots after the call (defaults 7)
        std::vector<int> list;
    };
    const Case cases[] = {
        {"1,,3", 3, {1, 0, 3, 7}, {1, 0, 3}},
        {"12x", 1, {12, 7, 7, 7}, {12}},
        {"10,20,30,40,50,60", 4, {10, 20, 30, 40}, {10, 20, 30, 40, 50, 60}},
        {"", 0, {7, 7, 7, 7}, {}},
        {"5,", 2, {5, 0, 7, 7}, {5, 0}},
        {"-8,x9, 4", 3, {-8, 0, 4, 7}, {-8, 0, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        IniFile ini = parsed(std::string("k=") + c.value + "\n");
        int slots[4] = {7, 7, 7, 7};
        EXPECT_EQ(ini.getIntArray(wxS("k"), slots), c.stored);
        EXPECT_EQ(std::vector<int>(slots, slots + 4), c.slots);
        EXPECT_EQ(ini.getIntList(wxS("k")), c.list);
    }
    // A missing key leaves the caller's defaults alone.
    IniFile ini = parsed("");
    int slots[4] = {1, 2, 3, 4};
    EXPECT_EQ(ini.getIntArray(wxS("miniframe"), slots), 0);
    EXPECT_EQ(std::vector<int>(slots, slots + 4), (std::vector<int>{1, 2, 3, 4}));
}

TEST(IniFileGetters, Colours) {
    const std::pair<const char*, wxColour> cases[] = {
        {"FF8000", wxColour(255, 128, 0)}, {"ff8000", wxColour(255, 128, 0)},
        {"", wxColour(0, 0, 0)},           {"FF", wxColour(255, 0, 0)},
        {"F", wxColour(15, 0, 0)},         {"G08000", wxColour(0, 128, 0)},
        {"1G2H3I", wxColour(1, 2, 3)},     {"FFFFFFAA", wxColour(255, 255, 255)},
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value);
        IniFile ini = parsed(std::string("c=") + value + "\n");
        EXPECT_EQ(ini.getColour(wxS("c")), expected);
    }
    IniFile ini = parsed("");
    ini.setColour(wxS("c"), wxColour(255, 128, 0));
    EXPECT_EQ(ini.get(wxS("c")), wxS("FF8000"));
    ini.setColour(wxS("c"), wxColour(1, 2, 171));
    EXPECT_EQ(ini.get(wxS("c")), wxS("0102AB"));
}

TEST(IniFileSetters, FormatsAndChangedFlag) {
    IniFile ini = parsed("a=1\n");
    ini.get(wxS("missing"));
    EXPECT_FALSE(ini.isChanged()) << "a lookup does not count as a change";
    ini.setInt(wxS("n"), -42);
    EXPECT_TRUE(ini.isChanged());
    EXPECT_EQ(ini.get(wxS("n")), wxS("-42"));
    const int v[] = {1, -2, 3};
    ini.setIntArray(wxS("l"), v, 3);
    EXPECT_EQ(ini.get(wxS("l")), wxS("1,-2,3"));
    ini.setIntArray(wxS("l"), std::vector<int>{});
    EXPECT_EQ(ini.get(wxS("l")), wxString());
    ini.set(wxS("a"), wxS("2"));
    EXPECT_EQ(ini.get(wxS("a")), wxS("2"));
}

TEST(IniFileSave, WritesSortedEntriesIncludingKeysOnlyRead) {
    test::TempDir dir;
    const wxString path = dir.file("settings.ini");
    spit(path, "# comment\nzeta=1\nalpha=2\n");
    IniFile ini(path);
    ASSERT_TRUE(ini.isLoaded());
    ini.get(wxS("readOnly"));
    ini.set(wxS("Beta"), wxS("3"));
    ASSERT_TRUE(ini.save());
    // Upper case sorts before lower case; a key only read is kept, empty.
    EXPECT_EQ(slurp(path), "Beta=3\nalpha=2\nreadOnly=\nzeta=1\n");
    EXPECT_EQ(slurp(path + wxS(".OLD")), "# comment\nzeta=1\nalpha=2\n");
    EXPECT_FALSE(wxFileExists(path + wxS(".$$$")));
}

TEST(IniFileSave, NothingWrittenUnlessLoadedAndChanged) {
    test::TempDir dir;
    const wxString path = dir.file("settings.ini");
    spit(path, "k=v\n");
    IniFile unchanged(path);
    unchanged.get(wxS("other"));
    EXPECT_TRUE(unchanged.save());
    EXPECT_EQ(slurp(path), "k=v\n");
    EXPECT_FALSE(wxFileExists(path + wxS(".OLD")));

    IniFile notLoaded(dir.file("absent.ini"));
    notLoaded.set(wxS("k"), wxS("v"));
    EXPECT_TRUE(notLoaded.save());
    EXPECT_FALSE(wxFileExists(dir.file("absent.ini")));
}

TEST(IniFileSave, KeyOrderIsUtf16) {
    // U+FF21 (fullwidth A) sorts after U+1F600 in UTF-16 code units, before
    // it in code points.
    IniFile ini = parsed("");
    const wxString high = wxString::FromUTF8("\xEF\xBC\xA1");
    const wxString astral = wxString::FromUTF8("\xF0\x9F\x98\x80");
    ini.set(high, wxS("1"));
    ini.set(astral, wxS("2"));
    ini.set(wxS("z"), wxS("3"));
    std::vector<wxString> order;
    for (const auto& e : ini.entries())
        order.push_back(e.first);
    EXPECT_EQ(order, (std::vector<wxString>{wxS("z"), astral, high}));
}

TEST(IniFileSave, RoundTripOfTextTheFormatCannotHoldPlainly) {
    test::TempDir dir;
    const wxString path = dir.file("settings.ini");
    spit(path, "");
    IniFile ini(path);
    const wxString multi = wxS("line one\nline two\tend");
    const wxString uml = wxString::FromUTF8("/home/j\xC3\xBCrgen/notes.q2db");
    ini.set(wxS("s.multi"), multi);
    ini.set(wxS("recentfile1"), uml);
    ASSERT_TRUE(ini.save());
    IniFile back(path);
    EXPECT_EQ(back.get(wxS("s.multi")), multi);
    EXPECT_EQ(back.get(wxS("recentfile1")), uml);
    EXPECT_EQ(back.entries().size(), 2u);
}

// The old settings file must survive every failure of a save.
TEST(IniFileSave, FailuresLeaveTheOldFileWhole) {
    const std::string original = "maxrecent=10\nrecentfile1=/a.q2db\n";
    struct Case {
        const char* name;
        void (*block)(const wxString& path);
        bool newContentInTemp;
    };
    const Case cases[] = {
        // The temporary file cannot be created (read-only folder, full disk).
        {"temp file not writable", [](const wxString& path) { wxMkdir(path + wxS(".$$$")); },
         false},
        // The old file cannot be moved aside.
        {"rename to .OLD fails",
         [](const wxString& path) {
             wxMkdir(path + wxS(".OLD"));
             spit(path + wxS(".OLD/keep"), "x");
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const wxString path = dir.file("settings.ini");
        spit(path, original);
        IniFile ini(path);
        ini.set(wxS("maxrecent"), wxS("3"));
        c.block(path);
        EXPECT_FALSE(ini.save());
        EXPECT_EQ(slurp(path), original);
        if (c.newContentInTemp) {
            EXPECT_EQ(slurp(path + wxS(".$$$")), "maxrecent=3\nrecentfile1=/a.q2db\n");
        }
    }
}

TEST(IniFileSave, ReadOnlyFolder) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    test::TempDir dir;
    const wxString path = dir.file("settings.ini");
    spit(path, "k=v\n");
    IniFile ini(path);
    ini.set(wxS("k"), wxS("w"));
    chmod(dir.path().c_str(), 0555);
    EXPECT_FALSE(ini.save());
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(slurp(path), "k=v\n");
}

} // namespace
} // namespace qn

namespace qn {
namespace {

// A legacy single-byte code page: files of the user are read and written in
// it, the shipped UTF-8 files still read right.
TEST(IniFileCodePage, Latin1Locale) {
    test::TempDir dir;
    const std::string cmd =
        "localedef -i de_DE -f ISO-8859-1 " + dir.path() + "/de_DE.ISO-8859-1 >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 && !wxDirExists(dir.file("de_DE.ISO-8859-1")))
        GTEST_SKIP() << "localedef cannot make a Latin-1 locale here";
    setenv("LOCPATH", dir.path().c_str(), 1);
    const char* old = setlocale(LC_CTYPE, nullptr);
    const std::string saved = old ? old : "C";
    if (!setlocale(LC_CTYPE, "de_DE.ISO-8859-1")) GTEST_SKIP() << "locale not usable";

    const wxString path = dir.file("settings.ini");
    spit(path, "shipped=gr\xC3\xBC\xC3\x9F\nuser=\xE4pfel\n");
    IniFile ini(path);
    EXPECT_EQ(ini.get(wxS("shipped")), wxString::FromUTF8("gr\xC3\xBC\xC3\x9F"));
    EXPECT_EQ(ini.get(wxS("user")), wxString::FromUTF8("\xC3\xA4pfel"));
    ini.set(wxS("new"), wxString::FromUTF8("\xC3\xBC"));
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(slurp(path), "new=\xFC\nshipped=gr\xFC\xDF\nuser=\xE4pfel\n");
    IniFile back(path);
    EXPECT_EQ(back.get(wxS("new")), wxString::FromUTF8("\xC3\xBC"));

    setlocale(LC_CTYPE, saved.c_str());
    unsetenv("LOCPATH");
}

} // namespace
} // namespace qn
