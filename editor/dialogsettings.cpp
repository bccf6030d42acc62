#include "editor/dialogsettings.h"

#include "base/exportfile.h"

namespace tw::editor {

const SettingDef& dialogSetting(int which) {
    // The dialog reads, writes and exports them in the export file's order.
    return *findsetting(kExportOrder[which]);
}

}  // namespace tw::editor
