// Commands of the Tools menu that open a window of their own.
#include "frame/main_frame.h"

#include "app/placeholders.h"
#include "app/text_constants.h"
#include "diary/create_diary.h"
#include "frame/file_commands.h"
#include "frame/markdown_export_command.h"
#include "frame/text_exporter.h"
#include "objects/object_viewer.h"
#include "prefs/preferences_dialog.h"
#include "tree/tree_panel.h"
#include "ui/my_message.h"

#include <wx/choicdlg.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/utils.h>

namespace qn {

void MainFrame::onCreateDiary(wxCommandEvent&) {
    if (!db_->isOpen() || !tree_) return;
    commitArticle();
    CreateDiary dialog(this, wxID_ANY, *tree_, *db_);
    dialog.ShowModal();
}

void MainFrame::onExportText(wxCommandEvent&) {
    if (!db_->isOpen()) return;
    commitArticle(); // the text on screen is what is exported
    // The document's folder and name, with ".txt".
    wxString folder, name;
    if (!db_->path().empty()) {
        const wxFileName doc(db_->path());
        folder = doc.GetPath();
        name = doc.GetName() + wxS(".txt");
    }
    wxFileDialog dialog(this, text("s.EnterFilename"), folder, name,
                        wxS("Text files (*.txt)|*.txt|Markdown files (*.md)|*.md|"
                            "All files (*.*)|*.*"),
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return;
    const wxString path =
        chosenPath(dialog.GetPath(), dialog.GetDirectory(), dialog.GetFilename());
    // Never over a document open in this program (this one included).
    if (path.empty() || !mayWriteFile(this, path)) return;
    if (wantsMarkdown(path, dialog.GetFilterIndex())) {
        exportMarkdown(this, *db_, path);
        return;
    }

    const wxString choices[] = {text("s.CharsetDefault"), text("s.CharsetUTF8")};
    wxSingleChoiceDialog encoding(this, text("s.SelectEncoding"), text("s.Title"), 2, choices);
    encoding.SetSize(200, 150);
    encoding.Centre();
    if (encoding.ShowModal() != wxID_OK) return;

    TextExporter exporter(*db_, encoding.GetSelection() == 1 ? TextExporter::ENC_UTF8
                                                             : TextExporter::ENC_SYSTEM);
    bool written;
    {
        wxBusyCursor busy;
        written = exporter.exportToFile(path);
    }
    const wxString title = text("s.Title");
    if (!written) {
        // Which document, what failed and why.
        showMessage(
            text(exporter.documentUnreadable() ? "s.ExportUnreadable" : "s.FileOpenWriteError") +
                wxS("\n\n") + db_->path() + wxS("\n") + exporter.error(),
            title, MSG_OK | MSG_ICON_ERROR, this);
    } else if (exporter.substituted() > 0) {
        showMessage(fillPlaceholders(text("s.ExportSubstituted"),
                                     {wxString::Format(wxS("%lu"), static_cast<unsigned long>(exporter.substituted()))}),
                    title, MSG_OK | MSG_ICON_WARNING, this);
    }
}

void MainFrame::onPreferences(wxCommandEvent&) {
    commitArticle();
    PreferencesDialog dialog(this, *db_);
    if (dialog.ShowModal() == wxID_OK) applyPreferences(dialog.choice());
}

void MainFrame::onViewObjects(wxCommandEvent&) {
    if (db_->isOpen()) ObjectViewer::showFor(this, *db_);
}

} // namespace qn
