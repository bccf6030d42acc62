// What an editor model test stands on: a settings store in memory, the
// fixture WMI provider over a JSON file (wrapped in failure switches), files
// in memory, an active editor log, a scripted UI port and the WMI context,
// all wired into a Platform.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editor/editorlog.h"
#include "editor/wmicontext.h"
#include "platform/platform.h"
#include "platform/posix/wmi_providers.h"
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
                   platform::makeFixtureWmiProvider(fixturePath, clock, store))),
          provider(*fixture),
          log(&files, "twntcfg.log"),
          wmi(&provider, &store, log, ui) {
        log.start();
        log.shareWithWmi();
        files.files.clear();
        p.settings = &store;
        p.clock = &clock;
        p.system = &system;
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
    MemoryFiles files;
    ScriptedUi ui;
    std::unique_ptr<platform::WmiProvider> fixture;
    SwitchWmiProvider provider;
    editor::EditorLog log;
    editor::WmiContext wmi;
    platform::Platform p;
};

}  // namespace tw::testing
