// The program's own message box: an icon from the image archive, the
// message and a row of buttons whose captions come from the text constants.
#pragma once

#include <wx/dialog.h>
#include <wx/string.h>

class wxSizer;
class wxWindow;

namespace qn {

// Style bits (the toolkit's message-box values plus Save all) and the
// codes a box returns.
enum MessageStyle : long {
    MSG_YES = 2,               // button "b.Yes", returns 2
    MSG_OK = 4,                // button "b.OK", returns 4
    MSG_NO = 8,                // button "b.No", returns 8
    MSG_CANCEL = 16,           // button "b.Cancel", returns 16
    MSG_SAVE_ALL = 32,         // button "b.SaveAll", returns 5113
    MSG_ICON_WARNING = 256,    // "Warning.png"
    MSG_ICON_ERROR = 512,      // "Error.png"
    MSG_ICON_QUESTION = 1024,  // "Question.png"
    MSG_ICON_INFO = 2048,      // "Info.png"
    MSG_NO_SEPARATOR = 262144, // addButtonRow only: no line above the buttons
    MSG_ESCAPE_CANCELS = 524288, // Escape answers Cancel also without a Cancel button
    MSG_DEFAULT_NO = 1048576,    // No is the default button (a question about a loss)
};

// Return code of the Save all button (also its window id).
constexpr int MSG_RESULT_SAVE_ALL = 5113;

// Window ids of the buttons.
constexpr int MSG_ID_OK = 5100;
constexpr int MSG_ID_CANCEL = 5101;
constexpr int MSG_ID_YES = 5103;
constexpr int MSG_ID_NO = 5104;
constexpr int MSG_ID_SAVE_ALL = 5113;

class MyMessage : public wxDialog {
public:
    MyMessage(wxWindow* parent, const wxString& message, const wxString& caption, long style);

    // Entry name of the icon the style chooses ("Info.png", ...).
    static wxString iconFileFor(long style);
    // What Escape answers: Cancel when there is a Cancel button or the style
    // asks for it, No in a box with Yes and No, otherwise what the close box
    // returns (Cancel).
    static int escapeCodeFor(long style);

private:
    void onButton(wxCommandEvent& event);
    void onClose(wxCloseEvent& event);
    void onCharHook(wxKeyEvent& event);
    void finish(int code);

    int escapeCode_ = 16;
};

// Shows a MyMessage modally and returns the code of the button that ended
// it: OK 4, Yes 2, No 8, Cancel 16, Save all 5113; closing from the title
// bar gives 16.
int showMessage(const wxString& message, const wxString& caption, long style,
                wxWindow* parent = nullptr);

// Appends the separator line (unless MSG_NO_SEPARATOR) and the row of the
// buttons the style asks for (OK, Yes, Save all, No, Cancel, in this order)
// to a vertical sizer of any dialog.
void addButtonRow(wxDialog* dialog, wxSizer* sizer, long style);

} // namespace qn
