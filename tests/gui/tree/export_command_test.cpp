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

#include <sqlite3.h>

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

// A note damaged in the file is not exported as if whole: the message names
// the document, the note and why, and no file is written.
TEST_F(ExportCommand, ADocumentThatCannotBeReadWholeIsNotExported) {
    db->setInt(K_comp, 1);
    const int id = addChild(*db, 1, wxS("Long"))->id();
    db->getBlock(id)->setText(wxString(wxS('z'), 100000));
    ASSERT_TRUE(db->save());
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file(wxS("doc.q2db")).utf8_str(), &raw), SQLITE_OK);
    const std::string cut =
        "update block set body=substr(body, 1, length(body) / 2) where id=" + std::to_string(id);
    EXPECT_EQ(sqlite3_exec(raw, cut.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);

    wxString seen;
    wxTEST_DIALOG(exportCommand(), wxExpectModal<wxFileDialog>(dir.file(wxS("out.txt"))),
                  wxExpectModal<wxSingleChoiceDialog>(1),
                  ExpectMyMessage::containing(text(wxS("s.ExportUnreadable")), MSG_OK, &seen));
    EXPECT_TRUE(seen.Contains(dir.file(wxS("doc.q2db")))) << seen;
    EXPECT_TRUE(seen.Contains(wxString::Format(wxS("note %d \"Long\""), id))) << seen;
    EXPECT_FALSE(wxFileExists(dir.file(wxS("out.txt"))));
}

} // namespace
} // namespace qn
