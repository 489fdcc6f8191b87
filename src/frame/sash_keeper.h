// Keeps the position asked for a splitter's sash until the user moves it.
// A window manager sizes a new window after it was built, often through a
// smaller size first: the splitter then pushes the sash left to keep its
// right pane, and never gives it back.  The keeper puts the sash where it
// was asked for whenever the splitter is wide enough again, and reports
// that position (not a squeezed one) to be stored.
#pragma once

class wxSplitterWindow;
class wxIdleEvent;
class wxSplitterEvent;

namespace qn {

class SashKeeper {
public:
    explicit SashKeeper(wxSplitterWindow* splitter);

    // Sets the sash now (as far as the splitter's size allows) and keeps
    // the position until the user drags the sash or another is asked for.
    void request(int position);
    // Lets the splitter keep its own position from now on.
    void forget() { wanted_ = -1; }
    // The position to store: the one asked for while it is kept, else the
    // splitter's.
    int position() const;

private:
    void onIdle(wxIdleEvent& event);
    void onDragged(wxSplitterEvent& event);
    void onMoved(wxSplitterEvent& event);
    bool fits(int position) const;
    bool movedElsewhere() const;

    wxSplitterWindow* splitter_;
    int wanted_ = -1;
    int seen_ = -1; // where the sash was when last looked at or set
};

} // namespace qn
