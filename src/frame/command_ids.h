// Command and window ids of the main window and of the parts it hosts.
//
// Menu items, toolbar tools and the notifications that parts of a main window
// send to it all travel as menu-command events with these ids.  Some numbers
// are used twice on purpose: the navigation tree handles its own node
// commands (101 to 128) in its own event handler, so they never meet the
// frame's Text and Tools items of the same value.  Each group below is
// self-consistent; the duplicates are spelled out where they happen.
#pragma once

namespace qn {

// Window ids.
enum WindowId : int {
    ID_FONT_CHOICE = 1,      // font-name box on the main toolbar
    ID_FONT_SIZE = 2,        // font-size box on the main toolbar
    ID_OUTER_SPLITTER = 3,   // navigation side | article panel
    ID_INNER_SPLITTER = 4,   // navigation panel / category bar
    ID_HTML_VIEW = 1,        // the article window's HTML child
    ID_ARTICLE_WINDOW = 200, // the main window's article window
    ID_GROUP_PANEL = 400,    // one panel of the category bar
};

// File menu.
enum FileCommand : int {
    ID_OPEN = 5000,
    ID_CLOSE = 5001,
    ID_NEW = 5002,
    ID_SAVE = 5003,
    ID_SAVE_AS = 5004,
    ID_EXIT = 5006,
    ID_FAVOURITES_MENU = 7,
    ID_RECENT_MENU = 8,
    ID_FAVOURITE_FIRST = 9, // favourite i (from 0) is ID_FAVOURITE_FIRST + i
    ID_FAVOURITE_LAST = 28,
    ID_RECENT_FIRST = 29, // recent file i (from 0) is ID_RECENT_FIRST + i
    ID_RECENT_LAST = 48,
    ID_EXPORT_TEXT = 49,
    ID_OPTIMIZE = 50,
    ID_PASSWORD = 51,
};

// Room in the favourites and recent-files submenus.
constexpr int kMaxFileMenuEntries = ID_FAVOURITE_LAST - ID_FAVOURITE_FIRST + 1;

// Edit menu.
enum EditCommand : int {
    ID_UNDO = 5007,
    ID_REDO = 5008,
    ID_CUT = 5031,
    ID_COPY = 5032,
    ID_PASTE = 5033,
    ID_SELECT_ALL = 5037,
    ID_DELETE = 5038,
};

// Search menu.
enum SearchCommand : int {
    ID_FIND = 5035,
    ID_FIND_NEXT = 54,
    ID_FIND_PREV = 55,
    ID_VIEW_SEARCH_LIST = 61,
    ID_REPLACE = 5039,
};

// View menu.
enum ViewCommand : int {
    ID_VIEW_NAV_AND_TEXT = 56,
    ID_SPLIT_NAVI = 57,
    ID_TOGGLE_PLAIN_HTML = 59, // also the caption bar's toggle button
    ID_VIEW_OBJECTS = 60,
    ID_SHOW_IN_FLOATING_WIN = 62,
};

// Text menu.  Word wrap and read-only share their numbers with the tree's
// "new child at top" and "new sibling below".
enum TextCommand : int {
    ID_PLAIN_TEXT = 84,
    ID_HTML = 85,
    ID_FONT = 86,
    ID_TEXT_COLOUR = 87,
    ID_BACKGROUND_COLOUR = 88,
    ID_TEXT_REVERT = 98, // submenu
    ID_DEFAULT_FONT = 99,
    ID_DEFAULT_TEXT_COLOUR = 100,
    ID_DEFAULT_BACKGROUND_COLOUR = 101,
    ID_WORD_WRAP = 102,
    ID_READ_ONLY = 103,
};

// Tools and Help menus.  Preferences, diary and document id share their
// numbers with tree commands, as above.
enum ToolsCommand : int {
    ID_PREFERENCES = 104,
    ID_CREATE_DIARY = 105,
    ID_CHANGE_FILE_ID = 106,
    ID_HELP = 5009,
    ID_ABOUT = 5014,
};

// Navigation toolbar tools; the frame forwards each to the tree as the
// node command named beside it.
enum NaviToolCommand : int {
    ID_TB_NODE_ICON = 63,   // -> ID_NODE_ICON
    ID_TB_NEW_CHILD = 77,   // -> ID_NODE_NEW_CHILD_TOP
    ID_TB_NEW_SIBLING = 78, // -> ID_NODE_NEW_SIBLING_BELOW
    ID_TB_DELETE_NODE = 79, // -> ID_NODE_DELETE
    ID_TB_NODE_DOWN = 80,   // -> ID_NODE_DOWN
    ID_TB_NODE_UP = 81,     // -> ID_NODE_UP
    ID_TB_NODE_RIGHT = 82,  // -> ID_NODE_RIGHT
    ID_TB_NODE_LEFT = 83,   // -> ID_NODE_LEFT
};

// Node commands, handled by the navigation tree (context menu, keys, and
// the navigation toolbar through the frame).
enum NodeCommand : int {
    ID_NODE_NEW_CHILD_BOTTOM = 101,
    ID_NODE_NEW_CHILD_TOP = 102,
    ID_NODE_NEW_SIBLING_BELOW = 103,
    ID_NODE_NEW_SIBLING_ABOVE = 104,
    ID_NODE_DELETE = 105,
    ID_NODE_RENAME = 106,
    ID_NODE_ICON = 107,
    ID_NODE_FONT_MENU = 108, // submenu
    ID_NODE_FONT = 109,
    ID_NODE_COLOUR = 110,
    ID_NODE_HIGHLIGHT = 111,
    ID_NODE_BOLD = 112,
    ID_NODE_ITALIC = 113,
    ID_NODE_UNDERLINE = 114,
    ID_NODE_DEFAULT_FONT = 115,
    ID_NODE_DEFAULT_COLOUR = 116,
    ID_NODE_UP = 117,
    ID_NODE_DOWN = 118,
    ID_NODE_LEFT = 119,
    ID_NODE_RIGHT = 120,
    ID_NODE_SORT_CHILDREN = 121,
    ID_NODE_FLOATING = 126,
    ID_NODE_LINK_FILE = 127,
    ID_NODE_PROPERTIES = 128,
};

// Category bar context menu.
enum CategoryCommand : int {
    ID_REMOVE_CATEGORY = 404,
};

// Caption bar buttons and the history menu (they reach the frame; the node
// commands of the same numbers stay inside the tree).
enum HistoryCommand : int {
    ID_HISTORY_MENU = 107,
    ID_HISTORY_BACK = 108,
    ID_HISTORY_FORWARD = 109,
    ID_HISTORY_FIRST = 110, // history entry i is ID_HISTORY_FIRST + i
    ID_HISTORY_LAST = 199,
};

// Notifications sent to a main window.
enum Notification : int {
    ID_SELECT_IN_TOP_CATEGORY = 76,   // queued; extra long: node id
    ID_OPEN_PATH = 200,               // string: path, empty for a new document
    ID_OPEN_FLOATING = 201,           // extra long: node id (also the link menu item)
    ID_SELECT_NODE = 202,             // extra long: node id (also the link menu's "show here")
    ID_SHOW_LINK = 203,               // string: link under the mouse
    ID_UPDATE_STATUS = 204,           // queued by the editor
    ID_FAVOURITES_CHANGED = 205,      // broadcast
    ID_RECENT_CHANGED = 206,          // broadcast
    ID_HISTORY_LIMIT_CHANGED = 207,   // broadcast
    ID_CAPTION_COLOURS_CHANGED = 208, // broadcast
};

} // namespace qn
