// The editor's load and save of all settings of this machine through
// StdRegProv over the settings file, and the filling of its four pick lists
// from a WMI fixture with 2,000 processes and 1,000 services.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "agent/wmitests/definitions.h"
#include "editor/twntcfgdlg.h"
#include "platform/platform.h"
#include "platform/posix/file_settings_store.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "test/support/fake_platform.h"

namespace {

using tw::editor::CtwntcfgDlg;

class SilentUi : public tw::editor::UiPort {
  public:
    void messageBox(const std::string& text, const std::string&, tw::editor::MessageKind) override {
        shown = text;
    }
    bool askYesNo(const std::string&, const std::string&) override { return true; }
    void beginWait() override {}
    void endWait() override {}
    void setFocus(const std::string&) override {}
    std::optional<std::string> pickLocalFile() override { return std::nullopt; }
    std::optional<std::string> pickLocalFolder(const std::string&) override { return std::nullopt; }
    std::optional<std::string> chooseFromList(const std::string&,
                                              const std::vector<std::string>&) override {
        return std::nullopt;
    }
    void openWebAddress(const std::string&) override {}
    std::string shown;
};

std::string fixtureJson() {
    std::string j = R"({"Win32_ComputerSystem": [{"Name": "BENCH", "SystemType": "x64-based PC"}],
"Win32_PerfRawData_PerfProc_Process": [)";
    for (int i = 0; i < 2000; ++i)
        j += (i ? ",\n" : "") + std::string("{\"Name\": \"process") + std::to_string(i) +
             (i % 3 ? ".exe\"}" : "#1\"}");
    j += R"(],
"Win32_Service": [)";
    for (int i = 0; i < 1000; ++i)
        j += (i ? ",\n" : "") + std::string("{\"Name\": \"svc") + std::to_string(i) +
             "\", \"DisplayName\": \"Service number " + std::to_string(i) +
             "\", \"Started\": " + (i % 2 ? "true" : "false") + "}";
    j += R"(],
"Win32_LogicalDisk": [)";
    for (char d = 'C'; d <= 'Z'; ++d)
        j += std::string(d == 'C' ? "" : ",\n") + "{\"Name\": \"" + d +
             ":\", \"DriveType\": 3, \"Description\": \"Local Fixed Disk\"}";
    j += R"(],
"Win32_PerfRawData_Tcpip_NetworkInterface": [)";
    for (int i = 0; i < 8; ++i)
        j += (i ? ",\n" : "") + std::string("{\"Name\": \"eth") + std::to_string(i) +
             "\", \"CurrentBandwidth\": \"1000000000\"}";
    return j + "]}";
}

// The folder for the benchmark's files, taken before TEMP points at them.
const std::string& baseDir() {
    static const std::string base = std::filesystem::temp_directory_path().string();
    return base;
}

struct Editor {
    // fullPool: a WMIPool of the most the setting holds (100 KB, stored as
    // hex for its CR LF), else the pool that installation writes.
    explicit Editor(bool fullPool) : dir(baseDir() + "/tweditor." + std::to_string(getpid())) {
        std::filesystem::create_directories(dir);
        setenv("TEMP", dir.c_str(), 1);
        store = tw::platform::makeFileSettingsStore(dir + "/registry.reg");
        std::ofstream(dir + "/fixture.json") << fixtureJson();
        wmi = tw::platform::makeFixtureWmiProvider(dir + "/fixture.json", clock, *store);
        host = tw::platform::makeHostPlatform();
        platform.emplace(tw::testing::Replacements{.settings = store.get(),
                                                   .system = &host->get().system,
                                                   .wmi = wmi.get(),
                                                   .files = &host->get().files});
        const std::string key =
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Orvane Software\\Tallwatch\\twnt\\";
        auto set = [&](const char* name, const std::string& text) {
            store->setValue(key + name, "", tw::platform::RegValue::sz(text));
        };
        set("TWDISPLAY", "mon1.corp.lan;mon2.corp.lan:1985");
        set("Defaults", "CPU:80:95 DISK:90:95 PAGEFILE:70:80");
        set("MemLevels", "PHYS:95:98 COMMIT:80:90");
        set("CPUrebootmins", "60");
        set("StartDelay", "0");
        set("CPUupdays", "999");
        set("Procs", std::string(7000, 'p'));
        set("Services", std::string(7000, 's'));
        set("NetworkInterfaces", "eth0 1000Mbps:85:95:80:90");
        set("Tests", "procs:P msgs:P cpu:P disk:P netprotl:P mem:P pagefile:P svcs:P");
        const std::string row =
            "cores Numerical \"<2\" noperf \"select NumberOfProcessors from "
            "Win32_ComputerSystem\" \"%value%\"\r\n";
        std::string pool = tw::defaultwmipool();
        if (fullPool)
            while (pool.size() + row.size() < 102400) pool += row;
        set("WMIPool", pool);
        set("WMITests", pool.substr(0, 2000));
        for (int i = 0; i < tw::editor::kDialogSettings; ++i)
            if (!store->getValue(key + tw::editor::dialogSetting(i).editorName, ""))
                set(tw::editor::dialogSetting(i).editorName, "1");
        dlg = std::make_unique<CtwntcfgDlg>(platform->p, log, ui);
        dlg->OnInitDialog();
    }
    ~Editor() { std::filesystem::remove_all(dir); }

    std::string dir;
    tw::testing::ManualClock clock;
    std::unique_ptr<tw::platform::SettingsStore> store;
    std::unique_ptr<tw::platform::WmiProvider> wmi;
    std::unique_ptr<tw::platform::HostPlatform> host;
    // This host's process services and files; the settings and WMI above.
    std::optional<tw::testing::FakePlatform> platform;
    tw::testing::MemoryFiles logFiles;
    tw::editor::EditorLog log{logFiles};  // not started: writes nothing
    SilentUi ui;
    std::unique_ptr<CtwntcfgDlg> dlg;
};

void BM_EditorLoadAllSettings(benchmark::State& state) {
    Editor e(state.range(0) != 0);
    for (auto _ : state) {
        e.dlg->wmi().ConnectWMIDB(tw::editor::kRootDefault);
        e.dlg->GetRegistryValues();
    }
    if (e.dlg->LoadedSettings().text[tw::editor::kProcs].size() != 7000)
        state.SkipWithError("the settings did not load");
}
BENCHMARK(BM_EditorLoadAllSettings)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_EditorSaveAllSettings(benchmark::State& state) {
    Editor e(state.range(0) != 0);
    int n = 0;
    for (auto _ : state) {
        // A changed text each time, as a real save has one.
        e.dlg->setText(tw::editor::ctl::kTimer, std::to_string(300 + (n++ % 2)));
        e.dlg->SaveSettings();
    }
    if (!e.ui.shown.empty()) state.SkipWithError(e.ui.shown.c_str());
    if (!std::filesystem::exists(e.dir + "/TWNT.cfg")) state.SkipWithError("no export file");
}
BENCHMARK(BM_EditorSaveAllSettings)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_EditorFillPickLists(benchmark::State& state) {
    Editor e(state.range(0) != 0);
    e.dlg->wmi().ConnectWMIDB(tw::editor::kRootCimv2);
    for (auto _ : state) {
        e.dlg->FillPickLists();
    }
    if (e.dlg->entries(tw::editor::ctl::kProcsPick).size() != 2000 ||
        e.dlg->entries(tw::editor::ctl::kServicesPick).size() != 1000)
        state.SkipWithError("the pick lists are not full");
}
BENCHMARK(BM_EditorFillPickLists)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
