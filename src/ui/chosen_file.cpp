#include "ui/chosen_file.h"

#include "app/text_constants.h"
#include "ui/my_message.h"

#include <wx/filename.h>

#include <utility>

namespace qn {

namespace {

OpenDocumentCheck& openDocumentCheck() {
    static OpenDocumentCheck check;
    return check;
}

} // namespace

wxString chosenPath(const wxString& path, const wxString& folder, const wxString& name) {
    if (!path.empty()) return path;
    if (name.empty()) return wxString();
    return wxFileName(folder, name).GetFullPath();
}

wxString withDefaultExtension(const wxString& path, int filterIndex, const wxString& extension) {
    if (path.empty() || filterIndex != 0) return path;
    wxFileName name(path);
    if (name.HasExt()) return path;
    name.SetExt(extension);
    return name.GetFullPath();
}

void setOpenDocumentCheck(OpenDocumentCheck check) {
    openDocumentCheck() = std::move(check);
}

bool mayWriteFile(wxWindow* parent, const wxString& path) {
    const OpenDocumentCheck& isOpen = openDocumentCheck();
    if (!isOpen || !isOpen(path)) return true;
    showMessage(text(wxS("s.FileIsOpen")) + wxS("\n\n") + path, text(wxS("s.Title")),
                MSG_OK | MSG_ICON_ERROR, parent);
    return false;
}

} // namespace qn
