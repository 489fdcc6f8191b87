// A borderless bitmap button: draws its bitmap, outlines it while the mouse
// is over it, and reports clicks to its parent.
#pragma once

#include <wx/bitmap.h>
#include <wx/panel.h>

namespace qn {

class ImageButton : public wxPanel {
public:
    // Sized to the bitmap, or 16x16 without one.
    ImageButton(wxWindow* parent, wxWindowID id, const wxBitmap& bitmap = wxNullBitmap);

    // Copies the bitmap, resizes the button to it and repaints.
    void setBitmap(const wxBitmap& bitmap);
    const wxBitmap& bitmap() const { return bitmap_; }

    // Which mouse buttons click it (both off after construction). A click
    // sends wxEVT_BUTTON with this window's id and GetInt() 1 (left) or
    // 2 (right) to the parent window.
    void setClickButtons(bool left, bool right);
    bool isHighlighted() const { return highlighted_; }

private:
    void onPaint(wxPaintEvent& event);
    void onEnter(wxMouseEvent& event);
    void onLeave(wxMouseEvent& event);
    void onDown(wxMouseEvent& event);
    void onUp(wxMouseEvent& event);
    void setHighlight(bool on);
    void sendClick(int value);

    wxBitmap bitmap_;
    bool highlighted_ = false;
    bool clickLeft_ = false;
    bool clickRight_ = false;

    wxDECLARE_EVENT_TABLE();
};

} // namespace qn
