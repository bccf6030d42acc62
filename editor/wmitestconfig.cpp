#include "editor/wmitestconfig.h"

#include "base/text.h"
#include "editor/addwmitest.h"
#include "editor/exportsettings.h"

namespace tw::editor {

WMITestConfig::WMITestConfig(WmiContext& wmi, platform::Platform& platform)
    : Form(kCaption), wmi_(wmi), platform_(platform) {
    add(kList, ControlKind::Table)
        .entries.assign(std::begin(kWmiTestColumns), std::end(kWmiTestColumns));
    for (const char* button : {kAdd, kEdit, kDelete, kSave, kQuit})
        add(button, ControlKind::Button);
    ctrl(kSave).enabled = false;
    auto done = [](auto run) {
        return [run] {
            run();
            return ViewStep::None;
        };
    };
    onClick(kAdd, [this] { return addTest(); });
    onClick(kEdit, [this] { return editTest(); });
    onClick(kList, [this] { return editTest(); });
    onClick(kDelete, done([this] { remove(); }));
    onClick(kSave, done([this] { save(); }));
    onClick(kQuit, [this] { return quit() ? ViewStep::CloseOk : ViewStep::None; });
    closeWith(kQuit, true);
    // "New WMI Test" changed the rows.
    onSubClosed([this] { showRows(); });

    // A remote machine keeps the reads busy.
    WaitCursor wait(wmi_.ui());
    wmi_.ConnectWMIDB(kRootDefault);
    // Each read stands alone: a missing WMITests still offers the pool.
    std::string tests = wmi_.ReadRegKey("WMITests");
    pool = wmi_.ReadRegKey("WMIPool");
    wmi_.ConnectWMIDB(kRootCimv2);
    rows = parsewmitests(tests);
    showRows();
}

void WMITestConfig::showRows() {
    Control& list = ctrl(kList);
    list.rows.clear();
    for (const WmiTestRow& r : rows)
        list.rows.push_back({r.name, r.type, r.threshold, r.trend, r.query, r.pageformat});
    list.selected = -1;
}

ViewStep WMITestConfig::addTest() {
    enableSave();
    return open(std::make_unique<AddWMITest>(rows, pool, wmi_));
}

ViewStep WMITestConfig::editTest() {
    const int selected = this->selected(kList);
    if (selected < 0 || selected >= static_cast<int>(rows.size())) {
        wmi_.ui().messageBox("You need select a test from the list", kShortErrorCaption,
                             MessageKind::Error);
        return ViewStep::None;
    }
    const size_t at = static_cast<size_t>(selected);
    WmiTestRow row = rows[at];
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
    showRows();
    enableSave();
    return open(std::make_unique<AddWMITest>(rows, pool, wmi_, std::move(row), at));
}

void WMITestConfig::remove() {
    const int selected = this->selected(kList);
    if (selected >= 0 && selected < static_cast<int>(rows.size()))
        rows.erase(rows.begin() + selected);
    showRows();
    enableSave();
}

bool WMITestConfig::quit() {
    return !enabled(kSave) || wmi_.ui().askYesNo("Continue without saving?", "Changes not saved");
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
    ctrl(kSave).enabled = false;
    // A failure to write the copy is not reported.
    platform_.files.writePrivate(twwmitestspath(platform_.system), textModeLines(text + "\n"));
}

std::string twwmitestspath(platform::System& system) {
    if (system.pathSeparator() == '\\') return "c:\\windows\\temp\\twwmitests";
    return editorFileDirectory(system) + "twwmitests";
}

}  // namespace tw::editor
