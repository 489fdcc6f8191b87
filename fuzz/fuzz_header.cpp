// Header text, current and legacy names, plain and enciphered.
#include "fuzz_common.h"

#include "store/codec.h"
#include "store/keys.h"
#include "store/legacy.h"

#include <cstdlib>

using namespace qn;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Bytes bytes(reinterpret_cast<const char*>(data), size);
    const wxString text = fromUtf8(bytes);

    // Formatting what was parsed and parsing it again changes nothing more.
    AttrMap once = parseHeader(text);
    AttrMap twice = parseHeader(fromUtf8(formatHeader(once)));
    AttrMap thrice = parseHeader(fromUtf8(formatHeader(twice)));
    if (twice != thrice) std::abort();

    parseLegacyHeader(text);
    for (const auto& [code, value] : once) {
        keyNameOf(code);
        parseInt(value);
        parseUInt(value);
        parseIntList(value);
        parseColour(value);
        parseStyle(value);
    }

    static const BlockCipher* cipher = [] {
        auto* c = new BlockCipher;
        c->setKey(wxS("fuzz-key"));
        c->setOptions(wxS("rr"));
        return c;
    }();
    static const BlockCipher* sealed =
        BlockCipher::newSealed(wxS("fuzz-key"), KdfLimits::minimum()).release();
    const BlockRef at{2, 1};
    AttrMap read;
    decodeHeader(bytes, nullptr, at, read);
    // What a cipher wrote it reads back, at the same place only.
    for (const BlockCipher* c : {cipher, sealed}) {
        if (!decodeHeader(encodeHeader(twice, c, at), c, at, read) || read != twice) std::abort();
        decodeHeader(bytes, c, at, read);
    }
    if (decodeHeader(encodeHeader(twice, sealed, at), sealed, {3, 1}, read)) std::abort();

    // The compact form of a block's header holds the same values as the map
    // and writes the same bytes; enciphered, it reads back unchanged.
    const HeaderValues values = HeaderValues::parse(bytes.data(), bytes.size());
    if (isValidUtf8(bytes.data(), bytes.size())) {
        if (values.format() != formatHeader(parseHeaderBytes(bytes.data(), bytes.size())))
            std::abort();
    }
    HeaderValues back;
    for (const BlockCipher* c : {cipher, sealed})
        if (!decodeHeaderValues(encodeHeader(values, c, at), c, at, back) || !(back == values))
            std::abort();
    return 0;
}
