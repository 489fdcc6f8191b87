// The converter dialog: opening an old document converts it and opens the
// new one; refused destinations keep the dialog open; failures say why.
#include "windows_gui_util.h"

#include "unit/legacy/legacy_writer.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "convert/db_conv.h"
#include "desktop/my_app.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "store/codec.h"
#include "store/database.h"
#include "store/legacy.h"

#include <wx/checkbox.h>
#include <wx/ffile.h>
#include <wx/filedlg.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/textctrl.h>
#include <wx/textdlg.h>

#include <functional>

template <> class wxExpectModal<qn::DBConv> : public wxExpectModalBase<qn::DBConv> {
public:
    explicit wxExpectModal(std::function<int(qn::DBConv*)> answer) : answer_(std::move(answer)) {}

protected:
    int OnInvoked(qn::DBConv* dialog) const override { return answer_(dialog); }

private:
    std::function<int(qn::DBConv*)> answer_;
};

// The toolkit's password prompt, answered with a password (or cancelled).
template <>
class wxExpectModal<wxPasswordEntryDialog> : public wxExpectModalBase<wxPasswordEntryDialog> {
public:
    explicit wxExpectModal(const wxString& password, int code = wxID_OK)
        : password_(password), code_(code) {}

protected:
    int OnInvoked(wxPasswordEntryDialog* dialog) const override {
        dialog->SetValue(password_);
        return code_;
    }

private:
    wxString password_;
    int code_;
};

