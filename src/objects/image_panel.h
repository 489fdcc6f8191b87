// The object manager's preview: one picture, scaled down to fit and drawn
// in the middle.
#pragma once

#include "store/codec.h"

#include <wx/bitmap.h>
#include <wx/panel.h>

namespace qn {

class ImagePanel : public wxPanel {
public:
    explicit ImagePanel(wxWindow* parent, wxWindowID id = wxID_ANY);

    // Shows the picture held in `data` and returns its full size; (-1, -1)
    // when the bytes are no picture the program can decode (the picture
    // shown so far stays).
    wxSize load(const Bytes& data);
    // Shows nothing.
    void clear();
    const wxBitmap& bitmap() const { return bitmap_; }

private:
    void onPaint(wxPaintEvent& event);

    wxBitmap bitmap_;
};

} // namespace qn
