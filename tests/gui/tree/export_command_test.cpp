// Export text from the File menu: the same file as the command-line tool
// writes, and never over a document open in the program.
#include "tree_gui_util.h"

#include "app/text_constants.h"
#include "frame/main_frame.h"
#include "frame/text_exporter.h"
#include "ui/command_ids.h"

#include <wx/choicdlg.h>
#include <wx/ffile.h>
#include <wx/filedlg.h>

namespace qn {
namespace {

using test::addChild;
using test::ExpectMyMessage;

wxString contents(const wxString& path) {
    wxFFile f(path, wxS("rb"));
    wxString s;
    if (f.IsOpened()) f.ReadAll(&s, wxConvISO8859_1); // bytes as they are
    return s;
}

class ExportCommand : public test::NewDocumentTest {
protected:
    void SetUp() override {
        test::NewDocumentTest::SetUp();
        db->getBlock(1)->setString(K_cap, wxS("Top"));
        addChild(*db, 1, wxString::FromUTF8("Grüße"))->setText(wxString::FromUTF8("Ελλάδα\nline"));
        addChild(*db, 1, wxS("B"));
        db->setPath(dir.file(wxS("doc.q2db")));
        ASSERT_TRUE(db->save());
    }
    void exportCommand() {
        wxCommandEvent event(wxEVT_MENU, ID_EXPORT_TEXT);
        frame->ProcessWindowEvent(event);
    }
    test::TestDir dir;
};

TEST_F(ExportCommand, WritesWhatTheCommandLineWrites) {
    wxTEST_DIALOG(exportCommand(), wxExpectModal<wxFileDialog>(dir.file(wxS("out.txt"))),
                  wxExpectModal<wxSingleChoiceDialog>(1));
    TextExporter reference(*db, TextExporter::ENC_UTF8);
    ASSERT_TRUE(reference.exportToFile(dir.file(wxS("reference.txt"))));
    EXPECT_EQ(contents(dir.file(wxS("out.txt"))), contents(dir.file(wxS("reference.txt"))));
    EXPECT_TRUE(contents(dir.file(wxS("out.txt"))).StartsWith(wxS("{{{i=}}}\n[ROOT] Top\n")));
}

TEST_F(ExportCommand, NeverOverAnOpenDocument) {
    const wxString doc = dir.file(wxS("doc.q2db"));
    const wxString before = contents(doc);
    wxTEST_DIALOG(exportCommand(), wxExpectModal<wxFileDialog>(doc),
                  ExpectMyMessage::containing(text(wxS("s.FileIsOpen"))));
    EXPECT_EQ(contents(doc), before);
}

} // namespace
} // namespace qn
