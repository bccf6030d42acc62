// The agent as a service: the dispatcher start, the service main routine,
// the control handler and the status reports.
#pragma once

#include <cstdint>

#include "platform/service_control.h"

namespace tw {

struct Agent;

class Service {
  public:
    explicit Service(Agent& agent) : a_(agent) {}

    // Runs the service under the dispatcher; logs "StartServiceCtrlDispatcher
    // failed." when there is no service manager. Answers the exit status.
    int start();

    // Exposed for tests: the pieces the dispatcher calls.
    void servicemain();
    void controlhandler(uint32_t control);
    bool reportstatus(platform::ServiceState state, uint32_t exitCode, uint32_t waitHint);
    const platform::ServiceStatus& status() const { return status_; }
    // The error code logerror saved; 0 until it is called.
    uint32_t savedError() const { return savedError_; }

  private:
    void stoproutine();

    Agent& a_;
    platform::ServiceStatus status_;
    uint32_t checkpoint_ = 1;
    int exitStatus_ = 0;
    uint32_t savedError_ = 0;
};

}  // namespace tw
