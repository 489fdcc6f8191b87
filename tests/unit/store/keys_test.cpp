#include "store/keys.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qn;

TEST(KeyTable, NamesCodesAndOrder) {
    const auto& t = keyTable();
    ASSERT_EQ(t.size(), 49u);
    EXPECT_EQ(t.back().code, K_terminator);
    // ref and fname follow sz in lookup order.
    EXPECT_STREQ(t[42].name, "sz");
    EXPECT_STREQ(t[43].name, "ref");
    EXPECT_STREQ(t[44].name, "fname");
    for (const auto& e : t) {
        if (e.code == K_terminator) continue;
        EXPECT_EQ(keyCodeOf(wxString::FromAscii(e.name)), e.code) << e.name;
        EXPECT_EQ(keyNameOf(e.code), wxString::FromAscii(e.name));
    }
    EXPECT_EQ(keyCodeOf(wxS("Cap")), 0);
    EXPECT_EQ(keyCodeOf(wxS("!")), 0);
    EXPECT_EQ(keyNameOf(K_terminator), wxString());
    EXPECT_EQ(keyNameOf(49), wxString());
}

TEST(Header, ParseCases) {
    struct Case {
        const char* text;
        AttrMap expected;
    };
    const Case cases[] = {
        {"cap=Hello\ni=book\n", {{K_cap, wxS("Hello")}, {K_i, wxS("book")}}},
        // no line feed after the last line
        {"cap=Hello\ni=book", {{K_cap, wxS("Hello")}, {K_i, wxS("book")}}},
        // everything after the first "=" is the value
        {"url=C:\\a=b.txt\n", {{K_url, wxS("C:\\a=b.txt")}}},
        // a line without "=" swallows the next line's name
        {"garbage\ncap=x\ni=y\n", {{K_i, wxS("y")}}},
        // case-sensitive names; unknown names and the terminator dropped
        {"Cap=x\nfoo=1\n!=z\nm=text/html\n", {{K_m, wxS("text/html")}}},
        // a later line wins
        {"cap=a\ncap=b\n", {{K_cap, wxS("b")}}},
        {"cap=a\ni=x\ncap=b\n", {{K_cap, wxS("b")}, {K_i, wxS("x")}}},
        // out of the written order
        {"i=book\ncap=Hello\nch=2\n", {{K_cap, wxS("Hello")}, {K_i, wxS("book")}, {K_ch, wxS("2")}}},
        {"", {}},
        {"cap=", {{K_cap, wxS("")}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseHeader(wxString::FromUTF8(c.text)), c.expected) << c.text;
        // The engine's own parse of the stored bytes reads the same values.
        AttrMap held;
        HeaderValues::parse(c.text, std::strlen(c.text)).forEach([&](int code, std::string_view v) {
            held[code] = fromUtf8(v.data(), v.size());
        });
        EXPECT_EQ(held, c.expected) << c.text;
    }
}

TEST(Header, FormatIsOrderedUtf8AndSafe) {
    AttrMap m{{K_p, wxS("1")}, {K_ref, wxS("0")}, {K_cap, wxString::FromUTF8("Grüße\nx")}};
    Bytes b = formatHeader(m);
    // ascending code: cap (22), ref (38), p (40); the line feed in a value is neutralised
    EXPECT_EQ(b, std::string("cap=Gr\xc3\xbc\xc3\x9f"
                             "e x\nref=0\np=1\n"));
    EXPECT_EQ(parseHeader(fromUtf8(b)).at(K_cap), wxString::FromUTF8("Grüße x"));
    EXPECT_TRUE(formatHeader({}).empty());
}

TEST(Values, IntegersListsColoursStyles) {
    // Read from wide text and from the stored UTF-8 alike.
    const struct {
        const char* text;
        long number;
        unsigned long unsignedNumber;
        std::vector<int> list;
    } numbers[] = {
        {"12x", 12, 12, {12}},
        {"x12", 0, 0, {0}},
        {"-5", -5, 4294967291ul, {-5}},
        {"+7", 7, 7, {7}},
        {"99999999999999", 2147483647, 4294967295ul, {2147483647}},
        {"", 0, 0, {}},
        {"12,7,30", 12, 12, {12, 7, 30}},
        {"1,,3", 1, 1, {1, 0, 3}},
        {"1,2,", 1, 1, {1, 2}},
        {",", 0, 0, {0}},
        {"4\xC3\xA9,5", 4, 4, {4, 5}},
        {"4\xFF", 4, 4, {4}},
    };
    for (const auto& n : numbers) {
        const wxString wide = fromUtf8(n.text, std::strlen(n.text));
        EXPECT_EQ(parseInt(wide), n.number) << n.text;
        EXPECT_EQ(parseIntUtf8(n.text), n.number) << n.text;
        EXPECT_EQ(parseUInt(wide), n.unsignedNumber) << n.text;
        EXPECT_EQ(parseUIntUtf8(n.text), n.unsignedNumber) << n.text;
        EXPECT_EQ(parseIntList(wide), n.list) << n.text;
        EXPECT_EQ(parseIntListUtf8(n.text), n.list) << n.text;
    }
    EXPECT_EQ(formatIntList({12, 7, 30}), wxS("12,7,30"));
    EXPECT_EQ(formatIntList({}), wxS(""));

    Colour c = parseColour(wxS("FF8000"));
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.r, 255);
    EXPECT_EQ(c.g, 128);
    EXPECT_EQ(c.b, 0);
    EXPECT_FALSE(parseColour(wxS("")).ok);
    EXPECT_EQ(formatColour(c), wxS("FF8000"));
    EXPECT_EQ(formatColour(Colour{}), wxS(""));
    EXPECT_EQ(formatColour(parseColour(wxS("0a0b0c"))), wxS("0A0B0C"));

    FontStyle s = parseStyle(wxS("UB"));
    EXPECT_TRUE(s.bold);
    EXPECT_FALSE(s.italic);
    EXPECT_TRUE(s.underline);
    EXPECT_EQ(formatStyle(s), wxS("BU"));
    EXPECT_EQ(formatStyle(FontStyle{}), wxS(""));
}

TEST(Values, VersionComparedAsText) {
    struct {
        const char* v;
        bool ok;
    } cases[] = {{"2.0", true},  {"1.5", true},    {"", true},  {"10.0", true},
                 {"2.1", false}, {"2.0.1", false}, {"3", false}};
    for (const auto& c : cases)
        EXPECT_EQ(isSupportedVersion(wxString::FromAscii(c.v)), c.ok) << c.v;
}

TEST(Values, MimeTable) {
    EXPECT_EQ(mimeForExtension(wxS("JPG")).mime, wxS("image/jpeg"));
    EXPECT_EQ(mimeForExtension(wxS("png")).image, ImageType::Png);
    MimeInfo u = mimeForExtension(wxS("exe"));
    EXPECT_FALSE(u.known);
    EXPECT_EQ(u.mime, wxS("application/octet-stream"));
    EXPECT_EQ(extensionForMime(wxS("image/jpeg")), wxS("jpg"));
    EXPECT_EQ(extensionForMime(wxS("text/plain")), wxS(""));
}

TEST(Values, TimeStampAndGuidShapes) {
    wxString t = timeStamp();
    EXPECT_EQ(t.length(), 19u);
    EXPECT_EQ(t[4], '-');
    EXPECT_EQ(t[10], ' ');
    wxString g = newGuidText();
    EXPECT_EQ(g.length(), 36u);
    EXPECT_EQ(g, g.Lower());
    EXPECT_EQ(g[8], '-');
    EXPECT_NE(g, newGuidText());
}
