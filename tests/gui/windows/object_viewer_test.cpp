// The object manager through its command: the list and the preview, image
// tags, import, export, remove, and closing with its document.
#include "windows_gui_util.h"

#include "app/placeholders.h"
#include "app/text_constants.h"
#include "frame/main_frame.h"
#include "objects/image_panel.h"
#include "objects/object_viewer.h"
#include "ui/command_ids.h"
#include "ui/my_message.h"

#include <wx/ffile.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/listctrl.h>

namespace qn {
namespace {

using test::ExpectMyMessage;

std::string bytesOf(const wxString& path) {
    wxFFile f(path, wxS("rb"));
    std::string s;
    if (!f.IsOpened()) return s;
    s.resize(static_cast<size_t>(f.Length()));
    s.resize(f.Read(s.data(), s.size()));
    return s;
}

class ObjectManager : public test::DocumentTest {
protected:
    void SetUp() override {
        test::DocumentTest::SetUp();
        saveNewDocument(dir.file(wxS("doc.q2db")));
        png = addPicture(*db, 40, 20, wxS("photo.png"));
        other = addFile(*db, wxS("notes.txt"), "plain words");
    }
    // A picture of w x h imported as an object; returns its id.
    int addPicture(Database& into, int w, int h, const wxString& name) {
        wxImage picture(w, h);
        picture.SetRGB(wxRect(0, 0, w, h), 200, 30, 30);
        EXPECT_TRUE(picture.SaveFile(dir.file(name), wxBITMAP_TYPE_PNG));
        return addObject(into, dir.file(name));
    }
    int addFile(Database& into, const wxString& name, const std::string& contents) {
        dir.write(name, contents);
        return addObject(into, dir.file(name));
    }
    static int addObject(Database& into, const wxString& path) {
        Block* object = into.newObject(wxString());
        EXPECT_TRUE(object->importFile(path));
        return object->id();
    }
    ObjectViewer* openViewer() {
        wxCommandEvent event(wxEVT_MENU, ID_VIEW_OBJECTS);
        frame->ProcessWindowEvent(event);
        return ObjectViewer::findFor(frame);
    }
    static long rowOf(ObjectViewer* v, int id) {
        return v->list()->FindItem(-1, static_cast<wxUIntPtr>(id));
    }
    static void selectOnly(ObjectViewer* v, std::initializer_list<int> ids) {
        for (long r = 0; r < v->list()->GetItemCount(); ++r)
            v->list()->SetItemState(r, 0, wxLIST_STATE_SELECTED);
        for (int id : ids)
            v->list()->SetItemState(rowOf(v, id), wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
    int png = 0, other = 0;
};

TEST_F(ObjectManager, ListsPreviewsAndCopiesTags) {
    ObjectViewer* v = openViewer();
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->IsShown());
    ASSERT_EQ(v->list()->GetItemCount(), 2);
    const long row = rowOf(v, png);
    EXPECT_EQ(v->list()->GetItemText(row, 0), wxString::Format(wxS("%d.png"), png));
    EXPECT_EQ(v->list()->GetItemText(row, 1), wxS("photo.png"));
    EXPECT_EQ(v->list()->GetItemText(row, 2), wxS("image/png"));
    EXPECT_EQ(v->list()->GetItemText(row, 5), wxS("W-- H--"));
    EXPECT_EQ(v->list()->GetItemText(rowOf(v, other), 0), wxString::Format(wxS("%d."), other));

    v->showPreview(row);
    EXPECT_EQ(v->list()->GetItemText(row, 5), wxS("W40 H20"));
    EXPECT_TRUE(v->preview()->bitmap().IsOk());
    v->showPreview(rowOf(v, other)); // no picture: the last one stays
    EXPECT_EQ(v->list()->GetItemText(rowOf(v, other), 5), wxS("--")); // no size to show
    EXPECT_EQ(v->preview()->bitmap().GetWidth(), 40);

    selectOnly(v, {other, png});
    const wxString dbid = db->dbid();
    EXPECT_EQ(v->imageTags(), wxString::Format(wxS("<img src=\"qudb:%s/%d.png\">\n"
                                                   "<img src=\"qudb:%s/%d.\">\n"),
                                               dbid, png, dbid, other));
    // A second command raises the same window.
    EXPECT_EQ(openViewer(), v);
}

TEST_F(ObjectManager, PreviewsItsOwnDocumentWhenAnotherHasTheSameId) {
    // A copy of the document in a second window: same document id, and its
    // object of the same number holds another picture.
    MainFrame* second = test::newFrame();
    ASSERT_TRUE(second->openOrCreate(wxString()));
    Database& twin = second->database();
    twin.setString(K_dbid, db->dbid());
    while (twin.maxId() < png - 1)
        twin.newNode(1);
    ASSERT_EQ(addPicture(twin, 90, 60, wxS("other.png")), png);
    ObjectViewer* v = ObjectViewer::showFor(second, twin);
    ObjectViewer* mine = openViewer();
    ASSERT_NE(v, mine);
    v->showPreview(rowOf(v, png));
    mine->showPreview(rowOf(mine, png));
    EXPECT_EQ(v->list()->GetItemText(rowOf(v, png), 5), wxS("W90 H60"));
    EXPECT_EQ(mine->list()->GetItemText(rowOf(mine, png), 5), wxS("W40 H20"));
}

TEST_F(ObjectManager, ImportAddsARowAndAFailedImportLeavesNothing) {
    ObjectViewer* v = openViewer();
    ASSERT_TRUE(v);
    wxImage(8, 8).SaveFile(dir.file(wxS("Icon.PNG")), wxBITMAP_TYPE_PNG);
    wxTEST_DIALOG(v->importObject(), wxExpectModal<wxFileDialog>(dir.file(wxS("Icon.PNG"))));
    ASSERT_EQ(v->list()->GetItemCount(), 3);
    const int added = static_cast<int>(v->list()->GetItemData(2));
    EXPECT_EQ(v->list()->GetItemText(2, 0), wxString::Format(wxS("%d.png"), added));
    EXPECT_EQ(db->getBlock(added)->getString(K_m), wxS("image/png"));

    // A folder cannot be read as a file: no row, no empty object.
    wxMkdir(dir.file(wxS("sub")));
    const size_t blocks = db->blocks().size();
    wxTEST_DIALOG(v->importObject(), wxExpectModal<wxFileDialog>(dir.file(wxS("sub"))),
                  ExpectMyMessage::containing(dir.file(wxS("sub"))));
    EXPECT_EQ(v->list()->GetItemCount(), 3);
    EXPECT_EQ(db->blocks().size(), blocks);
}

TEST_F(ObjectManager, ExportCopiesConvertsOrRefuses) {
    ObjectViewer* v = openViewer();
    ASSERT_TRUE(v);
    selectOnly(v, {png});
    // Same type: the bytes as stored.
    wxTEST_DIALOG(v->exportObjects(), wxExpectModal<wxFileDialog>(dir.file(wxS("same.png"))));
    EXPECT_EQ(bytesOf(dir.file(wxS("same.png"))), bytesOf(dir.file(wxS("photo.png"))));
    // Another picture type: converted.
    wxTEST_DIALOG(v->exportObjects(), wxExpectModal<wxFileDialog>(dir.file(wxS("as.jpg"))));
    wxImage jpeg;
    ASSERT_TRUE(jpeg.LoadFile(dir.file(wxS("as.jpg")), wxBITMAP_TYPE_JPEG));
    EXPECT_EQ(jpeg.GetSize(), wxSize(40, 20));
    // No picture type: refused, nothing written.
    wxTEST_DIALOG(v->exportObjects(), wxExpectModal<wxFileDialog>(dir.file(wxS("as.txt"))),
                  ExpectMyMessage(text("s.obj.typeErr")));
    EXPECT_FALSE(wxFileExists(dir.file(wxS("as.txt"))));
    // Never over the open document.
    const std::string doc = bytesOf(dir.file(wxS("doc.q2db")));
    wxTEST_DIALOG(v->exportObjects(), wxExpectModal<wxFileDialog>(dir.file(wxS("doc.q2db"))),
                  ExpectMyMessage::containing(text("s.FileIsOpen")));
    EXPECT_EQ(bytesOf(dir.file(wxS("doc.q2db"))), doc);
    // Cancelling the first of two rows exports neither.
    selectOnly(v, {png, other});
    wxTEST_DIALOG(v->exportObjects(), wxExpectModal<wxFileDialog>(wxString(), wxID_CANCEL));
    EXPECT_FALSE(wxFileExists(dir.file(wxS("photo.png.png"))));
}

// The remove question, checked for its text and for No as its default.
class ExpectRemoveQuestion : public wxExpectModalBase<MyMessage, ExpectRemoveQuestion> {
public:
    ExpectRemoveQuestion(const wxString& question, int answer)
        : question_(question), answer_(answer) {}

protected:
    int OnInvoked(MyMessage* box) const override {
        EXPECT_NE(test::dialogTexts(box).Find(question_), wxNOT_FOUND)
            << test::dialogTexts(box).utf8_string();
        auto* byDefault = box->GetDefaultItem();
        EXPECT_TRUE(byDefault && byDefault->GetId() == MSG_ID_NO);
        EXPECT_EQ(wxWindow::FindFocus(), byDefault);
        return answer_;
    }

private:
    wxString question_;
    int answer_;
};

TEST_F(ObjectManager, RemoveAsksWithTheArticlesThatShowTheObject) {
    Block* node = db->newNode(1);
    node->setText(wxString::Format(wxS("<img src=\"qudb:%s/%d.png\">"), db->dbid(), png));
    db->getBlock(1)->editChildren(node->id(), CH_APPEND);
    ObjectViewer* v = openViewer();
    ASSERT_TRUE(v);
    selectOnly(v, {png});
    // One article: the singular text.  No is what Enter answers.
    const wxString used = fillPlaceholders(text("s.obj.removeUsed1?"), {wxS("1")});
    wxTEST_DIALOG(v->removeObjects(), ExpectRemoveQuestion(used, MSG_NO));
    EXPECT_TRUE(db->findBlock(png));
    // The Delete key asks the same.
    wxListEvent key(wxEVT_LIST_KEY_DOWN, v->list()->GetId());
    key.m_code = WXK_DELETE;
    key.SetEventObject(v->list());
    wxTEST_DIALOG(v->list()->GetEventHandler()->ProcessEvent(key),
                  ExpectRemoveQuestion(used, MSG_YES));
    EXPECT_FALSE(db->findBlock(png));
    ASSERT_EQ(v->list()->GetItemCount(), 1);
    // One that no article shows gets the plain question; two articles the
    // plural text.
    Block* second = db->newNode(1);
    second->setText(wxString::Format(wxS("<img src=\"qudb:%s/%d.\">"), db->dbid(), other));
    Block* third = db->newNode(1);
    third->setText(second->text());
    selectOnly(v, {other});
    wxTEST_DIALOG(v->removeObjects(),
                  ExpectRemoveQuestion(fillPlaceholders(text("s.obj.removeUsed?"), {wxS("2")}),
                                       MSG_NO));
    db->deleteBlock(second->id());
    db->deleteBlock(third->id());
    wxTEST_DIALOG(v->removeObjects(), ExpectRemoveQuestion(text("s.obj.removeOK?"), MSG_YES));
    EXPECT_EQ(v->list()->GetItemCount(), 0);
    EXPECT_FALSE(db->findBlock(other));
    EXPECT_TRUE(db->findBlock(node->id()));
}

TEST_F(ObjectManager, ClosesWithItsDocumentAndByItsCloseButton) {
    ObjectViewer* v = openViewer();
    ASSERT_TRUE(v);
    wxCommandEvent close(wxEVT_BUTTON, wxID_CLOSE);
    v->ProcessWindowEvent(close);
    EXPECT_FALSE(ObjectViewer::findFor(frame));
    EXPECT_TRUE(db->findBlock(png)); // closing changes nothing

    ASSERT_TRUE(openViewer());
    ASSERT_TRUE(db->save());
    wxCommandEvent closeDocument(wxEVT_MENU, ID_CLOSE);
    frame->ProcessWindowEvent(closeDocument);
    EXPECT_FALSE(db->isOpen());
    EXPECT_FALSE(ObjectViewer::findFor(frame));
}

// The columns fit their entries, and the window opens again in the size
// the user gave it.
TEST_F(ObjectManager, ColumnsFitAndTheSizeIsKept) {
    const int longId = addFile(*db, wxS("a rather long file name for the column.txt"), "x");
    ObjectViewer* v = openViewer();
    ASSERT_TRUE(v);
    const long row = rowOf(v, longId);
    ASSERT_GE(row, 0);
    const int wanted = v->list()->GetTextExtent(v->list()->GetItemText(row, 1)).x;
    EXPECT_GE(v->list()->GetColumnWidth(1), wanted);

    v->SetSize(wxSize(720, 333));
    test::pump();
    const wxSize given = v->GetSize();
    wxCommandEvent close(wxEVT_BUTTON, wxID_CLOSE);
    v->ProcessWindowEvent(close);
    test::pump();
    v = openViewer();
    ASSERT_TRUE(v);
    EXPECT_EQ(v->GetSize(), given);
}

} // namespace
} // namespace qn
