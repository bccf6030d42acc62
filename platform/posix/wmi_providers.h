// This host's WMI providers: the fixture provider (every answer from the
// JSON file named by TWNT_WMI_FIXTURE) and the live provider (the host's
// own /proc, /sys, mounts, swaps, network counters, systemd units and
// journal). Both serve StdRegProv in ROOT\DEFAULT from the settings store.
#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/settings_store.h"
#include "platform/wmi_provider.h"

namespace tw::platform {

std::unique_ptr<WmiProvider> makeFixtureWmiProvider(std::string path, Clock& clock,
                                                    SettingsStore& store);

struct LiveWmiRoots {
    std::string proc = "/proc";
    std::string sys = "/sys";
    // The mount table; empty: <proc>/self/mounts.
    std::string mounts;
    // systemctl, for Win32_Service; empty: no services.
    std::string systemctl = "systemctl";
    // Whether Win32_NTLogEvent reads the systemd journal of this host.
    bool journal = true;
};

std::unique_ptr<WmiProvider> makeLiveWmiProvider(Clock& clock, SettingsStore& store,
                                                 LiveWmiRoots roots = {});

// "", ".", "localhost" and this host's name (to its first dot, any case)
// name this machine; the providers here reach no other.
bool isLocalWmiServer(const std::string& server);

}  // namespace tw::platform
