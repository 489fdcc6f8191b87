// Keys added to every main window beside its command table: F6 / Shift+F6,
// which move the keyboard focus between the tree, the article and the
// category bar, the keys of the category bar, and Alt+Left / Alt+Right /
// Alt+Down for the caption bar's history buttons.  The handlers of "Go to
// note" (Search menu, Ctrl+J) and "Open backup" (File menu) live here too.
#pragma once

namespace qn {

class MainFrame;

void addWorkflowCommands(MainFrame* frame);

// The panes F6 visits, in order: the tree, the article, the category bar
// (when shown).  Moves the focus to the next (or previous) one.
void cycleFocus(MainFrame* frame, bool backwards);

} // namespace qn
