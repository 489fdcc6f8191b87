// The document engine: one SQLite file, its project settings and its blocks.
#pragma once

#include "store/codec.h"
#include "store/keys.h"
#include "store/sqlite.h"

#include <array>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <utility>
#include <vector>

namespace qn {

class Database;
class RecoverySnapshot;

enum BlockType : int { BT_NODE = 1, BT_OBJECT = 2 };

// Dirty bits of a block.
enum DirtyBits : int {
    DIRTY_HEADER = 1,
    DIRTY_BODY = 2,
    DIRTY_NEW = 4,
    DIRTY_DELETED = 8,
};

// Attribute bits of the stored `attr` column.
enum AttrBits : int { ATTR_COMPRESSED = 1, ATTR_ENCRYPTED = 2, ATTR_EXCLUDED = 4 };

// Answers to the question asked before an external article file is written
// (the message-box codes of the program).
// Cancel stops the whole save and keeps every edit.
enum UrlWriteAnswer : int {
    ANSWER_YES = 2,
    ANSWER_NO = 8,
    ANSWER_CANCEL = 16,
    ANSWER_SAVE_ALL = 5113
};
// Asked with the file's path; the GUI and the CLI install their own.
using UrlWriteQuestion = std::function<int(const wxString& path)>;

// editChildren operations.
enum ChildOp : int {
    CH_PREPEND = 0,
    CH_APPEND = 1,
    CH_MOVE_UP = 2,
    CH_MOVE_DOWN = 3,
    CH_INSERT_BEFORE = 4,
    CH_INSERT_AFTER = 5,
    CH_REMOVE = 6,
};

// The largest article a node may hold, in bytes of UTF-8 (stored, inflated
// or read from an external file): six times what the editor takes
// (5,120,000 characters), so every article the program wrote fits, while a
// hostile document cannot make a reader allocate gigabytes.  A larger body
// is read up to this size and shown as damaged.
constexpr size_t kMaxArticleBytes = size_t(32) << 20;
// The largest embedded object (an imported file).
constexpr size_t kMaxObjectBytes = size_t(256) << 20;
// A search adds at most this many hits from one node's article.
constexpr size_t kMaxHitsPerNode = 1000;
// Why a write was refused: another program committed to the file after this
// document read it, and writing from memory would undo that change.
inline constexpr wxChar kChangedByAnotherProgram[] =
    wxS("another program changed the document after it was opened here; nothing was "
        "written over its change");

// What went wrong in the last failed operation of a `Database`.
struct StoreError {
    wxString operation; // the engine's operation, e.g. "readHead"
    int code = 0;       // SQLite's result code; 0 when SQLite was not involved
    wxString message;   // for a person
    explicit operator bool() const { return !operation.empty(); }
};

// The body of a block: text for plain and HTML nodes, bytes for RTF nodes
// and objects.  Text stays UTF-8, as stored: the engine, the search and the
// export pass it through, and only a window that shows it widens it
// (Block::text()).
struct Body {
    bool isText = true;
    Bytes bytes; // UTF-8 of a text body; the stored bytes of any other
};

class Block {
public:
    Block(Database* owner, int id, int type);

    int id() const { return id_; }
    int type() const { return type_; }
    bool isNode() const { return type_ == BT_NODE; }
    bool isObject() const { return type_ == BT_OBJECT; }
    bool compressed() const { return compressed_; }
    bool encrypted() const { return encrypted_; }
    bool excluded() const { return excluded_; }
    void setExcluded(bool e) { excluded_ = e; }
    int dirty() const { return dirty_; }
    Database* owner() const { return owner_; }

