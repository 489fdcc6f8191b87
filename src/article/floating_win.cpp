#include "article/floating_win.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "article/article_window.h"

#include <wx/sizer.h>

namespace qn {

FloatingWin::FloatingWin(wxWindow* parent, wxWindowID id, const wxString& title,
                         const wxPoint& position, const wxSize& size)
    : wxMiniFrame(parent, id, title, position, size, wxDEFAULT_FRAME_STYLE, wxS("frame")) {
    article_ = new ArticleWindow(this, wxID_ANY, false);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(article_, 1, wxEXPAND);
    SetSizer(sizer);
    Bind(wxEVT_CLOSE_WINDOW, &FloatingWin::onClose, this);
    // Escape and Ctrl+W close it as its title bar's button does.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        const int code = event.GetKeyCode();
        if ((code == WXK_ESCAPE && event.GetModifiers() == wxMOD_NONE) ||
            (code == 'W' && event.GetModifiers() == wxMOD_CONTROL)) {
            Close();
            return;
        }
        event.Skip();
    });
}

void FloatingWin::setContext(wxWindow* mainFrame, Database* document) {
    article_->setContext(mainFrame, document);
}

void FloatingWin::show(Block* node) {
    article_->showArticle(node);
    Show();
}

Block* FloatingWin::node() const {
    return article_->node();
}

void FloatingWin::discard() {
    article_->clearArticle();
    Destroy();
}

void FloatingWin::onClose(wxCloseEvent&) {
    // The next floating window opens where this one was, unless it is
    // minimised or maximised now (that geometry is not the window's own).
    if (!IsIconized() && !IsMaximized()) {
        const wxRect r = GetRect();
        settings().setIntArray(wxS("miniframe"), std::vector<int>{r.x, r.y, r.width, r.height});
    }
    Destroy();
}

} // namespace qn
