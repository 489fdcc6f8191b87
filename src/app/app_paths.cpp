#include "app/app_paths.h"

#include <wx/filename.h>
#include <wx/utils.h>

#include <filesystem>
#include <system_error>

namespace qn {

namespace {

wxString& storedDir() {
    static wxString dir;
    return dir;
}

wxString withSeparator(const wxString& dir) {
    if (dir.empty() || dir.Last() == wxFileName::GetPathSeparator()) return dir;
    return dir + wxFileName::GetPathSeparator();
}

std::filesystem::path fsPath(const wxString& s) {
    return std::filesystem::path(std::string(s.fn_str()));
}

bool isDir(const wxString& dir) {
    return !dir.empty() && wxFileName::DirExists(dir);
}

} // namespace

wxString appDataDir() {
    if (storedDir().empty()) storedDir() = defaultAppDataDir();
    return storedDir();
}

void setAppDataDir(const wxString& dir) {
    storedDir() = withSeparator(dir);
}

wxString appFile(const wxString& name) {
    return appDataDir() + name;
}

wxString defaultAppDataDir() {
    wxString home;
    if (wxGetEnv(wxS("QUILLNEST_HOME"), &home) && !home.empty()) return withSeparator(home);

    // The per-user data folder of the program stands for the system-wide
    // configuration folder; its parent gets the "Quillnest" folder.
    wxString base;
    if (!wxGetEnv(wxS("XDG_DATA_HOME"), &base) || base.empty() || !wxIsAbsolutePath(base))
        base = wxFileName::GetHomeDir() + wxS("/.local/share");
    while (base.length() > 1 && base.Last() == '/')
        base.RemoveLast();
    const wxString configDir = base + wxS("/quillnest");
    const wxString parent = configDir.substr(0, configDir.rfind(wxS('/')) + 1);
    return parent + wxS("Quillnest") + wxFileName::GetPathSeparator();
}

wxString shippedDataDir() {
    wxString env;
    if (wxGetEnv(wxS("QUILLNEST_DATA"), &env) && isDir(env)) return withSeparator(env);

    // Installed: <prefix>/bin/quillnest next to <prefix>/share/quillnest.
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path installed =
            exe.parent_path().parent_path() / "share" / "quillnest";
        const wxString dir = wxString(installed.string().c_str(), *wxConvFileName);
        if (isDir(dir)) return withSeparator(dir);
    }
#ifdef QN_BUILD_DATA_DIR
    if (isDir(wxS(QN_BUILD_DATA_DIR))) return withSeparator(wxS(QN_BUILD_DATA_DIR));
#endif
#ifdef QN_INSTALL_DATA_DIR
    if (isDir(wxS(QN_INSTALL_DATA_DIR))) return withSeparator(wxS(QN_INSTALL_DATA_DIR));
#endif
    return wxString();
}

bool prepareAppDataDir(const wxString& dir, wxString* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target = fsPath(dir);
    if (fs::exists(target, ec)) {
        if (!fs::is_directory(target, ec)) {
            if (error) *error = dir + wxS(" is not a folder");
            return false;
        }
        if (!fs::is_empty(target, ec)) return true;
    }
    const wxString source = shippedDataDir();
    if (source.empty()) {
        if (error) *error = wxS("the shipped configuration was not found");
        return false;
    }
    fs::create_directories(target, ec);
    if (ec) {
        if (error) *error = wxString::FromUTF8(ec.message().c_str());
        return false;
    }
    fs::copy(fsPath(source), target, fs::copy_options::recursive, ec);
    if (ec) {
        if (error) *error = wxString::FromUTF8(ec.message().c_str());
        return false;
    }
    return true;
}

} // namespace qn