    // Header: attributes are loaded on first use.  When the header cannot be
    // read (the file is locked by another program, an I/O error), it stays
    // unloaded: getters then answer with the project's values, setters and
    // editChildren change nothing, so nothing is ever saved on the strength
    // of a failed read.
    bool hasHeader() const { return attrs_ != nullptr; }
    // Loads the header, trying again after an earlier failure; false when it
    // cannot be read (the owner's lastError() says why).
    bool loadHeader();
    // The same, reading the stored body along with the header when neither
    // is loaded yet (one read instead of two, for a walk that needs both);
    // the body is then what body() gives.  False when the header cannot be
    // read.
    bool loadHeaderAndBody();
    bool headerFailed() const { return headFailed_; }
    // Drops the loaded header of an unchanged block (it is read again on
    // next use): a walk over a whole document need not keep every header.
    void freeHeader() {
        if (dirty_ == 0) attrs_.reset();
        headFailed_ = false;
    }
    bool hasOwn(int code);

    // Getters fall back to the project setting of the same code.
    wxString getString(int code);
    // The value as UTF-8, as stored (no conversion for own values).
    Bytes getUtf8(int code);
    long getInt(int code);
    unsigned long getUInt(int code);
    Colour getColour(int code);
    std::vector<int> getIntList(int code);
    void setString(int code, const wxString& text);
    void setUtf8(int code, std::string_view utf8);
    void setInt(int code, long v);
    void setUInt(int code, unsigned long v);
    void setIntList(int code, const std::vector<int>& list);
    void setColour(int code, const Colour& c);
    void removeKey(int code);

    int parent() { return static_cast<int>(getInt(K_p)); }
    void setParent(int id) { setInt(K_p, id); }
    void setMime(const wxString& mime) { setString(K_m, mime); }
    unsigned long size() { return getUInt(K_sz); }
    bool isRtf();

    // Body: loaded on first use (from the external file when `url` is set).
    // When it cannot be read, body() gives an empty body that is not kept,
    // bodyFailed() is true and the block counts as damaged until a later
    // read succeeds.
    bool hasBody() const { return body_ != nullptr; }
    const Body& body();
    bool bodyFailed() const { return bodyFailed_; }
    // The body as text for a window, widened once and kept with the body
    // (empty for a body of bytes).
    const wxString& text();
    void setText(const wxString& text);
    // The same from UTF-8 bytes, which are kept as they are.
    void setTextUtf8(Bytes utf8);
    void setBytes(const Bytes& bytes);
    // Reads a file into an object's body; false (and nothing changed) when
    // the file cannot be read or is larger than kMaxObjectBytes.
    bool importFile(const wxString& path);
    void freeBody();
    // Drops the body of an unchanged block, which a save then need not
    // visit (for a walk over a whole document; not while a save runs).
    void releaseBody();
    // True when the stored body could not be decoded completely (a broken
    // compressed stream, a body over the size limit) or could not be read at
    // all: the body shown is partial and must not be saved over the stored
    // bytes.
    bool isDamaged() const { return damaged_ || bodyFailed_; }

    // The new number of children, or -1 when the header cannot be read (the
    // list is then left alone).
    int editChildren(int id, int op, int ref = 0);

    // External article file.
    void loadFromUrl(const wxString& path);
    bool writeToUrl(const wxString& path, bool& yesToAll);

    // The body bytes to store (after compression and encryption), deciding
    // and recording the compressed flag and `sz`.
    Bytes encodeBody(const BlockCipher* cipher, bool comp);

private:
    friend class Database;
    enum UrlWrite { URL_WRITTEN, URL_DECLINED, URL_FAILED, URL_CANCELLED };
    UrlWrite writeUrl(const wxString& path, bool& yesToAll);
    bool ensureHeader();
    void markHeader();
    void touch();

