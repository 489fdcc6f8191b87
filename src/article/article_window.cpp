#include "article/article_window.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "article/article_history.h"
#include "article/caption_bar.h"
#include "article/html_window.h"
#include "article/link_target.h"
#include "article/text_window.h"
#include "store/database.h"
#include "ui/command_ids.h"
#include "ui/my_message.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/process.h>
#include <wx/settings.h>
#include <wx/stattext.h>
#include <wx/toplevel.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include <unistd.h>

#include <algorithm>

namespace qn {

namespace {

const wxString kPlain = wxS("text/plain");
const wxString kHtml = wxS("text/html");

void showOpenError(wxWindow* parent, int which) {
    wxString message;
    switch (which) {
    case 1:
        message = text("s.OpenErrorNoAssoc");
        break;
    case 2:
        message = text("s.OpenErrorAccess");
        break;
    default:
        message = text("s.OpenError");
        break;
    }
    showMessage(message, text("s.Title"), MSG_OK | MSG_ICON_ERROR, parent);
}

// Watches the desktop opener and reports its failure once it has ended.
class OpenerProcess : public wxProcess {
public:
    explicit OpenerProcess(ArticleWindow* owner) : owner_(owner) {}
    void OnTerminate(int, int status) override {
        if (status != 0) {
            // 3: no tool for the job, 4: the opener found nothing to run it.
            const int which = (status == 3 || status == 4) ? 1 : 0;
            wxWeakRef<ArticleWindow> owner = owner_;
            wxTheApp->CallAfter([owner, which]() { showOpenError(owner.get(), which); });
        }
        delete this;
    }

private:
    wxWeakRef<ArticleWindow> owner_;
};

} // namespace

ArticleWindow::ArticleWindow(wxWindow* parent, wxWindowID id, bool isMain)
    : wxPanel(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_SUNKEN | wxTAB_TRAVERSAL,
              wxS("panel")),
      isMain_(isMain) {
    notice_ = new wxPanel(this);
    notice_->SetBackgroundColour(wxColour(255, 244, 200));
    noticeLabel_ = new wxStaticText(notice_, wxID_ANY, wxString());
    noticeLabel_->SetForegroundColour(*wxBLACK);
    notice_->Hide();
    remoteBar_ = new wxPanel(this);
    remoteBar_->SetBackgroundColour(wxColour(255, 244, 200));
    auto* remoteLabel = new wxStaticText(remoteBar_, wxID_ANY, text("s.RemoteBlocked"));
    remoteLabel->SetForegroundColour(*wxBLACK);
    auto* load = new wxButton(remoteBar_, wxID_ANY, text("b.LoadRemote"));
    remoteButton_ = load;
    load->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (html_ && mode_ == MODE_HTML) html_->allowRemote();
    });
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(remoteLabel, 1, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 6);
    row->Add(load, 0, wxALL, 2);
    remoteBar_->SetSizer(row);
    remoteBar_->Hide();
    Bind(wxEVT_SIZE, &ArticleWindow::onSize, this);
    if (isMain_) {
        ensureEditor();
        editor_->clearText();
    }
}

void ArticleWindow::setContext(wxWindow* mainFrame, Database* document) {
    mainFrame_ = mainFrame;
    document_ = document;
}

void ArticleWindow::setHistory(ArticleHistory* history, std::function<int()> currentGroup) {
    history_ = history;
    currentGroup_ = std::move(currentGroup);
}

void ArticleWindow::setFontListener(std::function<void(const wxString&, int)> listener) {
    fontListener_ = std::move(listener);
}

void ArticleWindow::reportFont(const wxFont& font) {
    if (fontListener_ && font.IsOk()) fontListener_(font.GetFaceName(), font.GetPointSize());
}

bool ArticleWindow::wrapSetting() {
    return settings().getInt(wxS("wrap")) == 1;
}

