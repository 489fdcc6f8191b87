// Block encryption and compression (zlib).
//
// Two protection schemes exist.  The sealed scheme (the default) derives a
// 256-bit key from the password with Argon2id, with a random salt and limits
// kept in the document, and seals every header and every body on its own
// with XChaCha20-Poly1305 (libsodium).  The stored bytes of a sealed part are
//
//     nonce (24 bytes, random per write) | ciphertext (as long as the plain
//     bytes) | tag (16 bytes)
//
// and the associated data binds them to their place: "QNB1", the part
// ('H' header, 'B' body), the block's kind (one byte) and its id (4 bytes,
// little-endian).  Bytes that were changed, or moved to another row or
// column, do not open.  Empty plain bytes are sealed too (40 stored bytes),
// so a part cut to nothing does not open either.
//
// The legacy scheme (RC4 keyed with MD5, the keystream restarted for every
// part, optional byte reversal) is kept so that older documents open and
// documents for older programs can still be written.  It has no integrity
// check: a wrong key or a changed byte gives garbage.
#pragma once

#include "store/keys.h"

#include <nettle/arcfour.h>

#include <memory>

namespace qn {

wxString md5Hex(const wxString& text);
// The legacy algorithm names ("md5", "arcfour").
bool isSupportedAlgorithm(const wxString& name);
// Legacy verifier: md5Hex(password + dbid)
wxString passwordVerifier(const wxString& password, const wxString& dbid);

// The two enciphered parts of a stored block; each may be reversed before
// it is enciphered (the cipher's options say which).
enum class CipherPart { Header, Body };

// The row a header or body belongs to (its id and kind, BT_NODE, BT_OBJECT
// or a kind this program does not know).
struct BlockRef {
    int id = 0;
    int type = 0;
};

enum class CipherScheme { Legacy, Sealed };

// The names of the sealed scheme in c_algo: "xchacha20poly1305,argon2id,1"
// (the third piece is the layout version).
extern const char* const kSealedAlgo;
// Bytes of the Argon2id salt (crypto_pwhash_SALTBYTES).
constexpr size_t kKdfSaltBytes = 16;

// The cost of deriving a key from a password (Argon2id), stored with the
// document so that it can be raised later.
struct KdfLimits {
    unsigned long long ops = 0; // passes over the memory
    size_t mem = 0;             // bytes
    // libsodium's "moderate" limits (3 passes, 256 MiB).
    static KdfLimits moderate();
    static KdfLimits interactive();
    static KdfLimits sensitive();
    static KdfLimits minimum();
    // Within what this program derives: at least libsodium's minimum, at
    // most 64 passes and 4 GiB (a document cannot make the reader spend
    // more).
    bool acceptable() const;
    // "interactive", "moderate", "sensitive" or "OPS,BYTES" (numbers below
    // the minimum are raised to it); false when the text is none of them.
    static bool parse(const wxString& text, KdfLimits& out);
};
// The limits new sealed protections get unless a caller names others
// (moderate unless changed; tests lower it to keep a run short).
KdfLimits defaultKdfLimits();
void setDefaultKdfLimits(const KdfLimits& limits);

class BlockCipher {
public:
    // A legacy cipher without a key.
    BlockCipher();
    ~BlockCipher(); // wipes the key
    BlockCipher(const BlockCipher&) = delete;
    BlockCipher& operator=(const BlockCipher&) = delete;

    // A sealed cipher: the key derived from `password` with a fresh random
    // salt (nullptr when the memory for the derivation cannot be had).
    static std::unique_ptr<BlockCipher> newSealed(const wxString& password,
                                                  const KdfLimits& limits);
    // The same with a stored salt and limits (of an existing document).
    static std::unique_ptr<BlockCipher> sealedFrom(const wxString& password, const Bytes& salt,
                                                   const KdfLimits& limits);

    CipherScheme scheme() const { return scheme_; }
    bool isSealed() const { return scheme_ == CipherScheme::Sealed; }
    const Bytes& salt() const { return salt_; }
    const KdfLimits& limits() const { return limits_; }

    // Legacy scheme.
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

    // Stored bytes of `which` of the block `at` from plain ones, and back.
    // Legacy: reversed when the options say so, then enciphered; empty
    // bytes stay empty and open() always succeeds.  Sealed: see above;
    // open() is false (and `bytes` emptied) when the bytes do not open.
    void seal(Bytes& bytes, CipherPart which, BlockRef at) const;
    bool open(Bytes& bytes, CipherPart which, BlockRef at) const;
    // "arcfour,md5,<options>" or kSealedAlgo.
    wxString algoText() const;

    // Sealed scheme: the stored verifier (hex) is a known value sealed with
    // the key and the document's id; a password is right when it opens.
    wxString sealedVerifier(const wxString& dbid) const;
    bool checkSealedVerifier(const wxString& stored, const wxString& dbid) const;

private:
    bool reverses(CipherPart which) const;
    CipherScheme scheme_ = CipherScheme::Legacy;
    wxString hash_, cipher_, options_;
    arcfour_ctx state_{};
    bool keyed_ = false;
    unsigned char key_[32] = {};
    Bytes salt_;
    KdfLimits limits_;
};

// Key material: dbid + password + c.
wxString cipherKeyMaterial(const wxString& dbid, const wxString& password, const wxString& created);

// Lowercase hex and back (false on anything else).
wxString hexText(const Bytes& bytes);
bool fromHexText(const wxString& text, Bytes& out);

// Headers; the decoders are false (and `out` empty) when a sealed header
// does not open.
Bytes encodeHeader(const AttrMap& attributes, const BlockCipher* cipher, BlockRef at);
bool decodeHeader(Bytes bytes, const BlockCipher* cipher, BlockRef at, AttrMap& out);
Bytes encodeHeader(const HeaderValues& values, const BlockCipher* cipher, BlockRef at);
bool decodeHeaderValues(Bytes bytes, const BlockCipher* cipher, BlockRef at, HeaderValues& out);

constexpr size_t kCompressThreshold = 150;
// Inflating stops (and the body counts as damaged) beyond this size.
constexpr size_t kMaxInflatedSize = size_t(1) << 30;

// Result of turning stored body bytes back into plain bytes.
struct DecodedBody {
    Bytes plain;
    bool damaged = false; // inflate did not reach the end of a complete stream,
                          // or a sealed body did not open
};
// At most `limit` plain bytes: a longer body is cut there and counts as damaged.
DecodedBody decodeBody(Bytes stored, bool compressed, const BlockCipher* cipher, BlockRef at,
                       size_t limit = kMaxInflatedSize);

// Compression helpers (zlib wrapper on deflate; inflate detects zlib/gzip).
Bytes deflateBytes(const Bytes& plain);

// False when the stream is not complete or invalid, or inflates to more than
// `limit` bytes; `out` holds what could be inflated (at most `limit` bytes).
bool inflateBytes(const Bytes& packed, Bytes& out, size_t limit = kMaxInflatedSize);


} // namespace qn
