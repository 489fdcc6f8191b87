// Start-up, shutdown, the window registry and instance forwarding.
#include "frame_test_util.h"

#include "app/app_config.h"
#include "app/app_paths.h"
#include "app/file_list.h"
#include "app/ini_file.h"
#include "app/platform.h"
#include "app/program_log.h"
#include "app/text_constants.h"
#include "desktop/dde_server.h"
#include "desktop/my_app.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "store/database.h"
#include "ui/command_ids.h"

#include <optional>
#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/process.h>
#include <wx/snglinst.h>
#include <wx/splitter.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include <sys/stat.h>
#include <unistd.h>

namespace qn::test {
namespace {

// Minimal configuration files: enough for a window.
const std::string kProject = "Fname=DejaVu Sans\nFsize=10\n";
const std::string kSettings = "window=30,40,700,500,200\nmaxrecent=5\nsave=1110\n";

// The shipped files with our own window setting and title.
void writeConfig(const TestDir& dir) {
    dir.fillShipped();
    dir.remove(wxS("constants_de.ini"));
    dir.write(wxS("project.ini"), kProject);
    dir.write(wxS("settings.ini"), kSettings);
    IniFile constants(dir.file(wxS("constants.ini")));
    constants.set(wxS("s.Title"), wxS("Notes EN"));
    constants.save();
}

// Runs start-up over the directory and ends everything afterwards.
class StartUp : public ::testing::Test {
protected:
    void SetUp() override { setAppDataDir(dir.path()); }
    void TearDown() override {
        destroyAllWindows();
        wxGetApp().shutDown();
        unloadConfig();
    }
    bool start(const std::vector<wxString>& args = {}) { return wxGetApp().startUp(args); }

