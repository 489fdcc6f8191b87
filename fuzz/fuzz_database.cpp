// A mutated document file: open it, unlock it when it is protected, load
// every header and body, search it and walk the tree.
#include "fuzz_common.h"

#include "store/database.h"

#include <cstdio>

using namespace qn;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file = fuzz::scratch("doc.q2db");
    if (!fuzz::writeFile(file, data, size)) return 0;
    {
        Database db;
        if (db.open(wxString::FromUTF8(file.c_str())) == Database::OPEN_OK) {
            // A mangled verifier still gets a cipher: the deciphering paths
            // are what is fuzzed.
            if (unlockDocument(db, fuzz::password()) != Unlock::Ok && db.isProtected())
                db.setCipher(makeDocumentCipher(db, fuzz::password(), wxS("rr")));
            std::vector<int> ids;
            for (const auto& entry : db.blocks())
                ids.push_back(entry.first);
            bool external = false;
            for (int id : ids) {
                Block* b = db.getBlock(id);
                // External files are not the document's bytes: leave them.
                if (b && !b->getString(K_url).empty()) external = true;
                if (!b || external) continue;
                b->body();
                b->getIntList(K_ch);
                b->getColour(K_fc);
                b->freeBody();
            }
            for (Block* o = db.firstObject(); o; o = db.nextObject())
                o->size();
            if (!external) {
                db.setMaxSearchCount(50);
                db.search(wxS("e"), false);
            }
        }
        db.close();
    }
    std::remove(file.c_str());
    return 0;
}
