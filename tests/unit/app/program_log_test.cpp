// The desktop program's log: lines in a private file that never grows
// without end, and no failure when the file cannot be written.
#include "app/program_log.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace qn;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

// Logs through `log` as the active target for one line.
void logThrough(ProgramLog& log, const wxString& line, bool error = false) {
    wxLog* previous = wxLog::SetActiveTarget(&log);
    if (error)
        wxLogError(wxS("%s"), line);
    else
        wxLogMessage(wxS("%s"), line);
    wxLog::FlushActive();
    wxLog::SetActiveTarget(previous);
}

} // namespace

TEST(ProgramLog, LinesGoIntoAPrivateFileThatIsKeptSmall) {
    test::TempDir tmp;
    const wxString file = programLogFile(tmp.dir());
    EXPECT_EQ(file, tmp.file("quillnest.log"));
    ProgramLog log(file);
    logThrough(log, wxS("Database::saveOneBlock update 13"));
    logThrough(log, wxString::FromUTF8("caf\xc3\xa9 not saved"), true);
    const fs::path path = tmp.path() + "/quillnest.log";
    const std::string text = readAll(path);
    EXPECT_NE(text.find(" info: Database::saveOneBlock update 13\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" error: caf\xc3\xa9 not saved\n"), std::string::npos) << text;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Past the size limit the file starts again; the previous one is kept once.
    std::ofstream(path, std::ios::app) << std::string(ProgramLog::kMaxBytes, 'x');
    logThrough(log, wxS("after the limit"));
    EXPECT_LT(fs::file_size(path), 100u);
    EXPECT_GT(fs::file_size(tmp.path() + "/quillnest.log.old"), size_t(ProgramLog::kMaxBytes));

    // No file, or one that cannot be written: nothing fails.
    ProgramLog none{wxString()};
    logThrough(none, wxS("to standard error only"));
    ProgramLog nowhere(tmp.file("no/such/folder/quillnest.log"));
    logThrough(nowhere, wxS("to standard error only"));
    EXPECT_FALSE(fs::exists(tmp.path() + "/no"));
}
