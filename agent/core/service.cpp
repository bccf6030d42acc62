#include "agent/core/service.h"

#include "agent/core/agent.h"
#include "agent/core/cycle.h"
#include "base/events.h"
#include "base/twlog.h"

namespace tw {

using platform::ServiceState;

int Service::start() {
    if (!a_.p.dispatcher.run([this] { servicemain(); })) {
        savedError_ = logerror(a_.p.events, a_.p.system, "StartServiceCtrlDispatcher failed.");
        return 0;
    }
    return exitStatus_;
}

bool Service::reportstatus(ServiceState state, uint32_t exitCode, uint32_t waitHint) {
    status_.state = state;
    status_.win32ExitCode = exitCode;
    status_.waitHint = waitHint;
    status_.controlsAccepted =
        state == ServiceState::StartPending ? 0 : platform::kServiceAcceptStop;
    if (state == ServiceState::Running || state == ServiceState::Stopped)
        status_.checkpoint = 0;
    else
        status_.checkpoint = checkpoint_++;
    return a_.p.dispatcher.setStatus(status_);
}

void Service::stoproutine() {
    if (a_.serviceFlag.load() != 99)
        logevent(a_.p.events, platform::EventType::Information,
                 strformat("Stopped %s", kDisplayName), kEventMessage);
    reportstatus(ServiceState::Stopped, 0, 0);
    a_.serviceFlag.store(1);
}

void Service::controlhandler(uint32_t control) {
    if (control == platform::kServiceControlStop) {
        reportstatus(ServiceState::StopPending, 0, 0);
        stoproutine();
        // Wake the cycle from its sleep so that it notices the flag.
        a_.p.system.requestStop();
        return;
    }
    reportstatus(status_.state, 0, 0);
}

void Service::servicemain() {
    if (!a_.p.dispatcher.registerHandler([this](uint32_t c) { controlhandler(c); })) return;
    status_.serviceExitCode = 0;
    if (!reportstatus(ServiceState::StartPending, 0, 3000)) {
        reportstatus(ServiceState::Stopped, savedError_, 0);
        return;
    }
    if (!reportstatus(ServiceState::Running, 0, 0)) {
        a_.serviceFlag.store(99);
        stoproutine();
        return;
    }
    logevent(a_.p.events, platform::EventType::Information, strformat("Started %s", kDisplayName),
             kEventMessage);
    a_.serviceFlag.store(0);
    exitStatus_ = twmain(a_);
    // A fatal outcome inside the cycle ends the process with its status.
    if (exitStatus_ != 0) a_.p.system.exitProcess(exitStatus_);
}

}  // namespace tw