TextWindow* ArticleWindow::ensureEditor() {
    if (!editor_) {
        editor_ = new TextWindow(this, isMain_, wrapSetting());
        layoutChildren();
    }
    return editor_;
}

HtmlWindow* ArticleWindow::ensureHtml() {
    if (!html_) {
        html_ = new HtmlWindow(this, ID_HTML_VIEW);
        layoutChildren();
    }
    return html_;
}

void ArticleWindow::layoutChildren() {
    const wxSize size = GetClientSize();
    int top = 0;
    if (notice_->IsShown()) {
        // Wrapped to the pane's width, so a long message is never cut off.
        noticeLabel_->SetLabel(noticeText_);
        noticeLabel_->Wrap(std::max(50, size.x - 12));
        const wxSize text = noticeLabel_->GetBestSize();
        noticeLabel_->SetSize(6, 4, text.x, text.y);
        top = text.y + 8;
        notice_->SetSize(0, 0, size.x, top);
    }
    if (remoteBar_->IsShown()) {
        const int height = remoteBar_->GetBestSize().y;
        remoteBar_->SetSize(0, top, size.x, height);
        remoteBar_->Layout();
        top += height;
    }
    const wxRect area(0, top, size.x, std::max(0, size.y - top));
    if (editor_) editor_->SetSize(area);
    if (html_) html_->SetSize(area);
}

void ArticleWindow::onSize(wxSizeEvent& event) {
    layoutChildren();
    event.Skip();
}

void ArticleWindow::setNotice(const wxString& message) {
    noticeText_ = message;
    if (message.empty()) {
        if (!notice_->IsShown()) return;
        notice_->Hide();
    } else {
        notice_->Show();
    }
    layoutChildren();
}

wxString ArticleWindow::notice() const {
    return notice_->IsShown() ? noticeText_ : wxString();
}

void ArticleWindow::showRemoteBar(bool show) {
    if (show == remoteBar_->IsShown()) return;
    remoteBar_->Show(show);
    layoutChildren();
}

bool ArticleWindow::remoteBarShown() const {
    return remoteBar_->IsShown();
}

void ArticleWindow::showArticle(Block* node) {
    if (!node) {
        clearArticle();
        return;
    }
    node_ = node;
    const wxString mime = node->getString(K_m);
    if (mime == kHtml) {
        ensureHtml();
        setNotice(wxString());
        html_->load(*node);
        html_->Show();
        if (editor_) {
            editor_->clearText();
            editor_->Hide();
        }
        mode_ = MODE_HTML;
    } else if (mime == kPlain) {
        ensureEditor();
        editor_->showNode(node, isMain_);
        editor_->Show();
        if (html_) {
            html_->blank();
            showRemoteBar(false);
            html_->Hide();
        }
        mode_ = MODE_EDITOR;
    } else {
        ensureEditor();
        setNotice(wxString());
        // The editor forgets any earlier node, so this text can never be
        // stored into one.
        editor_->clearText();
        editor_->ChangeValue(wxString::Format(wxS("The MIME type %s is not supported."), mime));
        editor_->Show();
        if (html_) {
            html_->blank();
            showRemoteBar(false);
            html_->Hide();
        }
        mode_ = MODE_NONE;
    }
    layoutChildren();
    // A floating window never edits: nothing typed there could be saved.
    if (!isMain_ && editor_) editor_->SetEditable(false);
    if (isMain_ && history_)
        history_->add(static_cast<uint32_t>(node->id()), currentGroup_ ? currentGroup_() : 0);
    notifyStateChanged();
}

void ArticleWindow::clearArticle() {
    if (editor_) editor_->clearText();
    if (html_) html_->blank();
    showRemoteBar(false);
    setNotice(wxString());
    mode_ = MODE_NONE;
    node_ = nullptr;
    notifyStateChanged();
}

