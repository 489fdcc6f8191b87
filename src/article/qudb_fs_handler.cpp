#include "article/qudb_fs_handler.h"

#include "article/link_target.h"
#include "store/database.h"

#include <wx/mstream.h>

#include <algorithm>

namespace qn {

std::map<wxString, Database*>& QudbFSHandler::registry() {
    static std::map<wxString, Database*> docs;
    return docs;
}

bool QudbFSHandler::registerDocument(const wxString& documentId, Database* db) {
    for (const auto& entry : registry())
        if (entry.second && entry.second->dbid() == documentId) return false;
    registry()[documentId] = db;
    return true;
}

void QudbFSHandler::unregisterDocument(const wxString& documentId) {
    registry().erase(documentId);
}

void QudbFSHandler::unregisterDatabase(const Database* db) {
    auto& docs = registry();
    for (auto it = docs.begin(); it != docs.end();)
        it = it->second == db ? docs.erase(it) : std::next(it);
}

Database* QudbFSHandler::documentFor(const wxString& documentId) {
    auto it = registry().find(documentId);
    return it == registry().end() ? nullptr : it->second;
}

bool QudbFSHandler::CanOpen(const wxString& location) {
    return GetProtocol(location) == wxS("qudb");
}

wxFSFile* QudbFSHandler::OpenFile(wxFileSystem&, const wxString& location) {
    if (GetProtocol(location) != wxS("qudb")) return nullptr;
    QudbLocation loc;
    if (!parseQudbLocation(location, loc)) return nullptr;
    Database* db = documentFor(loc.documentId);
    if (!db) return nullptr;
    Block* block = db->findBlock(static_cast<int>(loc.objectId));
    if (!block || !block->isObject()) return nullptr;
    const Bytes& bytes = block->body().bytes;
    // The stream gets its own copy: the body is dropped from memory at the
    // next save while the toolkit may still read the image.  Its length is
    // that of the bytes actually there, whatever "sz" claims.
    wxMemoryOutputStream copy;
    copy.Write(bytes.data(), bytes.size());
    auto* stream = new wxMemoryInputStream(copy);
    return new wxFSFile(stream, location, block->getString(K_m), wxString(), wxDateTime());
}

void registerQudbHandler() {
    static bool done = false;
    if (done) return;
    done = true;
    wxFileSystem::AddHandler(new QudbFSHandler);
}

} // namespace qn
