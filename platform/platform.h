// The set of OS services handed to the agent's logic. The program's entry
// fills it with this host's implementations; tests fill it with fakes.
#pragma once

#include <memory>

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

namespace tw::platform {

struct CryptoLibrary;

struct Platform {
    SettingsStore* settings = nullptr;
    EventLog* events = nullptr;
    HostInfo* host = nullptr;
    Clock* clock = nullptr;
    System* system = nullptr;
    ServiceDispatcher* dispatcher = nullptr;
    ServiceManager* services = nullptr;
    Sockets* sockets = nullptr;
    WmiProvider* wmi = nullptr;
    Launcher* launcher = nullptr;
    Directory* directory = nullptr;
    FileWriter* files = nullptr;
    // The cipher library of the message envelope (crypto_library.h), loaded
    // when first asked for; nullptr from it when it cannot be had.
    const CryptoLibrary* (*crypto)() = nullptr;
};

// This host's implementations, owned together.
class HostPlatform {
  public:
    virtual ~HostPlatform() = default;
    virtual Platform& get() = 0;
};

std::unique_ptr<HostPlatform> makeHostPlatform();

}  // namespace tw::platform
