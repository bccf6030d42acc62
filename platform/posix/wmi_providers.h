// This host's WMI providers on Linux: the live provider (the host's own
// /proc, /sys, mounts, swaps, network counters, systemd units and journal)
// and the choice between it and the fixture provider. Both serve StdRegProv
// in ROOT\DEFAULT from the settings store.
#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/host_info.h"
#include "platform/settings_store.h"
#include "platform/wmi_provider.h"

namespace tw::platform {

struct LiveWmiRoots {
    std::string proc = "/proc";
    std::string sys = "/sys";
    // The mount table; empty: <proc>/self/mounts.
    std::string mounts;
    // systemctl, for Win32_Service; empty: no services.
    std::string systemctl = "systemctl";
    // Whether Win32_NTLogEvent reads the systemd journal of this host.
    bool journal = true;
    // The tree that CIM_DataFile and Win32_Directory list, shown as "/"
    // (empty: the host's own "/").
    std::string files;
    // The program folders' search path of CIM_DataFile (empty: this
    // process's PATH).
    std::string programPath;
};

// host names this machine (Win32_ComputerSystem, the servers connect() takes).
std::unique_ptr<WmiProvider> makeLiveWmiProvider(Clock& clock, SettingsStore& store, HostInfo& host,
                                                 LiveWmiRoots roots = {});

// What this host answers WMI with: the fixture provider when
// TWNT_WMI_FIXTURE names a file (tests, demonstrations), else the live one.
std::unique_ptr<WmiProvider> makeHostWmiProvider(Clock& clock, SettingsStore& store,
                                                 HostInfo& host);

}  // namespace tw::platform
