// The UTF-8 check and character count against a decoder written here from
// the definition: every short sequence, placed across the places where the
// vector check joins its blocks, and random damage to multilingual text.
#include "store/keys.h"
#include "store/utf8_avx2.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

using namespace qn;

namespace {

// Characters of `s` when it is well-formed UTF-8, -1 when it is not.
long referenceCount(const std::string& s) {
    long chars = 0;
    for (size_t i = 0; i < s.size(); ++chars) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t more;
        uint32_t cp, least;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1, cp = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2, cp = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3, cp = c & 0x07, least = 0x10000;
        } else {
            return -1;
        }
        for (size_t k = 1; k <= more; ++k) {
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return -1;
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
        i += more + 1;
    }
    return chars;
}

// The checks under test agree with the reference on `s`; false (with a
// failure) when not, so that a loop can stop at the first difference.
bool agrees(const std::string& s) {
    const long want = referenceCount(s);
    const size_t count = countValidUtf8(s.data(), s.size());
    EXPECT_EQ(isValidUtf8(s.data(), s.size()), want >= 0) << testing::PrintToString(s);
    EXPECT_EQ(count == kNotUtf8 ? -1L : static_cast<long>(count), want)
        << testing::PrintToString(s);
    if (detail::haveAvx2()) {
        EXPECT_EQ(detail::validUtf8Avx2(reinterpret_cast<const unsigned char*>(s.data()), s.size()),
                  want >= 0)
            << testing::PrintToString(s);
    }
    return !testing::Test::HasFailure();
}

} // namespace

TEST(Utf8Check, EveryShortSequenceAtEveryJoin) {
    // Three-byte sequences take their third byte from the edges of each range.
    const unsigned char edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F,
                                   0xA0, 0xBF, 0xC0, 0xC2, 0xE0, 0xF0, 0xFF};
    // Before a block's end, across it, at the very end of the text.
    const size_t offsets[] = {0, 29, 30, 31, 61, 62};
    for (size_t at : offsets) {
        for (int a = 0x80; a < 0x100; ++a)
            for (int b = 0; b < 0x100; ++b) {
                std::string s(64, 'x');
                s[at] = static_cast<char>(a);
                s[at + 1] = static_cast<char>(b);
                if (!agrees(s) || !agrees(s.substr(0, at + 2))) return;
                for (unsigned char c : edges) {
                    s[at + 2] = static_cast<char>(c);
                    if (!agrees(s)) return;
                    if (a >= 0xF0 && (a <= 0xF5 || a == 0xF8 || a == 0xFF)) {
                        for (unsigned char d : edges) {
                            std::string t = s + "xx";
                            t[at + 3] = static_cast<char>(d);
                            if (!agrees(t) || !agrees(t.substr(0, at + 4))) return;
                        }
                    }
                }
            }
    }
}

TEST(Utf8Check, RandomDamageToRealText) {
    const std::string words[] = {"project ", "Grüße ",   "ελλάδα ",  "Москва ", "東京 ",
                                 "😀 ",      "\n",       "naïve ",   "a ",      "\xF4\x8F\xBF\xBF "};
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        const size_t length = 64 + rng() % 300;
        while (s.size() < length)
            s += words[rng() % std::size(words)];
        const int damage = static_cast<int>(rng() % 3);
        for (int k = 0; k < damage; ++k) {
            const size_t at = rng() % s.size();
            switch (rng() % 3) {
            case 0: s[at] = static_cast<char>(rng()); break;
            case 1: s.erase(at, 1); break;
            default: s.resize(at + 1); break;
            }
        }
        if (!agrees(s)) return;
    }
}
