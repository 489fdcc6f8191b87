// The "qudb:" scheme: images and other objects embedded in a document, read
// by the HTML view (and the object manager's preview) like files.
#pragma once

#include <wx/filesys.h>

#include <map>

namespace qn {

class Database;

class QudbFSHandler : public wxFileSystemHandler {
public:
    bool CanOpen(const wxString& location) override;
    wxFSFile* OpenFile(wxFileSystem& fs, const wxString& location) override;

    // The registry of open documents by document id ("dbid").  Refused (false,
    // nothing changed) when a registered document already carries that id.
    static bool registerDocument(const wxString& documentId, Database* db);
    static void unregisterDocument(const wxString& documentId);
    // Drops every entry of a document that goes away, whatever its id.
    static void unregisterDatabase(const Database* db);
    static Database* documentFor(const wxString& documentId);

private:
    static std::map<wxString, Database*>& registry();
};

// Adds the handler to the toolkit's file system once per process.
void registerQudbHandler();

} // namespace qn
