#include "app/platform.h"

#include <wx/filename.h>
#include <wx/utils.h>

#include <cerrno>
#include <cstring>
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

namespace {

// Longest path a Unix-domain socket may have (sun_path less its final zero).
constexpr size_t kMaxSocketPath = 107;

// `dir` made if missing; usable when it is ours and closed to others (an
// open one of ours is closed).  Someone else's folder is never taken over.
bool claimPrivateDir(const wxString& dir) {
    if (mkdir(dir.fn_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (lstat(dir.fn_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && chmod(dir.fn_str(), 0700) != 0) return false;
    return isPrivateDir(dir);
}

bool fitsSocket(const wxString& dir) {
    return strlen(dir.fn_str()) + 1 + strlen("Quillnest2") <= kMaxSocketPath;
}

// The user's cache folder: $XDG_CACHE_HOME when absolute, else ~/.cache.
wxString userCacheDir() {
    wxString cache;
    if (wxGetEnv(wxS("XDG_CACHE_HOME"), &cache) && wxFileName(cache).IsAbsolute()) return cache;
    wxString home;
    if (const passwd* pw = getpwuid(geteuid())) {
        if (pw->pw_dir && *pw->pw_dir) home = wxString(pw->pw_dir, *wxConvFileName);
    }
    if (home.empty() && !wxGetEnv(wxS("HOME"), &home)) return wxString();
    if (!wxFileName(home).IsAbsolute()) return wxString();
    return home + wxS("/.cache");
}

} // namespace

wxString userRuntimeDir() {
    wxString runtime;
    if (wxGetEnv(wxS("XDG_RUNTIME_DIR"), &runtime) && wxFileName(runtime).IsAbsolute() &&
        isPrivateDir(runtime)) {
        while (runtime.length() > 1 && runtime.Last() == '/')
            runtime.RemoveLast();
        if (fitsSocket(runtime)) return runtime;
    }

    const wxString uid = wxString::Format(wxS("%lu"), static_cast<unsigned long>(geteuid()));
    const wxString temp = wxFileName::GetTempDir() + wxS("/quillnest-") + uid;
    if (fitsSocket(temp) && claimPrivateDir(temp)) return temp;

    // Someone else holds that name in the shared temporary folder: the
    // user's own cache folder, where no one else can create anything.
    wxString cache = userCacheDir();
    while (cache.length() > 1 && cache.Last() == '/')
        cache.RemoveLast();
    if (cache.empty()) return wxString();
    if (!wxDirExists(cache)) wxFileName::Mkdir(cache, 0700, wxPATH_MKDIR_FULL);
    struct stat st {};
    if (stat(cache.fn_str(), &st) != 0 || st.st_uid != geteuid() || (st.st_mode & 002) != 0)
        return wxString();
    const wxString own = cache + wxS("/quillnest-") + uid;
    if (fitsSocket(own) && claimPrivateDir(own)) return own;
    return wxString();
}

} // namespace qn
