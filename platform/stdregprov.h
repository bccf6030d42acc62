// StdRegProv in ROOT\DEFAULT: the registry provider through which the
// editor reads and writes settings, served by the settings store on every
// provider of this platform. Methods: GetStringValue and SetStringValue
// (hDefKey as a 32-bit integer or its decimal text, default
// HKEY_LOCAL_MACHINE; sSubKeyName; sValueName, absent for the default value;
// sValue), answering ReturnValue as the registry does: 0 done, 2 no such key
// or value (a missing key is not created, as with the registry provider),
// 1 the value is not a string.
#pragma once

#include <memory>

#include "platform/settings_store.h"
#include "platform/wmi_provider.h"

namespace tw::platform {

std::unique_ptr<WmiConnection> makeStdRegProvConnection(SettingsStore& store);

}  // namespace tw::platform
