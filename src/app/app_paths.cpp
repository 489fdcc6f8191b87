#include "app/app_paths.h"

#include <wx/filename.h>
#include <wx/utils.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>
#include <vector>

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

const char* const kStamp = "data.version";

bool readBytes(const std::filesystem::path& file, std::string& out) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    out = buffer.str();
    return !in.bad();
}

// Writes beside the target and renames over it: the old file stays whole
// until the new one is complete.
bool writeBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::path temp = file;
    temp += ".$$$";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) std::filesystem::remove(temp, ec);
    return !ec;
}

// Lines split at LF, CR LF or CR, without their ends.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            out.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) out.push_back(line);
    return out;
}

// The key of a key=value line; false for comments and lines without "=".
bool keyOf(const std::string& line, std::string& key) {
    if (line.empty() || line[0] == '#' || line[0] == ';') return false;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = line.substr(0, eq);
    return true;
}

} // namespace

std::string addMissingKeys(const std::string& user, const std::string& shipped) {
    std::set<std::string> present;
    std::string key;
    for (const std::string& line : lines(user))
        if (keyOf(line, key)) present.insert(key);
    std::string out = user;
    for (const std::string& line : lines(shipped)) {
        if (!keyOf(line, key) || !present.insert(key).second) continue;
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += '\n';
        out += line;
        out += '\n';
    }
    return out;
}

int dataVersion(const wxString& dir) {
    std::string text;
    if (!readBytes(fsPath(dir) / kStamp, text)) return 0;
    for (const std::string& line : lines(text))
        if (!line.empty() && line[0] >= '0' && line[0] <= '9') return std::atoi(line.c_str());
    return 0;
}

bool refreshAppDataDir(const wxString& shipped, const wxString& dir, wxString* error) {
    namespace fs = std::filesystem;
    if (dataVersion(shipped) <= dataVersion(dir)) return true;
    const fs::path source = fsPath(shipped);
    const fs::path target = fsPath(dir);
    auto fail = [&](const fs::path& file) {
        if (error)
            *error =
                wxString(file.string().c_str(), *wxConvFileName) + wxS(" could not be written");
        return false;
    };
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(source, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const fs::path relative = it->path().lexically_relative(source);
        const std::string name = relative.generic_string();
        if (name == kStamp) continue; // written last
        const fs::path destination = target / relative;
        std::string shippedBytes;
        if (!readBytes(it->path(), shippedBytes)) return fail(it->path());
        if (name == "settings.ini" || name == "project.ini") {
            // The user's own files: only keys they lack are added.
            std::string userBytes;
            if (!readBytes(destination, userBytes)) continue;
            const std::string merged = addMissingKeys(userBytes, shippedBytes);
            if (merged != userBytes && !writeBytes(destination, merged)) return fail(destination);
            continue;
        }
        fs::create_directories(destination.parent_path(), ec);
        if (!writeBytes(destination, shippedBytes)) return fail(destination);
    }
    if (ec) return fail(source);
    std::string stamp;
    if (!readBytes(source / kStamp, stamp) || !writeBytes(target / kStamp, stamp))
        return fail(target / kStamp);
    return true;
}

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

wxString recoveryDir() {
    const wxString dir = appDataDir() + wxS("recovery/");
    if (!wxDirExists(dir)) wxMkdir(dir, 0700);
    return dir;
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
        if (!fs::is_empty(target, ec)) {
            const wxString source = shippedDataDir();
            return source.empty() || refreshAppDataDir(source, dir, error);
        }
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
