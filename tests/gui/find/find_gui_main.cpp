// Test program of find and replace, the global search list and the
// editor's undo history: one toolkit application, a private copy of the
// shipped configuration.
#include "find_gui_util.h"

#include "app/text_constants.h"
#include "article/article_window.h"
#include "article/qudb_fs_handler.h"
#include "article/text_window.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "tree/group_container.h"
#include "tree/tree_panel.h"

#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/menu.h>
#include <wx/uiaction.h>

#include <cstring>

namespace qn::test {

int ExpectFind::OnInvoked(FindDialog* dialog) const {
    dialog->searchBox()->SetValue(text_);
    dialog->globalBox()->SetValue(global_);
    dialog->caseBox()->SetValue(case_);
    dialog->accept();
    return dialog->GetReturnCode();
}

int ExpectReplace::OnInvoked(ReplaceDialog* dialog) const {
    dialog->searchBox()->SetValue(search_);
    dialog->replacementBox()->SetValue(replacement_);
    dialog->accept();
    return dialog->GetReturnCode();
}

void FindFixture::SetUp() {
    frame = MainFrame::createFromSettings(text(wxS("s.Title")));
    frame->Show();
    ASSERT_TRUE(frame->openOrCreate(wxString()));
    db = &frame->database();
    tree = frame->treePanel();
    groups = frame->categoryBar();
    article = frame->articleWindow();
}

void FindFixture::TearDown() {
    // Nothing is saved or asked: the document is thrown away.
    for (const FrameEntry& e : std::vector<FrameEntry>(registeredFrames())) {
        Database& d = e.frame->database();
        QudbFSHandler::unregisterDatabase(&d);
        setFramePath(e.frame, wxString());
        e.frame->categoryBar()->clearCategories();
        e.frame->treePanel()->clearTree();
        d.close();
    }
    destroyAllWindows();
}

Block* FindFixture::addNode(int parent, const wxString& title, const wxString& body,
                            const wxString& mime) {
    Block* node = db->newNode(parent);
    node->setString(K_cap, title);
    node->setMime(mime);
    node->setText(body);
    db->getBlock(parent)->editChildren(node->id(), CH_APPEND);
    return node;
}

void FindFixture::send(int id) {
    wxCommandEvent event(wxEVT_MENU, id);
    frame->ProcessWindowEvent(event);
}

bool FindFixture::enabled(int id) {
    wxMenuBar* bar = frame->GetMenuBar();
    for (size_t i = 0; i < bar->GetMenuCount(); ++i)
        bar->GetMenu(i)->UpdateUI(frame);
    return bar->IsEnabled(id);
}

void FindFixture::show(Block* node) {
    tree->selectNode(node);
    pumpUntil([&] { return article->node() == node; });
}

TextWindow* FindFixture::editor() const {
    return article->editor();
}

void FindFixture::type(const char* letters) {
    TextWindow* ed = editor();
    ed->SetFocus();
    pump();
    const size_t before = ed->GetValue().length();
    wxUIActionSimulator sim;
    sim.Text(letters);
    const wxString was = ed->GetValue();
    pumpUntil([&] {
        return ed->GetValue().length() >= before + strlen(letters) ||
               (ed->GetValue() != was && !ed->isInsertMode() &&
                ed->GetValue().Find(wxString::FromUTF8(letters)) != wxNOT_FOUND);
    });
}

std::pair<long, long> FindFixture::selection() const {
    long from = 0, to = 0;
    editor()->GetSelection(&from, &to);
    return {from, to};
}

} // namespace qn::test

int main(int argc, char** argv) {
    return qn::test::runFrameTests(argc, argv);
}
