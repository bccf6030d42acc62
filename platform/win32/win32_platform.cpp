// This host's services on Windows, owned together: the registry, the event
// log, Winsock's host identity and sockets, the clock, the process services,
// the service control manager, WMI, the shell for external programs, the
// work-file directory and the editor's file writer.
#include "platform/crypto_library.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace tw::platform {

std::unique_ptr<HostPlatform> makeHostPlatform() {
    HostPlatform::Services s;
    s.settings = win32::makeRegistrySettingsStore();
    s.events = win32::makeEventLog();
    s.host = win32::makeHostInfo();
    s.clock = win32::makeClock();
    s.system = win32::makeSystem();
    s.dispatcher = win32::makeServiceDispatcher();
    s.services = win32::makeServiceManager();
    s.sockets = win32::makeSockets();
    s.wmi = win32::makeWmiProvider(*s.host);
    s.launcher = win32::makeLauncher();
    s.directory = win32::makeDirectory();
    s.files = win32::makeFileWriter();
    return std::make_unique<HostPlatform>(std::move(s), cryptoLibrary);
}

}  // namespace tw::platform
