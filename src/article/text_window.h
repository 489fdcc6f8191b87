// The plain-text editor of the article pane: shows a node's body in the
// node's font and colours, writes edits back, copies and pastes plain text
// only, follows links in the text, finds and replaces text, and keeps the
// undo history of the shown node.
#pragma once

#include "article/edit_history.h"
#include "article/text_buffer.h"

#include <wx/textctrl.h>

namespace qn {

class ArticleWindow;
class Block;

class TextWindow : public wxTextCtrl {
public:
    // Longest article the editor lets grow: an edit that would make the
    // text longer than this is refused with a message.  A stored article
    // that is longer already is shown whole and may be edited, but only
    // shortened, so that it can always be brought back under the limit.
    static constexpr long kMaxLength = 5120000;

    TextWindow(ArticleWindow* parent, bool isMain, bool wrap);

    void showNode(Block* node, bool isMain);
    void clearText();
    // Stores the text into the node when it was modified.
    bool commitEdits();
    void toggleReadOnly();

    void applyArticleFont(const wxFont& font);
    void setArticleFace(const wxString& face);
    void setArticleSize(int points);
    void setArticleColour(const wxColour& colour);
    void setArticleBackground(const wxColour& colour);
    void resetArticleStyle(int key);
    void refreshArticleStyle();

    long findFirst();
    long findNext();
    long findPrevious();
    // Walks the occurrences of `search` from the selection start, asking for
    // each; only while the text may be edited.  Returns the position it
    // stopped at, or -1.
    long replaceInteractive(const wxString& search, const wxString& replacement);

    // The control keeps no history of its own: these follow ours.  The
    // history belongs to the node shown and ends when another is shown.
    void Undo() override;
    void Redo() override;
    bool CanUndo() const override;
    bool CanRedo() const override;
    const EditHistory& editHistory() const { return history_; }

    bool copyPlain();
    void cutPlain();
    void pastePlain();
    void deleteSelection();
    void selectAllText();
    // The context menu at the caret, as the keyboard opens it.
    void showMenuAtCaret();

    Block* node() const { return node_; }
    bool isInsertMode() const { return insertMode_; }
    bool wraps() const { return wrap_; }
    // Wraps long lines at the window's edge, or scrolls sideways instead.
    void setWrap(bool wrap);
    // The text shown cannot be written back (a placeholder, a damaged body,
    // a body with a NUL character): it stays read-only.
    bool isLocked() const { return locked_; }
    long linkStart() const { return linkStart_; }
    long linkEnd() const { return linkEnd_; }

    // Scrolls the caret's line to `yalign` of the height (0 top, 1 bottom).
    void showCaretLineAt(double yalign);

private:
    ArticleWindow* article() const;
    void notifyStatus();
    // A short message for the main window's status bar.
    void notifyMessage(const wxString& message);
    // The toolkit reports each insertion and deletion as it happens (its
    // position and text); the changes of one action (a key, a paste, an
    // edit of our own) are joined and recorded as one change when the
    // action ends.  `typed` changes may join a step of the history.
    void collectChange(long pos, const wxString& removed, const wxString& inserted);
    void recordPending(bool typed);
    // The text between two positions, read from the toolkit without
    // fetching the whole text.
    wxString textRange(long from, long to) const;
    // Runs an edit of our own as one step of the history.
    template <class Edit>
    void asOneStep(Edit edit);
    // Applies a change from the history to the control.
    void applyChange(const EditHistory::Change& change);
    void forgetHistory();
    // Whether an edit that takes `removed` characters away and puts
    // `inserted` in their place may be made; says why not when it may not.
    bool mayReplace(long removed, long inserted);
    void tellTooLong(long inserted);
    // Undoes a change the control made by itself (a paste of the primary
    // selection, an input method) that made the text too long.
    bool refuseGrowthPastLimit(const EditHistory::Change& change);
    void applyLook();
    void paintBackground(const wxColour& colour);
    void setEditorFont(const wxFont& font);
    void onIdle(wxIdleEvent& event);
    void selectFound(long pos, long length);
    // Selects a find result, or says that there is none; returns `pos`.
    long showFound(long pos, long length, const wxString& pattern, const wxString& notFoundFormat);
    // The link under a text position: the control's last reported range, or
    // one of our own link forms.  False when there is none.
    bool linkAt(long pos, long& start, long& end);
    // Shows the links of the lines in [from, to) in the link colour.
    void styleLinks(long from, long to);

    void onKeyDown(wxKeyEvent& event);
    void onTextUrl(wxTextUrlEvent& event);
    void onLeftDown(wxMouseEvent& event);
    void onRightDown(wxMouseEvent& event);
    // The context menu for text position `pos` (-1: none) at `at` (client
    // coordinates); a file link gets the link menu.
    void showContextMenu(long pos, const wxPoint& at, bool byMouse);
    void onMenuCopy(wxCommandEvent& event);
    void onMenuCut(wxCommandEvent& event);
    void onMenuPaste(wxCommandEvent& event);
    void onMenuDelete(wxCommandEvent& event);
    void onMenuSelectAll(wxCommandEvent& event);
    void onDropFiles(wxDropFilesEvent& event);
    void onSize(wxSizeEvent& event);
    void onText(wxCommandEvent& event);

    Block* node_ = nullptr;
    long linkStart_ = 0;
    int caretScrollsLeft_ = 0; // idle passes that may still scroll to the caret
    long linkEnd_ = 0;
    bool isMain_;
    bool insertMode_ = true;
    bool wrap_;
    bool locked_ = false;
    EditHistory history_;
    EditHistory::Change pending_; // the changes of the current action, joined
    bool hasPending_ = false;
    int userAction_ = 0; // inside an action of the control (a key, a paste)
    int applying_ = 0; // inside an edit of our own: changes are recorded after it
    int quiet_ = 0;    // the text is set from elsewhere (a node, the history): not recorded
    TextBufferWatch buffer_;
    bool overLimitNotice_ = false; // the notice says the article is too long
    bool refusing_ = false;        // a change past the limit is about to be taken back
};

} // namespace qn
