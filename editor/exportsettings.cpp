#include "editor/exportsettings.h"

#include "base/exportfile.h"
#include "base/text.h"

namespace tw::editor {

std::string editorFileDirectory(platform::System& system) {
    std::string dir;
    for (const char* var : {"TEMP", "TMP"}) {
        auto v = system.getenv(var);
        if (v && !v->empty()) {
            dir = *v;
            break;
        }
    }
    if (dir.empty()) dir = system.tempFallback(0);
    const char sep = system.pathSeparator();
    if (dir.empty() || (dir.back() != sep && dir.back() != '/')) dir += sep;
    return dir;
}

namespace {

// The dialog reads, writes and exports its settings in the export file's
// order.
constexpr bool inExportOrder() {
    for (int i = 0; i < kDialogSettings; ++i)
        if (!equalsNoCase(kDialogSettingNames[i].name(), kExportOrder[i])) return false;
    return true;
}
static_assert(inExportOrder());

}  // namespace

std::string exportText(const SettingTexts& saved, const std::string& wmiTests) {
    std::string out;
    for (int i = 0; i < kDialogSettings; ++i)
        out += exportLine(dialogSetting(i).editorName, saved.text[static_cast<size_t>(i)]);
    static_assert(kDialogSettings + 1 == kEditorExportLines);
    out += exportLine(findsetting("WMITests")->editorName, wmiTests);
    return out;
}

bool ExportSettings(const SettingTexts& saved, WmiContext& wmi, platform::System& system,
                    platform::FileWriter& files) {
    const std::string path = editorFileDirectory(system) + kExportFile;
    if (path.size() >= kEditorPathLimit) return false;
    const std::string wmiTests = wmi.ReadRegKey(findsetting("WMITests")->editorName);
    return files.writePrivate(path, textModeLines(exportText(saved, wmiTests)));
}

}  // namespace tw::editor
