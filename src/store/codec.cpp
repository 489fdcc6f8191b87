#include "store/codec.h"

#include <nettle/md5.h>
#include <sodium.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace qn {

namespace {
void md5Digest(const Bytes& data, uint8_t out[MD5_DIGEST_SIZE]) {
    md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, data.size(), reinterpret_cast<const uint8_t*>(data.data()));
    md5_digest(&ctx, MD5_DIGEST_SIZE, out);
}
} // namespace

wxString md5Hex(const wxString& text) {
    uint8_t digest[MD5_DIGEST_SIZE];
    md5Digest(toUtf8(text), digest);
    wxString out;
    for (uint8_t b : digest)
        out << wxString::Format(wxS("%02x"), b);
    return out;
}

bool isSupportedAlgorithm(const wxString& name) {
    return name == wxS("md5") || name == wxS("arcfour");
}

wxString passwordVerifier(const wxString& password, const wxString& dbid) {
    return md5Hex(password + dbid);
}

wxString cipherKeyMaterial(const wxString& dbid, const wxString& password,
                           const wxString& created) {
    return dbid + password + created;
}

const char* const kSealedAlgo = "xchacha20poly1305,argon2id,1";

namespace {
constexpr size_t kNonce = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kTag = crypto_aead_xchacha20poly1305_ietf_ABYTES;
static_assert(crypto_aead_xchacha20poly1305_ietf_KEYBYTES == 32, "key size");
static_assert(crypto_pwhash_SALTBYTES == kKdfSaltBytes, "salt size");
// The known value of the sealed verifier.
constexpr char kVerifierText[] = "quillnest protection check";

void needSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready) std::abort(); // no safe random numbers: nothing may be sealed
}

std::mutex limitsMutex;
KdfLimits defaultLimits = KdfLimits::moderate();

// "QNB1", part, kind, id (little-endian).
std::array<unsigned char, 10> blockAd(CipherPart which, BlockRef at) {
    const auto id = static_cast<uint32_t>(at.id);
    return {'Q',
            'N',
            'B',
            '1',
            static_cast<unsigned char>(which == CipherPart::Header ? 'H' : 'B'),
            static_cast<unsigned char>(at.type),
            static_cast<unsigned char>(id),
            static_cast<unsigned char>(id >> 8),
            static_cast<unsigned char>(id >> 16),
            static_cast<unsigned char>(id >> 24)};
}

Bytes sealWith(const unsigned char* key, const Bytes& plain, const unsigned char* ad,
               size_t adLen) {
    Bytes out(kNonce + plain.size() + kTag, '\0');
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    randombytes_buf(o, kNonce);
    unsigned long long len = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        o + kNonce, &len, reinterpret_cast<const unsigned char*>(plain.data()), plain.size(), ad,
        adLen, nullptr, o, key);
    return out;
}

bool openWith(const unsigned char* key, const Bytes& stored, Bytes& plain, const unsigned char* ad,
              size_t adLen) {
    plain.clear();
    if (stored.size() < kNonce + kTag) return false;
    const auto* in = reinterpret_cast<const unsigned char*>(stored.data());
    Bytes out(stored.size() - kNonce - kTag, '\0');
    unsigned long long len = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
            reinterpret_cast<unsigned char*>(out.data()), &len, nullptr, in + kNonce,
            stored.size() - kNonce, ad, adLen, in, key) != 0)
        return false;
    out.resize(len);
    plain = std::move(out);
    return true;
}
} // namespace

KdfLimits KdfLimits::moderate() {
    return {crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};
}
KdfLimits KdfLimits::interactive() {
    return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}
