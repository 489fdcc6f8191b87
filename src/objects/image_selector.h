// The icon selector: every picture of an image list in a grid; one click,
// or the arrow keys and Enter, pick a picture.
#pragma once

#include "objects/image_grid.h"

#include <wx/dialog.h>
#include <wx/scrolwin.h>

class wxImageList;

namespace qn {

class ImageContainer : public wxScrolledWindow {
public:
    static constexpr int ID_PICKED = 10;

    ImageContainer(wxWindow* parent, const wxSize& size);
    void setImageList(wxImageList* images);
    // The picture under a point of the unscrolled grid, or -1.
    int hitTest(int x, int y) const { return grid_.hitTest(x, y); }
    int hovered() const { return hovered_; }
    const ImageGrid& grid() const { return grid_; }
    // What a click at an unscrolled point does: the picture there becomes
    // the one chosen, and the parent hears of it.  Returns that index.
    int clickAt(int x, int y);
    // The keyboard's picture (framed like the one under the mouse): moves by
    // `columns` and `rows`, stopping at the ends; the first move starts at
    // the first picture.
    void moveFramed(int columns, int rows);
    // Chooses the framed picture as a click would; false when none is.
    bool pickFramed();

private:
    void layOut();
    void drawFrame(wxDC& dc, int index, bool on);
    void frame(int index);
    void pick(int index);
    void onPaint(wxPaintEvent& event);
    void onSize(wxSizeEvent& event);
    void onMotion(wxMouseEvent& event);
    void onLeftUp(wxMouseEvent& event);

    wxImageList* images_ = nullptr;
    ImageGrid grid_;
    int hovered_ = -1;
};

class ImageSelector : public wxDialog {
public:
    ImageSelector(wxWindow* parent, wxWindowID id, const wxPoint& position, const wxSize& size,
                  wxImageList* images);
    ImageContainer* container() const { return container_; }
    // The picture the user clicked (or chose with the arrow keys and
    // Enter), or -1.
    int chosen() const { return chosen_; }

private:
    void onPicked(wxCommandEvent& event);
    void onCharHook(wxKeyEvent& event);

    ImageContainer* container_;
    int chosen_ = -1;
};

} // namespace qn
