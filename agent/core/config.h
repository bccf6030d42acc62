// The agent's configuration: the 29 settings as loaded, normalised and
// logged at the top of every cycle, and the host identity that every status
// message carries; and what the status channel and the plugin reader take
// from it.
#pragma once

#include <functional>
#include <string>

#include "agent/ext/auxthreads.h"
#include "agent/tests/defaults.h"
#include "agent/tests/netdata.h"
#include "agent/transport/twsend.h"
#include "base/settingstable.h"
#include "base/testmode.h"

namespace tw::platform {
class Clock;
class HostInfo;
class Sockets;
}  // namespace tw::platform

namespace tw {

class Settings;

struct HostIdentity {
    std::string realcompName;  // the resolver's official name
    std::string twcompName;    // shaped by FQDN, replaced by a usable AliasName
    std::string machineIP;     // first IPv4 address without its dots
    std::string compName;      // the host part of every status message
};

struct Config {
    std::string twdisplay, twpage;  // cleaned destination lists
    std::string fqdn = "N";         // "Y" or "N"
    int ipport = 1984;              // the port is its low 16 bits
    std::string aliasName;          // as filtered by the host identity
    std::string tests;
    TestModes modes;
    std::string networkInterfaces;
    std::vector<InterfaceLimit> interfaceLimits;  // the netdata test's entries
    std::string wmitests, wmipool;
    HostIdentity host;
    int cpurebootmins = 0;
    std::string cpurebootcolor;
    int cpuupdays = 999;
    std::string cpuupdayscolor;
    std::string sendPageAlerts = "N";
    int timer = 300;
    std::string keycode;
    // A KeyCode is stored but does not fit its 255 characters: nothing may
    // be sent, as it would go out in clear.
    bool keycodeUnusable = false;
    std::string procs;
    std::string disklist;  // upper-cased
    std::string services;
    std::string externals;
    std::string defaults;
    Thresholds thresholds;
    std::string memlevels;
    std::string pagelevels = "red purple ";
    std::string msglevels;     // upper-cased
    std::string ignoremsgs;    // upper-cased
    std::string externalpath;  // upper-cased (for the log and comparisons)
    std::string externalpathAsWritten;

    uint16_t port() const { return static_cast<uint16_t>(ipport & 0xffff); }
    char testmode(std::string_view name) const { return modes.testmode(name); }
};

enum class LoadOutcome { Loaded, NoDisplay, HostNotResolved };

struct LoadResult {
    LoadOutcome outcome = LoadOutcome::Loaded;
    std::string hostName;  // the name that did not resolve
};

// Keeps the printable ASCII characters, drops leading and trailing ';' and
// folds ";;" runs to one.
std::string cleandestinations(std::string_view text);

// Filters an AliasName to letters, digits, "-", "_" and ".".
std::string filteralias(std::string_view text);

// The status channel of the configuration on these sockets and this clock.
StatusChannel statuschannel(const Config& cfg, platform::Sockets* sockets, platform::Clock* clock);

// What the plugin reader takes from the configuration for one pass, and the
// channel it sends through.
PluginView pluginview(const Config& cfg, StatusChannel channel);

// Loads every setting in the load order into cfg, with its log lines.
// onExternals is called right after Externals has been read and logged.
LoadResult loadconfig(Settings& settings, platform::HostInfo& host, Config& cfg,
                      const std::function<void(const std::string&)>& onExternals = {});

}  // namespace tw
