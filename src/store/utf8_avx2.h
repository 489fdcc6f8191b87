// Checking UTF-8 thirty-two bytes at a time on processors with AVX2: the
// check every article passes through on its way to an export or a search
// hit.  Only the store's UTF-8 routines call it.
#pragma once

#include <cstddef>

namespace qn::detail {

// Whether this processor can run validUtf8Avx2.
bool haveAvx2();

// Whether the `n` bytes at `p` are well-formed UTF-8 (the same answer as
// checking sequence by sequence; no overlong forms, surrogates, values
// beyond U+10FFFF or cut sequences).  Only where haveAvx2().
bool validUtf8Avx2(const unsigned char* p, std::size_t n);

} // namespace qn::detail