KdfLimits KdfLimits::sensitive() {
    return {crypto_pwhash_OPSLIMIT_SENSITIVE, crypto_pwhash_MEMLIMIT_SENSITIVE};
}
KdfLimits KdfLimits::minimum() {
    return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

bool KdfLimits::acceptable() const {
    return ops >= crypto_pwhash_OPSLIMIT_MIN && ops <= 64 && mem >= crypto_pwhash_MEMLIMIT_MIN &&
           static_cast<unsigned long long>(mem) <= (4ULL << 30);
}

bool KdfLimits::parse(const wxString& text, KdfLimits& out) {
    const wxString t = text.Strip(wxString::both);
    if (t == wxS("interactive")) out = interactive();
    else if (t == wxS("moderate")) out = moderate();
    else if (t == wxS("sensitive")) out = sensitive();
    else {
        unsigned long long ops = 0, mem = 0;
        if (!t.BeforeFirst(',').ToULongLong(&ops) || !t.AfterFirst(',').ToULongLong(&mem))
            return false;
        KdfLimits l{std::max<unsigned long long>(ops, crypto_pwhash_OPSLIMIT_MIN),
                    static_cast<size_t>(std::max<unsigned long long>(mem, crypto_pwhash_MEMLIMIT_MIN))};
        if (!l.acceptable()) return false;
        out = l;
    }
    return true;
}

KdfLimits defaultKdfLimits() {
    std::lock_guard<std::mutex> lock(limitsMutex);
    return defaultLimits;
}

void setDefaultKdfLimits(const KdfLimits& limits) {
    std::lock_guard<std::mutex> lock(limitsMutex);
    defaultLimits = limits;
}

wxString hexText(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return wxString::FromAscii(out.c_str());
}

bool fromHexText(const wxString& text, Bytes& out) {
    out.clear();
    const std::string t = text.utf8_string();
    if (t.size() % 2) return false;
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (size_t i = 0; i < t.size(); i += 2) {
        const int hi = nibble(t[i]), lo = nibble(t[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

BlockCipher::BlockCipher() : hash_(wxS("md5")), cipher_(wxS("arcfour")) {}

BlockCipher::~BlockCipher() {
    sodium_memzero(key_, sizeof key_);
    sodium_memzero(&state_, sizeof state_);
}

std::unique_ptr<BlockCipher> BlockCipher::newSealed(const wxString& password,
                                                    const KdfLimits& limits) {
    needSodium();
    Bytes salt(crypto_pwhash_SALTBYTES, '\0');
    randombytes_buf(salt.data(), salt.size());
    return sealedFrom(password, salt, limits);
}

std::unique_ptr<BlockCipher> BlockCipher::sealedFrom(const wxString& password, const Bytes& salt,
                                                     const KdfLimits& limits) {
    needSodium();
    if (salt.size() != crypto_pwhash_SALTBYTES || !limits.acceptable()) return nullptr;
    auto c = std::make_unique<BlockCipher>();
    c->scheme_ = CipherScheme::Sealed;
    c->hash_ = wxS("argon2id");
    c->cipher_ = wxS("xchacha20poly1305");
    c->salt_ = salt;
    c->limits_ = limits;
    Bytes pw = toUtf8(password);
    const int rc = crypto_pwhash(c->key_, sizeof c->key_, pw.data(), pw.size(),
                                 reinterpret_cast<const unsigned char*>(salt.data()), limits.ops,
                                 limits.mem, crypto_pwhash_ALG_ARGON2ID13);
    sodium_memzero(pw.data(), pw.size());
    if (rc != 0) return nullptr; // out of memory
    c->keyed_ = true;
    return c;
}

bool BlockCipher::reverseHeader() const {
    return options_.length() >= 1 && options_[0] == 'r';
}
bool BlockCipher::reverseBody() const {
    return options_.length() >= 2 && options_[1] == 'r';
}

void BlockCipher::setKey(const wxString& material) {
    uint8_t key[MD5_DIGEST_SIZE];
    md5Digest(toUtf8(material), key);
    arcfour_set_key(&state_, sizeof key, key);
    sodium_memzero(key, sizeof key);
    keyed_ = true;
}

void BlockCipher::crypt(unsigned char* dest, const unsigned char* src, size_t length) const {
    if (length == 0) return;
    arcfour_ctx ctx = state_; // every message starts the keystream afresh
    arcfour_crypt(&ctx, length, dest, src);
}

void BlockCipher::crypt(Bytes& inPlace) const {
    auto* p = reinterpret_cast<unsigned char*>(inPlace.data());
    crypt(p, p, inPlace.size());
}

bool BlockCipher::reverses(CipherPart which) const {
    return which == CipherPart::Header ? reverseHeader() : reverseBody();
}

void BlockCipher::seal(Bytes& bytes, CipherPart which, BlockRef at) const {
    if (isSealed()) {
        const auto ad = blockAd(which, at);
        bytes = sealWith(key_, bytes, ad.data(), ad.size());
        return;
    }
    if (bytes.empty()) return;
    if (reverses(which)) std::reverse(bytes.begin(), bytes.end());
    crypt(bytes);
}

bool BlockCipher::open(Bytes& bytes, CipherPart which, BlockRef at) const {
    if (isSealed()) {
        const auto ad = blockAd(which, at);
        Bytes plain;
        const bool ok = openWith(key_, bytes, plain, ad.data(), ad.size());
        bytes = std::move(plain);
        return ok;
    }
    if (bytes.empty()) return true;
    crypt(bytes);
    if (reverses(which)) std::reverse(bytes.begin(), bytes.end());
    return true;
}

wxString BlockCipher::algoText() const {
    if (isSealed()) return wxString::FromAscii(kSealedAlgo);
    return cipher_ + wxS(",") + hash_ + wxS(",") + options_;
}

namespace {
Bytes verifierAd(const wxString& dbid) {
    return "QNV1" + toUtf8(dbid);
}
} // namespace

wxString BlockCipher::sealedVerifier(const wxString& dbid) const {
    const Bytes ad = verifierAd(dbid);
    return hexText(sealWith(key_, Bytes(kVerifierText), reinterpret_cast<const unsigned char*>(ad.data()),
                            ad.size()));
}

bool BlockCipher::checkSealedVerifier(const wxString& stored, const wxString& dbid) const {
    Bytes raw, plain;
    if (!isSealed() || !fromHexText(stored, raw)) return false;
    const Bytes ad = verifierAd(dbid);
    return openWith(key_, raw, plain, reinterpret_cast<const unsigned char*>(ad.data()),
                    ad.size()) &&
           plain == kVerifierText;
}

Bytes encodeHeader(const AttrMap& attributes, const BlockCipher* cipher, BlockRef at) {
    Bytes bytes = formatHeader(attributes);
    if (cipher) cipher->seal(bytes, CipherPart::Header, at);
    return bytes;
}

Bytes encodeHeader(const HeaderValues& values, const BlockCipher* cipher, BlockRef at) {
    Bytes bytes = values.format();
    if (cipher) cipher->seal(bytes, CipherPart::Header, at);
    return bytes;
}

bool decodeHeaderValues(Bytes bytes, const BlockCipher* cipher, BlockRef at, HeaderValues& out) {
    if (cipher && !cipher->open(bytes, CipherPart::Header, at)) {
        out = HeaderValues();
        return false;
    }
    out = HeaderValues::parse(bytes.data(), bytes.size());
    return true;
}

bool decodeHeader(Bytes bytes, const BlockCipher* cipher, BlockRef at, AttrMap& out) {
    if (cipher && !cipher->open(bytes, CipherPart::Header, at)) {
        out.clear();
        return false;
    }
    out = parseHeaderBytes(bytes.data(), bytes.size());
    return true;
}

Bytes deflateBytes(const Bytes& plain) {
    uLongf bound = compressBound(plain.size());
    Bytes out(bound, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &bound,
                  reinterpret_cast<const Bytef*>(plain.data()), plain.size(),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return plain;
    out.resize(bound);
    return out;
}

bool inflateBytes(const Bytes& packed, Bytes& out, size_t limit) {
    out.clear();
    if (packed.empty()) return true;
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    // 15 + 32: zlib or gzip wrapper, detected from the data.
    if (inflateInit2(&zs, 15 + 32) != Z_OK) return false;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    zs.avail_in = static_cast<uInt>(packed.size());
    std::vector<char> chunk(1 << 16);
    int rc;
    do {
        zs.next_out = reinterpret_cast<Bytef*>(chunk.data());
        zs.avail_out = static_cast<uInt>(chunk.size());
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) break; // corrupt data
        const size_t got = chunk.size() - zs.avail_out;
        if (got > limit - out.size()) {
            // A hostile stream or an over-long body: keep the start, refuse
            // the rest rather than exhaust memory.
            out.append(chunk.data(), limit - out.size());
            rc = Z_MEM_ERROR;
            break;
        }
        out.append(chunk.data(), got);
        if (rc == Z_BUF_ERROR) break; // input ended before the stream did
    } while (rc != Z_STREAM_END);
    inflateEnd(&zs);
    return rc == Z_STREAM_END;
}

DecodedBody decodeBody(Bytes stored, bool compressed, const BlockCipher* cipher, BlockRef at,
                       size_t limit) {
    DecodedBody out;
    if (cipher && !cipher->open(stored, CipherPart::Body, at)) {
        out.damaged = true; // nothing of it is shown, never garbage
        return out;
    }
    if (compressed) {
        out.damaged = !inflateBytes(stored, out.plain, limit);
    } else {
        out.plain = std::move(stored);
        if (out.plain.size() > limit) {
            out.plain.resize(limit);
            out.damaged = true;
        }
    }
    return out;
}

} // namespace qn
