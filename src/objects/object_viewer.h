// The object manager: the document's embedded objects in a list, with a
// preview, and commands to copy image tags, import, export and remove
// objects. Modeless; it belongs to one main window and its document and
// closes when that document is closed.
#pragma once

#include <wx/dialog.h>

#include <vector>

class wxListCtrl;

namespace qn {

class Block;
class Database;
class ImagePanel;

class ObjectViewer : public wxDialog {
public:
    enum {
        ID_LIST = 100,
        ID_COPY_TAGS = 101,
        ID_IMPORT = 103,
        ID_EXPORT = 104,
        ID_REMOVE = 105,
    };

    ObjectViewer(wxWindow* parent, const wxPoint& pos, const wxSize& size, Database& db);

    // The manager of a main window: raised when it is open, else made.
    static ObjectViewer* showFor(wxWindow* frame, Database& db);
    // The open manager of a main window, or null.
    static ObjectViewer* findFor(wxWindow* frame);
    // Closes the managers of a main window whose document goes away.
    static void closeFor(wxWindow* frame);

    wxListCtrl* list() const { return list_; }
    ImagePanel* preview() const { return preview_; }

    // The commands of the buttons.
    void showPreview(long row);
    // The tags of the selected rows, one a line.
    wxString imageTags() const;
    void copyImageTags();
    void importObject();
    void exportObjects();
    void removeObjects();

private:
    void fill();
    long addRow(Block& object, bool filling);
    std::vector<long> selectedRows() const;
    int rowId(long row) const;
    // The object of a row: an object block of this document, or null.
    Block* objectOf(long row) const;
    bool exportObject(Block& object, const wxString& path);
    int tell(const wxString& message, long style);

    Database& db_;
    wxListCtrl* list_ = nullptr;
    ImagePanel* preview_ = nullptr;
    bool closing_ = false;
};

} // namespace qn