void ArticleWindow::toggleView() {
    // The view that is shown now takes over the keyboard from the one that
    // is hidden; otherwise the focus would be lost with it.
    wxWindow* focus = FindFocus();
    const bool hadFocus = focus && (focus == editor_ || focus == html_);
    if (mode_ == MODE_HTML) {
        ensureEditor();
        if (!editor_->node()) editor_->showNode(node_, isMain_);
        editor_->Show();
        if (html_) {
            html_->blank();
            showRemoteBar(false);
            html_->Hide();
        }
        mode_ = MODE_EDITOR;
    } else if (mode_ == MODE_EDITOR) {
        ensureHtml();
        commitText();
        if (node_) html_->load(*node_);
        setNotice(wxString());
        html_->Show();
        editor_->Hide();
        mode_ = MODE_HTML;
    }
    layoutChildren();
    if (hadFocus) {
        if (mode_ == MODE_EDITOR && editor_) editor_->SetFocus();
        if (mode_ == MODE_HTML && html_) html_->SetFocus();
    }
    // A jump to a search hit or a find in the page shows the source too: the
    // button then offers the page again.
    if (captionBar_ && getMimeType() == kHtml)
        captionBar_->setToggle(mode_ == MODE_EDITOR ? text("s.View") : text("s.Edit"), true);
    notifyStateChanged();
}

void ArticleWindow::setView(int mode) {
    if (mode != mode_) toggleView();
}

wxString ArticleWindow::getMimeType() const {
    return node_ ? node_->getString(K_m) : wxString();
}

bool ArticleWindow::commitText() {
    if (mode_ != MODE_EDITOR || !editor_) return false;
    return editor_->commitEdits();
}

void ArticleWindow::toggleWordWrap() {
    if (mode_ != MODE_EDITOR) return;
    const bool wrap = !wrapSetting();
    settings().setInt(wxS("wrap"), wrap ? 1 : 0);
    // The same editor wraps or stops wrapping: its text, caret, keyboard
    // focus and undo history stay as they are.
    editor_->setWrap(wrap);
    editor_->ShowPosition(editor_->GetInsertionPoint());
    notifyStateChanged();
}

void ArticleWindow::viewSwitch(CaptionBar* caption) {
    if (getMimeType() != kHtml) return;
    toggleView();
    if (caption) caption->setToggle(mode_ == MODE_EDITOR ? text("s.View") : text("s.Edit"), true);
}

void ArticleWindow::formatSwitch(CaptionBar* caption) {
    if (!node_) return;
    const wxString mime = getMimeType();
    if (mime == kPlain) {
        node_->setMime(kHtml);
        if (caption) caption->setToggle(text("s.Edit"), true);
        commitText();
        setView(MODE_HTML);
    } else if (mime == kHtml) {
        node_->setMime(kPlain);
        if (caption) caption->setToggle(wxS("---"), false);
        commitText();
        setView(MODE_EDITOR);
    }
    // Other types (RTF) keep their format: their body is not text, and an
    // editor showing it as text could only store an empty article back.
}

// ---------------------------------------------------------------- links

void ArticleWindow::openLink(const wxString& url) {
    LinkContext context;
    if (document_) context.documentPath = document_->path();
    const LinkAction action = resolveLink(url, context);
    switch (action.kind) {
    case LinkAction::Nothing:
        break;
    case LinkAction::ShowNode:
        showNodeHere(action.nodeId);
        break;
    case LinkAction::OpenDocument:
        notify(ID_OPEN_PATH, action.path);
        break;
    case LinkAction::OpenExternal:
        launch(url, action);
        break;
    }
}

