// What the Windows implementations share: the system headers in the order
// Winsock needs, the process-wide stop event, system error texts, and the
// factories that makeHostPlatform() puts together.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <cstdint>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/host_info.h"
#include "platform/launcher.h"
#include "platform/service_control.h"
#include "platform/service_manager.h"
#include "platform/settings_store.h"
#include "platform/sockets.h"
#include "platform/system.h"
#include "platform/wmi_provider.h"

namespace tw::platform::win32 {

// The manual-reset event that a stop request (service stop, Ctrl-C) sets;
// every sleep on the clock waits on it.
HANDLE stopEvent();

// The system's message for an error code, its line end cut off; empty when
// the system has none.
std::string systemErrorText(DWORD code);

std::unique_ptr<SettingsStore> makeRegistrySettingsStore();
std::unique_ptr<EventLog> makeEventLog();
std::unique_ptr<HostInfo> makeHostInfo();
std::unique_ptr<Clock> makeClock();
std::unique_ptr<System> makeSystem();
std::unique_ptr<ServiceDispatcher> makeServiceDispatcher();
std::unique_ptr<ServiceManager> makeServiceManager();
std::unique_ptr<Sockets> makeSockets();
std::unique_ptr<WmiProvider> makeWmiProvider(HostInfo& host);
std::unique_ptr<Launcher> makeLauncher();
std::unique_ptr<Directory> makeDirectory();
std::unique_ptr<FileWriter> makeFileWriter();

}  // namespace tw::platform::win32
