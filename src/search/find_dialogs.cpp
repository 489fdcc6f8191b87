#include "search/find_dialogs.h"

#include "app/placeholders.h"
#include "app/text_constants.h"
#include "ui/my_message.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <functional>

#ifdef __WXGTK__
#include <dlfcn.h>
#endif

namespace qn {

#ifdef __WXGTK__
void forEachArrowButton(wxComboBox* box, const std::function<void(void*)>& visit) {
    // GTK is reached through the symbols already loaded, so no GTK headers
    // are needed.
    using Callback = void (*)(void*, void*);
    using ForAll = void (*)(void*, Callback, void*);
    using GetType = unsigned long (*)();
    using IsA = int (*)(void*, unsigned long);
    static auto forall = reinterpret_cast<ForAll>(dlsym(RTLD_DEFAULT, "gtk_container_forall"));
    static auto buttonType = reinterpret_cast<GetType>(dlsym(RTLD_DEFAULT, "gtk_button_get_type"));
    static auto containerType =
        reinterpret_cast<GetType>(dlsym(RTLD_DEFAULT, "gtk_container_get_type"));
    static auto isA = reinterpret_cast<IsA>(dlsym(RTLD_DEFAULT, "g_type_check_instance_is_a"));
    if (!forall || !buttonType || !containerType || !isA || !box->GetHandle()) return;
    struct Walk {
        const std::function<void(void*)>* visit;
        static void child(void* widget, void* data) {
            auto* walk = static_cast<Walk*>(data);
            if (isA(widget, buttonType()))
                (*walk->visit)(widget);
            else if (isA(widget, containerType()))
                forall(widget, &Walk::child, data);
        }
    } walk{&visit};
    forall(box->GetHandle(), &Walk::child, &walk);
}

void setCanFocus(void* widget, bool can) {
    using SetCanFocus = void (*)(void*, int);
    static auto set = reinterpret_cast<SetCanFocus>(dlsym(RTLD_DEFAULT, "gtk_widget_set_can_focus"));
    if (set) set(widget, can ? 1 : 0);
}
#else
void forEachArrowButton(wxComboBox*, const std::function<void(void*)>&) {}
void setCanFocus(void*, bool) {}
#endif

namespace {

wxComboBox* historyBox(wxWindow* parent, int id, int width, const wxArrayString& entries) {
    // Enter in the box answers the dialog as OK does.
    auto* box = new wxComboBox(parent, id, wxString(), wxDefaultPosition, wxSize(width, -1), entries,
                               wxCB_DROPDOWN | wxTE_PROCESS_ENTER, wxDefaultValidator,
                               wxS("comboBox"));
    // Tab goes from the text field to the next field, never to the arrow
    // (which GTK makes a stop once the list has entries); Alt+Down and the
    // mouse still open the list.
    forEachArrowButton(box, [](void* button) { setCanFocus(button, false); });
    return box;
}

// Ends the dialog with `code`; outside a modal loop (a test answering the
// dialog) only the code is set.
void finish(wxDialog* dialog, int code) {
    if (dialog->IsModal())
        dialog->EndModal(code);
    else
        dialog->SetReturnCode(code);
}

// OK answers the dialog through `accept`, Cancel, Escape and the close box
// end it with FIND_CANCEL; OK is the default button.
template <class Dialog> void wireOkCancel(Dialog* dialog, wxComboBox* first) {
    dialog->Bind(
        wxEVT_BUTTON, [dialog](wxCommandEvent&) { dialog->accept(); }, MSG_ID_OK);
    dialog->Bind(
        wxEVT_BUTTON, [dialog](wxCommandEvent&) { finish(dialog, FIND_CANCEL); }, MSG_ID_CANCEL);
    dialog->Bind(wxEVT_TEXT_ENTER, [dialog](wxCommandEvent&) { dialog->accept(); });
    dialog->Bind(wxEVT_CLOSE_WINDOW, [dialog](wxCloseEvent&) { finish(dialog, FIND_CANCEL); });
    dialog->SetAffirmativeId(MSG_ID_OK);
    dialog->SetEscapeId(MSG_ID_CANCEL);
    if (auto* ok = dynamic_cast<wxButton*>(dialog->FindWindow(MSG_ID_OK))) ok->SetDefault();
    first->SetFocus();
}

} // namespace

// ------------------------------------------------------------------ Find

FindDialog::FindDialog(wxWindow* parent, wxWindowID id)
    : wxDialog(parent, id, text("s.Title"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE, wxS("dialog")) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(this, wxID_ANY, text("s.SearchFor")), 0,
             wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 5);
    search_ = historyBox(this, 1, 200, searchHistory());
    row->Add(search_, 0, wxRIGHT, 5);
    top->Add(row, 0, wxALL, 5);
    case_ = new wxCheckBox(this, wxID_ANY, text("s.SearchCase"));
    case_->SetValue(caseSensitive());
    top->Add(case_, 0, wxLEFT | wxRIGHT | wxTOP, 8);
    global_ = new wxCheckBox(this, wxID_ANY, text("s.SearchGlobal"));
    global_->SetValue(global());
    top->Add(global_, 0, wxALL, 8);
    addButtonRow(this, top, MSG_OK | MSG_CANCEL);
    SetSizerAndFit(top);
    CentreOnParent();
    wireOkCancel(this, search_);
}

