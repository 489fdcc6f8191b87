#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/file_list.h"
#include "app/ini_file.h"
#include "app/text_constants.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace qn {
namespace {

namespace fs = std::filesystem;

// Sets or clears an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

void spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

wxString dirOf(const test::TempDir& d) {
    return wxString::FromUTF8(d.path().c_str()) + wxS("/");
}

TEST(AppPaths, DataDirectoryRule) {
    struct Case {
        const char* name;
        const char* quillnestHome;
        const char* xdgDataHome;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"override wins", "/srv/qn", "/x/data", "/home/u", "/srv/qn/"},
        {"override keeps its separator", "/srv/qn/", nullptr, "/home/u", "/srv/qn/"},
        {"xdg data home", nullptr, "/x/data", "/home/u", "/x/data/Quillnest/"},
        {"xdg with trailing slash", nullptr, "/x/data/", "/home/u", "/x/data/Quillnest/"},
        {"relative xdg is ignored", nullptr, "rel/data", "/home/u",
         "/home/u/.local/share/Quillnest/"},
        {"default", nullptr, nullptr, "/home/u", "/home/u/.local/share/Quillnest/"},
        {"empty override is ignored", "", nullptr, "/home/u", "/home/u/.local/share/Quillnest/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EnvVar a("QUILLNEST_HOME", c.quillnestHome);
        EnvVar b("XDG_DATA_HOME", c.xdgDataHome);
        EnvVar h("HOME", c.home);
        EXPECT_EQ(defaultAppDataDir(), wxString::FromUTF8(c.expected));
    }
}

TEST(AppPaths, FreshUserGetsAFilledDirectoryThatStartsUp) {
    test::TempDir tmp;
    const wxString appDir = dirOf(tmp) + wxS("new/Quillnest/");
    wxString error;
    ASSERT_TRUE(prepareAppDataDir(appDir, &error)) << error;
    for (const char* f : {"project.ini", "settings.ini", "constants.ini", "constants_de.ini",
                          "treeicons.txt", "toolbar.zip", "images/quil16.bmp", "DBConv_const.ini"})
        EXPECT_TRUE(wxFileExists(appDir + wxString::FromUTF8(f))) << f;
    EXPECT_EQ(loadConfig(appDir, wxS("en")), ConfigStatus::Ok);
    EXPECT_EQ(text("s.Title"), wxS("Quillnest"));
    EXPECT_EQ(recentFiles().limit(), settings().getInt(wxS("maxrecent")));
    unloadConfig();

    // A directory the user already has is never overwritten.
    spit(std::string(appDir.fn_str()) + "settings.ini", "maxrecent=3\n");
    ASSERT_TRUE(prepareAppDataDir(appDir));
    IniFile kept(appDir + wxS("settings.ini"));
    EXPECT_EQ(kept.entries().size(), 1u);
}

std::string slurp(const wxString& path) {
    std::ifstream in(std::string(path.fn_str()), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A data folder of an earlier version (older stamp, or none at all) is
// brought up to the shipped one at start-up: the program's own files are
// replaced, the user's settings gain only the keys they lack.
TEST(AppPaths, OlderDataFolderIsRefreshedKeepingTheUsersValues) {
    test::TempDir tmp;
    const std::string shipped = tmp.path() + "/shipped/";
    const wxString user = dirOf(tmp) + wxS("user/");
    const std::string u(user.fn_str());
    fs::create_directories(shipped + "images");
    fs::create_directories(u);
    spit(shipped + "data.version", "# stamp\n3\n");
    spit(shipped + "constants.ini", "s.Title=New\nm.File=File\n");
    spit(shipped + "images/quil16.bmp", "BM new");
    spit(shipped + "settings.ini", "# comment\nmaxrecent=10\nwindow=1,2,3,4,5\nnewKey=7\n");
    spit(shipped + "project.ini", "Fname=A\n");
    EnvVar data("QUILLNEST_DATA", shipped.c_str());

    for (const char* oldStamp :
         {static_cast<const char*>("2\n"), static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(oldStamp ? "older stamp" : "no stamp");
        if (oldStamp)
            spit(u + "data.version", oldStamp);
        else
            fs::remove(u + "data.version");
        spit(u + "constants.ini", "s.Title=Old\n");
        // CR LF line ends and no line end after the last line.
        spit(u + "settings.ini", "maxrecent=3\r\nmine=x");
        fs::remove(u + "project.ini");

        wxString error;
        ASSERT_TRUE(prepareAppDataDir(user, &error)) << error;
        EXPECT_EQ(slurp(user + wxS("constants.ini")), "s.Title=New\nm.File=File\n");
        EXPECT_EQ(slurp(user + wxS("images/quil16.bmp")), "BM new");
        EXPECT_EQ(slurp(user + wxS("settings.ini")),
                  "maxrecent=3\r\nmine=x\nwindow=1,2,3,4,5\nnewKey=7\n");
        // A user file that is missing stays missing (start-up reports it).
        EXPECT_FALSE(fs::exists(u + "project.ini"));
        EXPECT_EQ(dataVersion(user), 3);
        EXPECT_FALSE(fs::exists(u + "settings.ini.$$$"));
    }

    // Once up to date, nothing is touched again.
    spit(u + "settings.ini", "maxrecent=4\n");
    spit(u + "constants.ini", "s.Title=Mine\n");
    ASSERT_TRUE(prepareAppDataDir(user));
    EXPECT_EQ(slurp(user + wxS("settings.ini")), "maxrecent=4\n");
    EXPECT_EQ(slurp(user + wxS("constants.ini")), "s.Title=Mine\n");
}

// The shipped folder carries the stamp that the refresh compares.
TEST(AppPaths, ShippedDataHasAVersionStamp) {
    EXPECT_GT(dataVersion(shippedDataDir()), 0);
}

TEST(AppPaths, AnEmptyDirectoryIsFilledAFileIsRefused) {
    test::TempDir tmp;
    const wxString empty = dirOf(tmp) + wxS("empty/");
    fs::create_directories(std::string(empty.fn_str()));
    ASSERT_TRUE(prepareAppDataDir(empty));
    EXPECT_TRUE(wxFileExists(empty + wxS("settings.ini")));

    const std::string file = tmp.path() + "/plainfile";
    spit(file, "x");
    wxString error;
    EXPECT_FALSE(prepareAppDataDir(wxString::FromUTF8(file.c_str()) + wxS("/"), &error));
    EXPECT_FALSE(error.empty());
}

TEST(AppConfig, FirstMissingFileIsReportedAndNothingStaysLoaded) {
    struct Case {
        std::vector<const char*> present;
        ConfigStatus expected;
        const char* message;
    };
    const Case cases[] = {
        {{"settings.ini", "constants.ini"},
         ConfigStatus::ProjectMissing,
         "Project.ini file not found."},
        {{"constants.ini"}, ConfigStatus::ProjectMissing, "Project.ini file not found."},
        {{"project.ini", "constants.ini"},
         ConfigStatus::SettingsMissing,
         "Settings.ini file not found."},
        {{"project.ini", "settings.ini"},
         ConfigStatus::ConstantsMissing,
         "Constants.ini file not found."},
        // A language file alone does not help other languages.
        {{"project.ini", "settings.ini", "constants_de.ini"},
         ConfigStatus::ConstantsMissing,
         "Constants.ini file not found."},
        {{"project.ini", "settings.ini", "constants.ini"}, ConfigStatus::Ok, ""},
    };
    for (const Case& c : cases) {
        test::TempDir tmp;
        for (const char* f : c.present)
            spit(tmp.path() + "/" + f, "s.Title=T\nk=v\n");
        const ConfigStatus status = loadConfig(dirOf(tmp), wxS("fr"));
        EXPECT_EQ(status, c.expected);
        EXPECT_EQ(configStatusMessage(status), wxString::FromUTF8(c.message));
        if (status != ConfigStatus::Ok) {
            EXPECT_FALSE(projectDefaults().isLoaded());
            EXPECT_FALSE(settings().isLoaded());
            EXPECT_EQ(text("s.Title"), wxString());
        }
        unloadConfig();
    }
}

TEST(AppConfig, LanguageChoice) {
    test::TempDir tmp;
    spit(tmp.path() + "/constants.ini", "s.Title=English\n");
    spit(tmp.path() + "/constants_de.ini", "s.Title=Deutsch\n");
    const std::pair<const char*, const char*> cases[] = {
        {"de", "Deutsch"}, {"fr", "English"}, {"", "English"}, {"DE", "English"}};
    for (const auto& [lang, title] : cases) {
        SCOPED_TRACE(lang);
        ASSERT_TRUE(loadTextConstants(dirOf(tmp), wxString::FromUTF8(lang)));
        EXPECT_EQ(text("s.Title"), wxString::FromUTF8(title));
        EXPECT_EQ(text("s.Missing"), wxString());
    }
    textConstants() = IniFile();
    EXPECT_EQ(text("s.Title"), wxString()) << "nothing before the constants are loaded";
}

TEST(AppConfig, SystemLanguageFollowsTheEnvironment) {
    EnvVar all("LC_ALL", "de_DE.UTF-8");
    EnvVar msgs("LC_MESSAGES", nullptr);
    EnvVar lang("LANG", "de_DE.UTF-8");
    EXPECT_EQ(systemLanguageCode(), wxS("de"));
}

TEST(AppConfig, ShutdownWritesListsIntoSettingsAndSettingsToDisk) {
    test::TempDir tmp;
    spit(tmp.path() + "/project.ini", "comp=1\n");
    spit(tmp.path() + "/constants.ini", "s.Title=T\n");
    spit(tmp.path() + "/settings.ini",
         "maxrecent=2\nrecentfile1=/a\nrecentfile2=/b\nrecentfile3=/c\n");
    ASSERT_EQ(loadConfig(dirOf(tmp), wxString()), ConfigStatus::Ok);
    EXPECT_EQ(recentFiles().count(), 2) << "the limit applies at start-up";
    recentFiles().add(wxS("/d"));
    favourites().add(wxS("/fav"));
    ASSERT_TRUE(saveAndUnloadConfig());
    IniFile written(dirOf(tmp) + wxS("settings.ini"));
    EXPECT_EQ(written.get(wxS("recentfile1")), wxS("/d"));
    EXPECT_EQ(written.get(wxS("recentfile2")), wxS("/a"));
    EXPECT_FALSE(written.has(wxS("recentfile3")));
    EXPECT_EQ(written.get(wxS("favourite1")), wxS("/fav"));
    EXPECT_FALSE(settings().isLoaded());
}

} // namespace
} // namespace qn
