// Small helpers shared by the unit tests.
#pragma once

#include <wx/filename.h>
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
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace qn::test
