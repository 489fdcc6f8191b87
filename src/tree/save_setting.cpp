#include "tree/save_setting.h"

#include "app/app_config.h"
#include "app/ini_file.h"

namespace qn {

wchar_t saveSettingChar(SaveFlag flag) {
    const wxString value = settings().get(wxS("save"));
    if (flag >= value.length()) return 0;
    return static_cast<wchar_t>(value[flag].GetValue());
}

} // namespace qn
