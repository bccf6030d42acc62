// This host's services on Linux, owned together: the registry file, the
// event file or syslog, the resolver, the clock with the stop pipe that
// SIGINT and SIGTERM write to, the process services, systemd as the service
// manager, the live (or fixture) WMI provider with other machines through
// their twwmi, child processes for external programs and the work-file
// directory.
#include "platform/bridge/remote_wmi_provider.h"
#include "platform/crypto_library.h"
#include "platform/platform.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/posix.h"
#include "platform/posix/posix_directory.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_launcher.h"
#include "platform/posix/posix_sockets.h"
#include "platform/posix/systemd_service_manager.h"
#include "platform/posix/wmi_providers.h"

namespace tw::platform {

namespace {

class PosixHostPlatform final : public HostPlatform {
  public:
    PosixHostPlatform()
        : settings_(makeFileSettingsStore(defaultRegistryPath())),
          events_(posix::makeEventLog()),
          host_(posix::makeHostInfo()),
          clock_(posix::makeClock()),
          system_(makeHostSystem()),
          dispatcher_(posix::makeServiceDispatcher()),
          services_(makeSystemdServiceManager()),
          sockets_(makePosixSockets()),
          // Other machines are reached through their twwmi.
          wmi_(makeMachineWmiProvider(makeHostWmiProvider(*clock_, *settings_, *host_),
                                      makeRemoteWmiProvider(), *host_)),
          launcher_(makePosixLauncher()),
          directory_(makePosixDirectory()),
          files_(makePosixFileWriter()) {
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
    return std::make_unique<PosixHostPlatform>();
}

}  // namespace tw::platform
