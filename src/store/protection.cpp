// Protection of a document: unlocking it with a password and changing or
// removing its cipher (every block rewritten in one transaction).
#include "store/database.h"
#include "store/safe_file.h"

#include <wx/arrstr.h>
#include <wx/log.h>

#include <optional>
#include <vector>

namespace qn {

bool Database::changeCipher(std::unique_ptr<BlockCipher> cipher, const wxString& password) {
    clearError();
    if (!isNew_ && !db_) {
        // Nothing to rewrite: saying "protected" here would be a lie.
        noteError("changeCipher", SQLITE_MISUSE, wxS("no document file is open"));
        return false;
    }
    ensureIndex();
    if (indexPending_) return false; // every block is rewritten: all must be known
    // The protection settings as they were, put back when the rewrite fails.
    static constexpr int kKeys[] = {K_c_algo, K_pwd, K_c_salt, K_c_ops, K_c_mem};
    std::vector<std::pair<int, std::optional<wxString>>> was;
    for (int code : kKeys) {
        auto it = project_.find(code);
        was.emplace_back(code, it == project_.end() ? std::nullopt
                                                    : std::optional<wxString>(it->second));
    }
    const bool wasDirty = projectDirty_;
    for (int code : kKeys)
        removeKey(code);
    if (cipher && cipher->isSealed()) {
        setString(K_c_algo, cipher->algoText());
        setString(K_pwd, cipher->sealedVerifier(dbid()));
        setString(K_c_salt, hexText(cipher->salt()));
        setString(K_c_ops, wxString::Format(wxS("%llu"), cipher->limits().ops));
        setString(K_c_mem, wxString::Format(wxS("%llu"),
                                            static_cast<unsigned long long>(cipher->limits().mem)));
    } else if (cipher) {
        setString(K_c_algo, cipher->algoText());
        setString(K_pwd, passwordVerifier(password, dbid()));
    }
    if (isNew_) {
        cipher_ = std::move(cipher);
        for (auto& [id, b] : blocks_)
            b->encrypted_ = cipher_ != nullptr;
        return true;
    }

    const BlockCipher* oldC = cipher_.get();
    const BlockCipher* newC = cipher.get();
    // The write lock before anything is read for the rewrite, and then a
    // check that the blocks known here are still the file's: a block another
    // program added meanwhile would be left in the old key (or in clear) and
    // its parent's list rewritten without it.  A caller that wants to go on
    // then takes the lock with beginWrite(Reload::IfUnchanged) first.
    bool ok = db_.inTransaction() || db_.exec(sql::kBeginImmediate) == 0;
    if (!ok) noteError("changeCipher", db_.errcode());
    if (ok && !checkUnchanged("changeCipher")) ok = false;
    if (ok && !saveProject()) ok = false;
    if (ok && !execDeleteBlocks()) ok = false;
    bool yesToAll = false;
    // Stored bytes carried over unchanged: decrypted with the old key, then
    // enciphered with the new one (no decoding in between).  A failed read
    // fails the whole rewrite: an empty value must never be written back.
    Stmt rawHead, rawBody;
    auto rekey = [&](Stmt& cached, const char* sql, BlockRef at, CipherPart part, Bytes& raw) {
        if (readRaw(cached, sql, at.id, raw, SIZE_MAX) == READ_FAILED) {
            const int rc = db_.errcode();
            noteError(
                "changeCipher", rc,
                wxString::Format(wxS("block %d could not be read: %s"), at.id, sqliteReason(rc)));
            return false;
        }
        if (oldC && !oldC->open(raw, part, at)) {
            // Bytes that do not open cannot be carried over to another key.
            noteError("changeCipher", SQLITE_CORRUPT,
                      wxString::Format(wxS("block %d is damaged: its stored %s does not open with "
                                           "the document's key"),
                                       at.id, part == CipherPart::Header ? wxS("header")
                                                                         : wxS("body")));
            return false;
        }
        if (newC) newC->seal(raw, part, at);
        return true;
    };
    for (auto& [id, bp] : blocks_) {
        if (!ok) break;
        Block& b = *bp;
        const bool known = b.type_ == BT_NODE || b.type_ == BT_OBJECT;
        // Read with the old key; a header that cannot be read stops the rewrite.
        if (known && !b.loadHeader()) {
            ok = false;
            break;
        }
        Bytes body;
        if ((b.dirty_ & (DIRTY_BODY | DIRTY_NEW)) && known) {
            if (b.type_ == BT_NODE && !b.getString(K_url).empty() && b.getString(K_sz) != wxS("-1"))
                b.writeToUrl(b.getString(K_url), yesToAll);
            body = b.encodeBody(newC, getInt(K_comp) != 0);
        } else if (!(b.dirty_ & DIRTY_NEW)) {
            // An unchanged body keeps its stored bytes, still compressed, so
            // that nothing is re-encoded from a partial reading.
            if (!rekey(rawBody, sql::kSelectBody, {b.id_, b.type_}, CipherPart::Body, body)) {
                ok = false;
                break;
            }
        }
        // Rows of unknown kinds keep their header bytes too, only re-keyed.
        Bytes hdr;
        if (known)
            hdr = encodeHeader(*b.attrs_, newC, {b.id_, b.type_});
        else if (!rekey(rawHead, sql::kSelectHeader, {b.id_, b.type_}, CipherPart::Header, hdr)) {
            ok = false;
            break;
        }
        if (!writeBlockRow(b, hdr, &body, newC)) ok = false;
    }
    rawHead.finalize();
    rawBody.finalize();
    if (ok && db_.exec(sql::kCommit) == 0) {
        for (auto& [id, b] : blocks_) {
            b->dirty_ = 0;
            b->encrypted_ = newC != nullptr;
            b->freeBody();
        }
        touched_.clear();
        clearAfterWrite();
        cipher_ = std::move(cipher);
    } else {
        if (!error_) noteError("changeCipher", db_.errcode());
        if (!transactionLost()) db_.exec(sql::kRollback);
        // Nothing changed on disk: keep the old protection and every edit.
        for (const auto& [code, value] : was) {
            if (value)
                project_[code] = *value;
            else
                project_.erase(code);
        }
        projectDirty_ = wasDirty;
        return false;
    }

    // Squeeze the rewritten file: the old ciphertext must not linger in free pages.
    // The rewrite is committed either way: a squeeze that fails costs space only.
    // Another program's optimize of the same file is waited for: it may
    // have compacted the file before this rewrite was committed.
    wxString why;
    if (compact(false, why, 120 * 1000) != Compact::Done)
        wxLogMessage(wxS("Database::changeCipher compact: %s"), why);
    return true;
}

std::unique_ptr<BlockCipher> makeDocumentCipher(const Database& db, const wxString& password,
                                                const wxString& options) {
    auto c = std::make_unique<BlockCipher>();
    c->setKey(cipherKeyMaterial(db.dbid(), password, db.getString(K_c)));
    c->setOptions(options);
    return c;
}

std::unique_ptr<BlockCipher> makeProtection(const Database& db, const wxString& password,
                                            const Protection& how) {
    if (how.compatible) return makeDocumentCipher(db, password, how.options);
    return BlockCipher::newSealed(password, how.limits);
}

namespace {
// c_algo split at ",", missing pieces empty.
wxArrayString algoParts(const Database& db) {
    wxArrayString parts = wxSplit(db.getString(K_c_algo), ',', 0);
    while (parts.size() < 3)
        parts.push_back(wxString());
    return parts;
}

bool isSealedAlgo(const Database& db) {
    return db.getString(K_c_algo) == wxString::FromAscii(kSealedAlgo);
}
} // namespace

bool hasSupportedAlgorithms(const Database& db) {
    if (isSealedAlgo(db)) return true;
    wxArrayString parts = algoParts(db);
    return isSupportedAlgorithm(parts[0]) && isSupportedAlgorithm(parts[1]);
}

bool storedKdf(const Database& db, Bytes& salt, KdfLimits& limits) {
    unsigned long long ops = 0, mem = 0;
    if (!fromHexText(db.getString(K_c_salt), salt) || salt.size() != kKdfSaltBytes ||
        !db.getString(K_c_ops).ToULongLong(&ops) ||
        !db.getString(K_c_mem).ToULongLong(&mem) || mem > SIZE_MAX)
        return false;
    limits = KdfLimits{ops, static_cast<size_t>(mem)};
    return limits.acceptable();
}

Unlock unlockDocument(Database& db, const wxString& password) {
    std::unique_ptr<BlockCipher> c;
    const Unlock u = documentCipher(db, password, c);
    if (u == Unlock::Ok) db.setCipher(std::move(c));
    return u;
}

Unlock documentCipher(const Database& db, const wxString& password,
                      std::unique_ptr<BlockCipher>& out) {
    out.reset();
    if (!db.isProtected()) return Unlock::NotProtected;
    if (!hasSupportedAlgorithms(db)) return Unlock::Unsupported;
    if (isSealedAlgo(db)) {
        Bytes salt;
        KdfLimits limits;
        if (!storedKdf(db, salt, limits)) return Unlock::Damaged;
        // The key is derived once per open and kept for the document.
        std::unique_ptr<BlockCipher> c = BlockCipher::sealedFrom(password, salt, limits);
        if (!c) return Unlock::NoMemory;
        if (!c->checkSealedVerifier(db.getString(K_pwd), db.dbid())) return Unlock::WrongPassword;
        out = std::move(c);
        return Unlock::Ok;
    }
    if (passwordVerifier(password, db.dbid()) != db.getString(K_pwd)) return Unlock::WrongPassword;
    out = makeDocumentCipher(db, password, algoParts(db)[2]);
    return Unlock::Ok;
}

wxString unlockProblem(Unlock u) {
    switch (u) {
    case Unlock::Ok:
    case Unlock::NotProtected:
        return wxString();
    case Unlock::Unsupported:
        return wxS("protected with an unsupported algorithm");
    case Unlock::WrongPassword:
        return wxS("wrong password");
    case Unlock::Damaged:
        return wxS("the document's protection settings are damaged (salt or key derivation "
                   "limits)");
    case Unlock::NoMemory:
        return wxS("not enough memory to derive the key from the password");
    }
    return wxString();
}

} // namespace qn
