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

std::unique_ptr<HostPlatform> makeHostPlatform() {
    HostPlatform::Services s;
    s.settings = makeFileSettingsStore(defaultRegistryPath());
    s.events = posix::makeEventLog();
    s.host = posix::makeHostInfo();
    s.clock = posix::makeClock();
    // With the stop pipe and the handlers of SIGINT and SIGTERM.
    s.system = makeHostSystem();
    s.dispatcher = posix::makeServiceDispatcher();
    s.services = makeSystemdServiceManager();
    s.sockets = makePosixSockets();
    // Other machines are reached through their twwmi.
    s.wmi = makeMachineWmiProvider(makeHostWmiProvider(*s.clock, *s.settings, *s.host),
                                   makeRemoteWmiProvider(), *s.host);
    s.launcher = makePosixLauncher();
    s.directory = makePosixDirectory();
    s.files = makePosixFileWriter();
    return std::make_unique<HostPlatform>(std::move(s), cryptoLibrary);
}

}  // namespace tw::platform
