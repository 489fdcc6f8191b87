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

    // Remote content (images from http, https or ftp) is loaded only when
    // the setting "remoteImages" is 1 or the user allowed it for the node
    // shown; otherwise nothing is fetched and remoteBlocked() tells.
    bool remoteBlocked() const { return remoteBlocked_; }
    bool remoteAllowed() const;
    // Allows remote content for the node shown and shows it again.
    void allowRemote();

protected:
    void OnLinkClicked(const wxHtmlLinkInfo& link) override;
    wxHtmlOpeningStatus OnOpeningURL(wxHtmlURLType type, const wxString& url,
                                     wxString* redirect) const override;
    void OnCellMouseHover(wxHtmlCell* cell, wxCoord x, wxCoord y) override;

private:
    void onLeave(wxMouseEvent& event);
    void onMotion(wxMouseEvent& event);
    void reportHover(wxHtmlCell* cell, wxCoord x, wxCoord y);
    ArticleWindow* article() const;

    Block* shown_ = nullptr;    // the node of the page
    int shownId_ = 0;
    bool allowedHere_ = false;  // the user allowed remote content for it
    mutable bool remoteBlocked_ = false;
};

} // namespace qn
