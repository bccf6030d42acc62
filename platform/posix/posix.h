// What the Linux implementations share: the process-wide stop request (a
// flag and a self-pipe that SIGINT, SIGTERM and requestStop() write to, so
// that every sleep on the clock ends at once), and the factories that
// makeHostPlatform() puts together.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/clock.h"
#include "platform/event_log.h"
#include "platform/host_info.h"
#include "platform/service_control.h"
#include "platform/system.h"

namespace tw::platform::posix {

// Creates the self-pipe (once).
void installStopPipe();
// Sets the stop flag and wakes the sleepers; safe in a signal handler.
void raiseStop();
bool stopRaised();
// Waits up to ms (or a while less) for a stop to be raised; every waiting
// thread wakes at a stop.
void waitForStop(int64_t ms);

std::unique_ptr<EventLog> makeEventLog();
std::unique_ptr<HostInfo> makeHostInfo();
std::unique_ptr<Clock> makeClock();
std::unique_ptr<System> makeSystem();
std::unique_ptr<ServiceDispatcher> makeServiceDispatcher();

}  // namespace tw::platform::posix
