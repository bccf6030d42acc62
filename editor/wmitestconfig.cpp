#include "editor/wmitestconfig.h"

#include "base/text.h"
#include "editor/exportsettings.h"

namespace tw::editor {

WMITestConfig::WMITestConfig(CtwntcfgDlg& dlg) : WMITestConfig(dlg.wmi(), dlg.platform()) {}

WMITestConfig::WMITestConfig(WmiContext& wmi, platform::Platform& platform)
    : wmi_(wmi), platform_(platform) {
    // A remote machine keeps the reads busy.
    WaitCursor wait(wmi_.ui());
    wmi_.ConnectWMIDB(kRootDefault);
    // Each read stands alone: a missing WMITests still offers the pool.
    std::string tests = wmi_.ReadRegKey("WMITests");
    pool = wmi_.ReadRegKey("WMIPool");
    wmi_.ConnectWMIDB(kRootCimv2);
    rows = parsewmitests(tests);
}

AddWMITest WMITestConfig::add() {
    saveEnabled = true;
    return AddWMITest(rows, pool, wmi_);
}

std::optional<AddWMITest> WMITestConfig::edit() {
    if (selected < 0 || selected >= static_cast<int>(rows.size())) {
        wmi_.ui().messageBox("You need select a test from the list", kShortErrorCaption,
                             MessageKind::Error);
        return std::nullopt;
    }
    const size_t at = static_cast<size_t>(selected);
    WmiTestRow row = rows[at];
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
    selected = -1;
    saveEnabled = true;
    return AddWMITest(rows, pool, wmi_, std::move(row), at);
}

void WMITestConfig::remove() {
    if (selected >= 0 && selected < static_cast<int>(rows.size()))
        rows.erase(rows.begin() + selected);
    selected = -1;
    saveEnabled = true;
}

bool WMITestConfig::quit() {
    return !saveEnabled || wmi_.ui().askYesNo("Continue without saving?", "Changes not saved");
}

void WMITestConfig::save() {
    const std::string text = composewmitests(rows);
    // The agent reads no more than this; a longer text would lose its end.
    if (text.size() >= kSettingTextLimit) {
        wmi_.ui().messageBox("The WMI tests are too long to be saved (" +
                                 std::to_string(text.size()) + " characters, at most " +
                                 std::to_string(kSettingTextLimit - 1) + ").",
                             kErrorCaption, MessageKind::Error);
        return;
    }
    bool written;
    {
        WaitCursor wait(wmi_.ui());
        wmi_.ConnectWMIDB(kRootDefault);
        written = wmi_.WriteRegKey("WMITests", text);
        wmi_.ConnectWMIDB(kRootCimv2);
    }
    if (!written) return;
    saveEnabled = false;
    // A failure to write the copy is not reported.
    platform_.files.writePrivate(twwmitestspath(platform_.system), textModeLines(text + "\n"));
}

std::string twwmitestspath(platform::System& system) {
    if (system.pathSeparator() == '\\') return "c:\\windows\\temp\\twwmitests";
    return editorFileDirectory(system) + "twwmitests";
}

}  // namespace tw::editor
