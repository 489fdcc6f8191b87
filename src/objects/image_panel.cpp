#include "objects/image_panel.h"

#include "objects/object_rows.h"

#include <wx/dcclient.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/mstream.h>

namespace qn {

ImagePanel::ImagePanel(wxWindow* parent, wxWindowID id)
    : wxPanel(parent, id, wxDefaultPosition, wxSize(150, 150), wxBORDER_NONE | wxTAB_TRAVERSAL) {
    SetMinSize(wxSize(150, 150));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &ImagePanel::onPaint, this);
}

wxSize ImagePanel::load(const Bytes& data) {
    wxImage image;
    {
        wxLogNull quiet; // a file that is no picture is answered, not logged
        wxMemoryInputStream in(data.data(), data.size());
        if (data.empty() || !image.LoadFile(in, wxBITMAP_TYPE_ANY) || !image.IsOk())
            return wxSize(-1, -1);
    }
    const int w = image.GetWidth(), h = image.GetHeight();
    const wxSize client = GetClientSize();
    const PixelSize shown = previewSize(w, h, client.x, client.y);
    if (shown.width != w || shown.height != h)
        image.Rescale(shown.width, shown.height, wxIMAGE_QUALITY_NORMAL);
    bitmap_ = wxBitmap(image);
    Refresh();
    return wxSize(w, h);
}

void ImagePanel::clear() {
    bitmap_ = wxBitmap();
    Refresh();
}

void ImagePanel::onPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    dc.SetBackground(wxBrush(GetBackgroundColour()));
    dc.Clear();
    if (!bitmap_.IsOk()) return;
    const wxSize client = GetClientSize();
    dc.DrawBitmap(bitmap_, (client.x - bitmap_.GetWidth()) / 2,
                  (client.y - bitmap_.GetHeight()) / 2, true);
}

} // namespace qn