void ArticleWindow::launch(const wxString& url, const LinkAction& action) {
    const wxString& path = action.path;
    const LinkTrust trust = linkTrust(url, action);
    if (trust == LinkTrust::Refuse) {
        showMessage(text("s.LinkRefused") + wxS("\n\n") + url, text("s.Title"),
                    MSG_OK | MSG_ICON_WARNING, this);
        return;
    }
    if (path.StartsWith(wxS("/"))) {
        const bool exists = wxFileName::FileExists(path) || wxFileName::DirExists(path);
        if (!exists) {
            showOpenError(this, 0);
            return;
        }
    }
    // What might start a program is opened only when the user says so;
    // Escape answers No.
    if (trust == LinkTrust::Ask &&
        showMessage(text("s.LinkAsk") + wxS("\n\n") + path, text("s.Title"),
                    MSG_YES | MSG_NO | MSG_ICON_QUESTION, this) != MSG_YES)
        return;
    if (path.StartsWith(wxS("/")) && access(path.fn_str(), R_OK) != 0) {
        showOpenError(this, 2);
        return;
    }
    const std::vector<wxString> args = openerArgv(action);
    std::vector<const wchar_t*> argv;
    for (const wxString& a : args)
        argv.push_back(a.wc_str());
    argv.push_back(nullptr);
    wxExecuteEnv env;
    if (!action.workingDir.empty() && wxFileName::DirExists(action.workingDir))
        env.cwd = action.workingDir;
    wxGetEnvMap(&env.env);
    auto* process = new OpenerProcess(this);
    const long pid = wxExecute(argv.data(), wxEXEC_ASYNC, process, &env);
    if (pid <= 0) {
        delete process;
        showOpenError(this, 1);
    }
}

void ArticleWindow::showLinkMenu(const wxString& url, int x, int y) {
    uint32_t id = 0;
    if (!linkMenuTarget(url, id)) return;
    linkTarget_ = id;
    wxMenu menu;
    menu.Append(ID_OPEN_FLOATING, text("m.ShowInFloatingWin"));
    menu.Append(ID_SELECT_NODE, text("m.ShowHere"));
    const int chosen = GetPopupMenuSelectionFromUser(menu, x, y);
    if (chosen == ID_OPEN_FLOATING)
        notify(ID_OPEN_FLOATING, wxString(), static_cast<long>(linkTarget_));
    else if (chosen == ID_SELECT_NODE)
        showNodeHere(linkTarget_);
}

void ArticleWindow::showNodeHere(uint32_t id) {
    if (!document_) return;
    Block* block = document_->findBlock(static_cast<int>(id));
    if (!block || !block->isNode() || block->excluded()) return;
    if (isMain_) {
        notify(ID_SELECT_NODE, wxString(), static_cast<long>(id));
        return;
    }
    showArticle(block);
    if (auto* top = wxDynamicCast(wxGetTopLevelParent(this), wxTopLevelWindow))
        top->SetTitle(block->getString(K_cap));
}

void ArticleWindow::notify(int id, const wxString& textValue, long value) {
    if (!mainFrame_) return;
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(this);
    event.SetString(textValue);
    event.SetExtraLong(value);
    event.SetInt(static_cast<int>(value));
    mainFrame_->GetEventHandler()->ProcessEvent(event);
}

void ArticleWindow::notifyLinkHover(const wxString& linkText) {
    if (isMain_) notify(ID_SHOW_LINK, linkText);
}

void ArticleWindow::notifyStateChanged() {
    if (isMain_) notify(ID_UPDATE_STATUS);
}

// ------------------------------------------------------ editor operations

bool ArticleWindow::editorShown() const {
    return mode_ == MODE_EDITOR && editor_;
}

void ArticleWindow::undo() {
    if (editorShown()) editor_->Undo();
}
void ArticleWindow::redo() {
    if (editorShown()) editor_->Redo();
}
bool ArticleWindow::canUndo() const {
    return editorShown() && editor_->CanUndo();
}
bool ArticleWindow::canRedo() const {
    return editorShown() && editor_->CanRedo();
}
bool ArticleWindow::canCut() const {
    return editorShown() && editor_->CanCut();
}
bool ArticleWindow::canPaste() const {
    return editorShown() && editor_->CanPaste();
}