    Database* owner_;
    int id_;
    int type_;
    bool compressed_ = false;
    bool encrypted_ = false;
    bool excluded_ = false;
    bool damaged_ = false;
    bool headFailed_ = false;
    bool bodyFailed_ = false;
    int dirty_ = 0;
    // Both absent until first used, so that an opened document costs little
    // memory per block.
    std::unique_ptr<HeaderValues> attrs_;
    std::unique_ptr<Body> body_;
    std::unique_ptr<wxString> wide_; // text() of body_, made on first use
};

struct SearchHit {
    int id = 0;        // the node's block id
    int pos = -1;      // -1: hit in the caption
    int length = 0;    // characters of the hit in the text (folding may
                       // make it differ from the search text's)
    Bytes snippetUtf8; // UTF-8; empty for a caption hit
    Bytes captionUtf8; // the node's caption as the search read it (UTF-8 as stored)
    wxString snippet() const { return fromUtf8(snippetUtf8); }
};

class Database {
public:
    using Defaults = std::vector<std::pair<wxString, wxString>>;

    explicit Database(Defaults defaults = {});
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Open results.
    enum OpenResult {
        OPEN_OK = 0,
        OPEN_NOT_OPENABLE = 1,
        OPEN_VERSION = 2,
        OPEN_CORRUPT = 3,
        OPEN_NOT_DOCUMENT = 4
    };

    // When open() reads the block index: at once, or on first use of the
    // blocks.  A search that comes first builds the index from its own pass
    // over the file, so a tool that opens a document for one search reads
    // the file once instead of twice.
    enum class IndexMode { AtOpen, OnDemand };

    bool isOpen() const;
    bool isNew() const { return isNew_; }
    int open(const wxString& path, IndexMode mode = IndexMode::AtOpen);
    Block* newDocument();
    void close();
    bool save();
    bool copyTo(const wxString& newPath);
    bool reopen();
    // Compacts the document file in place (DOC.bak keeps a copy of it as it
    // was with `keepBackup`).  Unsaved changes are saved first.  The file
    // keeps its inode, mode and owner, and other programs that have it open
    // go on with it.  On failure the document file is the one it was and
    // stays open; `why` says what went wrong.  `waitMs`: how long to wait
    // for another optimize of the same file to end.
    enum class Compact { Done, CannotReplace, CopyFailed, InstallFailed };
    Compact compact(bool keepBackup, wxString& why, int waitMs = 0);
    // The format version a document file names ("" when it has none or is
    // not one); answers for files open() refuses as too new.
    static wxString storedVersion(const wxString& path);
    // Installs `cipher` (none removes protection) and rewrites every block.
    // False when the rewrite could not be written, a block could not be read,
    // or no document file is open (the document then keeps its protection
    // and its unsaved state in memory).
    bool changeCipher(std::unique_ptr<BlockCipher> cipher, const wxString& password);
    bool isModified() const;
    // A new document that nobody has changed since markUntouched() (the
    // window's own set-up of a new document does not count): closing it
    // asks nothing.
    void markUntouched() { untouchedAt_ = edits_; }
    bool isUntouched() const { return isNew_ && untouchedAt_ == edits_; }

    // The failure of the last operation that failed (empty when none did
    // since clearError()).  Reads, save, copyTo, changeCipher and search set
    // it; the log keeps a line for each failure as well.
    const StoreError& lastError() const { return error_; }
    // Whether the last save stopped because the user cancelled it (the
    // question before an external article file is written).
    bool saveCancelled() const { return error_.operation == wxS("cancel"); }
    void clearError() { error_ = StoreError(); }
    // How long a read or write waits for another program's lock (ms).
    void setBusyTimeout(int ms);
    // The most bytes of one article that are read (kMaxArticleBytes unless
    // set); a longer one is cut there and counts as damaged.
    void setArticleLimit(size_t bytes) { articleLimit_ = bytes; }
    size_t articleLimit() const { return articleLimit_; }

    const wxString& path() const { return path_; }
    void setPath(const wxString& p) { path_ = p; }
    int maxId() const { return maxId_; }

    // Installs the cipher of a protected document right after open.
    void setCipher(std::unique_ptr<BlockCipher> cipher) { cipher_ = std::move(cipher); }
    const BlockCipher* cipher() const { return cipher_.get(); }
    bool isProtected() const { return !getString(K_pwd).empty(); }

