// Stored bodies: the first byte chooses compression, cipher and reversal,
// the rest are the stored bytes.
#include "fuzz_common.h"

#include "store/codec.h"

#include <cstdlib>

using namespace qn;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const unsigned mode = data[0];
    const Bytes stored(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool compressed = mode & 1;
    BlockCipher cipher;
    cipher.setKey(wxS("fuzz-key"));
    static const char* const options[] = {"", "r", "xr", "rr"};
    cipher.setOptions(wxString::FromAscii(options[(mode >> 2) & 3]));
    static const BlockCipher* sealed =
        BlockCipher::newSealed(wxS("fuzz-key"), KdfLimits::minimum()).release();
    const BlockCipher* c = (mode & 2) ? ((mode & 16) ? sealed : &cipher) : nullptr;

    DecodedBody body = decodeBody(stored, compressed, c, {2, 1});
    if (!compressed && !c && body.plain != stored) std::abort();

    // Deflating and inflating gives the bytes back.
    Bytes packed = deflateBytes(stored), back;
    if (!inflateBytes(packed, back) || back != stored) std::abort();
    return 0;
}
