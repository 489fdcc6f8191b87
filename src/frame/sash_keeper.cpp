#include "frame/sash_keeper.h"

#include <wx/splitter.h>

#include <algorithm>

namespace qn {

SashKeeper::SashKeeper(wxSplitterWindow* splitter) : splitter_(splitter) {
    splitter_->Bind(wxEVT_IDLE, &SashKeeper::onIdle, this);
    // Only a drag of the sash by the user sends "changing"; the splitter's
    // own corrections after a resize send only "changed".
    splitter_->Bind(wxEVT_SPLITTER_SASH_POS_CHANGING, &SashKeeper::onDragged, this);
    splitter_->Bind(wxEVT_SPLITTER_SASH_POS_CHANGED, &SashKeeper::onMoved, this);
}

void SashKeeper::request(int position) {
    wanted_ = position > 0 ? position : -1;
    if (wanted_ > 0 && splitter_->IsSplit()) splitter_->SetSashPosition(wanted_);
    seen_ = splitter_->GetSashPosition();
}

int SashKeeper::position() const {
    return wanted_ > 0 && splitter_->IsSplit() && !movedElsewhere() ? wanted_
                                                                    : splitter_->GetSashPosition();
}

// Set from elsewhere to a place of its own, not squeezed by a narrow
// window: that place counts from now on.
bool SashKeeper::movedElsewhere() const {
    const int now = splitter_->GetSashPosition();
    return now != seen_ && now != wanted_ && !(now < wanted_ && !fits(wanted_));
}

bool SashKeeper::fits(int position) const {
    const wxSize size = splitter_->GetClientSize();
    const int extent =
        splitter_->GetSplitMode() == wxSPLIT_VERTICAL ? size.GetWidth() : size.GetHeight();
    const int minimum = std::max(1, splitter_->GetMinimumPaneSize());
    return position >= minimum && position + splitter_->GetSashSize() + minimum <= extent;
}

void SashKeeper::onIdle(wxIdleEvent& event) {
    event.Skip();
    if (wanted_ <= 0 || !splitter_->IsSplit()) return;
    if (movedElsewhere()) {
        wanted_ = -1;
        return;
    }
    const int now = splitter_->GetSashPosition();
    seen_ = now;
    if (now != wanted_ && fits(wanted_)) {
        splitter_->SetSashPosition(wanted_);
        seen_ = splitter_->GetSashPosition();
    }
}

void SashKeeper::onDragged(wxSplitterEvent& event) {
    event.Skip();
    wanted_ = -1;
}

void SashKeeper::onMoved(wxSplitterEvent& event) {
    event.Skip();
    seen_ = event.GetSashPosition();
}

} // namespace qn