    // Takes the write lock now (waiting for another writer up to the busy
    // timeout) and learns the ids that other writers added since open, so
    // that blocks made after this call get ids nobody else took.  The next
    // save commits and releases the lock.
    // When another program committed to the file since this document read
    // it, what is in memory is out of date and nothing may be written from
    // it.  With Reload::IfUnchanged a document without changes of its own
    // reads the settings and the block index again under the lock (every
    // Block pointer taken before is gone) and the answer is Reloaded; the
    // cipher is dropped when the protection settings changed, so the caller
    // unlocks again.  Otherwise the lock is let go and the answer is Failed,
    // as when the lock cannot be had (lastError() says why).
    enum class Reload { Never, IfUnchanged };
    enum class WriteStart { Ready, Reloaded, Failed };
    WriteStart beginWrite(Reload reload = Reload::Never);
    // Writes the values of `projectKeys` and `headerKeys` that this document
    // holds over the file as it is now, leaving every other value as it is
    // there: for a document whose only changes are among these keys (the
    // window layout and the view state) after another program changed the
    // file.  False, and nothing written, when the document has other kinds
    // of changes (new, deleted or rewritten blocks), the lock cannot be had
    // or the protection changed meanwhile.
    bool mergeKeys(const std::vector<int>& projectKeys, const std::vector<int>& headerKeys);
    // Another program (a CLI add, a sync tool) may change the file while it
    // is open.  rememberFileState() notes the file as this document last read
    // or wrote it (after open and after every reopen); changedOnDisk() tells
    // whether someone else has committed a change since.
    // A file deleted or replaced by another one counts as changed as well;
    // fileMoved() tells that case alone.
    void rememberFileState();
    bool changedOnDisk() const;
    bool fileMoved() const;
    // Moves the document, with its unsaved changes, to a copy of the file as
    // it is on disk now at `newPath`, without writing to the current file;
    // the next save writes the changes there.  False (nothing changed) when
    // the copy cannot be written; `why` says why.
    bool moveToCopy(const wxString& newPath, wxString& why);

    // Unsaved edits kept safe (recovery.cpp).  A recovery file is a
    // complete copy of the document as it is on disk with this document's
    // unsaved changes written into it, enciphered as the document is, plus
    // a small table that names the document and the changed blocks.
    // Written beside `path` and renamed into place, mode 0600; the open
    // document itself (file, connection, dirty state) is left as it was
    // (only the header of the pending node may be read).
    // `pending` is an editor's text not yet committed to its node.  False
    // (and `why`) when the file could not be written.
    struct PendingArticle {
        int nodeId = 0;
        wxString text;
    };
    bool writeRecovery(const wxString& path, const PendingArticle* pending, wxString& why);
    // The same in two steps, for a caller that must not wait for the copy:
    // the edits are taken here (cheap: only the changed rows are encoded),
    // and the snapshot writes the file later on any thread, copying the
    // document through a connection of its own (nullptr and `why` when the
    // edited note cannot be read).
    std::unique_ptr<RecoverySnapshot> recoverySnapshot(const PendingArticle* pending,
                                                       wxString& why);
    // Takes the edits of a recovery file into this document, which was just
    // opened from the file they were made on (cipher installed), as unsaved
    // changes.  Refused (nothing changed) when that file was changed since
    // the recovery file was written, or the recovery file cannot be read.
    enum class Recovered { Applied, FileChanged, Unreadable };
    Recovered applyRecovery(const wxString& recoveryPath, wxString& why);
    // After open() of a recovery file (and its cipher installed): everything
    // is loaded and the document becomes a new, never-saved one holding all
    // of it, detached from that file.  False (document unchanged) when a
    // block cannot be read.
    bool detachAsNew(wxString& why);

