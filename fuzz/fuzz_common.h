// Helpers shared by the fuzz targets.
#pragma once

#include <wx/log.h>
#include <wx/string.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace qn::fuzz {

// The password every protected seed uses, so mutations keep reaching the
// deciphering paths.
inline const wxString& password() {
    static const wxString pw = wxS("fuzz-password");
    return pw;
}

// A scratch folder of this process, in memory when the system offers one.
inline std::string scratch(const char* name) {
    static const std::string base = [] {
        const char* shm = "/dev/shm";
        std::string dir = access(shm, W_OK) == 0 ? shm : "/tmp";
        return dir + "/qn_fuzz_" + std::to_string(getpid()) + "_";
    }();
    return base + name;
}

inline bool writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// The engine reports failed statements through the log; mutated files fail
// many, and printing them only slows the run down.
inline void quietLogs() {
    wxLog::EnableLogging(false);
}

} // namespace qn::fuzz
