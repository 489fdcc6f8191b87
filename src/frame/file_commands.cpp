// The main window's File menu handlers and operations (carried out by its
// DocumentCommands), the window layout kept in a document, and the
// window-free rules of both.
#include "frame/file_commands.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "frame/document_commands.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "frame/recovery_keeper.h"
#include "tree/group_container.h"
#include "tree/save_setting.h"

#include <wx/filename.h>
#include <wx/panel.h>
#include <wx/splitter.h>

namespace qn {

// ---------------------------------------------------------------------------
// Window-free rules

int mainSashCode(bool outerSplit, int sashPosition, bool navigationShown) {
    if (!outerSplit || sashPosition <= 2) return navigationShown ? -1 : 0;
    return sashPosition;
}

std::vector<int> layoutValue(const LayoutNow& now) {
    return {now.x,        now.y, now.width, now.height, now.sashCode, now.maximized ? 1 : 0,
            now.innerSash};
}

bool layoutToStore(const std::vector<int>& stored, const LayoutNow& now, std::vector<int>& out) {
    if (now.maximized) {
        if (stored.size() >= 6) {
            if (stored[5] != 0) return false;
            out = stored;
            out[5] = 1;
            return true;
        }
        // Too short to carry the flag: a complete value, keeping whatever
        // normal geometry was stored.
        out = layoutValue(now);
        for (size_t i = 0; i < stored.size() && i < 4; ++i)
            out[i] = stored[i];
        return true;
    }
    out = layoutValue(now);
    return out != stored;
}

// ---------------------------------------------------------------------------
// Operations

bool MainFrame::openOrCreate(const wxString& path) {
    return documents_->openOrCreate(path);
}

bool MainFrame::openDocument(const wxString& path) {
    return documents_->openDocument(path);
}

bool MainFrame::saveDocument() {
    return documents_->saveDocument();
}

bool MainFrame::saveCopyAs(const wxString& path) {
    return documents_->saveCopyAs(path);
}

bool MainFrame::closeDocument(bool withCancel) {
    return documents_->closeDocument(withCancel);
}

bool MainFrame::restoreRecovered(const wxString& recoveryFile, const RecoveryInfo& info) {
    return documents_->restoreRecovered(recoveryFile, info);
}

void MainFrame::SetTitle(const wxString& title) {
    plainTitle_ = title;
    titleMarked_ = recovery_ && recovery_->hasUnsavedEdits();
    wxFrame::SetTitle(titleMarked_ ? wxS("*") + title : title);
}

void MainFrame::refreshTitleMark() {
    const bool changed = recovery_ && recovery_->hasUnsavedEdits();
    if (changed != titleMarked_) SetTitle(plainTitle_);
}

void MainFrame::saveLayout() {
    Database& db = *db_;
    if (!db.isOpen()) return;
    // The layout of a new document nobody touched is no change of the user's.
    struct KeepUntouched {
        Database& db;
        const bool untouched = db.isUntouched();
        ~KeepUntouched() {
            if (untouched) db.markUntouched();
        }
    } keep{db};
    if (!IsIconized() && settings().getInt(wxS("currentWinPosSizeOnOpen")) == 0 &&
        saveSettingIsOne(SAVE_WINDOW_LAYOUT)) {
        LayoutNow now;
        const wxRect r = GetRect();
        now.x = r.x;
        now.y = r.y;
        now.width = r.width;
        now.height = r.height;
        const bool navigationShown = outer_->IsSplit() || outer_->GetWindow1() == inner_;
        now.sashCode = mainSashCode(outer_->IsSplit(), outerSash_->position(), navigationShown);
        now.maximized = IsMaximized();
        now.innerSash = inner_->IsSplit() ? innerSash_->position() : 0;
        std::vector<int> value;
        if (layoutToStore(db.getIntList(K_window), now, value)) db.setIntList(K_window, value);
    }

    groups_->saveCategoryState();
    const std::vector<int> ids = groups_->categoryIds();
    if (ids != db.getIntList(K_grps)) db.setIntList(K_grps, ids);
    const int current = groups_->currentCategoryId();
    if (saveSettingIsOne(SAVE_VIEW_STATE) && current != 0 && current != db.getInt(K_grp))
        db.setInt(K_grp, current);
}

void MainFrame::applyLayout() {
    const std::vector<int> v = db_->getIntList(K_window);
    if (v.size() < 4) return; // not even a position and a size
    SetSize(fitOnDisplay(wxRect(v[0], v[1], v[2], v[3])));

    if (v.size() >= 5) {
        const int code = v[4];
        const bool showBar = v.size() > 6 && v[6] > 0;
        auto showCategoryBar = [&]() {
            if (!showBar) return; // a 0 never hides a shown bar
            if (!inner_->IsSplit()) {
                naviPanel_->Show();
                groups_->Show();
                inner_->SplitHorizontally(naviPanel_, groups_, v[6]);
            }
            innerSash_->request(v[6]);
        };
        if (code < 0) {
            // Only the navigation side.
            if (outer_->IsSplit()) {
                outer_->Unsplit(articlePanel_);
            } else if (outer_->GetWindow1() == articlePanel_) {
                inner_->Show();
                outer_->SplitVertically(inner_, articlePanel_, 5);
                outer_->Unsplit(articlePanel_);
            }
            showCategoryBar();
        } else if (code < 3) {
            // Only the article.
            if (outer_->IsSplit()) {
                outer_->Unsplit(inner_);
            } else if (outer_->GetWindow1() == inner_) {
                articlePanel_->Show();
                outer_->SplitVertically(inner_, articlePanel_, 5);
                outer_->Unsplit(inner_);
            }
        } else {
            if (!outer_->IsSplit()) {
                inner_->Show();
                articlePanel_->Show();
                outer_->SplitVertically(inner_, articlePanel_, code);
            }
            // Kept until the window has its final size.
            outerSash_->request(code);
            articlePanel_->Layout();
            showCategoryBar();
        }
    }
    if (v.size() > 5) {
        if (v[5] == 1 && !IsMaximized()) Maximize(true);
        if (v[5] == 0 && IsMaximized()) Maximize(false);
    }
}

void MainFrame::moveOffOtherWindows() {
    // A window exactly on top of another hides it completely: the user
    // would not see that a second one opened.
    constexpr int kStep = 30;
    wxPoint pos = GetPosition();
    for (size_t tries = 0; tries < registeredFrames().size(); ++tries) {
        bool covered = false;
        for (const FrameEntry& e : registeredFrames())
            if (e.frame != this && e.frame->IsShown() && e.frame->GetPosition() == pos)
                covered = true;
        if (!covered) break;
        pos += wxPoint(kStep, kStep);
    }
    if (pos != GetPosition()) Move(pos);
}

// ---------------------------------------------------------------------------
// Commands

void MainFrame::onNew(wxCommandEvent&) {
    openOrCreate(wxString());
}

void MainFrame::onOpen(wxCommandEvent&) {
    documents_->open();
}

void MainFrame::onSave(wxCommandEvent&) {
    documents_->save();
}

void MainFrame::onSaveAs(wxCommandEvent&) {
    documents_->saveAs();
}

void MainFrame::onOptimize(wxCommandEvent&) {
    documents_->optimize();
}

void MainFrame::onCloseDocument(wxCommandEvent&) {
    documents_->close();
}

void MainFrame::onChangeFileId(wxCommandEvent&) {
    documents_->changeFileId();
}

} // namespace qn
