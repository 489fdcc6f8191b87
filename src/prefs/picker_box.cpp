#include "prefs/picker_box.h"

#include <wx/dcclient.h>
#include <wx/pen.h>
#include <wx/settings.h>

namespace qn {

PickerBox::PickerBox(wxWindow* parent, wxWindowID id, const wxSize& size)
    : wxPanel(parent, id, wxDefaultPosition, size, wxBORDER_SIMPLE | wxWANTS_CHARS) {
    SetMinSize(size);
    // The toolkit asks whether a window takes the focus while it is made,
    // before this class's answer counts: it is told again here.
    SetCanFocus(true);
    SetCursor(wxCursor(wxCURSOR_HAND));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &PickerBox::onPaint, this);
    Bind(wxEVT_LEFT_UP, [this](wxMouseEvent& event) {
        event.Skip();
        SetFocus();
        choose();
    });
    Bind(wxEVT_CHAR_HOOK, &PickerBox::onKey, this);
    // The focus frame comes and goes.
    Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        Refresh();
    });
    Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        Refresh();
    });
}

void PickerBox::onPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    const wxRect all(GetClientSize());
    dc.SetBackground(wxBrush(GetBackgroundColour()));
    dc.Clear();
    paintInside(dc, wxRect(all).Deflate(3));
    if (HasFocus()) {
        // A frame in the selection colour: the theme's own focus line is a
        // faint dotted one, easily missed on a small swatch.
        dc.SetPen(wxPen(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)));
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        for (int inset = 0; inset < 3; ++inset)
            dc.DrawRectangle(wxRect(all).Deflate(inset));
    }
}

void PickerBox::onKey(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (!event.HasAnyModifiers() &&
        (key == WXK_SPACE || key == WXK_RETURN || key == WXK_NUMPAD_ENTER)) {
        choose();
        return;
    }
    event.Skip();
}

} // namespace qn
