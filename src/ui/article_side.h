// What the navigation side of a main window (tree, category bar) asks of
// the article side (article, caption bar, history). The main window wires
// the two together; neither side knows the other's classes.
#pragma once

#include <wx/bitmap.h>
#include <wx/font.h>
#include <wx/string.h>

#include <vector>

namespace qn {

class Block;

class ArticleSide {
public:
    virtual ~ArticleSide() = default;

    // The node the article shows; null for none.
    virtual Block* shownNode() const = 0;
    virtual void showArticle(Block* node) = 0;
    // Writes pending editor changes into the shown node; true when it did.
    virtual bool commitText() = 0;
    // Empties the article and the caption.
    virtual void clearArticle() = 0;
    // The font of the article shown.
    virtual wxFont articleFont() const = 0;
    // The caption of a selected node: its icon (kept as it is when null),
    // its title, and the edit toggle's label and state.
    virtual void showCaption(const wxBitmap* icon, const wxString& title,
                             const wxString& toggleLabel, bool toggleEnabled) = 0;
    // The history lets go of every entry of these nodes.
    virtual void forgetNodes(const std::vector<int>& ids) = 0;
    virtual void clearHistory() = 0;
};

} // namespace qn
