#include "app/platform.h"

#include <wx/filename.h>
#include <wx/utils.h>

#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace qn {

wxString loginName() {
    if (const passwd* pw = getpwuid(geteuid())) {
        if (pw->pw_name && *pw->pw_name) return wxString(pw->pw_name, wxConvLibc);
    }
    wxString name;
    if (wxGetEnv(wxS("USER"), &name) && !name.empty()) return name;
    if (wxGetEnv(wxS("username"), &name) && !name.empty()) return name;
    return wxString();
}

wxString instanceName() {
    return wxS("Quillnest2-") + loginName();
}

bool isPrivateDir(const wxString& dir) {
    struct stat st {};
    if (dir.empty() || lstat(dir.fn_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

wxString userRuntimeDir() {
    wxString runtime;
    if (wxGetEnv(wxS("XDG_RUNTIME_DIR"), &runtime) && wxFileName(runtime).IsAbsolute() &&
        isPrivateDir(runtime)) {
        while (runtime.length() > 1 && runtime.Last() == '/')
            runtime.RemoveLast();
        return runtime;
    }

    wxString dir = wxFileName::GetTempDir() + wxS("/quillnest-") +
                   wxString::Format(wxS("%lu"), static_cast<unsigned long>(geteuid()));
    if (mkdir(dir.fn_str(), 0700) != 0 && errno != EEXIST) return wxString();
    // An existing folder must be ours and closed; never loosen or take over
    // someone else's.
    struct stat st {};
    if (lstat(dir.fn_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return wxString();
    if ((st.st_mode & 077) != 0 && chmod(dir.fn_str(), 0700) != 0) return wxString();
    return isPrivateDir(dir) ? dir : wxString();
}

} // namespace qn
