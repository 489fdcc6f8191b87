#include "app/program_log.h"

#include <wx/datetime.h>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace qn {

ProgramLog::ProgramLog(const wxString& file) : file_(file) {}

wxString programLogFile(const wxString& dataDir) {
    return dataDir.empty() ? wxString() : dataDir + wxS("quillnest.log");
}

void ProgramLog::DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo&) {
    const wxChar* kind = level <= wxLOG_Error     ? wxS("error")
                         : level == wxLOG_Warning ? wxS("warning")
                                                  : wxS("info");
    const wxString line =
        wxDateTime::Now().FormatISOCombined(' ') + wxS(" ") + kind + wxS(": ") + msg + wxS("\n");
    const wxScopedCharBuffer bytes = line.utf8_str();
    std::fwrite(bytes.data(), 1, bytes.length(), stderr);
    append(line);
}

void ProgramLog::append(const wxString& line) {
    if (file_.empty()) return;
    const std::string name(file_.fn_str());
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && st.st_size > kMaxBytes)
        ::rename(name.c_str(), (name + ".old").c_str());
    // The lines name documents and folders: for the user alone.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const wxScopedCharBuffer bytes = line.utf8_str();
    if (::write(fd, bytes.data(), bytes.length()) < 0) {
        // Nowhere to say so: standard error has the line already.
    }
    ::close(fd);
}

} // namespace qn
