// Every text key the sources look up must exist in every shipped language
// file, and a key used as a format must expect as many arguments as its
// callers pass.
#include "app/ini_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace qn {
namespace {

namespace fs = std::filesystem;

fs::path sourceDir() {
    const char* dir = std::getenv("QN_SOURCE_DIR");
    return dir ? fs::path(dir) : fs::path(QN_SOURCE_DIR_FALLBACK);
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The conversions of a printf format, "%%" left out: "%d of %s" -> "ds".
std::string conversions(const std::string& format) {
    static const std::regex conv(
        R"(%[-+ #0]*(\*|\d+)?(\.(\*|\d+))?(hh|h|ll|l|L|z|j|t)?([diouxXeEfFgGcsp%]))");
    std::string out;
    for (auto it = std::sregex_iterator(format.begin(), format.end(), conv);
         it != std::sregex_iterator(); ++it) {
        const std::string c = (*it)[5];
        if (c != "%") out += c;
    }
    return out;
}

std::map<std::string, std::string> loadTexts(const fs::path& file) {
    IniFile ini(wxString::FromUTF8(file.string().c_str()));
    EXPECT_TRUE(ini.isLoaded()) << file;
    std::map<std::string, std::string> out;
    for (const auto& [k, v] : ini.entries())
        out[k.utf8_string()] = v.utf8_string();
    return out;
}

// A text("key") lookup in the sources, with the number of arguments passed
// when the lookup is the format of a wxString::Format / Printf call (-1
// when it is not).
struct Use {
    std::string file;
    std::string key;
    std::string formatKeys; // all keys joined into the format, in order
    int args = -1;
};

const std::regex& lookupPattern() {
    static const std::regex re(
        R"re(\btext\(\s*(?:wxS\(|wxT\(|wxASCII_STR\()?\s*"((?:[^"\\]|\\.)*)")re");
    return re;
}

// Splits the argument list that starts right after "(" at pos into its
// top-level arguments; skips string and character literals.
std::vector<std::string> arguments(const std::string& src, std::size_t pos) {
    std::vector<std::string> args;
    std::string cur;
    int depth = 0;
    for (std::size_t i = pos; i < src.size(); ++i) {
        const char c = src[i];
        if (c == '"' || c == '\'') {
            std::size_t j = i + 1;
            while (j < src.size() && src[j] != c)
                j += src[j] == '\\' ? 2 : 1;
            cur += src.substr(i, j - i + 1);
            i = j;
            continue;
        }
        if (c == '(' || c == '[' || c == '{') ++depth;
        if (c == ')' || c == ']' || c == '}') {
            if (depth == 0) {
                args.push_back(cur);
                return args;
            }
            --depth;
        }
        if (c == ',' && depth == 0) {
            args.push_back(cur);
            cur.clear();
            continue;
        }
        cur += c;
    }
    return args;
}

// The source with its comments blanked out (string literals kept), so that
// examples in comments are not taken for lookups.
std::string withoutComments(const std::string& src) {
    std::string out = src;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        if (c == '"' || c == '\'') {
            std::size_t j = i + 1;
            while (j < out.size() && out[j] != c && out[j] != '\n')
                j += out[j] == '\\' ? 2 : 1;
            i = j;
        } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '/') {
            while (i < out.size() && out[i] != '\n')
                out[i++] = ' ';
        } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '*') {
            std::size_t end = out.find("*/", i + 2);
            end = end == std::string::npos ? out.size() : end + 2;
            for (; i < end; ++i)
                if (out[i] != '\n') out[i] = ' ';
            --i;
        }
    }
    return out;
}

std::vector<Use> scanSources() {
    std::vector<Use> uses;
    static const std::regex call(R"(\b(?:Format|Printf)\s*\()");
    for (const auto& entry : fs::recursive_directory_iterator(sourceDir() / "src")) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        const std::string src = withoutComments(slurp(entry.path()));
        const std::string name = entry.path().filename().string();
        for (auto it = std::sregex_iterator(src.begin(), src.end(), call);
             it != std::sregex_iterator(); ++it) {
            const std::size_t open = it->position() + it->length();
            const std::vector<std::string> args = arguments(src, open);
            if (args.empty()) continue;
            Use use{name, "", "", static_cast<int>(args.size()) - 1};
            const std::string& fmt = args[0];
            for (auto k = std::sregex_iterator(fmt.begin(), fmt.end(), lookupPattern());
                 k != std::sregex_iterator(); ++k) {
                use.key = (*k)[1];
                use.formatKeys += (use.formatKeys.empty() ? "" : "+") + use.key;
            }
            if (use.key.empty()) continue;
            uses.push_back(use);
        }
        for (auto k = std::sregex_iterator(src.begin(), src.end(), lookupPattern());
             k != std::sregex_iterator(); ++k)
            uses.push_back(Use{name, (*k)[1], "", -1});
    }
    return uses;
}

// Keys that are built at run time rather than written as text("...").
const char* const kDynamicKeys[] = {
    "janF", "febF", "marF", "aprF", "mayF", "junF", "julF", "augF", "sepF", "octF",
    "novF", "decF", "jan",  "feb",  "mar",  "apr",  "may",  "jun",  "jul",  "aug",
    "sep",  "oct",  "nov",  "dec",  "sunF", "monF", "tueF", "wedF", "thuF", "friF",
    "satF", "sun",  "mon",  "tue",  "wed",  "thu",  "fri",  "sat",
};

// Every format key with the conversions its callers fill, in order. All
// other texts are shown as they are and hold no conversion.
const std::map<std::string, std::string> kFormats = {
    {"s.LineCol", "dd"},
    {"s.DeleteNode?", "s"},
    {"s.DeleteNodeNB", "d"},
    {"s.NotFound", "s"},
    {"s.NoMore", "s"},
    {"s.KeepBackup", "s"},
    {"s.Replace", "ss"},
    {"s.SaveChangesToFile?", "s"},
    {"s.NodeProperties1", "dssus"},
    {"s.NodeProperties2", "s"},
    {"s.AboutTitle", "ssssssss"},
    {"s.ExportSubstituted", "u"},
    {"pref.NumberInvalid", "sdd"},
    {"s.obj.removeUsed?", "u"},
    {"s.obj.removeUsed1?", "u"},
    {"s.DiaryRename", "ss"},
    {"s.Searching", "s"},
    {"s.SearchingHits", "s"},
    {"s.SearchingHit1", "s"},
    {"s.obj.importFailed", "s"},
    {"s.RestoreAsk", "ss"},
    {"s.RestoreAskNew", "s"},
    {"s.RestoredAsCopy", "s"},
    {"s.RestoreFailed", "s"},
    {"s.Title-Recovered", "s"},
    {"s.RecoveryNotKept", "s"},
    {"s.ArticleTooLong", "s"},
    {"s.TextTooLong", "sss"},
};

std::vector<fs::path> languageFiles(const std::string& stem) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(sourceDir() / "data")) {
        const std::string n = e.path().filename().string();
        if (n == stem + ".ini" || (n.rfind(stem + "_", 0) == 0 && e.path().extension() == ".ini"))
            files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(TextKeys, SourcesFindLookups) {
    // Guards the scanner itself: the message box looks up its captions.
    const std::vector<Use> uses = scanSources();
    std::set<std::string> keys;
    for (const Use& u : uses)
        keys.insert(u.key);
    EXPECT_TRUE(keys.count("b.OK")) << "the scanner found no text() lookups";
    EXPECT_EQ(conversions("%d%% of %-5s, %u %ld %.2f"), "dsudf");
    EXPECT_EQ(withoutComments("a // text(\"x\")\nb /* c */ \"//\""),
              "a             \nb         \"//\"");
}

TEST(TextKeys, EveryLookedUpKeyExistsInEveryLanguage) {
    const std::vector<Use> uses = scanSources();
    const std::vector<fs::path> files = languageFiles("constants");
    ASSERT_GE(files.size(), 2u) << "constants.ini and at least one translation";
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const auto texts = loadTexts(file);
        for (const Use& u : uses)
            EXPECT_TRUE(texts.count(u.key)) << u.file << " looks up the missing key " << u.key;
        // A key given twice leaves one of its texts unused, and an edit to
        // that one would change nothing on screen.
        std::map<std::string, int> given;
        std::istringstream lines(slurp(file));
        for (std::string line; std::getline(lines, line);) {
            const std::size_t eq = line.find('=');
            if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '[' ||
                eq == std::string::npos)
                continue;
            EXPECT_EQ(++given[line.substr(0, eq)], 1) << line.substr(0, eq) << " is given twice";
        }
        for (const char* k : kDynamicKeys)
            EXPECT_TRUE(texts.count(k)) << k;
    }
}

