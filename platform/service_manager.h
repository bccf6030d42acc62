// The service control manager as the agent's commands use it: create,
// update, delete, start, stop and query the agent's own service. Every
// failing call leaves the system's error (code and message) for
// lasterrortext.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/service_control.h"

namespace tw::platform {

struct SystemError {
    uint32_t code = 0;
    std::string message;  // without a line end; empty when the system has none
};

struct ServiceDefinition {
    std::string name;         // "TallwatchClient"
    std::string displayName;  // shown by the manager
    std::string binaryPath;   // the program, started without arguments
};

class ServiceManager {
  public:
    virtual ~ServiceManager() = default;

    // Opens the manager (full access for install/remove/upgrade, connect
    // access for start/stop). False when there is none to talk to.
    virtual bool openManager(bool fullAccess) = 0;
    virtual bool createService(const ServiceDefinition& def) = 0;
    virtual bool openService(const std::string& name) = 0;
    virtual bool changeService(const std::string& binaryPath, const std::string& displayName) = 0;
    virtual bool deleteService() = 0;
    virtual bool startService() = 0;
    // Sends the stop control; false when it was not accepted.
    virtual bool stopService() = 0;
    virtual std::optional<ServiceState> queryState() = 0;
    virtual void closeAll() = 0;

    virtual SystemError lastError() = 0;
};

}  // namespace tw::platform
