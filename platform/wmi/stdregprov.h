// StdRegProv in ROOT\DEFAULT: the registry provider through which the
// editor reads and writes settings, served by the settings store on every
// provider of this platform. Methods: GetStringValue, SetStringValue and
// CreateKey (hDefKey as a 32-bit integer or its decimal text, default
// HKEY_LOCAL_MACHINE; sSubKeyName; sValueName, absent for the default value;
// sValue), answering ReturnValue as the registry does: 0 done, 2 no such key
// or value (SetStringValue does not create a missing key, as with the
// registry provider; CreateKey does, with its parents), 1 the value is not a
// string, 87 CreateKey without a subkey.
#pragma once

#include <memory>

#include "platform/settings_store.h"
#include "platform/wmi_provider.h"

namespace tw::platform {

std::unique_ptr<WmiConnection> makeStdRegProvConnection(SettingsStore& store);

}  // namespace tw::platform