    // Project settings.
    wxString getString(int code) const;
    long getInt(int code) const;
    Colour getColour(int code) const;
    std::vector<int> getIntList(int code) const;
    void setString(int code, const wxString& text);
    void setInt(int code, long v);
    void setIntList(int code, const std::vector<int>& list);
    void setColour(int code, const Colour& c);
    void removeKey(int code);
    wxString dbid() const { return getString(K_dbid); }
    void newDbid();
    const AttrMap& project() const { return project_; }
    // Rows of the project table whose names this program does not know,
    // kept as they were read and written back unchanged.
    const std::vector<std::pair<wxString, wxString>>& unknownSettings() const { return unknown_; }

    // Blocks.
    Block* getBlock(int id);
    // The block without loading its header (nullptr when absent).  While
    // the index is pending, this reads the block's row alone and keeps it
    // for the read of its header and body that follows.
    Block* findBlock(int id) const;
    // nullptr when every positive 32-bit id is taken.
    Block* newNode(int parentId);
    Block* newObject(const wxString& mime);
    void deleteBlock(int id);
    // Deletes the node and the nodes below it: only children that name it
    // as their parent, never the top node, never an object.  False (and
    // nothing deleted) when a header on the way cannot be read.
    bool deleteSubtree(int id);
    Block* firstObject();
    Block* nextObject();
    const std::map<int, std::unique_ptr<Block>>& blocks() const {
        ensureIndex();
        return blocks_;
    }

    // Global search; the limit is the program's "maxSearchCount" (0 or less:
    // no limit), and one node adds at most kMaxHitsPerNode hits from its
    // article.  When the document cannot be read to the end, the hits found
    // so far are returned and lastError() says why.
    std::vector<SearchHit> search(const wxString& text, bool caseSensitive);
    // The same, handing each hit over as it is found (nothing is collected).
    using SearchSink = std::function<void(const SearchHit&)>;
    void search(const wxString& text, bool caseSensitive, const SearchSink& sink);
    // The same, asking `keepGoing` after every node with the number of hits
    // so far: false stops the search there (the hits handed over stay; it
    // is no error).
    using SearchProgress = std::function<bool(size_t hits)>;
    void search(const wxString& text, bool caseSensitive, const SearchSink& sink,
                const SearchProgress& keepGoing);
    void setMaxSearchCount(int n) { maxSearchCount_ = n; }

    // The question asked before an external article file is overwritten.
    void setUrlWriteQuestion(UrlWriteQuestion q) { urlQuestion_ = std::move(q); }
    const UrlWriteQuestion& urlWriteQuestion() const { return urlQuestion_; }

