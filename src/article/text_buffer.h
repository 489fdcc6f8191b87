// The native text view under the editor: its margins and scrolling, which
// have no wx calls, and the changes of its text as they happen.  The
// toolkit's functions are looked up at run time, so no toolkit headers are
// needed.
#pragma once

#include <wx/textctrl.h>

#include <functional>

namespace qn {

void setNativeMargins(wxTextCtrl* ctrl, int left, int top, int right, int bottom);
// Scrolls the caret into view once the text view has measured its lines:
// right after the text was set again (a font change) the line heights are
// not known yet, and a scroll computed from them lands anywhere.
void scrollCaretIntoView(wxTextCtrl* ctrl);
// Scrolls the caret's line to `yalign` of the view's height (0 the top,
// 1 the bottom), once the view has measured its lines.
void scrollCaretToAlignment(wxTextCtrl* ctrl, double yalign);

// Reports every insertion and deletion in a text control as it is made,
// with its position and text, and the start and end of each action of the
// control (a key, a paste) that may hold several of them.  Reading a range
// costs what the range holds, not the whole text.
class TextBufferWatch {
public:
    std::function<void(long pos, const wxString& text)> inserted;
    std::function<void(long pos, const wxString& text)> deleted;
    std::function<void()> actionBegins;
    std::function<void()> actionEnds;

    TextBufferWatch() = default;
    TextBufferWatch(const TextBufferWatch&) = delete;
    TextBufferWatch& operator=(const TextBufferWatch&) = delete;
    ~TextBufferWatch();

    // False when the toolkit does not report changes (then nothing is).
    bool attach(wxTextCtrl* ctrl);
    wxString range(long from, long to) const;

private:
    wxTextCtrl* ctrl_ = nullptr;
    void* buffer_ = nullptr;
};

} // namespace qn
