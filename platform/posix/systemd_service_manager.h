// The service control manager on Linux: systemd. The service is the unit
// "<name>.service" in /etc/systemd/system, or in TWNT_UNIT_DIR, where the
// manager works offline on the folder (no running systemd needed; start,
// stop and status queries fail there).
#pragma once

#include <memory>
#include <string>

#include "platform/service_manager.h"

namespace tw::platform {

std::unique_ptr<ServiceManager> makeSystemdServiceManager();

// The unit file text for a service definition.
std::string unitFileText(const ServiceDefinition& def);

}  // namespace tw::platform
