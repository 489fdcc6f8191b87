// Small helpers shared by the unit tests.
#pragma once

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/string.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace qn::test {

// A fresh directory under the system temporary folder, removed afterwards.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/qn-test-XXXXXX";
        // Falling back to a shared folder would remove that folder afterwards.
        if (!mkdtemp(tmpl)) throw std::runtime_error("no temporary directory");
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    wxString file(const char* name) const {
        return wxString::FromUTF8((path_ + "/" + name).c_str());
    }
    wxString file(const wxString& name) const { return file(name.utf8_str().data()); }
    // The directory itself, ending with "/".
    wxString dir() const { return wxString::FromUTF8((path_ + "/").c_str()); }
    const std::string& path() const { return path_; }

    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

private:
    std::string path_;
};

// Collects the log lines of a scope, one per line, instead of showing them.
class LogCapture : public wxLog {
public:
    LogCapture() { previous_ = wxLog::SetActiveTarget(this); }
    ~LogCapture() override { wxLog::SetActiveTarget(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    const wxString& text() const { return lines_; }
    bool contains(const wxString& part) const { return lines_.Contains(part); }

protected:
    void DoLogTextAtLevel(wxLogLevel, const wxString& msg) override { lines_ << msg << wxS("\n"); }

private:
    wxLog* previous_ = nullptr;
    wxString lines_;
};

} // namespace qn::test
