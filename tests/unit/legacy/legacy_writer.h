// Writes files of the older single-file format for tests, benchmarks and
// fuzzing seeds.
#pragma once

#include "store/codec.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace qn::testing {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// name=value lines with the older key names.
inline std::string legacyHeader(const Pairs& pairs) {
    std::string out;
    for (const auto& [k, v] : pairs)
        out += k + "=" + v + "\n";
    return out;
}

class LegacyFileBuilder {
public:
    static constexpr const char* kAppId = "6A3F0C2E-94B1-4d7a-B5C8-2E71D0F4A9B3";

    explicit LegacyFileBuilder(std::string dbid = "5b0c6c9e-1d2f-4a3b-8c4d-5e6f7a8b9c0d",
                               std::string version = "1.10", char sep = '\t')
        : dbid_(std::move(dbid)) {
        out_ = std::string("quil-db") + sep + kAppId + sep + version + sep + dbid_ + "\n\n";
    }

    const std::string& dbid() const { return dbid_; }

    // Replaces the header line (the records already added stay).
    void setHeaderLine(const std::string& line) {
        std::string records = out_.substr(headerLen());
        out_ = line + records;
    }

    // Settings block 0 (never enciphered: it holds what the password needs).
    void settings(const Pairs& pairs) {
        record(3, 0, 0, legacyHeader(pairs), "", false, false, false);
    }

    // Everything added after this is enciphered like a protected file.
    void protect(const std::string& password, const std::string& created) {
        cipher_.setKey(wxString::FromUTF8(dbid_.c_str()) + wxString::FromUTF8(password.c_str()) +
                       wxString::FromUTF8(created.c_str()));
        protected_ = true;
    }

    void node(int id, int parent, const Pairs& header, const std::string& body,
              bool compress = false, bool excluded = false) {
        record(2, id, parent, legacyHeader(header), body, compress, excluded, protected_);
    }
    void object(int id, const Pairs& header, const std::string& body, bool compress = false) {
        record(3, id, 0, legacyHeader(header), body, compress, false, protected_);
    }
    void freeRecord(uint32_t length) {
        std::string r;
        put32(r, length);
        r += char(0);
        r.resize(length, '\0');
        out_ += r;
    }
    // A record with chosen lengths, for damaged files.
    void rawRecord(uint32_t length, int type, int id, uint32_t h, uint32_t b,
                   const std::string& payload = std::string()) {
        std::string r;
        put32(r, length);
        r += char(type);
        put32(r, uint32_t(id));
        if (type == 2) put32(r, 1);
        put32(r, h);
        put32(r, b);
        r += payload;
        out_ += r;
    }
    void rawBytes(const std::string& bytes) { out_ += bytes; }

    const std::string& bytes() const { return out_; }
    bool write(const std::string& path) const {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return false;
        bool ok = std::fwrite(out_.data(), 1, out_.size(), f) == out_.size();
        return std::fclose(f) == 0 && ok;
    }

private:
    static void put32(std::string& s, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s += char((v >> (8 * i)) & 0xFF);
    }
    size_t headerLen() const {
        size_t p = out_.find("\n\n");
        return p == std::string::npos ? 0 : p + 2;
    }
    void record(int type, int id, int parent, std::string header, std::string body, bool compress,
                bool excluded, bool encipher) {
        if (compress) body = deflateBytes(body);
        if (encipher) {
            cipher_.crypt(header);
            cipher_.crypt(body);
        }
        const uint32_t fixed = type == 2 ? 21 : 17;
        std::string r;
        put32(r, uint32_t(fixed + header.size() + body.size()));
        r += char(type | (encipher ? 0x10 : 0) | (compress ? 0x20 : 0) | (excluded ? 0x80 : 0));
        put32(r, uint32_t(id));
        if (type == 2) put32(r, uint32_t(parent));
        put32(r, uint32_t(header.size()));
        put32(r, uint32_t(body.size()));
        out_ += r + header + body;
    }

    std::string dbid_;
    std::string out_;
    BlockCipher cipher_;
    bool protected_ = false;
};

} // namespace qn::testing
