// The fixture provider: every ROOT\CIMV2 answer from a JSON file (tests,
// demonstrations; TWNT_WMI_FIXTURE names it on Linux), StdRegProv in
// ROOT\DEFAULT from the settings store. Portable: nothing in it asks the OS.
#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/host_info.h"
#include "platform/settings_store.h"
#include "platform/wmi_provider.h"

namespace tw::platform {

// host: who this machine is, for the servers that connect() takes as local
// (see isLocalWmiServer); nullptr: only "", "." and "localhost".
std::unique_ptr<WmiProvider> makeFixtureWmiProvider(std::string path, Clock& clock,
                                                    SettingsStore& store, HostInfo* host = nullptr);

// Reads a fixture text as the fixture provider does: empty when it is
// usable, else where and why it is refused.
std::string fixtureTextError(const std::string& text);

}  // namespace tw::platform
