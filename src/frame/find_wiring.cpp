// The Find and Replace commands of the main window: the find folder does
// the work on the parts handed to it here.
#include "frame/main_frame.h"

#include "find/find_commands.h"

namespace qn {

FindTargets MainFrame::findTargets() {
    return FindTargets{this, db_.get(), tree_, article_, &searchList_};
}

void MainFrame::onFind(wxCommandEvent&) {
    runFindCommand(findTargets());
}

void MainFrame::onReplace(wxCommandEvent&) {
    runReplaceCommand(findTargets());
}

} // namespace qn