    // Used by blocks.  False when the row could not be read; a row that is
    // really missing reads as an empty header or body and is logged.
    bool readHead(Block& block);
    bool readBody(Block& block);
    sqlite3* handle() const { return db_.get(); }

private:
    friend class Block;
    friend class ReadBatch;
    bool createFile(const wxString& path, Connection& out, wxString& why,
                    const wxString& like = wxString());
    // The project table into project_ and unknown_ (SQLite's result of
    // finishing the read; `prepared` gets that of preparing).
    int readProject(int* prepared);
    bool reloadUnderLock();
    // A consistent copy of the file as committed (SQLite's online backup)
    // at `path`, with the document's mode; false and `why` on failure.
    bool snapshotTo(const wxString& path, wxString& why);
    // Inside a write transaction: false (and lastError() set) when the
    // file changed since it was read, so nothing may be written from memory.
    bool checkUnchanged(const char* operation);
    // Ends the write transaction and says why: the file changed since it was read.
    void refuseStaleWrite(const char* operation);
    // After a failed step inside a transaction: whether SQLite has already
    // rolled the whole transaction back on its own (a full disk, an I/O
    // error), so that nothing else may run in it.
    bool transactionLost() const;
    bool saveProject();
    bool execDeleteBlocks();
    bool saveOneBlock(Block& block);
    bool writeAll(bool& yesToAll);
    void destroyDeleted();
    void forgetStatements();
    void clearAfterWrite();
    bool writeBlockRow(Block& block, const Bytes& hdr, const Bytes* body,
                       const BlockCipher* cipher);
    enum ReadResult { READ_ROW, READ_MISSING, READ_FAILED };
    ReadResult readRaw(Stmt& cached, const char* sql, int id, Bytes& out, size_t limit,
                       bool* cut = nullptr);
    bool applyHead(Block& block, ReadResult r, Bytes raw, bool cut);
    bool applyBody(Block& block, ReadResult r, Bytes raw, bool cut);
    size_t bodyLimit(const Block& block) const;
    // The header and the stored body of a block in one read.
    bool readRow(Block& block);
    bool applyRow(Block& block, ReadResult r, Bytes hdr, bool hdrCut, Bytes stored,
                  bool bodyCut);
    void noteError(const char* operation, int code, const wxString& message = wxString());
    // The block index: read with kSelectBlockIndex (SQLite's result of the
    // last step; `prepared` gets that of preparing), or completed on first
    // use after an open with IndexMode::OnDemand.
    int readIndex(int* prepared) const;
    void ensureIndex() const {
        if (indexPending_) loadPendingIndex();
    }
    void loadPendingIndex() const;
    // With a pending index: the block `id` from its row alone, which is kept
    // for the read of its header and body that usually follows (one lookup
    // instead of two); nullptr when the file has no such block or the row
    // cannot be read (lastError() then says why).
    Block* lookupPending(int id);
    // The row lookupPending() read last, until a read of that block takes it.
    struct Prefetched {
        int id = 0;
        Bytes hdr, body;
        bool hdrCut = false, bodyCut = false;
    };
    bool takePrefetched(int id, Prefetched& out);
    // Lets the readers go (they hold the file's read lock while they stand
    // on a row).
    void releaseReaders();
    // A block of the index that is not in memory yet; `next` is the first
    // one in memory after it.
    using BlockMap = std::map<int, std::unique_ptr<Block>>;
    Block& addIndexed(int id, int type, int attr, BlockMap::iterator next);

