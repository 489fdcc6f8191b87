#include "article/html_window.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "article/article_window.h"
#include "article/link_target.h"
#include "store/database.h"

#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/html/htmlcell.h>

namespace qn {

namespace {
wxString& remembered() {
    static wxString link;
    return link;
}
} // namespace

const wxString& HtmlWindow::hoveredLink() {
    return remembered();
}

HtmlWindow::HtmlWindow(ArticleWindow* parent, wxWindowID id)
    : wxHtmlWindow(parent, id, wxDefaultPosition, wxDefaultSize, wxHW_SCROLLBAR_AUTO) {
    Bind(wxEVT_LEAVE_WINDOW, &HtmlWindow::onLeave, this);
    Bind(wxEVT_MOTION, &HtmlWindow::onMotion, this);
}

ArticleWindow* HtmlWindow::article() const {
    return static_cast<ArticleWindow*>(GetParent());
}

void HtmlWindow::load(Block& node) {
    // A permission given for one note ends when another is shown.
    if (&node != shown_ || node.id() != shownId_) allowedHere_ = false;
    shown_ = &node;
    shownId_ = node.id();
    remoteBlocked_ = false;
    SetPage(node.text());
    article()->showRemoteBar(remoteBlocked_);
}

void HtmlWindow::blank() {
    // The node's permission is kept: shown again, its page loads as before.
    remoteBlocked_ = false;
    SetPage(wxString());
}

bool HtmlWindow::remoteAllowed() const {
    return allowedHere_ || settings().getInt(wxS("remoteImages")) == 1;
}

void HtmlWindow::allowRemote() {
    if (!shown_) return;
    allowedHere_ = true;
    Block* node = shown_;
    load(*node);
}

wxHtmlOpeningStatus HtmlWindow::OnOpeningURL(wxHtmlURLType type, const wxString& url,
                                             wxString* redirect) const {
    // Nothing leaves the machine without the user: a remote image could
    // tell its server that the note was read, and a slow one stalls the view.
    if (isRemoteLocation(url) && !remoteAllowed()) {
        remoteBlocked_ = true;
        return wxHTML_BLOCK;
    }
    return wxHtmlWindow::OnOpeningURL(type, url, redirect);
}

wxString HtmlWindow::selectionText() {
    return SelectionToText();
}

bool HtmlWindow::copySelection() {
    const wxString sel = SelectionToText();
    if (sel.empty()) return false;
    wxClipboardLocker lock;
    if (!lock) return false;
    return wxTheClipboard->SetData(new wxTextDataObject(sel));
}

void HtmlWindow::OnLinkClicked(const wxHtmlLinkInfo& link) {
    const wxString target = link.GetHref();
    const wxMouseEvent* mouse = link.GetEvent();
    if (!mouse || mouse->LeftUp() || mouse->LeftDown() || mouse->GetButton() == wxMOUSE_BTN_LEFT) {
        article()->openLink(target);
        return;
    }
    if (target.StartsWith(wxS("file:*")) || target.StartsWith(wxS("qudb:")))
        article()->showLinkMenu(target, mouse->GetX(), mouse->GetY());
}

void HtmlWindow::OnCellMouseHover(wxHtmlCell* cell, wxCoord x, wxCoord y) {
    reportHover(cell, x, y);
}

void HtmlWindow::onMotion(wxMouseEvent& event) {
    // The toolkit reports only cells; blank space between them must clear
    // the link too.
    event.Skip();
    wxHtmlContainerCell* root = GetInternalRepresentation();
    if (!root) return;
    const wxPoint pos = CalcUnscrolledPosition(event.GetPosition());
    wxHtmlCell* cell = root->FindCellByPos(pos.x, pos.y);
    if (!cell) {
        reportHover(nullptr, 0, 0);
        return;
    }
    const wxPoint origin = cell->GetAbsPos(root);
    reportHover(cell, pos.x - origin.x, pos.y - origin.y);
}

void HtmlWindow::reportHover(wxHtmlCell* cell, wxCoord x, wxCoord y) {
    wxHtmlLinkInfo* link = cell ? cell->GetLink(x, y) : nullptr;
    if (link) {
        const wxString target = link->GetHref();
        if (target != remembered()) {
            article()->notifyLinkHover(target);
            remembered() = target;
        }
    } else if (!remembered().empty()) {
        article()->notifyLinkHover(wxString());
        remembered().clear();
    }
}

void HtmlWindow::onLeave(wxMouseEvent& event) {
    // Leaving the view also leaves its links.
    if (!remembered().empty()) {
        article()->notifyLinkHover(wxString());
        remembered().clear();
    }
    event.Skip();
}

} // namespace qn
