#include "ui/quil_menu.h"

#include "ui/popup_layout.h"

#include <wx/app.h>
#include <wx/dcclient.h>

namespace qn {

QuilMenu::QuilMenu(wxWindow* parent) : wxPopupTransientWindow(parent, wxBORDER_SIMPLE) {
    SetBackgroundColour(*wxWHITE);
    SetFont(wxFont(wxFontInfo(9).Family(wxFONTFAMILY_DEFAULT)));
    Bind(wxEVT_CHAR_HOOK, &QuilMenu::onKey, this);
    Bind(wxEVT_PAINT, &QuilMenu::onPaint, this);
}

void QuilMenu::onPaint(wxPaintEvent&) {
    // The toolkit draws no border around a popup here; without one the
    // white menu melts into a white article.
    wxPaintDC dc(this);
    dc.SetPen(wxPen(wxColour(128, 128, 128)));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(wxRect(GetClientSize()));
}

QuilMenuItem* QuilMenu::addItem(int id, const wxString& label, const wxBitmap& bitmap,
                                bool active) {
    auto* item = new QuilMenuItem(this, id, label, bitmap, active);
    items_.push_back(item);
    return item;
}

void QuilMenu::popup(const wxPoint& point) {
    std::vector<RowSize> sizes;
    for (QuilMenuItem* item : items_) {
        const wxSize s = item->GetSize();
        sizes.push_back({s.x, s.y});
    }
    const PopupLayout layout = layoutPopupRows(sizes);
    SetSize(layout.width, layout.height);
    for (size_t i = 0; i < items_.size(); ++i) {
        const RowRect& r = layout.rows[i];
        items_[i]->SetSize(r.x, r.y, r.w, r.h);
    }
    Position(point, wxSize(0, 0));
    Popup(this);
    SetFocus();
}

void QuilMenu::highlight(int index) {
    if (index == current_) return;
    if (current_ >= 0 && current_ < static_cast<int>(items_.size()))
        items_[current_]->setHighlighted(false);
    current_ = index;
    if (current_ >= 0 && current_ < static_cast<int>(items_.size()))
        items_[current_]->setHighlighted(true);
}

void QuilMenu::choose(QuilMenuItem* item) {
    if (gone_ || !item || !item->isActive()) return;
    // The parent reacts while the menu still exists; it goes right after.
    wxCommandEvent command(wxEVT_MENU, item->GetId());
    command.SetEventObject(this);
    if (wxWindow* target = GetParent()) target->GetEventHandler()->ProcessEvent(command);
    dismiss();
}

void QuilMenu::dismiss() {
    if (gone_) return;
    gone_ = true;
    if (IsShown()) Dismiss();
    // Deferred: this may run inside one of the rows' own handlers.
    wxTheApp->ScheduleForDestruction(this);
}

void QuilMenu::OnDismiss() {
    // Closed from outside (a click elsewhere, another window taking focus).
    if (gone_) return;
    gone_ = true;
    wxTheApp->ScheduleForDestruction(this);
}

void QuilMenu::onKey(wxKeyEvent& event) {
    std::vector<bool> active;
    for (QuilMenuItem* item : items_)
        active.push_back(item->isActive());
    switch (event.GetKeyCode()) {
    case WXK_DOWN:
    case WXK_NUMPAD_DOWN:
        highlight(nextActiveRow(active, current_, +1));
        break;
    case WXK_UP:
    case WXK_NUMPAD_UP:
        highlight(nextActiveRow(active, current_, -1));
        break;
    case WXK_HOME:
        highlight(nextActiveRow(active, -1, +1));
        break;
    case WXK_END:
        highlight(nextActiveRow(active, -1, -1));
        break;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        if (current_ >= 0) choose(items_[current_]);
        break;
    case WXK_ESCAPE:
        dismiss();
        break;
    default:
        event.Skip();
        break;
    }
}

// ------------------------------------------------------------------ rows

const wxColour& QuilMenuItem::activeColour() {
    static const wxColour c(255, 255, 255);
    return c;
}
const wxColour& QuilMenuItem::inactiveColour() {
    static const wxColour c(192, 192, 192);
    return c;
}
const wxColour& QuilMenuItem::highlightColour() {
    static const wxColour c(49, 106, 197);
    return c;
}

QuilMenuItem::QuilMenuItem(QuilMenu* menu, int id, const wxString& label, const wxBitmap& bitmap,
                           bool active)
    : wxPanel(menu, id, wxDefaultPosition, wxSize(10, 10), wxTAB_TRAVERSAL | wxBORDER_NONE,
              wxS("panel")),
      label_(label), bitmap_(bitmap), active_(active) {
    SetFont(menu->GetFont());
    int w = 0, h = 0;
    // An empty label (a node without a title) still needs a line's height:
    // the menu gives every row the height of its last one.
    GetTextExtent(label_.empty() ? wxString(wxS(" ")) : label_, &w, &h);
    const RowSize size = popupRowSize(w, h);
    SetSize(size.w, size.h);
    SetBackgroundColour(active_ ? activeColour() : inactiveColour());
    Bind(wxEVT_PAINT, &QuilMenuItem::onPaint, this);
    Bind(wxEVT_ENTER_WINDOW, &QuilMenuItem::onEnter, this);
    Bind(wxEVT_LEAVE_WINDOW, &QuilMenuItem::onLeave, this);
    Bind(wxEVT_LEFT_UP, &QuilMenuItem::onLeftUp, this);
}

QuilMenu* QuilMenuItem::menu() const {
    return static_cast<QuilMenu*>(GetParent());
}

void QuilMenuItem::setHighlighted(bool on) {
    if (!active_) on = false;
    highlighted_ = on;
    SetBackgroundColour(on ? highlightColour() : activeColour());
    if (!active_) SetBackgroundColour(inactiveColour());
    Refresh();
}

void QuilMenuItem::onPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    dc.SetFont(GetFont());
    dc.SetTextForeground(highlighted_ ? *wxWHITE : *wxBLACK);
    const wxRect rect(GetClientSize());
    dc.DrawLabel(label_, bitmap_.IsOk() ? bitmap_ : wxNullBitmap, rect,
                 wxALIGN_LEFT | wxALIGN_CENTER_VERTICAL);
}

void QuilMenuItem::onEnter(wxMouseEvent& event) {
    if (active_) {
        SetCursor(wxCursor(wxCURSOR_HAND));
        // Mouse and keyboard share one highlighted row.
        const auto& rows = menu()->items();
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i] == this) menu()->highlight(static_cast<int>(i));
    } else {
        SetCursor(wxCursor(wxCURSOR_ARROW));
    }
    event.Skip();
}

void QuilMenuItem::onLeave(wxMouseEvent& event) {
    if (active_ && highlighted_) menu()->highlight(-1);
    event.Skip();
}

void QuilMenuItem::onLeftUp(wxMouseEvent& event) {
    if (!active_) {
        event.Skip();
        return;
    }
    menu()->choose(this);
}

} // namespace qn
