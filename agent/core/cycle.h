// twmain: the start-up and the monitoring cycle, repeated until a stop; and
// the cycle's settings and computer-name steps, which twnt -test takes too.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tw {

struct Agent;

// Runs start-up and the cycles; answers the process exit status (0 after a
// stop, 1 after a fatal start-up or configuration outcome).
int twmain(Agent& agent);

enum class SettingsStep {
    Loaded,
    Unreadable,  // the settings file does not parse: the cycle's tests are skipped
    Fatal,       // TWDISPLAY missing (also when read again) or the host name unresolvable
    Stopped,     // a stop came while waiting to read the settings again
};

struct SettingsLoad {
    SettingsStep step = SettingsStep::Loaded;
    std::string why;  // the event entry's text when not loaded
};

// Loads the settings into agent.cfg as every cycle does: a settings file
// that cannot be read, a TWDISPLAY still missing when read again after a
// second, and a host name that does not resolve each write their event
// entry. onExternals is called right after Externals has been read.
SettingsLoad loadsettings(Agent& agent, const std::function<void(const std::string&)>& onExternals);

// The computer name every cycle checks, with its log line; false (with the
// line's text in why) when it cannot be read or is empty.
bool computernameok(Agent& agent, std::string* why = nullptr);

}  // namespace tw
