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
    decodeHeader(bytes, nullptr);
    // What the cipher wrote it reads back.
    if (decodeHeader(encodeHeader(twice, cipher), cipher) != twice) std::abort();
    decodeHeader(bytes, cipher);

    // The compact form of a block's header holds the same values as the map
    // and writes the same bytes; enciphered, it reads back unchanged.
    const HeaderValues values = HeaderValues::parse(bytes.data(), bytes.size());
    if (isValidUtf8(bytes.data(), bytes.size())) {
        if (values.format() != formatHeader(parseHeaderBytes(bytes.data(), bytes.size())))
            std::abort();
    }
    if (!(decodeHeaderValues(encodeHeader(values, cipher), cipher) == values)) std::abort();
    return 0;
}
