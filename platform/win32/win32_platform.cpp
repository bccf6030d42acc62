// This host's services on Windows, owned together: the registry, the event
// log, Winsock's host identity and sockets, the clock, the process services,
// the service control manager, WMI, the shell for external programs, the
// work-file directory and the editor's file writer.
#include "platform/crypto_library.h"
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
          services_(win32::makeServiceManager()),
          sockets_(win32::makeSockets()),
          wmi_(win32::makeWmiProvider(*host_)),
          launcher_(win32::makeLauncher()),
          directory_(win32::makeDirectory()),
          files_(win32::makeFileWriter()) {
        p_.settings = settings_.get();
        p_.events = events_.get();
        p_.host = host_.get();
        p_.clock = clock_.get();
        p_.system = system_.get();
        p_.dispatcher = dispatcher_.get();
        p_.services = services_.get();
        p_.sockets = sockets_.get();
        p_.wmi = wmi_.get();
        p_.launcher = launcher_.get();
        p_.directory = directory_.get();
        p_.files = files_.get();
        p_.crypto = &cryptoLibrary;
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
    std::unique_ptr<Sockets> sockets_;
    std::unique_ptr<WmiProvider> wmi_;
    std::unique_ptr<Launcher> launcher_;
    std::unique_ptr<Directory> directory_;
    std::unique_ptr<FileWriter> files_;
    Platform p_;
};

}  // namespace

std::unique_ptr<HostPlatform> makeHostPlatform() {
    return std::make_unique<Win32HostPlatform>();
}

}  // namespace tw::platform
