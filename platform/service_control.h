// The service control manager as the running agent sees it: the dispatcher
// that runs the service main routine and delivers stop controls, and the
// status reports. (Installing and controlling the service from the command
// line lives in the service manager interface.)
#pragma once

#include <cstdint>
#include <functional>

namespace tw::platform {

enum class ServiceState : uint32_t {
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
    ContinuePending = 5,
    PausePending = 6,
    Paused = 7,
};

constexpr uint32_t kServiceControlStop = 1;
constexpr uint32_t kServiceAcceptStop = 1;

struct ServiceStatus {
    ServiceState state = ServiceState::Stopped;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceExitCode = 0;
    uint32_t checkpoint = 0;
    uint32_t waitHint = 0;
};

class ServiceDispatcher {
  public:
    virtual ~ServiceDispatcher() = default;
    // Runs serviceMain under the service manager; returns when the service
    // has ended. Answers false at once when the process was not started by a
    // service manager (the dispatcher cannot start).
    virtual bool run(const std::function<void()>& serviceMain) = 0;
    // Registers the control handler; answers false on failure.
    virtual bool registerHandler(const std::function<void(uint32_t)>& handler) = 0;
    virtual bool setStatus(const ServiceStatus& status) = 0;
};

}  // namespace tw::platform
