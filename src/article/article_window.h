// The pane that shows one node's article: the plain-text editor or the HTML
// view, whichever fits the node.  The main window's edit commands reach the
// editor through it, and links are followed here.
#pragma once

#include <wx/font.h>
#include <wx/panel.h>

#include <cstdint>
#include <functional>

class wxStaticText;

namespace qn {

class ArticleHistory;
class Block;
class CaptionBar;
class Database;
class HtmlWindow;
class TextWindow;
struct LinkAction;

class ArticleWindow : public wxPanel {
public:
    enum Mode { MODE_NONE = 0, MODE_EDITOR = 1, MODE_HTML = 2 };

    // The main window's article window (ID_ARTICLE_WINDOW) creates its editor at once; a
    // floating one creates its views when a node needs them.
    ArticleWindow(wxWindow* parent, wxWindowID id, bool isMain);

    // `mainFrame` receives the notifications ID_OPEN_PATH to ID_UPDATE_STATUS.
    void setContext(wxWindow* mainFrame, Database* document);
    // Main window only: shown nodes enter the history, with the id of the
    // category the tree shows at that moment.
    void setHistory(ArticleHistory* history, std::function<int()> currentGroup);
    // The main window shows the editor's font in its toolbar.
    void setFontListener(std::function<void(const wxString& face, int size)> listener);
    // Main window only: the caption bar whose toggle button names the other
    // view of an HTML node, whoever switches the view.
    void setCaptionBar(CaptionBar* caption) { captionBar_ = caption; }

    void showArticle(Block* node);
    void clearArticle();
    void toggleView();
    void setView(int mode);
    wxString getMimeType() const;
    bool commitText();
    void toggleWordWrap();
    // True when a new editor wraps its lines (setting "wrap" is 1).
    static bool wrapSetting();

    // Commands of the main window that belong to the article pane: the view
    // switch (ID_TOGGLE_PLAIN_HTML) and the format switch (ID_PLAIN_TEXT,
    // ID_HTML).  The caption bar's toggle
    // button follows the result.
    void viewSwitch(CaptionBar* caption);
    void formatSwitch(CaptionBar* caption);

    void openLink(const wxString& url);
    void showLinkMenu(const wxString& url, int x, int y);
    void showNodeHere(uint32_t id);
    void notifyLinkHover(const wxString& text);
    void notifyStateChanged();
    // Sends a notification to the main frame (none in a floating window).
    void notify(int id, const wxString& text = wxString(), long value = 0);
    // The font of the editor, for its toolbar boxes.
    void reportFont(const wxFont& font);

    // --- Editor operations, passed on as the view mode allows ---
    void undo();
    void redo();
    bool canUndo() const;
    bool canRedo() const;
    bool canCut() const;
    bool canCopy() const;
    bool canPaste() const;
    void cut();
    void copy();
    void paste();
    void deleteSelection();
    void selectAll();
    long findFirst();
    long findNext();
    long findPrevious();
    bool isModified() const;
    bool isEditable() const;
    void setEditable(bool editable);
    void toggleReadOnly();
    void applyArticleFont(const wxFont& font);
    void setArticleFace(const wxString& face);
    void setArticleSize(int points);
    void setArticleColour(const wxColour& colour);
    void setArticleBackground(const wxColour& colour);
    void resetArticleStyle(int key);
    void refreshArticleStyle();
    long getInsertionPoint() const;
    bool positionToXY(long pos, long* column, long* line) const;
    void showPosition(long pos);
    void setSelection(long from, long to);
    bool isInsertMode() const;
    void setScrollPosition(int orientation, int position, bool refresh);
    wxFont currentFont() const;
    // Editor shown and it wraps its lines.
    bool isWordWrapped() const;

    // The last Find: read by the editor's find operations.
    const wxString& searchText() const { return searchText_; }
    bool caseSensitive() const { return caseSensitive_; }
    void setSearch(const wxString& text, bool caseSensitive) {
        searchText_ = text;
        caseSensitive_ = caseSensitive;
    }

    int mode() const { return mode_; }
    Block* node() const { return node_; }
    Database* document() const { return document_; }
    bool isMain() const { return isMain_; }
    TextWindow* editor() const { return editor_; }
    HtmlWindow* htmlView() const { return html_; }

    // A note above the text when an article is shown read-only because it
    // cannot be edited safely (damaged body, too long for the editor).
    void setNotice(const wxString& text);
    wxString notice() const;

    // The bar above the HTML view that says remote images were not loaded,
    // with the button that loads them for this note.
    void showRemoteBar(bool show);
    bool remoteBarShown() const;
    wxWindow* remoteBarButton() const { return remoteButton_; }

private:
    bool editorShown() const;
    TextWindow* ensureEditor();
    HtmlWindow* ensureHtml();
    void layoutChildren();
    void onSize(wxSizeEvent& event);
    void launch(const wxString& url, const LinkAction& action);

    TextWindow* editor_ = nullptr;
    HtmlWindow* html_ = nullptr;
    wxPanel* notice_ = nullptr;
    wxStaticText* noticeLabel_ = nullptr;
    wxPanel* remoteBar_ = nullptr;
    wxWindow* remoteButton_ = nullptr;
    wxString noticeText_;
    int mode_ = MODE_NONE;
    Block* node_ = nullptr;
    Database* document_ = nullptr;
    wxWindow* mainFrame_ = nullptr;
    bool isMain_;
    uint32_t linkTarget_ = 0;
    wxString searchText_;
    bool caseSensitive_ = false;
    ArticleHistory* history_ = nullptr;
    std::function<int()> currentGroup_;
    std::function<void(const wxString&, int)> fontListener_;
    CaptionBar* captionBar_ = nullptr;
};

} // namespace qn
