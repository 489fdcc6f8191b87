// The password dialog, the password command and the password step of
// opening a document.
#include "frame_test_util.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "app/text_constants.h"
#include "frame/main_frame.h"
#include "frame/password_dialog.h"
#include "store/codec.h"
#include "store/database.h"

#include <wx/checkbox.h>
#include <wx/textctrl.h>

#include <memory>

namespace qn::test {
namespace {

void protect(Database& db, const wxString& password, const wxString& options = wxS("rr")) {
    auto cipher = std::make_unique<BlockCipher>();
    cipher->setKey(cipherKeyMaterial(db.dbid(), password, db.getString(K_c)));
    cipher->setOptions(options);
    ASSERT_TRUE(db.changeCipher(std::move(cipher), password));
}

class Password : public ::testing::Test {
protected:
    void SetUp() override {
        dir.fillShipped();
        ASSERT_TRUE(loadConfig(dir.path(), wxString()) == ConfigStatus::Ok);
        // Keys derived at the smallest cost: the tests are not about it.
        settings().set(wxS("cryptlimits"), wxS("1,8192"));
    }
    void TearDown() override {
        destroyAllWindows();
        unloadConfig();
    }
    // A saved document whose top node is titled "Secret", protected by
    // `password`.
    wxString savedDocument(const wxString& password) {
        const wxString path = dir.file(wxS("doc.q2db"));
        Database db;
        Block* root = db.newDocument();
        root->setString(K_cap, wxS("Secret"));
        db.setPath(path);
        EXPECT_TRUE(db.save());
        protect(db, password);
        db.close();
        return path;
    }
    // Whether the password opens the file at `path` (through the dialog);
    // `right` says which dialogs to expect: the caller knows the password.
    bool opens(const wxString& path, const wxString& password, bool right) {
        Database db;
        EXPECT_EQ(db.open(path), Database::OPEN_OK);
        bool ok = false;
        if (right) {
            wxTEST_DIALOG(ok = unlockDocument(nullptr, db), ExpectPassword([&](PasswordDialog* d) {
                              // The dialog says which document it asks for.
                              EXPECT_TRUE(dialogTexts(d).Contains(path + wxS("\n")));
                              d->newField()->SetValue(password);
                              return d->acceptInput() ? 4 : 16;
                          }));
            if (ok) {
                EXPECT_EQ(db.getBlock(1)->getString(K_cap), wxS("Secret"));
            }
        } else {
            wxTEST_DIALOG(ok = unlockDocument(nullptr, db), ExpectPassword([&](PasswordDialog* d) {
                              d->newField()->SetValue(password);
                              EXPECT_FALSE(d->acceptInput());
                              EXPECT_EQ(d->newField()->GetValue(), wxString());
                              return 16;
                          }),
                          ExpectMyMessage(text(wxS("s.pwd.passwordError"))));
            EXPECT_FALSE(db.isOpen()); // a cancelled password closes it again
        }
        return ok;
    }

