// The set of OS services handed to the agent's logic and the editor. The
// program's entry builds it from this host's implementations
// (makeHostPlatform); tests build it from fakes. Every service is there: a
// Platform cannot be built without one, and no code asks whether it is.
#pragma once

#include <memory>
#include <utility>

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
    SettingsStore& settings;
    EventLog& events;
    HostInfo& host;
    Clock& clock;
    System& system;
    // Used in service mode only; in every other mode it stays unused.
    ServiceDispatcher& dispatcher;
    ServiceManager& services;
    Sockets& sockets;
    WmiProvider& wmi;
    Launcher& launcher;
    Directory& directory;
    FileWriter& files;
    // The cipher library of the message envelope (crypto_library.h), loaded
    // when first asked for. Its answer is optional: nullptr when the library
    // cannot be had; an encrypted message is then not sent (never in clear).
    const CryptoLibrary* (&crypto)();
};

// This host's implementations, owned together, and the Platform over them.
class HostPlatform {
  public:
    struct Services {
        std::unique_ptr<SettingsStore> settings;
        std::unique_ptr<EventLog> events;
        std::unique_ptr<HostInfo> host;
        std::unique_ptr<Clock> clock;
        std::unique_ptr<System> system;
        std::unique_ptr<ServiceDispatcher> dispatcher;
        std::unique_ptr<ServiceManager> services;
        std::unique_ptr<Sockets> sockets;
        std::unique_ptr<WmiProvider> wmi;
        std::unique_ptr<Launcher> launcher;
        std::unique_ptr<Directory> directory;
        std::unique_ptr<FileWriter> files;
    };
    // Every service must be there.
    HostPlatform(Services s, const CryptoLibrary* (&crypto)())
        : s_(std::move(s)),
          p_{.settings = *s_.settings,
             .events = *s_.events,
             .host = *s_.host,
             .clock = *s_.clock,
             .system = *s_.system,
             .dispatcher = *s_.dispatcher,
             .services = *s_.services,
             .sockets = *s_.sockets,
             .wmi = *s_.wmi,
             .launcher = *s_.launcher,
             .directory = *s_.directory,
             .files = *s_.files,
             .crypto = crypto} {}
    HostPlatform(const HostPlatform&) = delete;
    HostPlatform& operator=(const HostPlatform&) = delete;
    Platform& get() { return p_; }

  private:
    Services s_;
    Platform p_;
};

std::unique_ptr<HostPlatform> makeHostPlatform();

}  // namespace tw::platform
