// Documents of the older single-file format (".qudb"): the reader and the
// conversion into a current document.
#pragma once

#include "store/codec.h"
#include "store/keys.h"
#include "store/sqlite.h"

#include <wx/file.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace qn {

// The legacy names of the key codes ("n.f.name" for NFname, ...).
int legacyKeyCodeOf(const wxString& name);
// "undef?" for a code without a legacy name.
wxString legacyKeyNameOf(int code);
// name=value lines with legacy names; a line without "=" or without its line
// feed ends the text.
AttrMap parseLegacyHeader(const wxString& text);

// Whether the file starts like a document of the older format (the answer
// for a file that open() of the current format refuses).
bool isLegacyFile(const wxString& path);

enum LegacyRecordType : int { LR_FREE = 0, LR_NODE = 2, LR_OBJECT = 3 };

// One record of a legacy file: where it lies and, once loaded, its attributes.
struct LegacyBlock {
    int type = LR_FREE;
    bool encrypted = false;
    bool compressed = false;
    bool excluded = false;
    uint64_t offset = 0; // record start in the file
    uint32_t length = 0; // record length, fixed part included
    int id = 0;
    int parentId = 0; // nodes only
    uint32_t headerLength = 0;
    uint32_t bodyLength = 0;
    uint64_t plainLength = 0; // body length after decompression
    bool hasAttributes = false;
    AttrMap attributes;
    bool dirty = false;

    uint64_t headerOffset() const { return offset + (type == LR_NODE ? 21 : 17); }

    // No project fallback: a missing key reads as empty.
    wxString getString(int code) const;
    long getInt(int code) const;
    unsigned long getUInt(int code) const;
    std::vector<int> getIntList(int code) const;
    Colour getColour(int code) const;
    void setString(int code, const wxString& value);
    void removeKey(int code);
};

class LegacyReader {
public:
    enum OpenResult {
        LEGACY_OK = 0,
        LEGACY_NOT_OPENABLE = 1, // already open, or the file cannot be read
        LEGACY_VERSION = 2,      // format newer than "1.10"
        LEGACY_CORRUPT = 3,      // a record does not fit its length or the file
        LEGACY_NOT_LEGACY = 4,   // wrong format tag
    };
    enum ConvertResult { CONVERT_OK = 0, CONVERT_FAILED = 3 };

    // Records of types other than node, object and free may not exceed this.
    static constexpr uint32_t kMaxOtherRecord = 5120000;

    LegacyReader();
    ~LegacyReader();
    LegacyReader(const LegacyReader&) = delete;
    LegacyReader& operator=(const LegacyReader&) = delete;

    int open(const wxString& path);
    bool isOpen() const { return open_; }
    void close();

    const wxString& path() const { return path_; }
    // Also after open refused a newer version.
    const wxString& version() const { return version_; }
    const wxString& dbid() const { return dbid_; }
    int maxId() const { return maxId_; }
    const std::map<int, LegacyBlock>& blocks() const { return blocks_; }
    const std::vector<LegacyBlock>& freeRecords() const { return free_; }

    // The block with its attributes loaded (node and object records); none
    // when absent.
    LegacyBlock* getBlock(int id);

    // Protection, read from the settings in block 0.
    bool isProtected();
    // Both the hash and the cipher named by the settings are supported.
    bool algorithmsSupported();
    bool checkPassword(const wxString& password);
    // Installs the cipher for a checked password; the new document is
    // protected the legacy way with `options` and its settings record them
    // (a document older programs can read).
    void unlock(const wxString& password, const wxString& options);
    // The same, the new document sealed with a key derived from the
    // password (the default); false when the memory for deriving the key
    // cannot be had.
    bool unlockSealed(const wxString& password, const KdfLimits& limits);
    void setCipher(std::unique_ptr<BlockCipher> cipher) { cipher_ = std::move(cipher); }
    const BlockCipher* cipher() const { return cipher_.get(); }

    // The plain body of a node or object, and its length in `sz`. False when
    // it could not be read or inflated completely; `plain` then holds what
    // could be inflated and `stored` (when given) the bytes as they were
    // before inflating.
    bool readBody(LegacyBlock& block, Bytes& plain, Bytes* stored = nullptr);

    // Writes a current document. Nothing is left at `destination` unless the
    // conversion succeeded; an existing file there is replaced only then.
    // The document is written as DESTINATION.partial first; a stale one of a
    // killed run is replaced.
    int convert(const wxString& destination);
    static wxString partialPath(const wxString& destination);
    // What went wrong during the last conversion, one line each.
    const std::vector<wxString>& messages() const { return messages_; }
    // Bodies whose compressed data was broken: they are carried over as
    // stored, so the new document holds what the old one did.
    int damagedBodies() const { return damaged_; }

private:
    bool readAt(uint64_t offset, void* dest, size_t length);
    bool readHeaderLine(uint64_t& recordsStart, int& result);
    void loadAttributes(LegacyBlock& block);
    enum BodyRead { BODY_OK, BODY_UNREADABLE, BODY_DAMAGED };
    int loadBody(LegacyBlock& block, Bytes& plain, Bytes* stored);
    int convertInto(const Connection& db);

    // Writing functions; failures are recorded in messages().
    int sql_exec(const Connection& db, const char* sql);
    bool insertIntoProject(Stmt& st, const Connection& db, const wxString& name,
                           const wxString& value);
    bool insertBlock(Stmt& st, const Connection& db, int id, int type, int attr, const Bytes& hdr,
                     const Bytes& body);

    wxString path_;
    wxString version_;
    wxString dbid_;
    std::unique_ptr<BlockCipher> cipher_;
    // The cipher the new document is written with when it is not cipher_.
    std::unique_ptr<BlockCipher> writeCipher_;
    const BlockCipher* writer() const { return writeCipher_ ? writeCipher_.get() : cipher_.get(); }
    wxFile file_;
    uint64_t fileSize_ = 0;
    std::map<int, LegacyBlock> blocks_;
    std::vector<LegacyBlock> free_;
    int maxId_ = 0;
    bool open_ = false;
    std::vector<wxString> messages_;
    int damaged_ = 0;
};

} // namespace qn
