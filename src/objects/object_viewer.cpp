#include "objects/object_viewer.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "objects/image_panel.h"
#include "objects/object_rows.h"
#include "store/database.h"
#include "store/keys.h"
#include "ui/chosen_file.h"
#include "ui/my_message.h"

#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/listctrl.h>
#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/utils.h>

namespace qn {

namespace {

const wxString kImageFiles =
    wxS("Image files (*.jpg *.bmp *.gif *.png *.ico)|*.jpg;*.jpeg;*.bmp;*.gif;*.png;*.ico");

enum Column { COL_ID, COL_NAME, COL_MIME, COL_TIME, COL_BYTES, COL_SIZE };

wxBitmapType bitmapTypeOf(ImageType type) {
    switch (type) {
    case ImageType::Jpeg:
        return wxBITMAP_TYPE_JPEG;
    case ImageType::Bmp:
        return wxBITMAP_TYPE_BMP;
    case ImageType::Gif:
        return wxBITMAP_TYPE_GIF;
    case ImageType::Png:
        return wxBITMAP_TYPE_PNG;
    case ImageType::Ico:
        return wxBITMAP_TYPE_ICO;
    case ImageType::None:
        break;
    }
    return wxBITMAP_TYPE_INVALID;
}

} // namespace

ObjectViewer::ObjectViewer(wxWindow* parent, const wxPoint& pos, const wxSize& size, Database& db)
    : wxDialog(parent, wxID_ANY, text("s.Title"), pos, size,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      db_(db) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    list_ = new wxListCtrl(this, ID_LIST, wxDefaultPosition, wxDefaultSize, wxLC_REPORT);
    const struct {
        const char* key;
        int width;
        wxListColumnFormat align;
    } columns[] = {
        {"s.obj.ID", 100, wxLIST_FORMAT_LEFT},      {"s.obj.orgname", 100, wxLIST_FORMAT_LEFT},
        {"s.obj.mimetype", 80, wxLIST_FORMAT_LEFT}, {"s.obj.datetime", 140, wxLIST_FORMAT_LEFT},
        {"s.obj.bytes", 70, wxLIST_FORMAT_RIGHT},   {"s.obj.size", 100, wxLIST_FORMAT_RIGHT}};
    for (size_t i = 0; i < std::size(columns); ++i)
        list_->InsertColumn(static_cast<long>(i), text(columns[i].key), columns[i].align,
                            columns[i].width);
    row->Add(list_, 1, wxEXPAND);
    preview_ = new ImagePanel(this);
    row->Add(preview_, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    top->Add(row, 1, wxEXPAND);
    top->Add(new wxStaticLine(this), 0, wxTOP | wxBOTTOM | wxEXPAND, 5);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(this, ID_COPY_TAGS, text("s.obj.copyIMG")), 0, wxLEFT, 5);
    buttons->Add(new wxButton(this, ID_IMPORT, text("s.obj.import")), 0, wxLEFT, 5);
    buttons->Add(new wxButton(this, ID_EXPORT, text("s.obj.export")), 0, wxLEFT, 5);
    buttons->Add(new wxButton(this, ID_REMOVE, text("s.obj.remove")), 0, wxLEFT, 5);
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(this, wxID_CLOSE, text("s.obj.close")), 0, wxRIGHT, 5);
    top->Add(buttons, 0, wxBOTTOM | wxEXPAND, 5);
    SetSizer(top);
    SetEscapeId(wxID_CLOSE);

    fill();

    list_->Bind(wxEVT_LIST_ITEM_SELECTED,
                [this](wxListEvent& event) { showPreview(event.GetIndex()); });
    // Delete removes the selected objects, as the Remove button does.
    list_->Bind(wxEVT_LIST_KEY_DOWN, [this](wxListEvent& event) {
        if (event.GetKeyCode() == WXK_DELETE)
            removeObjects();
        else
            event.Skip();
    });
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { copyImageTags(); }, ID_COPY_TAGS);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { importObject(); }, ID_IMPORT);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { exportObjects(); }, ID_EXPORT);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { removeObjects(); }, ID_REMOVE);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); }, wxID_CLOSE);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
        const wxSize size = GetSize();
        const int values[2] = {size.x, size.y};
        settings().setIntArray(wxS("objframe"), values, 2);
        closing_ = true;
        Destroy();
    });
}

