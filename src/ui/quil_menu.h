// The program's own popup menu: one row per item with a small icon and a
// label, highlighted under the mouse.  Unlike a native menu it shows the
// tree icons of the nodes it lists (the history menu).
#pragma once

#include <wx/bitmap.h>
#include <wx/panel.h>
#include <wx/popupwin.h>

#include <vector>

namespace qn {

class QuilMenuItem;

class QuilMenu : public wxPopupTransientWindow {
public:
    // `parent` receives the chosen row's menu command.
    explicit QuilMenu(wxWindow* parent);

    QuilMenuItem* addItem(int id, const wxString& label, const wxBitmap& bitmap, bool active);
    // Lays the rows out and shows the menu at `point` (screen coordinates).
    void popup(const wxPoint& point);
    // Hides the menu and destroys it.
    void dismiss();

    const std::vector<QuilMenuItem*>& items() const { return items_; }
    // Row under keyboard or mouse focus, -1 for none.
    int highlighted() const { return current_; }
    void highlight(int index);
    // Sends the row's command to the parent, then dismisses the menu.
    void choose(QuilMenuItem* item);

protected:
    void OnDismiss() override;

private:
    void onKey(wxKeyEvent& event);
    void onPaint(wxPaintEvent& event);

    std::vector<QuilMenuItem*> items_;
    int current_ = -1;
    bool gone_ = false;
};

class QuilMenuItem : public wxPanel {
public:
    QuilMenuItem(QuilMenu* menu, int id, const wxString& label, const wxBitmap& bitmap,
                 bool active);

    const wxString& label() const { return label_; }
    bool isActive() const { return active_; }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool on);

    static const wxColour& activeColour();
    static const wxColour& inactiveColour();
    static const wxColour& highlightColour();

private:
    void onPaint(wxPaintEvent& event);
    void onEnter(wxMouseEvent& event);
    void onLeave(wxMouseEvent& event);
    void onLeftUp(wxMouseEvent& event);
    QuilMenu* menu() const;

    wxString label_;
    wxBitmap bitmap_;
    bool highlighted_ = false;
    bool active_;
};

} // namespace qn
