// The preferences dialog through its command: changes reach the settings,
// the favourites and the document; a typo or Cancel writes nothing; OK
// without changes leaves the document unmodified.
#include "windows_gui_util.h"

#include "app/app_config.h"
#include "app/file_list.h"
#include "app/ini_file.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "frame/main_frame.h"
#include "prefs/colour_box.h"
#include "prefs/font_box.h"
#include "prefs/pref_panels.h"
#include "prefs/preferences_dialog.h"
#include "tree/tree_panel.h"
#include "ui/command_ids.h"

#include <wx/checkbox.h>
#include <wx/colordlg.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/fontdlg.h>
#include <wx/settings.h>
#include <wx/notebook.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <dlfcn.h>

#include <functional>
#include <stdexcept>

template <>
class wxExpectModal<qn::PreferencesDialog> : public wxExpectModalBase<qn::PreferencesDialog> {
public:
    explicit wxExpectModal(std::function<int(qn::PreferencesDialog*)> answer)
        : answer_(std::move(answer)) {}

protected:
    int OnInvoked(qn::PreferencesDialog* dialog) const override { return answer_(dialog); }

private:
    std::function<int(qn::PreferencesDialog*)> answer_;
};

// The font chooser, answered as a user who changes only the size.
template <> class wxExpectModal<wxFontDialog> : public wxExpectModalBase<wxFontDialog> {
public:
    explicit wxExpectModal(int pointSize) : pointSize_(pointSize) {}

protected:
    int OnInvoked(wxFontDialog* dialog) const override {
        wxFont font = dialog->GetFontData().GetInitialFont();
        font.SetPointSize(pointSize_);
        dialog->GetFontData().SetChosenFont(font);
        return wxID_OK;
    }

private:
    int pointSize_;
};

template <> class wxExpectModal<wxColourDialog> : public wxExpectModalBase<wxColourDialog> {
public:
    explicit wxExpectModal(const wxColour& colour) : colour_(colour) {}

protected:
    int OnInvoked(wxColourDialog* dialog) const override {
        // The GTK dialog takes its answer from the native chooser even when
        // a hook answered it: pick the colour there, as a user would.
        struct Rgba {
            double red, green, blue, alpha;
        } rgba{colour_.Red() / 255.0, colour_.Green() / 255.0, colour_.Blue() / 255.0, 1.0};
        using Selection = void* (*)(void*);
        using SetRgba = void (*)(void*, const Rgba*);
        auto selection = reinterpret_cast<Selection>(
            dlsym(RTLD_DEFAULT, "gtk_color_selection_dialog_get_color_selection"));
        auto set =
            reinterpret_cast<SetRgba>(dlsym(RTLD_DEFAULT, "gtk_color_selection_set_current_rgba"));
        if (!selection || !set) throw std::runtime_error("no GTK colour selection");
        set(selection(dialog->GetHandle()), &rgba);
        dialog->GetColourData().SetColour(colour_);
        return wxID_OK;
    }

private:
    wxColour colour_;
};

namespace qn {
namespace {

using test::ExpectMyMessage;

class Preferences : public test::DocumentTest {
protected:
    void SetUp() override {
        test::DocumentTest::SetUp();
        saved = settings().entries();
        savedFavourites = favourites().entries();
        savedLimit = recentFiles().limit();
    }
    void TearDown() override {
        for (const auto& [key, value] : saved)
            settings().set(key, value);
        favourites().clear();
        for (const wxString& f : savedFavourites)
            favourites().append(f);
        recentFiles().setLimit(savedLimit);
        test::DocumentTest::TearDown();
    }
    void runCommand(std::function<int(PreferencesDialog*)> answer) {
        wxCommandEvent event(wxEVT_MENU, ID_PREFERENCES);
        wxTEST_DIALOG(frame->ProcessWindowEvent(event),
                      wxExpectModal<PreferencesDialog>(std::move(answer)));
    }
    static int confirm(PreferencesDialog* d) { return d->apply() ? wxID_OK : wxID_CANCEL; }