ObjectViewer* ObjectViewer::findFor(wxWindow* frame) {
    if (!frame) return nullptr;
    for (wxWindow* child : frame->GetChildren())
        if (auto* viewer = dynamic_cast<ObjectViewer*>(child); viewer && !viewer->closing_)
            return viewer;
    return nullptr;
}

ObjectViewer* ObjectViewer::showFor(wxWindow* frame, Database& db) {
    ObjectViewer* viewer = findFor(frame);
    if (!viewer) {
        // The size the user gave it last time (settings key "objframe").
        int r[2] = {0, 0};
        settings().getIntArray(wxS("objframe"), r, 2);
        const wxSize size(r[0] >= 200 ? r[0] : 640, r[1] >= 120 ? r[1] : 300);
        viewer = new ObjectViewer(frame, wxDefaultPosition, size, db);
    }
    viewer->Show();
    viewer->Raise();
    return viewer;
}

void ObjectViewer::closeFor(wxWindow* frame) {
    while (ObjectViewer* viewer = findFor(frame)) {
        // Nothing of the document may be reached once it is closed.
        viewer->closing_ = true;
        viewer->Hide();
        viewer->Destroy();
    }
}

int ObjectViewer::tell(const wxString& message, long style) {
    return showMessage(message, text("s.Title"), style, this);
}

// ---------------------------------------------------------------------------
// The list

void ObjectViewer::fill() {
    list_->Freeze();
    std::vector<int> ids;
    for (const auto& [id, block] : db_.blocks())
        if (block->isObject()) ids.push_back(id);
    for (int id : ids)
        if (Block* object = db_.getBlock(id)) addRow(*object, true);
    // Each column as wide as its heading and its longest entry.
    for (int c = 0; c < list_->GetColumnCount(); ++c)
        list_->SetColumnWidth(c, wxLIST_AUTOSIZE_USEHEADER);
    list_->Thaw();
}

long ObjectViewer::addRow(Block& object, bool filling) {
    const long row =
        list_->InsertItem(list_->GetItemCount(), objectIdText(object.id(), object.getString(K_m)));
    list_->SetItemData(row, object.id());
    list_->SetItem(row, COL_NAME, object.getString(K_fname));
    list_->SetItem(row, COL_MIME, object.getString(K_m));
    list_->SetItem(row, COL_TIME, object.getString(K_c));
    list_->SetItem(row, COL_BYTES,
                   filling ? objectBytesText(object.getUInt(K_sz))
                           : wxString::Format(wxS("%lu"), object.getUInt(K_sz)));
    list_->SetItem(row, COL_SIZE, filling ? wxS("W-- H--") : wxS("--"));
    return row;
}

