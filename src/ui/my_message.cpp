#include "ui/my_message.h"

#include "app/text_constants.h"
#include "ui/image_archive.h"
#include "ui/image_button.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>

namespace qn {

MyMessage::MyMessage(wxWindow* parent, const wxString& message, const wxString& caption, long style)
    : wxDialog(parent, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE,
               wxS("dialog")) {
    wxBitmap icon;
    {
        ImageArchive archive(toolbarArchivePath());
        icon = archive.bitmap(wxS("toolbar/") + iconFileFor(style));
    }

    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    auto* iconButton = new ImageButton(this, wxID_ANY, icon);
    iconButton->DisableFocusFromKeyboard(); // the keyboard belongs to the buttons
    row->Add(iconButton, 0, wxALL, 10);
    row->Add(new wxStaticText(this, wxID_ANY, message), 0, wxALL, 10);
    top->Add(row, 0, 0, 0);
    addButtonRow(this, top, style);
    SetSizerAndFit(top);
    CentreOnParent();

    for (int id : {MSG_ID_OK, MSG_ID_CANCEL, MSG_ID_YES, MSG_ID_NO, MSG_ID_SAVE_ALL})
        Bind(wxEVT_BUTTON, &MyMessage::onButton, this, id);
    Bind(wxEVT_CLOSE_WINDOW, &MyMessage::onClose, this);

    // The first button (No when the style asks for it) is the default and
    // has the focus: Enter answers it, Tab moves on to the others.
    const bool noFirst = (style & MSG_DEFAULT_NO) && (style & MSG_NO);
    for (int id : {noFirst ? MSG_ID_NO : MSG_ID_OK, MSG_ID_YES, MSG_ID_SAVE_ALL, MSG_ID_NO,
                   MSG_ID_CANCEL}) {
        if (auto* first = dynamic_cast<wxButton*>(FindWindow(id))) {
            first->SetDefault();
            first->SetFocus();
            SetAffirmativeId(id);
            break;
        }
    }
    escapeCode_ = escapeCodeFor(style);
    Bind(wxEVT_CHAR_HOOK, &MyMessage::onCharHook, this);
}

int MyMessage::escapeCodeFor(long style) {
    if (style & (MSG_CANCEL | MSG_ESCAPE_CANCELS)) return MSG_CANCEL;
    if ((style & MSG_YES) && (style & MSG_NO)) return MSG_NO;
    return MSG_CANCEL; // what the close box gives
}

void MyMessage::onCharHook(wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_ESCAPE && !event.HasAnyModifiers()) {
        finish(escapeCode_);
        return;
    }
    event.Skip();
}

wxString MyMessage::iconFileFor(long style) {
    if (style & MSG_ICON_INFO) return wxS("Info.png");
    if (style & MSG_ICON_QUESTION) return wxS("Question.png");
    if (style & MSG_ICON_ERROR) return wxS("Error.png");
    if (style & MSG_ICON_WARNING) return wxS("Warning.png");
    return wxS("Info.png");
}

void MyMessage::onButton(wxCommandEvent& event) {
    switch (event.GetId()) {
    case MSG_ID_OK:
        finish(MSG_OK);
        break;
    case MSG_ID_CANCEL:
        finish(MSG_CANCEL);
        break;
    case MSG_ID_YES:
        finish(MSG_YES);
        break;
    case MSG_ID_NO:
        finish(MSG_NO);
        break;
    case MSG_ID_SAVE_ALL:
        finish(MSG_RESULT_SAVE_ALL);
        break;
    default:
        event.Skip();
    }
}

// The close box counts as Cancel, even without a Cancel button.
void MyMessage::onClose(wxCloseEvent&) {
    finish(MSG_CANCEL);
}

void MyMessage::finish(int code) {
    if (IsModal())
        EndModal(code);
    else
        SetReturnCode(code);
}

int showMessage(const wxString& message, const wxString& caption, long style, wxWindow* parent) {
    MyMessage box(parent, message, caption, style);
    return box.ShowModal();
}

void addButtonRow(wxDialog* dialog, wxSizer* sizer, long style) {
    if (!(style & MSG_NO_SEPARATOR)) sizer->Add(new wxStaticLine(dialog, wxID_ANY), 0, wxEXPAND, 0);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    if (style & MSG_OK) row->Add(new wxButton(dialog, MSG_ID_OK, text("b.OK")), 0, 0, 0);
    if (style & MSG_YES) row->Add(new wxButton(dialog, MSG_ID_YES, text("b.Yes")), 0, 0, 0);
    if (style & MSG_SAVE_ALL)
        row->Add(new wxButton(dialog, MSG_ID_SAVE_ALL, text("b.SaveAll")), 0, wxLEFT, 5);
    if (style & MSG_NO) row->Add(new wxButton(dialog, MSG_ID_NO, text("b.No")), 0, wxLEFT, 5);
    if (style & MSG_CANCEL)
        row->Add(new wxButton(dialog, MSG_ID_CANCEL, text("b.Cancel")), 0, wxLEFT, 5);
    sizer->Add(row, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 10);
}

} // namespace qn
