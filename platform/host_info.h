// Who this machine is: its host name, what the resolver says of it, and the
// computer name.
#pragma once

#include <optional>
#include <string>

namespace tw::platform {

// The longest resolve() waits for the name service.
inline constexpr int kHostResolveTimeoutMs = 10000;

struct HostEntry {
    std::string officialName;  // the resolver's canonical name
    std::string firstIPv4;     // dotted-decimal, empty when the entry has none
};

class HostInfo {
  public:
    virtual ~HostInfo() = default;
    virtual std::optional<std::string> hostName() = 0;
    // Resolution by name, IPv4 only; nullopt when the name does not resolve.
    virtual std::optional<HostEntry> resolve(const std::string& name) = 0;
    // The machine's computer name (upper-case, at most 15 characters on Linux).
    virtual std::optional<std::string> computerName() = 0;
};

}  // namespace tw::platform
