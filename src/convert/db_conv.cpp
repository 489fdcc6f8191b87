#include "convert/db_conv.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/placeholders.h"
#include "app/text_constants.h"
#include "convert/converter_rules.h"
#include "store/legacy.h"
#include "store/safe_file.h"
#include "ui/chosen_file.h"
#include "ui/command_ids.h"
#include "ui/my_message.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filedlg.h>
#include <wx/filefn.h>
#include <wx/log.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/textdlg.h>
#include <wx/utils.h>

#include <cerrno>

namespace qn {

DBConv::DBConv(wxWindow* parent, const wxString& source) : wxDialog(parent, wxID_ANY, wxString()) {
    texts_.load(converterTextsFile(appDataDir(), systemLanguageCode()));
    if (!texts_.isLoaded())
        wxMessageBox(wxS("DBConv_constt.ini file not found."), wxS("Quillnest DBConv"),
                     wxOK | wxICON_ERROR, parent);
    SetTitle(convText(wxS("title")));

    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(new wxStaticText(this, wxID_ANY, convText(wxS("message"))), 0, wxALL, 10);

    auto* grid = new wxFlexGridSizer(3, 5, 5);
    auto row = [&](const wxString& label, int buttonId) {
        grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
        auto* entry =
            new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxSize(250, -1));
        grid->Add(entry, 1, wxEXPAND);
        // As narrow as its label allows: the theme's padding does not fit
        // into 25 pixels.
        grid->Add(new wxButton(this, buttonId, convText(wxS(">>")), wxDefaultPosition,
                               wxSize(25, -1), wxBU_EXACTFIT));
        return entry;
    };
    source_ = row(convText(wxS("source")), ID_SOURCE_BUTTON);
    dest_ = row(convText(wxS("dest")), ID_DEST_BUTTON);
    grid->AddGrowableCol(1);
    top->Add(grid, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);
    // A protected document is sealed again unless the weak form is asked for.
    compatible_ = new wxCheckBox(this, wxID_ANY, convText(wxS("compatible")));
    compatible_->SetValue(false);
    top->Add(compatible_, 0, wxLEFT | wxRIGHT | wxTOP, 10);
    top->Add(new wxStaticLine(this), 0, wxALL | wxEXPAND, 10);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* convert = new wxButton(this, ID_CONVERT, convText(wxS("convert")));
    buttons->Add(convert, 0, wxRIGHT, 10);
    buttons->Add(new wxButton(this, ID_CANCEL_BUTTON, convText(wxS("cancel"))));
    top->Add(buttons, 0, wxBOTTOM | wxALIGN_CENTER_HORIZONTAL, 10);
    SetSizerAndFit(top);
    Centre();

    // Enter converts, Escape cancels.
    convert->SetDefault();
    SetAffirmativeId(ID_CONVERT);
    SetEscapeId(ID_CANCEL_BUTTON);

    if (!source.empty()) {
        source_->SetValue(source);
        dest_->SetValue(convertedName(source));
    }
    convert->SetFocus();

    Bind(wxEVT_BUTTON, &DBConv::onSourceButton, this, ID_SOURCE_BUTTON);
    Bind(wxEVT_BUTTON, &DBConv::onDestButton, this, ID_DEST_BUTTON);
    Bind(wxEVT_BUTTON, &DBConv::onConvert, this, ID_CONVERT);
    Bind(wxEVT_BUTTON, &DBConv::onCancel, this, ID_CANCEL_BUTTON);
}

wxString DBConv::convText(const wxString& key) const {
    auto it = texts_.entries().find(key);
    return it == texts_.entries().end() ? wxString() : it->second;
}

int DBConv::tell(const wxString& message, long style) {
    return showMessage(message, convText(wxS("title")), style, this);
}

