// Commands of the Tools menu that open a window of their own.
#include "frame/main_frame.h"

#include "diary/create_diary.h"
#include "tree/tree_panel.h"

namespace qn {

void MainFrame::onCreateDiary(wxCommandEvent&) {
    if (!db_->isOpen() || !tree_) return;
    commitArticle();
    CreateDiary dialog(this, wxID_ANY, *tree_, *db_);
    dialog.ShowModal();
}

} // namespace qn
