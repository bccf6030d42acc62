// The machine and the settings the editor's tests start from: a fixture of
// a small Windows machine and a complete set of the agent's settings.
#pragma once

#include <string>
#include <utility>
#include <vector>

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

}  // namespace tw::testing