    IniFile::Entries saved;
    std::vector<wxString> savedFavourites;
    int savedLimit = 0;
};

TEST_F(Preferences, ConfirmingWithoutChangesWritesNothing) {
    saveNewDocument(dir.file(wxS("doc.q2db")));
    db->setInt(K_comp, 1);
    ASSERT_TRUE(db->save());
    const wxString fname = db->getString(K_Fname), fc = db->getString(K_fc);
    runCommand([](PreferencesDialog* d) {
        EXPECT_TRUE(d->defaultsPage()->compress()->GetValue());
        return confirm(d);
    });
    EXPECT_FALSE(db->isModified());
    EXPECT_EQ(db->getString(K_Fname), fname);
    EXPECT_EQ(db->getString(K_fc), fc);
    EXPECT_EQ(settings().entries(), saved);
    EXPECT_EQ(favourites().entries(), savedFavourites);
}

TEST_F(Preferences, ATypoWritesNothingAndKeepsTheDialog) {
    saveNewDocument(dir.file(wxS("doc.q2db")));
    runCommand([](PreferencesDialog* d) {
        UserSettingsPanel* page = d->settingsPage();
        page->numberField(0)->SetValue(wxS("5"));
        page->numberField(1)->SetValue(wxS("1o"));
        page->saveFlagBox(0)->SetValue(!page->saveFlagBox(0)->GetValue());
        d->favouritesPage()->list()->SetValue(wxS("/x.q2db\n"));
        bool accepted = true;
        wxTEST_DIALOG(accepted = d->apply(),
                      ExpectMyMessage(fillPlaceholders(
                          text("pref.NumberInvalid"),
                          {fieldName(text("pref.MaxRecentFiles")), wxS("1"), wxS("100")})));
        EXPECT_FALSE(accepted);
        return wxID_CANCEL;
    });
    EXPECT_EQ(settings().entries(), saved);
    EXPECT_EQ(favourites().entries(), savedFavourites);
    EXPECT_EQ(recentFiles().limit(), savedLimit);
}

TEST_F(Preferences, ChangesReachSettingsFavouritesAndDocument) {
    saveNewDocument(dir.file(wxS("doc.q2db")));
    db->setString(K_Fname, wxS("DejaVu Sans"));
    db->setInt(K_Fsize, 10);
    db->setString(K_Fattr, wxS("BI"));
    db->setInt(K_comp, 0);
    ASSERT_TRUE(db->save());
    settings().set(wxS("save"), wxS("10"));
    runCommand([](PreferencesDialog* d) {
        UserSettingsPanel* page = d->settingsPage();
        EXPECT_TRUE(page->saveFlagBox(0)->GetValue());
        EXPECT_FALSE(page->saveFlagBox(3)->GetValue());
        page->numberField(0)->SetValue(wxS("12"));
        page->numberField(1)->SetValue(wxS("3"));
        page->numberField(2)->SetValue(wxS("40"));
        for (int i = 0; i < 4; ++i)
            page->saveFlagBox(i)->SetValue(true);
        EXPECT_FALSE(page->loadRemoteImagesBox()->GetValue());
        page->loadRemoteImagesBox()->SetValue(true);
        d->favouritesPage()->list()->SetValue(wxS("/a.q2db\n\n/b.q2db"));
        DefaultsPanel* defaults = d->defaultsPage();
        defaults->compress()->SetValue(true);
        wxTEST_DIALOG(defaults->articleFont()->choose(), wxExpectModal<wxFontDialog>(14));
        wxTEST_DIALOG(defaults->navigationBackground()->choose(),
                      wxExpectModal<wxColourDialog>(wxColour(0x12, 0x34, 0x56)));
        wxTEST_DIALOG(page->captionText()->choose(),
                      wxExpectModal<wxColourDialog>(wxColour(0xAB, 0xCD, 0xEF)));
        return confirm(d);
    });
    IniFile& s = settings();
    EXPECT_EQ(s.get(wxS("maxTextHistory")), wxS("12"));
    EXPECT_EQ(s.get(wxS("maxrecent")), wxS("3"));
    EXPECT_EQ(s.get(wxS("maxSearchCount")), wxS("40"));
    EXPECT_EQ(s.get(wxS("save")), wxS("1111"));
    EXPECT_EQ(s.get(wxS("remoteImages")), wxS("1"));
    EXPECT_EQ(s.get(wxS("c.caption.text")), wxS("ABCDEF"));
    EXPECT_EQ(s.get(wxS("c.caption.back")), saved[wxS("c.caption.back")]);
    EXPECT_EQ(recentFiles().limit(), 3);
    EXPECT_EQ(favourites().entries(), (std::vector<wxString>{wxS("/a.q2db"), wxS("/b.q2db")}));
    // Only the size was changed: the style stays, written in I, B order.
    EXPECT_EQ(db->getInt(K_Fsize), 14);
    EXPECT_EQ(db->getString(K_Fattr), wxS("IB"));
    EXPECT_EQ(db->getString(K_Tbg), wxS("123456"));
    EXPECT_EQ(frame->treePanel()->GetBackgroundColour(), wxColour(0x12, 0x34, 0x56));
    EXPECT_EQ(db->getInt(K_comp), 1);
    EXPECT_TRUE(db->isModified());
}

// The colour chooser, checked for the colour it starts at, then cancelled.
class ExpectColourChooserAt : public wxExpectModalBase<wxColourDialog, ExpectColourChooserAt> {
public:
    explicit ExpectColourChooserAt(const wxColour& start) : start_(start) {}

protected:
    int OnInvoked(wxColourDialog* dialog) const override {
        EXPECT_EQ(dialog->GetColourData().GetColour(), start_);
        return wxID_CANCEL;
    }

private:
    wxColour start_;
};

// Swatches and font labels are fields of their own: Tab reaches them,
// Space and Enter open their choosers, the font label names the style; the
// favourites name paths that lead nowhere.
TEST_F(Preferences, TheChoosersWorkFromTheKeyboard) {
    saveNewDocument(dir.file(wxS("doc.q2db")));
    db->setString(K_Fname, wxS("DejaVu Sans"));
    db->setInt(K_Fsize, 10);
    db->setString(K_Fattr, wxS("BI"));
    db->setString(K_bg, wxS("102030"));
    const wxString there = dir.file(wxS("doc.q2db"));
    runCommand([&](PreferencesDialog* d) {
        DefaultsPanel* defaults = d->defaultsPage();
        auto press = [](wxWindow* w, int key) {
            wxKeyEvent event(wxEVT_CHAR_HOOK);
            event.m_keyCode = key;
            event.SetEventObject(w);
            w->GetEventHandler()->ProcessEvent(event);
        };
        ColourBox* back = defaults->articleBackground();
        // GTK's own Tab step (GTK_DIR_TAB_FORWARD) goes from the font label
        // to the first swatch and on to the second.
        using ChildFocus = int (*)(void*, int);
        auto childFocus =
            reinterpret_cast<ChildFocus>(dlsym(RTLD_DEFAULT, "gtk_widget_child_focus"));
        EXPECT_NE(childFocus, nullptr);
        d->notebook()->SetSelection(2);
        d->Show(); // as the modal loop would
        test::pump();
        defaults->articleFont()->SetFocus();
        test::pump();
        EXPECT_EQ(wxWindow::FindFocus(), defaults->articleFont());
        if (childFocus) childFocus(d->GetHandle(), 0);
        test::pump();
        EXPECT_EQ(wxWindow::FindFocus(), defaults->articleText());
        if (childFocus) childFocus(d->GetHandle(), 0);
        test::pump();
        EXPECT_EQ(wxWindow::FindFocus(), back);
        // The swatch with the focus shows it: a frame in the selection colour.
        back->Refresh();
        back->Update();
        test::pump();
        {
            const wxRect r = back->GetScreenRect();
            wxBitmap shot(r.width, r.height);
            wxMemoryDC mem(shot);
            wxScreenDC screen;
            mem.Blit(0, 0, r.width, r.height, &screen, r.x, r.y);
            mem.SelectObject(wxNullBitmap);
            const wxImage image = shot.ConvertToImage();
            const wxColour frame = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
            // One pixel into the client area, half way down.
            const wxPoint at = back->ClientToScreen(wxPoint(1, back->GetClientSize().y / 2)) -
                               r.GetTopLeft();
            const wxColour seen(image.GetRed(at.x, at.y), image.GetGreen(at.x, at.y),
                                image.GetBlue(at.x, at.y));
            EXPECT_EQ(seen, frame) << seen.GetAsString().utf8_string();
        }
        wxTEST_DIALOG(press(back, WXK_SPACE), ExpectColourChooserAt(back->colour()));
        EXPECT_EQ(back->colour(), wxColour(0x10, 0x20, 0x30));
        wxTEST_DIALOG(press(defaults->articleFont(), WXK_RETURN), wxExpectModal<wxFontDialog>(12));
        const wxString label = defaults->articleFont()->label();
        EXPECT_NE(label.Find(text("pref.Bold")), wxNOT_FOUND) << label.utf8_string();
        EXPECT_NE(label.Find(text("pref.Italic")), wxNOT_FOUND) << label.utf8_string();
        EXPECT_NE(label.Find(wxS("12")), wxNOT_FOUND) << label.utf8_string();

        FavouriteFilesPanel* fav = d->favouritesPage();
        fav->list()->SetValue(there + wxS("\n/nowhere/gone.q2db\n"));
        EXPECT_NE(fav->missingPaths()->GetLabel().Find(wxS("/nowhere/gone.q2db")), wxNOT_FOUND);
        EXPECT_EQ(fav->missingPaths()->GetLabel().Find(there), wxNOT_FOUND);
        d->Hide();
        return wxID_CANCEL;
    });
}

TEST_F(Preferences, CancelWritesNothing) {
    saveNewDocument(dir.file(wxS("doc.q2db")));
    runCommand([](PreferencesDialog* d) {
        d->settingsPage()->numberField(1)->SetValue(wxS("2"));
        d->defaultsPage()->compress()->SetValue(!d->defaultsPage()->compress()->GetValue());
        d->favouritesPage()->list()->SetValue(wxS("/z.q2db\n"));
        return wxID_CANCEL;
    });
    EXPECT_EQ(settings().entries(), saved);
    EXPECT_EQ(favourites().entries(), savedFavourites);
    EXPECT_FALSE(db->isModified());
}

TEST_F(Preferences, WithoutADocumentOnlyTheProgramSettingsChange) {
    runCommand([](PreferencesDialog* d) {
        EXPECT_FALSE(d->defaultsPage()->IsEnabled());
        d->settingsPage()->numberField(2)->SetValue(wxS("0"));
        return confirm(d);
    });
    EXPECT_EQ(settings().get(wxS("maxSearchCount")), wxS("0"));
    EXPECT_FALSE(db->isOpen());
}

} // namespace
} // namespace qn