TEST(TextKeys, FormatsMatchTheirCallersInEveryLanguage) {
    const std::vector<Use> uses = scanSources();
    const fs::path english = sourceDir() / "data" / "constants.ini";
    const auto base = loadTexts(english);
    for (const Use& u : uses) {
        if (u.args < 0) continue;
        std::string expected;
        std::size_t start = 0;
        // A format may be joined from several keys: their conversions add up.
        while (start <= u.formatKeys.size()) {
            std::size_t plus = u.formatKeys.find('+', start);
            const std::string key = u.formatKeys.substr(start, plus - start);
            expected += base.count(key) ? conversions(base.at(key)) : "";
            if (plus == std::string::npos) break;
            start = plus + 1;
        }
        EXPECT_EQ(static_cast<int>(expected.size()), u.args)
            << u.file << " formats " << u.formatKeys << " with " << u.args << " arguments";
    }
    for (const fs::path& file : languageFiles("constants")) {
        SCOPED_TRACE(file.filename().string());
        const auto texts = loadTexts(file);
        EXPECT_EQ(texts.size(), base.size()) << "every language has the same keys";
        for (const auto& [key, value] : base) {
            EXPECT_TRUE(texts.count(key)) << key;
            auto f = kFormats.find(key);
            const std::string want = f == kFormats.end() ? "" : f->second;
            if (texts.count(key)) {
                EXPECT_EQ(conversions(texts.at(key)), want) << key << " = " << texts.at(key);
            }
        }
    }
}

