// A field of the preferences dialog that opens a chooser: a click, Space or
// Enter opens it; Tab reaches it and it shows when it has the focus.
#pragma once

#include <wx/panel.h>

namespace qn {

class PickerBox : public wxPanel {
public:
    PickerBox(wxWindow* parent, wxWindowID id, const wxSize& size);

    // What a click, Space or Enter does.
    virtual void choose() = 0;

    bool AcceptsFocus() const override { return IsEnabled(); }
    bool AcceptsFocusFromKeyboard() const override { return IsEnabled(); }

protected:
    // Draws the contents inside `inner` (the focus frame is drawn around).
    virtual void paintInside(wxDC& dc, const wxRect& inner) = 0;

private:
    void onPaint(wxPaintEvent& event);
    void onKey(wxKeyEvent& event);
};

} // namespace qn
