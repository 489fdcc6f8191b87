// UTF-8 checked by table lookups on whole vectors (the method of Keiser and
// Lemire, "Validating UTF-8 in less than one instruction per byte", 2021).
// Each byte is looked at together with the one before it: three lookups of
// sixteen entries (the high nibble of the previous byte, its low nibble, the
// high nibble of this byte) each say which errors the pair could be; an
// error is real only when all three agree.  Whether a byte must be the
// second or third continuation of a three- or four-byte lead is worked out
// from the bytes two and three places back.
#include "store/utf8_avx2.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QN_HAVE_AVX2_CODE 1
#endif

namespace qn::detail {

#ifdef QN_HAVE_AVX2_CODE

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// Everything below runs only where haveAvx2() says it can.
#define QN_AVX2 __attribute__((target("avx2")))

namespace {

// What a pair of bytes can be wrong with, one bit each.
constexpr uint8_t TOO_SHORT = 1 << 0;  // a lead, then no continuation
constexpr uint8_t TOO_LONG = 1 << 1;   // ASCII, then a continuation
constexpr uint8_t OVERLONG_3 = 1 << 2; // E0, then 80..9F
constexpr uint8_t TOO_LARGE = 1 << 3;  // F4 90.. and above: beyond U+10FFFF
constexpr uint8_t SURROGATE = 1 << 4;  // ED, then A0..BF
constexpr uint8_t OVERLONG_2 = 1 << 5; // C0 or C1
constexpr uint8_t TOO_LARGE_1000 = 1 << 6;
constexpr uint8_t OVERLONG_4 = 1 << 6; // F0, then 80..8F
constexpr uint8_t TWO_CONTS = 1 << 7;  // two continuations (fine after a longer lead)
constexpr uint8_t CARRY = TOO_SHORT | TOO_LONG | TWO_CONTS;

QN_AVX2 inline __m256i table(uint8_t a0, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t a4, uint8_t a5,
                             uint8_t a6, uint8_t a7, uint8_t a8, uint8_t a9, uint8_t a10,
                             uint8_t a11, uint8_t a12, uint8_t a13, uint8_t a14, uint8_t a15) {
    return _mm256_setr_epi8(char(a0), char(a1), char(a2), char(a3), char(a4), char(a5), char(a6),
                            char(a7), char(a8), char(a9), char(a10), char(a11), char(a12),
                            char(a13), char(a14), char(a15), char(a0), char(a1), char(a2),
                            char(a3), char(a4), char(a5), char(a6), char(a7), char(a8), char(a9),
                            char(a10), char(a11), char(a12), char(a13), char(a14), char(a15));
}

// The vector `n` bytes back: the end of `prev` followed by `in`.
template <int n> QN_AVX2 inline __m256i back(__m256i in, __m256i prev) {
    return _mm256_alignr_epi8(in, _mm256_permute2x128_si256(prev, in, 0x21), 16 - n);
}

QN_AVX2 inline __m256i highNibble(__m256i v) {
    return _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
}

struct Checker {
    __m256i error, prev, prevIncomplete; // all zero to begin with