wxString FindDialog::searchText() const {
    return search_->GetValue();
}
bool FindDialog::isGlobal() const {
    return global_->GetValue();
}
bool FindDialog::isCaseSensitive() const {
    return case_->GetValue();
}

void FindDialog::accept() {
    addToHistory(searchHistory(), searchText());
    global() = isGlobal();
    caseSensitive() = isCaseSensitive();
    finish(this, FIND_OK);
}

// --------------------------------------------------------------- Replace

ReplaceDialog::ReplaceDialog(wxWindow* parent, wxWindowID id)
    : wxDialog(parent, id, text("s.Title"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE, wxS("dialog")) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* grid = new wxFlexGridSizer(2, 5, 5);
    search_ = historyBox(this, 1, 150, searchHistory());
    replacement_ = historyBox(this, 2, 150, replaceHistory());
    grid->Add(new wxStaticText(this, wxID_ANY, text("s.SearchFor")), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(search_, 0, 0);
    grid->Add(new wxStaticText(this, wxID_ANY, text("s.ReplaceWith")), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(replacement_, 0, 0);
    top->Add(grid, 0, wxALL, 5);
    addButtonRow(this, top, MSG_OK | MSG_CANCEL);
    SetSizerAndFit(top);
    CentreOnParent();
    wireOkCancel(this, search_);
}

wxString ReplaceDialog::searchText() const {
    return search_->GetValue();
}
wxString ReplaceDialog::replacementText() const {
    return replacement_->GetValue();
}

void ReplaceDialog::accept() {
    addToHistory(searchHistory(), searchText());
    addToHistory(replaceHistory(), replacementText());
    finish(this, FIND_OK);
}

// ------------------------------------------------------- Replace question

ReplaceActionDialog::ReplaceActionDialog(wxWindow* parent, wxWindowID id,
                                         const wxString& searchText,
                                         const wxString& replacementText)
    : wxDialog(parent, id, text("s.Title"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE, wxS("dialog")) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    // A translated text may hold fewer or other placeholders: the filler
    // never reads past the two texts.
    top->Add(new wxStaticText(this, wxID_ANY,
                              fillPlaceholders(text("s.Replace"), {searchText, replacementText})),
             1, wxALL | wxEXPAND, 3);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    const struct {
        int id;
        const char* key;
    } buttons[] = {{5103, "s.Yes"}, {5104, "s.No"}, {3, "s.Last"}, {4, "s.Go"}, {5101, "s.Quit"}};
    for (const auto& b : buttons) {
        auto* button = new wxButton(this, b.id, text(wxString::FromUTF8(b.key)));
        row->Add(button, 0, wxALL, 3);
        const int code = b.id;
        Bind(
            wxEVT_BUTTON, [this, code](wxCommandEvent&) { finish(this, code); }, b.id);
    }
    top->Add(row, 0, 0, 0);
    SetSizerAndFit(top);
    CentreOnParent();
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { finish(this, 5101); });
    SetEscapeId(5101);
    SetAffirmativeId(5103);
    if (auto* yes = dynamic_cast<wxButton*>(FindWindow(5103))) {
        yes->SetDefault();
        yes->SetFocus();
    }
}

} // namespace qn