namespace qn {
namespace {

using test::ExpectMyMessage;
using testing::LegacyFileBuilder;

class ConverterDialog : public test::DocumentTest {
protected:
    void SetUp() override {
        test::DocumentTest::SetUp();
        // Keys derived at the smallest cost: the tests are not about it.
        settings().set(wxS("cryptlimits"), wxS("1,8192"));
        source = dir.file(wxS("old.qudb"));
        LegacyFileBuilder b;
        b.settings({{"comp", "1"}});
        b.node(1, 0, {{"cap", "Top"}, {"ch", "2"}}, "top text");
        b.node(2, 1, {{"cap", "Child"}}, std::string(400, 'c'), true);
        ASSERT_TRUE(b.write(source.utf8_string()));
    }
    // Texts of the converter's own file.
    static wxString conv(const wxString& key) {
        DBConv probe(nullptr, wxString());
        return probe.convText(key);
    }
    wxString source;
};

TEST_F(ConverterDialog, OpeningAnOldDocumentConvertsItAndOpensTheNewOne) {
    const wxString converted = dir.file(wxS("old.q2db"));
    bool opened = true;
    wxTEST_DIALOG(opened = frame->openOrCreate(source), wxExpectModal<DBConv>([&](DBConv* d) {
                      EXPECT_EQ(d->sourceEntry()->GetValue(), source);
                      EXPECT_EQ(d->destinationEntry()->GetValue(), converted);
                      return d->convertNow();
                  }));
    EXPECT_FALSE(opened); // the new document opens through the queued request
    ASSERT_TRUE(test::pumpUntil([&] { return db->isOpen(); }));
    EXPECT_EQ(db->path(), converted);
    EXPECT_EQ(db->getBlock(1)->getString(K_cap), wxS("Top"));
    EXPECT_EQ(db->getBlock(2)->text(), wxString(400, 'c'));
    EXPECT_EQ(framePath(frame), converted);
}

TEST_F(ConverterDialog, CancelWritesAndOpensNothing) {
    wxTEST_DIALOG(frame->openOrCreate(source),
                  wxExpectModal<DBConv>([](DBConv*) { return int(DBConv::RESULT_CANCELLED); }));
    test::pump();
    EXPECT_FALSE(db->isOpen());
    EXPECT_FALSE(wxFileExists(dir.file(wxS("old.q2db"))));
}

TEST_F(ConverterDialog, RefusedEntriesKeepTheDialogOpen) {
    // Another window shows a document: the converter must not write over it.
    MainFrame* other = test::newFrame();
    const wxString shown = dir.file(wxS("shown.q2db"));
    ASSERT_TRUE(other->openOrCreate(wxString()));
    other->database().setPath(shown);
    ASSERT_TRUE(other->database().save());
    const wxString before = wxString::Format(wxS("%llu"), wxFileName::GetSize(shown).GetValue());

    const struct {
        wxString source, destination, message;
    } cases[] = {
        // source, destination, what the user is told
        {source, wxString(), conv(wxS("enterFilenames"))},
        {wxString(), dir.file(wxS("x.q2db")), conv(wxS("enterFilenames"))},
        {source, dir.path() + wxS("./old.qudb"), conv(wxS("sameFilenames"))},
        {source, dir.file(wxS("new.qudb")), conv(wxS("legacyDest"))},
        {source, shown, text(wxS("s.FileIsOpen")) + wxS("\n\n") + shown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destination.utf8_string());
        DBConv d(frame, wxString());
        d.sourceEntry()->SetValue(c.source);
        d.destinationEntry()->SetValue(c.destination);
        int result = 0;
        wxTEST_DIALOG(result = d.convertNow(), ExpectMyMessage(c.message));
        EXPECT_EQ(result, -1);
    }
    EXPECT_EQ(wxString::Format(wxS("%llu"), wxFileName::GetSize(shown).GetValue()), before);
    EXPECT_FALSE(wxFileExists(dir.file(wxS("new.qudb"))));
}

TEST_F(ConverterDialog, AnExistingFileIsQuestionedOnlyOnce) {
    const wxString target = dir.file(wxS("old.q2db"));
    dir.write(wxS("old.q2db"), "older file");
    // Typed (or proposed): the converter asks, and No keeps the old file.
    {
        DBConv d(nullptr, source);
        int result = 0;
        wxTEST_DIALOG(result = d.convertNow(), ExpectMyMessage(conv(wxS("outfileExists")), MSG_NO));
        EXPECT_EQ(result, -1);
        EXPECT_EQ(wxFileName::GetSize(target).GetValue(), 10u);
    }
    // Chosen in the save selector, which has asked already.
    {
        DBConv d(nullptr, source);
        wxCommandEvent click(wxEVT_BUTTON, DBConv::ID_DEST_BUTTON);
        wxTEST_DIALOG(d.ProcessWindowEvent(click), wxExpectModal<wxFileDialog>(target));
        EXPECT_EQ(d.destinationEntry()->GetValue(), target);
        EXPECT_EQ(d.convertNow(), DBConv::RESULT_CONVERTED);
        Database converted;
        ASSERT_EQ(converted.open(target), Database::OPEN_OK);
        EXPECT_EQ(converted.getBlock(1)->getString(K_cap), wxS("Top"));
    }
}

TEST_F(ConverterDialog, FailuresSayWhy) {
    // A folder that does not exist: the reason names it.
    {
        DBConv d(nullptr, source);
        d.destinationEntry()->SetValue(dir.file(wxS("missing/new.q2db")));
        wxString seen;
        int result = 0;
        wxTEST_DIALOG(result = d.convertNow(),
                      ExpectMyMessage::containing(conv(wxS("failedToConvert")), MSG_OK, &seen));
        EXPECT_EQ(result, DBConv::RESULT_CANCELLED);
        EXPECT_TRUE(seen.Contains(dir.file(wxS("missing")))) << seen;
    }
    // An older-format file from a newer program: the file and why.
    {
        LegacyFileBuilder b("5b0c6c9e-1d2f-4a3b-8c4d-5e6f7a8b9c0d", "1.20");
        b.settings({{"comp", "1"}});
        b.node(1, 0, {{"cap", "Top"}}, "top text");
        const wxString newer = dir.file(wxS("newer.qudb"));
        ASSERT_TRUE(b.write(newer.utf8_string()));
        DBConv d(nullptr, newer);
        int result = 0;
        wxTEST_DIALOG(result = d.convertNow(),
                      ExpectMyMessage(text(wxS("s.OpenErrorNotFound")) + wxS("\n\n") + newer +
                                      wxS("\n\n") + text(wxS("s.OpenErrorVersion"))));
        EXPECT_EQ(result, DBConv::RESULT_CANCELLED);
    }
    // An old document in capitals goes to the converter; a missing one says so
    // before any converter opens.
    {
        const wxString upper = dir.file(wxS("OLD.QUDB"));
        ASSERT_TRUE(wxCopyFile(source, upper));
        wxTEST_DIALOG(frame->openOrCreate(upper), wxExpectModal<DBConv>([&](DBConv* dlg) {
                          EXPECT_EQ(dlg->sourceEntry()->GetValue(), upper);
                          return int(DBConv::RESULT_CANCELLED);
                      }));
        const wxString gone = dir.file(wxS("gone.QUDB"));
        wxString seen;
        wxTEST_DIALOG(frame->openOrCreate(gone),
                      ExpectMyMessage::containing(text(wxS("s.OpenErrorNotFound")), MSG_OK, &seen));
        EXPECT_TRUE(seen.Contains(gone)) << seen;
    }
    // Not an old document at all.
    {
        dir.write(wxS("text.qudb"), "just text\n");
        DBConv d(nullptr, dir.file(wxS("text.qudb")));
        int result = 0;
        wxTEST_DIALOG(result = d.convertNow(), ExpectMyMessage::containing(conv(wxS("noFile"))));
        EXPECT_EQ(result, DBConv::RESULT_CANCELLED);
        EXPECT_FALSE(wxFileExists(dir.file(wxS("text.q2db"))));
    }
}

TEST_F(ConverterDialog, DamagedBodiesAreReported) {
    std::string packed = deflateBytes(std::string(500, 'q'));
    packed.resize(packed.size() / 2);
    LegacyFileBuilder b;
    b.settings({{"comp", "1"}});
    b.node(1, 0, {{"cap", "Top"}, {"ch", "2"}}, "");
    std::string header = "cap=broken\n", record;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            record += char((v >> (8 * i)) & 0xFF);
    };
    put32(uint32_t(21 + header.size() + packed.size()));
    record += char(2 | 0x20); // node, compressed
    put32(2);
    put32(1);
    put32(uint32_t(header.size()));
    put32(uint32_t(packed.size()));
    b.rawBytes(record + header + packed);
    ASSERT_TRUE(b.write(source.utf8_string()));

