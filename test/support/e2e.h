// What the end-to-end tests of the real twnt share: writing a setting into
// a settings file, the environment of an agent run in a temporary folder,
// and the messages a twrecv --out folder has received.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tw::testing {

// Writes one agent setting into the settings file; false (with the store's
// error) when the file refuses it.
bool setAgentSetting(const std::string& file, const std::string& name, const std::string& text,
                     std::string* error = nullptr);

// TWNT_REGISTRY = dir/registry.reg, TWNT_EVENTLOG = dir/ev.log, TEMP = dir,
// TWNT_WMI_FIXTURE = fixture.
std::map<std::string, std::string> agentEnv(const std::string& dir, const std::string& fixture);

// The files twrecv --out wrote, in arrival order (their names count up).
std::vector<std::string> receivedFiles(const std::string& outDir);

}  // namespace tw::testing
