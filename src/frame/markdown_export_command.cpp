#include "frame/markdown_export_command.h"

#include "app/text_constants.h"
#include "frame/markdown_exporter.h"
#include "store/database.h"
#include "ui/my_message.h"

#include <wx/choicdlg.h>
#include <wx/filename.h>
#include <wx/utils.h>

namespace qn {

bool wantsMarkdown(const wxString& path, int filterIndex) {
    return filterIndex == kMarkdownFilter || wxFileName(path).GetExt().Lower() == wxS("md");
}

bool exportMarkdown(wxWindow* parent, Database& document, const wxString& path) {
    const wxString choices[] = {text(wxS("s.MarkdownOneFile")), text(wxS("s.MarkdownFilePerNote"))};
    wxSingleChoiceDialog layout(parent, text(wxS("s.MarkdownLayout")), text(wxS("s.Title")), 2,
                                choices);
    layout.Centre();
    if (layout.ShowModal() != wxID_OK) return false;
    const bool perNote = layout.GetSelection() == 1;
    wxString target = path;
    if (perNote) {
        wxFileName name(path);
        if (name.GetExt().Lower() == wxS("md")) name.ClearExt();
        target = name.GetFullPath();
    }
    MarkdownExporter exporter(document, perNote ? MarkdownExporter::FILE_PER_NOTE
                                                : MarkdownExporter::ONE_FILE);
    bool written;
    {
        wxBusyCursor busy;
        written = exporter.exportTo(target);
    }
    if (!written)
        // Which document, what failed and why.
        showMessage(text(exporter.documentUnreadable() ? wxS("s.ExportUnreadable")
                                                       : wxS("s.FileOpenWriteError")) +
                        wxS("\n\n") + document.path() + wxS("\n") + exporter.error(),
                    text(wxS("s.Title")), MSG_OK | MSG_ICON_ERROR, parent);
    return written;
}

} // namespace qn
