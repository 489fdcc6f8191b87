// The converter's window-free decisions: texts file, proposed name, refused
// destinations and the explanation of a failed conversion.
#include "unit/legacy/legacy_writer.h"

#include "convert/converter_rules.h"
#include "store/legacy.h"

#include <gtest/gtest.h>
#include <wx/filefn.h>

#include <filesystem>
#include <fstream>

using namespace qn;
namespace fs = std::filesystem;

namespace {

class ConverterRules : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qn_convert_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "sub");
        std::ofstream(dir / "old.qudb") << "x";
        fs::create_symlink(dir / "old.qudb", dir / "link.qudb");
        previous = wxGetCwd();
        wxSetWorkingDirectory(wxString::FromUTF8(dir.string().c_str()));
    }
    void TearDown() override {
        wxSetWorkingDirectory(previous);
        fs::remove_all(dir);
    }
    wxString path(const std::string& name) const {
        return wxString::FromUTF8((dir / name).string().c_str());
    }
    fs::path dir;
    wxString previous;
};

TEST_F(ConverterRules, RefusedDestinations) {
    const struct {
        const char* source;
        const char* destination;
        ConversionPaths expected;
    } cases[] = {
        // source, destination, verdict
        {"old.qudb", "new.q2db", ConversionPaths::OK},
        {"old.qudb", "", ConversionPaths::MISSING},
        {"", "new.q2db", ConversionPaths::MISSING},
        {"old.qudb", "old.qudb", ConversionPaths::SAME_FILE},
        // The same file under other names: relative, with "..", a link.
        {"./old.qudb", "old.qudb", ConversionPaths::SAME_FILE},
        {"old.qudb", "sub/../old.qudb", ConversionPaths::SAME_FILE},
        {"link.qudb", "old.qudb", ConversionPaths::SAME_FILE},
        // A new file that does not exist yet is the source only by name.
        {"./gone.qudb", "gone.qudb", ConversionPaths::SAME_FILE},
        // A new document never takes the old extension, in any case.
        {"old.qudb", "other.qudb", ConversionPaths::LEGACY_TARGET},
        {"old.qudb", "OTHER.QUDB", ConversionPaths::LEGACY_TARGET},
        {"old.qudb", "old.qudb.q2db", ConversionPaths::OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " -> " + c.destination);
        EXPECT_EQ(
            checkConversionPaths(wxString::FromUTF8(c.source), wxString::FromUTF8(c.destination)),
            c.expected);
    }
}

TEST_F(ConverterRules, NamesAndTexts) {
    EXPECT_EQ(convertedName(wxS("/a/b/old.qudb")), wxS("/a/b/old.q2db"));
    EXPECT_EQ(convertedName(wxS("/a/b.c/old")), wxS("/a/b.c/old.q2db"));
    EXPECT_EQ(convertedName(wxString()), wxString());

    const wxString appDir = path("");
    std::ofstream(dir / "DBConv_const_de.ini") << "title=T\n";
    EXPECT_EQ(converterTextsFile(appDir, wxS("de")), appDir + wxS("DBConv_const_de.ini"));
    EXPECT_EQ(converterTextsFile(appDir, wxS("fr")), appDir + wxS("DBConv_const.ini"));
    EXPECT_EQ(converterTextsFile(appDir, wxString()), appDir + wxS("DBConv_const.ini"));

    EXPECT_TRUE(validOptionLetters(wxS("rr")));
    EXPECT_TRUE(validOptionLetters(wxString()));
    EXPECT_FALSE(validOptionLetters(wxS("r,r")));
}

TEST_F(ConverterRules, AFailedConversionSaysWhy) {
    qn::testing::LegacyFileBuilder b;
    b.settings({{"comp", "0"}});
    b.node(1, 0, {{"cap", "Top"}}, "text");
    ASSERT_TRUE(b.write((dir / "in.qudb").string()));
    LegacyReader reader;
    ASSERT_EQ(reader.open(path("in.qudb")), LegacyReader::LEGACY_OK);
    // No folder of that name: nothing can be written there.
    ASSERT_EQ(reader.convert(path("missing/new.q2db")), LegacyReader::CONVERT_FAILED);
    const wxString why = conversionFailureReason(reader, 0);
    EXPECT_TRUE(why.Contains(wxS("missing"))) << why;
    EXPECT_FALSE(wxFileExists(path("missing/new.q2db")));
}

} // namespace
