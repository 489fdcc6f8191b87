#include "article/text_buffer.h"

#ifdef __WXGTK__
#include <dlfcn.h>
#endif

#include <utility>

namespace qn {

#ifdef __WXGTK__
// The GTK text view's margins have no wx call for the right and bottom side;
// the functions are looked up at run time so no GTK headers are needed.
void setNativeMargins(wxTextCtrl* ctrl, int left, int top, int right, int bottom) {
    using SetMargin = void (*)(void*, int);
    static auto setLeft =
        reinterpret_cast<SetMargin>(dlsym(RTLD_DEFAULT, "gtk_text_view_set_left_margin"));
    static auto setRight =
        reinterpret_cast<SetMargin>(dlsym(RTLD_DEFAULT, "gtk_text_view_set_right_margin"));
    static auto setTop =
        reinterpret_cast<SetMargin>(dlsym(RTLD_DEFAULT, "gtk_text_view_set_top_margin"));
    static auto setBottom =
        reinterpret_cast<SetMargin>(dlsym(RTLD_DEFAULT, "gtk_text_view_set_bottom_margin"));
    void* view = ctrl->GetConnectWidget();
    if (!view) return;
    if (setLeft) setLeft(view, left);
    if (setRight) setRight(view, right);
    if (setTop) setTop(view, top);
    if (setBottom) setBottom(view, bottom);
}

namespace {
// Scrolls the text view to its caret once it has measured its lines: with
// `align`, the caret's line goes to `yalign` of the view's height.
void scrollToCaret(wxTextCtrl* ctrl, bool align, double yalign) {
    using GetBuffer = void* (*)(void*);
    using GetInsert = void* (*)(void*);
    using ScrollToMark = void (*)(void*, void*, double, int, double, double);
    static auto getBuffer =
        reinterpret_cast<GetBuffer>(dlsym(RTLD_DEFAULT, "gtk_text_view_get_buffer"));
    static auto getInsert =
        reinterpret_cast<GetInsert>(dlsym(RTLD_DEFAULT, "gtk_text_buffer_get_insert"));
    static auto scrollToMark =
        reinterpret_cast<ScrollToMark>(dlsym(RTLD_DEFAULT, "gtk_text_view_scroll_to_mark"));
    void* view = ctrl->GetConnectWidget();
    void* buffer = view && getBuffer ? getBuffer(view) : nullptr;
    void* mark = buffer && getInsert ? getInsert(buffer) : nullptr;
    if (mark && scrollToMark)
        scrollToMark(view, mark, 0.0, align ? 1 : 0, 0.0, yalign);
    else
        ctrl->ShowPosition(ctrl->GetInsertionPoint());
}
} // namespace

// Right after the text was set again (a font change) the line heights are
// not known yet, and a scroll computed from them would land anywhere: the
// view scrolls once it has measured them.
void scrollCaretIntoView(wxTextCtrl* ctrl) {
    scrollToCaret(ctrl, false, 0.0);
}

// 0 the top, 1 the bottom.
void scrollCaretToAlignment(wxTextCtrl* ctrl, double yalign) {
    scrollToCaret(ctrl, true, yalign);
}
#else
void setNativeMargins(wxTextCtrl* ctrl, int left, int top, int, int) {
    ctrl->SetMargins(left, top);
}

void scrollCaretIntoView(wxTextCtrl* ctrl) {
    ctrl->ShowPosition(ctrl->GetInsertionPoint());
}

void scrollCaretToAlignment(wxTextCtrl* ctrl, double) {
    ctrl->ShowPosition(ctrl->GetInsertionPoint());
}
#endif


namespace {

#ifdef __WXGTK__
// The text buffer's signals and calls, looked up at run time like the
// margins above.  A GtkTextIter is a plain struct the caller provides.
struct GtkCalls {
    using GetBuffer = void* (*)(void*);
    using IterAtOffset = void (*)(void*, void*, int);
    using IterOffset = int (*)(const void*);
    using GetText = char* (*)(void*, const void*, const void*, int);
    using Free = void (*)(void*);
    using Connect = unsigned long (*)(void*, const char*, void (*)(), void*, void*, int);
    using Disconnect = unsigned (*)(void*, int, unsigned, unsigned, void*, void*, void*);
    GetBuffer getBuffer = reinterpret_cast<GetBuffer>(dlsym(RTLD_DEFAULT, "gtk_text_view_get_buffer"));
    IterAtOffset iterAtOffset =
        reinterpret_cast<IterAtOffset>(dlsym(RTLD_DEFAULT, "gtk_text_buffer_get_iter_at_offset"));
    IterOffset iterOffset = reinterpret_cast<IterOffset>(dlsym(RTLD_DEFAULT, "gtk_text_iter_get_offset"));
    GetText getText = reinterpret_cast<GetText>(dlsym(RTLD_DEFAULT, "gtk_text_buffer_get_text"));
    Free free = reinterpret_cast<Free>(dlsym(RTLD_DEFAULT, "g_free"));
    Connect connect = reinterpret_cast<Connect>(dlsym(RTLD_DEFAULT, "g_signal_connect_data"));
    Disconnect disconnect =
        reinterpret_cast<Disconnect>(dlsym(RTLD_DEFAULT, "g_signal_handlers_disconnect_matched"));
    bool ok() const {
        return getBuffer && iterAtOffset && iterOffset && getText && free && connect && disconnect;
    }
};

const GtkCalls& gtk() {
    static const GtkCalls calls;
    return calls;
}

struct alignas(16) TextIter {
    unsigned char bytes[256]; // more than a GtkTextIter needs
};

wxString bufferText(void* buffer, const void* start, const void* end) {
    char* utf8 = gtk().getText(buffer, start, end, 1);
    if (!utf8) return wxString();
    wxString text = wxString::FromUTF8(utf8);
    gtk().free(utf8);
    return text;
}

void onInserted(void*, void* location, char* text, int len, void* self) {
    auto* watch = static_cast<TextBufferWatch*>(self);
    if (watch->inserted)
        watch->inserted(gtk().iterOffset(location), wxString::FromUTF8(text, len));
}

// Connected before the buffer's own handler: the text is still there.
void onDeleted(void* buffer, void* start, void* end, void* self) {
    auto* watch = static_cast<TextBufferWatch*>(self);
    long from = gtk().iterOffset(start), to = gtk().iterOffset(end);
    if (from > to) {
        std::swap(from, to);
        std::swap(start, end);
    }
    if (from < to && watch->deleted) watch->deleted(from, bufferText(buffer, start, end));
}

void onBeginAction(void*, void* self) {
    auto* watch = static_cast<TextBufferWatch*>(self);
    if (watch->actionBegins) watch->actionBegins();
}

void onEndAction(void*, void* self) {
    auto* watch = static_cast<TextBufferWatch*>(self);
    if (watch->actionEnds) watch->actionEnds();
}
#endif

} // namespace

bool TextBufferWatch::attach(wxTextCtrl* ctrl) {
    ctrl_ = ctrl;
#ifdef __WXGTK__
    void* view = ctrl->GetConnectWidget();
    if (!view || !gtk().ok()) return false;
    buffer_ = gtk().getBuffer(view);
    if (!buffer_) return false;
    using Handler = void (*)();
    gtk().connect(buffer_, "insert-text", reinterpret_cast<Handler>(&onInserted), this, nullptr, 0);
    gtk().connect(buffer_, "delete-range", reinterpret_cast<Handler>(&onDeleted), this, nullptr, 0);
    gtk().connect(buffer_, "begin-user-action", reinterpret_cast<Handler>(&onBeginAction), this,
                  nullptr, 0);
    gtk().connect(buffer_, "end-user-action", reinterpret_cast<Handler>(&onEndAction), this,
                  nullptr, 0);
    return true;
#else
    return false;
#endif
}

TextBufferWatch::~TextBufferWatch() {
#ifdef __WXGTK__
    // G_SIGNAL_MATCH_DATA: every handler given this watch.
    if (buffer_) gtk().disconnect(buffer_, 1 << 4, 0, 0, nullptr, nullptr, this);
#endif
}

wxString TextBufferWatch::range(long from, long to) const {
#ifdef __WXGTK__
    if (buffer_) {
        TextIter start, end;
        gtk().iterAtOffset(buffer_, &start, static_cast<int>(from));
        gtk().iterAtOffset(buffer_, &end, static_cast<int>(to));
        return bufferText(buffer_, &start, &end);
    }
#endif
    return ctrl_ ? ctrl_->GetRange(from, to) : wxString();
}

} // namespace qn
