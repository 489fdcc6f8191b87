#include "article/text_window.h"

#include "app/ini_file.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "article/article_window.h"
#include "article/link_target.h"
#include "article/replace_walk.h"
#include "article/text_buffer.h"
#include "article/text_search.h"
#include "search/find_dialogs.h"
#include "store/database.h"
#include "ui/command_ids.h"
#include "ui/my_message.h"
#include "ui/node_model.h"

#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/file.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/utils.h>

namespace qn {

namespace {

const long kStyle =
    wxTE_MULTILINE | wxTE_RICH2 | wxTE_AUTO_URL | wxTE_NOHIDESEL | wxTE_PROCESS_TAB | wxBORDER_NONE;

wxString fontStyleLetters(const wxFont& font) {
    wxString letters;
    if (font.GetWeight() >= wxFONTWEIGHT_BOLD) letters += wxS("B");
    if (font.GetUnderlined()) letters += wxS("U");
    if (font.GetStyle() == wxFONTSTYLE_ITALIC || font.GetStyle() == wxFONTSTYLE_SLANT)
        letters += wxS("I");
    return letters;
}

// Text of a dropped file: UTF-8 when it is valid, else the system code page.
wxString readDroppedFile(const wxString& path, bool& ok) {
    ok = false;
    wxFile file;
    if (!file.Open(path)) return wxString();
    const wxFileOffset len = file.Length();
    if (len < 0) return wxString();
    std::string bytes(static_cast<size_t>(len), '\0');
    if (len > 0 && file.Read(&bytes[0], bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return wxString();
    ok = true;
    wxString text = wxString::FromUTF8(bytes.data(), bytes.size());
    if (text.empty() && !bytes.empty()) text = decodeLocalBytes(bytes.data(), bytes.size());
    text.Replace(wxS("\r\n"), wxS("\n"));
    return text;
}

// Larger articles are shown without marking their links: styling them would
// make showing the article slow.
constexpr long kStyleLimit = 1000000;

} // namespace

void TextWindow::setWrap(bool wrap) {
    if (wrap == wrap_) return;
    wrap_ = wrap;
    SetWindowStyleFlag((GetWindowStyleFlag() & ~(wxTE_WORDWRAP | wxHSCROLL)) |
                       (wrap ? wxTE_WORDWRAP : wxHSCROLL));
}

TextWindow::TextWindow(ArticleWindow* parent, bool isMain, bool wrap)
    : wxTextCtrl(parent, ID_ARTICLE_WINDOW, wxString(), wxDefaultPosition, wxDefaultSize,
                 kStyle | (wrap ? wxTE_WORDWRAP : wxHSCROLL), wxDefaultValidator, wxS("text")),
      isMain_(isMain), wrap_(wrap) {
    // The length limit is ours: the GTK text view has none, and a limit of
    // the control would cut a longer stored article short.
    if (isMain_) DragAcceptFiles(true);

    Bind(wxEVT_KEY_DOWN, &TextWindow::onKeyDown, this);
    Bind(wxEVT_TEXT_URL, &TextWindow::onTextUrl, this, ID_ARTICLE_WINDOW);
    Bind(wxEVT_LEFT_DOWN, &TextWindow::onLeftDown, this);
    Bind(wxEVT_RIGHT_DOWN, &TextWindow::onRightDown, this);
    Bind(wxEVT_MENU, &TextWindow::onMenuCopy, this, ID_COPY);
    Bind(wxEVT_MENU, &TextWindow::onMenuCut, this, ID_CUT);
    Bind(wxEVT_MENU, &TextWindow::onMenuPaste, this, ID_PASTE);
    Bind(wxEVT_MENU, &TextWindow::onMenuDelete, this, ID_DELETE);
    Bind(wxEVT_MENU, &TextWindow::onMenuSelectAll, this, ID_SELECT_ALL);
    Bind(wxEVT_DROP_FILES, &TextWindow::onDropFiles, this);
    Bind(wxEVT_SIZE, &TextWindow::onSize, this);
    Bind(wxEVT_IDLE, &TextWindow::onIdle, this);
    Bind(wxEVT_TEXT, &TextWindow::onText, this, ID_ARTICLE_WINDOW);
    buffer_.inserted = [this](long pos, const wxString& text) {
        collectChange(pos, wxString(), text);
    };
    buffer_.deleted = [this](long pos, const wxString& text) {
        collectChange(pos, text, wxString());
    };
    buffer_.actionBegins = [this] { ++userAction_; };
    buffer_.actionEnds = [this] {
        if (userAction_ > 0) --userAction_;
        if (userAction_ == 0 && !applying_) recordPending(true);
    };
    buffer_.attach(this);
}

wxString TextWindow::textRange(long from, long to) const {
    return buffer_.range(from, to);
}

void TextWindow::styleLinks(long from, long to) {
    const long last = GetLastPosition();
    if (last > kStyleLimit) return;
    from = std::max(0L, from);
    to = std::min(last, to);
    if (from > to) return;
    long column = 0, line = 0;
    if (PositionToXY(from, &column, &line)) from = XYToPosition(0, line);
    if (PositionToXY(to, &column, &line)) to = XYToPosition(0, line) + GetLineLength(line);
    if (from < 0 || to <= from) return;
    const wxString window = textRange(from, to);
    SetStyle(from, to, wxTextAttr(GetForegroundColour()));
    const wxTextAttr link(wxSystemSettings::GetColour(wxSYS_COLOUR_HOTLIGHT));
    for (const auto& range : findLinks(window, 0, static_cast<long>(window.length())))
        SetStyle(from + range.first, from + range.second, link);
}

void TextWindow::onText(wxCommandEvent& event) {
    event.Skip();
    // A change outside an action of the control or of ours is one by itself.
    if (!applying_ && !userAction_) recordPending(true);
    if (overLimitNotice_ && GetLastPosition() <= kMaxLength) {
        overLimitNotice_ = false;
        article()->setNotice(wxString());
    }
}

ArticleWindow* TextWindow::article() const {
    return static_cast<ArticleWindow*>(GetParent());
}

void TextWindow::notifyStatus() {
    if (!isMain_) return;
    wxWindow* top = wxGetTopLevelParent(const_cast<TextWindow*>(this));
    if (top) wxQueueEvent(top, new wxCommandEvent(wxEVT_MENU, ID_UPDATE_STATUS));
}

void TextWindow::notifyMessage(const wxString& message) {
    if (!isMain_) return;
    wxWindow* top = wxGetTopLevelParent(this);
    if (!top) return;
    auto* event = new wxCommandEvent(wxEVT_MENU, ID_STATUS_MESSAGE);
    event->SetString(message);
    wxQueueEvent(top, event);
}

void TextWindow::onSize(wxSizeEvent& event) {
    event.Skip();
    const wxSize size = GetClientSize();
    if (size.x >= 10 && size.y >= 5) setNativeMargins(this, 5, 5, 5, 1);
}

void TextWindow::applyLook() {
    if (!node_) return;
    const wxFont font = fontFromValues(node_->getString(K_Fname), node_->getInt(K_Fsize),
                                       node_->getString(K_Fattr));
    setEditorFont(font);
    if (isMain_) article()->reportFont(font);
    const wxColour bg = toWxColour(node_->getColour(K_bg));
    const wxColour fc = toWxColour(node_->getColour(K_fc));
    paintBackground(bg.IsOk() ? bg : wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW));
    SetForegroundColour(fc.IsOk() ? fc : wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT));
    Refresh();
}

// The toolkit sets the font of a rich text by setting the whole text
// again: the caret would go to the end and the styles would be lost. The
// caret and the selection stay, and the caret's line stays in view.
void TextWindow::setEditorFont(const wxFont& font) {
    const long caret = GetInsertionPoint();
    long from = 0, to = 0;
    GetSelection(&from, &to);
    recordPending(true);
    // The text comes back as it was: nothing for the history.
    ++quiet_;
    SetFont(font);
    --quiet_;
    paintBackground(GetBackgroundColour());
    styleLinks(0, GetLastPosition());
    if (from != to)
        SetSelection(from, to);
    else
        SetInsertionPoint(caret);
    scrollCaretIntoView(this);
    // The text view measures its lines in the new font bit by bit while
    // idle; until the caret's line is seen, it is scrolled to again.
    caretScrollsLeft_ = 50;
}

void TextWindow::onIdle(wxIdleEvent& event) {
    event.Skip();
    if (caretScrollsLeft_ <= 0) return;
    --caretScrollsLeft_;
    const wxPoint p = PositionToCoords(GetInsertionPoint());
    if (p.y >= 0 && p.y < GetClientSize().y) {
        caretScrollsLeft_ = 0;
        return;
    }
    scrollCaretIntoView(this);
    event.RequestMore();
}

// The text view draws each line's own background over the window's: a new
// colour goes to the window, to the whole text at once and to what is typed
// later, or every line keeps a band of the old one.
void TextWindow::paintBackground(const wxColour& colour) {
    SetBackgroundColour(colour);
    wxTextAttr background;
    background.SetBackgroundColour(colour);
    SetDefaultStyle(background);
    if (GetLastPosition() <= kStyleLimit) SetStyle(0, GetLastPosition(), background);
}

void TextWindow::showNode(Block* node, bool isMain) {
    isMain_ = isMain;
    node_ = node;
    locked_ = false;
    if (!node_) {
        clearText();
        return;
    }
    applyLook();

    wxString notice;
    bool readOnly = node_->getInt(K_ro) == 1;
    // Loading the body tells whether a linked file is missing.
    wxString body = node_->text();
    if (node_->getInt(K_sz) == -1) {
        body = text("s.FileNotFound");
        locked_ = true;
    } else {
        if (node_->isDamaged()) {
            notice = text("s.ArticleDamaged");
            locked_ = true;
        } else if (static_cast<long>(body.length()) > kMaxLength) {
            notice = fillPlaceholders(text("s.ArticleTooLong"),
                                      {wxString::Format(wxS("%ld"), kMaxLength)});
        } else if (body.find(wxUniChar(0)) != wxString::npos) {
            // The editor cannot hold a NUL character: handed one, it shows
            // nothing at all, and a save would then store only what was
            // typed.  Each is shown as U+FFFD, read-only, and the stored
            // text stays as it is.
            body.Replace(wxString(wxUniChar(0), 1), wxString(wxUniChar(0xFFFD), 1));
            notice = text("s.ArticleHasNul");
            locked_ = true;
        }
    }
    if (locked_) readOnly = true;
    overLimitNotice_ = !locked_ && !notice.empty();
    // Set with the default style, the text would be tagged with the
    // background as a whole and then once more below: it gets its colours
    // once, after.
    SetDefaultStyle(wxTextAttr());
    ++quiet_;
    ChangeValue(body);
    --quiet_;
    body.clear();
    forgetHistory();
    paintBackground(GetBackgroundColour());
    styleLinks(0, GetLastPosition());
    SetModified(false);
    SetInsertionPoint(0);
    ShowPosition(0);
    article()->setNotice(notice);
    linkStart_ = linkEnd_ = 0;
    SetEditable(!readOnly);
}

void TextWindow::clearText() {
    node_ = nullptr;
    locked_ = false;
    overLimitNotice_ = false;
    ++quiet_;
    ChangeValue(wxString());
    --quiet_;
    forgetHistory();
    SetModified(false);
    SetEditable(false);
    linkStart_ = linkEnd_ = 0;
}

bool TextWindow::commitEdits() {
    bool stored = false;
    if (node_ && !locked_ && IsModified()) {
        node_->setText(GetValue());
        stored = true;
    }
    SetModified(false);
    history_.markCommitted();
    return stored;
}

// ---------------------------------------------------------------- history

void TextWindow::forgetHistory() {
    history_.clear();
    hasPending_ = false;
    pending_ = EditHistory::Change();
}

// Joins a change into the pending one when it lies inside what that one
// inserted or right next to it (a selection replaced by a key, an
// overwritten character); otherwise the pending change is recorded by
// itself first.
void TextWindow::collectChange(long pos, const wxString& removed, const wxString& inserted) {
    if (quiet_) return;
    if (hasPending_) {
        EditHistory::Change& p = pending_;
        const long start = p.pos;
        const long end = p.pos + static_cast<long>(p.inserted.length());
        const long removedEnd = pos + static_cast<long>(removed.length());
        if (pos >= start && removedEnd <= end) {
            p.inserted.replace(static_cast<size_t>(pos - start), removed.length(), inserted);
            return;
        }
        if (removedEnd == start) {
            p.pos = pos;
            p.removed = removed + p.removed;
            p.inserted = inserted + p.inserted;
            return;
        }
        if (pos >= start && pos <= end) {
            p.removed += removed.substr(static_cast<size_t>(end - pos));
            p.inserted = p.inserted.substr(0, static_cast<size_t>(pos - start)) + inserted;
            return;
        }
        recordPending(!applying_);
    }
    pending_ = EditHistory::Change{pos, removed, inserted};
    hasPending_ = true;
}

void TextWindow::recordPending(bool typed) {
    if (!hasPending_) return;
    hasPending_ = false;
    EditHistory::Change c = std::move(pending_);
    pending_ = EditHistory::Change();
    if (c.removed == c.inserted) return;
    if (typed && refuseGrowthPastLimit(c)) return;
    history_.record(c.pos, c.removed, c.inserted, typed);
    // A change may make or break a link on the lines it touched.
    styleLinks(c.pos, c.pos + static_cast<long>(c.inserted.length()));
}

// ---------------------------------------------------------------- length

bool TextWindow::mayReplace(long removed, long inserted) {
    const long now = GetLastPosition();
    const long after = now - removed + inserted;
    // Shortening is always allowed, also above the limit.
    if (after <= kMaxLength || after <= now) return true;
    tellTooLong(inserted);
    return false;
}

void TextWindow::tellTooLong(long inserted) {
    const long room = std::max(0L, kMaxLength - GetLastPosition());
    showMessage(fillPlaceholders(text("s.TextTooLong"),
                                 {wxString::Format(wxS("%ld"), inserted),
                                  wxString::Format(wxS("%ld"), kMaxLength),
                                  wxString::Format(wxS("%ld"), room)}),
                text("s.Title"), MSG_OK | MSG_ICON_WARNING, this);
}

bool TextWindow::refuseGrowthPastLimit(const EditHistory::Change& c) {
    const long now = GetLastPosition();
    if (now <= kMaxLength || c.inserted.length() <= c.removed.length()) return false;
    // The control is still inside its change (changing the text now would
    // pull it from under its feet): it is taken back right after, and the
    // history never sees it.
    CallAfter([this, c] {
        const long end = c.pos + static_cast<long>(c.inserted.length());
        if (end > GetLastPosition() || textRange(c.pos, end) != c.inserted) return;
        ++quiet_;
        Replace(c.pos, end, c.removed);
        --quiet_;
        SetInsertionPoint(c.pos);
        SetModified(!history_.atCommitted());
        notifyStatus();
        // A key typed at the limit only rings; a larger insertion is
        // explained.
        if (c.inserted.length() <= 1)
            wxBell();
        else
            tellTooLong(static_cast<long>(c.inserted.length()));
    });
    return true;
}

template <class Edit> void TextWindow::asOneStep(Edit edit) {
    recordPending(true); // whatever came before is a step of its own
    history_.closeStep();
    ++applying_;
    edit();
    --applying_;
    recordPending(false);
    history_.closeStep();
}

void TextWindow::applyChange(const EditHistory::Change& c) {
    ++quiet_;
    const long to = c.pos + static_cast<long>(c.removed.length());
    Replace(c.pos, to, c.inserted);
    --quiet_;
    const long caret = c.pos + static_cast<long>(c.inserted.length());
    SetInsertionPoint(caret);
    ShowPosition(caret);
    styleLinks(c.pos - 256, caret + 256);
    // Back at the committed text, the node has nothing to store.
    SetModified(!history_.atCommitted());
    notifyStatus();
}

bool TextWindow::CanUndo() const {
    return node_ && IsEditable() && history_.canUndo();
}

bool TextWindow::CanRedo() const {
    return node_ && IsEditable() && history_.canRedo();
}

void TextWindow::Undo() {
    recordPending(true);
    if (CanUndo()) applyChange(history_.undo());
}

void TextWindow::Redo() {
    recordPending(true);
    if (CanRedo()) applyChange(history_.redo());
}

void TextWindow::toggleReadOnly() {
    if (!node_ || locked_) return;
    if (IsEditable()) {
        node_->setInt(K_ro, 1);
        SetEditable(false);
    } else {
        node_->setInt(K_ro, 0);
        SetEditable(true);
    }
}

void TextWindow::applyArticleFont(const wxFont& font) {
    if (!node_ || !font.IsOk()) return;
    node_->setString(K_Fname, font.GetFaceName());
    node_->setInt(K_Fsize, font.GetPointSize());
    node_->setString(K_Fattr, fontStyleLetters(font));
    setEditorFont(font);
    Refresh();
}

void TextWindow::setArticleFace(const wxString& face) {
    if (!node_) return;
    wxFont font = GetFont();
    font.SetFaceName(face);
    node_->setString(K_Fname, face);
    setEditorFont(font);
    Refresh();
}

void TextWindow::setArticleSize(int points) {
    if (!node_) return;
    wxFont font = GetFont();
    font.SetPointSize(points);
    node_->setInt(K_Fsize, points);
    setEditorFont(font);
    Refresh();
}

void TextWindow::setArticleColour(const wxColour& colour) {
    if (!node_ || !colour.IsOk()) return;
    node_->setColour(K_fc, fromWxColour(colour));
    SetForegroundColour(colour);
    styleLinks(0, GetLastPosition());
    Refresh();
}

void TextWindow::setArticleBackground(const wxColour& colour) {
    if (!node_ || !colour.IsOk()) return;
    node_->setColour(K_bg, fromWxColour(colour));
    paintBackground(colour);
    Refresh();
}

void TextWindow::resetArticleStyle(int key) {
    if (!node_) return;
    switch (key) {
    case K_bg:
        node_->removeKey(K_bg);
        break;
    case K_Fname:
    case K_Fsize:
    case K_Fattr:
        node_->removeKey(K_Fname);
        node_->removeKey(K_Fsize);
        node_->removeKey(K_Fattr);
        break;
    case K_fc:
    case K_hi:
        node_->removeKey(K_fc);
        node_->removeKey(K_hi);
        break;
    default:
        node_->removeKey(key);
        break;
    }
    refreshArticleStyle();
}

void TextWindow::refreshArticleStyle() {
    applyLook();
}

void TextWindow::showCaretLineAt(double yalign) {
    scrollCaretToAlignment(this, yalign);
}

void TextWindow::selectFound(long pos, long length) {
    SetSelection(pos, pos + length);
    ShowPosition(pos);
    notifyStatus(); // the hit's line, also while a replace question waits
}

long TextWindow::findFirst() {
    const wxString& pattern = article()->searchText();
    if (!node_ || pattern.empty()) return -1;
    // The caret is at the end of a selection (of a text found before): the
    // control reports the selection's start as its insertion point.
    long from = 0, to = 0;
    GetSelection(&from, &to);
    const long caret = from != to ? to : GetInsertionPoint();
    const wxString body = GetValue();
    long length = 0;
    long pos = findForward(body, pattern, caret, article()->caseSensitive(), &length);
    if (pos < 0 && caret > 0) {
        // Nothing below the caret: the search goes on from the top, and
        // the status bar says so.
        pos = findForward(body, pattern, 0, article()->caseSensitive(), &length);
        if (pos >= 0) notifyMessage(text("s.FindWrapped"));
    }
    return showFound(pos, length, pattern, text("s.NotFound"));
}

long TextWindow::findNext() {
    const wxString& pattern = article()->searchText();
    if (!node_ || pattern.empty()) return -1;
    const wxString body = GetValue();
    long from = 0, to = 0;
    GetSelection(&from, &to);
    if (from + 1 >= static_cast<long>(body.length())) return -1;
    long length = 0;
    const long pos = findForward(body, pattern, from + 1, article()->caseSensitive(), &length);
    return showFound(pos, length, pattern, text("s.NoMore"));
}

long TextWindow::findPrevious() {
    const wxString& pattern = article()->searchText();
    if (!node_ || pattern.empty()) return -1;
    const wxString body = GetValue();
    long from = 0, to = 0;
    GetSelection(&from, &to);
    if (from - 1 < 0) return -1;
    long length = 0;
    const long pos = findBackward(body, pattern, from - 1, article()->caseSensitive(), &length);
    return showFound(pos, length, pattern, text("s.NoMore"));
}

long TextWindow::showFound(long pos, long length, const wxString& pattern,
                           const wxString& notFoundFormat) {
    if (pos >= 0)
        selectFound(pos, length);
    else
        showMessage(fillPlaceholders(notFoundFormat, {pattern}), text("s.Title"),
                    MSG_OK | MSG_ICON_ERROR, this);
    return pos;
}

long TextWindow::replaceInteractive(const wxString& search, const wxString& replacement) {
    // Never over a text that may not be changed: a read-only node, or a
    // text shown in place of the article (missing file, damaged, too long).
    if (search.empty() || !node_ || locked_ || !IsEditable()) return -1;
    long from = 0, to = 0;
    GetSelection(&from, &to);
    const long slen = static_cast<long>(search.length());
    ReplaceActionDialog dialog(this, wxID_ANY, search, replacement);
    ReplaceCalls calls;
    calls.ask = [&](long pos) {
        selectFound(pos, slen);
        return dialog.ShowModal();
    };
    const long rlen = static_cast<long>(replacement.length());
    calls.replaceOne = [&](long pos) {
        if (!mayReplace(slen, rlen)) return false;
        asOneStep([&] { Replace(pos, pos + slen, replacement); });
        MarkDirty();
        return true;
    };
    calls.replaceRest = [&](long start, long end, const wxString& with) {
        if (!mayReplace(end - start, static_cast<long>(with.length()))) return;
        asOneStep([&] { Replace(start, end, with); });
        styleLinks(start, start + static_cast<long>(with.length()));
        SetInsertionPoint(start + static_cast<long>(with.length()));
        MarkDirty();
    };
    const long result = replaceWalk(GetValue(), search, replacement, from, calls);
    notifyStatus();
    return result;
}

bool TextWindow::copyPlain() {
    wxClipboardLocker lock;
    if (!lock) return false;
    const wxString sel = GetStringSelection();
    if (sel.empty()) return false;
    return wxTheClipboard->SetData(new wxTextDataObject(sel));
}

void TextWindow::cutPlain() {
    if (!IsEditable()) return;
    if (copyPlain()) deleteSelection();
}

void TextWindow::pastePlain() {
    if (!IsEditable()) return;
    wxString pasted;
    {
        wxClipboardLocker lock;
        if (!lock || !wxTheClipboard->IsSupported(wxDF_UNICODETEXT)) return;
        wxTextDataObject data;
        if (!wxTheClipboard->GetData(data)) return;
        pasted = data.GetText();
    }
    long from = 0, to = 0;
    GetSelection(&from, &to);
    if (!mayReplace(to - from, static_cast<long>(pasted.length()))) return;
    asOneStep([&] {
        if (from == to)
            WriteText(pasted);
        else
            Replace(from, to, pasted);
    });
    // Changes made through the control's calls do not count as edits by
    // themselves; these are the user's.
    MarkDirty();
}

void TextWindow::deleteSelection() {
    if (!IsEditable()) return;
    long from = 0, to = 0;
    GetSelection(&from, &to);
    if (from != to) {
        asOneStep([&] { Remove(from, to); });
        MarkDirty();
    }
}

void TextWindow::selectAllText() {
    SetSelection(-1, -1);
}

bool TextWindow::linkAt(long pos, long& start, long& end) {
    if (linkStart_ < linkEnd_ && pos >= linkStart_ && pos < linkEnd_) {
        start = linkStart_;
        end = linkEnd_;
        return true;
    }
    if (findLinkAt(GetValue(), pos, start, end)) return true;
    return false;
}

void TextWindow::onKeyDown(wxKeyEvent& event) {
    const int code = event.GetKeyCode();
    const bool redoKey = (event.GetModifiers() == wxMOD_CONTROL && code == 'Y') ||
                         (event.GetModifiers() == (wxMOD_CONTROL | wxMOD_SHIFT) && code == 'Z');
    if ((event.GetModifiers() == wxMOD_CONTROL && code == 'Z') || redoKey) {
        if (redoKey)
            Redo();
        else
            Undo();
        return;
    }
    switch (code) {
    case WXK_LEFT:
    case WXK_RIGHT:
    case WXK_UP:
    case WXK_DOWN:
    case WXK_HOME:
    case WXK_END:
    case WXK_PAGEUP:
    case WXK_PAGEDOWN:
        // Typing somewhere else starts a new step.
        history_.closeStep();
        break;
    default:
        break;
    }
    if (event.GetModifiers() == wxMOD_CONTROL) {
        if (code == 'C') {
            copyPlain();
            return;
        }
        if (code == 'X') {
            cutPlain();
            notifyStatus();
            return;
        }
        if (code == 'V') {
            pastePlain();
            notifyStatus();
            return;
        }
    }
    // The keyboard's context-menu keys open this editor's own menu, not the
    // native one.
    if ((code == WXK_MENU && event.GetModifiers() == wxMOD_NONE) ||
        (code == WXK_F10 && event.GetModifiers() == wxMOD_SHIFT)) {
        showMenuAtCaret();
        return;
    }
    // Shift+Tab leaves the editor backwards; a plain Tab stays a character.
    if (code == WXK_TAB && event.GetModifiers() == wxMOD_SHIFT) {
        Navigate(wxNavigationKeyEvent::IsBackward);
        return;
    }
    if (code == WXK_INSERT && event.GetModifiers() == wxMOD_NONE) {
        // The control switches between inserting and overwriting itself;
        // keep the flag in step, and keep both still while read-only.
        if (!IsEditable()) return;
        insertMode_ = !insertMode_;
    }
    notifyStatus();
    event.Skip();
}

void TextWindow::onTextUrl(wxTextUrlEvent& event) {
    linkStart_ = event.GetURLStart();
    linkEnd_ = event.GetURLEnd();
    event.Skip();
}

void TextWindow::onLeftDown(wxMouseEvent& event) {
    notifyStatus();
    history_.closeStep();
    long pos = 0;
    if (HitTest(event.GetPosition(), &pos) == wxTE_HT_UNKNOWN) {
        event.Skip();
        return;
    }
    long start = 0, end = 0;
    if (!linkAt(pos, start, end)) {
        event.Skip();
        return;
    }
    const wxString value = GetValue();
    end = extendQuotedLink(value, start, end);
    linkStart_ = start;
    linkEnd_ = end;
    const wxString link = value.Mid(start, end - start);
    commitEdits();
    article()->openLink(link);
}

void TextWindow::onRightDown(wxMouseEvent& event) {
    notifyStatus();
    long pos = 0;
    if (HitTest(event.GetPosition(), &pos) == wxTE_HT_UNKNOWN) pos = -1;
    showContextMenu(pos, event.GetPosition(), true);
}

void TextWindow::showMenuAtCaret() {
    notifyStatus();
    const long caret = GetInsertionPoint();
    wxPoint at = PositionToCoords(caret);
    if (at == wxDefaultPosition || !GetClientRect().Contains(at)) at = wxPoint(0, 0);
    showContextMenu(caret, at, false);
}

void TextWindow::showContextMenu(long pos, const wxPoint& at, bool byMouse) {
    long start = 0, end = 0;
    if (pos >= 0 && linkAt(pos, start, end)) {
        const wxString link = GetValue().Mid(start, end - start);
        if (link.StartsWith(wxS("file:*"))) {
            const wxPoint where = article()->ScreenToClient(ClientToScreen(at));
            article()->showLinkMenu(link, where.x, where.y);
            return;
        }
        // A click on another link does nothing; the keyboard still gets the
        // edit menu there.
        if (byMouse) return;
    }
    wxMenu menu;
    menu.Append(ID_COPY, text("m.Copy"));
    menu.Append(ID_CUT, text("m.Cut"));
    menu.Append(ID_PASTE, text("m.Paste"));
    menu.Append(ID_DELETE, text("m.Delete"));
    menu.AppendSeparator();
    menu.Append(ID_SELECT_ALL, text("m.SelectAll"));
    const bool canCopy = CanCopy();
    menu.Enable(ID_COPY, canCopy);
    menu.Enable(ID_DELETE, canCopy && IsEditable());
    menu.Enable(ID_CUT, CanCut());
    menu.Enable(ID_PASTE, CanPaste());
    PopupMenu(&menu, at);
}

void TextWindow::onMenuCopy(wxCommandEvent&) {
    copyPlain();
}

void TextWindow::onMenuCut(wxCommandEvent&) {
    cutPlain();
    notifyStatus();
}

void TextWindow::onMenuPaste(wxCommandEvent&) {
    pastePlain();
    notifyStatus();
}

void TextWindow::onMenuDelete(wxCommandEvent&) {
    deleteSelection();
    notifyStatus();
}

void TextWindow::onMenuSelectAll(wxCommandEvent&) {
    selectAllText();
}

void TextWindow::onDropFiles(wxDropFilesEvent& event) {
    if (!isMain_ || !IsEditable() || event.GetNumberOfFiles() < 1) return;
    bool ok = false;
    const wxString content = readDroppedFile(event.GetFiles()[0], ok);
    if (!ok || !mayReplace(GetLastPosition(), static_cast<long>(content.length()))) return;
    asOneStep([&] { ChangeValue(content); });
    styleLinks(0, GetLastPosition());
    MarkDirty();
}

} // namespace qn
