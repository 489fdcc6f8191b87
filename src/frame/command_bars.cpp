// The menus, the two toolbars and the enabling rules of the main window,
// built from the command table.
#include "frame/main_frame.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "article/article_window.h"
#include "find/find_commands.h"
#include "frame/command_table.h"
#include "frame/font_choice.h"
#include "ui/command_ids.h"
#include "ui/image_archive.h"

#include <wx/combobox.h>
#include <wx/menu.h>
#include <wx/splitter.h>
#include <wx/toolbar.h>

namespace qn {

namespace {

// A menu item needs a label: a key missing from the constants file shows
// as the key itself.
wxString menuText(const char* key) {
    const wxString k = wxString::FromUTF8(key);
    const wxString label = text(k);
    return label.empty() ? k : label;
}

// Update events of menu items come from a menu; the toolbar asks for its
// tools with the same ids, and tools are never disabled by these rules.
bool fromMenu(const wxUpdateUIEvent& event) {
    return wxDynamicCast(event.GetEventObject(), wxToolBarBase) == nullptr;
}

// Appends the layout's items from `pos` to `menu` until the layout ends or
// a kSubmenuEnd closes this level; returns the position after it.
size_t fillMenu(wxMenu* menu, const std::vector<int>& items, size_t pos) {
    while (pos < items.size()) {
        const int id = items[pos++];
        if (id == kSubmenuEnd) break;
        if (id == kSeparator) {
            menu->AppendSeparator();
            continue;
        }
        const CommandRow* row = findCommand(id);
        if (!row || !row->label) continue;
        switch (row->kind) {
        case CommandKind::Normal:
            menu->Append(id, menuText(row->label));
            break;
        case CommandKind::Check:
            menu->AppendCheckItem(id, menuText(row->label));
            break;
        case CommandKind::Radio:
            menu->AppendRadioItem(id, menuText(row->label));
            break;
        case CommandKind::Submenu: {
            auto* sub = new wxMenu;
            pos = fillMenu(sub, items, pos);
            menu->Append(id, menuText(row->label), sub);
            break;
        }
        }
    }
    return pos;
}

// Scales a tool bitmap to the configured edge; a missing one stays empty.
wxBitmap toolBitmap(ImageArchive& archive, const char* name, int edge) {
    wxImage image = archive.image(wxString::FromUTF8(name));
    if (!image.IsOk()) {
        // The toolkit needs a bitmap of the right size for every tool.
        wxImage blank(edge, edge);
        blank.SetMaskColour(0, 0, 0);
        return wxBitmap(blank);
    }
    if (image.GetWidth() != edge || image.GetHeight() != edge)
        image.Rescale(edge, edge, wxIMAGE_QUALITY_HIGH);
    return wxBitmap(image);
}

int toolIconSize() {
    const int edge = settings().getInt(wxS("toolbarIconSize"));
    return edge > 0 ? edge : 16;
}

void addTools(wxToolBar* bar, ImageArchive& archive, const std::vector<int>& layout) {
    const int edge = toolIconSize();
    bar->SetToolBitmapSize(wxSize(edge, edge));
    for (int id : layout) {
        if (id == kSeparator) {
            bar->AddSeparator();
            continue;
        }
        const CommandRow* row = findCommand(id);
        if (!row || !row->bitmap) continue;
        bar->AddTool(id, text(wxString::FromUTF8(row->toolLabel)),
                     toolBitmap(archive, row->bitmap, edge), text(wxString::FromUTF8(row->tip)));
    }
}

} // namespace

void MainFrame::buildMenus() {
    auto* bar = new wxMenuBar;
    for (const MenuLayout& layout : menuLayout()) {
        auto* menu = new wxMenu;
        fillMenu(menu, layout.items, 0);
        bar->Append(menu, menuText(layout.title));
    }
    fileMenu_ = bar->GetMenu(0);
    favMenu_ = bar->FindItem(ID_FAVOURITES_MENU)->GetSubMenu();
    recentMenu_ = bar->FindItem(ID_RECENT_MENU)->GetSubMenu();

    // Every enabling rule of the table answers the update events of its id.
    for (const CommandRow& row : commandRows())
        if (row.rule != EnableRule::Always)
            Bind(wxEVT_UPDATE_UI, &MainFrame::onUpdateCommand, this, row.id);

    rebuildFavouritesMenu();
    rebuildRecentMenu();
    SetMenuBar(bar);
    enableDocumentMenus(false);
}

void MainFrame::enableDocumentMenus(bool on) {
    wxMenuBar* bar = GetMenuBar();
    if (!bar) return;
    const std::vector<MenuLayout>& menus = menuLayout();
    for (size_t i = 0; i < menus.size() && i < bar->GetMenuCount(); ++i)
        if (menus[i].documentOnly) bar->EnableTop(i, on);
}

void MainFrame::buildMainToolBar(ImageArchive& archive) {
    mainTools_ =
        CreateToolBar(wxTB_FLAT | wxTB_HORIZONTAL | wxBORDER_NONE, wxID_ANY, wxS("toolbar"));
    addTools(mainTools_, archive, mainToolLayout());

    fontChoice_ = new FontChoice(mainTools_, ID_FONT_CHOICE);
    mainTools_->AddControl(fontChoice_);
    static const char* const sizes[] = {"8",  "9",  "10", "11", "12", "13", "14", "15", "16",
                                        "18", "20", "22", "24", "26", "28", "36", "48", "72"};
    wxArrayString sizeChoices;
    for (const char* s : sizes)
        sizeChoices.Add(wxString::FromUTF8(s));
    fontSize_ = new wxComboBox(mainTools_, ID_FONT_SIZE, wxS("10"), wxDefaultPosition,
                               wxSize(45, -1), sizeChoices, 0, wxDefaultValidator, wxS("comboBox"));
    // 45 pixels hold the text beside the native arrow only on some systems.
    const wxSize fitted = fontSize_->GetSizeFromTextSize(fontSize_->GetTextExtent(wxS("888")).x);
    if (fitted.x > 45) {
        fontSize_->SetMinSize(wxSize(fitted.x, -1));
        fontSize_->SetSize(wxSize(fitted.x, -1));
    }
    mainTools_->AddControl(fontSize_);
    mainTools_->Realize();
}

void MainFrame::buildNavigationToolBar(ImageArchive& archive) {
    naviTools_ = new wxToolBar(naviPanel_, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                               wxTB_HORIZONTAL | wxBORDER_NONE, wxS("toolbar"));
    addTools(naviTools_, archive, navigationToolLayout());
    naviTools_->Realize();
}

bool MainFrame::handlesCommand(int id) const {
    for (const wxEventTable* table = GetEventTable(); table; table = table->baseTable)
        for (const wxEventTableEntry* e = table->entries; e->m_fn; ++e) {
            if (e->m_eventType != wxEVT_MENU) continue;
            const int last = e->m_lastId == wxID_ANY ? e->m_id : e->m_lastId;
            if (id >= e->m_id && id <= last) return true;
        }
    return false;
}

void MainFrame::onUpdateCommand(wxUpdateUIEvent& event) {
    const CommandRow* row = findCommand(event.GetId());
    if (!row) return;
    const bool menu = fromMenu(event);
    switch (row->rule) {
    case EnableRule::Always:
        break;
    case EnableRule::DocumentOpen:
        if (menu) event.Enable(isDocumentOpen());
        break;
    case EnableRule::SavedDocument:
        if (menu) event.Enable(isDocumentOpen() && !db_->isNew());
        break;
    case EnableRule::EditItem:
        if (menu) updateEditItem(event);
        break;
    case EnableRule::EditorAndDocument:
        if (menu) event.Enable(isEditorShown() && isDocumentOpen());
        break;
    case EnableRule::EditorShown:
        if (menu) event.Enable(isEditorShown());
        break;
    case EnableRule::SearchList:
        if (menu) event.Enable(searchList_ != nullptr);
        break;
    case EnableRule::Replaceable:
        if (menu) event.Enable(isDocumentOpen() && canReplace(article_));
        break;
    case EnableRule::HtmlArticle:
        if (menu) event.Enable(article_->getMimeType() == wxS("text/html"));
        break;
    case EnableRule::NavAndTextHidden:
        if (menu) event.Enable(!outer_->IsSplit());
        break;
    case EnableRule::SplitNavi:
        if (menu) {
            const bool naviShown = !outer_->IsSplit() ? outer_->GetWindow1() == inner_ : true;
            event.Enable(naviShown && !inner_->IsSplit());
        }
        break;
    case EnableRule::Format:
        // Radio items: checking one clears the other; with no node shown
        // the pair keeps its last state.
        if (article_->node()) {
            const bool plain = article_->getMimeType() == wxS("text/plain");
            if ((event.GetId() == ID_PLAIN_TEXT) == plain) event.Check(true);
        }
        break;
    case EnableRule::WordWrap:
        event.Enable(isEditorShown());
        event.Check(isEditorShown() && article_->isWordWrapped());
        break;
    case EnableRule::ReadOnly:
        event.Enable(isEditorShown());
        event.Check(isEditorShown() && !article_->isEditable());
        break;
    }
}

void MainFrame::updateEditItem(wxUpdateUIEvent& event) {
    const bool editor = isEditorShown();
    switch (event.GetId()) {
    case ID_UNDO:
        event.Enable(editor && article_->canUndo());
        break;
    case ID_REDO:
        event.Enable(editor && article_->canRedo());
        break;
    case ID_COPY:
        event.Enable(article_->canCopy());
        break;
    case ID_CUT:
        event.Enable(editor && article_->canCut());
        break;
    case ID_PASTE:
        event.Enable(editor && article_->canPaste());
        break;
    case ID_DELETE:
        event.Enable(editor && article_->canCopy());
        break;
    default:
        break;
    }
}

void MainFrame::onUpdateFontBoxes(wxUpdateUIEvent& event) {
    // The HTML view has the font-name box's window id; its update requests
    // arrive here too and must leave it alone.
    const wxObject* box = event.GetEventObject();
    if (box != static_cast<wxWindow*>(fontChoice_) && box != fontSize_) return;
    event.Enable(isDocumentOpen() && isEditorShown());
}

} // namespace qn
