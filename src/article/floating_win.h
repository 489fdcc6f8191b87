// A floating article window: one node's article, read-only, in a small
// window of its own beside the main window.
#pragma once

#include "store/database.h"

#include <wx/minifram.h>

namespace qn {

class ArticleWindow;

class FloatingWin : public wxMiniFrame {
public:
    FloatingWin(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& position,
                const wxSize& size);
    void setContext(wxWindow* mainFrame, Database* document);
    // Shows the node, read-only, and then the window.
    void show(Block* node);
    ArticleWindow* article() const { return article_; }
    // The node shown (it may change by following a link inside).
    Block* node() const;
    // Closes without recording the geometry (the document went away).
    void discard();

private:
    void onClose(wxCloseEvent& event);

    ArticleWindow* article_;
};

} // namespace qn
