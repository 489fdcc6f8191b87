#include "store/codec.h"

#include <nettle/md5.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
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

BlockCipher::BlockCipher() : hash_(wxS("md5")), cipher_(wxS("arcfour")) {}

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

void BlockCipher::seal(Bytes& bytes, CipherPart which) const {
    if (bytes.empty()) return;
    if (reverses(which)) std::reverse(bytes.begin(), bytes.end());
    crypt(bytes);
}

void BlockCipher::open(Bytes& bytes, CipherPart which) const {
    if (bytes.empty()) return;
    crypt(bytes);
    if (reverses(which)) std::reverse(bytes.begin(), bytes.end());
}

wxString BlockCipher::algoText() const {
    return cipher_ + wxS(",") + hash_ + wxS(",") + options_;
}

Bytes encodeHeader(const AttrMap& attributes, const BlockCipher* cipher) {
    Bytes bytes = formatHeader(attributes);
    if (cipher) cipher->seal(bytes, CipherPart::Header);
    return bytes;
}

Bytes encodeHeader(const HeaderValues& values, const BlockCipher* cipher) {
    Bytes bytes = values.format();
    if (cipher) cipher->seal(bytes, CipherPart::Header);
    return bytes;
}

HeaderValues decodeHeaderValues(Bytes bytes, const BlockCipher* cipher) {
    if (cipher) cipher->open(bytes, CipherPart::Header);
    return HeaderValues::parse(bytes.data(), bytes.size());
}

AttrMap decodeHeader(Bytes bytes, const BlockCipher* cipher) {
    if (cipher) cipher->open(bytes, CipherPart::Header);
    return parseHeaderBytes(bytes.data(), bytes.size());
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

DecodedBody decodeBody(Bytes stored, bool compressed, const BlockCipher* cipher, size_t limit) {
    DecodedBody out;
    if (cipher) cipher->open(stored, CipherPart::Body);
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
