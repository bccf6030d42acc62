// This host's services on Windows, owned together: the registry, the event
// log, Winsock's host identity, the clock, the process services and the
// service control manager.
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace tw::platform {

namespace {

class Win32HostPlatform final : public HostPlatform {
  public:
    Win32HostPlatform()
        : settings_(win32::makeRegistrySettingsStore()),
          events_(win32::makeEventLog()),
          host_(win32::makeHostInfo()),
          clock_(win32::makeClock()),
          system_(win32::makeSystem()),
          dispatcher_(win32::makeServiceDispatcher()),
          services_(win32::makeServiceManager()) {
        p_.settings = settings_.get();
        p_.events = events_.get();
        p_.host = host_.get();
        p_.clock = clock_.get();
        p_.system = system_.get();
        p_.dispatcher = dispatcher_.get();
        p_.services = services_.get();
    }
    Platform& get() override { return p_; }

  private:
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<EventLog> events_;
    std::unique_ptr<HostInfo> host_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<System> system_;
    std::unique_ptr<ServiceDispatcher> dispatcher_;
    std::unique_ptr<ServiceManager> services_;
    Platform p_;
};

}  // namespace

std::unique_ptr<HostPlatform> makeHostPlatform() {
    return std::make_unique<Win32HostPlatform>();
}

}  // namespace tw::platform