std::vector<long> ObjectViewer::selectedRows() const {
    std::vector<long> rows;
    for (long row = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
         row = list_->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        rows.push_back(row);
    return rows;
}

int ObjectViewer::rowId(long row) const {
    return static_cast<int>(list_->GetItemData(row));
}

Block* ObjectViewer::objectOf(long row) const {
    if (closing_ || !db_.isOpen() || row < 0 || row >= list_->GetItemCount()) return nullptr;
    Block* block = db_.getBlock(rowId(row));
    return block && block->isObject() ? block : nullptr;
}

// ---------------------------------------------------------------------------
// Commands

void ObjectViewer::showPreview(long row) {
    Block* object = objectOf(row);
    if (!object) return;
    // The bytes of this document's own object: another open document may
    // carry the same document id.
    wxSize size(0, 0);
    const Body& body = object->body();
    if (!object->bodyFailed()) size = preview_->load(body.bytes);
    list_->SetItem(row, COL_BYTES, wxString::Format(wxS("%lu"), object->getUInt(K_sz)));
    list_->SetItem(row, COL_SIZE, pictureSizeText(size.x, size.y));
}

wxString ObjectViewer::imageTags() const {
    wxString tags;
    for (long row : selectedRows())
        if (objectOf(row)) tags += imageTag(db_.dbid(), list_->GetItemText(row, COL_ID));
    return tags;
}

void ObjectViewer::copyImageTags() {
    const wxString tags = imageTags();
    if (tags.empty()) return;
    wxClipboardLocker clipboard;
    if (!clipboard) return;
    wxTheClipboard->SetData(new wxTextDataObject(tags));
}

void ObjectViewer::importObject() {
    if (closing_ || !db_.isOpen()) return;
    wxFileDialog dialog(this, text("s.EnterFilename"), wxString(), wxString(),
                        kImageFiles + wxS("|All files (*.*)|*.*"),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return;
    const wxString path = chosenPath(dialog.GetPath(), dialog.GetDirectory(), dialog.GetFilename());
    if (path.empty()) return;
    db_.clearError();
    Block* object = db_.newObject(wxString());
    if (!object) {
        tell(fillPlaceholders(text("s.obj.importFailed"),
                              {path + wxS("\n") + db_.lastError().message}),
             MSG_OK | MSG_ICON_ERROR);
        return;
    }
    bool imported;
    {
        wxBusyCursor busy;
        imported = object->importFile(path);
    }
    if (!imported) {
        // An empty object would only be in the way: it goes again.
        const wxString why = db_.lastError() ? db_.lastError().message : fileReadProblem(path);
        db_.deleteBlock(object->id());
        tell(fillPlaceholders(text("s.obj.importFailed"), {path + wxS("\n") + why}),
             MSG_OK | MSG_ICON_ERROR);
        return;
    }
    addRow(*object, false);
}

bool ObjectViewer::exportObject(Block& object, const wxString& path) {
    wxString ext = wxFileName(path).GetExt().Lower();
    const MimeInfo target = mimeForExtension(ext);
    const wxString mime = object.getString(K_m);
    wxBusyCursor busy;
    const Body& body = object.body();
    if (object.bodyFailed()) {
        tell(text("s.FileOpenWriteError") + wxS("\n\n") + db_.lastError().message,
             MSG_OK | MSG_ICON_ERROR);
        return false;
    }
    Bytes bytes;
    if (target.mime == mime) {
        bytes = body.bytes;
    } else {
        wxImage image;
        bool decoded;
        {
            wxLogNull quiet;
            wxMemoryInputStream in(body.bytes.data(), body.bytes.size());
            decoded = !body.bytes.empty() && image.LoadFile(in, wxBITMAP_TYPE_ANY);
        }
        wxMemoryOutputStream out;
        bool encoded = false;
        if (decoded && target.mime.StartsWith(wxS("image"))) {
            wxLogNull quiet;
            encoded = image.SaveFile(out, bitmapTypeOf(target.image));
        }
        if (!encoded) {
            wxBusyCursorSuspender shown;
            tell(text("s.obj.typeErr"), MSG_OK | MSG_ICON_ERROR);
            return false;
        }
        bytes.resize(out.GetSize());
        out.CopyTo(bytes.data(), bytes.size());
    }
    wxString why;
    if (!writeWholeFile(path, bytes, why, db_.isProtected())) {
        wxBusyCursorSuspender shown;
        tell(text("s.FileOpenWriteError") + wxS("\n\n") + path + wxS("\n") + why,
             MSG_OK | MSG_ICON_ERROR);
        return false;
    }
    return true;
}

void ObjectViewer::exportObjects() {
    for (long row : selectedRows()) {
        Block* object = objectOf(row);
        if (!object) continue;
        wxFileDialog dialog(this, text("s.EnterFilename"), wxString(),
                            exportFileName(object->getString(K_fname)), kImageFiles,
                            wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (dialog.ShowModal() != wxID_OK) return; // the later rows too
        const wxString path =
            chosenPath(dialog.GetPath(), dialog.GetDirectory(), dialog.GetFilename());
        // Never over a document of the program, this one included.
        if (path.empty() || !mayWriteFile(this, path)) continue;
        exportObject(*object, path);
    }
}

void ObjectViewer::removeObjects() {
    std::vector<long> rows;
    std::vector<int> ids;
    for (long row : selectedRows()) {
        if (!objectOf(row)) continue;
        rows.push_back(row);
        ids.push_back(rowId(row));
    }
    if (rows.empty()) return;
    int shown;
    {
        wxBusyCursor busy;
        shown = articlesReferring(db_, ids);
    }
    const wxString count = wxString::Format(wxS("%d"), shown);
    const wxString question =
        shown == 1  ? fillPlaceholders(text("s.obj.removeUsed1?"), {count})
        : shown > 0 ? fillPlaceholders(text("s.obj.removeUsed?"), {count})
                    : text("s.obj.removeOK?");
    // Removing cannot be undone: No is the answer Enter gives.
    if (tell(question, MSG_YES | MSG_NO | MSG_ICON_QUESTION | MSG_DEFAULT_NO) != MSG_YES) return;
    // From the last row up: the rows still to go keep their numbers.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        db_.deleteBlock(rowId(*it));
        list_->DeleteItem(*it);
    }
    preview_->clear();
}

} // namespace qn