    TestDir dir;
};

TEST_F(StartUp, MissingConfigurationFileEndsWithOneMessageAndNoWindow) {
    struct Case {
        std::vector<const char*> missing;
        const char* message;
    };
    const Case cases[] = {
        {{"project.ini"}, "Project.ini file not found."},
        {{"settings.ini"}, "Settings.ini file not found."},
        {{"constants.ini"}, "Constants.ini file not found."},
        // Only the first missing file is reported.
        {{"project.ini", "settings.ini", "constants.ini"}, "Project.ini file not found."},
        {{"settings.ini", "constants.ini"}, "Settings.ini file not found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        writeConfig(dir);
        for (const char* name : c.missing)
            dir.remove(wxString::FromUTF8(name));
        bool started = true;
        wxTEST_DIALOG(started = start(),
                      ExpectMessageBox(wxString::FromUTF8(c.message), wxS("Quillnest")));
        EXPECT_FALSE(started);
        EXPECT_TRUE(wxTopLevelWindows.empty());
        EXPECT_TRUE(registeredFrames().empty());
        // The instance name was given back: the next start is the first again.
        wxSingleInstanceChecker other(instanceName(), userRuntimeDir());
        EXPECT_FALSE(other.IsAnotherRunning());
    }
}

TEST_F(StartUp, TextConstantsFollowTheSystemLanguage) {
    writeConfig(dir);
    dir.write(wxS("constants_de.ini"), "s.Title=Notizen DE\nm.File=Datei\n");
    wxString oldAll;
    const bool hadAll = wxGetEnv(wxS("LC_ALL"), &oldAll);
    struct Case {
        const char* locale;
        bool withGerman;
        const char* title;
    };
    const Case cases[] = {
        {"de_DE.UTF-8", true, "Notizen DE"},
        {"de_DE.UTF-8", false, "Notes EN"}, // only constants.ini: used for every language
        {"en_US.UTF-8", true, "Notes EN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        if (!c.withGerman) dir.remove(wxS("constants_de.ini"));
        wxSetEnv(wxS("LC_ALL"), wxString::FromUTF8(c.locale));
        ASSERT_TRUE(start());
        auto* frame = dynamic_cast<MainFrame*>(wxTheApp->GetTopWindow());
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->GetTitle().utf8_string(), c.title);
        TearDown();
        SetUp();
    }
    if (hadAll)
        wxSetEnv(wxS("LC_ALL"), oldAll);
    else
        wxUnsetEnv(wxS("LC_ALL"));
}

TEST_F(StartUp, FirstWindowTakesTheWindowSetting) {
    writeConfig(dir);
    ASSERT_TRUE(start());
    auto* frame = dynamic_cast<MainFrame*>(wxTheApp->GetTopWindow());
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->IsShown());
    EXPECT_EQ(frame->GetTitle(), wxS("Notes EN"));
    EXPECT_EQ(frame->GetSize(), wxSize(700, 500));
    EXPECT_EQ(frame->outerSplitter()->GetSashPosition(), 200);
    ASSERT_EQ(registeredFrames().size(), 1u);
    EXPECT_EQ(registeredFrames().front().frame, frame);
    EXPECT_TRUE(wxGetApp().hasServer());
}

TEST_F(StartUp, FirstArgumentIsOpenedUnderItsFullPath) {
    writeConfig(dir);
    const wxString path = dir.file(wxS("notes.q2db"));
    {
        Database db;
        db.newDocument();
        db.setPath(path);
        ASSERT_TRUE(db.save());
    }
    // Named relative to our working folder; a second argument is ignored.
    wxFileName relative(path);
    relative.MakeRelativeTo(wxGetCwd());
    ASSERT_FALSE(relative.IsAbsolute());
    ASSERT_TRUE(start({relative.GetFullPath(), dir.file(wxS("other.q2db"))}));
    ASSERT_EQ(registeredFrames().size(), 1u);
    // Once the window is on the screen.
    EXPECT_TRUE(pumpUntil([] { return registeredFrames().front().frame->isDocumentOpen(); }));
    EXPECT_EQ(registeredFrames().front().path, path);
    EXPECT_TRUE(registeredFrames().front().frame->isDocumentOpen());
    EXPECT_EQ(recentFiles().entry(0), path);
}

// An empty first argument asks for a new document, as an empty path handed
// on by a second start does.
TEST_F(StartUp, EmptyFirstArgumentCreatesANewDocument) {
    writeConfig(dir);
    ASSERT_TRUE(start({wxString()}));
    ASSERT_EQ(registeredFrames().size(), 1u);
    MainFrame* frame = registeredFrames().front().frame;
    EXPECT_TRUE(pumpUntil([frame] { return frame->isDocumentOpen(); }));
    EXPECT_TRUE(frame->isDocumentOpen());
    EXPECT_TRUE(frame->database().isNew());
    EXPECT_EQ(frame->GetTitle(), text(wxS("s.Title-New")));
    frame->database().close();
}

// Log lines, the engine's and the toolkit's, go to standard error and the
// log file in the data folder, never into a window of their own; a log that
// was there before start-up is back after shutdown.
TEST_F(StartUp, LogLinesGoToAFileNotAWindow) {
    writeConfig(dir);
    wxLog* before = wxLog::GetActiveTarget();
    ASSERT_TRUE(start());
    EXPECT_NE(dynamic_cast<ProgramLog*>(wxLog::GetActiveTarget()), nullptr);
    wxLogMessage(wxS("Database::exec_delete_blocks 13"));
    wxLogError(wxS("an error of the toolkit"));
    wxLog::FlushActive();
    wxString logged;
    wxFFile(dir.file(wxS("quillnest.log"))).ReadAll(&logged, wxConvUTF8);
    EXPECT_TRUE(logged.Contains(wxS("info: Database::exec_delete_blocks 13"))) << logged;
    EXPECT_TRUE(logged.Contains(wxS("error: an error of the toolkit"))) << logged;
    wxGetApp().shutDown();
    EXPECT_EQ(wxLog::GetActiveTarget(), before);
}

TEST_F(StartUp, WindowSettingWithTooFewNumbersGivesDefaults) {
    writeConfig(dir);
    ASSERT_TRUE(loadConfig(dir.path(), wxString()) == ConfigStatus::Ok);
    struct Case {
        const char* value;
        int x, y, width, height, sash;
    };
    const WindowGeometry d{wxDefaultCoord, wxDefaultCoord, 900, 640, 250};
    const Case cases[] = {
        {"", d.x, d.y, d.width, d.height, d.sash},
        {"15", d.x, d.y, d.width, d.height, d.sash},
        {"15,25", 15, 25, d.width, d.height, d.sash},
        {"15,25,800", 15, 25, d.width, d.height, d.sash},
        {"15,25,800,0,300", 15, 25, d.width, d.height, 300},
        {"15,25,800,600", 15, 25, 800, 600, d.sash},
        {"15,25,800,600,310,0", 15, 25, 800, 600, 310},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        settings().set(wxS("window"), wxString::FromUTF8(c.value));
        const WindowGeometry g = windowGeometryFromSettings();
        EXPECT_EQ(g.x, c.x);
        EXPECT_EQ(g.y, c.y);
        EXPECT_EQ(g.width, c.width);
        EXPECT_EQ(g.height, c.height);
        EXPECT_EQ(g.sash, c.sash);
    }
}

TEST_F(StartUp, ShutdownWritesListsAndGeometryIntoTheSettingsFile) {
    writeConfig(dir);
    ASSERT_TRUE(start());
    auto* frame = dynamic_cast<MainFrame*>(wxTheApp->GetTopWindow());
    ASSERT_NE(frame, nullptr);
    recentFiles().add(wxS("/docs/b.q2db"));
    recentFiles().add(wxS("/docs/a.q2db"));
    favourites().add(wxS("/docs/fav.q2db"));
    frame->SetSize(11, 22, 640, 480);
    frame->outerSplitter()->SetSashPosition(150);
    destroyAllWindows();
    wxGetApp().shutDown();

    IniFile written(dir.file(wxS("settings.ini")));
    ASSERT_TRUE(written.isLoaded());
    EXPECT_EQ(written.get(wxS("recentfile1")), wxS("/docs/a.q2db"));
    EXPECT_EQ(written.get(wxS("recentfile2")), wxS("/docs/b.q2db"));
    EXPECT_EQ(written.get(wxS("favourite1")), wxS("/docs/fav.q2db"));
    EXPECT_EQ(written.get(wxS("window")), wxS("11,22,640,480,150,0"));
}

TEST_F(StartUp, RegistryFindsWindowsByExactPathAndForgetsDestroyedOnes) {
    writeConfig(dir);
    ASSERT_TRUE(start());
    auto* first = dynamic_cast<MainFrame*>(wxTheApp->GetTopWindow());
    auto* second = MainFrame::createFromSettings(wxS("second"));
    ASSERT_EQ(registeredFrames().size(), 2u);
    EXPECT_EQ(registeredFrames()[1].frame, second);

    setFramePath(first, wxS("/a/doc.q2db"));
    setFramePath(second, wxS("/a/other.q2db"));
    EXPECT_EQ(frameForPath(wxS("/a/doc.q2db")), first);
    EXPECT_EQ(frameForPath(wxS("/a/other.q2db")), second);
    EXPECT_EQ(frameForPath(wxS("/a/./doc.q2db")), nullptr); // exact text only
    EXPECT_EQ(frameForPath(wxS("/A/doc.q2db")), nullptr);
    setFramePath(first, wxString());
    EXPECT_EQ(frameForPath(wxS("/a/doc.q2db")), nullptr);
    setFramePath(reinterpret_cast<MainFrame*>(this), wxS("/x")); // not registered: ignored
    EXPECT_EQ(frameForPath(wxS("/x")), nullptr);

    // Every window hears a broadcast, in registry order.
    std::vector<MainFrame*> heard;
    for (MainFrame* f : {first, second})
        f->Bind(
            wxEVT_MENU, [&heard, f](wxCommandEvent&) { heard.push_back(f); },
            ID_HISTORY_LIMIT_CHANGED);
    broadcastCommand(ID_HISTORY_LIMIT_CHANGED);
    EXPECT_EQ(heard, (std::vector<MainFrame*>{first, second}));

    second->Destroy();
    wxTheApp->ProcessIdle();
    ASSERT_EQ(registeredFrames().size(), 1u);
    EXPECT_EQ(frameForPath(wxS("/a/other.q2db")), nullptr);
}

// Captures command 200 instead of opening anything.
class OpenRequests : public wxEvtHandler {
public:
    std::vector<wxString> paths;

private:
    bool TryBefore(wxEvent& event) override {
        if (event.GetEventType() == wxEVT_MENU && event.GetId() == ID_OPEN_PATH) {
            paths.push_back(static_cast<wxCommandEvent&>(event).GetString());
            return true;
        }
        return false;
    }
};

// Starts `program` (this test program as a second instance, or the desktop
// program itself) in `cwd` and waits for it to end; -1 when it had to be
// killed.
int runSecondStart(const wxString& program, const wxString& cwd, const wxString& argument,
                   bool withArgument) {
    const wxString self = wxStandardPaths::Get().GetExecutablePath();
    std::vector<std::string> words;
    words.push_back((program.empty() ? self : program).utf8_string());
    if (program.empty()) words.push_back("--second-instance");
    if (withArgument) words.push_back(argument.utf8_string());
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());
    argv.push_back(nullptr);
    wxExecuteEnv env;
    env.cwd = cwd;
    wxGetEnvMap(&env.env);
    auto* process = new wxProcess;
    process->Redirect();
    int status = -1;
    bool ended = false;
    process->Bind(wxEVT_END_PROCESS, [&](wxProcessEvent& e) {
        status = e.GetExitCode();
        ended = true;
    });
    const long pid = wxExecute(const_cast<char**>(argv.data()), wxEXEC_ASYNC, process, &env);
    EXPECT_GT(pid, 0);
    if (!pumpUntil([&] { return ended; }, 20000)) {
        ADD_FAILURE() << "the second start did not end";
        wxProcess::Kill(static_cast<int>(pid), wxSIGKILL);
        // Still running: the toolkit may yet report to the process object, keep it.
        if (pumpUntil([&] { return ended; }, 5000)) delete process;
        return -1;
    }
    delete process;
    return status;
}

int runSecondInstance(const wxString& cwd, const wxString& argument, bool withArgument) {
    return runSecondStart(wxString(), cwd, argument, withArgument);
}

TEST_F(StartUp, SecondStartHandsItsDocumentToTheRunningInstance) {
    writeConfig(dir);
    ASSERT_TRUE(start());
    auto* frame = dynamic_cast<MainFrame*>(wxTheApp->GetTopWindow());
    ASSERT_NE(frame, nullptr);
    OpenRequests requests;
    std::optional<test::ScopedHandler> pushed(std::in_place, frame, &requests);

    TestDir elsewhere;
    wxFileName::Mkdir(elsewhere.file(wxS("sub")), 0700);
    // A relative name is resolved in the second process's working folder.
    EXPECT_EQ(runSecondInstance(elsewhere.path(), wxS("sub/../notes.q2db"), true), 0);
    // Without an argument the running instance is asked for a new document.
    EXPECT_EQ(runSecondInstance(elsewhere.path(), wxString(), false), 0);
    // The desktop program itself: an absolute name arrives as it is, and the
    // start that handed it on ends with success.
    wxString build;
    ASSERT_TRUE(wxGetEnv(wxS("QN_BINARY_DIR"), &build));
    EXPECT_EQ(runSecondStart(build + wxS("/src/desktop/quillnest"), elsewhere.path(),
                             wxS("/tmp/x y.q2db"), true),
              0);
    pumpUntil([&] { return requests.paths.size() >= 3; });
    pushed.reset();

    ASSERT_EQ(requests.paths.size(), 3u);
    EXPECT_EQ(requests.paths[0], elsewhere.path() + wxS("notes.q2db"));
    EXPECT_EQ(requests.paths[1], wxString());
    EXPECT_EQ(requests.paths[2], wxS("/tmp/x y.q2db"));
}

TEST_F(StartUp, RequestArrivingDuringAnotherWaitsForItsEnd) {
    writeConfig(dir);
    ASSERT_TRUE(start());
    auto* frame = dynamic_cast<MainFrame*>(wxTheApp->GetTopWindow());
    ASSERT_NE(frame, nullptr);
    // The first request is still in a dialog when the second arrives.
    std::vector<wxString> steps;
    class Handler : public wxEvtHandler {
    public:
        explicit Handler(std::vector<wxString>& steps) : steps_(steps) {}
        bool TryBefore(wxEvent& event) override {
            if (event.GetEventType() != wxEVT_MENU || event.GetId() != ID_OPEN_PATH) return false;
            const wxString path = static_cast<wxCommandEvent&>(event).GetString();
            steps_.push_back(wxS("start ") + path);
            if (path == wxS("/first")) deliverForwardedPath(wxS("/second"));
            steps_.push_back(wxS("end ") + path);
            return true;
        }

    private:
        std::vector<wxString>& steps_;
    } handler(steps);
    {
        test::ScopedHandler pushed(frame, &handler);
        deliverForwardedPath(wxS("/first"));
    }
    EXPECT_EQ(steps, (std::vector<wxString>{wxS("start /first"), wxS("end /first"),
                                            wxS("start /second"), wxS("end /second")}));
}

TEST_F(StartUp, ForwardingSocketLivesInAFolderOnlyTheUserCanEnter) {
    writeConfig(dir);
    ASSERT_TRUE(start());
    const wxString socket = ipcServiceName();
    ASSERT_FALSE(socket.empty());
    EXPECT_TRUE(socket.EndsWith(wxS("/Quillnest2")));
    struct stat st {};
    ASSERT_EQ(lstat(socket.fn_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_TRUE(isPrivateDir(wxFileName(socket).GetPath()));
}

// Without a runtime folder another user may create <temp>/quillnest-<uid>
// first.  The lock and the socket then live in the user's cache folder, and
// a second start still hands its document over.
TEST_F(StartUp, ForwardingWorksWhenSomeoneElseHoldsTheTemporaryName) {
    struct SavedEnv {
        const wxString name;
        wxString value;
        bool had;
        explicit SavedEnv(const wxString& n) : name(n), had(wxGetEnv(n, &value)) {}
        ~SavedEnv() { had ? wxSetEnv(name, value) : wxUnsetEnv(name); }
    } runtime(wxS("XDG_RUNTIME_DIR")), tmpdir(wxS("TMPDIR")), cache(wxS("XDG_CACHE_HOME"));
    TestDir temp, cacheDir, elsewhere;
    const wxString uid = wxString::Format(wxS("%lu"), static_cast<unsigned long>(geteuid()));
    const wxString taken = temp.file(wxS("quillnest-") + uid);
    if (geteuid() == 0) {
        ASSERT_EQ(mkdir(taken.fn_str(), 0755), 0);
        ASSERT_EQ(chown(taken.fn_str(), 65534, 65534), 0);
    } else {
        temp.write(wxS("quillnest-") + uid, "not a folder");
    }
    wxUnsetEnv(wxS("XDG_RUNTIME_DIR"));
    wxSetEnv(wxS("TMPDIR"), temp.path());
    wxSetEnv(wxS("XDG_CACHE_HOME"), cacheDir.path());

    const wxString own = userRuntimeDir();
    EXPECT_EQ(own, cacheDir.file(wxS("quillnest-") + uid));
    EXPECT_TRUE(isPrivateDir(own));

    writeConfig(dir);
    ASSERT_TRUE(start());
    EXPECT_EQ(ipcServiceName(), own + wxS("/Quillnest2"));
    auto* frame = dynamic_cast<MainFrame*>(wxTheApp->GetTopWindow());
    ASSERT_NE(frame, nullptr);
    OpenRequests requests;
    std::optional<test::ScopedHandler> pushed(std::in_place, frame, &requests);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(runSecondInstance(elsewhere.path(), wxS("/tmp/n.q2db"), true), 0);
    pumpUntil([&] { return requests.paths.size() >= 2; });
    pushed.reset();
    EXPECT_EQ(requests.paths, (std::vector<wxString>{wxS("/tmp/n.q2db"), wxS("/tmp/n.q2db")}));
    // The other user's folder is left as it was.
    struct stat st {};
    EXPECT_EQ(lstat(taken.fn_str(), &st), 0);
    if (geteuid() == 0) EXPECT_EQ(st.st_uid, 65534u);
    // The lock and the socket go before their folder does.
    destroyAllWindows();
    wxGetApp().shutDown();
}

TEST(Platform, RuntimeFolderRefusesFoldersOthersCanEnter) {
    wxString saved;
    ASSERT_TRUE(wxGetEnv(wxS("XDG_RUNTIME_DIR"), &saved));
    TestDir open;
    chmod(open.path().fn_str(), 0755);
    wxSetEnv(wxS("XDG_RUNTIME_DIR"), open.path());
    const wxString fallback = userRuntimeDir();
    EXPECT_FALSE(fallback.empty());
    EXPECT_NE(fallback + wxS("/"), open.path());
    EXPECT_TRUE(isPrivateDir(fallback));
    struct stat st {};
    ASSERT_EQ(stat(fallback.fn_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, geteuid());

    chmod(open.path().fn_str(), 0700);
    EXPECT_EQ(userRuntimeDir() + wxS("/"), open.path());
    wxSetEnv(wxS("XDG_RUNTIME_DIR"), saved);

    EXPECT_FALSE(loginName().empty());
    EXPECT_EQ(instanceName(), wxS("Quillnest2-") + loginName());
}

TEST(Forwarding, UnreachableInstanceShowsTheBusyMessage) {
    // No server runs: the constants are not loaded yet, so the caption is empty.
    bool sent = true;
    wxTEST_DIALOG(sent = sendToRunningInstance(wxS("a.q2db")),
                  ExpectMessageBox(wxS("Sorry, the existing instance may be too busy too "
                                       "respond.\nPlease close any open dialogs and retry."),
                                   wxString()));
    EXPECT_FALSE(sent);
}

} // namespace
} // namespace qn::test
