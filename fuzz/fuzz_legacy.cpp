// A legacy file: open it, unlock it when it is protected, convert it, and
// read the converted document back through the engine.
#include "fuzz_common.h"

#include "store/database.h"
#include "store/legacy.h"

#include <cstdio>

using namespace qn;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in = fuzz::scratch("legacy.qudb"), out = fuzz::scratch("legacy.q2db");
    if (!fuzz::writeFile(in, data, size)) return 0;
    const wxString inPath = wxString::FromUTF8(in.c_str()),
                   outPath = wxString::FromUTF8(out.c_str());
    LegacyReader reader;
    if (reader.open(inPath) == LegacyReader::LEGACY_OK && reader.getBlock(0)) {
        if (reader.isProtected() && reader.algorithmsSupported()) {
            reader.checkPassword(fuzz::password());
            reader.unlock(fuzz::password(), wxS("rr"));
        }
        for (const auto& entry : reader.blocks())
            reader.getBlock(entry.first);
        if (reader.convert(outPath) == LegacyReader::CONVERT_OK) {
            Database db;
            if (db.open(outPath) == Database::OPEN_OK) {
                if (unlockDocument(db, fuzz::password()) != Unlock::Ok && db.isProtected())
                    db.setCipher(makeDocumentCipher(db, fuzz::password(), wxS("rr")));
                for (const auto& entry : db.blocks()) {
                    Block* b = db.getBlock(entry.first);
                    if (b && b->getString(K_url).empty()) b->body();
                }
            }
            db.close();
            std::remove(out.c_str());
        }
    }
    reader.close();
    std::remove(in.c_str());
    return 0;
}
