// The four flags of the "save" setting.
#pragma once

#include <cstddef>

namespace qn {

// Positions in the setting's text.
enum SaveFlag : std::size_t {
    SAVE_WINDOW_LAYOUT = 0,  // store the window layout in the document
    SAVE_VIEW_STATE = 1,     // current category, selection and expanded nodes
    SAVE_PREFS_ONLY = 2,     // edited by the preferences, read nowhere else
    SAVE_WITHOUT_ASKING = 3, // closing saves changes without a question
};

// The character at that position of the setting, or 0 when it is shorter.
wchar_t saveSettingChar(SaveFlag flag);
inline bool saveSettingIsOne(SaveFlag flag) {
    return saveSettingChar(flag) == L'1';
}

} // namespace qn
