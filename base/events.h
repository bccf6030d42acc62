// The agent's entries in the application event log, under the source
// "TallwatchClient", and the source's registration.
#pragma once

#include <cstdint>
#include <string>

#include "platform/event_log.h"

namespace tw::platform {
class SettingsStore;
class System;
}  // namespace tw::platform

namespace tw {

inline constexpr const char* kServiceName = "TallwatchClient";
inline constexpr const char* kDisplayName = "Tallwatch Professional Edition Client 5.01";
inline constexpr const char* kShortDisplayName = "Tallwatch Professional Edition Client";
inline constexpr const char* kEventSourceKey =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\"
    "TallwatchClient";

enum : uint32_t {
    kEventWsaStartup = 1,
    kEventNoDisplay = 2,
    kEventHostName = 3,
    kEventSettingsUnreadable = 4,
    kEventKeyCodeUnusable = 5,
    kEventLogUnopenable = 6,
    kEventMessage = 256,
};

void logevent(platform::EventLog& log, platform::EventType type, const std::string& text,
              uint32_t identifier);

// Writes "TallwatchClient error: <code>" with the system's last error code
// and the text as an error entry; answers the code, which the caller keeps
// as the saved error code.
uint32_t logerror(platform::EventLog& log, platform::System& system, const std::string& text);

// Writes EventMessageFile (the program path) and TypesSupported (7) under the
// source's key. Failures are silent.
void registereventsource(platform::SettingsStore& store, const std::string& programPath);

}  // namespace tw
