// Block encryption (RC4 keyed with MD5) and compression (zlib).
#pragma once

#include "store/keys.h"

#include <nettle/arcfour.h>

namespace qn {

wxString md5Hex(const wxString& text);
bool isSupportedAlgorithm(const wxString& name);
// md5Hex(password + dbid)
wxString passwordVerifier(const wxString& password, const wxString& dbid);

// The two enciphered parts of a stored block; each may be reversed before
// it is enciphered (the cipher's options say which).
enum class CipherPart { Header, Body };

class BlockCipher {
public:
    BlockCipher();
    const wxString& hashName() const { return hash_; }
    const wxString& cipherName() const { return cipher_; }
    const wxString& options() const { return options_; }
    void setOptions(const wxString& letters) { options_ = letters; }
    bool reverseHeader() const;
    bool reverseBody() const;
    // RC4 key = MD5 digest of the UTF-8 bytes of the key material.
    void setKey(const wxString& material);
    bool hasKey() const { return keyed_; }
    // src XOR keystream, restarting the keystream at position 0 on every call.
    void crypt(unsigned char* dest, const unsigned char* src, size_t length) const;
    void crypt(Bytes& inPlace) const;
    // Stored bytes of `which` from plain ones (reversed when the options
    // say so, then enciphered), and back.  Empty bytes stay empty.
    void seal(Bytes& bytes, CipherPart which) const;
    void open(Bytes& bytes, CipherPart which) const;
    // "arcfour,md5,<options>"
    wxString algoText() const;

private:
    bool reverses(CipherPart which) const;
    wxString hash_, cipher_, options_;
    arcfour_ctx state_{};
    bool keyed_ = false;
};

// Key material: dbid + password + c.
wxString cipherKeyMaterial(const wxString& dbid, const wxString& password, const wxString& created);

Bytes encodeHeader(const AttrMap& attributes, const BlockCipher* cipher);
AttrMap decodeHeader(Bytes bytes, const BlockCipher* cipher);
Bytes encodeHeader(const HeaderValues& values, const BlockCipher* cipher);
HeaderValues decodeHeaderValues(Bytes bytes, const BlockCipher* cipher);

constexpr size_t kCompressThreshold = 150;
// Inflating stops (and the body counts as damaged) beyond this size.
constexpr size_t kMaxInflatedSize = size_t(1) << 30;

// Result of turning stored body bytes back into plain bytes.
struct DecodedBody {
    Bytes plain;
    bool damaged = false; // inflate did not reach the end of a complete stream
};
// At most `limit` plain bytes: a longer body is cut there and counts as damaged.
DecodedBody decodeBody(Bytes stored, bool compressed, const BlockCipher* cipher,
                       size_t limit = kMaxInflatedSize);

// Compression helpers (zlib wrapper on deflate; inflate detects zlib/gzip).
Bytes deflateBytes(const Bytes& plain);

// False when the stream is not complete or invalid, or inflates to more than
// `limit` bytes; `out` holds what could be inflated (at most `limit` bytes).
bool inflateBytes(const Bytes& packed, Bytes& out, size_t limit = kMaxInflatedSize);


} // namespace qn
