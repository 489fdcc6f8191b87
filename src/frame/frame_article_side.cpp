#include "frame/frame_article_side.h"

#include "article/article_history.h"
#include "article/article_window.h"
#include "article/caption_bar.h"

namespace qn {

Block* FrameArticleSide::shownNode() const {
    return article_.node();
}

void FrameArticleSide::showArticle(Block* node) {
    article_.showArticle(node);
}

bool FrameArticleSide::commitText() {
    return article_.commitText();
}

void FrameArticleSide::clearArticle() {
    article_.clearArticle();
    caption_.resetCaption();
}

wxFont FrameArticleSide::articleFont() const {
    return article_.currentFont();
}

void FrameArticleSide::showCaption(const wxBitmap* icon, const wxString& title,
                                   const wxString& toggleLabel, bool toggleEnabled) {
    if (icon) caption_.setIcon(*icon);
    caption_.setCaption(title);
    caption_.setToggle(toggleLabel, toggleEnabled);
}

void FrameArticleSide::forgetNodes(const std::vector<int>& ids) {
    if (!history_) return;
    for (int id : ids)
        while (history_->indexOf(static_cast<uint32_t>(id)) >= 0)
            history_->remove(static_cast<uint32_t>(id));
}

void FrameArticleSide::clearHistory() {
    if (history_) history_->clear();
}

} // namespace qn
