// The article side of a main window as the tree and the category bar see
// it: the window's article, caption bar and history behind one interface.
#pragma once

#include "ui/article_side.h"

namespace qn {

class ArticleHistory;
class ArticleWindow;
class CaptionBar;

class FrameArticleSide : public ArticleSide {
public:
    FrameArticleSide(ArticleWindow& article, CaptionBar& caption)
        : article_(article), caption_(caption) {}
    // Not owned; null while the window has none.
    void setHistory(ArticleHistory* history) { history_ = history; }

    Block* shownNode() const override;
    void showArticle(Block* node) override;
    bool commitText() override;
    void clearArticle() override;
    wxFont articleFont() const override;
    void showCaption(const wxBitmap* icon, const wxString& title, const wxString& toggleLabel,
                     bool toggleEnabled) override;
    void forgetNodes(const std::vector<int>& ids) override;
    void clearHistory() override;

private:
    ArticleWindow& article_;
    CaptionBar& caption_;
    ArticleHistory* history_ = nullptr;
};

} // namespace qn
