#include "objects/image_selector.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/text_constants.h"

#include <wx/dcclient.h>
#include <wx/imaglist.h>
#include <wx/sizer.h>

namespace qn {

ImageContainer::ImageContainer(wxWindow* parent, const wxSize& size)
    : wxScrolledWindow(parent, wxID_ANY, wxDefaultPosition, size, wxHSCROLL | wxVSCROLL) {
    SetBackgroundColour(settings().getColour(wxS("c.iconselector.back")));
    Bind(wxEVT_PAINT, &ImageContainer::onPaint, this);
    Bind(wxEVT_SIZE, &ImageContainer::onSize, this);
    Bind(wxEVT_MOTION, &ImageContainer::onMotion, this);
    Bind(wxEVT_LEFT_UP, &ImageContainer::onLeftUp, this);
}

void ImageContainer::setImageList(wxImageList* images) {
    images_ = images;
    int w = 0, h = 0;
    const int count = images ? images->GetImageCount() : 0;
    if (count > 0) images->GetSize(0, w, h);
    grid_.setPictures(count, w, h, GetClientSize().x);
    hovered_ = -1;
    layOut();
}

void ImageContainer::layOut() {
    SetVirtualSize(grid_.virtualWidth(), grid_.virtualHeight());
    SetScrollRate(std::max(1, grid_.cellWidth() - ImageGrid::kMargin),
                  std::max(1, grid_.cellHeight() - ImageGrid::kMargin));
    Refresh();
}

void ImageContainer::drawFrame(wxDC& dc, int index, bool on) {
    if (index < 0 || index >= grid_.count()) return;
    const GridRect& c = grid_.cell(index);
    dc.SetPen(wxPen(on ? settings().getColour(wxS("c.iconselector.border"))
                       : GetBackgroundColour(),
                    2));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(c.x - 2, c.y - 2, c.width + 4, c.height + 4);
}

void ImageContainer::onPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    DoPrepareDC(dc);
    for (int i = 0; images_ && i < grid_.count(); ++i)
        images_->Draw(i, dc, grid_.cell(i).x, grid_.cell(i).y, wxIMAGELIST_DRAW_TRANSPARENT);
    drawFrame(dc, hovered_, true);
}

void ImageContainer::onSize(wxSizeEvent& event) {
    if (grid_.resize(GetClientSize().x)) layOut();
    event.Skip();
}

void ImageContainer::frame(int index) {
    if (index == hovered_) return;
    wxClientDC dc(this);
    DoPrepareDC(dc);
    drawFrame(dc, hovered_, false);
    hovered_ = index;
    drawFrame(dc, hovered_, true);
}

void ImageContainer::onMotion(wxMouseEvent& event) {
    const wxPoint p = CalcUnscrolledPosition(event.GetPosition());
    frame(grid_.hitTest(p.x, p.y));
}

void ImageContainer::moveFramed(int columns, int rows) {
    const int count = grid_.count();
    if (count == 0) return;
    int index = 0;
    if (hovered_ >= 0) {
        index = hovered_ + columns + rows * grid_.columns();
        // A step past either end stays on the row's picture at that end.
        if (index < 0 || index >= count) index = hovered_;
    }
    frame(index);
    // Scrolled into view.
    const GridRect& c = grid_.cell(index);
    const wxPoint shown = CalcScrolledPosition(wxPoint(c.x, c.y));
    const wxSize client = GetClientSize();
    int unitX = 1, unitY = 1;
    GetScrollPixelsPerUnit(&unitX, &unitY);
    if (unitY > 0 && (shown.y < 0 || shown.y + c.height > client.y))
        Scroll(wxDefaultCoord, std::max(0, c.y - ImageGrid::kMargin) / unitY);
    if (unitX > 0 && (shown.x < 0 || shown.x + c.width > client.x))
        Scroll(std::max(0, c.x - ImageGrid::kMargin) / unitX, wxDefaultCoord);
}

void ImageContainer::pick(int index) {
    hovered_ = index;
    wxCommandEvent picked(wxEVT_BUTTON, ID_PICKED);
    picked.SetInt(index);
    picked.SetEventObject(this);
    GetParent()->GetEventHandler()->ProcessEvent(picked);
}

bool ImageContainer::pickFramed() {
    if (hovered_ < 0 || hovered_ >= grid_.count()) return false;
    pick(hovered_);
    return true;
}

int ImageContainer::clickAt(int x, int y) {
    // The picture under the click, not whatever was hovered last.
    const int index = grid_.hitTest(x, y);
    if (index < 0) return -1;
    pick(index);
    return index;
}

void ImageContainer::onLeftUp(wxMouseEvent& event) {
    const wxPoint p = CalcUnscrolledPosition(event.GetPosition());
    clickAt(p.x, p.y);
}

ImageSelector::ImageSelector(wxWindow* parent, wxWindowID id, const wxPoint& position,
                             const wxSize& size, wxImageList* images)
    : wxDialog(parent, id, text("s.Title"), position, size,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER) {
    container_ = new ImageContainer(this, GetClientSize());
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(container_, 1, wxEXPAND);
    SetSizer(sizer);
    Layout();
    container_->setImageList(images);
    Bind(wxEVT_BUTTON, &ImageSelector::onPicked, this, ImageContainer::ID_PICKED);
    // The dialog has no Cancel button for the toolkit to press on Escape.
    Bind(wxEVT_CHAR_HOOK, &ImageSelector::onCharHook, this);
}

void ImageSelector::onCharHook(wxKeyEvent& event) {
    if (event.HasAnyModifiers()) {
        event.Skip();
        return;
    }
    switch (event.GetKeyCode()) {
    case WXK_LEFT:
    case WXK_NUMPAD_LEFT:
        container_->moveFramed(-1, 0);
        return;
    case WXK_RIGHT:
    case WXK_NUMPAD_RIGHT:
        container_->moveFramed(1, 0);
        return;
    case WXK_UP:
    case WXK_NUMPAD_UP:
        container_->moveFramed(0, -1);
        return;
    case WXK_DOWN:
    case WXK_NUMPAD_DOWN:
        container_->moveFramed(0, 1);
        return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
    case WXK_SPACE:
        container_->pickFramed();
        return;
    case WXK_ESCAPE:
        break;
    default:
        event.Skip();
        return;
    }
    if (IsModal())
        EndModal(wxID_CANCEL);
    else
        SetReturnCode(wxID_CANCEL);
}

void ImageSelector::onPicked(wxCommandEvent& event) {
    chosen_ = event.GetInt();
    if (IsModal()) EndModal(wxID_OK);
}

} // namespace qn