    Defaults defaults_;
    wxString path_;
    Connection db_;
    int maxId_ = 0;
    bool isNew_ = false;
    AttrMap project_;
    std::vector<std::pair<wxString, wxString>> unknown_;
    bool projectDirty_ = false;
    // Counts the changes of values, blocks and bodies (never reset).
    unsigned long long edits_ = 0;
    unsigned long long untouchedAt_ = ~0ULL;
    std::unique_ptr<BlockCipher> cipher_;
    sqlite3* stateHandle_ = nullptr; // the connection stateVersion_ was read on
    long long stateVersion_ = -1;
    // The file version at which the protection settings on disk were last
    // compared with those in memory, and whether they were the same.
    long long protectionCheckedAt_ = -1;
    bool protectionSame_ = true;
    Stmt versionStmt_;
    // Before a header or body is decoded: false (and lastError() set) when
    // another program changed the document's protection since it was read,
    // so that nothing is decoded with the wrong key and shown as text.
    bool protectionHolds(int id);
    // Filled on first use when the index is pending (hence mutable).
    mutable std::map<int, std::unique_ptr<Block>> blocks_;
    mutable bool indexPending_ = false;
    Prefetched prefetched_;
    // Ordered readers of the block table for lookups with a pending index.
    // A walk through a tree meets each level in ascending ids, so most
    // lookups are the next rows of one reader rather than a search from
    // the top of the table.
    struct RowReader {
        Stmt st;
        sqlite3_int64 row = 0; // the id it stands on; 0: none
        unsigned used = 0;
    };
    std::array<RowReader, 8> readers_;
    unsigned readerClock_ = 0;
    // Ids of blocks that are dirty or hold a body: what a save has to visit,
    // so that saving one edit costs the same in a small and a large document.
    std::set<int> touched_;
    std::vector<std::unique_ptr<Block>> deleted_;
    int objectCursor_ = 0; // id of the object returned last
    int maxSearchCount_ = 0;
    UrlWriteQuestion urlQuestion_;
    StoreError error_;
    int busyTimeout_ = 2000;
    size_t articleLimit_ = kMaxArticleBytes;
    // Header and body reads run once per block: both stay prepared.
    Stmt headStmt_;
    Stmt bodyStmt_;
    Stmt rowStmt_;
};

// A document's unsaved edits, taken from it and ready to be written into a
// recovery file; holds nothing of the document, so it may be written on
// another thread while the document is used.
class RecoverySnapshot {
public:
    RecoverySnapshot();
    ~RecoverySnapshot();
    RecoverySnapshot(const RecoverySnapshot&) = delete;
    RecoverySnapshot& operator=(const RecoverySnapshot&) = delete;
    // Writes the file (see Database::writeRecovery); false and `why` when it
    // could not be written.  A long copy lets other connections write to
    // the document between its steps.
    bool write(const wxString& path, wxString& why) const;

private:
    friend class Database;
    struct Data;
    std::unique_ptr<Data> d_;
};

// What a recovery file says about itself.
struct RecoveryInfo {
    wxString document; // the document's file; "" for a never-saved document
    // The document's file as it was when the copy was made ("" when unknown,
    // or when another program had changed it under the window's edits).
    wxString base;
    wxString written; // when, as timeStamp() gives it
};
// False when `path` is not a readable recovery file.
bool readRecoveryInfo(const wxString& path, RecoveryInfo& out);
// True when the document's file is still exactly the one the recovery file
// was made from, so its edits can be taken back into it.
bool recoveryMatchesFile(const RecoveryInfo& info);

// A legacy cipher for this document and password: key from dbid + password + c.
std::unique_ptr<BlockCipher> makeDocumentCipher(const Database& db, const wxString& password,
                                                const wxString& options);

// How a document is to be protected: the sealed scheme with the given key
// derivation limits, or (compatible) the legacy scheme that older programs
// read, with its option letters.
struct Protection {
    bool compatible = false;
    wxString options;
    KdfLimits limits = defaultKdfLimits();
};
// The cipher for protecting or re-keying `db` with `password` (nullptr when
// the memory for deriving the key cannot be had).
std::unique_ptr<BlockCipher> makeProtection(const Database& db, const wxString& password,
                                            const Protection& how);

// Installs the cipher of a protected document after `open`, when its
// algorithms are supported and the password matches the stored verifier.
// The sealed scheme derives its key here, once per open.
enum class Unlock { Ok, NotProtected, Unsupported, WrongPassword, Damaged, NoMemory };
// Whether the document names algorithms this program has.
bool hasSupportedAlgorithms(const Database& db);
// The salt and limits of a sealed document; false when they are missing,
// malformed or beyond what this program derives.
bool storedKdf(const Database& db, Bytes& salt, KdfLimits& limits);
Unlock unlockDocument(Database& db, const wxString& password);
// The same without installing it: the cipher of the document for this
// password in `out` when the answer is Ok.
Unlock documentCipher(const Database& db, const wxString& password,
                      std::unique_ptr<BlockCipher>& out);
// For a person: why an unlock failed ("" for Ok and NotProtected).
wxString unlockProblem(Unlock u);

// Holds one read transaction while many headers or bodies are loaded one by
// one (a walk over the whole tree): SQLite then locks the file once instead of
// once per row.  Nothing may be saved while a batch is alive.
class ReadBatch {
public:
    explicit ReadBatch(Database& db);
    ~ReadBatch();
    ReadBatch(const ReadBatch&) = delete;
    ReadBatch& operator=(const ReadBatch&) = delete;

private:
    Database* owner_;
    sqlite3* db_ = nullptr;
};

} // namespace qn
