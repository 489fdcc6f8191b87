#include "frame/command_table.h"

#include "ui/command_ids.h"

namespace qn {

namespace {

constexpr CommandKind Normal = CommandKind::Normal;
constexpr CommandKind Check = CommandKind::Check;
constexpr CommandKind Radio = CommandKind::Radio;
constexpr CommandKind Submenu = CommandKind::Submenu;

} // namespace

const std::vector<CommandRow>& commandRows() {
    using R = EnableRule;
    // clang-format off
    static const std::vector<CommandRow> rows = {
        // id                          label                         kind     rule                  tool bitmap                    tool label             tip
        // File
        {ID_NEW,                       "m.New",                      Normal,  R::Always,            "toolbar/new-doc.bmp",         "t.NewDoc",            "t.NewDoc2"},
        {ID_OPEN,                      "m.Open",                     Normal,  R::Always,            "toolbar/open-doc.bmp",        "t.OpenDoc",           "t.OpenDoc2"},
        {ID_FAVOURITES_MENU,           "m.OpenFavourite",            Submenu, R::Always,            nullptr,                       nullptr,               nullptr},
        {ID_RECENT_MENU,               "m.OpenRecent",               Submenu, R::Always,            nullptr,                       nullptr,               nullptr},
        {ID_SAVE,                      "m.Save",                     Normal,  R::DocumentOpen,      "toolbar/save-doc.bmp",        "t.SaveDoc",           "t.SaveDoc2"},
        {ID_SAVE_AS,                   "m.SaveAs",                   Normal,  R::DocumentOpen,      nullptr,                       nullptr,               nullptr},
        {ID_EXPORT_TEXT,               "m.ExportText",               Normal,  R::DocumentOpen,      nullptr,                       nullptr,               nullptr},
        {ID_OPEN_BACKUP,               "m.OpenBackup",               Normal,  R::SavedDocument,     nullptr,                       nullptr,               nullptr},
        {ID_OPTIMIZE,                  "m.Optimize",                 Normal,  R::SavedDocument,     nullptr,                       nullptr,               nullptr},
        {ID_PASSWORD,                  "m.Password",                 Normal,  R::DocumentOpen,      nullptr,                       nullptr,               nullptr},
        {ID_CLOSE,                     "m.Close",                    Normal,  R::DocumentOpen,      nullptr,                       nullptr,               nullptr},
        {ID_EXIT,                      "m.Exit",                     Normal,  R::Always,            nullptr,                       nullptr,               nullptr},
        // Edit
        {ID_UNDO,                      "m.Undo",                     Normal,  R::EditItem,          nullptr,                       nullptr,               nullptr},
        {ID_REDO,                      "m.Redo",                     Normal,  R::EditItem,          nullptr,                       nullptr,               nullptr},
        {ID_COPY,                      "m.Copy",                     Normal,  R::EditItem,          "toolbar/copy.bmp",            "t.Copy",              "t.Copy"},
        {ID_CUT,                       "m.Cut",                      Normal,  R::EditItem,          "toolbar/cut.bmp",             "t.Cut",               "t.Cut"},
        {ID_PASTE,                     "m.Paste",                    Normal,  R::EditItem,          "toolbar/paste.bmp",           "t.Paste",             "t.Paste"},
        {ID_DELETE,                    "m.Delete",                   Normal,  R::EditItem,          nullptr,                       nullptr,               nullptr},
        {ID_SELECT_ALL,                "m.SelectAll",                Normal,  R::Always,            nullptr,                       nullptr,               nullptr},
        // Search
        {ID_FIND,                      "m.Find",                     Normal,  R::DocumentOpen,      "toolbar/search.bmp",          "m.Search",            "m.Search"},
        {ID_GOTO_NODE,                 "m.GotoNode",                 Normal,  R::DocumentOpen,      nullptr,                       nullptr,               nullptr},
        {ID_FIND_NEXT,                 "m.FindNext",                 Normal,  R::EditorAndDocument, nullptr,                       nullptr,               nullptr},
        {ID_FIND_PREV,                 "m.FindPrev",                 Normal,  R::EditorAndDocument, nullptr,                       nullptr,               nullptr},
        {ID_VIEW_SEARCH_LIST,          "m.ViewSearchList",           Normal,  R::SearchList,        nullptr,                       nullptr,               nullptr},
        {ID_REPLACE,                   "m.Replace",                  Normal,  R::Replaceable,       nullptr,                       nullptr,               nullptr},
        // View
        {ID_SHOW_IN_FLOATING_WIN,      "m.ShowInFloatingWin",        Normal,  R::DocumentOpen,      "toolbar/FloatingWin.bmp",     "m.ShowInFloatingWin", "m.ShowInFloatingWin"},
        {ID_VIEW_OBJECTS,              "m.ViewObjects",              Normal,  R::DocumentOpen,      "toolbar/ViewObjects.bmp",     "m.ViewObjects",       "m.ViewObjects"},
        {ID_TOGGLE_PLAIN_HTML,         "m.TogglePlainHTML",          Normal,  R::HtmlArticle,       nullptr,                       nullptr,               nullptr},
        {ID_VIEW_NAV_AND_TEXT,         "m.ViewNavAndText",           Normal,  R::NavAndTextHidden,  nullptr,                       nullptr,               nullptr},
        {ID_SPLIT_NAVI,                "m.SplitNavi",                Normal,  R::SplitNavi,         nullptr,                       nullptr,               nullptr},
        {ID_GO_BACK,                   "m.GoBack",                   Normal,  R::DocumentOpen,      nullptr,                       nullptr,               nullptr},
        {ID_GO_FORWARD,                "m.GoForward",                Normal,  R::DocumentOpen,      nullptr,                       nullptr,               nullptr},
        {ID_GO_HISTORY,                "m.GoHistory",                Normal,  R::DocumentOpen,      nullptr,                       nullptr,               nullptr},
        // Text
        {ID_PLAIN_TEXT,                "m.PlainText",                Radio,   R::Format,            nullptr,                       nullptr,               nullptr},
        {ID_HTML,                      "m.HTML",                     Radio,   R::Format,            nullptr,                       nullptr,               nullptr},
        {ID_WORD_WRAP,                 "m.WordWrap",                 Check,   R::WordWrap,          nullptr,                       nullptr,               nullptr},
        {ID_READ_ONLY,                 "m.ReadOnly",                 Check,   R::ReadOnly,          nullptr,                       nullptr,               nullptr},
        {ID_FONT,                      "m.Font",                     Normal,  R::EditorShown,       nullptr,                       nullptr,               nullptr},
        {ID_TEXT_COLOUR,               "m.TextColour",               Normal,  R::EditorShown,       "toolbar/text-colour.bmp",     "t.TextColour",        "t.TextColour"},
        {ID_BACKGROUND_COLOUR,         "m.BackgroundColour",         Normal,  R::EditorShown,       "toolbar/text-backcolour.bmp", "t.TextBackground",    "t.TextBackground"},
        {ID_TEXT_REVERT,               "m.TextRevert",               Submenu, R::EditorShown,       nullptr,                       nullptr,               nullptr},
        {ID_DEFAULT_FONT,              "m.DefaultFont",              Normal,  R::Always,            nullptr,                       nullptr,               nullptr},
        {ID_DEFAULT_TEXT_COLOUR,       "m.DefaultTextColour",        Normal,  R::Always,            nullptr,                       nullptr,               nullptr},
        {ID_DEFAULT_BACKGROUND_COLOUR, "m.DefaultBackgroundColour",  Normal,  R::Always,            nullptr,                       nullptr,               nullptr},
        // Tools, Help
        {ID_PREFERENCES,               "m.Preferences",              Normal,  R::Always,            nullptr,                       nullptr,               nullptr},
        {ID_CREATE_DIARY,              "m.CreateDiary",              Normal,  R::DocumentOpen,      nullptr,                       nullptr,               nullptr},
        {ID_CHANGE_FILE_ID,            "m.ChangeFileID",             Normal,  R::DocumentOpen,      nullptr,                       nullptr,               nullptr},
        {ID_HELP,                      "m.Help",                     Normal,  R::Always,            nullptr,                       nullptr,               nullptr},
        {ID_ABOUT,                     "m.About",                    Normal,  R::Always,            nullptr,                       nullptr,               nullptr},
        // Navigation toolbar: node commands the frame hands to the tree
        {ID_TB_NEW_CHILD,              nullptr,                      Normal,  R::Always,            "toolbar/new-child.bmp",       "t.NewChild",          "t.NewChild"},
        {ID_TB_NEW_SIBLING,            nullptr,                      Normal,  R::Always,            "toolbar/new-sibling.bmp",     "t.NewSibling",        "t.NewSibling"},
        {ID_TB_DELETE_NODE,            nullptr,                      Normal,  R::Always,            "toolbar/delete-node.bmp",     "t.DeleteNode",        "t.DeleteNode"},
        {ID_TB_NODE_DOWN,              nullptr,                      Normal,  R::Always,            "toolbar/node-down.bmp",       "t.Down",              "t.Down"},
        {ID_TB_NODE_UP,                nullptr,                      Normal,  R::Always,            "toolbar/node-up.bmp",         "t.Up",                "t.Up"},
        {ID_TB_NODE_RIGHT,             nullptr,                      Normal,  R::Always,            "toolbar/node-right.bmp",      "t.Right",             "t.Right2"},
        {ID_TB_NODE_LEFT,              nullptr,                      Normal,  R::Always,            "toolbar/node-left.bmp",       "t.Left",              "t.Left2"},
        {ID_TB_NODE_ICON,              nullptr,                      Normal,  R::Always,            "toolbar/icon.bmp",            "t.Icon",              "t.Icon"},
    };
    // clang-format on
    return rows;
}

const CommandRow* findCommand(int id) {
    for (const CommandRow& row : commandRows())
        if (row.id == id) return &row;
    return nullptr;
}

const std::vector<MenuLayout>& menuLayout() {
    static const std::vector<MenuLayout> menus = {
        {"m.File",
         false,
         {ID_NEW, ID_OPEN, ID_FAVOURITES_MENU, kSubmenuEnd, ID_RECENT_MENU, kSubmenuEnd, kSeparator,
          ID_SAVE, ID_SAVE_AS, ID_EXPORT_TEXT, ID_OPEN_BACKUP, ID_OPTIMIZE, ID_PASSWORD, kSeparator,
          ID_CLOSE, kSeparator, ID_EXIT}},
        {"m.Edit",
         true,
         {ID_UNDO, ID_REDO, kSeparator, ID_COPY, ID_CUT, ID_PASTE, ID_DELETE, kSeparator,
          ID_SELECT_ALL}},
        {"m.Search",
         true,
         {ID_FIND, ID_GOTO_NODE, ID_FIND_NEXT, ID_FIND_PREV, ID_VIEW_SEARCH_LIST, kSeparator,
          ID_REPLACE}},
        {"m.View",
         false,
         {ID_SHOW_IN_FLOATING_WIN, ID_VIEW_OBJECTS, ID_VIEW_SEARCH_LIST, kSeparator,
          ID_TOGGLE_PLAIN_HTML, ID_VIEW_NAV_AND_TEXT, ID_SPLIT_NAVI, kSeparator, ID_GO_BACK,
          ID_GO_FORWARD, ID_GO_HISTORY}},
        {"m.Text",
         true,
         {ID_PLAIN_TEXT, ID_HTML, kSeparator, ID_WORD_WRAP, ID_READ_ONLY, kSeparator, ID_FONT,
          ID_TEXT_COLOUR, ID_BACKGROUND_COLOUR, ID_TEXT_REVERT, ID_DEFAULT_FONT,
          ID_DEFAULT_TEXT_COLOUR, ID_DEFAULT_BACKGROUND_COLOUR, kSubmenuEnd}},
        {"m.Tools", false, {ID_PREFERENCES, ID_CREATE_DIARY, ID_CHANGE_FILE_ID}},
        {"m.Help", false, {ID_HELP, ID_ABOUT}},
    };
    return menus;
}

const std::vector<int>& mainToolLayout() {
    static const std::vector<int> tools = {
        ID_NEW,
        ID_OPEN,
        ID_SAVE,
        kSeparator,
        ID_COPY,
        ID_CUT,
        ID_PASTE,
        kSeparator,
        ID_VIEW_OBJECTS,
        ID_SHOW_IN_FLOATING_WIN,
        ID_FIND,
        kSeparator,
        ID_BACKGROUND_COLOUR,
        ID_TEXT_COLOUR,
    };
    return tools;
}

const std::vector<int>& navigationToolLayout() {
    static const std::vector<int> tools = {
        ID_TB_NEW_CHILD,  ID_TB_NEW_SIBLING, ID_TB_DELETE_NODE, ID_TB_NODE_DOWN, ID_TB_NODE_UP,
        ID_TB_NODE_RIGHT, ID_TB_NODE_LEFT,   kSeparator,        ID_TB_NODE_ICON,
    };
    return tools;
}

} // namespace qn
