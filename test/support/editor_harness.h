// What an editor model test stands on: a settings store in memory, the
// fixture WMI provider over a JSON file (wrapped in failure switches), files
// in memory, an active editor log, a scripted UI port and the WMI context,
// all wired into a Platform.
#pragma once

#include <memory>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

#include "editor/editorlog.h"
#include "editor/twntcfgdlg.h"
#include "editor/wmicontext.h"
#include "platform/platform.h"
#include "platform/fixture_wmi_provider.h"
#include "test/support/fake_platform.h"
#include "test/support/memory_files.h"
#include "test/support/scripted_ui.h"
#include "test/support/switch_wmi_provider.h"

namespace tw::testing {

// A small 32-bit machine named WEB1 with a few processes, drives, services
// and network interfaces, the agent's service among them.
inline const char* kEditorFixture = R"({
  "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC"}],
  "Win32_PerfRawData_PerfProc_Process": [
    {"Name": "svchost"}, {"Name": "_Total"}, {"Name": "Idle"}, {"Name": "sqlservr.exe"},
    {"Name": ".exe"}
  ],
  "Win32_LogicalDisk": [
    {"Name": "C:", "DriveType": 3, "Description": "Local Fixed Disk"},
    {"Name": "A:", "DriveType": 2, "Description": "3 1/2 Inch Floppy Drive"},
    {"Name": "Z:", "DriveType": 7, "Description": "RAM Disk"}
  ],
  "Win32_Service": [
    {"Name": "Spooler", "DisplayName": "Print Spooler", "Started": false},
    {"Name": "TallwatchClient", "DisplayName": "Tallwatch Professional Edition Client 5.01",
     "Started": true}
  ],
  "Win32_PerfRawData_Tcpip_NetworkInterface": [
    {"Name": "eth0", "CurrentBandwidth": "1000000000"},
    {"Name": "lo", "CurrentBandwidth": 10000000}
  ]
})";

inline const std::string kAgentKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";

struct EditorHarness {
    explicit EditorHarness(const std::string& fixtureJson = kEditorFixture)
        : fixturePath(dir.file("fixture.json")),
          fixture((writeFile(fixturePath, fixtureJson),
                   platform::makeFixtureWmiProvider(fixturePath, clock, store, &host))),
          provider(*fixture),
          log(&files, "twntcfg.log"),
          wmi(&provider, &store, log, ui) {
        log.start();
        log.shareWithWmi();
        files.files.clear();
        p.settings = &store;
        p.clock = &clock;
        p.system = &system;
        p.host = &host;
        p.wmi = &provider;
        p.files = &files;
    }

    // The log's lines since the start, without their line ends.
    std::vector<std::string> logLines() const {
        std::vector<std::string> out;
        auto it = files.files.find("twntcfg.log");
        if (it == files.files.end()) return out;
        const std::string& s = it->second;
        size_t start = 0;
        for (size_t i = 0; i + 1 < s.size(); ++i)
            if (s[i] == '\r' && s[i + 1] == '\n') {
                out.push_back(s.substr(start, i - start));
                start = i + 2;
                ++i;
            }
        return out;
    }
    std::string setting(const std::string& name) {
        return store.setting(name).value_or("<missing>");
    }

    TempDir dir;
    std::string fixturePath;
    MemorySettingsStore store;
    ManualClock clock;
    FakeSystem system;
    FakeHostInfo host;
    MemoryFiles files;
    ScriptedUi ui;
    std::unique_ptr<platform::WmiProvider> fixture;
    SwitchWmiProvider provider;
    editor::EditorLog log;
    editor::WmiContext wmi;
    platform::Platform p;
};

// A complete settings store as the editor writes it back unchanged: host
// lists sorted, Defaults and MemLevels in the editor's keyword order, the
// colours and check boxes in their exact words. Agent letter case for the
// names the editor spells differently.
inline const std::vector<std::pair<std::string, std::string>> kCompleteSettings = {
    {"TWDISPLAY", "mon1.corp.lan;mon2.corp.lan:1985"},
    {"TWPAGE", "[::1]:1986;pager.corp.lan"},
    {"AliasName", "Front End #2"},
    {"Activatelog", "Y"},
    {"FQDN", "N"},
    {"SendPageAlerts", "Y"},
    {"Defaults", "CPU:80:95 DISK:90:95 PAGEFILE:70:80"},
    {"MemLevels", "PHYS:95:98 COMMIT:80:90"},
    {"CPUrebootcolor", "Red"},
    {"CPUrebootmins", "60"},
    {"StartDelay", "2"},
    {"CPUupdays", "999"},
    {"CPUupdayscolor", "Green"},
    {"PageLevels", "red purple "},
    {"ExternalPath", "/var/spool/tw"},
    {"MsgLevels", "SYS:ERR:Y:30 APP:WARN:N:15"},
    {"IgnoreMsgs", "DCOM"},
    {"Procs", "svchost:N:1 sqlservr:N:2"},
    {"DiskList", "C:90:95:R "},
    {"Services", "Print Spooler:R:R:N"},
    {"NetworkInterfaces", "eth0 1000Mbps:85:95:80:90"},
    {"Externals", "/opt/check.sh /INT=300"},
    {"KeyCode", "secret phrase"},
    {"IPport", "1984"},
    {"Timer", "300"},
    {"PluginTimer", "60"},
    {"Tests", "procs:T msgs:P cpu:T disk:P netprotl:G mem:P pagefile:P svcs:P netdata:T wmitest:P"},
    {"WMITests",
     "cpuload Numerical \"80:90\" perf \"select LoadPercentage from Win32_Processor\" "
     "\"Load: %value%\r\nDone\""},
};

// The main dialog over the harness, its settings store filled or not.
struct DialogHarness : EditorHarness {
    explicit DialogHarness(bool complete = true, const std::string& fixtureJson = kEditorFixture)
        : EditorHarness(fixtureJson), dlg(p, log, ui) {
        if (complete)
            for (const auto& [name, text] : kCompleteSettings) store.setSetting(name, text);
    }
    // Starts the dialog; the start's messages are kept in ui.
    void start() {
        auto code = dlg.OnInitDialog();
        if (code) throw std::runtime_error("the dialog did not start");
    }

    editor::CtwntcfgDlg dlg;
};

}  // namespace tw::testing