    QN_AVX2 void add(__m256i in) {
        if (_mm256_movemask_epi8(in) == 0) {
            // All ASCII: only a sequence cut off at the end of the last block
            // can be wrong here.
            error = _mm256_or_si256(error, prevIncomplete);
        } else {
            const __m256i prev1 = back<1>(in, prev);
            const __m256i byte1High = _mm256_shuffle_epi8(
                table(TOO_LONG, TOO_LONG, TOO_LONG, TOO_LONG, TOO_LONG, TOO_LONG, TOO_LONG,
                      TOO_LONG, TWO_CONTS, TWO_CONTS, TWO_CONTS, TWO_CONTS,
                      TOO_SHORT | OVERLONG_2, TOO_SHORT, TOO_SHORT | OVERLONG_3 | SURROGATE,
                      TOO_SHORT | TOO_LARGE | TOO_LARGE_1000 | OVERLONG_4),
                highNibble(prev1));
            const __m256i byte1Low = _mm256_shuffle_epi8(
                table(CARRY | OVERLONG_3 | OVERLONG_2 | OVERLONG_4, CARRY | OVERLONG_2, CARRY,
                      CARRY, CARRY | TOO_LARGE, CARRY | TOO_LARGE | TOO_LARGE_1000,
                      CARRY | TOO_LARGE | TOO_LARGE_1000, CARRY | TOO_LARGE | TOO_LARGE_1000,
                      CARRY | TOO_LARGE | TOO_LARGE_1000, CARRY | TOO_LARGE | TOO_LARGE_1000,
                      CARRY | TOO_LARGE | TOO_LARGE_1000, CARRY | TOO_LARGE | TOO_LARGE_1000,
                      CARRY | TOO_LARGE | TOO_LARGE_1000,
                      CARRY | TOO_LARGE | TOO_LARGE_1000 | SURROGATE,
                      CARRY | TOO_LARGE | TOO_LARGE_1000, CARRY | TOO_LARGE | TOO_LARGE_1000),
                _mm256_and_si256(prev1, _mm256_set1_epi8(0x0F)));
            const __m256i byte2High = _mm256_shuffle_epi8(
                table(TOO_SHORT, TOO_SHORT, TOO_SHORT, TOO_SHORT, TOO_SHORT, TOO_SHORT, TOO_SHORT,
                      TOO_SHORT,
                      TOO_LONG | OVERLONG_2 | TWO_CONTS | OVERLONG_3 | TOO_LARGE_1000 | OVERLONG_4,
                      TOO_LONG | OVERLONG_2 | TWO_CONTS | OVERLONG_3 | TOO_LARGE,
                      TOO_LONG | OVERLONG_2 | TWO_CONTS | SURROGATE | TOO_LARGE,
                      TOO_LONG | OVERLONG_2 | TWO_CONTS | SURROGATE | TOO_LARGE, TOO_SHORT,
                      TOO_SHORT, TOO_SHORT, TOO_SHORT),
                highNibble(in));
            const __m256i special =
                _mm256_and_si256(_mm256_and_si256(byte1High, byte1Low), byte2High);
            // Bytes that must be a third or fourth byte: two back from E0..FF
            // or three back from F0..FF (the saturated difference has its high
            // bit set exactly then).
            const __m256i third = _mm256_subs_epu8(back<2>(in, prev), _mm256_set1_epi8(char(0xE0 - 0x80)));
            const __m256i fourth = _mm256_subs_epu8(back<3>(in, prev), _mm256_set1_epi8(char(0xF0 - 0x80)));
            const __m256i must23 =
                _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
            error = _mm256_or_si256(error, _mm256_xor_si256(must23, special));
            // A lead in the last three bytes whose sequence runs past them.
            prevIncomplete = _mm256_subs_epu8(
                in, _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                     char(0xF0 - 1), char(0xE0 - 1), char(0xC0 - 1)));
        }
        prev = in;
    }
    QN_AVX2 bool ok() const {
        return _mm256_testz_si256(_mm256_or_si256(error, prevIncomplete),
                                  _mm256_or_si256(error, prevIncomplete));
    }
};

} // namespace

QN_AVX2 bool validUtf8Avx2(const unsigned char* p, std::size_t n) {
    const __m256i zero = _mm256_setzero_si256();
    Checker c{zero, zero, zero};
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        c.add(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
        // Give up early on a long text that is already known to be wrong.
        if ((i & 4095) == 4064 && !_mm256_testz_si256(c.error, c.error)) return false;
    }
    if (i < n) {
        // The rest, padded with ASCII (which ends nothing and starts nothing).
        alignas(32) unsigned char tail[32] = {};
        std::memcpy(tail, p + i, n - i);
        c.add(_mm256_load_si256(reinterpret_cast<const __m256i*>(tail)));
    }
    return c.ok();
}

#undef QN_AVX2

#else

bool haveAvx2() {
    return false;
}

bool validUtf8Avx2(const unsigned char*, std::size_t) {
    return false;
}

#endif

} // namespace qn::detail
