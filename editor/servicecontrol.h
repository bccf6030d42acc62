// The agent's service on the target machine, started and stopped through
// the Win32_Service methods on the current ROOT\CIMV2 connection of the WMI
// context. The main dialog's service button uses it (its caption, "Start
// Service" or "Stop Service", is the record of what a click does).
#pragma once

#include <string_view>

#include "editor/wmicontext.h"

namespace tw::editor {

inline constexpr const char* kAgentServiceName = "TallwatchClient";
// What the agent's service display name contains.
inline constexpr const char* kAgentDisplayMark = "Tallwatch Professional Edition Client";
inline constexpr const char* kStartServiceCaption = "Start Service";
inline constexpr const char* kStopServiceCaption = "Stop Service";

// Runs the action ("START" or "STOP", any letter case) on the service
// "Win32_Service.Name='<name>'". Succeeds when the method ran and answered
// ReturnValue 0 (a start also when the service is already running). The
// action "CREATE" and any other fail.
bool ServiceControl(WmiContext& wmi, std::string_view action, std::string_view name);

}  // namespace tw::editor
