#include "ui/image_button.h"

#include <wx/dcclient.h>

namespace qn {

// clang-format off
wxBEGIN_EVENT_TABLE(ImageButton, wxPanel)
    EVT_PAINT(ImageButton::onPaint)
    EVT_ENTER_WINDOW(ImageButton::onEnter)
    EVT_LEAVE_WINDOW(ImageButton::onLeave)
    EVT_LEFT_DOWN(ImageButton::onDown)
    EVT_LEFT_UP(ImageButton::onUp)
    EVT_RIGHT_DOWN(ImageButton::onDown)
    EVT_RIGHT_UP(ImageButton::onUp)
wxEND_EVENT_TABLE()
// clang-format on

namespace {
wxSize sizeFor(const wxBitmap& bitmap) {
    return bitmap.IsOk() ? bitmap.GetSize() : wxSize(16, 16);
}
} // namespace

ImageButton::ImageButton(wxWindow* parent, wxWindowID id, const wxBitmap& bitmap)
    : wxPanel(parent, id, wxDefaultPosition, sizeFor(bitmap), wxBORDER_NONE | wxTAB_TRAVERSAL),
      bitmap_(bitmap) {
    SetMinSize(sizeFor(bitmap));
}

void ImageButton::setBitmap(const wxBitmap& bitmap) {
    bitmap_ = bitmap;
    const wxSize size = sizeFor(bitmap);
    SetMinSize(size);
    SetSize(size);
    Refresh();
}

void ImageButton::setClickButtons(bool left, bool right) {
    clickLeft_ = left;
    clickRight_ = right;
}

void ImageButton::onPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    if (!bitmap_.IsOk()) return;
    dc.DrawBitmap(bitmap_, 0, 0, true);
    if (highlighted_) {
        dc.SetPen(*wxLIGHT_GREY_PEN);
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawRectangle(0, 0, bitmap_.GetWidth(), bitmap_.GetHeight());
    }
}

void ImageButton::setHighlight(bool on) {
    if (highlighted_ == on) return;
    highlighted_ = on;
    Refresh();
}

void ImageButton::onEnter(wxMouseEvent& event) {
    if (clickLeft_ || clickRight_) setHighlight(true);
    event.Skip();
}

void ImageButton::onLeave(wxMouseEvent& event) {
    setHighlight(false);
    event.Skip();
}

void ImageButton::onDown(wxMouseEvent& event) {
    const bool left = event.GetEventType() == wxEVT_LEFT_DOWN;
    if (left ? clickLeft_ : clickRight_) setHighlight(true);
    event.Skip();
}

void ImageButton::onUp(wxMouseEvent& event) {
    const bool left = event.GetEventType() == wxEVT_LEFT_UP;
    if (left ? clickLeft_ : clickRight_) {
        // Unhighlight first: the click may close the window that owns us.
        setHighlight(false);
        sendClick(left ? 1 : 2);
        return;
    }
    event.Skip();
}

void ImageButton::sendClick(int value) {
    wxWindow* parent = GetParent();
    if (!parent) return;
    wxCommandEvent click(wxEVT_BUTTON, GetId());
    click.SetEventObject(this);
    click.SetInt(value);
    parent->GetEventHandler()->ProcessEvent(click);
}

} // namespace qn
