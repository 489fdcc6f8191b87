// Where the log lines of the desktop program go: the engine's lines
// ("Database::saveOneBlock update 13") and the toolkit's are for developers.
// They go to standard error and into a log file in the user's data folder,
// never into a window: the program's own message boxes speak to the user.
#pragma once

#include <wx/log.h>
#include <wx/string.h>

namespace qn {

class ProgramLog : public wxLog {
public:
    // `file` may be empty (standard error only).  A file that cannot be
    // written is left out without a word: the log must never fail anything.
    explicit ProgramLog(const wxString& file);
    const wxString& file() const { return file_; }

    // The file is renamed to FILE.old when it grows beyond this, so that it
    // never takes more than twice as much.
    static constexpr long kMaxBytes = 1 << 20;

protected:
    void DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo& info) override;

private:
    void append(const wxString& line);
    wxString file_;
};

// The log file of the desktop program in the data folder `dataDir`.
wxString programLogFile(const wxString& dataDir);

} // namespace qn