void DBConv::onSourceButton(wxCommandEvent&) {
    wxFileDialog dialog(this, convText(wxS("selectFile")), wxString(), wxString(),
                        wxS("Quillnest files (*.qudb)|*.qudb|All files (*.*)|*.*"),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return;
    const wxString path = chosenPath(dialog.GetPath(), dialog.GetDirectory(), dialog.GetFilename());
    if (path.empty()) return;
    source_->SetValue(path);
    dest_->SetValue(convertedName(path));
    confirmedDest_.clear();
}

void DBConv::onDestButton(wxCommandEvent&) {
    wxFileDialog dialog(this, convText(wxS("enterAFilename")), wxString(), wxString(),
                        wxS("Quillnest files (*.q2db)|*.q2db|All files (*.*)|*.*"),
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return;
    const wxString path = withDefaultExtension(
        chosenPath(dialog.GetPath(), dialog.GetDirectory(), dialog.GetFilename()),
        dialog.GetFilterIndex(), wxS("q2db"));
    if (path.empty()) return;
    dest_->SetValue(path);
    // The selector has asked about replacing it already.
    confirmedDest_ = path;
}

void DBConv::onCancel(wxCommandEvent&) {
    EndModal(RESULT_CANCELLED);
}

bool DBConv::acceptEntries(const wxString& source, const wxString& destination) {
    const long error = MSG_OK | MSG_ICON_ERROR;
    switch (checkConversionPaths(source, destination)) {
    case ConversionPaths::MISSING:
        tell(convText(wxS("enterFilenames")), error);
        return false;
    case ConversionPaths::SAME_FILE:
        tell(convText(wxS("sameFilenames")), error);
        return false;
    case ConversionPaths::LEGACY_TARGET:
        tell(convText(wxS("legacyDest")), error);
        return false;
    case ConversionPaths::OK:
        break;
    }
    // A document open in a window would be overwritten by that window's
    // next save.
    if (!mayWriteFile(this, destination)) return false;
    if (wxFileExists(destination) && destination != confirmedDest_ &&
        tell(convText(wxS("outfileExists")), MSG_YES | MSG_NO | MSG_ICON_QUESTION) != MSG_YES)
        return false;
    return true;
}

bool DBConv::prepare(LegacyReader& reader, const wxString& source) {
    const long error = MSG_OK | MSG_ICON_ERROR;
    int opened;
    {
        wxBusyCursor busy;
        opened = reader.open(source);
    }
    if (opened != LegacyReader::LEGACY_OK) {
        // The file, and why it cannot be opened.
        wxString reason = convText(wxS("noFile"));
        if (opened == LegacyReader::LEGACY_VERSION)
            reason = text(wxS("s.OpenErrorVersion"));
        else if (opened == LegacyReader::LEGACY_CORRUPT)
            reason = convText(wxS("fileCorrupted"));
        else if (opened == LegacyReader::LEGACY_NOT_OPENABLE && !wxFileExists(source))
            reason = wxSysErrorMsgStr(ENOENT);
        tell(text(wxS("s.OpenErrorNotFound")) + wxS("\n\n") + source + wxS("\n\n") + reason,
             error);
        return false;
    }
    if (!reader.getBlock(0)) {
        tell(convText(wxS("fileCorrupted")), error);
        return false;
    }
    if (!reader.isProtected()) return true;
    if (!reader.algorithmsSupported()) {
        tell(convText(wxS("unsuppoertedAlgo")), error);
        return false;
    }
    const bool compatible = compatible_->GetValue();
    const wxString options = convText(wxS("cipherOption"));
    if (compatible && !validOptionLetters(options)) {
        tell(fillPlaceholders(convText(wxS("badCipherOption")), {options}), error);
        return false;
    }
    for (;;) {
        const wxString password = wxGetPasswordFromUser(convText(wxS("enterPassword")),
                                                        convText(wxS("title")), wxString(), this);
        if (password.empty()) return false;
        if (reader.checkPassword(password)) {
            if (compatible) {
                reader.unlock(password, options);
                return true;
            }
            KdfLimits limits = defaultKdfLimits();
            KdfLimits::parse(settings().get(wxS("cryptlimits")), limits);
            wxBusyCursor busy; // deriving the key takes a moment
            if (reader.unlockSealed(password, limits)) return true;
            tell(convText(wxS("noMemory")), error);
            return false;
        }
        tell(convText(wxS("passwordUnmatch")), error);
    }
}

int DBConv::convertNow() {
    const wxString source = source_->GetValue();
    const wxString destination = dest_->GetValue();
    if (!acceptEntries(source, destination)) return -1;

    LegacyReader reader;
    if (!prepare(reader, source)) return RESULT_CANCELLED;
    int result;
    int sqliteRc;
    {
        wxBusyCursor busy;
        resetSqliteFailure();
        result = reader.convert(destination);
        sqliteRc = lastSqliteFailure();
    }
    if (result != LegacyReader::CONVERT_OK) {
        wxString message = convText(wxS("failedToConvert"));
        const wxString why = conversionFailureReason(reader, sqliteRc);
        if (!why.empty()) message << wxS("\n\n") << why;
        tell(message, MSG_OK | MSG_ICON_ERROR);
        return RESULT_CANCELLED;
    }
    if (reader.damagedBodies() > 0)
        tell(fillPlaceholders(convText(wxS("damagedBodies")),
                              {wxString::Format(wxS("%d"), reader.damagedBodies())}),
             MSG_OK | MSG_ICON_WARNING);
    reader.close();

    if (wxWindow* parent = GetParent()) {
        // The window registry and the recent files keep full paths.
        wxFileName full(destination);
        full.MakeAbsolute();
        auto* open = new wxCommandEvent(wxEVT_MENU, ID_OPEN_PATH);
        open->SetString(full.GetFullPath());
        parent->GetEventHandler()->QueueEvent(open);
    }
    return RESULT_CONVERTED;
}

void DBConv::onConvert(wxCommandEvent&) {
    const int result = convertNow();
    if (result >= 0) EndModal(result);
}

} // namespace qn
