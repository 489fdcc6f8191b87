// Configuration files: parse, then read every entry with each typed getter.
#include "fuzz_common.h"

#include "app/ini_file.h"
#include "store/keys.h"

using namespace qn;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IniFile ini;
    ini.loadBytes(reinterpret_cast<const char*>(data), size);
    std::vector<wxString> keys;
    for (const auto& entry : ini.entries())
        keys.push_back(entry.first);
    for (const wxString& key : keys) {
        ini.get(key);
        ini.getInt(key);
        int slots[4] = {0, 0, 0, 0};
        ini.getIntArray(key, slots, 4);
        ini.getIntList(key);
        parseColour(ini.get(key));  // what IniFile::getColour reads
    }
    return 0;
}
