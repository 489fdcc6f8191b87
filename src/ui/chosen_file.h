// A file the user chose in a file dialog, and whether the program may
// write it.  Every window that writes a file goes through mayWriteFile.
#pragma once

#include <wx/string.h>

#include <functional>

class wxWindow;

namespace qn {

// The file a file dialog was answered with. `path` (GetPath()) is the only
// one that sees a path the user typed (ctrl+L, or a folder in the name
// field); it is empty when a test hook answered the dialog, and then the
// dialog's folder and file name are taken.
wxString chosenPath(const wxString& path, const wxString& folder, const wxString& name);

// A file dialog's choice with the default extension added when the name
// has none and the first filter was chosen.
wxString withDefaultExtension(const wxString& path, int filterIndex, const wxString& extension);

// Tells whether a window of this program shows the document `path`.  The
// main windows install it (they know which documents are open); without it
// no file counts as open.
using OpenDocumentCheck = std::function<bool(const wxString& path)>;
void setOpenDocumentCheck(OpenDocumentCheck check);

// Every file the program writes is checked here first. A document open in
// a window of this program is never written over from elsewhere: that
// window's later saves would destroy the new file. Refuses with a message
// (parent `parent`) and returns false in that case.
bool mayWriteFile(wxWindow* parent, const wxString& path);

} // namespace qn