bool ArticleWindow::canCopy() const {
    if (editorShown()) return editor_->CanCopy();
    if (mode_ == MODE_HTML && html_) return !html_->selectionText().empty();
    return false;
}

void ArticleWindow::cut() {
    if (editorShown()) editor_->cutPlain();
}
void ArticleWindow::copy() {
    if (editorShown())
        editor_->copyPlain();
    else if (mode_ == MODE_HTML && html_)
        html_->copySelection();
}
void ArticleWindow::paste() {
    if (editorShown()) editor_->pastePlain();
}
void ArticleWindow::deleteSelection() {
    if (editorShown()) editor_->deleteSelection();
}
void ArticleWindow::selectAll() {
    if (editorShown())
        editor_->SetSelection(-1, -1);
    else if (mode_ == MODE_HTML && html_)
        html_->SelectAll();
}
long ArticleWindow::findFirst() {
    return editorShown() ? editor_->findFirst() : -1;
}
long ArticleWindow::findNext() {
    return editorShown() ? editor_->findNext() : -1;
}
long ArticleWindow::findPrevious() {
    return editorShown() ? editor_->findPrevious() : -1;
}
bool ArticleWindow::isModified() const {
    return editorShown() && editor_->IsModified();
}
bool ArticleWindow::isEditable() const {
    return editorShown() && editor_->IsEditable();
}
void ArticleWindow::setEditable(bool editable) {
    if (editorShown() && !(editable && editor_->isLocked())) editor_->SetEditable(editable);
}
void ArticleWindow::toggleReadOnly() {
    if (editorShown()) editor_->toggleReadOnly();
}
void ArticleWindow::applyArticleFont(const wxFont& font) {
    if (editorShown()) editor_->applyArticleFont(font);
}
void ArticleWindow::setArticleFace(const wxString& face) {
    if (editorShown()) editor_->setArticleFace(face);
}
void ArticleWindow::setArticleSize(int points) {
    if (editorShown()) editor_->setArticleSize(points);
}
void ArticleWindow::setArticleColour(const wxColour& colour) {
    if (editorShown()) editor_->setArticleColour(colour);
}
void ArticleWindow::setArticleBackground(const wxColour& colour) {
    if (editorShown()) editor_->setArticleBackground(colour);
}
void ArticleWindow::resetArticleStyle(int key) {
    if (editorShown()) editor_->resetArticleStyle(key);
}
void ArticleWindow::refreshArticleStyle() {
    if (editorShown()) editor_->refreshArticleStyle();
}
long ArticleWindow::getInsertionPoint() const {
    return editorShown() ? editor_->GetInsertionPoint() : 0;
}
bool ArticleWindow::positionToXY(long pos, long* column, long* line) const {
    return editorShown() && editor_->PositionToXY(pos, column, line);
}
void ArticleWindow::showPosition(long pos) {
    if (editorShown()) editor_->ShowPosition(pos);
}
void ArticleWindow::setSelection(long from, long to) {
    if (editorShown()) editor_->SetSelection(from, to);
}
bool ArticleWindow::isInsertMode() const {
    return editorShown() && editor_->isInsertMode();
}

void ArticleWindow::setScrollPosition(int orientation, int position, bool refresh) {
    if (editorShown()) {
        editor_->SetScrollPos(orientation, position, refresh);
    } else if (mode_ == MODE_HTML && html_) {
        if (orientation == wxVERTICAL)
            html_->Scroll(-1, position);
        else
            html_->Scroll(position, -1);
    }
}

wxFont ArticleWindow::currentFont() const {
    if (editorShown()) return editor_->GetFont();
    if (mode_ == MODE_HTML && html_) return html_->GetFont();
    return GetFont();
}

bool ArticleWindow::isWordWrapped() const {
    return editorShown() && editor_->wraps();
}

} // namespace qn