TEST(TextKeys, ConverterTexts) {
    // key, the conversions its text must hold
    const std::pair<const char*, const char*> keys[] = {
        {"title", ""},           {"message", ""},          {"source", ""},
        {"dest", ""},            {">>", ""},               {"convert", ""},
        {"cancel", ""},          {"selectFile", ""},       {"enterAFilename", ""},
        {"enterFilenames", ""},  {"sameFilenames", ""},    {"outfileExists", ""},
        {"noFile", ""},          {"fileCorrupted", ""},    {"unsuppoertedAlgo", ""},
        {"enterPassword", ""},   {"passwordUnmatch", ""},  {"failedToConvert", ""},
        {"cipherOption", ""},    {"legacyDest", ""},       {"badCipherOption", "s"},
        {"damagedBodies", "d"}};
    const std::vector<fs::path> files = languageFiles("DBConv_const");
    ASSERT_GE(files.size(), 1u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const auto texts = loadTexts(file);
        for (const auto& [k, conv] : keys) {
            ASSERT_TRUE(texts.count(k)) << k;
            EXPECT_EQ(conversions(texts.at(k)), conv) << k;
        }
        // The cipher options are letters, not wording: the same everywhere.
        EXPECT_EQ(texts.at("cipherOption"), "rr");
    }
}

} // namespace
} // namespace qn
