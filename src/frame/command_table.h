// The commands of the main window in one table: what each menu item and
// toolbar tool is called, what it shows and when it is enabled. The menus,
// both toolbars and the enabling rules are built from it. Window-free.
//
// A new command is a row in commandRows(), its id in a menu or toolbar
// layout, and an EVT_MENU line for its handler in the frame's event table.
#pragma once

#include <vector>

namespace qn {

enum class CommandKind {
    Normal,
    Check,
    Radio,   // consecutive radio rows form one group
    Submenu, // the layout's following ids up to kSubmenuEnd go inside
};

// When a command's menu item is enabled (and checked); the frame evaluates
// these.  Rules other than Format, WordWrap and ReadOnly leave toolbar
// tools alone: tools are never disabled.
enum class EnableRule {
    Always,            // no rule
    DocumentOpen,      // a document is open
    SavedDocument,     // a document that has a file
    EditItem,          // the editor can do it (undo, copy ...)
    EditorAndDocument, // the plain-text editor shows, a document is open
    EditorShown,       // the plain-text editor shows
    SearchList,        // the search list exists
    Replaceable,       // a document is open, the editor may change the article
    HtmlArticle,       // the article is an HTML note
    NavAndTextHidden,  // only one side of the window shows
    SplitNavi,         // the navigation side shows without the category bar
    Format,            // checks the radio item of the article's format
    WordWrap,          // enabled with the editor, checked when it wraps
    ReadOnly,          // enabled with the editor, checked when read-only
};

struct CommandRow {
    int id;
    const char* label; // menu label key; null for a toolbar-only command
    CommandKind kind;
    EnableRule rule;
    const char* bitmap;    // toolbar bitmap in the image archive; null: no tool
    const char* toolLabel; // key of the tool's label
    const char* tip;       // key of the tool's tip
};

// Layout entries besides command ids.
constexpr int kSeparator = 0;
constexpr int kSubmenuEnd = -1;

struct MenuLayout {
    const char* title; // label key of the menu bar entry
    bool documentOnly; // enabled only while a document is open
    std::vector<int> items;
};

const std::vector<CommandRow>& commandRows();
// The row of a command id; null when the table has none.
const CommandRow* findCommand(int id);
// The menu bar, left to right.
const std::vector<MenuLayout>& menuLayout();
// The tools of the main and of the navigation toolbar, in order.
const std::vector<int>& mainToolLayout();
const std::vector<int>& navigationToolLayout();

} // namespace qn