    DBConv d(nullptr, source);
    int result = 0;
    wxTEST_DIALOG(result = d.convertNow(),
                  ExpectMyMessage(fillPlaceholders(conv(wxS("damagedBodies")), {wxS("1")})));
    EXPECT_EQ(result, DBConv::RESULT_CONVERTED);
    EXPECT_TRUE(wxFileExists(dir.file(wxS("old.q2db"))));
}

TEST_F(ConverterDialog, AProtectedDocumentAsksUntilThePasswordIsRight) {
    const std::string created = "2009-05-06 07:08:09";
    LegacyFileBuilder b;
    const wxString verifier = passwordVerifier(wxS("secret"), wxString::FromUTF8(b.dbid().c_str()));
    b.settings({{"pwd", verifier.utf8_string()},
                {"h_algo", "md5"},
                {"c_algo", "arcfour"},
                {"c", created}});
    b.protect("secret", created);
    b.node(1, 0, {{"cap", "Locked"}}, "hidden words");
    ASSERT_TRUE(b.write(source.utf8_string()));

    DBConv d(nullptr, source);
    int result = 0;
    wxTEST_DIALOG(result = d.convertNow(), wxExpectModal<wxPasswordEntryDialog>(wxS("wrong")),
                  ExpectMyMessage(conv(wxS("passwordUnmatch"))),
                  wxExpectModal<wxPasswordEntryDialog>(wxS("secret")));
    ASSERT_EQ(result, DBConv::RESULT_CONVERTED);
    {
        // Sealed again: the weak form only when asked for.
        Database converted;
        ASSERT_EQ(converted.open(dir.file(wxS("old.q2db"))), Database::OPEN_OK);
        EXPECT_EQ(converted.getString(K_c_algo), wxString::FromAscii(kSealedAlgo));
        EXPECT_NE(converted.getString(K_pwd), verifier);
        ASSERT_EQ(unlockDocument(converted, wxS("secret")), Unlock::Ok);
        EXPECT_EQ(converted.getBlock(1)->text(), wxS("hidden words"));
    }
    dir.remove(wxS("old.q2db"));
    DBConv weak(nullptr, source);
    ASSERT_FALSE(weak.compatibleBox()->GetValue());
    weak.compatibleBox()->SetValue(true);
    wxTEST_DIALOG(result = weak.convertNow(), wxExpectModal<wxPasswordEntryDialog>(wxS("secret")));
    ASSERT_EQ(result, DBConv::RESULT_CONVERTED);
    Database converted;
    ASSERT_EQ(converted.open(dir.file(wxS("old.q2db"))), Database::OPEN_OK);
    EXPECT_EQ(converted.getString(K_pwd), verifier);
    EXPECT_EQ(converted.getString(K_c_algo), wxS("arcfour,md5,rr"));

    // An empty answer ends the conversion without writing.
    dir.remove(wxS("old.q2db"));
    DBConv again(nullptr, source);
    wxTEST_DIALOG(result = again.convertNow(), wxExpectModal<wxPasswordEntryDialog>(wxString()));
    EXPECT_EQ(result, DBConv::RESULT_CANCELLED);
    EXPECT_FALSE(wxFileExists(dir.file(wxS("old.q2db"))));
}

TEST_F(ConverterDialog, OptionLettersWithACommaAreRefused) {
    const std::string created = "2009-05-06 07:08:09";
    LegacyFileBuilder b;
    b.settings(
        {{"pwd",
          passwordVerifier(wxS("secret"), wxString::FromUTF8(b.dbid().c_str())).utf8_string()},
         {"h_algo", "md5"},
         {"c_algo", "arcfour"},
         {"c", created}});
    b.protect("secret", created);
    b.node(1, 0, {{"cap", "Locked"}}, "hidden words");
    ASSERT_TRUE(b.write(source.utf8_string()));
    // The converter's texts with letters that would split "cipher,hash,letters".
    const wxString texts = appFile(wxS("DBConv_const.ini"));
    wxString shipped;
    {
        wxFFile in(texts, wxS("rb"));
        ASSERT_TRUE(in.ReadAll(&shipped, wxConvUTF8));
    }
    wxString changed = shipped;
    changed.Replace(wxS("cipherOption=rr"), wxS("cipherOption=r,r"));
    auto write = [&](const wxString& contents) {
        wxFFile out(texts, wxS("wb"));
        out.Write(contents, wxConvUTF8);
    };
    write(changed);
    struct Restore {
        std::function<void()> undo;
        ~Restore() { undo(); }
    } restore{[&] { write(shipped); }};
    DBConv d(nullptr, source);
    d.compatibleBox()->SetValue(true); // the letters only count for the weak form
    int result = 0;
    wxTEST_DIALOG(result = d.convertNow(), ExpectMyMessage(fillPlaceholders(
                                               d.convText(wxS("badCipherOption")), {wxS("r,r")})));
    EXPECT_EQ(result, DBConv::RESULT_CANCELLED);
    EXPECT_FALSE(wxFileExists(dir.file(wxS("old.q2db"))));
}

} // namespace
} // namespace qn