    TestDir dir;
};

TEST_F(Password, DialogChecksEachMode) {
    Database db;
    db.newDocument();
    protect(db, wxS("secret"));
    struct Case {
        int mode;
        const char* current;
        const char* fresh;
        const char* confirm;
        const char* message; // nullptr: accepted without a message
        bool emptied;        // both new fields are emptied afterwards
    };
    const Case cases[] = {
        {PasswordDialog::MODE_NEW, "", "ab", "ab", "s.pwd.lengthError", false},
        {PasswordDialog::MODE_NEW, "", "abc", "abc", nullptr, false},
        {PasswordDialog::MODE_NEW, "", "abc", "abd", "s.pwd.dontMatch", true},
        {PasswordDialog::MODE_NEW, "", "", "", "s.pwd.lengthError", false},
        {PasswordDialog::MODE_CHANGE, "wrong", "abc", "abc", "s.pwd.curPwdError", false},
        {PasswordDialog::MODE_CHANGE, "secret", "abc", "abc", nullptr, false},
        {PasswordDialog::MODE_CHANGE, "secret", "ab", "ab", "s.pwd.lengthError", false},
        {PasswordDialog::MODE_CHANGE, "secret", "", "abc", "s.pwd.lengthError", false},
        {PasswordDialog::MODE_CHANGE, "secret", "abcd", "abce", "s.pwd.dontMatch", true},
        {PasswordDialog::MODE_OPEN, "", "secret", "", nullptr, false},
        {PasswordDialog::MODE_OPEN, "", "Secret", "", "s.pwd.passwordError", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("mode ") + std::to_string(c.mode) + " " + c.fresh + "/" +
                     c.confirm + (c.message ? std::string(" ") + c.message : ""));
        PasswordDialog dialog(nullptr, c.mode, db);
        dialog.Show();
        EXPECT_EQ(dialog.currentField() != nullptr, c.mode == PasswordDialog::MODE_CHANGE);
        EXPECT_EQ(dialog.confirmField() != nullptr, c.mode != PasswordDialog::MODE_OPEN);
        if (dialog.currentField()) dialog.currentField()->SetValue(wxString::FromUTF8(c.current));
        dialog.newField()->SetValue(wxString::FromUTF8(c.fresh));
        if (dialog.confirmField()) dialog.confirmField()->SetValue(wxString::FromUTF8(c.confirm));
        bool accepted = false;
        if (c.message) {
            wxTEST_DIALOG(accepted = dialog.acceptInput(),
                          ExpectMyMessage(text(wxString::FromUTF8(c.message))));
        } else {
            accepted = dialog.acceptInput();
        }
        EXPECT_EQ(accepted, c.message == nullptr);
        if (c.emptied) {
            EXPECT_EQ(dialog.newField()->GetValue(), wxString());
            if (dialog.confirmField()) {
                EXPECT_EQ(dialog.confirmField()->GetValue(), wxString());
            }
            pumpUntil([&] { return wxWindow::FindFocus() == dialog.newField(); }, 1000);
            EXPECT_EQ(wxWindow::FindFocus(), dialog.newField());
        } else {
            EXPECT_EQ(dialog.newField()->GetValue(), wxString::FromUTF8(c.fresh));
        }
        if (accepted) {
            EXPECT_EQ(dialog.password(), wxString::FromUTF8(c.fresh));
        }
        // A wrong current password is typed again from an empty field.
        if (c.message && std::string(c.message) == "s.pwd.curPwdError") {
            EXPECT_EQ(dialog.currentField()->GetValue(), wxString());
            pumpUntil([&] { return wxWindow::FindFocus() == dialog.currentField(); }, 1000);
            EXPECT_EQ(wxWindow::FindFocus(), dialog.currentField());
        }
    }
}

TEST_F(Password, EmptyNewPasswordAsksBeforeRemovingTheProtection) {
    Database db;
    db.newDocument();
    protect(db, wxS("secret"));
    for (int answer : {MSG_NO, MSG_YES}) {
        PasswordDialog dialog(nullptr, PasswordDialog::MODE_CHANGE, db);
        dialog.currentField()->SetValue(wxS("secret"));
        bool accepted = true;
        wxTEST_DIALOG(accepted = dialog.acceptInput(),
                      ExpectMyMessage(text(wxS("s.pwd.remove")), answer));
        EXPECT_EQ(accepted, answer == MSG_YES);
        EXPECT_EQ(dialog.password(), wxString());
    }
}

TEST_F(Password, EnterMovesThroughTheFieldsAndThenAccepts) {
    Database db;
    db.newDocument();
    PasswordDialog dialog(nullptr, PasswordDialog::MODE_NEW, db);
    dialog.Show();
    auto enter = [&](wxTextCtrl* field) {
        wxCommandEvent event(wxEVT_TEXT_ENTER, field->GetId());
        event.SetEventObject(field);
        field->ProcessWindowEvent(event);
    };
    dialog.newField()->SetValue(wxS("ab"));
    enter(dialog.newField());
    pumpUntil([&] { return wxWindow::FindFocus() == dialog.confirmField(); }, 1000);
    EXPECT_EQ(wxWindow::FindFocus(), dialog.confirmField());
    // Enter in the last field is OK: too short, so the dialog says so.
    wxTEST_DIALOG(enter(dialog.confirmField()), ExpectMyMessage(text(wxS("s.pwd.lengthError"))));
}

TEST_F(Password, CommandReKeysASavedDocument) {
    const wxString path = savedDocument(wxS("old"));
    auto* frame = new MainFrame(wxS("t"), wxPoint(0, 0), wxSize(800, 600), 200);
    frame->Show();
    Database& db = frame->database();
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    bool unlocked = false;
    wxTEST_DIALOG(unlocked = unlockDocument(frame, db), ExpectPassword([](PasswordDialog* d) {
                      EXPECT_EQ(d->mode(), PasswordDialog::MODE_OPEN);
                      d->newField()->SetValue(wxS("old"));
                      return d->acceptInput() ? 4 : 16;
                  }));
    ASSERT_TRUE(unlocked);
    EXPECT_EQ(db.getBlock(1)->getString(K_cap), wxS("Secret"));
    frame->enableDocumentMenus(true);

    // Re-keyed into the sealed scheme unless the weak one is ticked.
    wxTEST_DIALOG(frame->changePassword(), ExpectPassword([](PasswordDialog* d) {
                      EXPECT_EQ(d->mode(), PasswordDialog::MODE_CHANGE);
                      EXPECT_TRUE(d->compatibleBox() && !d->compatibleBox()->GetValue());
                      d->currentField()->SetValue(wxS("old"));
                      d->newField()->SetValue(wxS("fresh"));
                      d->confirmField()->SetValue(wxS("fresh"));
                      return d->acceptInput() ? 4 : 16;
                  }),
                  ExpectMyMessage(text(wxS("s.pwd.protect"))));
    EXPECT_EQ(db.getString(K_c_algo), wxString::FromAscii(kSealedAlgo));
    EXPECT_NE(db.getString(K_pwd), passwordVerifier(wxS("fresh"), db.dbid()));
    db.close();
    EXPECT_FALSE(opens(path, wxS("old"), false));
    EXPECT_FALSE(opens(path, wxS("Fresh"), false));
    EXPECT_TRUE(opens(path, wxS("fresh"), true));

    // The weak form older versions read, with the "cryptopt" letters.
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    wxTEST_DIALOG(unlockDocument(frame, db), ExpectPassword([](PasswordDialog* d) {
                      d->newField()->SetValue(wxS("fresh"));
                      return d->acceptInput() ? 4 : 16;
                  }));
    wxTEST_DIALOG(frame->changePassword(), ExpectPassword([](PasswordDialog* d) {
                      d->currentField()->SetValue(wxS("fresh"));
                      d->newField()->SetValue(wxS("weak"));
                      d->confirmField()->SetValue(wxS("weak"));
                      d->compatibleBox()->SetValue(true);
                      return d->acceptInput() ? 4 : 16;
                  }),
                  ExpectMyMessage(text(wxS("s.pwd.protect"))));
    EXPECT_EQ(db.getString(K_c_algo), wxS("arcfour,md5,") + settings().get(wxS("cryptopt")));
    EXPECT_EQ(db.getString(K_pwd), passwordVerifier(wxS("weak"), db.dbid()));
    EXPECT_TRUE(db.getString(K_c_salt).empty());
    db.close();
    EXPECT_FALSE(opens(path, wxS("fresh"), false));
    EXPECT_TRUE(opens(path, wxS("weak"), true));

    // Removing the protection: both new fields empty and Yes.
    ASSERT_EQ(db.open(path), Database::OPEN_OK);
    wxTEST_DIALOG(unlockDocument(frame, db), ExpectPassword([](PasswordDialog* d) {
                      d->newField()->SetValue(wxS("weak"));
                      return d->acceptInput() ? 4 : 16;
                  }));
    wxTEST_DIALOG(frame->changePassword(), ExpectPassword([](PasswordDialog* d) {
                      d->currentField()->SetValue(wxS("weak"));
                      return d->acceptInput() ? 4 : 16;
                  }),
                  ExpectMyMessage(text(wxS("s.pwd.remove")), MSG_YES),
                  ExpectMyMessage(text(wxS("s.pwd.free"))));
    db.close();
    Database plain;
    ASSERT_EQ(plain.open(path), Database::OPEN_OK);
    EXPECT_TRUE(plain.getString(K_pwd).empty());
    EXPECT_TRUE(plain.getString(K_c_algo).empty());
    EXPECT_TRUE(unlockDocument(nullptr, plain)); // nothing to ask
    EXPECT_EQ(plain.getBlock(1)->getString(K_cap), wxS("Secret"));
}

TEST_F(Password, NeverSavedDocumentIsOfferedASave) {
    auto* frame = new MainFrame(wxS("t"), wxPoint(0, 0), wxSize(800, 600), 200);
    Database& db = frame->database();
    db.newDocument();
    db.setString(K_dbid, wxS("{3f2504e0-4f89-11d3-9a0c-0305e82c3301}"));
    frame->enableDocumentMenus(true);
    wxTEST_DIALOG(
        frame->changePassword(), ExpectPassword([](PasswordDialog* d) {
            EXPECT_EQ(d->mode(), PasswordDialog::MODE_NEW);
            d->newField()->SetValue(wxS("abc"));
            d->confirmField()->SetValue(wxS("abc"));
            d->compatibleBox()->SetValue(true); // the legacy verifier is checked below
            return d->acceptInput() ? 4 : 16;
        }),
        ExpectMyMessage(text(wxS("s.pwd.protect")) + wxS("\n") + text(wxS("s.SaveChanges?")),
                        MSG_NO));
    // MD5("abc" + dbid), worked out with another MD5.
    EXPECT_EQ(db.getString(K_pwd), wxS("41bda82d6f40f1472b4bdda2d055da81"));
    EXPECT_TRUE(db.isNew()); // nothing was written
}

TEST_F(Password, OpeningChecksTheAlgorithms) {
    struct Case {
        const char* algo;
        bool supported;
    };
    const Case cases[] = {
        {"arcfour,md5,rr", true}, {"md5,md5,", true}, {"des,md5,", false},
        {"arcfour,sha1,", false}, {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.algo);
        Database db;
        db.newDocument();
        protect(db, wxS("secret"));
        db.setString(K_c_algo, wxString::FromUTF8(c.algo));
        bool ok = true;
        if (c.supported) {
            wxTEST_DIALOG(ok = unlockDocument(nullptr, db),
                          ExpectPassword([](PasswordDialog*) { return 16; }));
        } else {
            wxTEST_DIALOG(ok = unlockDocument(nullptr, db),
                          ExpectMyMessage(text(wxS("s.pwd.notSupported"))));
        }
        EXPECT_FALSE(ok);
        EXPECT_FALSE(db.isOpen());
    }
}

} // namespace
} // namespace qn::test
