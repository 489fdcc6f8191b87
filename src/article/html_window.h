// The read-only view of HTML articles.  Links are handed to the article
// window; the view itself never navigates.
#pragma once

#include <wx/html/htmlwin.h>

namespace qn {

class ArticleWindow;
class Block;

class HtmlWindow : public wxHtmlWindow {
public:
    HtmlWindow(ArticleWindow* parent, wxWindowID id);

    // The node's body becomes the page.
    void load(Block& node);
    void blank();
    // The selected part of the page as plain text.
    wxString selectionText();
    // False when nothing is selected or the clipboard is unavailable.
    bool copySelection();

    // The link last reported while hovering, shared by every view.
    static const wxString& hoveredLink();

protected:
    void OnLinkClicked(const wxHtmlLinkInfo& link) override;
    void OnCellMouseHover(wxHtmlCell* cell, wxCoord x, wxCoord y) override;

private:
    void onLeave(wxMouseEvent& event);
    void onMotion(wxMouseEvent& event);
    void reportHover(wxHtmlCell* cell, wxCoord x, wxCoord y);
    ArticleWindow* article() const;
};

} // namespace qn
