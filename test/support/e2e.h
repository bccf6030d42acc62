// What the end-to-end tests of the real twnt share: writing a setting into
// a settings file, the environment of an agent run in a temporary folder,
// the messages a twrecv --out folder has received, and a whole run of
// twnt -app reporting to a twrecv.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "test/support/fake_platform.h"
#include "test/support/twrecv_process.h"

namespace tw::testing {

// Writes one agent setting into the settings file; false (with the store's
// error) when the file refuses it.
bool setAgentSetting(const std::string& file, const std::string& name, const std::string& text,
                     std::string* error = nullptr);

// How long an agent told to stop (SIGTERM) may take to end: far less than
// the cycles and sleeps it would otherwise go on with, and wide enough for
// a machine busy with builds (a few seconds were not).
constexpr int kAgentStopMs = 20000;

// TWNT_REGISTRY = dir/registry.reg, TWNT_EVENTLOG = dir/ev.log, TEMP = dir,
// TWNT_WMI_FIXTURE = fixture.
std::map<std::string, std::string> agentEnv(const std::string& dir, const std::string& fixture);

// The files twrecv --out wrote, in arrival order (their names count up).
std::vector<std::string> receivedFiles(const std::string& outDir);

// A run of twnt -app in a temporary folder: a twrecv on loopback keeps what
// it receives in dir/out, and the settings file dir/registry.reg names it
// as TWDISPLAY, with FQDN N and AliasName e2ehost (reports read "status
// e2ehost.<test> ...").
struct AgentRun {
    TempDir dir;
    std::string reg = dir.file("registry.reg");
    TwrecvProcess recv;

    // Starts twrecv and writes those settings; false when either fails.
    bool start();
    // Writes one setting; false (with the store's error in why) when refused.
    bool set(const std::string& name, const std::string& text, std::string* why = nullptr);
    // Runs the agent on the WMI fixture until done() holds (at most waitMs),
    // then stops it with SIGTERM; false, with the agent's error output and
    // event log in why, when done() never held or the agent did not end
    // with status 0.
    bool runUntil(const std::string& fixture, const std::function<bool()>& done, int waitMs,
                  std::string& why);
    // The texts twrecv received, in arrival order.
    std::vector<std::string> received() const;
};

}  // namespace tw::testing
