// WMI on other machines, reached through a command that runs `twwmi --serve`
// there (ssh by default) and speaks the bridge protocol over its standard
// input and output. One command per connection: closing the connection
// ends the command, and a command that fails, hangs or talks nonsense
// fails the connection with a reason and is killed and reaped.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bridge/remote_wmi_limits.h"
#include "platform/host_info.h"
#include "platform/wmi_provider.h"

namespace tw::platform {

inline constexpr const char* kDefaultRemoteCommand = "ssh -T -o BatchMode=yes {host} twwmi --serve";

// The words of the command for a machine: the template split as a shell
// splits words (quotes, backslashes, no expansions), then every "{host}"
// inside a word replaced by the machine name without its leading
// backslashes. The name thus stays within its word and never meets a
// shell. nullopt, with *error, for an empty template, an open quote, or a
// name that is empty, holds a control character or begins with '-' (which
// the command would take for an option).
std::optional<std::vector<std::string>> remoteCommandWords(std::string_view commandTemplate,
                                                           std::string_view server,
                                                           std::string* error);

// commandTemplate empty: TWNT_REMOTE_COMMAND at each connect, else
// kDefaultRemoteCommand.
std::unique_ptr<WmiProvider> makeRemoteWmiProvider(std::string commandTemplate = {},
                                                   RemoteWmiLimits limits = {});

// This machine through `local` (isLocalWmiServer, also with the leading
// backslashes of "\\NAME"), every other one through `remote`. host: who
// this machine is.
std::unique_ptr<WmiProvider> makeMachineWmiProvider(std::unique_ptr<WmiProvider> local,
                                                    std::unique_ptr<WmiProvider> remote,
                                                    HostInfo& host);

}  // namespace tw::platform
