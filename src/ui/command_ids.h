// Command and window ids of the main window and of the parts it hosts.
//
// Menu items, toolbar tools and the notifications that parts of a main window
// send to it all travel as menu-command events with these ids.  Some numbers
// are used twice on purpose: the navigation tree handles its own node
// commands (ID_NODE_...) in its own event handler, so they never meet the
// frame's Text and Tools items of the same value.  Each group below is
// self-consistent; the duplicates are spelled out where they happen.
#pragma once

namespace qn {

// Window ids.
constexpr int ID_FONT_CHOICE = 1;      // font-name box on the main toolbar
constexpr int ID_FONT_SIZE = 2;        // font-size box on the main toolbar
constexpr int ID_OUTER_SPLITTER = 3;   // navigation side | article panel
constexpr int ID_INNER_SPLITTER = 4;   // navigation panel / category bar
constexpr int ID_HTML_VIEW = 1;        // the article window's HTML child
constexpr int ID_ARTICLE_WINDOW = 200; // the main window's article window
constexpr int ID_GROUP_PANEL = 400;    // one panel of the category bar

// File menu.
constexpr int ID_OPEN = 5000;
constexpr int ID_CLOSE = 5001;
constexpr int ID_NEW = 5002;
constexpr int ID_SAVE = 5003;
constexpr int ID_SAVE_AS = 5004;
constexpr int ID_EXIT = 5006;
constexpr int ID_FAVOURITES_MENU = 7;
constexpr int ID_RECENT_MENU = 8;
constexpr int ID_FAVOURITE_FIRST = 9; // favourite i (from 0) is ID_FAVOURITE_FIRST + i
constexpr int ID_FAVOURITE_LAST = 28;
constexpr int ID_RECENT_FIRST = 29; // recent file i (from 0) is ID_RECENT_FIRST + i
constexpr int ID_RECENT_LAST = 48;
constexpr int ID_EXPORT_TEXT = 49;
constexpr int ID_OPTIMIZE = 50;
constexpr int ID_PASSWORD = 51;

// Room in the favourites and recent-files submenus.
constexpr int kMaxFileMenuEntries = ID_FAVOURITE_LAST - ID_FAVOURITE_FIRST + 1;

// Edit menu.
constexpr int ID_UNDO = 5007;
constexpr int ID_REDO = 5008;
constexpr int ID_CUT = 5031;
constexpr int ID_COPY = 5032;
constexpr int ID_PASTE = 5033;
constexpr int ID_SELECT_ALL = 5037;
constexpr int ID_DELETE = 5038;

// Search menu.
constexpr int ID_FIND = 5035;
constexpr int ID_FIND_NEXT = 54;
constexpr int ID_FIND_PREV = 55;
constexpr int ID_VIEW_SEARCH_LIST = 61;
constexpr int ID_REPLACE = 5039;

// View menu.
constexpr int ID_VIEW_NAV_AND_TEXT = 56;
constexpr int ID_SPLIT_NAVI = 57;
constexpr int ID_TOGGLE_PLAIN_HTML = 59; // also the caption bar's toggle button
constexpr int ID_VIEW_OBJECTS = 60;
constexpr int ID_SHOW_IN_FLOATING_WIN = 62;
// The article history: the caption bar's buttons as menu items.
constexpr int ID_GO_BACK = 89;
constexpr int ID_GO_FORWARD = 90;
constexpr int ID_GO_HISTORY = 91;

// Text menu.  Word wrap and read-only share their numbers with the tree's
// "new child at top" and "new sibling below".
constexpr int ID_PLAIN_TEXT = 84;
constexpr int ID_HTML = 85;
constexpr int ID_FONT = 86;
constexpr int ID_TEXT_COLOUR = 87;
constexpr int ID_BACKGROUND_COLOUR = 88;
constexpr int ID_TEXT_REVERT = 98; // submenu
constexpr int ID_DEFAULT_FONT = 99;
constexpr int ID_DEFAULT_TEXT_COLOUR = 100;
constexpr int ID_DEFAULT_BACKGROUND_COLOUR = 101;
constexpr int ID_WORD_WRAP = 102;
constexpr int ID_READ_ONLY = 103;

// Tools and Help menus.  Preferences, diary and document id share their
// numbers with tree commands, as above.
constexpr int ID_PREFERENCES = 104;
constexpr int ID_CREATE_DIARY = 105;
constexpr int ID_CHANGE_FILE_ID = 106;
constexpr int ID_GOTO_NODE = 300;   // Search > Go to note (Ctrl+J)
constexpr int ID_OPEN_BACKUP = 301; // File > Open backup
constexpr int ID_HELP = 5009;
constexpr int ID_ABOUT = 5014;

// Navigation toolbar tools; the frame forwards each to the tree as the
// node command named beside it.
constexpr int ID_TB_NODE_ICON = 63;   // -> ID_NODE_ICON
constexpr int ID_TB_NEW_CHILD = 77;   // -> ID_NODE_NEW_CHILD_TOP
constexpr int ID_TB_NEW_SIBLING = 78; // -> ID_NODE_NEW_SIBLING_BELOW
constexpr int ID_TB_DELETE_NODE = 79; // -> ID_NODE_DELETE
constexpr int ID_TB_NODE_DOWN = 80;   // -> ID_NODE_DOWN
constexpr int ID_TB_NODE_UP = 81;     // -> ID_NODE_UP
constexpr int ID_TB_NODE_RIGHT = 82;  // -> ID_NODE_RIGHT
constexpr int ID_TB_NODE_LEFT = 83;   // -> ID_NODE_LEFT

// Node commands, handled by the navigation tree (context menu, keys, and
// the navigation toolbar through the frame).
constexpr int ID_NODE_NEW_CHILD_BOTTOM = 101;
constexpr int ID_NODE_NEW_CHILD_TOP = 102;
constexpr int ID_NODE_NEW_SIBLING_BELOW = 103;
constexpr int ID_NODE_NEW_SIBLING_ABOVE = 104;
constexpr int ID_NODE_DELETE = 105;
constexpr int ID_NODE_RENAME = 106;
constexpr int ID_NODE_ICON = 107;
constexpr int ID_NODE_FONT_MENU = 108; // submenu
constexpr int ID_NODE_FONT = 109;
constexpr int ID_NODE_COLOUR = 110;
constexpr int ID_NODE_HIGHLIGHT = 111;
constexpr int ID_NODE_BOLD = 112;
constexpr int ID_NODE_ITALIC = 113;
constexpr int ID_NODE_UNDERLINE = 114;
constexpr int ID_NODE_DEFAULT_FONT = 115;
constexpr int ID_NODE_DEFAULT_COLOUR = 116;
constexpr int ID_NODE_UP = 117;
constexpr int ID_NODE_DOWN = 118;
constexpr int ID_NODE_LEFT = 119;
constexpr int ID_NODE_RIGHT = 120;
constexpr int ID_NODE_SORT_CHILDREN = 121;
constexpr int ID_NODE_FLOATING = 126;
constexpr int ID_NODE_LINK_FILE = 127;
constexpr int ID_NODE_PROPERTIES = 128;

// Category bar context menu.
constexpr int ID_REMOVE_CATEGORY = 404;

// Caption bar buttons and the history menu (they reach the frame; the node
// commands of the same numbers stay inside the tree).
constexpr int ID_HISTORY_MENU = 107;
constexpr int ID_HISTORY_BACK = 108;
constexpr int ID_HISTORY_FORWARD = 109;
constexpr int ID_HISTORY_FIRST = 110; // history entry i is ID_HISTORY_FIRST + i
constexpr int ID_HISTORY_LAST = 199;

// Notifications sent to a main window.
constexpr int ID_SELECT_IN_TOP_CATEGORY = 76; // queued; extra long: node id
constexpr int ID_OPEN_PATH = 200;             // string: path, empty for a new document
constexpr int ID_OPEN_FLOATING = 201;         // extra long: node id (also the link menu item)
constexpr int ID_SELECT_NODE = 202;        // extra long: node id (also the link menu's "show here")
constexpr int ID_SHOW_LINK = 203;          // string: link under the mouse
constexpr int ID_UPDATE_STATUS = 204;      // queued by the editor
constexpr int ID_FAVOURITES_CHANGED = 205; // broadcast
constexpr int ID_RECENT_CHANGED = 206;     // broadcast
constexpr int ID_HISTORY_LIMIT_CHANGED = 207;   // broadcast
constexpr int ID_CAPTION_COLOURS_CHANGED = 208; // broadcast
constexpr int ID_STATUS_MESSAGE = 209;          // queued; string: for the status bar

} // namespace qn
