#include "store/codec.h"
#include "store/database.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qn;

TEST(Codec, Md5AndVerifier) {
    EXPECT_EQ(md5Hex(wxS("")), wxS("d41d8cd98f00b204e9800998ecf8427e"));
    EXPECT_EQ(md5Hex(wxS("abc")), wxS("900150983cd24fb0d6963f7d28e17f72"));
    // MD5 of the UTF-8 of password + dbid, worked out with another MD5.
    const wxString dbid = wxS("{3f2504e0-4f89-11d3-9a0c-0305e82c3301}");
    const struct {
        const char* password;
        const char* verifier;
    } known[] = {
        {"secret", "43aa3b07ac2b6e7eace323c1f79791b5"},
        {"", "3297dc7c7879e965f949a18e8d274890"},
        {"pässwört", "1d98c9f34b647c648246c983db88210d"},
        {"密码", "9aae218f449eadd87abdc9b95395fcb8"},
    };
    for (const auto& k : known)
        EXPECT_EQ(passwordVerifier(wxString::FromUTF8(k.password), dbid),
                  wxString::FromAscii(k.verifier))
            << k.password;
    EXPECT_TRUE(isSupportedAlgorithm(wxS("md5")));
    EXPECT_TRUE(isSupportedAlgorithm(wxS("arcfour")));
    EXPECT_FALSE(isSupportedAlgorithm(wxS("MD5")));
    EXPECT_FALSE(isSupportedAlgorithm(wxS("")));
}

TEST(Codec, CryptRestartsKeystreamEveryCall) {
    BlockCipher c;
    c.setKey(wxS("abc")); // RC4 key = MD5("abc")
    const unsigned char zeros[8] = {};
    unsigned char out[8];
    const unsigned char expected[8] = {0x2b, 0xe4, 0xe9, 0xc0, 0x30, 0x84, 0x82, 0xea};
    for (int round = 0; round < 2; ++round) {
        c.crypt(out, zeros, 8);
        EXPECT_TRUE(std::equal(out, out + 8, expected)) << "round " << round;
    }
    Bytes msg = "hello world";
    c.crypt(msg);
    EXPECT_NE(msg, "hello world");
    c.crypt(msg);
    EXPECT_EQ(msg, "hello world");
    EXPECT_EQ(c.algoText(), wxS("arcfour,md5,"));
}

TEST(Codec, ReversalOptionLetters) {
    struct {
        const char* opts;
        bool head, body;
    } cases[] = {{"", false, false},
                 {"r", true, false},
                 {"rr", true, true},
                 {"xr", false, true},
                 {"R", false, false}};
    for (const auto& c : cases) {
        BlockCipher bc;
        bc.setOptions(wxString::FromAscii(c.opts));
        EXPECT_EQ(bc.reverseHeader(), c.head) << c.opts;
        EXPECT_EQ(bc.reverseBody(), c.body) << c.opts;
    }
    // A reversed header is the plain header reversed, then enciphered.
    BlockCipher plain, rev;
    plain.setKey(wxS("k"));
    rev.setKey(wxS("k"));
    rev.setOptions(wxS("r"));
    AttrMap m{{K_cap, wxS("abc")}};
    Bytes expect = formatHeader(m);
    std::reverse(expect.begin(), expect.end());
    plain.crypt(expect);
    const BlockRef at{7, 1}; // the legacy scheme does not bind bytes to a row
    EXPECT_EQ(encodeHeader(m, &rev, at), expect);
    AttrMap back;
    EXPECT_TRUE(decodeHeader(encodeHeader(m, &rev, at), &rev, {8, 2}, back));
    EXPECT_EQ(back, m);
    EXPECT_TRUE(encodeHeader(AttrMap{}, &rev, at).empty());
    EXPECT_TRUE(encodeHeader(HeaderValues{}, &rev, at).empty());
    // The compact form writes the same bytes.
    const Bytes stored = formatHeader(m);
    EXPECT_EQ(encodeHeader(HeaderValues::parse(stored.data(), stored.size()), &rev, at), expect);
}

TEST(Codec, InflateDetectsWrapperAndDamage) {
    Bytes plain(5000, 'a');
    Bytes packed = deflateBytes(plain);
    EXPECT_LT(packed.size(), plain.size());
    EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x78); // zlib wrapper
    Bytes out;
    EXPECT_TRUE(inflateBytes(packed, out));
    EXPECT_EQ(out, plain);
    // A gzip stream inflates too.
    const unsigned char gz[] = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02,
                                0x03, 0xcb, 0x48, 0xcd, 0xc9, 0xc9, 0x07, 0x00, 0x86,
                                0xa6, 0x10, 0x36, 0x05, 0x00, 0x00, 0x00};
    EXPECT_TRUE(inflateBytes(Bytes(reinterpret_cast<const char*>(gz), sizeof gz), out));
    EXPECT_EQ(out, "hello");
    // Truncated and garbage streams are reported, with what could be read.
    EXPECT_FALSE(inflateBytes(packed.substr(0, packed.size() / 2), out));
    EXPECT_FALSE(inflateBytes("not zlib at all", out));
    DecodedBody d = decodeBody(packed.substr(0, 10), true, nullptr, {});
    EXPECT_TRUE(d.damaged);
}

namespace {
struct Encoded {
    Bytes stored;
    bool compressed;
    unsigned long sz;
};
Encoded encodeText(const wxString& text, bool object, bool comp, const BlockCipher* c = nullptr) {
    Database db;
    db.newDocument();
    Block* b = object ? db.newObject(wxS("image/png")) : db.newNode(1);
    if (object)
        b->setBytes(toUtf8(text));
    else
        b->setText(text);
    Bytes s = b->encodeBody(c, comp);
    return {s, b->compressed(), b->size()};
}
} // namespace

TEST(Codec, CompressionThresholdNodesAndObjects) {
    wxString n149(wxS('x'), 149), n150(wxS('x'), 150);
    EXPECT_FALSE(encodeText(n149, false, true).compressed);
    EXPECT_TRUE(encodeText(n150, false, true).compressed);
    EXPECT_FALSE(encodeText(n150, false, false).compressed);
    // Random-looking text grows when deflated: a node is deflated anyway,
    // an object stays plain.
    wxString noisy;
    unsigned v = 12345;
    for (int i = 0; i < 150; ++i) {
        v = v * 1103515245 + 12345;
        noisy += wxUniChar(33 + (v >> 16) % 90);
    }
    Encoded node = encodeText(noisy, false, true);
    EXPECT_TRUE(node.compressed);
    EXPECT_GE(node.stored.size(), 150u);
    Encoded obj = encodeText(noisy, true, true);
    EXPECT_FALSE(obj.compressed);
    EXPECT_EQ(obj.stored, toUtf8(noisy));
    // sz is the byte length of the UTF-8 body.
    EXPECT_EQ(encodeText(wxString::FromUTF8("äöü"), false, false).sz, 6u);
}

TEST(Codec, ProtectedBodiesIdenticalAndEmptyStaysEmpty) {
    BlockCipher c;
    c.setKey(wxS("key"));
    c.setOptions(wxS("rr"));
    Encoded a = encodeText(wxS("same text"), false, false, &c);
    Encoded b = encodeText(wxS("same text"), false, false, &c);
    EXPECT_EQ(a.stored, b.stored);
    EXPECT_NE(a.stored, "same text");
    EXPECT_TRUE(encodeText(wxS(""), false, false, &c).stored.empty());
    DecodedBody d = decodeBody(a.stored, false, &c, {});
    EXPECT_EQ(d.plain, "same text");
}
