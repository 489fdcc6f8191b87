// The document commands of one main window: new, open, save, save as,
// optimize, close and a new document id. The window calls them from its
// menu handlers and its public operations; they ask the user through
// message boxes and file dialogs parented to the window.
#pragma once

#include <wx/string.h>

namespace qn {

class Database;
class MainFrame;
struct RecoveryInfo;

class DocumentCommands {
public:
    explicit DocumentCommands(MainFrame& frame) : frame_(frame) {}

    // "" starts a new document: in this window when it has none, else in a
    // new window. A path shown in a window raises that window; otherwise
    // the file opens here, or in a new window when this one has a document.
    bool openOrCreate(const wxString& path);
    // Opens the file in this window (which must have no document). With
    // `recovery`, the unsaved edits kept in that recovery file are taken
    // back into the document before anything of it is shown.
    bool openDocument(const wxString& path, const wxString& recovery = wxString());
    // Shows the edits of a recovery file in this window (which must have no
    // document): in the document itself when its file is still the one they
    // were made on, otherwise as a new, never-saved document, so that a
    // save can never overwrite what another program wrote meanwhile.
    bool restoreRecovered(const wxString& recovery, const RecoveryInfo& info);
    bool saveDocument();
    bool saveCopyAs(const wxString& path);
    // False when the close was abandoned or saving failed.
    bool closeDocument(bool withCancel);

    // The menu commands.
    void open();
    void save();
    void saveAs();
    void optimize();
    void close();
    void changeFileId();

private:
    Database& db();
    // A new document id, with the document's links to its own objects
    // changed to it; not saved yet.
    void takeNewDocumentId();

    MainFrame& frame_;
};

} // namespace qn
