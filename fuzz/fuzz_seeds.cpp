// Writes the seed corpus of every fuzz target: fuzz_seeds OUTDIR SOURCEDIR
#include "fuzz_common.h"

#include "store/database.h"
#include "unit/legacy/legacy_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace qn;
namespace fs = std::filesystem;

namespace {

fs::path outDir;

void seed(const char* target, const std::string& name, const std::string& bytes) {
    fs::create_directories(outDir / target);
    std::ofstream f(outDir / target / name, std::ios::binary);
    f << bytes;
}

std::string readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

void legacySeeds() {
    using testing::LegacyFileBuilder;
    {
        LegacyFileBuilder b;
        b.settings(
            {{"window", "1,2,3,4,5,1"}, {"comp", "1"}, {"selected", "2"}, {"expanded", "1"}});
        b.node(1, -1, {{"cap", "Top"}, {"ch", "2,3"}, {"mime", "text/plain"}}, "top");
        b.node(2, 1, {{"cap", "Two"}, {"n.f.name", "Sans"}}, std::string(300, 'x'), true);
        b.freeRecord(24);
        b.node(3, 1, {{"cap", "Three"}}, "dup", false, true);
        b.object(4, {{"mime", "image/png"}, {"fname", "a.png"}}, "PNG");
        seed("fuzz_legacy", "plain", b.bytes());
    }
    {
        LegacyFileBuilder b("", "1.0", '\n');
        b.settings({});
        b.node(1, -1, {}, "");
        seed("fuzz_legacy", "minimal", b.bytes());
    }
    {
        LegacyFileBuilder b;
        const std::string created = "2009-01-01 00:00:00";
        b.settings({{"pwd", std::string(passwordVerifier(fuzz::password(),
                                                         wxString::FromUTF8(b.dbid().c_str()))
                                            .utf8_str())},
                    {"h_algo", "md5"},
                    {"c_algo", "arcfour"},
                    {"c", created},
                    {"comp", "1"}});
        b.protect(std::string(fuzz::password().utf8_str()), created);
        b.node(1, -1, {{"cap", "Locked"}, {"ch", "2"}}, std::string(200, 'l'), true);
        b.node(2, 1, {{"cap", "Inner"}}, "inner");
        seed("fuzz_legacy", "protected", b.bytes());
    }
}

void headerSeeds() {
    seed("fuzz_header", "current", "m=text/plain\nc=2010-01-02 03:04:05\ncap=Title\np=1\nch=2,3\n");
    seed("fuzz_header", "legacy", "mime=text/html\nn.f.name=Sans\nb.fc=FF00AA\nn.f.attr=BI\n");
    seed("fuzz_header", "odd", "url=C:\\a=b.txt\nCap=x\nnoequals\ni=star");
}

void bodySeeds() {
    const std::string text =
        "The quick brown fox jumps over the lazy dog. " + std::string(200, 'z');
    const Bytes packed = deflateBytes(text);
    BlockCipher cipher;
    cipher.setKey(wxS("fuzz-key"));
    cipher.setOptions(wxS("rr"));
    Bytes enc = packed;
    std::reverse(enc.begin(), enc.end());
    cipher.crypt(enc);
    seed("fuzz_body", "plain", std::string(1, '\0') + text);
    seed("fuzz_body", "deflated", std::string(1, '\1') + packed);
    seed("fuzz_body", "enciphered", std::string(1, char(1 | 2 | 12)) + enc);
}

void iniSeeds(const fs::path& source) {
    for (const char* name : {"settings.ini", "project.ini", "DBConv_const.ini"}) {
        std::string bytes = readFile(source / "data" / name);
        if (!bytes.empty()) seed("fuzz_ini", name, bytes.substr(0, 4096));
    }
    seed("fuzz_ini", "typed", "# comment\nn=12\nlist=1,2,,3\ncolour=FF8000\nmsg$=a\\nb\\tc\r\nx\n");
}

void databaseSeeds() {
    const std::string scratch = fuzz::scratch("seed.q2db");
    const wxString path = wxString::FromUTF8(scratch.c_str());
    for (int variant = 0; variant < 3; ++variant) {
        std::remove(scratch.c_str());
        Database db;
        Block* root = db.newDocument();
        db.setInt(K_comp, variant == 1 ? 1 : 0);
        root->setString(K_cap, wxS("Root"));
        root->setText(wxS("the root article"));
        Block* child = db.newNode(1);
        child->setString(K_cap, wxS("Child"));
        child->setText(wxString(wxS('e'), 300));
        root->editChildren(child->id(), CH_APPEND);
        Block* obj = db.newObject(wxS("image/png"));
        obj->setBytes(Bytes("PNGDATA"));
        db.setPath(path);
        if (!db.save()) continue;
        if (variant == 2) {
            auto cipher = std::make_unique<BlockCipher>();
            cipher->setKey(cipherKeyMaterial(db.dbid(), fuzz::password(), db.getString(K_c)));
            cipher->setOptions(wxS("rr"));
            db.changeCipher(std::move(cipher), fuzz::password());
        }
        db.close();
        static const char* const names[] = {"plain", "compressed", "protected"};
        seed("fuzz_database", names[variant], readFile(scratch));
    }
    std::remove(scratch.c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTDIR SOURCEDIR\n");
        return 2;
    }
    fuzz::quietLogs();
    outDir = argv[1];
    legacySeeds();
    headerSeeds();
    bodySeeds();
    iniSeeds(argv[2]);
    databaseSeeds();
    return 0;
}
