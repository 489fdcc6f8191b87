#include "prefs/picker_box.h"

#include <wx/dcclient.h>
#include <wx/pen.h>
#include <wx/renderer.h>
#include <wx/settings.h>

namespace qn {

PickerBox::PickerBox(wxWindow* parent, wxWindowID id, const wxSize& size)
    : wxPanel(parent, id, wxDefaultPosition, size, wxBORDER_SIMPLE | wxWANTS_CHARS) {
    SetMinSize(size);
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
    if (HasFocus()) wxRendererNative::Get().DrawFocusRect(this, dc, wxRect(all).Deflate(1));
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
